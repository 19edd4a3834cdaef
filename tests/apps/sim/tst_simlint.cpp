// The circuit's lint (what it finds, at which line) and the model files a
// design may read from its own folder, down to a real ngspice run of one.

#include "ngspiceengine.h"
#include "simcircuit.h"
#include "simerror.h"
#include "simlint.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// The lint's findings for circuit lines of "c.cir" (line n+1 for entry n),
// ports "in" and "out", and variables RX and CX: "E c.cir:2: ..." or "W ...".
QStringList lint(const QStringList &circuit)
{
    SimDesign d;
    d.circuit = circuit;
    for (qsizetype i = 0; i < circuit.size(); ++i)
        d.circuitPlaces.append(QStringLiteral("c.cir:%1").arg(i + 1));
    d.analyses = {SimAnalysis()};
    d.analyses[0].ports = {{QStringLiteral("in"), 50}, {QStringLiteral("out"), 50}};
    for (const char *name : {"RX", "CX"}) {
        OptimVarInput v;
        v.setNetlistName(QLatin1String(name));
        d.input.variables().append(v);
    }
    QStringList texts;
    for (const SimLintFinding &f : SimLint::check(d))
        texts.append((f.severity == SimLintFinding::Error ? QStringLiteral("E ") : QStringLiteral("W ")) + f.text());
    return texts;
}

}  // namespace

