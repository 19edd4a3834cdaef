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
//
// Notifications (plain messages that are not part of a block) and the kinds
// that end every wait for a reply are taken only from the host's session
// process "tolvanesess" (the latter also from the receiver of a pending
// send); anyone else's are dropped and logged the same way. The session's
// address is looked up when the link attaches and kept, never from inside
// the message handler. While it is not known (before the session joined,
// or since it left) a message only the session may send is held, and a
// lookup runs from the event loop that hands it on or drops it.
//
// A block the link sends is not waited for either: the send returns once its
// messages are out, and the receiver's reply is taken when normal dispatch
// brings it (matched by the block's name, oldest send first). A refusal, the
// receiver leaving, or no reply within the reply deadline fails the send.
#include <QByteArray>
#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QSet>

#include <functional>
#include <list>
#include <map>
#include <memory>

#include "hostifc/kuvoifc.h"
#include "wire/datablock.h"

class QTimer;
class OptimSerializationIFC;
class OptimSimIFC;
class PluginManagerIFC;

// What the link needs of the plug-in object.
class OptimKuvoLinkOwner
{
public:
    virtual ~OptimKuvoLinkOwner() = default;
    // An OPEN_HELMDECK block arrived whole; text is its chunks' texts joined.
    virtual bool openHelmdeckFromBlock(const QByteArray &text, bool multiOpt, bool interactive) = 0;
    // The open helmdeck's simulator interface; null when none is open.
    virtual OptimSimIFC *currentSimulator() const = 0;
    // The open helmdeck's simulator was killed, left or disconnected.
    virtual void simulatorGone(const QByteArray &simulatorId, bool closeWindow) = 0;
    // The host reported that the open helmdeck's analysis is done.
    virtual void simulationFinished() = 0;
    // The first block send started (true) or the last one stopped (false)
    // waiting for its reply.
    virtual void replyWaitChanged(bool waiting) { Q_UNUSED(waiting); }
    // A block send reached its reply deadline without any word from the
    // simulator, which is still on the bus: it has not answered (yet).
    virtual void simulatorDoesNotAnswer() {}
    // The reply to a send given up at its deadline arrived after all.
    virtual void simulatorAnsweredLate() {}
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
    // A block send that has no reply for this long fails.
    static constexpr int kReplyDeadlineMs = 30000;

    // Called once with a block send's outcome: true when the receiver's
    // reply came and does not say FAILED.
    using SendResult = std::function<void(bool ok)>;

    explicit OptimKuvoLink(OptimKuvoLinkOwner *owner = nullptr);
    ~OptimKuvoLink();
    OptimKuvoLink(const OptimKuvoLink &) = delete;
    OptimKuvoLink &operator=(const OptimKuvoLink &) = delete;

    void setBlockInactivityTimeout(int milliseconds) { m_blockInactivityMs = milliseconds; }
    // The room taken by the messages buffered of the sender's pending block
    // (0 once a block is over: its buffer is freed, not kept for the next).
    qsizetype bufferedCapacity(int sender) const;
    void setReplyDeadline(int milliseconds) { m_replyDeadlineMs = milliseconds; }

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
    // The session's address as last looked up, or -1.
    int sessionAddress() const { return m_sessionAddress; }

    bool sendPlain(int address, const QByteArray &text);
    // A command block "OPTIM_HELMDECK <command>" with one chunk of a blank.
    // False when it could not be sent; otherwise done hears the reply later.
    bool sendCommand(const QByteArray &command, SendResult done = {});
    // A message block "OPTIM_HELMDECK <tag>" carrying the record's words;
    // returns as sendCommand does.
    bool sendMessage(const OptimSerializationIFC &record, SendResult done = {});
    // Block sends waiting for their replies.
    int pendingReplies() const { return int(m_replies.size()); }

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
    // Whether sender may send a message of kind that only the session (or,
    // for the kinds ending every wait, a pending send's receiver) sends. While
    // the session's address is unknown the message is held for the lookup.
    bool fromSession(int sender, int kind, const QByteArray &text);
    // Looks the session up (never called from the message handler) and
    // hands on or drops what was held for it.
    void lookUpSession();
    void scheduleSessionLookup();
    // Logs the first message refused from sender.
    void noteRefused(int sender, const QByteArray &what);
    void handleGone(int sender);
    // payload: the block's chunk texts joined.
    void dispatchBlock(const QByteArrayList &nameWords, const QByteArray &payload);
    bool sendBlock(const QByteArray &name, const QList<QByteArray> &chunks, SendResult done);
    // Takes a message of a receiver as the reply to a pending send, or as a
    // late reply to one given up; false when it is neither.
    bool takeReply(int sender, int kind, const QByteArray &text);

    struct PendingReply
    {
        quint64 serial = 0;
        int address = -1;
        QByteArray replyText;           // the reply that says the block arrived whole
        SendResult done;
        QDeadlineTimer deadline;
        bool heard = false;             // the receiver sent anything since
    };
    // Ends a pending send with its outcome; the owner hears when none is left.
    void finishReply(quint64 serial, bool ok);
    // Fails the pending sends to address (every one for -1).
    void failReplies(int address);
    // Fails the sends past their deadline and sets the timer for the next.
    void expireReplies();
    void armReplyTimer();

    OptimKuvoLinkOwner *m_owner;
    KuvoIFC *m_kuvo = nullptr;
    int m_simulatorAddress = -1;
    QByteArray m_simulatorName;
    std::list<PendingReply> m_replies;  // sends waiting for their replies, oldest first
    QList<QPair<int, QByteArray>> m_overdue;  // address and reply text of sends given up, newest last
    quint64 m_nextSerial = 0;
    std::unique_ptr<QTimer> m_replyTimer;  // fires at the earliest deadline
    int m_replyDeadlineMs = kReplyDeadlineMs;
    QSet<int> m_refusedPeers;  // peers logged for a refused message, until they leave
    int m_sessionAddress = -1;  // of "tolvanesess", as last looked up
    std::unique_ptr<QTimer> m_sessionLookup;  // runs the lookup from the event loop
    QList<KuvoMessage> m_heldForSession;  // arrived while the session's address was unknown

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
    QByteArray m_blockText;                   // the last block's joined chunk texts, its room kept
    int m_blockInactivityMs = kBlockInactivityMs;
};
