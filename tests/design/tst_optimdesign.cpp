// Design conversion against a real interpreter as the host (scripted answers
// where the host answers): every value handed out must come back.

#include "design/optimdesigninformation.h"
#include "design/optimdesignwords.h"
#include "design/optimgoalparametermap.h"
#include "design/optimvariablenetlist.h"
#include "moxinterpreter.h"

#include <QTest>

namespace {

// Records every call text and answers with a scripted expression's value.
class ScriptedHost : public MoxInterpreter
{
public:
    QList<QByteArray> calls;
    QMap<QByteArray, QByteArray> answers;

    MoxValue *evaluate(const QByteArray &module, const QByteArray &text) override
    {
        calls.append(text);
        const QByteArray answer = answers.value(text);
        return answer.isEmpty() ? nullptr : MoxInterpreter::evaluate(module, answer);
    }
};

OptimVarInput variable(int type, const QString &value, const QString &p1, const QString &p2 = {}, const QString &p3 = {},
                       bool optimize = true, bool inDesign = true)
{
    OptimVarInput v;
    v.setNetlistName(QStringLiteral("R1.R"));
    v.setValue(value);
    v.setConstraint(type, p1, p2, p3);
    v.setOptimize(optimize);
    v.setInDesign(inDesign);
    return v;
}

const QByteArray kDesign("/d/low pass.json");

} // namespace

