// Iterations per second from a simulator to a redrawn helmdeck window, and
// the time from an OPTIM_ITER's last chunk arriving on the host's socket to
// the end of the window paint that shows it.
//
//   QT_QPA_PLATFORM=offscreen build/bench/pipeline/bench_pipeline [ITERATIONS [DESIGN [SIZE]]]
//
// DESIGN is "lowpass", "large" or "tran" and SIZE "default" or "1600x1000": only
// that case runs (for a profiler); without them, all four do. With
// BENCH_GUI_BROKER=1 the broker runs on the GUI thread (as the host once did).
// With BENCH_PERF_CTL=FIFO the timed part alone is profiled: the bench writes
// "enable" and "disable" to perf's control FIFO around it, e.g.
//   mkfifo /tmp/ctl
//   BENCH_PERF_CTL=/tmp/ctl perf record -D -1 --control fifo:/tmp/ctl
//       build/bench/pipeline/bench_pipeline 200 large default   (one command)
//
// A simulator thread registers on a real socket broker (on a thread of its
// own, as the host runs it), opens a helmdeck and sends iterations as data
// blocks, each waiting for the host's reply, as helmdeck-sim does. The GUI
// thread runs the host's side: the plug-in receives the blocks and applies
// them to the model, and the visible window repaints as it does for a user
// (the offscreen platform's paint and flush).
// An iteration's latency ends with the last paint before the next iteration
// arrives, so every panel's update for it is counted. Two designs: the
// lowpass size (3 goals, 5 variables, 150-point traces) and a large one (20
// goals, 100 variables, 2001-point traces), each with the window at its
// default size and at 1600x1000. A third, "tran", is a step response: one goal
// over time (s) with a 10,000-point trace per iteration and a limit from
// 1.5 ms on, and one variable, as a tran analysis sends them.

#include "controller/optimhelmdeckcontroller.h"
#include "link/optimdatablock.h"
#include "plugin/optimhelmdeckplugin.h"
#include "hostpluginmanager.h"
#include "kuvo/kuvobroker.h"
#include "kuvo/kuvobrokerthread.h"
#include "kuvo/kuvoclient.h"
#include "moxinterpreter.h"
#include "samplemessages.h"
#include "window/optimhelmdeckdialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <memory>
#include <optional>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

extern "C" void RegisterLibraryContents(PluginManagerIFC *manager);

