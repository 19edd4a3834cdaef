#include "optimkuvolink.h"

#include "hostifc/kuvoifc.h"
#include "link/optimdatablock.h"
#include "link/optimsimifc.h"
#include "hostifc/pluginmanagerifc.h"
#include "model/optimitermessages.h"

#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcLink, "helmdeck.link")

namespace {

// Sends given up at their deadline whose late replies are still recognised.
constexpr qsizetype kMaxOverdue = 8;

constexpr qsizetype kMaxBlockBytes = wire::kMaxBlockBytes;

// The joined text of blocks up to this size is kept for the next block.
constexpr qsizetype kKeptBlockTextBytes = 8 * 1024 * 1024;

// Messages held while the session's address is looked up; more are dropped.
constexpr qsizetype kMaxHeldForSession = 32;

// What the log says of a message only the session may send.
QByteArray refusal(int kind, const QByteArray &text)
{
    return "message of kind " + QByteArray::number(kind) + " \"" + text.left(80) + "\": not from the session"
        + (wire::endsEveryWait(kind) ? " or a receiver of a pending send" : "");
}

// Reads a message of type M from a block's payload and emits it on the
// simulator interface, only when it read cleanly.
template <typename M>
void emitRecord(OptimSimIFC *simulator, const QByteArray &text)
{
    OptimSerialReader reader(text);
    M message;
    message.deserialize(reader);
    if (!reader.hasError())
        Q_EMIT simulator->modelChanged(message);
}

} // namespace

OptimKuvoLink::OptimKuvoLink(OptimKuvoLinkOwner *owner)
    : m_owner(owner)
{
}

OptimKuvoLink::~OptimKuvoLink() = default;

bool OptimKuvoLink::attach(PluginManagerIFC *manager)
{
    if (!manager)
        return false;
    return attach(static_cast<KuvoIFC *>(manager->getInterface("KUVO")), manager);
}

bool OptimKuvoLink::attach(KuvoIFC *kuvo, PluginManagerIFC *reportTo)
{
    if (!kuvo) {
        if (reportTo)
            reportTo->reportFailure("OptimHelmdeckPlugin failed to get KUVO interface");
        return false;
    }
    const int version = kuvo->version();
    if (version < 1003 || version > 1999) {
        if (reportTo)
            reportTo->reportFailure("OptimHelmdeckPlugin found an incompatible KUVO interface");
        return false;
    }
    m_kuvo = kuvo;
    // Looked up here, not in the message handler: a lookup waits for the
    // bus, and waiting there can hold the host up (at shutdown, for one).
    m_sessionAddress = hostProcessAddress();
    return true;
}

int OptimKuvoLink::hostProcessAddress() const
{
    int address = -1;
    if (!m_kuvo || !m_kuvo->lookup("tolvanesess", address))
        return -1;
    return address;
}

bool OptimKuvoLink::sendPlain(int address, const QByteArray &text)
{
    return m_kuvo && address >= 0 && m_kuvo->send(address, wire::KindPlain, text);
}

bool OptimKuvoLink::sendBlock(const QByteArray &name, const QList<QByteArray> &chunks, SendResult done)
{
    if (!m_kuvo || m_simulatorAddress < 0)
        return false;
    OptimDataBlock block;
    block.setName(name);
    block.setChunks(chunks);
    // The reply is not waited for here: normal dispatch brings it to
    // takeReply, and user input, timers and other messages go on meanwhile.
    if (!block.transmit(m_kuvo, m_simulatorAddress))
        return false;
    PendingReply reply;
    reply.serial = ++m_nextSerial;
    reply.address = m_simulatorAddress;
    reply.replyText = block.replyText();
    reply.done = std::move(done);
    reply.deadline = QDeadlineTimer(m_replyDeadlineMs);
    m_replies.push_back(std::move(reply));
    armReplyTimer();
    if (m_replies.size() == 1 && m_owner)
        m_owner->replyWaitChanged(true);
    return true;
}

