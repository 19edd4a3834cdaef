#include "helpwindow.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kPageRoot = QStringLiteral(":/helmdeck-help/");

QString pagePath(const QString &topic)
{
    return kPageRoot + topic + QStringLiteral(".html");
}

bool isTopicName(const QString &topic)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]+$"));
    return re.match(topic).hasMatch();
}

} // namespace

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
    , m_home(parent)
{
    setObjectName(QStringLiteral("hostHelpWindow"));
    setWindowTitle(QStringLiteral("Helmdeck Help"));
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(560, 520);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this](const QUrl &url) {
        const QString name = QFileInfo(url.path()).completeBaseName();
        if (!name.isEmpty() && name != QLatin1String("index"))
            m_topic = name;
        setProperty("topic", m_topic);
        setWindowTitle(QStringLiteral("Helmdeck Help - ") + m_browser->documentTitle());
    });
}

bool HelpWindow::hasPage(const QString &topic)
{
    return isTopicName(topic) && QFile::exists(pagePath(topic));
}

QStringList HelpWindow::topics()
{
    QStringList result;
    const QStringList files = QDir(kPageRoot).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        const QString name = QFileInfo(file).completeBaseName();
        if (name != QLatin1String("index"))
            result.append(name);
    }
    return result;
}

bool HelpWindow::showTopic(const QString &topic)
{
    const bool found = hasPage(topic);
    m_topic = topic;
    if (found) {
        m_browser->setSource(QUrl(QStringLiteral("qrc") + pagePath(topic)));
    } else {
        m_browser->setSource(QUrl(QStringLiteral("qrc") + pagePath(QStringLiteral("index"))));
        m_browser->moveCursor(QTextCursor::Start);
        QTextCursor cursor = m_browser->textCursor();
        cursor.insertHtml(QStringLiteral("<p><i>There is no help page for \"%1\". The pages that exist are listed "
                                         "below.</i></p>")
                              .arg(topic.toHtmlEscaped()));
        m_topic = topic;
    }
    setProperty("topic", m_topic);
    followModalDialog();
    show();
    raise();
    activateWindow();
    return found;
}

void HelpWindow::followModalDialog()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == this || modal == parentWidget())
        return;
    moveTo(modal);
    modal->installEventFilter(this);
}

void HelpWindow::moveTo(QWidget *parent)
{
    const QRect geometry = this->geometry();
    const bool visible = isVisible();
    setParent(parent, Qt::Window);
    setGeometry(geometry);
    if (visible)
        show();
}

bool HelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The dialog is done (hidden, or going): back to the help's own parent
    // before the dialog could take the window down with it.
    if (watched == parentWidget() && watched != m_home
        && (event->type() == QEvent::Hide || event->type() == QEvent::DeferredDelete)) {
        watched->removeEventFilter(this);
        moveTo(m_home);
    }
    return QWidget::eventFilter(watched, event);
}
