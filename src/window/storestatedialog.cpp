#include "storestatedialog.h"

#include "state/statemanager.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QMessageBox::StandardButton runStateMessageBox(QWidget *parent, const QString &objectName, QMessageBox::Icon icon,
                                               const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons,
                                               QMessageBox::StandardButton defaultButton)
{
    const QPointer<QMessageBox> box = new QMessageBox(icon, title, text, buttons, parent);
    box->setObjectName(objectName);
    if (defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(defaultButton);
    const int answer = box->exec();
    if (!box)
        return QMessageBox::NoButton;
    box->deleteLater();
    return QMessageBox::StandardButton(answer);
}

StoreStateDialog::StoreStateDialog(StateManager *manager, QWidget *parent)
    : QDialog(parent)
    , m_manager(manager)
    , m_name(new QLineEdit(this))
    , m_comment(new QLineEdit(this))
{
    setObjectName(QStringLiteral("storeStateDialog"));
    setWindowTitle(QStringLiteral("Store Optimization State"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_name->setObjectName(QStringLiteral("stateNameEdit"));
    m_comment->setObjectName(QStringLiteral("commentEdit"));
    m_comment->setMinimumWidth(260);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("State name"), m_name);
    fields->addRow(QStringLiteral("Comment"), m_comment);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    buttons->setObjectName(QStringLiteral("storeStateButtons"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("helpButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &StoreStateDialog::handleAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [this] { Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_STORE_STATE")); });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString StoreStateDialog::stateName() const
{
    return m_name->text().trimmed();
}

QString StoreStateDialog::comment() const
{
    return m_comment->text();
}

void StoreStateDialog::handleAccept()
{
    const QPointer<StoreStateDialog> self(this);
    const QString name = stateName();
    if (name.isEmpty()) {
        runStateMessageBox(this, QStringLiteral("noNameWarning"), QMessageBox::Warning, QStringLiteral("Warning"),
                           QStringLiteral("No name is specified."), QMessageBox::Ok);
        return;
    }
    if (!m_manager) {
        reject();
        return;
    }
    if (m_manager->hasState(name)) {
        const auto answer = runStateMessageBox(
            this, QStringLiteral("overwriteQuestion"), QMessageBox::Question, QStringLiteral("Overwrite?"),
            QStringLiteral("The optimization state named '%1' already exists.\nDo you want to overwrite it?").arg(name),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (!self || answer != QMessageBox::Yes)
            return;
        if (!m_manager) {
            reject();
            return;
        }
    }
    if (!m_manager->storeState(name, comment())) {
        runStateMessageBox(this, QStringLiteral("nothingToStoreWarning"), QMessageBox::Warning,
                           QStringLiteral("Warning"), QStringLiteral("There is no optimization state to store."),
                           QMessageBox::Ok);
        if (self)
            reject();
        return;
    }
    accept();
}

bool StoreStateDialog::query(StateManager *manager, QWidget *parent, const std::function<bool(QDialog *)> &runDialog)
{
    if (!manager)
        return false;
    const QPointer<StateManager> guardedManager(manager);
    const QPointer<StoreStateDialog> dialog = new StoreStateDialog(manager, parent);
    dialog->m_name->setText(manager->defaultStateName());
    dialog->m_name->selectAll();
    connect(dialog, &StoreStateDialog::helpRequested, manager, &StateManager::helpRequested);
    const bool accepted = runDialog ? runDialog(dialog) : dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return false;
    dialog->deleteLater();
    if (!accepted || !guardedManager)
        return false;
    guardedManager->incrementDefaultNumber();
    return true;
}