bool OptimKuvoLink::takeReply(int sender, int kind, const QByteArray &text)
{
    const auto ofSender = [sender](const PendingReply &r) { return r.address == sender; };
    switch (kind) {
    case wire::KindWaitEnd0: case wire::KindWaitEnd3: case wire::KindWaitEnd6:
        // Ends every wait: no reply will come. Only a receiver of a pending
        // send or the session may say so.
        if (m_replies.empty())
            return false;
        if (std::none_of(m_replies.begin(), m_replies.end(), ofSender) && !fromSession(sender, kind, text))
            return true;
        failReplies(-1);
        return true;
    case wire::KindRefused: {
        const auto it = std::find_if(m_replies.begin(), m_replies.end(), ofSender);
        if (it == m_replies.end())
            return false;
        finishReply(it->serial, false);
        return true;
    }
    case wire::KindReply: {
        const bool failed = text.contains("FAILED");
        const QByteArray whole = text.endsWith(" FAILED") ? text.chopped(7) : text;
        const auto named = [&](const PendingReply &r) { return r.address == sender && r.replyText == whole; };
        auto it = std::find_if(m_replies.begin(), m_replies.end(), named);
        if (it == m_replies.end()) {
            // The answer to a send given up: news that the simulator answers.
            const qsizetype late = m_overdue.indexOf(qMakePair(sender, whole));
            if (late >= 0) {
                m_overdue.remove(0, late + 1);
                if (m_owner)
                    m_owner->simulatorAnsweredLate();
                return true;
            }
            // A reply that does not name its block answers the oldest send.
            it = std::find_if(m_replies.begin(), m_replies.end(), ofSender);
        }
        if (it == m_replies.end())
            return false;
        finishReply(it->serial, !failed);
        return true;
    }
    default:
        return false;
    }
}

void OptimKuvoLink::finishReply(quint64 serial, bool ok)
{
    const auto it = std::find_if(m_replies.begin(), m_replies.end(),
                                 [serial](const PendingReply &r) { return r.serial == serial; });
    if (it == m_replies.end())
        return;
    // Taken out first: the outcome may start another send.
    const SendResult done = std::move(it->done);
    m_replies.erase(it);
    armReplyTimer();
    if (done)
        done(ok);
    if (m_replies.empty() && m_owner)
        m_owner->replyWaitChanged(false);
}

void OptimKuvoLink::failReplies(int address)
{
    QList<quint64> serials;
    for (const PendingReply &r : m_replies) {
        if (address < 0 || r.address == address)
            serials.append(r.serial);
    }
    for (const quint64 serial : std::as_const(serials))
        finishReply(serial, false);
}

void OptimKuvoLink::expireReplies()
{
    QList<quint64> serials;
    for (const PendingReply &r : m_replies) {
        if (r.deadline.hasExpired())
            serials.append(r.serial);
    }
    for (const quint64 serial : std::as_const(serials)) {
        const auto it = std::find_if(m_replies.begin(), m_replies.end(),
                                     [serial](const PendingReply &r) { return r.serial == serial; });
        if (it == m_replies.end())
            continue;
        const int address = it->address;
        // Still connected, yet not a word since the send: it has not
        // answered. Its reply may still come and is then recognised.
        const bool silent = !it->heard && address == m_simulatorAddress;
        m_overdue.append(qMakePair(address, it->replyText));
        if (m_overdue.size() > kMaxOverdue)
            m_overdue.removeFirst();
        finishReply(serial, false);
        if (silent && m_owner)
            m_owner->simulatorDoesNotAnswer();
    }
    armReplyTimer();
}

void OptimKuvoLink::armReplyTimer()
{
    if (m_replies.empty()) {
        if (m_replyTimer)
            m_replyTimer->stop();
        return;
    }
    if (!m_replyTimer) {
        m_replyTimer = std::make_unique<QTimer>();
        m_replyTimer->setSingleShot(true);
        QObject::connect(m_replyTimer.get(), &QTimer::timeout, m_replyTimer.get(), [this] { expireReplies(); });
    }
    qint64 next = m_replies.front().deadline.remainingTime();
    for (const PendingReply &r : m_replies)
        next = std::min(next, r.deadline.remainingTime());
    m_replyTimer->start(int(std::max<qint64>(0, next)));
}

bool OptimKuvoLink::sendCommand(const QByteArray &command, SendResult done)
{
    return sendBlock("OPTIM_HELMDECK " + command, {QByteArray(" ")}, std::move(done));
}

