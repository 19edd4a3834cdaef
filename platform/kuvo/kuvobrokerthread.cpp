#include "kuvobrokerthread.h"

#include "kuvobroker.h"

#include <QThread>

KuvoBrokerThread::KuvoBrokerThread() = default;

KuvoBrokerThread::~KuvoBrokerThread()
{
    stop();
}

bool KuvoBrokerThread::start(const QString &path)
{
    stop();
    m_error.clear();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("kuvo-broker"));
    // The broker holds no socket until listen(), so it may be made here and
    // moved; everything listen() creates then belongs to the broker's thread.
    auto *broker = new KuvoBroker;
    broker->moveToThread(m_thread.get());
    // Deferred deletions still pending run as the thread ends: the broker
    // goes in its own thread, after the connections close() let go.
    QObject::connect(m_thread.get(), &QThread::finished, broker, &QObject::deleteLater);
    m_thread->start();
    if (!m_thread->isRunning()) {
        delete broker;
        m_thread.reset();
        m_error = QStringLiteral("cannot start the broker's thread");
        return false;
    }

    bool listening = false;
    QString error;
    QMetaObject::invokeMethod(
        broker,
        [broker, &path, &listening, &error] {
            listening = broker->listen(path);
            if (!listening)
                error = broker->errorString();
        },
        Qt::BlockingQueuedConnection);
    m_broker = broker;
    if (!listening) {
        stop();
        m_error = error;
        return false;
    }
    m_path = path;
    return true;
}

void KuvoBrokerThread::stop()
{
    if (!m_thread)
        return;
    if (m_broker) {
        KuvoBroker *broker = m_broker;
        QMetaObject::invokeMethod(broker, [broker] { broker->close(); }, Qt::BlockingQueuedConnection);
        m_broker = nullptr;
    }
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
    m_path.clear();
}
