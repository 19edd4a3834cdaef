#include "optimkuvolink.h"

#include "hostifc/kuvoifc.h"
#include "link/optimdatablock.h"
#include "link/optimsimifc.h"
#include "hostifc/pluginmanagerifc.h"
#include "model/optimitermessages.h"

#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_LOGGING_CATEGORY(lcLink, "helmdeck.link")

namespace {

// The KUVO interface as a block send sees it: notes whether anything came
// from the receiver during the wait for its reply.
class ReplyWatch : public KuvoIFC
{
public:
    ReplyWatch(KuvoIFC *kuvo, int address)
        : m_kuvo(kuvo)
        , m_address(address)
    {
    }

    bool heard = false;

    int version() const override { return m_kuvo->version(); }
    bool send(int address, int kind, const QByteArray &text) override { return m_kuvo->send(address, kind, text); }
    bool waitForMessage(KuvoMessage &message) override
    {
        const bool got = m_kuvo->waitForMessage(message);
        heard = heard || (got && message.sender == m_address);
        return got;
    }
    bool dispatch(const KuvoMessage &message) override { return m_kuvo->dispatch(message); }
    bool lookup(const QByteArray &name, int &address) override { return m_kuvo->lookup(name, address); }
    bool nameOf(int address, QByteArray &name, QByteArray &second) override
    {
        return m_kuvo->nameOf(address, name, second);
    }
    QList<KuvoPeer> peers() override { return m_kuvo->peers(); }
    bool connectPeer(const KuvoPeer &peer, int &address) override { return m_kuvo->connectPeer(peer, address); }
    bool receiveDataBlock(int sender, int maxMessages, QList<KuvoMessage> &rest) override
    {
        return m_kuvo->receiveDataBlock(sender, maxMessages, rest);
    }

private:
    KuvoIFC *m_kuvo;
    int m_address;
};

constexpr qsizetype kMaxBlockBytes = wire::kMaxBlockBytes;

// Reads a message of type M from a block's payload and emits it on the
// simulator interface, only when it read cleanly.
template <typename M>
void emitRecord(OptimSimIFC *simulator, const QList<QByteArray> &payload)
{
    OptimSerialReader reader(payload);
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

bool OptimKuvoLink::sendBlock(const QByteArray &name, const QList<QByteArray> &chunks)
{
    if (!m_kuvo || m_simulatorAddress < 0)
        return false;
    OptimDataBlock block;
    block.setName(name);
    block.setChunks(chunks);
    const int address = m_simulatorAddress;
    ReplyWatch watch(m_kuvo, address);
    // A message dispatched during the wait may send a block of its own: the
    // owner hears of the outermost wait only.
    if (m_replyWaits++ == 0 && m_owner)
        m_owner->replyWaitChanged(true);
    const bool sent = block.transmit(&watch, address);
    if (--m_replyWaits == 0 && m_owner)
        m_owner->replyWaitChanged(false);
    // Still connected, yet not a word during the whole wait.
    if (!sent && !watch.heard && m_simulatorAddress == address && m_owner)
        m_owner->simulatorDoesNotAnswer();
    return sent;
}

bool OptimKuvoLink::sendCommand(const QByteArray &command)
{
    return sendBlock("OPTIM_HELMDECK " + command, {QByteArray(" ")});
}

bool OptimKuvoLink::sendMessage(const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return sendBlock(QByteArray("OPTIM_HELMDECK ") + record.tag(), writer.chunks(OptimDataBlock::kChunkLimit));
}

void OptimKuvoLink::onKuvoMessage(int sender, int kind, const QByteArray &text)
{
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
        handleNotification(text);
        break;
    case wire::KindGone:
        endBlock(sender);
        m_incoming.erase(sender);
        m_refusedPeers.remove(sender);
        handleGone(sender);
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
    block.bytes = 0;
    wire::Received received = wire::assemble(start, rest, kMaxChunks, kMaxBlockBytes);
    // What was buffered goes now, before the block's reply and dispatch.
    rest = QList<wire::Message>();
    m_kuvo->send(sender, wire::KindReply, wire::replyText(received.header.name, !received.whole));
    if (received.whole)
        dispatchBlock(received.header.name.split(' '), received.payload);
}

void OptimKuvoLink::dispatchBlock(const QByteArrayList &nameWords, const QList<QByteArray> &payload)
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
