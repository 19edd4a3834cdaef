#pragma once

// The host's KUVO messaging as the plug-in sees it. Every message carries the
// sender's address, an integer kind and a text. The host hands messages
// addressed to the plug-in to its message handler ("normal dispatch"); a
// caller that waits for a reply takes messages itself with waitForMessage and
// hands on those it does not want with dispatch.
//
// Every wait is bounded by the implementation: a wait that sees nothing
// within its limit, or whose bus went away, answers false.

#include <QByteArray>
#include <QList>

struct KuvoMessage
{
    int sender = -1;
    int kind = 0;
    QByteArray text;
};

struct KuvoPeer
{
    int address = -1;
    QByteArray processName;  // second name when the peer registered one, else its name
};

class KuvoIFC
{
public:
    virtual ~KuvoIFC() = default;

    // Interface version; the plug-in accepts 1003 to 1999.
    virtual int version() const = 0;

    virtual bool send(int address, int kind, const QByteArray &text) = 0;

    // Takes the next message addressed to this client, in arrival order.
    virtual bool waitForMessage(KuvoMessage &message) = 0;

    // Hands a message taken by waitForMessage to normal dispatch. False means
    // the dispatcher wants the caller's wait to end.
    virtual bool dispatch(const KuvoMessage &message) = 0;

    // Address of the first client registered under name, or false.
    virtual bool lookup(const QByteArray &name, int &address) = 0;

    // Name and second name of an address (also of a peer that has just gone
    // away, as announced by kind 13). secondName is empty when it has none.
    virtual bool nameOf(int address, QByteArray &name, QByteArray &secondName) = 0;

    virtual QList<KuvoPeer> peers() = 0;

    // Opens the way to a peer found by peers(); answers its address.
    virtual bool connectPeer(const KuvoPeer &peer, int &address) = 0;

    // After a data block's start message (kind 9) from sender: takes that
    // sender's remaining messages of the block, the chunks (kind 11) up to and
    // including the end message (kind 10), in order. Messages of other senders
    // that arrive meanwhile stay queued for normal dispatch. False when the
    // sender goes away, the block does not end in time, or more than
    // maxMessages messages of the sender arrive without an end message; rest
    // then holds what arrived (at most maxMessages).
    virtual bool receiveDataBlock(int sender, int maxMessages, QList<KuvoMessage> &rest) = 0;
};
