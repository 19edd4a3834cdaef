// helmdeck-host: the stand-in for the circuit-design host. It loads the
// helmdeck plug-in library, runs the KUVO bus, opens a design, starts the
// simulator on it and plays the host's part in between (see docs/host.md).

#include "helmdeckhost.h"

#include <QApplication>
#include <QCommandLineParser>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char kDescription[] =
    "The stand-in for the circuit-design host: loads the optimization helmdeck plug-in\n"
    "(libOptimHelmdeck.so), runs the KUVO bus, opens a design (JSON) and starts helmdeck-sim on it.\n"
    "\n"
    "Exit status: 0 done; 1 --eval failed to evaluate; 2 usage or start-up failure (bus, plug-in,\n"
    "design, simulator); 3 a --screenshot/--quit-after-iterations/--timeout run timed out; 4 the\n"
    "simulator --optimize started failed (its message on standard error) in an unattended run\n"
    "(--screenshot, --quit-after-iterations, --timeout, or offscreen).";

int usageError(const QString &text)
{
    std::fprintf(stderr, "helmdeck-host: %s\n", qPrintable(text));
    return HelmdeckHost::ExitStartFailed;
}

QtMessageHandler qtHandler = nullptr;

// Qt's notes about the platform that tell the user of this program nothing:
// the offscreen platform has no window manager to pass size hints, raise
// requests and the like to ("This plugin does not support ..."), and a
// session without XDG_RUNTIME_DIR gets a runtime folder in /tmp. Everything
// else goes on to Qt's own handler.
void quietPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool noise = message.startsWith(QLatin1String("This plugin does not support "))
        || message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
    if (noise && (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg))
        return;
    if (qtHandler) {
        qtHandler(type, context, message);
    } else {
        const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
}

