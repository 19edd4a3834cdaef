#pragma once

// The host's small help window. de_post_help(topic) shows the page written
// for the topic (docs/help/<TOPIC>.html, built into the host); a topic
// without a page shows the index with a note. One window is reused; it is
// not modal.

#include <QPointer>
#include <QString>
#include <QWidget>

class QTextBrowser;

class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Shows the topic's page; false when there is none (the index is shown).
    bool showTopic(const QString &topic);
    QString topic() const { return m_topic; }

    // Whether a page exists for the topic.
    static bool hasPage(const QString &topic);
    static QStringList topics();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A modal dialog blocks every window outside its own family. Asked for
    // from one (its Help button, F1), the help becomes a window of that
    // dialog, so it can be read while the dialog stays open, and returns to
    // its own parent when the dialog goes away.
    void followModalDialog();
    void moveTo(QWidget *parent);

    QTextBrowser *m_browser;
    QString m_topic;
    QPointer<QWidget> m_home;
};
