#include "tracingkuvo.h"

#include "hosttrace.h"

#include "model/optimitermessages.h"
#include "wire/datablock.h"

#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int kMaxTraceText = 160;
constexpr int kReleaseMemoryDelayMs = 250;

// The block name of an envelope header; empty when the text is none.
QByteArray envelopeName(const QByteArray &header)
{
    wire::Header parsed;
    return wire::parseHeader(header, parsed) ? parsed.name : QByteArray();
}

template <typename Record>
bool readRecord(const QList<QByteArray> &payload, Record &record)
{
    OptimSerialReader reader(payload);
    record.deserialize(reader);
    return !reader.hasError();
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

// The error as a number, the one the helmdeck records in its history: the
// detail while the output is a best error (its text also says where the best
// was found), else the text.
QString errorOf(const OptimAlgOutput &algorithm)
{
    return orDash(algorithm.isBestError() ? algorithm.errorDetail() : algorithm.errorText());
}

} // namespace

namespace tracing {

QString printable(const QByteArray &text)
{
    QByteArray shown = text.left(kMaxTraceText);
    shown.replace('\\', "\\\\").replace('\n', "\\n").replace('\r', "\\r");
    QString result = QString::fromUtf8(shown);
    if (text.size() > kMaxTraceText)
        result += QStringLiteral("...");
    return result;
}

bool assembleBlock(const QList<KuvoMessage> &messages, TracedBlock &block)
{
    // The end message repeats the start's text, so it stands in for it.
    if (messages.isEmpty() || messages.last().kind != wire::KindBlockEnd)
        return false;
    QList<wire::Message> rest;
    rest.reserve(messages.size());
    for (const KuvoMessage &message : messages)
        rest.append({message.kind, message.text});
    wire::Received received = wire::assemble(messages.last().text, rest);
    if (!received.whole)
        return false;
    block.name = received.header.name;
    block.payload = std::move(received.payload);
    describeBlock(block);
    return true;
}

void describeBlock(TracedBlock &block)
{
    const QByteArrayList words = block.name.split(' ');
    block.type = words.value(1);
    block.description = {QStringLiteral("block ") + QString::fromLatin1(block.name)};
    block.readCleanly = false;
    block.isIteration = false;
    block.status = -1;
    block.commandId = -1;
    QString detail;
    const QByteArray &type = block.type;
    if (type == "OPEN_HELMDECK") {
        OptimModelInput input;
        block.readCleanly = readRecord(block.payload, input);
        if (block.readCleanly)
            detail = QStringLiteral("open %1 variables %2 goals %3 algorithm %4 max %5")
                         .arg(orDash(QString::fromLatin1(words.mid(2).join(','))))
                         .arg(input.variables().size())
                         .arg(input.goals().size())
                         .arg(input.algorithm().algorithmType())
                         .arg(orDash(input.algorithm().maxIterations()));
    } else if (type == OptimStatus::typeWord()) {
        OptimStatus status;
        block.readCleanly = readRecord(block.payload, status);
        if (block.readCleanly) {
            block.status = status.status();
            detail = QStringLiteral("status %1 %2 %3")
                         .arg(status.status())
                         .arg(orDash(optimStatusText(status.status())), tracing::printable(status.message().toUtf8()))
                         .trimmed();
        }
    } else if (type == OptimIter::typeWord()) {
        OptimIter iter;
        block.readCleanly = readRecord(block.payload, iter);
        block.isIteration = true;
        if (block.readCleanly) {
            block.commandId = iter.commandId();
            detail = QStringLiteral("iter %1 error %2 command %3")
                         .arg(orDash(iter.algorithm().iterationText()), errorOf(iter.algorithm()))
                         .arg(iter.commandId());
        }
    } else if (type == OptimIterNoProgress::typeWord()) {
        OptimIterNoProgress iter;
        block.readCleanly = readRecord(block.payload, iter);
        block.isIteration = true;
        if (block.readCleanly) {
            block.commandId = iter.commandId();
            detail = QStringLiteral("noprogress iter %1 error %2 command %3")
                         .arg(orDash(iter.algorithm().iterationText()), errorOf(iter.algorithm()))
                         .arg(iter.commandId());
        }
    } else if (type == OptimIterCollapsedIterations::typeWord()) {
        OptimIterCollapsedIterations iters;
        block.readCleanly = readRecord(block.payload, iters);
        block.isIteration = true;
        if (block.readCleanly) {
            block.commandId = iters.commandId();
            detail = QStringLiteral("compact first %1 iter %2 error %3 command %4")
                         .arg(iters.firstIteration())
                         .arg(orDash(iters.algorithm().iterationText()), errorOf(iters.algorithm()))
                         .arg(iters.commandId());
        }
    } else if (type == OptimIterSimResult::typeWord()) {
        OptimIterSimResult result;
        block.readCleanly = readRecord(block.payload, result);
        if (block.readCleanly) {
            const OptimIter &iter = result.iteration();
            block.commandId = iter.commandId();
            detail = QStringLiteral("simresult command %1 error %2 ok %3")
                         .arg(iter.commandId())
                         .arg(errorOf(iter.algorithm()),
                              iter.algorithm().simulationOk() ? QStringLiteral("YES") : QStringLiteral("NO"));
        }
    } else {
        return;
    }
    if (!block.readCleanly)
        detail = QStringLiteral("unreadable ") + QString::fromLatin1(type);
    block.description.append(detail);
}

QString describeMessage(const KuvoMessage &message)
{
    // The plug-in takes the replies to its blocks through normal dispatch.
    if (message.kind == wire::KindReply)
        return QStringLiteral("reply from %1: %2").arg(message.sender).arg(printable(message.text));
    return QStringLiteral("message %1 from %2: %3").arg(message.kind).arg(message.sender).arg(printable(message.text));
}

QString describeSend(int address, int kind, const QByteArray &text)
{
    if (kind == wire::KindBlockEnd || (kind == wire::KindPlain && text.startsWith("DATA_BLOCK ")))
        return QString();
    if (kind == wire::KindBlockStart) {
        const QByteArray name = envelopeName(text);
        if (!name.isEmpty())
            return QStringLiteral("send block %1 to %2").arg(QString::fromLatin1(name)).arg(address);
    }
    return QStringLiteral("send %1 to %2: %3").arg(kind).arg(address).arg(printable(text));
}

} // namespace tracing

