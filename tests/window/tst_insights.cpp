// The views beyond the basic ones: the history CSV, the iteration
// table's rows and sorting, pass or fail per limit type, the run's pace.

#include "modaldriver.h"
#include "window/goalspanel.h"
#include "graphs/goalverdict.h"
#include "window/historycsv.h"
#include "window/iterationtable.h"
#include "graphs/graphwidget.h"
#include "window/helmdeckquestions.h"
#include "window/historygraphmenu.h"
#include "window/runpace.h"
#include "windowtestsupport.h"
#include "state/optimhelmdeckcontrollerstate.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTest>

#include <vector>

class TestInsights : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void historyCsv();
    void exportFromTheMenu();
    void iterationTableFollowsAndSorts();
    void limitVerdict_data();
    void limitVerdict();
    void goalVerdictOverKinds_data();
    void goalVerdictOverKinds();
    void pace();
};

namespace {

// Two goals, two variables; the second goal's history is one short.
OptimizationModel smallModel()
{
    OptimizationModel m;
    OptimGoalInput gain;
    gain.setName(QStringLiteral("Gain"));
    OptimGoalInput match;
    match.setName(QStringLiteral("S11, \"in\""));
    m.input().goals().append(gain);
    m.input().goals().append(match);
    OptimVarInput l;
    l.setName(QStringLiteral("L1"));
    l.setUnit(QStringLiteral("nH"));
    OptimVarInput c;
    c.setNetlistName(QStringLiteral("C\u00b5"));
    m.input().variables().append(l);
    m.input().variables().append(c);
    m.history().algorithm().values() = {QStringLiteral("511"), QStringLiteral("12.25"), QStringLiteral("0.0100000001")};
    m.history().goals().append(OptimGoalHistory());
    m.history().goals().append(OptimGoalHistory());
    m.history().goals()[0].values() = {QStringLiteral("1e+02"), QStringLiteral("3"), QStringLiteral("")};
    m.history().goals()[1].values() = {QStringLiteral("a,b"), QStringLiteral("-2")};
    m.history().variables().append(OptimVarHistory());
    m.history().variables().append(OptimVarHistory());
    m.history().variables()[0].values() = {QStringLiteral("10"), QStringLiteral("12.5"), QStringLiteral("13 nH")};
    m.history().variables()[1].values() = {QStringLiteral("2"), QStringLiteral("x"), QStringLiteral("3")};
    return m;
}

} // namespace

void TestInsights::historyCsv()
{
    const OptimizationModel model = smallModel();
    QCOMPARE(HistoryCsv::text(model),
             QByteArray("Iteration,Error,Gain,\"S11, \"\"in\"\"\",L1 (H),C\xc2\xb5\r\n"
                        "0,511,1e+02,\"a,b\",1e-08,2\r\n"
                        "1,12.25,3,-2,1.25e-08,x\r\n"
                        "2,0.0100000001,,,1.3e-08,3\r\n"));
    QString problem;
    QVERIFY(!HistoryCsv::save(model, QStringLiteral("/nonexistent-folder/h.csv"), &problem));
    QVERIFY(!problem.isEmpty());
}

// The menu's action goes through the questions' save dialog to the file.
void TestInsights::exportFromTheMenu()
{
    IsolatedSettings settings;
    QWidget window;
    HelmdeckQuestions questions;
    questions.setWindow(&window);
    OptimHelmdeckControllerState state(false, true);
    OptimizationModelObject object;
    state.addModel(&object);
    state.setViewModel(&object);
    questions.popUpHistoryGraphMenu(&state, QPoint(20, 20));
    auto *menu = window.findChild<HistoryGraphMenu *>();
    QVERIFY(menu && !menu->exportHistoryAction()->isEnabled());
    object.setModel(smallModel());
    menu->refresh();
    QVERIFY(menu->exportHistoryAction()->isEnabled());
    const QString path = settings.path() + QStringLiteral("/history.csv");
    ModalDriver modals({{QStringLiteral("saveFileDialog"), [&](QDialog *dialog) {
        static_cast<QFileDialog *>(dialog)->selectFile(path);
        dialog->accept();
    }}});
    menu->exportHistoryAction()->trigger();
    QCoreApplication::processEvents();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), HistoryCsv::text(object.model()));
    // The image actions need a graph; with one, the picture is copied.
    QVERIFY(!menu->copyImageAction()->isEnabled());
    // The picture carries the variable's name above the graph and no hover marks.
    auto *graph = new GraphWidget(&window);
    graph->resize(200, 100);
    graph->setSeriesName(0, QStringLiteral("L1"));
    graph->setSeries(QList<double>{1, 3, 2});
    const QImage plain = graph->grab().toImage();
    const QPoint over = graph->plotRect().center();
    QMouseEvent move(QEvent::MouseMove, over, graph->mapToGlobal(over), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(graph, &move);
    QVERIFY(graph->grab().toImage() != plain);
    menu->setTargetGraph(graph);
    menu->copyImageAction()->trigger();
    const QImage copied = QGuiApplication::clipboard()->image().convertToFormat(plain.format());
    const int titleHeight = copied.height() - plain.height();
    QVERIFY(titleHeight >= QFontMetrics(graph->font()).height() / 2);
    QCOMPARE(copied.copy(0, titleHeight, plain.width(), plain.height()), plain);
    menu->logScaleAction()->trigger(); // remembered: the next window opens with it
    OptimHelmdeckControllerState next(false, true);
    GoalsPanel panel(&next);
    QVERIFY(next.historyLogScale() && panel.findChild<GraphWidget *>(QStringLiteral("errorHistoryView"))->logScale());
}

