#pragma once

// The simulator's end of the KUVO link to the helmdeck.
//
// The simulator registers as "tolvanesim" with its process name as second
// name, finds the host ("tolvane") and announces itself with
// "OPTIM_HELMDECK_RENDEZVOUS <process name>" (kind 7); kind 8 accepts, kind
// 12 refuses. It then sends data blocks to the host and waits for each
// block's reply before the next; what arrives meanwhile is kept: a data
// block from the helmdeck is taken in and acknowledged at once (so two
// sides that send blocks to each other never wait on each other), and
// everything else is queued for next().
//
// All waits are bounded. Single-threaded; the link drives the event loop
// itself, so the program needs no QCoreApplication::exec().

#include "wire/datablock.h"

#include "kuvo/kuvoclient.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <deque>

class OptimSerializationIFC;

struct SimIncoming
{
    enum Type {
        None,        // nothing within the wait
        Command,     // a command block: word CONTINUE, SIMULATE (commandId), FINISH_SIMULATION
        Message,     // a message block: word VARIABLE_VALUES, VAR_DEFINITIONS, ...; payload
        Pause,       // kind 11 "OPTIM_HELMDECK_PAUSE[ <simulator id>]"
        Disconnect,  // kind 11 "OPTIM_HELMDECK_DISCONNECT"
        HostGone,    // kind 13 from the host
        BusGone,     // the broker connection ended
        Other,       // anything else (ignored)
    };
    Type type = None;
    int sender = -1;
    int kind = 0;
    QByteArray word;              // command or message word; the pause's simulator id
    long commandId = -1;          // SIMULATE <id>
    QList<QByteArray> payload;    // message block chunks
    QByteArray text;              // the raw text (Other)
};

class SimLink
{
public:
    SimLink();

    // Connects and registers "tolvanesim <processName>".
    bool connectToBus(const QString &path, const QByteArray &processName, QString *error);
    // Looks the host up (retrying until the timeout), sends the rendezvous
    // and waits for the answer. refused is set when the host answered kind 12.
    bool rendezvous(int timeoutMs, bool *refused, QString *error);

    int hostAddress() const { return m_host; }
    bool isConnected() const;
    bool hostGone() const { return m_hostGone; }

    // Sends a block to the host and waits (at most the ack timeout) for its reply.
    bool sendBlock(const QByteArray &name, const QList<QByteArray> &chunks);
    // A message block named name (e.g. "OPTIM_HELMDECK OPTIM_ITER") carrying record.
    bool sendRecord(const QByteArray &name, const OptimSerializationIFC &record);

    // The next incoming event, waiting at most timeoutMs (0: only what is there).
    SimIncoming next(int timeoutMs);

    void setAckTimeout(int ms) { m_ackTimeoutMs = ms; }
    QString lastError() const { return m_error; }
    void disconnectFromBus();

    // The id the next block will carry (blocks are numbered from 1 per process).
    static quint64 peekNextBlockId();

private:
    // Turns a raw message into an event; a data block is taken in and acknowledged here.
    SimIncoming classify(const KuvoMessage &message);
    bool waitRaw(KuvoMessage &message, int timeoutMs);

    KuvoClient m_client;
    int m_host = -1;
    bool m_hostGone = false;
    int m_ackTimeoutMs = 60000;
    QString m_error;
    std::deque<SimIncoming> m_queue;
};
