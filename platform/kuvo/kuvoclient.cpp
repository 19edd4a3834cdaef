#include "kuvoclient.h"

#include "kuvoconnection.h"
#include "kuvoframe.h"

#include <QEventLoop>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace kuvo;

// A control request waiting for the broker's answer. The broker answers in
// request order, so answers are matched to the front of m_pending. A request
// whose caller gave up stays in the list until its answer has gone by.
struct KuvoClient::Pending
{
    int kind = 0;
    bool done = false;
    bool ok = false;
    int addr = 0;
    QByteArray text;
};

// A running receiveDataBlock: the sender's messages go straight into rest
// instead of the queue until the block ends or fails.
struct KuvoClient::Capture
{
    int sender = -1;
    int maxMessages = 0;
    QList<KuvoMessage> *rest = nullptr;
    bool ended = false;
    bool gone = false;
    bool overflow = false;

    bool finished() const { return ended || gone || overflow; }
};

KuvoClient::KuvoClient(QObject *parent)
    : QObject(parent)
    , m_reader(std::make_unique<FrameReader>())
{
}

KuvoClient::~KuvoClient()
{
    disconnectFromBroker();
}

int KuvoClient::version() const
{
    return kVersion;
}

bool KuvoClient::isConnected() const
{
    return m_connected;
}

void KuvoClient::setHandler(Handler handler)
{
    m_handler = std::move(handler);
    if (m_handler && !m_queue.empty())
        scheduleDispatch();
}

void KuvoClient::setTimeout(int milliseconds)
{
    m_timeoutMs = std::max(0, milliseconds);
}

void KuvoClient::resetState()
{
    m_queue.clear();
    for (const auto &pending : m_pending)
        pending->done = true;
    m_pending.clear();
    m_names.clear();
    m_departed.clear();
    m_reader->clear();
    m_address = -1;
    m_name.clear();
    m_secondName.clear();
    m_error.clear();
}

bool KuvoClient::connectToBroker(const QString &path, const QByteArray &name,
                                 const QByteArray &secondName)
{
    disconnectFromBroker();
    resetState();
    auto badName = [](const QByteArray &n) { return n.contains('\n') || n.contains('\r'); };
    if (name.isEmpty() || name.contains(' ') || badName(name) || badName(secondName)) {
        m_error = QStringLiteral("invalid client name");
        return false;
    }

    const QDeadlineTimer deadline(m_timeoutMs);
    int error = 0;
    int descriptor = Connection::connectTo(path, &error);
    while (descriptor < 0 && error == EAGAIN && !deadline.hasExpired()) {
        // The broker's backlog is full: give it (maybe in this very thread) a moment.
        waitUntil([] { return false; },
                  QDeadlineTimer(std::min<qint64>(10, deadline.remainingTime())));
        descriptor = Connection::connectTo(path, &error);
    }
    if (descriptor < 0) {
        m_error = QStringLiteral("cannot connect to %1: %2")
                      .arg(path, QString::fromLocal8Bit(strerror(error)));
        return false;
    }
    m_connection = new Connection(descriptor, this);
    connect(m_connection, &Connection::readable, this, &KuvoClient::processIncoming);
    connect(m_connection, &Connection::bytesWritten, this, &KuvoClient::wake);
    m_connected = true;

    const auto pending = request(kRegister, joinNames(name, secondName));
    if (!awaitAnswer(pending) || pending->addr < 1) {
        dropConnection(QStringLiteral("the broker did not accept the registration"));
        return false;
    }
    m_address = pending->addr;
    m_name = name;
    m_secondName = secondName;
    return true;
}

void KuvoClient::disconnectFromBroker()
{
    Connection *connection = m_connection;
    if (!connection)
        return;
    if (m_connected && connection->bytesToWrite() > 0) {
        // The reader is slow (or is the broker in this very thread): let the
        // event loop drain what is left, within the usual bound.
        waitUntil([this, connection] {
            return m_connection != connection || connection->bytesToWrite() == 0
                   || !connection->isOpen();
        }, QDeadlineTimer(m_timeoutMs));
        if (m_connection != connection)
            return;  // the connection broke meanwhile and has been dealt with
    }
    m_error.clear();
    dropConnection(QString());
}

void KuvoClient::dropConnection(const QString &reason)
{
    Connection *connection = m_connection;
    if (!connection)
        return;
    if (m_error.isEmpty())
        m_error = reason;
    m_connection = nullptr;
    connection->disconnect(this);
    connection->close();
    connection->deleteLater();
    const bool wasConnected = m_connected;
    m_connected = false;
    for (const auto &pending : m_pending)
        pending->done = true;  // ok stays false
    m_pending.clear();
    for (Capture *capture : m_captures)
        capture->gone = capture->gone || !capture->finished();
    wake();
    if (wasConnected)
        QMetaObject::invokeMethod(this, [this] { Q_EMIT disconnected(); }, Qt::QueuedConnection);
}