void TestInsights::iterationTableFollowsAndSorts()
{
    OptimizationModelObject object;
    object.setModel(smallModel());
    IterationTableModel table;
    table.setModel(&object);
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.columnCount(), 4);
    QCOMPARE(table.headerData(2, Qt::Horizontal).toString(), QStringLiteral("L1 (nH)"));
    QCOMPARE(table.data(table.index(2, 1)).toString(), QStringLiteral("0.0100000001"));
    // The texts show; sorting and copying take the numbers in base units.
    QCOMPARE(table.data(table.index(2, 2)).toString(), QStringLiteral("13 nH"));
    QCOMPARE(table.data(table.index(0, 2), Qt::EditRole).toDouble(), 1e-8);
    table.sort(2, Qt::AscendingOrder);
    QCOMPARE((QList<int>{table.iterationAt(0), table.iterationAt(1), table.iterationAt(2)}), (QList<int>{0, 1, 2}));
    IterationTableView view;
    view.setOptimization(&object);
    view.setCurrentIndex(view.model()->index(2, 2));
    QTest::keySequence(&view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1.3e-08"));

    // By C: numbers ascending, then the text that is no number.
    table.sort(3, Qt::AscendingOrder);
    QCOMPARE((QList<int>{table.iterationAt(0), table.iterationAt(1), table.iterationAt(2)}), (QList<int>{0, 2, 1}));
    // A new iteration lands where it sorts, and the table follows a drop.
    OptimizationModel grown = object.model();
    grown.history().algorithm().values().append(QStringLiteral("0.5"));
    grown.history().variables()[0].values().append(QStringLiteral("11"));
    grown.history().variables()[1].values().append(QStringLiteral("2.5"));
    object.setModel(grown);
    table.refresh();
    QCOMPARE(table.rowCount(), 4);
    QCOMPARE(table.rowOf(3), 1);
    table.sort(1, Qt::DescendingOrder);
    QCOMPARE(table.iterationAt(0), 0);
    QCOMPARE(table.iterationAt(3), 2);
    object.setModel(smallModel());
    table.refresh();
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.iterationAt(2), 2);
}

void TestInsights::limitVerdict_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("met");
    QTest::addColumn<double>("margin");
    const std::vector<double> ys{-12.0, -15.0, -10.5};
    QTest::newRow("greater met") << int(LimitGreaterThan) << -20.0 << 0.0 << ys << true << true << 5.0;
    QTest::newRow("greater not met") << int(LimitGreaterThan) << -11.0 << 0.0 << ys << true << false << -4.0;
    QTest::newRow("less met") << int(LimitLessThan) << -10.0 << 0.0 << ys << true << true << 0.5;
    QTest::newRow("less on the limit") << int(LimitLessThan) << -10.5 << 0.0 << ys << true << true << 0.0;
    QTest::newRow("equal off") << int(LimitEqualTo) << -12.0 << 0.0 << ys << true << false << -3.0;
    QTest::newRow("equal within rounding") << int(LimitEqualTo) << 50.0 << 0.0 << std::vector<double>{50.00001} << true
                                           << true << -1e-5;
    QTest::newRow("inside, bounds swapped") << int(LimitInside) << -9.0 << -16.0 << ys << true << true << 1.0;
    QTest::newRow("inside not met") << int(LimitInside) << -14.0 << -9.0 << ys << true << false << -1.0;
    QTest::newRow("outside met") << int(LimitOutside) << -9.0 << 0.0 << ys << true << true << 1.5;
    QTest::newRow("outside not met") << int(LimitOutside) << -13.0 << -11.0 << ys << true << false << -1.0;
    QTest::newRow("no finite value") << int(LimitLessThan) << 1.0 << 0.0 << std::vector<double>{qQNaN()} << false
                                     << false << 0.0;
}