bool optionGiven(int argc, char **argv, const char *name)
{
    const QByteArray option = QByteArray("--") + name;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == option || arg.startsWith(option + '='))
            return true;
        if (arg == "--")
            break;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    qtHandler = qInstallMessageHandler(quietPlatformNoise);
    // A write past the file-size limit is to fail like any other write (the
    // design store reports it and keeps the old file), not end the host.
    std::signal(SIGXFSZ, SIG_IGN);
    // Headless modes, and machines without a display, draw offscreen.
    const bool headlessMode = optionGiven(argc, argv, "eval") || optionGiven(argc, argv, "screenshot");
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && (headlessMode || noDisplay))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Qt takes "-plugin" for itself, so the host's --plugin is kept from it:
    // the options are read from the full command line, Qt sees the rest.
    QStringList arguments;
    std::vector<char *> qtArgv;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
        const QByteArray arg(argv[i]);
        if (i > 0 && (arg == "--plugin" || arg == "-plugin")) {
            if (i + 1 < argc)
                arguments.append(QString::fromLocal8Bit(argv[++i]));
            continue;
        }
        if (i > 0 && (arg.startsWith("--plugin=") || arg.startsWith("-plugin=")))
            continue;
        qtArgv.push_back(argv[i]);
    }
    int qtArgc = int(qtArgv.size());
    qtArgv.push_back(nullptr);

    QApplication app(qtArgc, qtArgv.data());
    QApplication::setApplicationName(QStringLiteral("helmdeck-host"));
    // The helmdeck window may be the last one shown; closing it does not end the host.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DESIGN"), QStringLiteral("The design to open (.json, or a netlist design: .cir, .sp, .net)."));
    const QCommandLineOption plugin({QStringLiteral("plugin")}, QStringLiteral("The plug-in library (default: next to the host)."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption kuvo({QStringLiteral("kuvo")}, QStringLiteral("The KUVO socket to run the bus on (default: per user)."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption sim({QStringLiteral("sim")}, QStringLiteral("The simulator program (default: helmdeck-sim next to the host)."),
                                 QStringLiteral("PATH"));
    const QCommandLineOption simArg({QStringLiteral("sim-arg")},
                                    QStringLiteral("One more argument for the simulator, e.g. --sim-arg=--max-rate=20 (repeatable)."),
                                    QStringLiteral("ARG"));
    const QCommandLineOption eval({QStringLiteral("eval")}, QStringLiteral("Evaluate one MOX expression headless, print the result, exit."),
                                  QStringLiteral("EXPR"));
    const QCommandLineOption console({QStringLiteral("console")},
                                     QStringLiteral("Read MOX expressions from standard input, one per line; print each result."));
    const QCommandLineOption optimize({QStringLiteral("optimize")}, QStringLiteral("Start the optimization of the design at once."));
    const QCommandLineOption trace({QStringLiteral("trace")},
                                   QStringLiteral("Print a line per message block the plug-in receives (and more) to standard error."));
    const QCommandLineOption screenshot({QStringLiteral("screenshot")},
                                        QStringLiteral("Grab the helmdeck window (or the host window) to FILE (PNG), then quit."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption quitAfter({QStringLiteral("quit-after-iterations")},
                                       QStringLiteral("Finish (screenshot, close, quit) after N iteration blocks reached the plug-in."),
                                       QStringLiteral("N"));
    const QCommandLineOption timeout({QStringLiteral("timeout")},
                                     QStringLiteral("Quit with status 3 after SECONDS (default 120 with --screenshot or --quit-after-iterations)."),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption noWindow({QStringLiteral("no-window")}, QStringLiteral("Do not show the host window."));
    const QCommandLineOption fullSpeed({QStringLiteral("full-speed")},
                                       QStringLiteral("Let the simulator run flat out. A run shown on a display is otherwise paced to "
                                                      "%1 iterations a second so it can be watched (headless runs are never paced).")
                                           .arg(HostOptions::kWatchedRunRate));
    const QCommandLineOption untilFinished({QStringLiteral("until-finished")},
                                           QStringLiteral("With --screenshot: wait until the optimization has finished (or stopped)."));
    parser.addOptions({plugin, kuvo, sim, simArg, eval, console, optimize, trace, screenshot, quitAfter, timeout, noWindow, fullSpeed,
                       untilFinished});
    // parse(), not process(): a bad option is a usage error (status 2), as documented.
    if (!parser.parse(arguments))
        return usageError(parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(help))
        parser.showHelp(0);

    HostOptions options;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(QStringLiteral("one design at most (see --help)"));
    options.designPath = positional.value(0);
    options.pluginPath = parser.value(plugin);
    options.kuvoPath = parser.value(kuvo);
    options.simulatorPath = parser.value(sim);
    options.simulatorArguments = parser.values(simArg);
    options.eval = parser.isSet(eval);
    options.evalText = parser.value(eval);
    options.console = parser.isSet(console);
    options.optimize = parser.isSet(optimize);
    options.trace = parser.isSet(trace);
    options.noWindow = parser.isSet(noWindow);
    options.fullSpeed = parser.isSet(fullSpeed);
    options.untilFinished = parser.isSet(untilFinished);
    options.screenshotPath = parser.value(screenshot);
    if (parser.isSet(quitAfter)) {
        bool ok = false;
        options.quitAfterIterations = parser.value(quitAfter).toInt(&ok);
        if (!ok || options.quitAfterIterations < 0)
            return usageError(QStringLiteral("--quit-after-iterations needs a whole number >= 0"));
    }
    if (parser.isSet(timeout)) {
        bool ok = false;
        options.timeoutSeconds = parser.value(timeout).toInt(&ok);
        if (!ok || options.timeoutSeconds <= 0)
            return usageError(QStringLiteral("--timeout needs a whole number of seconds > 0"));
    }
    if (options.eval && (options.console || options.optimize || !options.screenshotPath.isEmpty()))
        return usageError(QStringLiteral("--eval stands alone (with a design and --plugin, --kuvo at most)"));
    if (options.optimize && options.designPath.isEmpty())
        return usageError(QStringLiteral("--optimize needs a design"));

    HelmdeckHost host(options);
    const int code = host.start();
    if (code >= 0)
        return code;
    return app.exec();
}
