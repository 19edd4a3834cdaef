#include "fakehelmdeck.h"

#include "model/optimitermessages.h"
#include "wire/datablock.h"

#include <QDeadlineTimer>
#include <QTest>

bool FakeHelmdeck::start()
{
    m_broker = std::make_unique<KuvoBroker>();
    if (!m_broker->listen(socketPath()))
        return false;
    m_client = std::make_unique<KuvoClient>();
    m_client->setTimeout(10000);
    m_model = std::make_unique<OptimizationModelObject>();
    return m_client->connectToBroker(socketPath(), "tolvane");
}

bool FakeHelmdeck::answerRendezvous(QByteArray &processName, bool refuse)
{
    KuvoMessage m;
    m_client->setTimeout(10000);
    while (m_client->waitForMessage(m)) {
        if (m.kind != wire::KindRendezvous)
            continue;
        const QList<QByteArray> words = m.text.split(' ');
        if (words.size() != 2 || words.at(0) != "OPTIM_HELMDECK_RENDEZVOUS")
            return false;
        processName = words.at(1);
        m_sim = m.sender;
        return m_client->send(m.sender, refuse ? 12 : 8, m.text);
    }
    return false;
}

// "DATA_BLOCK <id> <n> <name>" then n chunks "DATA_BLOCK <id> <i>/<n> <name>:<text>" then the start text again.
bool FakeHelmdeck::takeBlock(const KuvoMessage &start, FakeBlock &block)
{
    const QList<QByteArray> head = start.text.split(' ');
    if (head.size() < 4 || head.at(0) != "DATA_BLOCK")
        return false;
    const QByteArray id = head.at(1);
    const int n = head.at(2).toInt();
    block = FakeBlock();
    block.name = head.mid(3).join(' ');
    block.word = head.value(4);
    QList<KuvoMessage> rest;
    bool whole = m_client->receiveDataBlock(start.sender, n + 1, rest) && rest.size() == n + 1;
    for (int i = 0; whole && i < n; ++i) {
        const QByteArray prefix = "DATA_BLOCK " + id + ' ' + QByteArray::number(i + 1) + '/' + QByteArray::number(n) + ' '
                                  + block.name + ':';
        whole = rest.at(i).kind == wire::KindPlain && rest.at(i).text.startsWith(prefix);
        if (whole)
            block.payload += rest.at(i).text.mid(prefix.size());
    }
    whole = whole && rest.last().kind == wire::KindBlockEnd && rest.last().text == start.text;
    block.chunks = n;
    m_client->send(start.sender, wire::KindReply, "DATA_BLOCK " + block.name + (whole ? "" : " FAILED"));
    return whole;
}

namespace {

// Reads the payload as a Record and hands it to apply when it reads cleanly.
template <typename Record, typename Apply>
void applyAs(const FakeBlock &block, Apply apply)
{
    OptimSerialReader reader(block.payload);
    Record record;
    record.deserialize(reader);
    if (!reader.hasError())
        apply(record);
}

}  // namespace

void FakeHelmdeck::apply(const FakeBlock &block)
{
    OptimizationModelObject &model = *m_model;
    if (block.word == "OPEN_HELMDECK") {
        applyAs<OptimModelInput>(block, [this](const OptimModelInput &input) {
            m_model = std::make_unique<OptimizationModelObject>();  // the new model becomes the current one
            m_model->setModelInput(input);
            m_model->setStatus(StatusInitializing);
        });
    } else if (block.word == "STATUS") {
        applyAs<OptimStatus>(block, [&model](const OptimStatus &m) { model.applyStatus(m); });
    } else if (block.word == "OPTIM_ITER") {
        applyAs<OptimIter>(block, [&model](const OptimIter &m) { model.applyIteration(m); });
    } else if (block.word == "OPTIM_NO_PROGRESS") {
        applyAs<OptimIterNoProgress>(block, [&model](const OptimIterNoProgress &m) { model.applyNoProgress(m); });
    } else if (block.word == "OPTIM_COMPACT_ITERS") {
        applyAs<OptimIterCollapsedIterations>(block, [&model](const OptimIterCollapsedIterations &m) { model.applyCollapsedIterations(m); });
    } else if (block.word == "SIM_RESULT") {
        applyAs<OptimIterSimResult>(block, [&model](const OptimIterSimResult &m) { model.applySimResult(m); });
    }
}

