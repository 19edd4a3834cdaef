#pragma once

// A KUVO broker on a thread of its own.
//
// The broker relays every frame between the clients; on the GUI thread it
// would relay a reply only after that thread had finished whatever it was
// doing (decoding and painting an iteration, say), so the sender would wait
// on the receiver's work. On a thread of its own it routes while the GUI
// thread works, as a real bus running apart from the host does.
//
// The broker is made and listens in its thread; start() waits for the
// outcome, so a path that cannot be used is known before start() returns.
// stop() (and the destructor) close the broker in its thread, removing the
// socket file, and wait for the thread to end.

#include <QString>

#include <memory>

class KuvoBroker;
class QThread;

class KuvoBrokerThread
{
public:
    KuvoBrokerThread();
    ~KuvoBrokerThread();
    KuvoBrokerThread(const KuvoBrokerThread &) = delete;
    KuvoBrokerThread &operator=(const KuvoBrokerThread &) = delete;

    // Starts the thread and listens on path there (see KuvoBroker::listen).
    // On failure the thread is stopped again and errorString() says why.
    bool start(const QString &path);
    void stop();

    bool isRunning() const { return m_broker != nullptr; }
    QString socketPath() const { return m_path; }
    QString errorString() const { return m_error; }

private:
    std::unique_ptr<QThread> m_thread;
    KuvoBroker *m_broker = nullptr;  // lives in m_thread, deleted there
    QString m_path;
    QString m_error;
};