bool OptimKuvoLink::sendMessage(const OptimSerializationIFC &record, SendResult done)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return sendBlock(QByteArray("OPTIM_HELMDECK ") + record.tag(), writer.chunks(OptimDataBlock::kChunkLimit),
                     std::move(done));
}

void OptimKuvoLink::onKuvoMessage(int sender, int kind, const QByteArray &text)
{
    for (PendingReply &reply : m_replies)
        reply.heard = reply.heard || reply.address == sender;
    if (takeReply(sender, kind, text))
        return;
    // The chunks and the end message of a block being taken in are its own.
    if ((kind == wire::KindPlain || kind == wire::KindBlockEnd) && feedBlock(sender, kind, text))
        return;
    switch (kind) {
    case wire::KindRendezvous:
        if (text.startsWith("OPTIM_HELMDECK_RENDEZVOUS "))
            handleRendezvous(sender, text);
        break;
    case wire::KindBlockStart:
        // A sender starts its blocks one after the other: a new start ends
        // the one still pending as failed.
        endBlock(sender);
        handleBlock(sender, text);
        break;
    case wire::KindPlain:
        // A chunk of a block not taken in (refused or already over) was
        // answered with the block; anything else is the session's.
        if (!text.startsWith("DATA_BLOCK ") && fromSession(sender, kind, text))
            handleNotification(text);
        break;
    case wire::KindGone:
        // The session's address is looked up anew when next needed.
        if (sender == m_sessionAddress)
            m_sessionAddress = -1;
        endBlock(sender);
        m_incoming.erase(sender);
        m_refusedPeers.remove(sender);
        handleGone(sender);
        // The receiver of a pending send left: its reply will not come.
        failReplies(sender);
        m_overdue.removeIf([sender](const QPair<int, QByteArray> &o) { return o.first == sender; });
        break;
    default:
        break;
    }
}

void OptimKuvoLink::handleRendezvous(int sender, const QByteArray &text)
{
    if (!m_kuvo)
        return;
    const QByteArrayList words = text.simplified().split(' ');
    // While a helmdeck is open, its simulator keeps the link until it is
    // gone: another simulator's rendezvous is refused, not taken over.
    const bool taken = m_simulatorAddress >= 0 && m_owner && m_owner->currentSimulator()
        && words.value(1) != m_simulatorName;
    if (words.size() == 2 && !taken) {
        for (const KuvoPeer &peer : m_kuvo->peers()) {
            if (peer.processName != words.at(1))
                continue;
            int address = -1;
            if (m_kuvo->connectPeer(peer, address)) {
                m_simulatorAddress = address;
                m_simulatorName = peer.processName;
                m_kuvo->send(sender, wire::KindReply, text);
                return;
            }
            break;
        }
    }
    m_kuvo->send(sender, wire::KindRefused, text);
}

void OptimKuvoLink::handleBlock(int sender, const QByteArray &text)
{
    if (!m_kuvo || !text.startsWith("DATA_BLOCK "))
        return;
    const QByteArrayList words = text.simplified().split(' ');
    if (words.size() < 5 || words.at(3) != "OPTIM_HELMDECK")
        return;
    // Only the simulator that made the rendezvous sends the helmdeck blocks:
    // anyone else's is refused at once and none of it is kept.
    if (m_simulatorAddress < 0 || sender != m_simulatorAddress) {
        m_kuvo->send(sender, wire::KindReply, wire::replyText(words.mid(3).join(' '), true));
        noteRefused(sender, "data block \"" + words.mid(3).join(' ').left(80) + "\": not from the connected simulator");
        return;
    }

    // The chunks and the end message come through onKuvoMessage; anything
    // out of place (another block, a chunk twice or out of order, a block
    // that stops coming in or is too large) fails the whole block.
    wire::Header header;
    const bool parsed = wire::parseHeader(text, header) && header.index == 0;
    if (!parsed || header.count > kMaxChunks) {
        m_kuvo->send(sender, wire::KindReply, wire::replyText(parsed ? header.name : words.mid(3).join(' '), true));
        return;
    }
    IncomingBlock &block = m_incoming[sender];
    if (!block.idle) {
        block.idle = std::make_unique<QTimer>();
        block.idle->setSingleShot(true);
        QObject::connect(block.idle.get(), &QTimer::timeout, block.idle.get(), [this, sender] { idleTimeout(sender); });
    }
    block.start = text;
    block.count = header.count;
    block.lastHeard.start();
    block.idle->start(m_blockInactivityMs);
}

