#include "kuvobroker.h"

#include "kuvoconnection.h"
#include "kuvoframe.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

using namespace kuvo;

// QLocalServer does the listening (and the socket file's permissions); the
// accepted descriptors are taken over directly.
class KuvoBroker::Server : public QLocalServer
{
public:
    explicit Server(KuvoBroker *broker)
        : QLocalServer(broker)
        , m_broker(broker)
    {
    }

protected:
    void incomingConnection(quintptr descriptor) override { m_broker->accept(int(descriptor)); }

private:
    KuvoBroker *m_broker;
};

struct KuvoBroker::Client
{
    Connection *connection = nullptr;
    FrameReader reader;
    int address = 0;  // 0 until registered
    QByteArray name;
    QByteArray secondName;
    bool processing = false;
    bool gone = false;
};

KuvoBroker::KuvoBroker(QObject *parent)
    : QObject(parent)
{
}

KuvoBroker::~KuvoBroker()
{
    close();
}

QString KuvoBroker::defaultSocketPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("helmdeck-kuvo"));
}

bool KuvoBroker::listen(const QString &path)
{
    close();
    m_error.clear();
    if (path.isEmpty()) {
        m_error = QStringLiteral("no socket path given");
        return false;
    }

    const QByteArray nativePath = QFile::encodeName(path);
    struct stat st;
    if (::lstat(nativePath.constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            m_error = QStringLiteral("%1 exists and is not a socket").arg(path);
            return false;
        }
        // A socket file: stale unless someone still accepts on it.
        int error = 0;
        const int probe = Connection::connectTo(path, &error);
        if (probe >= 0 || error == EAGAIN) {
            if (probe >= 0)
                ::close(probe);
            m_error = QStringLiteral("a broker already listens on %1").arg(path);
            return false;
        }
        QLocalServer::removeServer(path);
    }

    m_server = new Server(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    // The option above gives owner-only access; make sure no execute bit remains either.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    m_path = path;
    return true;
}

void KuvoBroker::close()
{
    m_clients.clear();
    m_run = Run();
    for (auto &entry : m_connections) {
        Connection *connection = entry.first;
        connection->disconnect(this);
        connection->close();
        connection->deleteLater();
    }
    m_connections.clear();
    if (m_server) {
        m_server->close();  // removes the socket file
        delete m_server;
        m_server = nullptr;
    }
    m_path.clear();
}

bool KuvoBroker::isListening() const
{
    return m_server && m_server->isListening();
}

QString KuvoBroker::socketPath() const
{
    return m_path;
}

QString KuvoBroker::errorString() const
{
    return m_error;
}

void KuvoBroker::setMaxUnreadBytes(qint64 bytes)
{
    m_maxUnreadBytes = bytes;
}

int KuvoBroker::clientCount() const
{
    return int(m_clients.size());
}

void KuvoBroker::setRegistrationLimits(int maxUnregistered, int timeoutMs)
{
    m_maxUnregistered = maxUnregistered;
    m_registrationTimeoutMs = timeoutMs;
}

int KuvoBroker::unregisteredCount() const
{
    int count = 0;
    for (const auto &entry : m_connections) {
        if (entry.second->address == 0 && !entry.second->gone)
            ++count;
    }
    return count;
}

KuvoBroker::Client *KuvoBroker::clientAt(int address) const
{
    const auto it = m_clients.find(address);
    return it == m_clients.end() ? nullptr : it->second;
}

void KuvoBroker::accept(int descriptor)
{
    if (unregisteredCount() >= m_maxUnregistered) {
        ::close(descriptor);  // too many strangers at once: this one is not taken
        return;
    }
    auto client = std::make_unique<Client>();
    client->connection = new Connection(descriptor, this);
    Client *c = client.get();
    m_connections.emplace(c->connection, std::move(client));
    // The client stays allocated until reaped after it is gone, and
    // dropClient disconnects this first, so the pointer never dangles.
    connect(c->connection, &Connection::readable, this, [this, c] { processIncoming(c); });
    // The deadline to register. Looked up by connection: the client may be
    // freed by then, the connection object outlives it a little.
    Connection *connection = c->connection;
    QTimer::singleShot(m_registrationTimeoutMs, connection, [this, connection] {
        const auto it = m_connections.find(connection);
        if (it != m_connections.end() && it->second->address == 0)
            dropClient(it->second.get());
    });
}

void KuvoBroker::processIncoming(Client *client)
{
    if (client->gone || client->processing)
        return;
    client->processing = true;
    // A stranger gets no more room than a REGISTER frame needs.
    const bool stranger = client->address == 0;
    const bool open = stranger ? client->connection->receive(client->reader, kMaxRegisterFrameSize) == Connection::Open
                               : client->connection->receive(client->reader) == Connection::Open;
    FrameView frame;
    bool broken = false;
    for (;;) {
        const FrameReader::Result result = client->reader.next(frame);
        if (result == FrameReader::NeedMore)
            break;
        if (result == FrameReader::Malformed || !handleFrame(client, frame)) {
            broken = true;
            break;
        }
        if (client->gone)
            break;
    }
    // Still unregistered with a register frame's worth of bytes in: no REGISTER is that long.
    if (!broken && client->address == 0 && client->reader.buffered() >= kMaxRegisterFrameSize)
        broken = true;
    // Frames before a broken one, or before the end of the stream, are still delivered.
    flushRun();
    client->reader.compact();
    client->processing = false;
    if (broken || !open)
        dropClient(client);
}

void KuvoBroker::flushRun()
{
    if (!m_run.destination)
        return;
    Client *destination = m_run.destination;
    m_run.destination = nullptr;
    if (!destination->gone)
        destination->connection->send(QByteArrayView(m_run.start, m_run.size));
}

bool KuvoBroker::handleFrame(Client *client, FrameView &frame)
{
    if (frame.kind == kPeerGone && client->address != 0)
        return true;  // departures are the broker's to announce: a client's kind 13 goes nowhere
    if (frame.kind >= 0 && client->address != 0) {
        route(client, frame);
        return true;
    }
    flushRun();  // answers must not overtake frames routed before them
    if (client->address == 0)
        return frame.kind == kRegister && handleRegister(client, frame);

    switch (frame.kind) {
    case kRegister:
        return false;  // registering twice is a broken client
    case kLookup: {
        int found = -1;
        const QByteArrayView wanted(frame.text, frame.textSize);
        for (const auto &[address, c] : m_clients) {
            if (c->name == wanted) {
                found = address;
                break;
            }
        }
        answer(client, kLookup, found, frame.textBytes());
        return true;
    }
    case kPeers: {
        QByteArray list;
        for (const auto &[address, c] : m_clients) {
            list += QByteArray::number(address);
            list += ' ';
            list += joinNames(c->name, c->secondName);
            list += '\n';
        }
        answer(client, kPeers, 0, list);
        return true;
    }
    default:
        return false;  // unknown control kind
    }
}

bool KuvoBroker::handleRegister(Client *client, const FrameView &frame)
{
    const QByteArrayView text(frame.text, frame.textSize);
    QByteArray name;
    QByteArray secondName;
    splitNames(text, name, secondName);
    if (name.isEmpty() || text.contains('\n') || text.contains('\r'))
        return false;
    client->address = m_nextAddress++;
    client->name = name;
    client->secondName = secondName;
    m_clients.emplace(client->address, client);
    answer(client, kRegister, client->address, text.toByteArray());
    // Signals go out from the event loop: a slot may close or delete the broker.
    QMetaObject::invokeMethod(this, [this, address = client->address, name, secondName] {
        Q_EMIT clientRegistered(address, name, secondName);
    }, Qt::QueuedConnection);
    return true;
}

void KuvoBroker::route(Client *sender, FrameView &frame)
{
    Client *destination = clientAt(frame.addr);
    if (!destination || destination->gone) {
        flushRun();
        answer(sender, kPeerGone, frame.addr, QByteArray());
        return;
    }
    if (destination->connection->bytesToWrite() > m_maxUnreadBytes) {
        // It has stopped reading: drop it rather than hold its messages without
        // end. Everybody, the sender included, hears of it by kind 13.
        flushRun();
        dropClient(destination);
        return;
    }
    // Forward the frame as it lies in the read buffer, with the sender put in.
    // Consecutive frames to one destination lie back to back there and go
    // out in one write.
    frame.setAddr(sender->address);
    if (m_run.destination == destination && m_run.start + m_run.size == frame.frame) {
        m_run.size += frame.frameSize;
        return;
    }
    flushRun();
    m_run.destination = destination;
    m_run.start = frame.frame;
    m_run.size = frame.frameSize;
}

void KuvoBroker::answer(Client *client, int kind, int addr, const QByteArray &text)
{
    if (client->gone)
        return;
    char header[kHeaderSize];
    encodeHeader(header, kind, addr, text.size());
    client->connection->send(QByteArrayView(header, kHeaderSize), text);
}

void KuvoBroker::dropClient(Client *client)
{
    if (client->gone)
        return;
    client->gone = true;
    Connection *connection = client->connection;
    connection->disconnect(this);
    connection->close();

    if (client->address > 0) {
        m_clients.erase(client->address);
        const QByteArray gone = encodeFrame(kPeerGone, client->address,
                                            joinNames(client->name, client->secondName));
        for (const auto &entry : m_clients) {
            if (!entry.second->gone)
                entry.second->connection->send(gone);
        }
        QMetaObject::invokeMethod(this, [this, address = client->address] {
            Q_EMIT clientGone(address);
        }, Qt::QueuedConnection);
    }

    // Free the client once nobody is inside its code any more.
    QMetaObject::invokeMethod(this, [this, connection] {
        const auto it = m_connections.find(connection);
        if (it != m_connections.end() && it->second->gone) {
            m_connections.erase(it);
            connection->deleteLater();
        }
    }, Qt::QueuedConnection);
}
