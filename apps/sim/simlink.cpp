#include "simlink.h"

#include "model/optimserialization.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

quint64 s_lastBlockId = 0;

const QByteArray kPrefix("OPTIM_HELMDECK");

}  // namespace

SimLink::SimLink() = default;

quint64 SimLink::peekNextBlockId()
{
    return s_lastBlockId + 1;
}

bool SimLink::connectToBus(const QString &path, const QByteArray &processName, QString *error)
{
    m_client.setTimeout(10000);
    if (!m_client.connectToBroker(path, "tolvanesim", processName)) {
        if (error)
            *error = QStringLiteral("cannot join the KUVO bus at %1: %2").arg(path, m_client.errorString());
        return false;
    }
    return true;
}

bool SimLink::isConnected() const
{
    return m_client.isConnected();
}

void SimLink::disconnectFromBus()
{
    m_client.disconnectFromBroker();
}

bool SimLink::waitRaw(KuvoMessage &message, int timeoutMs)
{
    if (m_client.pendingMessages() == 0) {
        // Let the socket deliver what has arrived before deciding there is nothing.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    m_client.setTimeout(std::max(0, timeoutMs));
    return m_client.waitForMessage(message);
}

bool SimLink::rendezvous(int timeoutMs, bool *refused, QString *error)
{
    if (refused)
        *refused = false;
    const QDeadlineTimer deadline(timeoutMs);
    m_client.setTimeout(std::max(1000, timeoutMs));
    int host = -1;
    while (!m_client.lookup("tolvane", host)) {
        if (deadline.hasExpired() || !m_client.isConnected()) {
            if (error)
                *error = QStringLiteral("no host (\"tolvane\") on the KUVO bus");
            return false;
        }
        QThread::msleep(100);
    }
    m_host = host;
    const QByteArray text = "OPTIM_HELMDECK_RENDEZVOUS " + m_client.secondName();
    if (!m_client.send(m_host, wire::KindRendezvous, text)) {
        if (error)
            *error = QStringLiteral("cannot send the rendezvous to the host");
        return false;
    }
    for (;;) {
        KuvoMessage m;
        const int left = int(std::max<qint64>(0, deadline.remainingTime()));
        if (!waitRaw(m, left)) {
            if (error)
                *error = m_client.isConnected() ? QStringLiteral("the host did not answer the rendezvous")
                                                : QStringLiteral("the KUVO bus went away");
            return false;
        }
        if (m.sender == m_host && m.kind == wire::KindReply && m.text == text)
            return true;
        if (m.sender == m_host && m.kind == wire::KindRefused) {
            if (refused)
                *refused = true;
            if (error)
                *error = QStringLiteral("the host refused the rendezvous (%1)").arg(QString::fromLatin1(m.text));
            return false;
        }
        if (m.sender == m_host && m.kind == wire::KindGone) {
            m_hostGone = true;
            if (error)
                *error = QStringLiteral("the host left the bus");
            return false;
        }
        m_queue.push_back(classify(m));
    }
}

bool SimLink::sendRecord(const QByteArray &name, const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return sendBlock(name, writer.chunks(wire::kChunkLimit));
}

bool SimLink::sendBlock(const QByteArray &name, const QList<QByteArray> &chunks)
{
    m_error.clear();
    if (m_host < 0 || m_hostGone || !m_client.isConnected()) {
        m_error = QStringLiteral("no helmdeck to send to");
        return false;
    }
    const QByteArray blockId = QByteArray::number(++s_lastBlockId);
    const wire::Envelope e = wire::envelope(blockId, name, chunks);
    bool sent = m_client.send(m_host, wire::KindBlockStart, e.start);
    for (const QByteArray &chunk : e.chunks)
        sent = sent && m_client.send(m_host, wire::KindPlain, chunk);
    sent = sent && m_client.send(m_host, wire::KindBlockEnd, e.end);
    if (!sent) {
        m_error = QStringLiteral("sending the block failed");
        return false;
    }
    const QDeadlineTimer deadline(m_ackTimeoutMs);
    for (;;) {
        KuvoMessage m;
        if (!waitRaw(m, int(std::max<qint64>(0, deadline.remainingTime())))) {
            m_error = m_client.isConnected() ? QStringLiteral("no reply to block %1").arg(QString::fromLatin1(name))
                                             : QStringLiteral("the KUVO bus went away");
            return false;
        }
        if (m.sender == m_host) {
            if (m.kind == wire::KindReply) {
                if (m.text.contains("FAILED")) {
                    m_error = QStringLiteral("the helmdeck did not receive block %1 whole").arg(QString::fromLatin1(name));
                    return false;
                }
                return true;
            }
            if (m.kind == wire::KindGone) {
                m_hostGone = true;
                m_queue.push_back(classify(m));
                m_error = QStringLiteral("the helmdeck left the bus");
                return false;
            }
            if (wire::endsEveryWait(m.kind) || m.kind == wire::KindRefused) {
                m_error = QStringLiteral("the helmdeck ended the wait for block %1 (kind %2)")
                              .arg(QString::fromLatin1(name))
                              .arg(m.kind);
                return false;
            }
        }
        m_queue.push_back(classify(m));
    }
}

SimIncoming SimLink::next(int timeoutMs)
{
    if (!m_queue.empty()) {
        SimIncoming in = m_queue.front();
        m_queue.pop_front();
        return in;
    }
    if (!m_client.isConnected()) {
        SimIncoming gone;
        gone.type = SimIncoming::BusGone;
        return gone;
    }
    KuvoMessage m;
    if (!waitRaw(m, timeoutMs)) {
        SimIncoming none;
        none.type = m_client.isConnected() ? SimIncoming::None : SimIncoming::BusGone;
        return none;
    }
    return classify(m);
}

SimIncoming SimLink::classify(const KuvoMessage &m)
{
    SimIncoming in;
    in.sender = m.sender;
    in.kind = m.kind;
    in.text = m.text;
    in.type = SimIncoming::Other;

    if (m.kind == wire::KindBlockStart) {
        wire::Header header;
        if (!wire::parseHeader(m.text, header) || header.index != 0 || !header.name.startsWith(kPrefix + ' '))
            return in;  // not a helmdeck block: no reply, as the helmdeck does it
        if (header.count > wire::kMaxBlockChunks) {
            // More than the size limit holds: refused before any of it is
            // taken in; its chunks then come as plain messages and are dropped.
            m_client.send(m.sender, wire::KindReply, wire::replyText(header.name, true));
            return in;
        }
        QList<KuvoMessage> rest;
        m_client.setTimeout(10000);
        m_client.receiveDataBlock(m.sender, header.count + 1, rest);
        QList<wire::Message> parts;
        for (const KuvoMessage &r : std::as_const(rest))
            parts.append({r.kind, r.text});
        const wire::Received block = wire::assemble(m.text, parts);
        m_client.send(m.sender, wire::KindReply, wire::replyText(block.header.name, !block.whole));
        if (!block.whole)
            return in;
        const QList<QByteArray> words = wire::nameWords(block.header.name);
        if (words.size() < 2)
            return in;
        in.word = words.at(1);
        if (in.word == "CONTINUE" || in.word == "FINISH_SIMULATION") {
            in.type = SimIncoming::Command;
        } else if (in.word == "SIMULATE") {
            bool ok = false;
            in.commandId = words.size() > 2 ? words.at(2).toLong(&ok) : -1;
            in.type = SimIncoming::Command;
            if (!ok)
                in.commandId = -1;
        } else {
            in.type = SimIncoming::Message;
            in.payload = block.payload;
        }
        return in;
    }
    if (m.kind == wire::KindPlain) {
        const QList<QByteArray> words = m.text.simplified().split(' ');
        if (words.value(0) == "OPTIM_HELMDECK_PAUSE") {
            in.type = SimIncoming::Pause;
            in.word = words.value(1);
        } else if (words.value(0) == "OPTIM_HELMDECK_DISCONNECT") {
            in.type = SimIncoming::Disconnect;
        }
        return in;
    }
    if (m.kind == wire::KindGone && m.sender == m_host) {
        m_hostGone = true;
        in.type = SimIncoming::HostGone;
    }
    return in;
}