bool OptimKuvoLink::feedBlock(int sender, int kind, const QByteArray &text)
{
    const auto it = m_incoming.find(sender);
    if (it == m_incoming.end() || it->second.start.isEmpty())
        return false;
    IncomingBlock &block = it->second;
    block.rest.append({kind, text});
    const qsizetype colon = text.indexOf(':');
    block.bytes += colon < 0 ? 0 : text.size() - colon - 1;
    // Whole or not, a block is over with its end message or once it has
    // taken as many messages as a whole one has. A chunk only notes the
    // time: restarting the idle timer for each of a large block's hundreds
    // of chunks would cost more than the chunk itself; the timeout looks at
    // the time instead.
    if (kind == wire::KindBlockEnd || block.rest.size() > block.count || block.bytes > kMaxBlockBytes)
        endBlock(sender);
    else
        block.lastHeard.start();
    return true;
}

qsizetype OptimKuvoLink::bufferedCapacity(int sender) const
{
    const auto it = m_incoming.find(sender);
    return it == m_incoming.end() ? 0 : it->second.rest.capacity();
}

void OptimKuvoLink::idleTimeout(int sender)
{
    const auto it = m_incoming.find(sender);
    if (it == m_incoming.end() || it->second.start.isEmpty())
        return;
    IncomingBlock &block = it->second;
    // Heard from within the period: wait for the rest of it.
    const qint64 quiet = block.lastHeard.elapsed();
    if (quiet < m_blockInactivityMs)
        block.idle->start(int(m_blockInactivityMs - quiet));
    else
        endBlock(sender);
}

void OptimKuvoLink::endBlock(int sender)
{
    const auto it = m_incoming.find(sender);
    if (it == m_incoming.end() || it->second.start.isEmpty())
        return;
    // Taken out first: what the block brings about may take in the sender's
    // next block, or hear that it has gone.
    IncomingBlock &block = it->second;
    block.idle->stop();
    const QByteArray start = std::exchange(block.start, QByteArray());
    QList<wire::Message> rest = std::exchange(block.rest, QList<wire::Message>());
    // The chunks' texts are joined straight from their messages, each up to
    // its first NUL as the record reader takes a chunk, into a buffer kept
    // from block to block: a large block neither copies its chunks twice nor
    // gets new memory each time. A reader still holding the last text (a
    // block taken in during a dialog the last one opened) keeps its own.
    QByteArray &text = m_blockText;
    text.resize(0);
    text.reserve(std::exchange(block.bytes, 0));
    const wire::Received received = wire::assemble(start, rest, [&text](QByteArrayView chunk) {
        const qsizetype nul = chunk.indexOf('\0');
        text.append(nul < 0 ? chunk : chunk.first(nul));
    }, kMaxChunks, kMaxBlockBytes);
    // What was buffered goes now, before the block's reply and dispatch.
    rest = QList<wire::Message>();
    m_kuvo->send(sender, wire::KindReply, wire::replyText(received.header.name, !received.whole));
    // Nothing of the link is touched once the block is dispatched (what it
    // brings about may end the link): the text goes as a shared copy, and
    // one larger than the room kept leaves the link before.
    const QByteArray joined = text.capacity() > kKeptBlockTextBytes ? std::exchange(m_blockText, QByteArray()) : text;
    if (received.whole)
        dispatchBlock(received.header.name.split(' '), joined);
}