void KuvoClient::processIncoming()
{
    if (m_processing || !m_connection)
        return;
    m_processing = true;
    const bool open = m_connection->receive(*m_reader) == Connection::Open;
    QString failure;
    FrameView frame;
    for (;;) {
        const FrameReader::Result result = m_reader->next(frame);
        if (result == FrameReader::NeedMore)
            break;
        if (result == FrameReader::Malformed) {
            failure = QStringLiteral("malformed frame from the broker");
            break;
        }
        if (frame.kind < 0) {
            if (!handleControl(frame.kind, frame.addr, frame.textBytes())) {
                failure = QStringLiteral("unexpected control answer from the broker");
                break;
            }
        } else {
            handleMessage(KuvoMessage{frame.addr, frame.kind, frame.textBytes()});
        }
    }
    m_reader->compact();
    m_processing = false;
    // One wake-up per read rather than per frame.
    if (m_newArrivals) {
        m_newArrivals = false;
        wake();
    }
    if (!failure.isEmpty())
        dropConnection(failure);
    else if (!open)
        dropConnection(QStringLiteral("the broker closed the connection"));
}

bool KuvoClient::handleControl(int kind, int addr, QByteArray text)
{
    if (m_pending.empty() || m_pending.front()->kind != kind)
        return false;
    const std::shared_ptr<Pending> pending = m_pending.front();
    m_pending.pop_front();
    pending->done = true;
    pending->ok = true;
    pending->addr = addr;
    pending->text = std::move(text);
    m_newArrivals = true;
    return true;
}

void KuvoClient::noteNames(int address, QByteArrayView names)
{
    QByteArray name;
    QByteArray secondName;
    splitNames(names, name, secondName);
    if (!name.isEmpty())
        m_names.insert(address, {name, secondName});
}

void KuvoClient::handleMessage(KuvoMessage message)
{
    // A departure's text is not trusted as the peer's name: names come
    // from the broker's PEERS list only.
    if (message.kind == kPeerGone)
        m_departed.insert(message.sender);
    for (auto it = m_captures.rbegin(); it != m_captures.rend(); ++it) {
        Capture *capture = *it;
        if (capture->sender != message.sender || capture->finished())
            continue;
        if (message.kind == kPeerGone) {
            capture->gone = true;  // and the kind 13 still goes to normal dispatch
        } else if (capture->rest->size() >= capture->maxMessages) {
            capture->overflow = true;  // this message stays queued
        } else {
            capture->ended = message.kind == kBlockEnd;
            capture->rest->append(std::move(message));
            m_newArrivals = true;
            return;
        }
        break;
    }
    m_queue.push_back(std::move(message));
    m_newArrivals = true;
    scheduleDispatch();
}

std::shared_ptr<KuvoClient::Pending> KuvoClient::request(int kind, const QByteArray &text)
{
    if (!m_connected || !m_connection || text.size() > kMaxTextSize)
        return nullptr;
    char header[kHeaderSize];
    encodeHeader(header, kind, 0, text.size());
    if (!m_connection->send(QByteArrayView(header, kHeaderSize), text))
        return nullptr;
    auto pending = std::make_shared<Pending>();
    pending->kind = kind;
    m_pending.push_back(pending);
    return pending;
}

bool KuvoClient::awaitAnswer(const std::shared_ptr<Pending> &pending)
{
    if (!pending)
        return false;
    waitUntil([&pending] { return pending->done; }, QDeadlineTimer(m_timeoutMs));
    return pending->done && pending->ok;
}

bool KuvoClient::send(int address, int kind, const QByteArray &text)
{
    if (!m_connected || !m_connection || kind < 0 || text.size() > kMaxTextSize)
        return false;
    char header[kHeaderSize];
    encodeHeader(header, kind, address, text.size());
    return m_connection->send(QByteArrayView(header, kHeaderSize), text);
}

bool KuvoClient::waitForMessage(KuvoMessage &message)
{
    if (m_queue.empty()) {
        waitUntil([this] { return !m_queue.empty() || !m_connected; },
                  QDeadlineTimer(m_timeoutMs));
    }
    if (m_queue.empty())
        return false;
    message = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

bool KuvoClient::dispatch(const KuvoMessage &message)
{
    if (!m_handler)
        return true;
    const Handler handler = m_handler;  // the handler may replace itself
    return handler(message);
}

bool KuvoClient::lookup(const QByteArray &name, int &address)
{
    const auto pending = request(kLookup, name);
    if (!awaitAnswer(pending) || pending->addr < 0)
        return false;
    address = pending->addr;
    return true;
}

bool KuvoClient::refreshPeers(QList<KuvoPeer> *list)
{
    const auto pending = request(kPeers, QByteArray());
    if (!awaitAnswer(pending))
        return false;
    const QByteArray &text = pending->text;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = QByteArrayView(text).sliced(start, end - start);
        start = end + 1;
        const qsizetype blank = line.indexOf(' ');
        if (blank <= 0)
            continue;
        bool ok = false;
        const int address = line.first(blank).toInt(&ok);
        if (!ok)
            continue;
        const QByteArrayView names = line.sliced(blank + 1);
        noteNames(address, names);
        if (list && address != m_address) {
            const auto &entry = m_names.value(address);
            list->append(KuvoPeer{address,
                                  entry.second.isEmpty() ? entry.first : entry.second});
        }
    }
    return true;
}

