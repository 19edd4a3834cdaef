// The variables panel: its sliders and value fields, tuned values reaching
// variableChanged, the tune button, the history graphs, the shared selection.

#include "graphs/graphwidget.h"
#include "state/helmdecksettings.h"
#include "window/optimhelmdeckdialog.h"
#include "window/tunebutton.h"
#include "window/varhistoryview.h"
#include "window/varsliderview.h"
#include "window/varsliderwidget.h"
#include "window/varspanel.h"
#include "window/vartextview.h"
#include "windowtestsupport.h"

#include "state/optimhelmdeckcontrollerstate.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>

class TestVarsPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        registerOptimHelmdeckTuneMode();
    }
    void init()
    {
        IsolatedSettings::clear();
        m_state = std::make_unique<OptimHelmdeckControllerState>(false, true);
        m_model = makeModel(AlgState(3));
        m_panel = std::make_unique<VarsPanel>(m_state.get());
        m_panel->setModel(m_model.get());
        // Shown and laid out: the views update only rows in sight.
        m_panel->resize(320, 480);
        m_panel->show();
        QCoreApplication::processEvents();
    }
    void cleanup()
    {
        m_panel.reset();
        m_model.reset();
        m_state.reset();
    }
    void slidersForEnabledVariablesOnly()
    {
        VarSliderView *view = m_panel->sliderView();
        QCOMPARE(view->sliders()->count(), 3);
        OptimItemList<OptimVarInput> variables = vars();
        variables[1].setOptimize(false);
        define(variables);
        QCOMPARE(view->sliders()->count(), 2);
        QVERIFY(!view->sliderForVariable(1));
        QCOMPARE(view->sliderForVariable(2)->netlistName(), QStringLiteral("L3.L"));
        for (auto &v : variables)
            v.setOptimizeFlagSet(false);
        define(variables);
        QCOMPARE(view->sliders()->count(), 0);
        QCOMPARE(view->findChild<QStackedWidget *>(QStringLiteral("varSliderStack"))->currentWidget(),
                 view->findChild<QLabel *>(QStringLiteral("noSlidersLabel")));
    }
    void slidersFollowTheModel()
    {
        QCOMPARE(slider(0)->valueText(), m_model->model().variable(0).value());
        setValue(QStringLiteral("L1.L"), QStringLiteral("50"));
        QCOMPARE(slider(0)->value(), 49);
        QCOMPARE(m_panel->sliderView()->sliders()->row(0)->valueLabel()->text(), QStringLiteral("50 nH"));
        setValue(QStringLiteral("L1.L"), QStringLiteral("nonsense"));
        QCOMPARE(slider(0)->value(), 49);
        setValue(QStringLiteral("L1.L"), QStringLiteral("0.1 uH"));
        QCOMPARE(slider(0)->value(), 99);
    }
    void changedDefinitionsRemapTheSlider()
    {
        OptimItemList<OptimVarInput> variables = vars();
        variables[0].setValue(QStringLiteral("1.5"));
        variables[0].setDiscrete(QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0.25"));
        define(variables);
        QVERIFY(slider(0)->mapping().discrete);
        QCOMPARE(slider(0)->maximum(), 4);
        QCOMPARE(slider(0)->mapping().step, -0.25);
        QCOMPARE(slider(0)->value(), 2);
    }
    void variableWithoutBoundsHasDisabledSlider()
    {
        OptimItemList<OptimVarInput> variables = vars();
        variables[2].setUnconstrained(QStringLiteral("12"));
        define(variables);
        m_panel->updateTuning(true);
        QVERIFY(slider(0)->isEnabled() && !slider(2)->isEnabled());
        QVERIFY(m_panel->sliderView()->sliders()->row(2)->nameLabel()->toolTip().contains(QStringLiteral("no range")));
        // Its value can still be typed.
        QVERIFY(!edit(2)->isReadOnly());
    }
    void inputOnlyWhileTuningAndPaused()
    {
        QVERIFY(!m_panel->valuesEditable() && !slider(0)->isEnabled() && edit(0)->isReadOnly());
        QVERIFY(!slider(0)->updatesValue());
        QVERIFY(slider(0)->toolTipText().endsWith(QStringLiteral("<br>Press Start Tuning to move the values.")));
        m_panel->updateTuning(true);
        QVERIFY(m_panel->valuesEditable() && slider(0)->isEnabled() && slider(0)->updatesValue() && !edit(0)->isReadOnly());
        QVERIFY(!slider(0)->toolTipText().contains(QStringLiteral("Start Tuning")));
        m_panel->preventUserInput(true);
        QVERIFY(!slider(0)->isEnabled() && edit(0)->isReadOnly());
        m_panel->preventUserInput(false);
        QVERIFY(slider(0)->isEnabled());
        setStatus(2);   // running again: nothing to tune
        QVERIFY(!m_panel->valuesEditable());
        setStatus(4);
        QVERIFY(m_panel->valuesEditable());
        m_panel->updateTuning(false);
        QVERIFY(!m_panel->valuesEditable());
    }
    void sliderMovesReachVariableChanged()
    {
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        // Not tuning: a move does nothing.
        slider(1)->setValue(0);
        QCOMPARE(changed.count(), 0);
        m_panel->updateTuning(true);
        slider(1)->setValue(99);
        slider(1)->setValue(0);
        slider(0)->setValue(50);   // 1 + 99 * 50 / 99
        QCOMPARE(calls(changed), QStringList({"L2.L=100", "L2.L=1", "L1.L=51"}));
    }
    void sliderDragFollowsTuneMode()
    {
        m_panel->updateTuning(true);
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        for (OptimHelmdeckTuneMode mode : {TuneAfterEachChange, TuneOnRequest, TuneWhileSliderMoves}) {
            changed.clear();
            m_panel->setTuneMode(mode);
            VarSliderWidget *s = slider(0);
            s->setSliderDown(true);
            s->setValue(10);
            s->setValue(20);
            s->setValue(30);
            QCOMPARE(changed.count(), mode == TuneWhileSliderMoves ? 3 : 0);
            s->setSliderDown(false);
            QCOMPARE(changed.count(), mode == TuneWhileSliderMoves ? 3 : 1);
            QCOMPARE(changed.last().at(1).toString(), QStringLiteral("31"));
            s->setValue(0);
        }
    }
    void typedValuesReachVariableChanged()
    {
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        typeValue(1, QStringLiteral("12"));   // not tuning: read-only
        QCOMPARE(changed.count(), 0);
        m_panel->updateTuning(true);
        typeValue(1, QStringLiteral("12"));
        typeValue(2, QStringLiteral("0.02uH"));   // kept as typed, units included
        // The variable's own value again is no change.
        setValue(QStringLiteral("L2.L"), QStringLiteral("12"));
        typeValue(1, QStringLiteral("12"));
        QCOMPARE(calls(changed), QStringList({"L2.L=12", "L3.L=0.02uH"}));
    }
    void listedValuesAreShownAndSentAsPositions()
    {
        OptimItemList<OptimVarInput> variables = vars();
        OptimVarInput &listed = variables[1];
        listed.setUnit(QStringLiteral("H"));
        listed.setValue(QStringLiteral("1"));
        listed.setDiscrete(QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("1"));
        listed.setDesignValues({QStringLiteral("1 nH"), QStringLiteral("8.2 nH"), QStringLiteral("10 nH")});
        define(variables);
        QCOMPARE(edit(1)->text(), QStringLiteral("8.2 nH"));
        m_panel->updateTuning(true);
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        typeValue(1, QStringLiteral("10n"));      // sent as its position
        typeValue(1, QStringLiteral("4.7 nH"));   // not listed: marked, not sent
        QVERIFY(edit(1)->hasProblem());
        QCOMPARE(calls(changed), QStringList{"L2.L=2"});
    }
    void unreadableTypedValueIsMarkedAndNotSent()
    {
        m_panel->updateTuning(true);
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        for (const char *bad : {"abc", "5 pF", "1,5", "1e999"}) {
            typeValue(0, QString::fromLatin1(bad));
            QCOMPARE(edit(0)->text(), QString::fromLatin1(bad));
            QVERIFY(edit(0)->hasProblem() && !edit(0)->toolTip().isEmpty());
        }
        typeValue(0, QStringLiteral("   "));
        QCOMPARE(changed.count(), 0);
        const int position = slider(0)->value();
        QCOMPARE(slider(0)->valueText(), m_model->model().variable(0).value());
        QCOMPARE(slider(0)->value(), position);
        // Fixing it sends the value and clears the mark.
        typeValue(0, QStringLiteral("33"));
        QCOMPARE(changed.count(), 1);
        QVERIFY(!edit(0)->hasProblem());
    }
    void typedTextSurvivesNewIterations()
    {
        // The field being edited holds the keyboard focus; made the active
        // window directly, the panel takes it on any platform.
        m_panel->show();
        QApplication::setActiveWindow(m_panel.get());
        m_panel->updateTuning(true);
        LineEditForTuning *e = edit(0);
        e->setFocus();
        QVERIFY(e->hasFocus());
        e->selectAll();
        QTest::keyClicks(e, QStringLiteral("4"));
        applyState(*m_model, AlgState(3, QStringLiteral("4")));
        settle();
        QCOMPARE(e->text(), QStringLiteral("4"));
        // Once the field is left without a change, it follows the value again.
        e->setText(m_model->model().variable(0).value());
        e->setModified(false);
        setValue(QStringLiteral("L1.L"), QStringLiteral("44"));
        QCOMPARE(e->text(), QStringLiteral("44 nH"));
    }
    void windowForwardsTunedValues()
    {
        OptimHelmdeckDialog window(m_state.get(), QIcon());
        window.setModel(m_model.get());
        window.updateTuning(true);
        QSignalSpy changed(&window, &OptimHelmdeckDialog::variableChanged);
        VarsPanel *panel = window.varsPanel();
        panel->sliderView()->sliderForVariable(0)->setValue(99);
        LineEditForTuning *field = panel->historyView()->row(1)->valueEdit();
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("7.5"));
        QTest::keyClick(field, Qt::Key_Return);
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("seven"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(calls(changed), QStringList({"L1.L=100", "L2.L=7.5"}));
    }
    void tuneButtonFaceFollowsTuning()
    {
        TuneButton *button = m_panel->tuneButton();
        QCOMPARE(button->text(), QStringLiteral("Start &Tuning"));
        QVERIFY(button->isEnabled() && !button->resetAction()->isEnabled());
        QSignalSpy start(m_panel.get(), &VarsPanel::startTuning);
        QSignalSpy stop(m_panel.get(), &VarsPanel::stopTuning);
        QSignalSpy reset(m_panel.get(), &VarsPanel::resetTuning);
        button->click();
        m_panel->updateTuning(true);
        QCOMPARE(button->text(), QStringLiteral("Stop &Tuning"));
        QVERIFY(button->resetAction()->isEnabled());
        button->click();
        button->resetAction()->trigger();
        QCOMPARE(QList<qsizetype>({start.count(), stop.count(), reset.count()}), QList<qsizetype>({1, 1, 1}));
        m_panel->updateTuning(false);
        QCOMPARE(button->text(), QStringLiteral("Start &Tuning"));
        // The menu's modes: a pick is told once; a mode set from outside
        // only moves the check.
        const QList<QAction *> actions = button->menu()->actions();
        QAction *whileMoving = actions.at(2);
        QVERIFY(actions.at(3)->isChecked()); // the default mode
        QSignalSpy modes(m_panel.get(), &VarsPanel::tuneModeChanged);
        whileMoving->trigger();
        whileMoving->trigger();
        QCOMPARE(modes.count(), 1);
        QCOMPARE(modes.at(0).at(0).value<OptimHelmdeckTuneMode>(), TuneWhileSliderMoves);
        QVERIFY(!actions.at(3)->isChecked());
        QCOMPARE(m_panel->sliderView()->tuneMode(), TuneWhileSliderMoves);
        m_panel->setTuneMode(TuneOnRequest);
        QVERIFY(actions.at(4)->isChecked() && !whileMoving->isChecked());
        QCOMPARE(modes.count(), 1);
        QCOMPARE(button->tuneMode(), TuneOnRequest);
    }
    void tuneButtonKeptAcrossIterations()
    {
        // The button's face is set again only when it changes: an iteration
        // neither lays it out nor repaints it.
        m_panel->show();
        QCoreApplication::processEvents();
        PaintCounter painted(m_panel->tuneButton());
        applyState(*m_model, AlgState(2, QStringLiteral("4")));
        QCoreApplication::processEvents();
        QCOMPARE(painted.count, 0);
    }
    void tuneButtonEnabledByStatusAndWaits()
    {
        TuneButton *button = m_panel->tuneButton();
        setStatus(2);
        QVERIFY(button->isEnabled());   // starting pauses first
        m_state->setWaitingFor(OptimHelmdeckControllerState::WaitPause);
        QVERIFY(!button->isEnabled());
        m_state->setWaitingFor(OptimHelmdeckControllerState::WaitSimulate);
        QVERIFY(button->isEnabled());
        m_state->stopWaiting();
        m_panel->preventUserInput(true);
        QVERIFY(!button->isEnabled() && !m_panel->editVariablesButton()->isEnabled());
        m_panel->preventUserInput(false);
        setStatus(1);
        QVERIFY(!button->isEnabled());
        setStatus(4);
        QVERIFY(button->isEnabled());
        m_state->setSimulationFinished();
        QVERIFY(!button->isEnabled());
        // Tuning can always be stopped.
        m_panel->updateTuning(true);
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Stop &Tuning"));
        m_panel->setModel(nullptr);
        QVERIFY(!button->isEnabled());
    }
    void viewOnlyHidesTheButtons()
    {
        OptimHelmdeckControllerState viewOnly(false, false);
        VarsPanel panel(&viewOnly);
        panel.setModel(m_model.get());
        panel.show();
        QVERIFY(!panel.tuneButton()->isVisible() && !panel.editVariablesButton()->isVisible());
        panel.updateTuning(true);
        QVERIFY(!panel.valuesEditable());
    }
    void historySettingsReachGraphs()
    {
        GraphWidget *graph = m_panel->historyView()->row(0)->graph();
        m_state->setNumItersToDisplay(1);
        QCOMPARE(graph->numPointsShown(), 10);
        m_state->setNumItersToDisplay(2);
        QCOMPARE(graph->numPointsShown(), 25);
        m_state->setYAxisAutoscaleUsingAllData(false);
        QVERIFY(!graph->useAllData());
        m_state->setYAxisAutoscaleUsingAllData(true);
        QVERIFY(graph->useAllData());
        // "All iterations" never cuts a history longer than the planned run.
        m_state->setNumItersToDisplay(0);
        QVERIFY(graph->numPointsShown() == 0 || graph->numPointsShown() >= graph->pointCount());
        // A panel made later starts from the state's settings.
        m_state->setNumItersToDisplay(1);
        m_state->setYAxisAutoscaleUsingAllData(false);
        VarsPanel later(m_state.get());
        later.setModel(m_model.get());
        QCOMPARE(later.historyView()->row(1)->graph()->numPointsShown(), 10);
        QVERIFY(!later.historyView()->row(1)->graph()->useAllData());
    }
    void historyTextsWithUnitsAreReadOnce()
    {
        VarHistoryRow *row = m_panel->historyView()->row(0);
        GraphWidget *graph = row->graph();
        const int before = graph->pointCount();
        QCOMPARE(row->parsedCount(), before);
        for (const char *first : {"12 nH", "0.015 uH", "junk"})
            m_model->applyVariableValues({QString::fromLatin1(first), QStringLiteral("1"), QStringLiteral("1")}, OptimizationModelObject::TargetHistory);
        // The graph takes the three new points at once, back in the event loop.
        QCOMPARE(graph->pointCount(), before);
        settle();
        QCOMPARE(graph->pointCount(), before + 3);
        QCOMPARE(graph->valueAt(before), std::optional<double>(12e-9));   // in base units
        QCOMPARE(graph->valueAt(before + 1), std::optional<double>(15e-9));
        QVERIFY(!graph->valueAt(before + 2));   // a gap, not a zero
        QCOMPARE(row->parsedCount(), before + 3);
    }
    void valuesShownInTheirUnits_data()
    {
        QTest::addColumn<QStringList>("given");   // unit, value
        QTest::addColumn<QString>("shown");   // field|unit label|tooltip line
        QTest::newRow("slider text") << QStringList{"F", "4.53535e-12"} << "4.53535 pF||L1: 4.53535 pF";
        QTest::newRow("no unit") << QStringList{"", "2.2e3"} << "2.2 k||L1: 2200";
        QTest::newRow("unreadable") << QStringList{"F", "junk"} << "junk|F|L1: no value";
    }
    void valuesShownInTheirUnits()
    {
        QFETCH(QStringList, given);
        OptimItemList<OptimVarInput> variables = vars();
        variables[0].setUnit(given[0]);
        define(variables);
        m_model->setVariableValue(QStringLiteral("L1.L"), given[1], OptimizationModelObject::TargetInput | OptimizationModelObject::TargetHistory);
        settle();
        VarHistoryRow *row = m_panel->historyView()->row(0);
        QTEST(QStringList({edit(0)->text(), row->findChild<QLabel *>(QStringLiteral("varHistoryUnit"))->text(),
                           row->graph()->toolTipTextAt(row->graph()->plotRect().bottomRight() - QPoint(3, 3)).section(QLatin1Char('\n'), 1)})
                  .join(QLatin1Char('|')), "shown");
    }
    void selectionIsShared()
    {
        VarSliderView *sliders = m_panel->sliderView();
        VarHistoryGraphsView *history = m_panel->historyView();
        QSignalSpy selected(history, &VarHistoryGraphsView::variableSelected);
        Q_EMIT sliders->sliders()->row(1)->activated();
        QCOMPARE(std::pair(sliders->selectedVariable(), history->selectedVariable()), std::pair(1, 1));
        QVERIFY(history->row(1)->graph()->isHighlighted() && !history->row(0)->graph()->isHighlighted());
        QCOMPARE(selected.count(), 0);   // no echo back
        // The text page, shown later, marks the same variable.
        m_panel->viewTabs()->setCurrentWidget(m_panel->textView());
        QCOMPARE(m_panel->textView()->table()->currentRow(), 1);
        Q_EMIT edit(2)->gotFocus();
        QCOMPARE(QList<int>({history->selectedVariable(), sliders->selectedVariable(), sliders->sliders()->selectedIndex()}), QList<int>({2, 2, 2}));
        QCOMPARE(selected.count(), 1);
        QTest::mouseClick(history->row(0)->graph(), Qt::LeftButton);
        QCOMPARE(sliders->selectedVariable(), 0);
    }
    void rightClickOnGraphIsForwarded()
    {
        QSignalSpy clicks(m_panel.get(), &VarsPanel::historyGraphRightMouseClick);
        GraphWidget *graph = m_panel->historyView()->row(2)->graph();
        QTest::mousePress(graph, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toPoint(), graph->mapToGlobal(QPoint(10, 10)));
    }
    void textViewListsVariables()
    {
        VarTextView *text = m_panel->textView();
        m_panel->viewTabs()->setCurrentWidget(text);
        QTableWidget *table = text->table();
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("L1"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("1 nH to 100 nH"));
        setValue(QStringLiteral("L2.L"), QStringLiteral("2.5"));
        QCOMPARE(table->item(1, 1)->text(), QStringLiteral("2.5 nH"));
        QVERIFY(!text->showsEmptyText() && VarsPanel(m_state.get()).textView()->showsEmptyText());
    }
    void textViewRowsOutOfSightCatchUp()
    {
        // A row out of sight is only marked; scrolling to it rewrites it.
        VarTextView *text = m_panel->textView();
        m_panel->viewTabs()->setCurrentWidget(text);
        QTableWidget *table = text->table();
        table->setFixedHeight(table->horizontalHeader()->height() + table->rowHeight(0) + 2 * table->frameWidth());
        QCoreApplication::processEvents();
        const QString before = table->item(2, 1)->text();
        setValue(QStringLiteral("L3.L"), QStringLiteral("7.5"));
        QCOMPARE(table->item(2, 1)->text(), before);
        table->scrollToBottom();
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("7.5 nH"));
    }
    void splitterSizesPersist()
    {
        m_panel->resize(300, 600);
        m_panel->show();
        m_panel->splitter()->setSizes({100, 400});
        m_panel->saveSettings(*std::make_unique<HelmdeckSettings>());
        QVERIFY(!HelmdeckSettings().value(QStringLiteral("VarPanel/splitter1Sizes")).toByteArray().isEmpty());
        VarsPanel again(m_state.get());
        again.resize(300, 600);
        again.show();
        again.restoreSettings(*std::make_unique<HelmdeckSettings>());
        QCOMPARE(again.splitter()->saveState(), m_panel->splitter()->saveState());
    }
    void editVariablesUsesTheEditorHook()
    {
        QPushButton *button = m_panel->editVariablesButton();
        QVERIFY(!button->isEnabled());   // no editor plugged in
        int runs = 0;
        OptimHelmdeckEditorHooks hooks;
        hooks.editVariables = [&runs](const OptimizationModel &model, QWidget *,
                                      const std::function<void(const OptimItemList<OptimVarInput> &)> &edited,
                                      const std::function<void(const QString &)> &help) {
            ++runs;
            OptimItemList<OptimVarInput> variables = model.input().variables();
            variables[0].setValue(QStringLiteral("77"));
            edited(variables);   // Apply
            help(QStringLiteral("OPTIM_HELMDECK_EDIT_VARIABLES"));
            edited(variables);   // OK
        };
        m_panel->setEditorHooks(hooks);
        m_panel->updateButtons();
        QVERIFY(button->isEnabled());
        QSignalSpy definitions(m_panel.get(), &VarsPanel::variableDefinitionsChanged);
        QSignalSpy help(m_panel.get(), &PanelView::helpRequested);
        button->click();
        QCOMPARE(runs, 1);
        QCOMPARE(definitions.count(), 2);
        QCOMPARE(definitions.at(0).at(0).value<OptimItemList<OptimVarInput>>().at(0).value(), QStringLiteral("77"));
        QCOMPARE(calls(help), QStringList{"OPTIM_HELMDECK_EDIT_VARIABLES"});
        QVERIFY(button->isEnabled());
        setStatus(2);
        QVERIFY(!button->isEnabled());
    }
    void manyChangesUpdateEachVariableOnce()
    {
        m_panel->viewTabs()->setCurrentWidget(m_panel->textView());
        QSignalSpy display(slider(0), &VarSliderWidget::displayChanged);
        VarHistoryRow *row = m_panel->historyView()->row(0);
        const int before = row->graph()->pointCount();
        for (int i = 0; i < 50; ++i)
            m_model->setVariableValue(QStringLiteral("L1.L"), QString::number(20 + i),
                                      OptimizationModelObject::TargetInput | OptimizationModelObject::TargetHistory);
        QCOMPARE(display.count(), 0);
        settle();
        QCOMPARE(display.count(), 1);
        QCOMPARE(m_panel->textView()->table()->item(0, 1)->text(), QStringLiteral("69 nH"));
        m_panel->viewTabs()->setCurrentWidget(m_panel->historyView());
        QCOMPARE(QStringList({slider(0)->valueText(), row->valueEdit()->text()}), QStringList({"69", "69 nH"}));
        QCOMPARE(row->graph()->pointCount(), before + 50);
        QCOMPARE(row->graph()->valueAt(before + 49), std::optional<double>(69e-9));
    }

    void iterationUpdatesEveryVariableView()
    {
        m_panel->viewTabs()->setCurrentWidget(m_panel->textView());
        VarHistoryRow *row = m_panel->historyView()->row(2);
        const int before = row->graph()->pointCount();
        applyState(*m_model, AlgState(3, QStringLiteral("4")));
        settle();
        QCOMPARE(QStringList({slider(2)->valueText(), m_panel->textView()->table()->item(2, 1)->text()}),
                 QStringList({"12.04", "12.04 nH"}));
        m_panel->viewTabs()->setCurrentWidget(m_panel->historyView());
        QCOMPARE(row->valueEdit()->text(), QStringLiteral("12.04 nH"));
        QCOMPARE(row->graph()->pointCount(), before + 1);
    }

    void rowsOutOfSightCatchUpWhenSeen()
    {
        // Rows are made as they come into sight, from the variable as it is
        // then; a made row scrolled away catches up when seen again.
        addVariablesUpTo(40);
        VarRowColumn *column = m_panel->findChild<VarRowColumn *>(QStringLiteral("varHistoryRows"));
        QVERIFY(column->madeRow(0) && !column->madeRow(39) && !m_panel->sliderView()->sliders()->madeRow(39));
        const int last = column->indicesInSight().second;
        m_panel->resize(320, 960);   // the viewport grows, the column keeps its height
        QCoreApplication::processEvents();
        QVERIFY(column->indicesInSight().second > last && column->madeRow(column->indicesInSight().second));
        setValue(QStringLiteral("L40.L"), QStringLiteral("42"));
        scrollTo(true);
        QCOMPARE(QStringList({slider(39)->valueText(), edit(39)->text()}), QStringList({"42", "42 nH"}));
        setValue(QStringLiteral("L1.L"), QStringLiteral("44"));
        QVERIFY(edit(0)->text() != QStringLiteral("44 nH"));   // out of sight, not yet written
        scrollTo(false);
        QCOMPARE(edit(0)->text(), QStringLiteral("44 nH"));
        // A value that arrives while another page is on view shows with the page.
        m_panel->viewTabs()->setCurrentWidget(m_panel->textView());
        setValue(QStringLiteral("L1.L"), QStringLiteral("43"));
        m_panel->viewTabs()->setCurrentWidget(m_panel->historyView());
        QCOMPARE(edit(0)->text(), QStringLiteral("43 nH"));
    }
    void escapeInFieldPutsBackTheValue()
    {
        m_panel->updateTuning(true);
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        LineEditForTuning *e = edit(1);
        const QString shown = e->text();
        typeValue(1, QStringLiteral("abc"));   // refused: marked
        QVERIFY(e->hasProblem());
        QTest::keyClicks(e, QStringLiteral("12"));
        QTest::keyClick(e, Qt::Key_Escape);
        QCOMPARE(e->text(), shown);
        QVERIFY(!e->hasProblem() && !e->isModified());
        QTest::keyClick(e, Qt::Key_Return);
        QCOMPARE(changed.count(), 0);
    }
    void staleRowsTakeTheValueBeforeInput()
    {
        // A focused slider and a field scrolled out of sight miss a new
        // value (a reset, say); a key on them acts on the value the variable
        // has, not on the one they missed.
        addVariablesUpTo(40);
        m_panel->updateTuning(true);
        scrollTo(true);
        setValue(QStringLiteral("L1.L"), QStringLiteral("42"));
        QVERIFY(slider(0)->valueText() != QStringLiteral("42"));   // out of sight, not yet written
        QSignalSpy changed(m_panel.get(), &VarsPanel::variableChanged);
        QTest::keyClick(slider(0), Qt::Key_Right);
        const QString oneStepUp = slider(0)->valueTextAt(slider(0)->mapping().positionOf(42) + 1);
        QCOMPARE(calls(changed), QStringList{QStringLiteral("L1.L=") + oneStepUp});
        QTest::keyClick(edit(0), Qt::Key_Return);
        QCOMPARE(edit(0)->text(), QStringLiteral("42 nH"));
        QCOMPARE(changed.count(), 1);
    }

    void rowsFarOutOfSightGo()
    {
        // Past keptRows made rows, the rows far out of sight go and come
        // back made from the model; a field holding refused text stays.
        addVariablesUpTo(VarRowColumn::keptRows + 60);
        m_panel->updateTuning(true);
        typeValue(1, QStringLiteral("abc"));
        const QPointer<VarHistoryRow> typed = m_panel->historyView()->row(1);
        QScrollBar *bar = m_panel->findChild<QScrollArea *>(QStringLiteral("varHistoryScroll"))->verticalScrollBar();
        for (int v = 0; v < bar->maximum(); v += bar->pageStep())
            bar->setValue(v);
        bar->setValue(bar->maximum());
        VarRowColumn *column = m_panel->findChild<VarRowColumn *>(QStringLiteral("varHistoryRows"));
        QVERIFY(!column->madeRow(5) && column->madeRow(1) == typed && int(column->madeRows().size()) < column->count());
        setValue(QStringLiteral("L6.L"), QStringLiteral("44"));
        bar->setValue(0);
        QCOMPARE(QStringList({edit(5)->text(), edit(1)->text()}), QStringList({"44 nH", "abc"}));
    }
    void tabWalksTheRowsInOrder()
    {
        addVariablesUpTo(40);
        m_panel->updateTuning(true);
        m_panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
        VarSlidersWidget *column = m_panel->sliderView()->sliders();
        const int last = column->indicesInSight().second;
        QVERIFY(last < 39 && !column->madeRow(last + 1));
        slider(last)->setFocus();
        QTest::keyClick(slider(last), Qt::Key_Tab);   // the next row is made and scrolled into sight
        QCOMPARE(QApplication::focusWidget(), column->madeRow(last + 1)->slider());
        QVERIFY(column->indicesInSight().second > last);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), slider(last));
    }