void OptimKuvoLink::dispatchBlock(const QByteArrayList &nameWords, const QByteArray &payload)
{
    if (!m_owner || nameWords.size() < 2 || nameWords.at(0) != "OPTIM_HELMDECK")
        return;
    const QByteArray &type = nameWords.at(1);
    if (type == "OPEN_HELMDECK") {
        // The flags follow the type word: MULTI_OPT, then INTERACTIVE. Each is
        // recognised wherever it stands, so a single interactive
        // optimization that names only INTERACTIVE is not taken as view-only.
        const QByteArrayList flags = nameWords.mid(2);
        m_owner->openHelmdeckFromBlock(payload, flags.contains("MULTI_OPT"), flags.contains("INTERACTIVE"));
        return;
    }
    const QPointer<OptimSimIFC> simulator = m_owner->currentSimulator();
    if (!simulator)
        return;
    switch (optimIncomingType(type)) {
    case OptimIncomingType::Iter:
        emitRecord<OptimIter>(simulator, payload);
        break;
    case OptimIncomingType::NoProgress:
        emitRecord<OptimIterNoProgress>(simulator, payload);
        break;
    case OptimIncomingType::CollapsedIterations:
        emitRecord<OptimIterCollapsedIterations>(simulator, payload);
        break;
    case OptimIncomingType::SimResult:
        emitRecord<OptimIterSimResult>(simulator, payload);
        break;
    case OptimIncomingType::Status:
        emitRecord<OptimStatus>(simulator, payload);
        break;
    case OptimIncomingType::None:
        break;
    }
}

void OptimKuvoLink::noteRefused(int sender, const QByteArray &what)
{
    if (m_refusedPeers.contains(sender))
        return;
    m_refusedPeers.insert(sender);
    qCWarning(lcLink, "refused from peer %d: %s", sender, what.constData());
}

bool OptimKuvoLink::fromSession(int sender, int kind, const QByteArray &text)
{
    if (m_sessionAddress >= 0) {
        if (sender == m_sessionAddress)
            return true;
        noteRefused(sender, refusal(kind, text));
        return false;
    }
    // Not known (yet): the lookup runs from the event loop and decides.
    if (m_heldForSession.size() < kMaxHeldForSession)
        m_heldForSession.append({sender, kind, text});
    else
        noteRefused(sender, "message of kind " + QByteArray::number(kind) + ": too many while the session is looked up");
    scheduleSessionLookup();
    return false;
}

void OptimKuvoLink::scheduleSessionLookup()
{
    if (!m_sessionLookup) {
        m_sessionLookup = std::make_unique<QTimer>();
        m_sessionLookup->setSingleShot(true);
        QObject::connect(m_sessionLookup.get(), &QTimer::timeout, m_sessionLookup.get(), [this] { lookUpSession(); });
    }
    if (!m_sessionLookup->isActive())
        m_sessionLookup->start(0);
}

void OptimKuvoLink::lookUpSession()
{
    const QList<KuvoMessage> held = std::exchange(m_heldForSession, QList<KuvoMessage>());
    m_sessionAddress = hostProcessAddress();
    for (const KuvoMessage &message : held) {
        if (m_sessionAddress >= 0 && message.sender == m_sessionAddress) {
            onKuvoMessage(message.sender, message.kind, message.text);
        } else {
            noteRefused(message.sender, refusal(message.kind, message.text));
        }
    }
}

void OptimKuvoLink::handleNotification(const QByteArray &text)
{
    if (!m_owner)
        return;
    if (text.startsWith("NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED ")) {
        const QByteArrayList words = text.simplified().split(' ');
        OptimSimIFC *simulator = m_owner->currentSimulator();
        if (words.size() == 3 && simulator && words.at(2) == simulator->simulatorId())
            m_owner->simulatorGone(simulator->simulatorId(), false);
    } else if (text.startsWith("NOTIFY SESS ANALYZE_DONE ")) {
        const QByteArrayList words = text.simplified().split(' ');
        OptimSimIFC *simulator = m_owner->currentSimulator();
        if (words.size() >= 4 && simulator && words.at(3) == simulator->simulatorId()) {
            simulator->setDisconnected();
            m_owner->simulationFinished();
        }
    }
}

void OptimKuvoLink::handleGone(int sender)
{
    if (!m_kuvo)
        return;
    QByteArray name, secondName;
    bool isSimulator;
    if (m_kuvo->nameOf(sender, name, secondName))
        isSimulator = name == "tolvanesim" && secondName == m_simulatorName;
    else
        isSimulator = sender >= 0 && sender == m_simulatorAddress;
    if (!isSimulator)
        return;
    m_simulatorAddress = -1;
    if (m_owner) {
        if (OptimSimIFC *simulator = m_owner->currentSimulator())
            m_owner->simulatorGone(simulator->simulatorId(), false);
    }
}
