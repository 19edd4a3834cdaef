// The real helmdeck-sim process on a real bus, with this test as the
// helmdeck: rendezvous, the open request, iterations applied to a model,
// pause, continue, simulate, changed definitions, finish and disconnect.

#include "fakehelmdeck.h"

#include "model/optimitermessages.h"
#include "wire/datablock.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

QString example(const char *name)
{
    return QStringLiteral(SIM_EXAMPLES_DIR "/") + QLatin1String(name);
}

template <typename Record>
Record read(const FakeBlock &block)
{
    Record r;
    OptimSerialReader reader(block.payload);
    r.deserialize(reader);
    if (reader.hasError())
        qWarning("block %s does not read", block.name.constData());
    return r;
}

}  // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeHelmdeck> m_host;
    std::unique_ptr<QProcess> m_sim;
    QTemporaryDir m_dir;

    bool startSim(const QString &design, const QStringList &extra = {})
    {
        m_sim = std::make_unique<QProcess>();
        m_sim->setProcessChannelMode(QProcess::SeparateChannels);
        m_sim->start(QStringLiteral(HELMDECK_SIM_PATH),
                     QStringList{QStringLiteral("--design"), design, QStringLiteral("--kuvo"), m_host->socketPath()} + extra);
        return m_sim->waitForStarted(5000);
    }

    bool rendezvous()
    {
        QByteArray name;
        return m_host->answerRendezvous(name) && name == "sim-" + QByteArray::number(m_sim->processId());
    }

    // Exit code once the process ended, -1 when it did not end in time.
    int exitCode()
    {
        if (!QTest::qWaitFor([this] { return m_sim->state() == QProcess::NotRunning; }, 10000))
            return -1;
        return m_sim->exitStatus() == QProcess::NormalExit ? m_sim->exitCode() : -2;
    }

    // A copy of lowpass.json with algorithm 1 and an iteration limit.
    QString limited(int maxIterations)
    {
        QFile in(example("lowpass.json"));
        in.open(QIODevice::ReadOnly);
        QJsonObject o = QJsonDocument::fromJson(in.readAll()).object();
        o.insert(QStringLiteral("algorithm"), QJsonObject{{QStringLiteral("name"), QStringLiteral("Optim1")},
                                                          {QStringLiteral("type"), 1}, {QStringLiteral("maxIterations"), maxIterations}});
        const QString path = m_dir.filePath(QStringLiteral("limited-%1.json").arg(maxIterations));
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(QJsonDocument(o).toJson());
        return path;
    }

    const OptimizationModel &model() { return m_host->model().model(); }
    int iteration() { return model().output().algorithm().iterationText().toInt(); }

    // The model's histories hold one entry per iteration 0..n.
    void checkHistories()
    {
        const int n = iteration();
        const OptimizationModel &m = model();
        QCOMPARE(m.history().algorithm().values().size(), n + 1);
        for (const OptimGoalHistory &g : m.history().goals())
            QCOMPARE(g.values().size(), n + 1);
        for (const OptimVarHistory &v : m.history().variables())
            QCOMPARE(v.values().size(), n + 1);
    }