void TestInsights::limitVerdict()
{
    QFETCH(int, type);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(std::vector<double>, values);
    QFETCH(double, margin);
    const GoalVerdict v = GoalVerdict::judgeLimit(type, a, b, values);
    QTEST(v.known, "known");
    QTEST(v.met, "met");
    QVERIFY2(qAbs(v.margin - margin) < 1e-9, qPrintable(QString::number(v.margin)));
}

void TestInsights::goalVerdictOverKinds_data()
{
    QTest::addColumn<QString>("var"); // empty: a scalar goal
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QList<double>>("xs");
    QTest::addColumn<QList<double>>("ys");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("a");
    QTest::addColumn<bool>("met");
    QTest::addColumn<double>("margin");
    // Inside 0.45..0.55. Only the points in the time window count: the overshoot before it does not.
    QTest::newRow("time window") << "time" << "2 ms" << "0.01" << QList<double>{0, 1e-3, 5e-3, 2e-2}
                                 << QList<double>{0, 0.9, 0.52, 0.1} << int(LimitInside) << "0.45" << true << 0.03;
    QTest::newRow("dc sweep") << "v1" << "1" << "2" << QList<double>{0, 1, 2} << QList<double>{0.1, 0.48, 0.9}
                              << int(LimitGreaterThan) << "0.46" << true << 0.02;
    QTest::newRow("scalar") << "" << "" << "" << QList<double>{0} << QList<double>{0.5} << int(LimitLessThan) << "0.6" << true << 0.1;
    QTest::newRow("scalar without abscissa") << "" << "" << "" << QList<double>{} << QList<double>{0.65}
                                             << int(LimitLessThan) << "0.6" << false << -0.05;
}

void TestInsights::goalVerdictOverKinds()
{
    QFETCH(QString, var);
    QFETCH(QString, lower);
    QFETCH(QString, upper);
    QFETCH(QList<double>, xs);
    QFETCH(QList<double>, ys);
    QFETCH(int, type);
    QFETCH(QString, a);
    QFETCH(double, margin);
    OptimGoalInput goal;
    OptimGoalLimitInput limit;
    limit.setLimit(type, a, QStringLiteral("0.55"));
    if (!var.isEmpty()) {
        goal.addIndepVar(var);
        limit.ranges().append(OptimGoalRange(0, lower, upper));
    }
    goal.limits().append(limit);
    OptimTraceFamily traces;
    traces.setIndepVar(OptimTraceVar(var, QString()));
    OptimTrace trace;
    trace.xValues().values() = xs;
    trace.yValues().values() = ys;
    traces.traces().append(trace);
    const GoalVerdict v = GoalVerdict::judgeGoal(goal, traces);
    QVERIFY(v.known);
    QTEST(v.met, "met");
    QVERIFY2(qAbs(v.margin - margin) < 1e-9, qPrintable(QString::number(v.margin)));
}

void TestInsights::pace()
{
    RunPace pace;
    pace.record(0, 0);
    QCOMPARE(pace.text(QStringLiteral("100")), QString());
    pace.record(500, 1);
    pace.record(10000, 20);
    QCOMPARE(pace.text(QStringLiteral("100")), QStringLiteral("2 it/s, about 40s left"));
    // Only the last minute counts: the slow start drops out.
    pace.record(70000, 320);
    QCOMPARE(pace.iterationsPerSecond().value(), 5.0);
    QCOMPARE(pace.text(QStringLiteral("none")), QStringLiteral("5 it/s"));
    // A restart begins afresh.
    pace.record(71000, 3);
    QVERIFY(!pace.iterationsPerSecond());
    // The view keeps its widest width while the run goes on; a pause lets it go.
    QDateTime now(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);
    PaceView view;
    view.setClock([&now] { return now; });
    auto model = makeModel(AlgState{2, QStringLiteral("1"), QString()}, 2, QString());
    view.setModel(model.get());
    now = now.addSecs(1);
    applyState(*model, AlgState{2, QStringLiteral("101"), QString()}); // "100 it/s"
    const int wide = view.sizeHint().width();
    now = now.addSecs(49);
    applyState(*model, AlgState{2, QStringLiteral("501"), QString()});
    QCOMPARE(view.text(), QStringLiteral("10 it/s"));
    QVERIFY(view.QLabel::sizeHint().width() < wide && view.sizeHint().width() == wide);
    applyState(*model, AlgState{3, QStringLiteral("501"), QString()});
    QVERIFY(view.text().isEmpty() && view.sizeHint().width() < wide);
}

QTEST_MAIN(TestInsights)
#include "tst_insights.moc"
