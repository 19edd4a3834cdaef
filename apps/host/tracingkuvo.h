#pragma once

// An observing decorator around the KUVO interface the host hands to the
// plug-in. It forwards every call unchanged; on the way it
// - decodes each data block the plug-in takes in (from the messages the host
//   hands it, or through receiveDataBlock) with the shared wire format and
//   reports it (trace lines, block observer);
// - reports what the plug-in sends (block starts and plain messages);
// - counts the plug-in's waits, so the host can hold back work that must not
//   run inside one (console input, closing for a screenshot).
//
// The messages the host hands to the plug-in's handler are reported by the
// host through noteDelivered, because they never pass through this object.

#include "hostifc/kuvoifc.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class HostTrace;

struct TracedBlock
{
    QByteArray name;             // e.g. "OPTIM_HELMDECK OPTIM_ITER"
    QByteArray type;             // the second name word, e.g. "OPTIM_ITER"
    QList<QByteArray> payload;   // chunk texts after the envelope header
    QStringList description;     // the trace lines, the "block ..." line first
    bool readCleanly = false;    // the payload read as the record its type names
    bool isIteration = false;    // OPTIM_ITER, OPTIM_NO_PROGRESS or OPTIM_COMPACT_ITERS
    int status = -1;             // a STATUS block's status code
    long commandId = -1;         // the command id an iteration or result carries
};

namespace tracing {

// Puts a block together from what receiveDataBlock took: the chunks (kind
// 11) and the end message (kind 10). False when they do not make a block.
bool assembleBlock(const QList<KuvoMessage> &messages, TracedBlock &block);
// Fills block.description (and the decoded fields) from block.name and block.payload.
void describeBlock(TracedBlock &block);
// "message KIND from ADDRESS: TEXT" for a message handed to the plug-in.
QString describeMessage(const KuvoMessage &message);
// What a send by the plug-in looks like in the trace; empty for the chunks
// and end messages of a block, which the start message already announced.
QString describeSend(int address, int kind, const QByteArray &text);
// A message text for one trace line: line breaks escaped, long texts cut.
QString printable(const QByteArray &text);

} // namespace tracing

class TracingKuvo : public KuvoIFC
{
public:
    TracingKuvo(KuvoIFC *inner, const HostTrace *trace);

    void setBlockObserver(std::function<void(const TracedBlock &)> observer) { m_blockObserver = std::move(observer); }
    // The room taken by the messages kept of the sender's block being
    // delivered (0 when none is, or the block is over the size limit).
    qsizetype keptCapacity(int sender) const;
    // Whether the plug-in is inside one of its waits right now.
    bool isWaiting() const { return m_waitDepth > 0; }
    // The host reports a message it hands to the plug-in's handler.
    void noteDelivered(const KuvoMessage &message);

    int version() const override;
    bool send(int address, int kind, const QByteArray &text) override;
    bool waitForMessage(KuvoMessage &message) override;
    bool dispatch(const KuvoMessage &message) override;
    bool lookup(const QByteArray &name, int &address) override;
    bool nameOf(int address, QByteArray &name, QByteArray &secondName) override;
    QList<KuvoPeer> peers() override;
    bool connectPeer(const KuvoPeer &peer, int &address) override;
    bool receiveDataBlock(int sender, int maxMessages, QList<KuvoMessage> &rest) override;

private:
    struct WaitScope;

    void reportBlock(int sender, bool ended, const QList<KuvoMessage> &rest) const;

    KuvoIFC *m_inner;
    const HostTrace *m_trace;
    std::function<void(const TracedBlock &)> m_blockObserver;
    int m_waitDepth = 0;
    // A block being handed to the plug-in message by message.
    struct Delivering
    {
        int count = 0;                // chunks announced
        int seen = 0;                 // messages after the start
        qsizetype bytes = 0;          // their text
        bool dropped = false;         // over the size limit: counted, not kept
        QList<KuvoMessage> messages;  // the messages after the start
    };
    QHash<int, Delivering> m_delivering;  // by sender
    // Gives the memory of refused and dropped blocks back to the system once
    // their messages have stopped coming (the allocator keeps it otherwise).
    QTimer m_releaseMemory;
};