class TestSimLint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findings_data()
    {
        QTest::addColumn<QStringList>("circuit");
        QTest::addColumn<QStringList>("expected");
        const QString used = QStringLiteral("Rl out 0 {RX*CX/CX}");
        QTest::newRow("clean") << QStringList{"* pi", "R1 in n1 {RX}", "+ ; a comment line", "C1 n1 out {CX} $ tail", used}
                               << QStringList{};
        QTest::newRow("typo") << QStringList{"R1 in mid {RX}", "L2 inn mid 1n", "C1 mid out {CX}"}
                              << QStringList{"E c.cir:2: node inn is connected to L2 only (a typo?)"};
        QTest::newRow("continued line, case") << QStringList{"R1 IN", "+ Mid {RX}", "c1 mid OUT {CX}", used} << QStringList{};
        QTest::newRow("unused variable") << QStringList{"R1 in out {RX}"}
                                         << QStringList{"W variable CX is used by no element or .param"};
        QTest::newRow("used in .param") << QStringList{".param k = CX*2", "R1 in out {RX*k}"} << QStringList{};
        QTest::newRow("unknown name") << QStringList{"R1 in out {RX*CX*Rz}"}
                                      << QStringList{"E c.cir:1: Rz in {RX*CX*Rz} is neither a variable, a fixed parameter, a .param nor a .func argument"};
        QTest::newRow("functions") << QStringList{".func par(a, b) {a*b/(a+b)}", "R1 in out {par(RX, sqrt(CX))*1e-3}"}
                                   << QStringList{};
        QTest::newRow("unknown function") << QStringList{"R1 in out {twice(RX)+CX}"}
                                          << QStringList{"E c.cir:1: unknown function twice in {twice(RX)+CX}"};
        QTest::newRow("island") << QStringList{"R1 in out {RX}", used, "R2 a b {CX}", "C2 a b 1p"}
                                << QStringList{"E c.cir:3: nodes a, b are connected to ground through nothing: ngspice cannot solve them (singular matrix)"};
        QTest::newRow("series capacitors") << QStringList{"C1 in mid {CX}", "C2 mid out 1p", used}
                                           << QStringList{"W c.cir:1: node mid has no DC path to ground (only capacitors or current sources reach it): its DC level is undefined"};
        QTest::newRow("port not in the circuit") << QStringList{"R1 in 0 {RX*CX}"}
                                                 << QStringList{"E port 2: node out is connected to nothing in the circuit (a typo?)"};
        QTest::newRow("too few nodes") << QStringList{"R1 in", "R2 in out {RX*CX}"} << QStringList{"E c.cir:1: R1 names 1 node(s); it needs 2"};
        QTest::newRow("controlled sources") << QStringList{"E1 out 0 in 0 10", "G1 out 0 poly(1) in 0 0 {RX}", "Rin in 0 {CX}"}
                                            << QStringList{};
        QTest::newRow("behavioural") << QStringList{"E1 out 0 value={V(in)*RX}", "B1 out 0 I={i(Vs)*CX*Off}", "Vs in 0 0"}
                                     << QStringList{"E c.cir:2: Off in {i(Vs)*CX*Off} is neither a variable, a fixed parameter, a .param nor a .func argument"};
        QTest::newRow("sensed only") << QStringList{"R1 in out {RX*CX}", "E1 out 0 x 0 2"}
                                     << QStringList{"E c.cir:2: node x is connected to E1 only (a typo?)"};
        QTest::newRow("bjt: model or substrate") << QStringList{".model nx npn", "Q1 out in 0 nx", "Q2 out in 0 sub nx 2", "Rs sub 0 1", used}
                                                 << QStringList{};
        QTest::newRow("mosfet gate") << QStringList{"M1 out g 0 0 nm", "Cg in g 1p", used}
                                     << QStringList{"W c.cir:1: node g has no DC path to ground (only capacitors or current sources reach it): its DC level is undefined"};
        QTest::newRow("open stub") << QStringList{"T1 in 0 open 0 z0=50 td=1n", "R1 in out {RX*CX}"} << QStringList{};
        QTest::newRow("subcircuit") << QStringList{".subckt pad a b params: r=1", "R1 a x {r}", "C1 x b {r*1p}", "R2 x y 1", ".ends",
                                                   "X1 in out pad params: r={RX*CX}", "X2 in out 0 pad"}
                                    << QStringList{"E c.cir:4: node y is connected to R2 only (a typo?)",
                                                   "E c.cir:7: X2 has 3 connection(s), but subcircuit pad has 2 port(s)"};
        QTest::newRow("unused pin") << QStringList{"X1 in out nc amp", used} << QStringList{"W c.cir:1: node nc is connected to X1 only (an unused pin?)"};
        QTest::newRow("test bench nodes") << QStringList{"R1 in out {RX*CX}", "R2 out hd_drive 1"} << QStringList{};
    }

    void findings()
    {
        QFETCH(QStringList, circuit);
        QFETCH(QStringList, expected);
        QCOMPARE(lint(circuit), expected);
    }

    void includes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");  // the resolved line, or the problem
        QTest::newRow("relative") << ".include models/2n3904.lib" << ".include \"DIR/models/2n3904.lib\"";
        QTest::newRow("quoted, .. inside") << ".INC 'models/../models/2n3904.lib' x" << ".inc \"DIR/models/2n3904.lib\" x";
        QTest::newRow("section") << ".lib \"lib.lib\" TT" << ".lib \"DIR/lib.lib\" TT";
        QTest::newRow("absolute") << ".include /dev/null" << ".include \"/dev/null\": an absolute path is not allowed";
        QTest::newRow(".. escapes") << ".include ../outside.lib" << ".include \"../outside.lib\": leads outside the design's folder";
        QTest::newRow("link out") << ".include link.lib" << ".include \"link.lib\": leads outside the design's folder";
        QTest::newRow("link to a device") << ".include null" << ".include \"null\": leads outside the design's folder";
        QTest::newRow("folder") << ".include models" << ".include \"models\": is a folder, not a file";
        QTest::newRow("fifo") << ".include pipe" << ".include \"pipe\": is not a regular file";
        QTest::newRow("missing") << ".include none.lib" << ".include \"none.lib\": no such file in the design's folder";
        QTest::newRow("no name") << ".include" << ".include needs the name of a file";
        QTest::newRow("control in the file") << ".include bad.lib" << ".include \"bad.lib\": line 3: .control is not allowed";
        QTest::newRow("missing section") << ".lib lib.lib ff" << ".lib \"lib.lib\": the file has no section ff";
        QTest::newRow("no section") << ".lib lib.lib" << ".lib \"lib.lib\": needs the name of one section";
    }

    void includes()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        const QString dir = QDir(tmp.path()).canonicalPath() + QStringLiteral("/design");
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/models")));
        QVERIFY(QFile::copy(QStringLiteral(SIM_EXAMPLES_DIR "/models/2n3904.lib"), dir + QStringLiteral("/models/2n3904.lib")));
        const auto write = [](const QString &path, const QByteArray &text) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        QVERIFY(write(dir + QStringLiteral("/lib.lib"), "* two corners\n.lib tt\n.model d1 d\n.endl\n"));
        QVERIFY(write(dir + QStringLiteral("/bad.lib"), ".model d1 d\n*\n.control\nshell id\n.endc\n"));
        QVERIFY(write(tmp.path() + QStringLiteral("/outside.lib"), ".model d1 d\n"));
        QVERIFY(QFile::link(tmp.path() + QStringLiteral("/outside.lib"), dir + QStringLiteral("/link.lib")));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/null")));
        QCOMPARE(::mkfifo(qPrintable(dir + QStringLiteral("/pipe")), 0600), 0);

        QString resolved;
        const QString problem = SimLint::includeProblem(line, dir, &resolved);
        QVERIFY(SimLint::isIncludeLine(line));
        if (expected.startsWith(line.section(u' ', 0, 0).toLower() + QStringLiteral(" \"DIR")))
            QCOMPARE(problem + resolved, QString(expected).replace(QStringLiteral("DIR"), dir));
        else
            QVERIFY2(problem.startsWith(expected), qPrintable(problem));
        // Without the design's folder every include is refused.
        QVERIFY(SimLint::includeProblem(line, QString(), &resolved).contains(QStringLiteral("is not allowed here")));
    }

    // The bundled model file, included by a design file in the examples'
    // folder, reaches ngspice: a common-emitter stage amplifies.
    void modelFileInARun()
    {
        QTemporaryDir tmp;
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("models"))));
        QVERIFY(QFile::copy(QStringLiteral(SIM_EXAMPLES_DIR "/models/2n3904.lib"), tmp.filePath(QStringLiteral("models/2n3904.lib"))));
        QFile file(tmp.filePath(QStringLiteral("amp.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"j({"circuit": [".include models/2n3904.lib", "Vcc vcc 0 5", "Rb vcc b 470k", "Cin in b 10n",
                        "Q1 c b 0 2N3904", "Rc vcc c {RC}", "Cout c out 10n"],
          "analysis": {"start": "1 MHz", "stop": "10 MHz", "points": 2, "ports": [{"node": "in"}, {"node": "out"}]},
          "variables": [{"netlistName": "RC", "value": "1k"}],
          "goals": [{"name": "G", "expression": "dB(S21)", "limits": [{"type": "GreaterThan", "value": 10}]}],
          "algorithm": {"type": 2, "maxIterations": 1}})j");
        file.close();
        SimDesign d;
        QString error;
        QVERIFY2(SimDesign::load(file.fileName(), d, &error), qPrintable(error));
        QVERIFY(d.circuit.first().endsWith(QStringLiteral("/models/2n3904.lib\"")));
        QCOMPARE(SimLint::check(d), QList<SimLintFinding>{});
        QVERIFY2(NgspiceEngine::instance().initialize(&error), qPrintable(error));
        const SimErrorFunction goals(d.input.goals(), d.analyses, SimErrorForm::LeastSquares);
        SimResponse response;
        QVERIFY2(SimCircuit(d).simulate({{QStringLiteral("RC"), 1000}}, goals.probes(), response, &error), qPrintable(error));
        QVERIFY(response.traces[0].y.front() > 20 * std::log10(1.5));  // dB(S21): more than a passive circuit gives
    }
};

QTEST_GUILESS_MAIN(TestSimLint)
#include "tst_simlint.moc"
