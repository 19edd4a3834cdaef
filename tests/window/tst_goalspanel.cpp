// The goals panel: its views reading and following the model,
// the shared goal selection, display settings, stale results, the goal editor.

#include "state/optimhelmdeckcontrollerstate.h"
#include "window/errorhistoryview.h"
#include "graphs/goalgraphwidget.h"
#include "window/goalspanel.h"
#include "window/errorcontributiongraphview.h"
#include "window/goalerrorgraphsview.h"
#include "window/goalerrortextview.h"
#include "window/goaltextview.h"
#include "window/optimhelmdeckdialog.h"
#include "windowtestsupport.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <utility>

Q_DECLARE_METATYPE(OptimItemList<OptimGoalInput>)

// Applies iterations first..last of the small sample to model.
static void applyIterations(OptimizationModelObject &model, int first, int last)
{
    for (int i = first; i <= last; ++i)
        applyState(model, AlgState(2, QString::number(i)));
}

class TestGoalsPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        qRegisterMetaType<OptimItemList<OptimGoalInput>>();
    }
    void init()
    {
        IsolatedSettings::clear();
        m_state = new OptimHelmdeckControllerState(false, true);
        m_panel = new GoalsPanel(m_state);
        m_panel->resize(420, 520);
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel));
        m_model = makeModel();
        m_panel->setModel(m_model.get());
    }
    void cleanup()
    {
        delete std::exchange(m_panel, nullptr);
        delete std::exchange(m_state, nullptr);
        m_model.reset();
    }
    void beforeFirstIteration()
    {
        QCOMPARE(m_panel->errorTextView()->text(), QStringLiteral("Error not calculated yet"));
        QCOMPARE(m_panel->errorHistoryView()->summaryText(), QStringLiteral("Error not available."));
        QCOMPARE(m_panel->errorHistoryView()->pointCount(), 0);
        // The goals are known already: bars read "Not active", plots wait.
        QCOMPARE(barTexts(), QStringList({"Not active", "Not active"}));
        QCOMPARE(m_panel->contributionView()->bar(0)->label(), QStringLiteral("Goal1"));
        QVERIFY(!m_panel->contributionView()->bar(0)->isActive());
        QCOMPARE(m_panel->goalGraphsView()->goalCount(), 2);
        QVERIFY(m_panel->goalTextView()->text().contains(QStringLiteral("Goal2")));
    }
    void errorTextCaptions()
    {
        // Sample iteration 3 is a best error (3 % 3 == 0): caption, text, detail.
        applyState(*m_model, AlgState(2, QStringLiteral("3")));
        QCOMPARE(m_panel->findChild<QLabel *>(QStringLiteral("errorCaptionLabel"))->text(), QStringLiteral("Best Error: "));
        QCOMPARE(m_panel->errorTextView()->text(), QStringLiteral("Best Error:  2.5 2.25"));
        applyState(*m_model, AlgState(2, QStringLiteral("4")));
        QCOMPARE(m_panel->findChild<QLabel *>(QStringLiteral("errorCaptionLabel"))->text(), QStringLiteral("Error: "));
        QCOMPARE(m_panel->errorTextView()->text(), QStringLiteral("Error:  2"));
    }
    void historySummaryAndSeries()
    {
        applyIterations(*m_model, 0, 4);
        ErrorHistoryView *history = m_panel->errorHistoryView();
        // The history holds the error detail on best iterations, else the error.
        QCOMPARE(history->pointCount(), 5);
        QCOMPARE(history->summaryText(), QStringLiteral("Current error: 2   Initial error: 9"));
        QCOMPARE(QList<std::optional<double>>({history->valueAt(0), history->valueAt(1)}), QList<std::optional<double>>({9.0, 5.0}));
        QCOMPARE(QList<double>({history->yMin(), history->yMax()}), QList<double>({2, 9}));
    }
    void contributionBars()
    {
        applyIterations(*m_model, 0, 1);
        ErrorContributionGraphView *bars = m_panel->contributionView();
        QCOMPARE(bars->barCount(), 2);
        // Contributions 0.5 and 0.25: lengths relative to the largest, texts
        // with the share of the sum.
        QCOMPARE(QList<double>({bars->bar(0)->fraction(), bars->bar(1)->fraction()}), QList<double>({1, 0.5}));
        QCOMPARE(barTexts(), QStringList({"0.5  (67 %)", "0.25  (33 %)"}));
        // An iteration with the same contributions repaints no bar.
        QCoreApplication::processEvents();
        PaintCounter painted(bars->bar(0));
        applyIterations(*m_model, 2, 2);
        QCoreApplication::processEvents();
        QCOMPARE(painted.count, 0);
        // An empty contribution is "Not active"; one that is not a number is
        // shown as it is, without a bar.
        OptimIter iteration = sampleIteration(smallSample(), 2);
        iteration.goals()[0].setErrorContribution(QString());
        iteration.goals()[1].setErrorContribution(QStringLiteral("n/a"));
        m_model->applyIteration(iteration);
        QCOMPARE(barTexts(), QStringList({"Not active", "n/a"}));
        QVERIFY(!bars->bar(0)->isActive() && std::isnan(bars->bar(1)->fraction()));
    }
    void goalTableBuiltWhenShown()
    {
        // The goal table waits while its page is hidden and catches up when
        // it shows (or when its text is asked for).
        GoalTextView *table = m_panel->goalTextView();
        const QString before = table->QLabel::text();
        applyIterations(*m_model, 0, 0);
        QCOMPARE(table->QLabel::text(), before);
        m_panel->pages()->setCurrentIndex(2);
        QVERIFY(table->QLabel::text().contains(QStringLiteral("0.25")));
        applyIterations(*m_model, 1, 1);
        QCOMPARE(table->QLabel::text(), table->text());
    }
    void goalChangedUpdatesViews()
    {
        applyIterations(*m_model, 0, 2);
        GoalGraphWidget *plot = m_panel->goalGraphsView()->goalGraph(1);
        QVERIFY(plot);
        QCOMPARE(plot->traces(), m_model->model().goalOutput(1).traces());
        QCOMPARE(plot->goal().name(), QStringLiteral("Goal2"));
        GraphWidget *history = m_panel->goalGraphsView()->historyGraph(1);
        QCOMPARE(history->pointCount(), 3);
        // A new iteration: goalChanged(k) for each goal.
        applyIterations(*m_model, 3, 3);
        QCOMPARE(plot->traces(), m_model->model().goalOutput(1).traces());
        QCOMPARE(history->pointCount(), 4);
        QCOMPARE(history->valueAt(3), GraphWidget::parseValue(m_model->model().goalHistory(1).values().at(3)));
        // Edited definitions arrive as goalChanged too.
        OptimIterGoalDefinitions definitions;
        OptimGoalInput goal = m_model->model().goal(1);
        goal.setName(QStringLiteral("Return loss"));
        definitions.goals() = m_model->model().input().goals();
        definitions.goals().replace(1, goal);
        m_model->setGoalDefinitions(definitions);
        QCOMPARE(plot->goal().name(), QStringLiteral("Return loss"));
        QCOMPARE(m_panel->contributionView()->bar(1)->label(), QStringLiteral("Return loss"));
        QVERIFY(m_panel->goalTextView()->text().contains(QStringLiteral("Return loss")));
    }
    void goalAddedAddsViews()
    {
        auto model = std::make_unique<OptimizationModelObject>();
        OptimModelInput input = sampleModelInput(SampleSize{1, 1, 5, 2});
        model->setModelInput(input);
        m_panel->setModel(model.get());
        QCOMPARE(m_panel->goalGraphsView()->goalCount(), 1);
        // One goal: its bar would always be 100 %, so the page is left out.
        QVERIFY(!m_panel->contributionsVisible());
        QCOMPARE(m_panel->pages()->currentWidget(), static_cast<QWidget *>(m_panel->errorHistoryView()));
        OptimGoalInput goal = input.goals().at(0);
        goal.setName(QStringLiteral("Added"));
        model->appendGoal(goal);
        QCOMPARE(m_panel->goalGraphsView()->goalCount(), 2);
        QCOMPARE(m_panel->contributionView()->barCount(), 2);
        QCOMPARE(m_panel->contributionView()->bar(1)->label(), QStringLiteral("Added"));
        QVERIFY(m_panel->contributionsVisible() && m_panel->goalTextView()->text().contains(QStringLiteral("Added")));
    }
    void selectionSharedByViews()
    {
        applyIterations(*m_model, 0, 1);
        m_panel->pages()->setCurrentIndex(0);
        ErrorContributionGraphView *bars = m_panel->contributionView();
        GoalErrorGraphsView *graphs = m_panel->goalGraphsView();
        // A click on the second bar marks goal 1 everywhere.
        QTest::mouseClick(bars->bar(1), Qt::LeftButton, {}, QPoint(10, 5));
        QCOMPARE(marks(), QList<int>({1, 1, 1, 1, 1}));
        QCOMPARE(m_panel->goalTextView()->selectedGoal(), 1);
        // A click on the first goal plot moves the mark, the bar included.
        QSignalSpy fromGraphs(graphs, &GoalErrorGraphsView::goalSelected);
        QTest::mouseClick(graphs->goalGraph(0), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(calls(fromGraphs), QStringList{"0"});
        QCOMPARE(marks(), QList<int>({0, 0, 0, 0, 0}));
        // A click on a goal's history graph selects that goal as well.
        QTest::mouseClick(graphs->historyGraph(1), Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(marks(), QList<int>({1, 1, 1, 1, 1}));
        // The goal table's links select too.
        Q_EMIT m_panel->goalTextView()->linkActivated(QStringLiteral("goal:0"));
        QCOMPARE(marks(), QList<int>({0, 0, 0, 0, 0}));
        // The selection outlives an iteration (the bars are rebuilt).
        applyIterations(*m_model, 2, 2);
        QCOMPARE(marks(), QList<int>({0, 0, 0, 0, 0}));
        m_panel->setSelectedGoal(-1);
        QCOMPARE(marks(), QList<int>({-1, -1, -1, -1, -1}));
    }
    void displaySettingsFromState()
    {
        applyIterations(*m_model, 0, 30);
        GraphWidget *goalHistory = m_panel->goalGraphsView()->historyGraph(0);
        ErrorHistoryView *history = m_panel->errorHistoryView();
        m_state->setNumItersToDisplay(1);
        QCOMPARE(QList<int>({history->numPointsShown(), goalHistory->numPointsShown()}), QList<int>({10, 10}));
        QCOMPARE(history->firstShownIndex(), 21);
        m_state->setNumItersToDisplay(2);
        QCOMPARE(goalHistory->numPointsShown(), 25);
        m_state->setYAxisAutoscaleUsingAllData(false);
        QVERIFY(!history->useAllData() && !goalHistory->useAllData());
        // The old large errors of the first iterations no longer set the range:
        // the largest of the last 25 (iterations 6 to 30) is that of 6.
        QCOMPARE(history->yMax(), *GraphWidget::parseValue(m_model->model().algorithmHistory().values().at(6)));
        QVERIFY(history->yMax() < 1.5);
        m_state->setYAxisAutoscaleUsingAllData(true);
        QCOMPARE(history->yMax(), 9.0);
        m_state->setGoalXAxisScaling(0);
        QCOMPARE(m_panel->goalGraphsView()->goalGraph(0)->xAxisScaling() + m_panel->goalGraphsView()->goalGraph(1)->xAxisScaling(), 0);
        m_state->setGoalXAxisScaling(1);
        QCOMPARE(m_panel->goalGraphsView()->goalGraph(1)->xAxisScaling(), 1);
        // A panel made later starts from the state's values.
        GoalsPanel later(m_state);
        later.setModel(m_model.get());
        QCOMPARE(later.goalGraphsView()->goalGraph(0)->xAxisScaling(), 1);
        QCOMPARE(later.errorHistoryView()->numPointsShown(), 25);
    }
    void allIterationsShowLongerHistories()
    {
        // "All iterations" spans the iterations the run can reach; a history
        // longer than that count is shown whole rather than cut.
        applyIterations(*m_model, 0, 11);
        m_panel->setNumberOfHistoryPointsToShow(5);
        QCOMPARE(m_state->numItersToDisplay(), 0);
        QCOMPARE(m_panel->errorHistoryView()->numPointsShown(), 0);
        QCOMPARE(m_panel->errorHistoryView()->shownCount(), 12);
        QCOMPARE(m_panel->goalGraphsView()->historyGraph(0)->shownCount(), 12);
        m_panel->setNumberOfHistoryPointsToShow(101);
        QCOMPARE(m_panel->errorHistoryView()->numPointsShown(), 101);
        QCOMPARE(m_panel->goalGraphsView()->historyGraph(0)->numPointsShown(), 101);
    }
    void staleData()
    {
        applyIterations(*m_model, 0, 1);
        QVERIFY(m_panel->findChild<QLabel *>(QStringLiteral("staleNoticeLabel"))->isHidden());
        m_panel->setDataIsStale(true);
        QVERIFY(m_panel->dataIsStale() && !m_panel->findChild<QLabel *>(QStringLiteral("staleNoticeLabel"))->isHidden());
        QCOMPARE(QList<bool>({m_panel->errorHistoryView()->isStale(), m_panel->goalGraphsView()->goalGraph(0)->isStale(),
                              m_panel->goalGraphsView()->historyGraph(1)->isStale(), m_panel->contributionView()->bar(0)->isStale()}),
                 QList<bool>({true, true, true, true}));
        QVERIFY(m_panel->goalTextView()->text().contains(QStringLiteral("stale")));
        // Views made while stale (a goal added) are stale too.
        m_model->appendGoal(m_model->model().goal(0));
        QVERIFY(m_panel->goalGraphsView()->goalGraph(2)->isStale() && m_panel->contributionView()->bar(2)->isStale());
        m_panel->setDataIsStale(false);
        QVERIFY(m_panel->findChild<QLabel *>(QStringLiteral("staleNoticeLabel"))->isHidden());
        QVERIFY(!m_panel->goalGraphsView()->goalGraph(2)->isStale() && !m_panel->errorHistoryView()->isStale());
    }
    void staleDataThroughWindow()
    {
        OptimHelmdeckDialog window(m_state, QIcon());
        applyState(*m_model, AlgState());
        window.setModel(m_model.get());
        window.setDataIsStale(true);
        GoalsPanel *panel = window.findChild<GoalsPanel *>(QStringLiteral("goalsPanel"));
        QVERIFY(panel && panel->dataIsStale() && panel->errorHistoryView()->isStale());
        window.setDataIsStale(false);
        QVERIFY(!panel->errorHistoryView()->isStale());
        window.allowClose();
    }
    void rightClickOnHistoryGraphs()
    {
        applyIterations(*m_model, 0, 3);
        QSignalSpy spy(m_panel, &GoalsPanel::historyGraphRightMouseClick);
        GraphWidget *goalHistory = m_panel->goalGraphsView()->historyGraph(0);
        QTest::mousePress(goalHistory, Qt::RightButton, {}, QPoint(15, 10));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toPoint(), goalHistory->mapToGlobal(QPoint(15, 10)));
        m_panel->pages()->setCurrentWidget(m_panel->errorHistoryView());
        QTest::mousePress(m_panel->errorHistoryView(), Qt::RightButton, {}, QPoint(30, 30));
        QCOMPARE(spy.count(), 2);
    }
    void editGoals()
    {
        applyState(*m_model, AlgState(3));
        // No editor plugged in: disabled, with a reason.
        QVERIFY(!m_panel->editGoalsButton()->isEnabled() && !m_panel->editGoalsButton()->toolTip().isEmpty());
        int runs = 0;
        OptimHelmdeckEditorHooks hooks;
        hooks.editGoals = [&runs](const OptimizationModel &model, QWidget *,
                                  const std::function<void(const OptimItemList<OptimGoalInput> &)> &edited,
                                  const std::function<void(const QString &)> &help) {
            ++runs;
            help(QStringLiteral("OPTIM_HELMDECK_EDIT_GOALS"));
            OptimItemList<OptimGoalInput> goals = model.input().goals();
            goals[0].setName(QStringLiteral("Edited"));
            edited(goals);
        };
        m_panel->setEditorHooks(hooks);
        // Paused (status 3), waiting for nothing: enabled once told.
        Q_EMIT m_model->algorithmChanged();
        QVERIFY(m_panel->editGoalsButton()->isEnabled());
        QSignalSpy changed(m_panel, &GoalsPanel::goalDefinitionsChanged);
        QSignalSpy help(m_panel, &PanelView::helpRequested);
        QTest::mouseClick(m_panel->editGoalsButton(), Qt::LeftButton);
        QCOMPARE(runs, 1);
        QCOMPARE(calls(help), QStringList{"OPTIM_HELMDECK_EDIT_GOALS"});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<OptimItemList<OptimGoalInput>>().at(0).name(), QStringLiteral("Edited"));
        m_panel->preventUserInput(true);
        QVERIFY(!m_panel->editGoalsButton()->isEnabled());
        m_panel->preventUserInput(false);
        QVERIFY(m_panel->editGoalsButton()->isEnabled());
        // Running: no editing.
        applyState(*m_model, AlgState(2, QStringLiteral("4")));
        QVERIFY(!m_panel->editGoalsButton()->isEnabled());
        // A view-only helmdeck has no edit button at all.
        OptimHelmdeckControllerState viewOnly(false, false);
        GoalsPanel panel(&viewOnly);
        panel.setModel(m_model.get());
        QVERIFY(panel.editGoalsButton()->isHidden());
    }
    void deletedModel()
    {
        applyIterations(*m_model, 0, 2);
        QCOMPARE(m_panel->goalGraphsView()->goalCount(), 2);
        m_model.reset();
        QCOMPARE(m_panel->model(), nullptr);
        QCOMPARE(QList<int>({m_panel->goalGraphsView()->goalCount(), m_panel->contributionView()->barCount(), m_panel->errorHistoryView()->pointCount()}), QList<int>({0, 0, 0}));
        QCOMPARE(m_panel->goalTextView()->text(), QStringLiteral("No goals to view"));
        QCOMPARE(m_panel->errorTextView()->text(), QStringLiteral("Error not calculated yet"));
        m_panel->grab(); // draws without a model
    }
    void tracesBeforeTuningAndInitial()
    {
        applyIterations(*m_model, 0, 0);
        GoalGraphWidget *plot = m_panel->goalGraphsView()->goalGraph(0);
        // First iteration: the initial traces are the current ones, not drawn twice.
        QVERIFY(!plot->showsInitialTraces());
        applyIterations(*m_model, 1, 5);
        QVERIFY(plot->showsInitialTraces());
        QCOMPARE(plot->legendEntries(), QStringList({"trace", "limit", "initial"}));
        m_model->rememberValuesBeforeTuning();
        QCOMPARE(plot->legendEntries(), QStringList({"trace", "limit", "initial", "before tuning"}));
        m_model->forgetValuesBeforeTuning();
        QCOMPARE(plot->legendEntries(), QStringList({"trace", "limit", "initial"}));
        m_panel->grab();
    }

