#pragma once

// Reads standard input line by line from the event loop (a socket notifier
// on descriptor 0), so expressions are evaluated on the GUI thread while the
// application runs. Works for pipes and terminals. Lines are reported one at
// a time from the event loop, so a line whose handler opens a modal dialog
// does not hold back the lines after it (which may be the ones answering it).

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

class ConsoleReader : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleReader(int descriptor = 0, QObject *parent = nullptr);
    bool isAtEnd() const { return m_atEnd; }

Q_SIGNALS:
    // One line, without its line break (a carriage return before it is dropped).
    void lineRead(const QByteArray &line);
    // The input ended (after the last line was reported).
    void finished();

private:
    void readAvailable();
    void reportNextLine();

    int m_descriptor;
    QSocketNotifier *m_notifier;
    QByteArray m_pending;
    bool m_inputEnded = false;
    bool m_atEnd = false;
};
