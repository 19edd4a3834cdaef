#pragma once

// The plug-in-wide end of KUVO: knows the connected simulator, sends it
// commands and data blocks, answers its rendezvous, takes in its data
// blocks and hands what they carry to the open helmdeck.
//
// Data blocks are taken only from the simulator that made the rendezvous
// (its address, simulatorAddress()); another peer's block is answered
// "DATA_BLOCK <name> FAILED" at its start message, its chunks are not kept,
// and it never reaches the helmdeck. The first refused block of each peer
// is logged (category "helmdeck.link"); a peer that leaves is forgotten.

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QSet>

#include <map>
#include <memory>

#include "wire/datablock.h"

class KuvoIFC;
class QTimer;
class OptimSerializationIFC;
class OptimSimIFC;
class PluginManagerIFC;

// What the link needs of the plug-in object.
class OptimKuvoLinkOwner
{
public:
    virtual ~OptimKuvoLinkOwner() = default;
    // An OPEN_HELMDECK block arrived whole; payload is its chunks in order.
    virtual bool openHelmdeckFromBlock(const QList<QByteArray> &payload, bool multiOpt, bool interactive) = 0;
    // The open helmdeck's simulator interface; null when none is open.
    virtual OptimSimIFC *currentSimulator() const = 0;
    // The open helmdeck's simulator was killed, left or disconnected.
    virtual void simulatorGone(const QByteArray &simulatorId, bool closeWindow) = 0;
    // The host reported that the open helmdeck's analysis is done.
    virtual void simulationFinished() = 0;
    // A block send started (true) or stopped (false) waiting for its reply.
    virtual void replyWaitChanged(bool waiting) { Q_UNUSED(waiting); }
    // A block send ended without any word from the simulator, which is
    // still on the bus: it does not answer.
    virtual void simulatorDoesNotAnswer() {}
};

class OptimKuvoLink
{
public:
    // A block announcing more chunks than this is refused without reading
    // it: more than the block size limit holds at full chunks.
    static constexpr int kMaxChunks = wire::kMaxBlockChunks;
    // An incoming block that gets no further message of its sender for this
    // long is dropped and answered " FAILED".
    static constexpr int kBlockInactivityMs = 1000;

    explicit OptimKuvoLink(OptimKuvoLinkOwner *owner = nullptr);
    ~OptimKuvoLink();
    OptimKuvoLink(const OptimKuvoLink &) = delete;
    OptimKuvoLink &operator=(const OptimKuvoLink &) = delete;

    void setBlockInactivityTimeout(int milliseconds) { m_blockInactivityMs = milliseconds; }
    // The room taken by the messages buffered of the sender's pending block
    // (0 once a block is over: its buffer is freed, not kept for the next).
    qsizetype bufferedCapacity(int sender) const;

    // Takes the "KUVO" interface from the plug-in manager and checks its
    // version; reports failures to the manager.
    bool attach(PluginManagerIFC *manager);
    // For tests and hosts that hand the interface directly.
    bool attach(KuvoIFC *kuvo, PluginManagerIFC *reportTo = nullptr);

    KuvoIFC *kuvo() const { return m_kuvo; }
    int simulatorAddress() const { return m_simulatorAddress; }
    const QByteArray &simulatorName() const { return m_simulatorName; }

    // Address of the host's session process "tolvanesess", or -1.
    int hostProcessAddress() const;

    bool sendPlain(int address, const QByteArray &text);
    // A command block "OPTIM_HELMDECK <command>" with one chunk of a blank.
    bool sendCommand(const QByteArray &command);
    // A message block "OPTIM_HELMDECK <tag>" carrying the record's words.
    bool sendMessage(const OptimSerializationIFC &record);

    // Every KUVO message addressed to the plug-in comes here. A data block
    // is taken in as its messages arrive, never by waiting for them: other
    // messages, timers and user input go on meanwhile.
    void onKuvoMessage(int sender, int kind, const QByteArray &text);

private:
    void handleRendezvous(int sender, const QByteArray &text);
    void handleBlock(int sender, const QByteArray &text);
    bool feedBlock(int sender, int kind, const QByteArray &text);
    void endBlock(int sender);
    void idleTimeout(int sender);
    void handleNotification(const QByteArray &text);
    // Logs the first message refused from sender.
    void noteRefused(int sender, const QByteArray &what);
    void handleGone(int sender);
    void dispatchBlock(const QByteArrayList &nameWords, const QList<QByteArray> &payload);
    bool sendBlock(const QByteArray &name, const QList<QByteArray> &chunks);

    OptimKuvoLinkOwner *m_owner;
    KuvoIFC *m_kuvo = nullptr;
    int m_simulatorAddress = -1;
    QByteArray m_simulatorName;
    int m_replyWaits = 0;  // block sends waiting for their replies, nested
    QSet<int> m_refusedPeers;  // peers logged for a refused message, until they leave

    // The block a sender is sending, from its start message on.
    struct IncomingBlock
    {
        QByteArray start;            // the start message's text; empty while none is pending
        int count = 0;               // chunks announced
        QList<wire::Message> rest;   // its chunks and end message so far
        qsizetype bytes = 0;         // chunk text so far
        std::unique_ptr<QTimer> idle;  // ends the block when its sender stops sending
        QElapsedTimer lastHeard;       // since the block's last message
    };
    std::map<int, IncomingBlock> m_incoming;  // by sender; an entry lives until the sender is gone
    int m_blockInactivityMs = kBlockInactivityMs;
};