// A block that came while the test waited for something else: kept for later.
void FakeHelmdeck::keepBlock(const KuvoMessage &start)
{
    FakeBlock b;
    if (takeBlock(start, b)) {
        apply(b);
        m_received.append(b);
        m_backlog.append(b);
    }
}

bool FakeHelmdeck::pump(FakeBlock *block, int timeoutMs)
{
    if (!m_backlog.isEmpty()) {
        if (block)
            *block = m_backlog.takeFirst();
        return true;
    }
    m_client->setTimeout(timeoutMs);
    KuvoMessage m;
    while (m_client->waitForMessage(m)) {
        if (m.kind == wire::KindGone && m.sender == m_sim) {
            m_gone = true;
            return false;
        }
        if (m.kind == wire::KindReply) {
            m_lastReply = m.text;
            continue;
        }
        if (m.kind != wire::KindBlockStart)
            continue;
        FakeBlock b;
        if (!takeBlock(m, b))
            continue;
        apply(b);
        m_received.append(b);
        if (block)
            *block = b;
        else
            m_backlog.append(b);
        return true;
    }
    return false;
}

bool FakeHelmdeck::waitForBlock(const QByteArray &word, FakeBlock &block, QList<FakeBlock> *skipped, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        FakeBlock b;
        if (!pump(&b, int(deadline.remainingTime())))
            return false;
        if (b.word == word) {
            block = b;
            return true;
        }
        if (skipped)
            skipped->append(b);
    }
    return false;
}

bool FakeHelmdeck::waitForStatus(int status, QList<FakeBlock> *skipped, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        FakeBlock b;
        if (!waitForBlock("STATUS", b, skipped, int(deadline.remainingTime())))
            return false;
        bool match = false;
        applyAs<OptimStatus>(b, [&](const OptimStatus &s) { match = s.status() == status; });
        if (match)
            return true;
        if (skipped)
            skipped->append(b);
    }
    return false;
}

bool FakeHelmdeck::sendBlock(const QByteArray &name, const QList<QByteArray> &chunks)
{
    const QByteArray id = QByteArray::number(++m_nextId);
    const QByteArray n = QByteArray::number(chunks.size());
    const QByteArray head = "DATA_BLOCK " + id + ' ' + n + ' ' + name;
    bool ok = m_client->send(m_sim, wire::KindBlockStart, head);
    for (int i = 0; i < chunks.size(); ++i)
        ok = ok && m_client->send(m_sim, wire::KindPlain, "DATA_BLOCK " + id + ' ' + QByteArray::number(i + 1) + '/' + n + ' ' + name + ':' + chunks.at(i));
    ok = ok && m_client->send(m_sim, wire::KindBlockEnd, head);
    if (!ok)
        return false;
    // The reply; blocks the simulator sends meanwhile are taken in and kept.
    m_client->setTimeout(10000);
    KuvoMessage m;
    while (m_client->waitForMessage(m)) {
        if (m.kind == wire::KindReply) {
            m_lastReply = m.text;
            // A reply to an earlier block is not this one's.
            if (m.text == "DATA_BLOCK " + name || m.text == "DATA_BLOCK " + name + " FAILED")
                return m.text == "DATA_BLOCK " + name;
            continue;
        }
        if (m.kind == wire::KindGone && m.sender == m_sim) {
            m_gone = true;
            return false;
        }
        if (m.kind == wire::KindBlockStart)
            keepBlock(m);
    }
    return false;
}

bool FakeHelmdeck::sendMessage(const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return sendBlock("OPTIM_HELMDECK " + QByteArray(record.tag()), writer.chunks(5700));
}