private:
    void scrollTo(bool end)
    {
        for (QScrollArea *scroll : m_panel->findChildren<QScrollArea *>())
            scroll->verticalScrollBar()->setValue(end ? scroll->verticalScrollBar()->maximum() : 0);
    }
    void addVariablesUpTo(int last)
    {
        for (int k = int(vars().size()) + 1; k <= last; ++k) {
            OptimVarInput variable = vars().at(0);
            variable.setNetlistName(QStringLiteral("L%1.L").arg(k));
            m_model->appendVariable(variable);
        }
        for (int pass = 0; pass < 4; ++pass)   // the nested layouts settle
            QCoreApplication::processEvents();
    }
    VarSliderWidget *slider(int varIndex) const { return m_panel->sliderView()->sliderForVariable(varIndex); }
    LineEditForTuning *edit(int varIndex) const { return m_panel->historyView()->row(varIndex)->valueEdit(); }
    void setStatus(int status) { m_model->setStatus(status); }
    OptimItemList<OptimVarInput> vars() const { return m_model->model().input().variables(); }
    // Lets the views take the model's changes (once per visit of the event loop).
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); }
    void define(const OptimItemList<OptimVarInput> &variables)
    {
        OptimIterVariableDefinitions definitions;
        definitions.variables() = variables;
        m_model->setVariableDefinitions(definitions);
        settle();
    }
    void setValue(const QString &name, const QString &value)
    {
        m_model->setVariableValue(name, value, OptimizationModelObject::TargetInput);
        settle();
    }
    void typeValue(int varIndex, const QString &text)
    {
        LineEditForTuning *e = edit(varIndex);
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }

    IsolatedSettings m_settings;
    std::unique_ptr<OptimHelmdeckControllerState> m_state;
    std::unique_ptr<OptimizationModelObject> m_model;
    std::unique_ptr<VarsPanel> m_panel;
};

QTEST_MAIN(TestVarsPanel)
#include "tst_varspanel.moc"