namespace {

using Clock = std::chrono::steady_clock;

struct Shared
{
    std::mutex mutex;
    std::vector<Clock::time_point> sent;
    std::atomic<bool> done{false};
    std::atomic<bool> failed{false};
    std::atomic<double> simCpuSeconds{0};   // the simulator thread's CPU time while sending
};

// CPU time the calling thread (or with CLOCK_PROCESS_CPUTIME_ID, the
// whole process) has used, in seconds.
double threadCpuSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

bool sendBlock(KuvoClient &kuvo, int host, const QByteArray &name, const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    OptimDataBlock block;
    block.setName(name);
    block.setChunks(writer.chunks(OptimDataBlock::kChunkLimit));
    if (!block.transmit(&kuvo, host))
        return false;
    // Wait for the host's reply, as helmdeck-sim does: the wait runs the
    // client's event loop, which writes out what the socket did not take at
    // once, so a block never sits half sent while the next is encoded.
    KuvoMessage reply;
    while (kuvo.waitForMessage(reply)) {
        if (reply.sender == host && reply.kind == 8)
            return !reply.text.contains("FAILED");
    }
    return false;
}

// A step response's design: the sample's variables and one goal over time
// with the settling band from 1.5 ms on.
OptimModelInput transientModelInput(const SampleSize &size)
{
    OptimModelInput input = sampleModelInput(SampleSize{0, 0, 0, size.variables});
    for (int g = 0; g < size.goals; ++g) {
        OptimGoalInput goal;
        goal.setName(QStringLiteral("Settling%1").arg(g + 1));
        goal.setExpression(QStringLiteral("v(out)"));
        goal.setSimInstanceName(QStringLiteral("TR1"));
        goal.setWeight(QStringLiteral("1"));
        goal.addIndepVar(QStringLiteral("time"));
        goal.setIndepVarUnit(0, QStringLiteral("s"));
        OptimGoalLimitInput limit;
        limit.setName(QStringLiteral("Within2pct"));
        limit.setInside(QStringLiteral("0.98"), QStringLiteral("1.02"));
        limit.ranges().append(OptimGoalRange(0, QStringLiteral("0.0015"), QString()));
        goal.limits().append(limit);
        input.goals().append(goal);
    }
    return input;
}

// A damped step over 4 ms whose damping grows with the iteration.
OptimIter transientIteration(const SampleSize &size, int iteration)
{
    OptimIter iter = sampleIteration(SampleSize{0, 0, 0, size.variables}, iteration);
    const int n = size.pointsPerTrace;
    for (int g = 0; g < size.goals; ++g) {
        OptimGoalOutput goal;
        goal.setValueText(QString::number(1.0 / (iteration + g + 1), 'g', 6));
        goal.setErrorContribution(QStringLiteral("0.5"));
        OptimTraceFamily &family = goal.traces();
        family.setIndepVar(OptimTraceVar(QStringLiteral("time"), QStringLiteral("s")));
        for (int t = 0; t < size.tracesPerGoal; ++t) {
            OptimTrace trace;
            QList<double> &x = trace.xValues().values();
            QList<double> &y = trace.yValues().values();
            x.reserve(n);
            y.reserve(n);
            const double decay = 1000.0 * (1 + iteration % 50);
            for (int p = 0; p < n; ++p) {
                const double time = 4e-3 * p / std::max(1, n - 1);
                x.append(QString::number(time, 'g', 6).toDouble());
                y.append(QString::number(1.0 - std::exp(-decay * time) * std::cos(2 * M_PI * 1600 * time), 'g', 6).toDouble());
            }
            family.traces().append(trace);
        }
        goal.limitOutputs().append(OptimGoalLimitOutput(QStringLiteral("0.25")));
        iter.goals().append(goal);
    }
    return iter;
}

// The simulator's side, on its own thread with its own client.
void runSimulator(const QString &socket, const SampleSize size, bool transient, int iterations, Shared *shared)
{
    // The iterations are made ahead; writing them into blocks is part of
    // what is measured, as a simulator does it for every iteration.
    QList<OptimIter> prepared;
    for (int i = 0; i < iterations; ++i)
        prepared.append(transient ? transientIteration(size, i) : sampleIteration(size, i));
    KuvoClient kuvo;
    kuvo.setHandler([](const KuvoMessage &) { return true; });
    int host = -1;
    KuvoMessage reply;
    if (!kuvo.connectToBroker(socket, "tolvanesim", "sim-bench") || !kuvo.lookup("tolvane", host)
        || !kuvo.send(host, 7, "OPTIM_HELMDECK_RENDEZVOUS sim-bench") || !kuvo.waitForMessage(reply)
        || reply.kind != 8) {
        shared->failed = true;
        return;
    }
    if (!sendBlock(kuvo, host, "OPTIM_HELMDECK OPEN_HELMDECK",
                       transient ? transientModelInput(size) : sampleModelInput(size))
        || !sendBlock(kuvo, host, "OPTIM_HELMDECK STATUS", OptimStatus(StatusRunning, QString()))) {
        shared->failed = true;
        return;
    }
    const double cpuStart = threadCpuSeconds();
    for (int i = 0; i < iterations && !shared->failed; ++i) {
        const OptimIter &iter = prepared.at(i);
        {
            std::lock_guard lock(shared->mutex);
            shared->sent.push_back(Clock::now());
        }
        if (!sendBlock(kuvo, host, "OPTIM_HELMDECK OPTIM_ITER", iter))
            shared->failed = true;
    }
    shared->simCpuSeconds = threadCpuSeconds() - cpuStart;
    shared->done = true;
}

// Times the end of every paint of one top-level window: the paint runs
// inside the filter, so the time taken after it is when the frame is done.
class PaintTimer : public QObject
{
public:
    explicit PaintTimer(QWidget *window) : m_window(window) { window->installEventFilter(this); }
    std::optional<Clock::time_point> lastPaintEnd;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object != m_window || event->type() != QEvent::UpdateRequest)
            return false;
        object->event(event);
        lastPaintEnd = Clock::now();
        return true;
    }

private:
    QWidget *m_window;
};

// Switches a profiler on or off through its control FIFO, when one is given.
void profilerControl(const char *command)
{
    static const QByteArray path = qgetenv("BENCH_PERF_CTL");
    if (path.isEmpty())
        return;
    const int fd = ::open(path.constData(), O_WRONLY);
    if (fd < 0)
        return;
    const QByteArray line = QByteArray(command) + '\n';
    if (::write(fd, line.constData(), size_t(line.size())) != line.size())
        std::fprintf(stderr, "profiler control: could not write %s\n", command);
    ::close(fd);
}

