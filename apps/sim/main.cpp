// helmdeck-sim: the stand-in for the circuit simulator process. Simulates a
// design's circuit with ngspice, optimizes it with NLopt (and a few
// algorithms of its own), and reports to the helmdeck over KUVO.

#include "ngspiceengine.h"
#include "simdesign.h"
#include "simheadless.h"
#include "simlint.h"
#include "simnetlist.h"
#include "simsession.h"
#include "simvariables.h"

#include "kuvo/kuvobroker.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

const char kDescription[] =
    "Simulates a design (JSON, see docs/design-file.md) with ngspice and optimizes it with NLopt,\n"
    "reporting to the helmdeck over the KUVO bus (see docs/simulator.md).\n"
    "\n"
    "Exit status: 0 done (finished, disconnected, or the host left); 1 usage or design error;\n"
    "2 ngspice cannot be used; 3 no bus, no host, or the rendezvous was refused; 4 a simulation\n"
    "failed; 5 the helmdeck stopped answering.";

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "helmdeck-sim: %s\n", qPrintable(message));
    return code;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("helmdeck-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption design({QStringLiteral("design")}, QStringLiteral("The design file."), QStringLiteral("FILE"));
    const QCommandLineOption kuvo({QStringLiteral("kuvo")}, QStringLiteral("The KUVO socket (default: the host's per-user path)."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption name({QStringLiteral("name")}, QStringLiteral("Process name on the bus (default sim-<pid>)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption id({QStringLiteral("id")}, QStringLiteral("Simulator id: pause requests naming another id are ignored."),
                                QStringLiteral("SIMID"));
    const QCommandLineOption maxRate({QStringLiteral("max-rate")}, QStringLiteral("At most HZ iterations per second (default: no limit)."),
                                     QStringLiteral("HZ"));
    const QCommandLineOption batchInterval({QStringLiteral("batch-interval")},
                                           QStringLiteral("Iterations within MS of the last report are held and sent together (default 50)."),
                                           QStringLiteral("MS"));
    const QCommandLineOption batch({QStringLiteral("batch")}, QStringLiteral("Not interactive: exit when the optimization is finished."));
    const QCommandLineOption seed({QStringLiteral("seed")}, QStringLiteral("Seed of the stochastic algorithms (default 4242)."),
                                  QStringLiteral("N"));
    const QCommandLineOption headless({QStringLiteral("headless-run")},
                                      QStringLiteral("Run N iterations without a bus and print the error of each."), QStringLiteral("N"));
    const QCommandLineOption algorithm({QStringLiteral("algorithm")}, QStringLiteral("With --headless-run: algorithm code 1 to 12."),
                                       QStringLiteral("CODE"));
    const QCommandLineOption optimization({QStringLiteral("optimization")},
                                          QStringLiteral("With --headless-run: only sweep entry K (1-based)."), QStringLiteral("K"));
    const QCommandLineOption quiet({QStringLiteral("quiet")}, QStringLiteral("With --headless-run: only the summary."));
    const QCommandLineOption netlist({QStringLiteral("netlist")}, QStringLiteral("Print the netlist of the design's values and exit."));
    const QCommandLineOption library({QStringLiteral("ngspice-library")}, QStringLiteral("The ngspice shared library to open."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption verbose({QStringLiteral("verbose")}, QStringLiteral("Log the protocol to standard error."));
    parser.addOptions({design, kuvo, name, id, maxRate, batchInterval, batch, seed, headless, algorithm, optimization, quiet, netlist,
                       library, verbose});
    parser.process(app);

    if (!parser.isSet(design))
        return fail(1, QStringLiteral("--design FILE is required (see --help)"));
    SimDesign d;
    QString error;
    if (!SimDesign::load(parser.value(design), d, &error))
        return fail(1, error);

    const auto number = [&](const QCommandLineOption &o, double &out) {
        bool ok = false;
        out = parser.value(o).toDouble(&ok);
        return ok;
    };
    double seedValue = 4242;
    if (parser.isSet(seed) && (!number(seed, seedValue) || seedValue < 0))
        return fail(1, QStringLiteral("--seed needs a whole number"));

    if (parser.isSet(netlist)) {
        SimVariables vars;
        QHash<QString, QStringList> lists;
        for (const OptimVarInput &v : d.input.variables())
            lists.insert(v.netlistName(), v.designValues());
        vars.setValueLists(lists);
        vars.setDefinitions(d.input.variables());
        SimParameterValues values = simnetlist::numericParameters(d.parametersFor(0));
        values.append(vars.parameterValues(vars.values()));
        QTextStream out(stdout);
        for (const SimAnalysis &a : d.analyses)  // one netlist per analysis
            out << simnetlist::build(d, values, a).join(QLatin1Char('\n')) << "\n";
        return 0;
    }

    // The circuit's lint: errors stop the run before ngspice is touched,
    // warnings go to standard error (the host shows it in its log) and, on
    // the bus, into the first status message.
    QStringList lintErrors, lintWarnings;
    for (const SimLintFinding &f : SimLint::check(d))
        (f.severity == SimLintFinding::Error ? lintErrors : lintWarnings).append(f.text());
    for (const QString &w : std::as_const(lintWarnings))
        std::fprintf(stderr, "helmdeck-sim: warning: %s\n", qPrintable(w));
    if (!lintErrors.isEmpty()) {
        for (qsizetype i = 0; i + 1 < lintErrors.size(); ++i)
            std::fprintf(stderr, "helmdeck-sim: %s\n", qPrintable(lintErrors.at(i)));
        return fail(1, lintErrors.last());
    }

    if (parser.isSet(library))
        NgspiceEngine::instance().setLibrary(parser.value(library));
    if (!NgspiceEngine::instance().initialize(&error))
        return fail(2, error);

    if (parser.isSet(headless)) {
        SimHeadlessOptions o;
        double n = 0;
        if (!number(headless, n) || n < 0)
            return fail(1, QStringLiteral("--headless-run needs a number of iterations"));
        o.iterations = int(n);
        if (parser.isSet(algorithm)) {
            double code = 0;
            if (!number(algorithm, code) || code < 1 || code > 12)
                return fail(1, QStringLiteral("--algorithm needs a code from 1 to 12"));
            o.algorithm = int(code);
        }
        if (parser.isSet(optimization)) {
            double k = 0;
            if (!number(optimization, k) || k < 1 || k > d.optimizationCount())
                return fail(1, QStringLiteral("--optimization needs 1 to %1").arg(d.optimizationCount()));
            o.optimization = int(k) - 1;
        }
        o.quiet = parser.isSet(quiet);
        o.seed = quint32(seedValue);
        QTextStream out(stdout);
        return simRunHeadless(d, o, out);
    }

    SimSessionOptions o;
    o.kuvoPath = parser.isSet(kuvo) ? parser.value(kuvo) : KuvoBroker::defaultSocketPath();
    o.processName = parser.isSet(name) ? parser.value(name).toLatin1()
                                       : "sim-" + QByteArray::number(QCoreApplication::applicationPid());
    if (o.processName.isEmpty() || o.processName.contains(' '))
        return fail(1, QStringLiteral("--name must be one word"));
    o.simulatorId = parser.value(id).toLatin1();
    if (parser.isSet(maxRate) && (!number(maxRate, o.maxRate) || o.maxRate < 0))
        return fail(1, QStringLiteral("--max-rate needs a number of iterations per second"));
    double interval = o.batchIntervalMs;
    if (parser.isSet(batchInterval) && (!number(batchInterval, interval) || interval < 0 || interval > 86400000))
        return fail(1, QStringLiteral("--batch-interval needs a number of milliseconds (at most a day)"));
    o.batchIntervalMs = int(interval);
    o.interactive = !parser.isSet(batch);
    o.seed = quint32(seedValue);
    o.verbose = parser.isSet(verbose);
    o.designWarnings = lintWarnings;
    SimSession session(d, o);
    const int code = session.run();
    if (code != 0)
        return fail(code, session.errorText());
    return 0;
}