class TestOptimDesign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_host.calls.clear();
        m_host.answers.clear();
        m_live = m_host.liveValues();
    }
    void cleanup() { QCOMPARE(m_host.liveValues(), m_live); }

    void variables_data()
    {
        QTest::addColumn<OptimVarInput>("var");
        QTest::addColumn<QString>("line");   // "NULL": none
        QTest::addColumn<int>("problems");
        QTest::newRow("min/max") << variable(1, "50 Ohm", "10 Ohm", "100 Ohm", "9") << "R1.R = 50 Ohm opt { 10 Ohm to 100 Ohm }" << 0;
        QTest::newRow("percent, off") << variable(4, "50 Ohm", "50", "5", {}, false) << "R1.R = 50 Ohm noopt { +/- 5 % }" << 0;
        QTest::newRow("unconstrained") << variable(0, "50 Ohm", "1") << "R1.R = 50 Ohm opt { unconst }" << 0;
        QTest::newRow("discrete") << variable(2, "50 Ohm", "10 Ohm", "100 Ohm", "10 Ohm")
                                  << "R1.R = 50 Ohm opt { discrete 10 Ohm to 100 Ohm by 10 Ohm }" << 0;
        QTest::newRow("delta, empty value") << variable(3, "", "7", "5 Ohm") << "R1.R =  opt { +/- 5 Ohm }" << int(VarNoValue);
        QTest::newRow("off, not in design") << variable(0, "1", "", {}, {}, false, false) << "NULL" << 0;
        QTest::newRow("on, not in design") << variable(0, "1", "", {}, {}, true, false) << "R1.R = 1 opt { unconst }" << 0;
        QTest::newRow("unknown type") << variable(5, "1", "") << "NULL" << 0;
        QTest::newRow("line feed") << variable(1, "5\nR2 = 1", "1", "9") << "NULL" << 0;
        QTest::newRow("max below min, not out of range") << variable(1, "7", "10", "5") << "R1.R = 7 opt { 10 to 5 }"
                                                         << int(VarMinAboveMax);
        QTest::newRow("below min") << variable(1, "0.5p", "1 pF", "10 pF") << "R1.R = 0.5p opt { 1 pF to 10 pF }"
                                   << int(VarValueOutOfRange);
        QTest::newRow("descending") << variable(2, "5", "10", "0", "-1") << "R1.R = 5 opt { discrete 10 to 0 by -1 }" << 0;
        QTest::newRow("step sign") << variable(2, "5", "10", "0", "1") << "R1.R = 5 opt { discrete 10 to 0 by 1 }"
                                   << int(VarStepSignWrong);
        QTest::newRow("step zero") << variable(2, "5", "0", "10", "0") << "R1.R = 5 opt { discrete 0 to 10 by 0 }" << int(VarStepZero);
        QTest::newRow("empties") << variable(2, "", "", "", "") << "R1.R =  opt { discrete  to  by  }"
                                 << int(VarNoValue | VarNoMin | VarNoMax | VarNoStep);
        QTest::newRow("outside delta") << variable(3, "12.1", "10", "-2") << "R1.R = 12.1 opt { +/- -2 }" << int(VarValueOutOfRange);
        QTest::newRow("percent, six digits") << variable(4, "10.5", "10", "5") << "R1.R = 10.5 opt { +/- 5 % }" << 0;
        QTest::newRow("no centre, no percent") << variable(4, "1", "") << "R1.R = 1 opt { +/-  % }" << int(VarNoCentre | VarNoPercent);
    }
    void variables()
    {
        QFETCH(OptimVarInput, var);
        QFETCH(QString, line);
        QFETCH(int, problems);
        QCOMPARE(optimVariableNetlistLine(var).value_or(QStringLiteral("NULL")), line);
        QCOMPARE(optimVariableProblems(var), problems);
    }

    // The one interval of +/- variables that the check, the editor, the
    // sliders and the simulator share: lower bound first, none without both numbers.
    void plusMinusBounds_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<std::optional<double>>("centre");
        QTest::addColumn<std::optional<double>>("d");
        QTest::addColumn<QList<double>>("bounds");   // empty: none
        using O = std::optional<double>;
        QTest::newRow("deviation") << 3 << O(10) << O(-2) << QList<double>{8, 12};
        QTest::newRow("percentage") << 4 << O(10) << O(5) << QList<double>{9.5, 10.5};
        QTest::newRow("negative centre") << 4 << O(-10) << O(10) << QList<double>{-11, -9};
        QTest::newRow("percentage over 100") << 4 << O(10) << O(150) << QList<double>{-5, 25};
        QTest::newRow("no centre") << 3 << O() << O(2) << QList<double>{};
        QTest::newRow("no delta") << 4 << O(10) << O() << QList<double>{};
        QTest::newRow("range type") << 1 << O(1) << O(2) << QList<double>{};
    }
    void plusMinusBounds()
    {
        QFETCH(int, type);
        QFETCH(std::optional<double>, centre);
        QFETCH(std::optional<double>, d);
        QFETCH(QList<double>, bounds);
        const auto b = optimPlusMinusBounds(type, centre, d);
        const QList<double> got = b ? QList<double>({b->lower, b->upper}) : QList<double>();
        QCOMPARE(got, bounds);
    }

    void words()
    {
        OptimModelInput input;
        input.algorithm().setName(QStringLiteral("Optim1"));
        input.algorithm().setAlgorithmType(6);
        input.algorithm().setMaxIterations(QStringLiteral("100"));
        input.variables() = {variable(1, "", "1", "9"), variable(1, "5", "1", "9")};
        input.goals() = {OptimGoalInput()};
        input.goals()[0].setDesignItem(QStringLiteral("g1"), QStringLiteral("zeb_simulation:DataBasedLoadPull"));
        using namespace optimdesignwords;
        QCOMPARE(printed(variableIsValid(&m_host, &input, 0)), QByteArray("TRUE"));   // TRUE marks a problem
        QCOMPARE(printed(variableIsValid(&m_host, &input, 1)), QByteArray("FALSE"));
        QCOMPARE(printed(variableIsValid(&m_host, &input, 2)), QByteArray("FALSE"));
        QCOMPARE(printed(fetchVariable(&m_host, &input, 2)), QByteArray("NULL"));
        QCOMPARE(printed(fetchGoal(&m_host, &input, 0)), QByteArray("NULL"));   // stands for a load-pull item
        QCOMPARE(printed(fetchAlgorithm(&m_host, &input, false)), QByteArray("NULL"));
        QCOMPARE(printed(fetchAlgorithm(&m_host, &input, true)),
                 QByteArray("list(\"Optim1\", list(\"OptimType\", 1, list(\"qzSeqLP\")), list(\"ErrorForm\", 1, list(\"seqLP\")), "
                            "list(\"MaxIters\", 1, list(\"100\")))"));
    }

    void quoting()
    {
        // text, quoted, unquoted
        const QList<QStringList> cases{{"abc", "\"abc\"", "abc"}, {"\"abc\"", "\"abc\"", "abc"}, {"\"", "\"\"\"", "\""},
                                       {"", "\"\"", ""}, {"\"ab", "\"\"ab\"", "\"ab"}};
        for (const QStringList &c : cases) {
            QCOMPARE(optimgoalmap::quote(c.at(0)), c.at(1));
            QCOMPARE(optimgoalmap::unquote(c.at(0)), c.at(2));
        }
    }

    void mapFromParameterInfo_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QString>("map");   // "FAIL": not read
        QTest::newRow("values unquoted, defaultRHS empty")
            << QByteArray("list(list(2, \"g1\"), list(\"Expr\", 2, list(\"\\\"a\\\"\", \"defaultRHS\")), list(\"Weight\", 1, list(\"\\\"\")))")
            << "Expr=a|; Name=g1; Weight=\"";
        QTest::newRow("dropped entries, missing values")
            << QByteArray("list(list(5, \"\"), list(\"A\", 0, list(\"x\")), list(\"B\", \"1\", list(\"x\")), list(\"C\", 1), "
                          "list(\"\", 2, list(\"x\")), list(\"A\", -1, list()))")
            << "Name=defaultname; defaultKEY=x|";
        QTest::newRow("no header") << QByteArray("list()") << "FAIL";
        QTest::newRow("count no integer") << QByteArray("list(list(\"1\", \"g\"))") << "FAIL";
    }
    void mapFromParameterInfo()
    {
        QFETCH(QByteArray, info);
        QFETCH(QString, map);
        MoxValue *value = m_host.MoxInterpreter::evaluate("CmdOp", info);
        OptimGoalParameterMap read;
        QStringList parts{QStringLiteral("FAIL")};
        if (optimgoalmap::fromParameterInfo(&m_host, value, read))
            parts.clear();
        for (auto it = read.cbegin(); it != read.cend(); ++it)
            parts.append(it.key() + '=' + it.value().join('|'));
        QCOMPARE(parts.join(QLatin1String("; ")), map);
        m_host.release(value);
    }

    void oldForm_data()
    {
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("max");
        QTest::addColumn<QString>("limit");   // type, first and second value, weight; or "unchanged"
        QTest::newRow("max only") << "" << "5" << "LessThan 5 7";
        QTest::newRow("min only") << "5" << "" << "GreaterThan 5 7";
        QTest::newRow("equal") << "5" << "5" << "EqualTo 5 7";
        QTest::newRow("differ") << "1" << "5" << "Inside 1 5 7";
        QTest::newRow("neither") << "" << "" << "unchanged";
    }
    void oldForm()
    {
        QFETCH(QString, min);
        QFETCH(QString, max);
        QFETCH(QString, limit);
        OptimGoalParameterMap map{{"Name", {"g"}}, {"Weight", {"7"}}, {"Min", {min}}, {"Max", {max}},
                                  {"RangeVar", {"freq", "temp"}}, {"RangeMin", {"1"}}, {"RangeMax", {"2", "3"}}};
        const OptimGoalParameterMap before = map;
        optimgoalmap::upgradeOldForm(map);
        if (limit == QLatin1String("unchanged")) {
            QCOMPARE(map, before);
            return;
        }
        const OptimGoalInput goal = optimgoalmap::toGoal(map);
        const OptimGoalLimitInput &l = goal.limits().first();
        const QString got = QStringList{optimLimitTypeText(l.limitType()), l.firstValueText(), l.secondValueText(), l.weight(),
                                        goal.weight(), goal.indepVarNames().join(','), l.ranges().at(1).upperBound()}.join(' ');
        QCOMPARE(got.simplified(), limit + QStringLiteral(" 1.0 freq,temp 3"));
        QVERIFY(map.value("Min").isEmpty() && map.value("RangeVar").isEmpty() && l.ranges().at(1).lowerBound().isEmpty());
        // A map that has limits already keeps its old keys.
        map.insert(QStringLiteral("Max"), {QStringLiteral("9")});
        optimgoalmap::upgradeOldForm(map);
        QCOMPARE(map.value("Max"), QStringList{"9"});
    }

    void goalNetlist_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QByteArray>("netlist");   // printed
        QTest::newRow("worked example")
            << QByteArray("list(list(11, \"g1\"), list(\"Expr\", 1, list(\"\\\"dB(S21)\\\"\")), list(\"SimInstanceName\", 1, list(\"SP1\")), "
                          "list(\"Weight\", 1, list(\"1.0\")), list(\"IndepVar\", 1, list(\"freq\")), list(\"LimitName\", 1, list(\"L1\")), "
                          "list(\"LimitType\", 1, list(\"Inside\")), list(\"LimitMin\", 1, list(\"-1\")), list(\"LimitMax\", 1, list(\"1\")), "
                          "list(\"LimitWeight\", 1, list(\"1.0\")), list(\"Indep1Min\", 1, list(\"1e9\")), list(\"Indep1Max\", 1, list(\"2e9\")))")
            << QByteArray("\"OptimGoal:g1 Expr=\\\"dB(S21)\\\" SimInstanceName=\\\"SP1\\\" Weight=1.0 \\\\\nIndepVar[1]=\\\"freq\\\" \\\\\n"
                          "SpecLimitLine[1]=\\\"g1_L1\\\" \nSpecLimitLine:\\\"g1_L1\\\" Type=\\\"Inside\\\" Min=-1 Max=1 Weight=1.0 \\\\\n"
                          "IndepVar[1]=\\\"freq\\\" IndepMin[1]=1e9 IndepMax[1]=2e9 \n\"");
        QTest::newRow("two limits, two variables")
            << QByteArray("list(list(7, \"g\"), list(\"IndepVar\", 3, list(\"f\", \"\", \"t\")), list(\"LimitName\", 2, list(\"A\", \"B\")), "
                          "list(\"LimitType\", 2, list(\"<\", \"bogus\")), list(\"LimitMin\", 2, list(\"1\", \"\")), "
                          "list(\"Indep1Min\", 2, list(\"\", \"5\")), list(\"Indep3Max\", 2, list(\"9\", \"8\")), list(\"Weight\", 1, list(\"2\")))")
            << QByteArray("\"OptimGoal:g Weight=2 \\\\\nIndepVar[1]=\\\"f\\\" IndepVar[2]=\\\"t\\\" \\\\\nSpecLimitLine[1]=\\\"g_A\\\" "
                          "SpecLimitLine[2]=\\\"g_B\\\" \nSpecLimitLine:\\\"g_A\\\" Type=\\\"LessThan\\\" Min=1 \\\\\nIndepVar[1]=\\\"t\\\" "
                          "IndepMax[1]=9 \nSpecLimitLine:\\\"g_B\\\" \\\\\nIndepVar[1]=\\\"f\\\" IndepMin[1]=5 \\\\\n"
                          "IndepVar[2]=\\\"t\\\" IndepMax[2]=8 \n\"");
        QTest::newRow("seven variables") << QByteArray("list(list(1, \"g\"), list(\"IndepVar\", 7, list(\"a\",\"b\",\"c\",\"d\",\"e\",\"f\",\"h\")))")
                                         << QByteArray("NULL");
        QTest::newRow("line feed in expression") << QByteArray("list(list(1, \"g\"), list(\"Expr\", 1, list(\"a\nb\")))") << QByteArray("NULL");
        QTest::newRow("quote in name") << QByteArray("list(list(0, \"g\\\"1\"))") << QByteArray("NULL");
        QTest::newRow("quote in limit name") << QByteArray("list(list(1, \"g\"), list(\"LimitName\", 1, list(\"a\\\"b\")))") << QByteArray("NULL");
    }
    void goalNetlist()
    {
        QFETCH(QByteArray, info);
        QFETCH(QByteArray, netlist);
        MoxValue *value = m_host.MoxInterpreter::evaluate("CmdOp", info);
        QVERIFY(value);
        QCOMPARE(printed(optimdesignwords::goalNetlist(&m_host, value)), netlist);
        m_host.release(value);
    }

    void callTexts()
    {
        using I = OptimDesignInformation;
        QCOMPARE(I::parameterInformationCall("D", QStringLiteral("R1.R")),
                 QByteArray("deopthelmdeck_fetch_parameter_information(\"D\", \"R1.R\", FALSE)"));
        QCOMPARE(I::componentInformationCall("D", QStringLiteral("g1"), QStringLiteral("zeb_simulation:Goal")),
                 QByteArray("deopthelmdeck_fetch_component_information(\"D\", \"g1\", \"zeb_simulation:Goal\") "));
        QCOMPARE(I::backAnnotationCall("D", false, 5, false, 3, true),
                 QByteArray("deopthelmdeck_back_annotation( \"D\", FALSE, 5, FALSE, FALSE, 3, FALSE, TRUE, 1, FALSE )"));
        // A name with a quote stays one string argument.
        QCOMPARE(I::parameterInformationCall("a\"b\\", QStringLiteral("x\")")),
                 QByteArray("deopthelmdeck_fetch_parameter_information(\"a\\\"b\\\\\", \"x\\\")\", FALSE)"));
    }

    void variableInformation_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("stored");   // inDesign name unit values
        QTest::newRow("found") << QByteArray("list(1, \"Cin\", \"pF\", list(\"1 pF\", \"2.2 pF\"))") << "1 Cin F 1 pF,2.2 pF";
        QTest::newRow("not found") << QByteArray("list(0, \"\", \"\", list())") << "0 C1 V ";
        QTest::newRow("no answer") << QByteArray() << "1 C1 V ";
        QTest::newRow("wrong kinds") << QByteArray("list(\"0\", 7, 8, \"1 pF\")") << "1 C1 V ";
    }
    void variableInformation()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, stored);
        OptimModelInput input;
        input.variables() = {variable(0, "1", ""), variable(0, "1", "")};
        input.variables()[0].setNetlistName(QStringLiteral("C1"));
        input.variables()[0].setUnit(QStringLiteral("V"));
        input.variables()[1].setName(QStringLiteral("known"));
        const QByteArray c1 = OptimDesignInformation::parameterInformationCall(kDesign, QStringLiteral("C1"));
        m_host.answers.insert(c1, answer);
        information().synchronizeVariables(input.variables());
        const OptimVarInput &v = input.variables().at(0);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(int(v.inDesign())).arg(v.name(), v.unit(), v.designValues().join(QLatin1Char(','))),
                 stored);
        // A named variable is not asked about, now, later or in a new optimization.
        information().synchronizeVariables(input.variables());
        information().synchronizeNew(input);
        QCOMPARE(m_host.calls, QList<QByteArray>{c1});
        QCOMPARE(input.variables().at(1).name(), QStringLiteral("known"));
    }

    void goalInformation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("goalAnswer");
        QTest::addColumn<QByteArray>("loadPullAnswer");
        QTest::addColumn<QString>("stored");   // inDesign item type extras, calls
        QTest::newRow("found") << "g1" << QByteArray("list(1)") << QByteArray() << "1 g1 zeb_simulation:Goal , 1";
        QTest::newRow("not found") << "g1" << QByteArray("list(0)") << QByteArray() << "0   , 2";
        QTest::newRow("load-pull item") << "g1_ExtraPenaltyGoal" << QByteArray("list(0)") << QByteArray("list(1)")
                                        << "1 g1 zeb_simulation:DataBasedLoadPull Weight, 2";
        QTest::newRow("no load-pull item") << "g1_ExtraPenaltyGoal" << QByteArray("list(0)") << QByteArray("list(0)") << "0   , 4";
        QTest::newRow("leading marker not retried") << "_ExtraPenaltyGoal" << QByteArray("list(0)") << QByteArray("list(1)") << "0   , 2";
    }
    void goalInformation()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, goalAnswer);
        QFETCH(QByteArray, loadPullAnswer);
        QFETCH(QString, stored);
        OptimItemList<OptimGoalInput> goals{OptimGoalInput()};
        goals[0].setName(name);
        using I = OptimDesignInformation;
        m_host.answers.insert(I::componentInformationCall(kDesign, name, "zeb_simulation:Goal"), goalAnswer);
        m_host.answers.insert(I::componentInformationCall(kDesign, "g1", "zeb_simulation:DataBasedLoadPull"), loadPullAnswer);
        information().synchronizeGoals(goals);
        // Asked again only while the design does not know the goal.
        information().synchronizeGoals(goals);
        const OptimGoalInput &g = goals.at(0);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4, %5").arg(int(g.inDesign())).arg(g.designItemName(), g.designItemType(),
                 g.extraParameterNames().join(',')).arg(m_host.calls.size()), stored);
    }

    void backAnnotation_data()
    {
        QTest::addColumn<QByteArray>("answer");  // empty: the evaluation fails
        QTest::addColumn<int>("constraintType");
        QTest::addColumn<bool>("optimize");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("reason");     // a part of it
        QTest::newRow("no answer") << QByteArray("list(NULL)") << 1 << true << true << QString();
        QTest::newRow("evaluation fails") << QByteArray() << 1 << true << false << QStringLiteral("could not carry out");
        QTest::newRow("TRUE") << QByteArray("TRUE") << 1 << true << true << QString();
        QTest::newRow("non-zero") << QByteArray("2") << 1 << true << true << QString();
        QTest::newRow("FALSE") << QByteArray("FALSE") << 1 << true << false << QStringLiteral("could not write");
        QTest::newRow("0") << QByteArray("0") << 1 << true << false << QStringLiteral("could not write");
        // A variable that has no line is not lost quietly: nothing is asked.
        QTest::newRow("no line") << QByteArray("TRUE") << 7 << true << false << QStringLiteral("\"R1.R\" cannot be written");
        QTest::newRow("no line, in the design") << QByteArray("TRUE") << 7 << false << false << QStringLiteral("\"R1.R\"");
    }

    void backAnnotation()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, constraintType);
        QFETCH(bool, optimize);
        QFETCH(bool, written);
        QFETCH(QString, reason);
        OptimModelInput input;
        input.variables() = {variable(constraintType, QStringLiteral("50 Ohm"), QStringLiteral("1"), QStringLiteral("2"),
                                      QString(), optimize)};
        const QByteArray call = "list(" + OptimDesignInformation::backAnnotationCall(kDesign, true, 1, true, 0, true) + ")";
        m_host.answers.insert(call, answer.isEmpty() || answer.startsWith("list(") ? answer : "list(" + answer + ")");
        QString why;
        QCOMPARE(information().backAnnotate(input, true, true, true, &why), written);
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(m_host.calls, constraintType == 7 ? QList<QByteArray>() : QList<QByteArray>{call});
        // No design: nothing asked.
        m_host.calls.clear();
        QVERIFY(!information("").backAnnotate(input, true, true, true, &why) && !why.isEmpty());
        QVERIFY(m_host.calls.isEmpty());
    }

private:
    QByteArray printed(MoxValue *value)
    {
        const QByteArray text = m_host.printed(value);
        m_host.release(value);
        return text;
    }
    OptimDesignInformation information(const QByteArray &design = kDesign)
    {
        return OptimDesignInformation(OptimHostCalls(&m_host), design);
    }

    ScriptedHost m_host;
    int m_live = 0;
};

QTEST_GUILESS_MAIN(TestOptimDesign)
#include "tst_optimdesign.moc"