void measure(const char *label, const SampleSize &size, int iterations, const QSize &windowSize,
             bool transient = false)
{
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("kuvo"));
    // The broker on a thread of its own, as the host runs it; with
    // BENCH_GUI_BROKER=1 on the GUI thread instead, for comparison.
    const bool brokerOnGui = qEnvironmentVariableIntValue("BENCH_GUI_BROKER") != 0;
    KuvoBrokerThread brokerThread;
    KuvoBroker guiBroker;
    if (brokerOnGui ? !guiBroker.listen(socket) : !brokerThread.start(socket)) {
        std::printf("%-8s failed: %s\n", label,
                    qPrintable(brokerOnGui ? guiBroker.errorString() : brokerThread.errorString()));
        return;
    }
    KuvoClient hostClient;
    MoxInterpreter mox;
    HostPluginManager manager;
    manager.setMox(&mox);
    manager.setKuvo(&hostClient);
    hostClient.connectToBroker(socket, "tolvane");
    Clock::time_point lastArrival;
    hostClient.setHandler([&manager, &lastArrival](const KuvoMessage &m) {
        lastArrival = Clock::now();
        return manager.deliverMessage("OptimHelmdeckPluginIFC", m.sender, m.kind, m.text);
    });
    RegisterLibraryContents(&manager);

    Shared shared;
    std::vector<double> latencies;
    QThread *sim = QThread::create(runSimulator, socket, size, transient, iterations, &shared);
    QMetaObject::Connection applied;
    QElapsedTimer wall;
    double guiCpuStart = 0, processCpuStart = 0;
    std::unique_ptr<PaintTimer> paints;
    // The iteration applied last: when its last chunk arrived, and whether
    // a paint has ended since.
    std::optional<Clock::time_point> pendingArrival;
    auto closePending = [&] {
        if (pendingArrival && paints->lastPaintEnd && *paints->lastPaintEnd > *pendingArrival)
            latencies.push_back(std::chrono::duration<double, std::milli>(*paints->lastPaintEnd - *pendingArrival).count());
        pendingArrival.reset();
    };
    int seen = 0;

    // The GUI thread sleeps until something happens, as a host's event loop
    // does: polling would take a core from the simulator thread. The
    // simulator's end is such an event, so the waits below see it.
    QObject::connect(sim, &QThread::finished, qApp, [] {});
    const auto waitForEvents = [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    sim->start();
    // Wait for the helmdeck to open, then hook the model.
    while (!OptimHelmdeckPlugin::instance()->controller() && !shared.failed && !sim->isFinished())
        waitForEvents();
    OptimHelmdeckController *controller = OptimHelmdeckPlugin::instance()->controller();
    if (controller) {
        if (windowSize.isValid())
            controller->dialog()->resize(windowSize);
        paints = std::make_unique<PaintTimer>(controller->dialog());
        applied = QObject::connect(controller->currentModel(), &OptimizationModelObject::algorithmChanged, [&] {
            const auto &history = controller->currentModel()->model().algorithmHistory().values();
            if (history.size() <= seen)
                return;   // a status change, not an iteration
            seen = int(history.size());
            closePending();   // the previous iteration's paints are over
            pendingArrival = lastArrival;
        });
        profilerControl("enable");
        guiCpuStart = threadCpuSeconds();
        processCpuStart = threadCpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        wall.start();
    }
    while (controller && !(shared.done && seen >= iterations) && !shared.failed)
        waitForEvents();
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double guiCpuSeconds = threadCpuSeconds() - guiCpuStart;
    const double processCpuSeconds = threadCpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processCpuStart;
    if (controller)
        profilerControl("disable");
    // The last iteration's paints.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (paints)
        closePending();
    sim->wait();
    delete sim;
    QObject::disconnect(applied);

    if (shared.failed || latencies.empty()) {
        std::printf("%-8s failed\n", label);
    } else {
        std::sort(latencies.begin(), latencies.end());
        std::printf("%-8s %-9s %5d iterations  %7.1f iterations/s  latency median %6.2f ms  worst %6.2f ms"
                    "  (%d painted)  CPU per iteration: GUI thread %.1f ms, simulator thread %.1f ms, all threads %.1f ms\n",
                    label, windowSize.isValid() ? "1600x1000" : "default", iterations, seen / seconds,
                    latencies[latencies.size() / 2], latencies.back(), int(latencies.size()),
                    1e3 * guiCpuSeconds / std::max(1, seen), 1e3 * shared.simCpuSeconds / iterations,
                    1e3 * processCpuSeconds / std::max(1, seen));
    }
    if (controller)
        OptimHelmdeckPlugin::instance()->closeHelmdeck(true, false);
    OptimHelmdeckPlugin::destroyInstance();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const QByteArray design = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    const QByteArray sizeName = argc > 3 ? QByteArray(argv[3]) : QByteArray();
    for (const QSize windowSize : {QSize(), QSize(1600, 1000)}) {
        if (!sizeName.isEmpty() && sizeName != (windowSize.isValid() ? "1600x1000" : "default"))
            continue;
        if (design.isEmpty() || design == "lowpass")
            measure("lowpass", SampleSize{3, 1, 150, 5}, iterations, windowSize);
        if (design.isEmpty() || design == "large")
            measure("large", SampleSize{20, 3, 2001, 100}, std::max(1, iterations / 4), windowSize);
        if (design.isEmpty() || design == "tran")
            measure("tran", SampleSize{1, 1, 10000, 1}, iterations, windowSize, true);
    }
    return 0;
}
