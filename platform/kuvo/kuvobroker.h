#pragma once

// The KUVO broker: the host's message bus over a local stream socket.
//
// Every process that takes part connects as a client and registers a name
// (and optionally a second name). The broker gives each client an address
// (>= 1, never reused while the broker lives), answers the control kinds
// REGISTER, LOOKUP and PEERS, and routes every other frame to its destination
// with the sender's address put in. A message to an address that is not
// connected is answered with kind 13 from that address (empty text). When a
// client goes away, every remaining client gets kind 13 from the departed
// address whose text is the departed client's "name[ secondName]". Kind 13
// is the broker's own: a client's kind-13 frame is dropped, never forwarded.
//
// A frame whose length is out of range, a first frame that is not REGISTER, a
// second REGISTER, a name that is empty or holds a line break, or an unknown
// control kind drops that client's connection (announced like any departure).
// So does leaving more than maxUnreadBytes() unread (256 MiB unless set): the
// broker does not hold messages for a client that has stopped reading.
//
// Before a client has registered it is a stranger, and the broker holds
// little for it: at most maxUnregistered() such connections at once (more
// are closed as they come), a REGISTER frame of at most
// kMaxRegisterFrameSize bytes (a larger first frame drops the connection
// as soon as that many bytes are in), and registrationTimeout() to send it.
// A registered client buffers at most one frame (64 MiB) plus one read of
// incoming bytes.
//
// Single-threaded: the broker does its work from the event loop of the
// thread it lives in (moved there before listen(); KuvoBrokerThread runs one
// on a thread of its own).

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QLocalServer;

namespace kuvo {
class Connection;
class FrameReader;
struct FrameView;
}

class KuvoBroker : public QObject
{
    Q_OBJECT

public:
    explicit KuvoBroker(QObject *parent = nullptr);
    ~KuvoBroker() override;

    // A per-user socket path for when the host is given none.
    static QString defaultSocketPath();

    // Listens on path. A stale socket file is removed first; a path on which
    // another broker still answers is left alone and listen fails. The socket
    // file is readable and writable by its owner only.
    bool listen(const QString &path);
    // Drops every client and removes the socket file.
    void close();

    bool isListening() const;
    QString socketPath() const;
    QString errorString() const;
    // Registered clients currently connected.
    int clientCount() const;

    static constexpr qint64 kDefaultMaxUnreadBytes = 256 * 1024 * 1024;
    static constexpr qsizetype kMaxRegisterFrameSize = 4096;
    static constexpr int kDefaultMaxUnregistered = 16;
    static constexpr int kDefaultRegistrationTimeoutMs = 10000;
    void setRegistrationLimits(int maxUnregistered, int timeoutMs);
    int maxUnregistered() const { return m_maxUnregistered; }
    int registrationTimeout() const { return m_registrationTimeoutMs; }
    // Connections that have not registered yet.
    int unregisteredCount() const;
    void setMaxUnreadBytes(qint64 bytes);
    qint64 maxUnreadBytes() const { return m_maxUnreadBytes; }

Q_SIGNALS:
    // Both emitted from the event loop, after the fact.
    void clientRegistered(int address, const QByteArray &name, const QByteArray &secondName);
    void clientGone(int address);

private:
    struct Client;
    class Server;

    void accept(int descriptor);
    void processIncoming(Client *client);
    bool handleFrame(Client *client, kuvo::FrameView &frame);
    bool handleRegister(Client *client, const kuvo::FrameView &frame);
    void route(Client *sender, kuvo::FrameView &frame);
    void answer(Client *client, int kind, int addr, const QByteArray &text);
    void flushRun();
    void dropClient(Client *client);
    Client *clientAt(int address) const;

    Server *m_server = nullptr;
    QString m_path;
    QString m_error;
    int m_nextAddress = 1;
    qint64 m_maxUnreadBytes = kDefaultMaxUnreadBytes;
    int m_maxUnregistered = kDefaultMaxUnregistered;
    int m_registrationTimeoutMs = kDefaultRegistrationTimeoutMs;
    // Every connection, registered or not, keyed by its connection object.
    std::map<kuvo::Connection *, std::unique_ptr<Client>> m_connections;
    // Registered clients in registration order (addresses only grow).
    std::map<int, Client *> m_clients;
    // Routed frames not yet written: one destination, contiguous bytes in
    // the sender's read buffer.
    struct Run
    {
        Client *destination = nullptr;
        const char *start = nullptr;
        qsizetype size = 0;
    };
    Run m_run;
};