private:
    // The goal each view marks: panel, bar index, marked bar, goal plot,
    // history graph (-1: none, -2: more than one).
    QList<int> marks() const
    {
        GoalErrorGraphsView *graphs = m_panel->goalGraphsView();
        ErrorContributionGraphView *bars = m_panel->contributionView();
        int bar = -1, plot = -1, history = -1;
        for (int i = 0; i < graphs->goalCount(); ++i) {
            if (bars->bar(i)->isSelected())
                bar = bar < 0 ? i : -2;
            if (graphs->goalGraph(i)->isSelected())
                plot = plot < 0 ? i : -2;
            if (graphs->historyGraph(i)->isHighlighted())
                history = history < 0 ? i : -2;
        }
        return {m_panel->selectedGoal(), bars->selectedBar(), bar, plot, history};
    }
    QStringList barTexts() const
    {
        QStringList texts;
        for (int i = 0; i < m_panel->contributionView()->barCount(); ++i)
            texts << m_panel->contributionView()->bar(i)->valueText();
        return texts;
    }

    IsolatedSettings m_settings;
    OptimHelmdeckControllerState *m_state = nullptr;
    GoalsPanel *m_panel = nullptr;
    std::unique_ptr<OptimizationModelObject> m_model;
};

QTEST_MAIN(TestGoalsPanel)
#include "tst_goalspanel.moc"