private Q_SLOTS:
    void init()
    {
        m_host = std::make_unique<FakeHelmdeck>();
        QVERIFY(m_host->start());
    }

    void cleanup()
    {
        if (m_sim && m_sim->state() != QProcess::NotRunning) {
            m_sim->kill();
            m_sim->waitForFinished(5000);
        }
        if (QTest::currentTestFailed() && m_sim)
            qWarning("simulator said: %s", m_sim->readAllStandardError().constData());
        m_sim.reset();
        m_host.reset();
    }

    void openIterateSimulateFinish()
    {
        QVERIFY(startSim(example("lowpass.json")));
        QVERIFY(rendezvous());
        FakeBlock open;
        QVERIFY(m_host->nextBlock(open));
        QCOMPARE(open.name, QByteArray("OPTIM_HELMDECK OPEN_HELMDECK SINGLE_OPT INTERACTIVE"));
        const OptimModelInput input = read<OptimModelInput>(open);
        QCOMPARE(input.variables().size(), 5);
        QCOMPARE(input.variables().at(0).value(), QStringLiteral("5 pF"));
        QCOMPARE(input.goals().size(), 3);
        QCOMPARE(input.algorithm().algorithmType(), 2);
        QList<FakeBlock> before;
        QVERIFY(m_host->waitForStatus(StatusFinished, &before));
        QCOMPARE(before.at(0).word, QByteArray("STATUS"));
        QCOMPARE(read<OptimStatus>(before.at(0)).status(), int(StatusInitializing));
        QCOMPARE(read<OptimStatus>(before.at(1)).status(), int(StatusRunning));
        QCOMPARE(before.at(2).word, QByteArray("OPTIM_ITER"));  // iteration 0 goes out at once
        QCOMPARE(read<OptimIter>(before.at(2)).algorithm().iterationText(), QStringLiteral("0"));
        // Applied as the plug-in applies them, the messages give a consistent history.
        const OptimizationModel &m = model();
        QCOMPARE(m.output().algorithm().status(), int(StatusFinished));
        QCOMPARE(m.output().algorithm().stoppingReason(), QStringLiteral("All goals met"));
        QVERIFY(iteration() > 5 && iteration() <= 100);
        checkHistories();
        const QStringList errors = m.history().algorithm().values().toStringList();
        QVERIFY(std::is_sorted(errors.rbegin(), errors.rend(), [](const QString &a, const QString &b) { return a.toDouble() < b.toDouble(); }));
        QCOMPARE(errors.last(), QStringLiteral("0"));
        QVERIFY(errors.first().toDouble() > 100);
        QCOMPARE(m.output().goals().at(0).traces().trace(0).xValues().size(), 150);
        QVERIFY(m.input().variables().at(0).value() != QStringLiteral("5 pF"));  // the optimized value
        QVERIFY(m_host->sendCommand("SIMULATE 5"));
        FakeBlock simulated;
        QVERIFY(m_host->waitForBlock("SIM_RESULT", simulated));
        const OptimIterSimResult result = read<OptimIterSimResult>(simulated);
        QCOMPARE(result.iteration().commandId(), 5L);
        QVERIFY(result.iteration().algorithm().simulationOk());
        QCOMPARE(result.iteration().algorithm().status(), int(StatusFinished));
        QCOMPARE(result.iteration().algorithm().errorText(), QStringLiteral("0"));
        QCOMPARE(result.iteration().goals().size(), 3);
        QCOMPARE(result.iteration().variables().at(1).value(), m.input().variables().at(1).value());
        QVERIFY(m_host->sendCommand("FINISH_SIMULATION"));
        QVERIFY(m_host->waitForStatus(StatusExited));
        QCOMPARE(exitCode(), 0);
    }

    // Iterations after the first are held until the pause (the batch
    // interval is an hour); the log says when one is held. Each check waits
    // for an answer the simulator sends after what it had to send before.
    void pauseValuesSimulateContinue()
    {
        QVERIFY(startSim(example("lowpass.json"), {QStringLiteral("--max-rate"), QStringLiteral("10"),
                                                   QStringLiteral("--id"), QStringLiteral("SIM42"), QStringLiteral("--verbose"),
                                                   QStringLiteral("--batch-interval"), QStringLiteral("3600000")}));
        QVERIFY(rendezvous());
        FakeBlock block;
        QVERIFY(m_host->waitForBlock("OPTIM_ITER", block));
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += m_sim->readAllStandardError()).contains("iteration 1 held"), 10000);
        // A pause for another simulator is not ours: a CONTINUE sent after it
        // is answered "running" with no status before.
        QList<FakeBlock> before;
        QVERIFY(m_host->sendText("OPTIM_HELMDECK_PAUSE SIM7"));
        QVERIFY(m_host->sendCommand("CONTINUE"));
        QVERIFY(m_host->waitForStatus(StatusRunning, &before));
        QVERIFY(before.isEmpty());
        // Ours: the held iterations go out in one report, then STATUS PAUSED.
        QVERIFY(m_host->sendText("OPTIM_HELMDECK_PAUSE SIM42"));
        QVERIFY(m_host->waitForStatus(StatusPaused, &before));
        QCOMPARE(before.size(), 1);
        QCOMPARE(model().output().algorithm().status(), int(StatusPaused));
        const int pausedAt = iteration();
        QVERIFY(pausedAt >= 1);
        // Nothing comes while paused: a pause now is answered with the status alone.
        before.clear();
        QVERIFY(m_host->sendText("OPTIM_HELMDECK_PAUSE SIM42"));
        QVERIFY(m_host->waitForStatus(StatusPaused, &before));
        QVERIFY(before.isEmpty());
        OptimIterVariableValues values;
        values.setCommandId(7);
        values.setValues({QStringLiteral("2.5 pF")});
        QVERIFY(m_host->sendMessage(values));
        QVERIFY(m_host->sendCommand("SIMULATE 8"));
        QVERIFY(m_host->waitForBlock("SIM_RESULT", block));
        const OptimIterSimResult result = read<OptimIterSimResult>(block);
        QCOMPARE(result.iteration().commandId(), 8L);
        QCOMPARE(result.iteration().algorithm().status(), int(StatusPaused));
        QCOMPARE(result.iteration().variables().at(0).value(), QStringLiteral("2.5 pF"));
        QCOMPARE(iteration(), pausedAt);
        QVERIFY(m_host->sendCommand("CONTINUE"));
        QVERIFY(m_host->waitForStatus(StatusRunning));
        QVERIFY(m_host->waitForBlock("OPTIM_ITER", block));
        const OptimIter next = read<OptimIter>(block);
        QCOMPARE(next.commandId(), 8L);  // the last command the simulator heard
        QCOMPARE(next.algorithm().iterationText().toInt(), pausedAt + 1);
        QCOMPARE(next.variables().at(0).value(), QStringLiteral("2.5 pF"));  // it went on from the given values
        QVERIFY(m_host->sendText("OPTIM_HELMDECK_DISCONNECT"));
        QCOMPARE(exitCode(), 0);
    }

    void changedDefinitionsAndARaisedLimit()
    {
        QVERIFY(startSim(limited(5)));
        QVERIFY(rendezvous());
        QVERIFY(m_host->waitForStatus(StatusFinished));
        QCOMPARE(iteration(), 5);
        QCOMPARE(model().output().algorithm().stoppingReason(), QStringLiteral("Maximum number of iterations reached"));
        // Nothing changed: running again and finished again at once.
        QVERIFY(m_host->sendCommand("CONTINUE"));
        QVERIFY(m_host->waitForStatus(StatusRunning));
        QVERIFY(m_host->waitForStatus(StatusFinished));
        QCOMPARE(iteration(), 5);
        OptimIterVariableDefinitions vars;
        vars.setCommandId(3);
        vars.variables() = model().input().variables();
        vars.variables()[0].setOptimize(false);
        vars.variables()[0].setValue(QStringLiteral("2 pF"));
        QVERIFY(m_host->sendMessage(vars));
        OptimIterAlgorithmDefinition def;
        def.setCommandId(4);
        def.algorithm() = model().input().algorithm();
        def.algorithm().setMaxIterations(QStringLiteral("12"));
        QVERIFY(m_host->sendMessage(def));
        QVERIFY(m_host->sendCommand("CONTINUE"));
        QList<FakeBlock> run;
        QVERIFY(m_host->waitForStatus(StatusFinished, &run));
        QCOMPARE(iteration(), 12);
        checkHistories();
        // C1 is no longer optimized: every report after the change has it at 2 pF.
        int reports = 0;
        for (const FakeBlock &b : run) {
            if (b.word == "OPTIM_ITER") {
                const OptimIter it = read<OptimIter>(b);
                QCOMPARE(it.commandId(), 4L);
                QCOMPARE(it.variables().at(0).value(), QStringLiteral("2 pF"));
                ++reports;
            } else if (b.word == "OPTIM_COMPACT_ITERS") {
                const auto batch = read<OptimIterCollapsedIterations>(b);
                QCOMPARE(batch.commandId(), 4L);
                QCOMPARE(batch.variables().at(0).value(), QStringLiteral("2 pF"));
                for (const QString &v : batch.variableHistories().at(0).values())
                    QCOMPARE(v, QStringLiteral("2 pF"));
                ++reports;
            }
        }
        QVERIFY(reports > 0);
        QCOMPARE(model().history().variables().at(0).values().last(), QStringLiteral("2 pF"));
        m_host->leave();
        QCOMPARE(exitCode(), 0);
    }

    void recalledDefinitionsBecomeTheCurrentPoint()
    {
        QVERIFY(startSim(limited(5)));
        QVERIFY(rendezvous());
        FakeBlock open;
        QVERIFY(m_host->nextBlock(open));
        const OptimModelInput initial = read<OptimModelInput>(open);
        QList<FakeBlock> run;
        QVERIFY(m_host->waitForStatus(StatusFinished, &run));
        const auto first = std::find_if(run.cbegin(), run.cend(), [](const FakeBlock &b) { return b.word == "OPTIM_ITER"; });
        QVERIFY(first != run.cend());
        const QString initialError = read<OptimIter>(*first).algorithm().errorDetail();
        QVERIFY(model().output().algorithm().errorDetail() != initialError);
        // The definitions it opened with, unchanged (a recalled initial state):
        // a simulation then reports the initial point again.
        OptimIterVariableDefinitions recalled;
        recalled.variables() = initial.variables();
        QVERIFY(m_host->sendMessage(recalled));
        QVERIFY(m_host->sendCommand("SIMULATE 9"));
        FakeBlock block;
        QVERIFY(m_host->waitForBlock("SIM_RESULT", block));
        const OptimIterSimResult result = read<OptimIterSimResult>(block);
        QCOMPARE(result.iteration().algorithm().errorText(), initialError);
        QCOMPARE(result.iteration().variables().at(0).value(), initial.variables().at(0).value());
        m_host->leave();
        QCOMPARE(exitCode(), 0);
    }

    void fastIterationsAreCompacted()
    {
        QVERIFY(startSim(limited(400), {QStringLiteral("--batch")}));
        QVERIFY(rendezvous());
        FakeBlock open;
        QVERIFY(m_host->nextBlock(open));
        QCOMPARE(open.name, QByteArray("OPTIM_HELMDECK OPEN_HELMDECK"));
        QList<FakeBlock> run;
        QVERIFY(m_host->waitForStatus(StatusFinished, &run));
        QVERIFY(std::any_of(run.cbegin(), run.cend(), [](const FakeBlock &b) { return b.word == "OPTIM_COMPACT_ITERS"; }));
        QVERIFY(run.size() < 200);  // far fewer messages than iterations
        QCOMPARE(iteration(), 400);
        checkHistories();
        const QStringList errors = model().history().algorithm().values().toStringList();
        QVERIFY(std::is_sorted(errors.rbegin(), errors.rend(), [](const QString &a, const QString &b) { return a.toDouble() < b.toDouble(); }));
        QCOMPARE(exitCode(), 0);  // not interactive: gone when finished
    }

    void sweepOpensOneModelPerOptimization()
    {
        QVERIFY(startSim(example("lowpass-sweep.json"), {QStringLiteral("--batch")}));
        QVERIFY(rendezvous());
        FakeBlock first;
        QVERIFY(m_host->nextBlock(first));
        QCOMPARE(first.name, QByteArray("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT"));
        QCOMPARE(read<OptimModelInput>(first).algorithm().name(), QStringLiteral("Nominal"));
        QVERIFY(m_host->waitForStatus(StatusFinished));
        FakeBlock second;
        QVERIFY(m_host->waitForBlock("OPEN_HELMDECK", second));
        const OptimModelInput input = read<OptimModelInput>(second);
        QCOMPARE(input.algorithm().name(), QStringLiteral("Parasitic"));
        QCOMPARE(input.algorithm().algorithmType(), 5);
        QVERIFY(m_host->waitForStatus(StatusFinished));
        QCOMPARE(exitCode(), 0);
    }

    // A block announcing more than the size limit is refused unread: its
    // chunk is dropped and the next block (which would otherwise be taken
    // in as part of it) is answered.
    void oversizedBlockIsRefusedUnread()
    {
        QVERIFY(startSim(example("lowpass.json")));
        QVERIFY(rendezvous());
        QVERIFY(m_host->waitForStatus(StatusFinished));
        const QByteArray over = QByteArray::number(wire::kMaxBlockChunks + 1);
        QVERIFY(m_host->sendText("DATA_BLOCK 7 " + over + " OPTIM_HELMDECK VARIABLE_VALUES", 9));
        QVERIFY(m_host->sendText("DATA_BLOCK 7 1/" + over + " OPTIM_HELMDECK VARIABLE_VALUES:x"));
        QVERIFY(m_host->sendCommand("FINISH_SIMULATION"));
        QVERIFY(m_host->waitForStatus(StatusExited));
        QCOMPARE(exitCode(), 0);
    }

    void refusedRendezvous()
    {
        QVERIFY(startSim(example("lowpass.json")));
        QByteArray name;
        QVERIFY(m_host->answerRendezvous(name, true));
        QCOMPARE(exitCode(), 3);
        QVERIFY(m_sim->readAllStandardError().contains("refused"));
    }

    void hostLeavesWhileRunning()
    {
        QVERIFY(startSim(example("lowpass.json"), {QStringLiteral("--max-rate"), QStringLiteral("20")}));
        QVERIFY(rendezvous());
        FakeBlock block;
        QVERIFY(m_host->waitForBlock("OPTIM_ITER", block));
        m_host->leave();
        QCOMPARE(exitCode(), 0);
    }

    // The circuit's lint: an error stops the run at once, a warning goes to
    // standard error and into the first status message.
    void lintBeforeTheRun()
    {
        const auto design = [this](const char *name, const QByteArray &from, const QByteArray &to) {
            QFile in(example("lowpass.json"));
            QFile out(m_dir.filePath(QLatin1String(name)));
            if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || out.write(in.readAll().replace(from, to)) <= 0)
                qFatal("cannot write %s", name);
            return out.fileName();
        };
        QVERIFY(startSim(design("typo.json", "L2 in n2", "L2 inn n2"), {QStringLiteral("--headless-run"), QStringLiteral("1")}));
        QCOMPARE(exitCode(), 1);
        QCOMPARE(m_sim->readAllStandardError(), QByteArray("helmdeck-sim: circuit[2]: node inn is connected to L2 only (a typo?)\n"));
        QVERIFY(startSim(design("floating.json", "\"C5 out 0 {C5}\"", "\"C5 out 0 {C5}\", \"C9 n2 x 1p\", \"C8 x 0 1p\"")));
        QVERIFY(rendezvous());
        QList<FakeBlock> before;
        QVERIFY(m_host->waitForStatus(StatusInitializing, &before));
        const QString warning = QStringLiteral(
            "circuit[6]: node x has no DC path to ground (only capacitors or current sources reach it): its DC level is undefined");
        QCOMPARE(read<OptimStatus>(m_host->received().last()).message(), warning);
        QByteArray err;
        QTRY_VERIFY2((err += m_sim->readAllStandardError()).contains("helmdeck-sim: warning: " + warning.toUtf8()), err.constData());
    }

    void withoutNgspice()
    {
        QVERIFY(startSim(example("lowpass.json"), {QStringLiteral("--ngspice-library"), QStringLiteral("/nonexistent/libngspice.so")}));
        QCOMPARE(exitCode(), 2);
        const QByteArray err = m_sim->readAllStandardError();
        QVERIFY2(err.contains("cannot load the ngspice shared library"), err.constData());
    }

    // A design the simulator refuses, started by the host's --optimize: the
    // host reports the simulator's own message and exits 4 at once rather
    // than at its timeout. An unknown option is a usage error (2).
    void hostReportsARefusedDesign()
    {
        const QString path = m_dir.filePath(QStringLiteral("refused.json"));
        QFile in(example("lowpass.json"));
        QFile out(path);
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        out.write(in.readAll().replace("\"C5 out 0 {C5}\"", "\"C5 out 0 {C5}\", \".include /etc/passwd\""));
        out.close();
        QProcess host;
        host.start(QStringLiteral(HELMDECK_HOST_PATH),
                   {QStringLiteral("--kuvo"), m_dir.filePath(QStringLiteral("host.sock")), QStringLiteral("--sim"),
                    QStringLiteral(HELMDECK_SIM_PATH), QStringLiteral("--plugin"), QStringLiteral("/nonexistent"),
                    QStringLiteral("--optimize"), QStringLiteral("--timeout"), QStringLiteral("100"), path});
        QVERIFY(host.waitForFinished(60000));
        QCOMPARE(host.exitCode(), 4);
        const QByteArray err = host.readAllStandardError();
        QVERIFY2(err.contains("the simulator SIM1 exited 1: helmdeck-sim: ")
                     && err.contains(".include \"/etc/passwd\": an absolute path is not allowed"),
                 err.constData());
        QVERIFY(!err.contains("root:"));
        host.start(QStringLiteral(HELMDECK_HOST_PATH), {QStringLiteral("--bogus-option")});
        QVERIFY(host.waitForFinished(10000));
        QCOMPARE(host.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
