#include "uiaids.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

namespace {

QString withoutMnemonic(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

QWidget *findIn(QWidget *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    if (QWidget *byName = root->findChild<QWidget *>(name))
        return byName;
    // Buttons without a name (message boxes) by their text.
    const auto buttons = root->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->isVisible() && withoutMnemonic(button->text()) == name)
            return button;
    }
    return nullptr;
}

} // namespace

namespace uiaids {

QWidget *helmdeckWindow()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->isVisible() && w->windowTitle() == QLatin1String(kHelmdeckWindowTitle))
            return w;
    }
    return nullptr;
}

QWidget *findWidget(const QString &name)
{
    if (name.isEmpty())
        return nullptr;
    if (QWidget *found = findIn(QApplication::activeModalWidget(), name))
        return found;
    if (QWidget *found = findIn(helmdeckWindow(), name))
        return found;
    const auto windows = QApplication::topLevelWidgets();
    // Visible windows before hidden ones.
    for (int pass = 0; pass < 2; ++pass) {
        for (QWidget *w : windows) {
            if (w->isVisible() != (pass == 0))
                continue;
            if (QWidget *found = findIn(w, name))
                return found;
        }
    }
    return nullptr;
}

bool click(const QString &name)
{
    auto *button = qobject_cast<QAbstractButton *>(findWidget(name));
    if (!button || !button->isEnabled() || !button->isVisible())
        return false;
    const QPointer<QAbstractButton> target = button;
    QTimer::singleShot(0, qApp, [target] {
        if (target && target->isEnabled())
            target->click();
    });
    return true;
}

bool text(const QString &name, QString &out)
{
    QWidget *w = findWidget(name);
    if (!w)
        return false;
    if (auto *label = qobject_cast<QLabel *>(w))
        out = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        out = withoutMnemonic(button->text());
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        out = edit->text();
    else if (auto *combo = qobject_cast<QComboBox *>(w))
        out = combo->currentText();
    else if (auto *spin = qobject_cast<QAbstractSpinBox *>(w))
        out = spin->text();
    else if (auto *bar = qobject_cast<QProgressBar *>(w))
        out = QString::number(bar->value());
    else
        out = w->windowTitle();
    return true;
}

bool setText(const QString &name, const QString &value)
{
    QWidget *w = findWidget(name);
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        if (!edit->isEnabled() || edit->isReadOnly())
            return false;
        edit->setText(value);
        Q_EMIT edit->editingFinished();
        return true;
    }
    if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        bool ok = false;
        const int v = value.toInt(&ok);
        if (!ok || !spin->isEnabled())
            return false;
        spin->setValue(v);
        return true;
    }
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(w)) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || !spin->isEnabled())
            return false;
        spin->setValue(v);
        return true;
    }
    return false;
}

bool property(const QString &name, const QString &propertyName, QString &value)
{
    QWidget *w = findWidget(name);
    if (!w || propertyName.isEmpty())
        return false;
    const QVariant v = w->property(propertyName.toUtf8().constData());
    if (!v.isValid())
        return false;
    value = v.toString();
    return true;
}

QString activeModalName()
{
    QWidget *modal = QApplication::activeModalWidget();
    return modal ? (modal->objectName().isEmpty() ? QString::fromLatin1(modal->metaObject()->className()) : modal->objectName())
                 : QString();
}

bool closeHelmdeckWindow()
{
    const QPointer<QWidget> window = helmdeckWindow();
    if (!window)
        return false;
    QTimer::singleShot(0, qApp, [window] {
        if (window)
            window->close();
    });
    return true;
}

bool grabToFile(QWidget *widget, const QString &path, QString *error)
{
    if (!widget) {
        if (error)
            *error = QStringLiteral("no window to grab");
        return false;
    }
    const QPixmap pixmap = widget->grab();
    if (pixmap.isNull() || !pixmap.save(path, "PNG")) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

} // namespace uiaids
