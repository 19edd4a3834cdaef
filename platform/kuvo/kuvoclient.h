#pragma once

// A KUVO client: one connection to the broker (see kuvobroker.h), seen by the
// plug-in through KuvoIFC.
//
// Incoming messages go into one queue in arrival order. While no wait of this
// client is running, they are handed one at a time, in order, to the message
// handler ("normal dispatch"), always from the event loop: never from inside
// send() or any other call, and never while another normal-dispatch call of
// the handler is still running. While a wait runs (waitForMessage,
// receiveDataBlock, lookup, nameOf, peers, connectPeer, connectToBroker) the
// queue is left to the waiter; normal dispatch resumes once the outermost wait
// has returned.
//
// Every wait runs a nested event loop (user input excluded) and is bounded by
// timeout(); receiveDataBlock also ends when the block makes no progress for
// the block inactivity timeout (1 s), so a stray block start holds user input
// back for a moment only. A handler called through dispatch() may itself send and wait.
// Broker control answers never reach the handler. Do not delete the client
// from inside its handler; use deleteLater().
//
// Single-threaded: use the client from the thread that created it.

#include "hostifc/kuvoifc.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QEventLoop;

namespace kuvo {
class Connection;
class FrameReader;
}

class KuvoClient : public QObject, public KuvoIFC
{
    Q_OBJECT

public:
    // Normal dispatch. The answer is what dispatch() hands back to a waiter.
    using Handler = std::function<bool(const KuvoMessage &)>;

    static constexpr int kVersion = 1100;
    static constexpr int kDefaultTimeoutMs = 30000;

    explicit KuvoClient(QObject *parent = nullptr);
    ~KuvoClient() override;

    // Connects to the broker at path and registers "name" or "name secondName"
    // (name must not contain a blank; neither may contain a line break). Waits
    // at most timeout() for the broker's answer. A client already connected is
    // disconnected first; the queue and every cache are reset.
    bool connectToBroker(const QString &path, const QByteArray &name,
                         const QByteArray &secondName = QByteArray());
    // Writes what is still buffered (bounded by timeout()) and leaves the bus.
    void disconnectFromBroker();

    bool isConnected() const;
    int address() const { return m_address; }
    QByteArray name() const { return m_name; }
    QByteArray secondName() const { return m_secondName; }
    QString errorString() const { return m_error; }

    void setHandler(Handler handler);
    // Bound of every wait, in milliseconds (default kDefaultTimeoutMs).
    void setTimeout(int milliseconds);
    int timeout() const { return m_timeoutMs; }
    // receiveDataBlock gives up once no message of the block came for this
    // long (default kDefaultBlockInactivityMs), whatever timeout() says.
    static constexpr int kDefaultBlockInactivityMs = 1000;
    void setBlockInactivityTimeout(int milliseconds) { m_blockInactivityMs = milliseconds; }
    // Messages received and not yet taken or dispatched.
    int pendingMessages() const { return int(m_queue.size()); }

    // KuvoIFC
    int version() const override;
    // False when not connected, kind is negative (control kinds are the
    // client's own business) or text is longer than a frame can carry.
    bool send(int address, int kind, const QByteArray &text) override;
    bool waitForMessage(KuvoMessage &message) override;
    // Calls the handler directly and answers its result; true when there is none.
    bool dispatch(const KuvoMessage &message) override;
    bool lookup(const QByteArray &name, int &address) override;
    bool nameOf(int address, QByteArray &name, QByteArray &secondName) override;
    // Every other connected client (this client itself is left out).
    QList<KuvoPeer> peers() override;
    // The bus needs no per-peer connection: this checks that the peer's
    // address is still connected (under the same process name when the peer
    // carries one) and answers that address.
    bool connectPeer(const KuvoPeer &peer, int &address) override;
    bool receiveDataBlock(int sender, int maxMessages, QList<KuvoMessage> &rest) override;

Q_SIGNALS:
    // The connection to the broker ended (broker gone, broken frame, or
    // disconnectFromBroker). Emitted from the event loop.
    void disconnected();

private:
    struct Pending;
    struct Capture;

    void processIncoming();
    bool handleControl(int kind, int addr, QByteArray text);
    void handleMessage(KuvoMessage message);
    void noteNames(int address, QByteArrayView names);
    void dropConnection(const QString &reason);
    void resetState();

    std::shared_ptr<Pending> request(int kind, const QByteArray &text);
    bool awaitAnswer(const std::shared_ptr<Pending> &pending);
    bool refreshPeers(QList<KuvoPeer> *list);

    // Runs nested event loops until done() holds, the deadline passes or the
    // broker goes away (done() is checked once more then). Normal dispatch is
    // held back meanwhile.
    bool waitUntil(const std::function<bool()> &done, QDeadlineTimer deadline);
    void wake();
    void scheduleDispatch();
    void deliverQueued();

    kuvo::Connection *m_connection = nullptr;
    std::unique_ptr<kuvo::FrameReader> m_reader;
    bool m_connected = false;
    bool m_processing = false;
    bool m_newArrivals = false;  // something for a waiter came in during processIncoming
    int m_address = -1;
    QByteArray m_name;
    QByteArray m_secondName;
    QString m_error;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_blockInactivityMs = kDefaultBlockInactivityMs;
    Handler m_handler;

    std::deque<KuvoMessage> m_queue;
    std::deque<std::shared_ptr<Pending>> m_pending;  // control requests in sending order
    std::vector<Capture *> m_captures;               // running receiveDataBlock calls
    std::vector<QEventLoop *> m_loops;               // running waits, innermost last
    int m_waitDepth = 0;
    bool m_dispatchScheduled = false;
    bool m_inNormalDispatch = false;

    // Names of every address seen through PEERS (never from a kind-13 text).
    // Addresses are never reused, so an entry never goes stale.
    QHash<int, std::pair<QByteArray, QByteArray>> m_names;
    QSet<int> m_departed;  // addresses announced by kind 13
};