struct TracingKuvo::WaitScope
{
    explicit WaitScope(int &depth) : m_depth(depth) { ++m_depth; }
    ~WaitScope() { --m_depth; }
    WaitScope(const WaitScope &) = delete;
    WaitScope &operator=(const WaitScope &) = delete;
    int &m_depth;
};

TracingKuvo::TracingKuvo(KuvoIFC *inner, const HostTrace *trace)
    : m_inner(inner)
    , m_trace(trace)
{
    m_releaseMemory.setSingleShot(true);
    m_releaseMemory.setInterval(kReleaseMemoryDelayMs);
    QObject::connect(&m_releaseMemory, &QTimer::timeout, [] {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });
}

void TracingKuvo::noteDelivered(const KuvoMessage &message)
{
    // A block is reported once, when its end message (or as many messages
    // as a whole block has) came; its start, chunks and end are not traced.
    // A block over the size limit is counted through, not kept: the plug-in
    // refuses it, and its chunks are not traced one by one either.
    const auto block = m_delivering.find(message.sender);
    if (block != m_delivering.end()) {
        const bool part = message.kind == wire::KindPlain || message.kind == wire::KindBlockEnd;
        Delivering &d = block.value();
        if (part) {
            ++d.seen;
            d.bytes += message.text.size();
            if (!d.dropped && d.bytes > wire::kMaxBlockBytes) {
                d.dropped = true;
                reportBlock(message.sender, false, std::exchange(d.messages, QList<KuvoMessage>()));
            } else if (!d.dropped) {
                d.messages.append(message);
            }
        }
        if (!part || message.kind == wire::KindBlockEnd || d.seen > d.count) {
            const Delivering done = m_delivering.take(message.sender);
            if (!done.dropped)
                reportBlock(message.sender, true, done.messages);
        }
        if (part)
            return;
    }
    if (message.kind == wire::KindBlockStart && message.text.startsWith("DATA_BLOCK ")) {
        wire::Header header;
        if (wire::parseHeader(message.text, header) && header.index == 0) {
            Delivering d;
            d.count = header.count;
            d.dropped = header.count > wire::kMaxBlockChunks;
            if (d.dropped && m_trace)
                m_trace->line(QStringLiteral("block from %1 refused: %2 chunks announced").arg(message.sender).arg(header.count));
            m_delivering.insert(message.sender, d);
        }
        return;
    }
    if (m_trace)
        m_trace->line(tracing::describeMessage(message));
}

qsizetype TracingKuvo::keptCapacity(int sender) const
{
    const auto it = m_delivering.constFind(sender);
    return it == m_delivering.cend() ? 0 : it->messages.capacity();
}

int TracingKuvo::version() const
{
    return m_inner->version();
}

bool TracingKuvo::send(int address, int kind, const QByteArray &text)
{
    const bool ok = m_inner->send(address, kind, text);
    // The plug-in refused or dropped a block: what it took is free now or
    // once the rest of its chunks has come and gone.
    if (kind == wire::KindReply && text.endsWith(" FAILED"))
        m_releaseMemory.start();
    if (m_trace) {
        const QString line = tracing::describeSend(address, kind, text);
        if (!line.isEmpty())
            m_trace->line(ok ? line : line + QStringLiteral(" (failed)"));
    }
    return ok;
}

bool TracingKuvo::waitForMessage(KuvoMessage &message)
{
    WaitScope scope(m_waitDepth);
    return m_inner->waitForMessage(message);
}

bool TracingKuvo::dispatch(const KuvoMessage &message)
{
    return m_inner->dispatch(message);
}

bool TracingKuvo::lookup(const QByteArray &name, int &address)
{
    WaitScope scope(m_waitDepth);
    return m_inner->lookup(name, address);
}

bool TracingKuvo::nameOf(int address, QByteArray &name, QByteArray &secondName)
{
    WaitScope scope(m_waitDepth);
    return m_inner->nameOf(address, name, secondName);
}

QList<KuvoPeer> TracingKuvo::peers()
{
    WaitScope scope(m_waitDepth);
    return m_inner->peers();
}

bool TracingKuvo::connectPeer(const KuvoPeer &peer, int &address)
{
    WaitScope scope(m_waitDepth);
    return m_inner->connectPeer(peer, address);
}

bool TracingKuvo::receiveDataBlock(int sender, int maxMessages, QList<KuvoMessage> &rest)
{
    bool ok = false;
    {
        WaitScope scope(m_waitDepth);
        ok = m_inner->receiveDataBlock(sender, maxMessages, rest);
    }
    reportBlock(sender, ok, rest);
    return ok;
}

void TracingKuvo::reportBlock(int sender, bool ended, const QList<KuvoMessage> &rest) const
{
    TracedBlock block;
    if (ended && tracing::assembleBlock(rest, block)) {
        if (m_trace) {
            for (const QString &line : std::as_const(block.description))
                m_trace->line(line);
        }
        if (m_blockObserver)
            m_blockObserver(block);
    } else if (m_trace) {
        m_trace->line(QStringLiteral("block from %1 incomplete (%2 messages)").arg(sender).arg(rest.size()));
    }
}
