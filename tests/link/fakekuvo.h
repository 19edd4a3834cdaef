#pragma once

// An in-process KUVO for link tests: records what is sent, hands out
// scripted incoming messages to waits or, one at a time, to the handler
// (normally the link under test), as does what a wait dispatches.

#include "hostifc/kuvoifc.h"
#include "wire/datablock.h"

#include <QMap>

#include <functional>

struct SentMessage
{
    int address;
    int kind;
    QByteArray text;
    bool operator==(const SentMessage &) const = default;
};

class FakeKuvo : public KuvoIFC
{
public:
    int versionNumber = 1100;
    QList<SentMessage> sent;
    QList<KuvoMessage> incoming;          // what waits and block reads take, in order
    QList<KuvoMessage> dispatched;        // what the link handed to normal dispatch
    std::function<void(const KuvoMessage &)> dispatcher;
    // Called after every send, e.g. to queue the receiver's reply.
    std::function<void(const SentMessage &)> onSend;
    QMap<QByteArray, int> registered;     // lookup names
    QList<KuvoPeer> peerList;
    QMap<int, QPair<QByteArray, QByteArray>> names;
    bool connectSucceeds = true;
    bool failSends = false;
    int waits = 0;                        // calls of waitForMessage
    int lookups = 0;                      // calls of lookup

    int version() const override { return versionNumber; }

    bool send(int address, int kind, const QByteArray &text) override
    {
        if (failSends)
            return false;
        sent.append({address, kind, text});
        if (onSend)
            onSend(sent.last());
        return true;
    }

    bool waitForMessage(KuvoMessage &message) override
    {
        ++waits;
        if (incoming.isEmpty())
            return false;
        message = incoming.takeFirst();
        return true;
    }

    bool dispatch(const KuvoMessage &message) override
    {
        dispatched.append(message);
        if (dispatcher)
            dispatcher(message);
        return true;
    }

    bool lookup(const QByteArray &name, int &address) override
    {
        ++lookups;
        if (!registered.contains(name))
            return false;
        address = registered.value(name);
        return true;
    }

    bool nameOf(int address, QByteArray &name, QByteArray &secondName) override
    {
        if (!names.contains(address))
            return false;
        name = names.value(address).first;
        secondName = names.value(address).second;
        return true;
    }

    QList<KuvoPeer> peers() override { return peerList; }

    bool connectPeer(const KuvoPeer &peer, int &address) override
    {
        if (!connectSucceeds)
            return false;
        address = peer.address;
        return true;
    }

    bool receiveDataBlock(int, int, QList<KuvoMessage> &) override { return false; }

    // Normal dispatch: hands what is queued to the handler one message at a time.
    void deliverIncoming()
    {
        while (dispatcher && !incoming.isEmpty())
            dispatcher(incoming.takeFirst());
    }

    // Queues a whole data block from sender as its messages would arrive.
    void queueBlock(int sender, const QByteArray &blockId, const QByteArray &name, const QList<QByteArray> &chunks)
    {
        const QByteArray header = "DATA_BLOCK " + blockId + ' ' + QByteArray::number(chunks.size()) + ' ' + name;
        incoming.append({sender, wire::KindBlockStart, header});
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            incoming.append({sender, wire::KindPlain, "DATA_BLOCK " + blockId + ' ' + QByteArray::number(i + 1) + '/'
                                             + QByteArray::number(chunks.size()) + ' ' + name + ':' + chunks.at(i)});
        }
        incoming.append({sender, wire::KindBlockEnd, header});
    }
};