bool KuvoClient::nameOf(int address, QByteArray &name, QByteArray &secondName)
{
    if (m_address > 0 && address == m_address) {
        name = m_name;
        secondName = m_secondName;
        return true;
    }
    auto it = m_names.constFind(address);
    if (it == m_names.constEnd()) {
        if (!refreshPeers(nullptr))
            return false;
        it = m_names.constFind(address);
        if (it == m_names.constEnd())
            return false;
    }
    name = it->first;
    secondName = it->second;
    return true;
}

QList<KuvoPeer> KuvoClient::peers()
{
    QList<KuvoPeer> list;
    refreshPeers(&list);
    return list;
}

bool KuvoClient::connectPeer(const KuvoPeer &peer, int &address)
{
    QList<KuvoPeer> list;
    if (!refreshPeers(&list))
        return false;
    for (const KuvoPeer &candidate : std::as_const(list)) {
        const bool sameAddress = peer.address > 0 ? candidate.address == peer.address : true;
        const bool sameName = peer.processName.isEmpty() || candidate.processName == peer.processName;
        if (sameAddress && sameName) {
            address = candidate.address;
            return true;
        }
    }
    return false;
}

bool KuvoClient::receiveDataBlock(int sender, int maxMessages, QList<KuvoMessage> &rest)
{
    rest.clear();
    Capture capture;
    capture.sender = sender;
    capture.maxMessages = maxMessages;
    capture.rest = &rest;

    // First what is queued already: the sender's messages up to the end
    // message come out, everything else keeps its place.
    if (!m_queue.empty()) {
        std::deque<KuvoMessage> kept;
        for (KuvoMessage &message : m_queue) {
            if (capture.finished() || message.sender != sender) {
                kept.push_back(std::move(message));
            } else if (message.kind == kPeerGone) {
                capture.gone = true;
                kept.push_back(std::move(message));
            } else if (rest.size() >= maxMessages) {
                capture.overflow = true;
                kept.push_back(std::move(message));
            } else {
                capture.ended = message.kind == kBlockEnd;
                rest.append(std::move(message));
            }
        }
        m_queue.swap(kept);
    }

    if (!capture.finished() && m_connected && !m_departed.contains(sender)) {
        m_captures.push_back(&capture);
        // A block that stops coming in is given up after a short pause, not
        // after the whole timeout: the wait holds user input back.
        const QDeadlineTimer overall(m_timeoutMs);
        for (;;) {
            const qsizetype before = rest.size();
            const qint64 step = std::min<qint64>(overall.remainingTime(), m_blockInactivityMs);
            waitUntil([&] { return capture.finished() || !m_connected || rest.size() != before; },
                      QDeadlineTimer(std::max<qint64>(0, step)));
            if (capture.finished() || !m_connected || rest.size() == before || overall.hasExpired())
                break;
        }
        m_captures.erase(std::find(m_captures.begin(), m_captures.end(), &capture));
    }
    return capture.ended;
}

bool KuvoClient::waitUntil(const std::function<bool()> &done, QDeadlineTimer deadline)
{
    ++m_waitDepth;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_loops.push_back(&loop);
    const auto cleanup = qScopeGuard([this, &loop] {
        m_loops.erase(std::find(m_loops.begin(), m_loops.end(), &loop));
        if (--m_waitDepth == 0)
            scheduleDispatch();
    });

    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        timer.start(int(std::max<qint64>(0, deadline.remainingTime())));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void KuvoClient::wake()
{
    // Outer loops quit as soon as the inner ones have returned; each wait then
    // checks its own condition again.
    for (QEventLoop *loop : m_loops)
        loop->quit();
}

void KuvoClient::scheduleDispatch()
{
    if (m_dispatchScheduled || !m_handler || m_queue.empty() || m_waitDepth > 0)
        return;
    m_dispatchScheduled = true;
    QMetaObject::invokeMethod(this, &KuvoClient::deliverQueued, Qt::QueuedConnection);
}

void KuvoClient::deliverQueued()
{
    m_dispatchScheduled = false;
    if (m_inNormalDispatch)
        return;  // the running call's loop below picks the queue up
    QPointer<KuvoClient> self(this);
    m_inNormalDispatch = true;
    while (m_waitDepth == 0 && m_handler && !m_queue.empty()) {
        const KuvoMessage message = std::move(m_queue.front());
        m_queue.pop_front();
        const Handler handler = m_handler;
        handler(message);
        if (!self)
            return;
    }
    m_inNormalDispatch = false;
}
