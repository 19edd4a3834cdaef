#pragma once

// The helmdeck's side of the link, as small as a test needs: registered as
// "tolvane" on a real broker, it answers the rendezvous, takes in and
// acknowledges data blocks (its own envelope code, written apart from the
// simulator's), sends commands and messages as blocks, and applies every
// message to an OptimizationModelObject as the plug-in would.

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvoclient.h"
#include "model/optimizationmodelobject.h"

#include <QList>
#include <QTemporaryDir>

#include <memory>

struct FakeBlock
{
    QByteArray name;     // e.g. "OPTIM_HELMDECK OPTIM_ITER"
    QByteArray word;     // the second name word
    QByteArray payload;  // the chunks' texts joined
    int chunks = 0;
};

class FakeHelmdeck
{
public:
    bool start();  // broker listening and "tolvane" registered
    QString socketPath() const { return m_dir.filePath(QStringLiteral("kuvo.sock")); }

    // Waits for the rendezvous and answers it (kind 8, or kind 12 when refuse).
    bool answerRendezvous(QByteArray &processName, bool refuse = false);

    // Takes in messages until a block arrives (or the timeout); every block is
    // acknowledged and applied to the model.
    bool nextBlock(FakeBlock &block, int timeoutMs = 10000) { return pump(&block, timeoutMs); }
    // Blocks until one named word arrives; the ones before it are kept in skipped.
    bool waitForBlock(const QByteArray &word, FakeBlock &block, QList<FakeBlock> *skipped = nullptr,
                      int timeoutMs = 10000);
    // A STATUS block with that status; the blocks before it in skipped.
    bool waitForStatus(int status, QList<FakeBlock> *skipped = nullptr, int timeoutMs = 10000);

    // A command block ("CONTINUE", "SIMULATE 5", "FINISH_SIMULATION"); waits for its reply.
    bool sendCommand(const QByteArray &command) { return sendBlock("OPTIM_HELMDECK " + command, {" "}); }
    // A message block named after the record's tag; waits for its reply.
    bool sendMessage(const OptimSerializationIFC &record);
    // A plain kind-11 text (the relayed pause, the disconnect), or a message of another kind.
    bool sendText(const QByteArray &text, int kind = 11) { return m_client->send(m_sim, kind, text); }

    bool simulatorGone() const { return m_gone; }
    void leave() { m_client->disconnectFromBroker(); }

    OptimizationModelObject &model() { return *m_model; }
    const QList<FakeBlock> &received() const { return m_received; }
    int simulatorAddress() const { return m_sim; }
    QByteArray lastReply() const { return m_lastReply; }

private:
    bool takeBlock(const KuvoMessage &start, FakeBlock &block);
    void apply(const FakeBlock &block);
    void keepBlock(const KuvoMessage &start);
    bool sendBlock(const QByteArray &name, const QList<QByteArray> &chunks);
    bool pump(FakeBlock *block, int timeoutMs);

    QTemporaryDir m_dir;
    std::unique_ptr<KuvoBroker> m_broker;
    std::unique_ptr<KuvoClient> m_client;
    std::unique_ptr<OptimizationModelObject> m_model;
    QList<FakeBlock> m_received;
    QList<FakeBlock> m_backlog;  // blocks taken in while waiting for a reply
    int m_sim = -1;
    int m_nextId = 100;
    bool m_gone = false;
    QByteArray m_lastReply;
};
