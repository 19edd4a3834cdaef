// The window's dialogs: the wait box, update design, continue optimization,
// the question with options, the options dialog and the history-graph menu
// with the settings they keep.

#include "state/optimhelmdeckcontrollerstate.h"
#include "state/optimhelmdecktunemode.h"
#include "window/continueoptimizationquery.h"
#include "window/helmdeckoptionsdialog.h"
#include "window/historygraphmenu.h"
#include "window/optionsdialog.h"
#include "window/tempmessagebox.h"
#include "window/updateitemsdialog.h"
#include "windowtestsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

QPushButton *button(QWidget *parent, const char *name) { return parent->findChild<QPushButton *>(QString::fromLatin1(name)); }
QAbstractButton *child(QWidget *parent, const char *name) { return parent->findChild<QAbstractButton *>(QString::fromLatin1(name)); }
// True when none of the object's timers runs: nothing is scheduled to happen to it.
bool timersIdle(const QObject &object)
{
    const QList<QTimer *> timers = object.findChildren<QTimer *>();
    return std::none_of(timers.begin(), timers.end(), [](const QTimer *t) { return t->isActive(); });
}

} // namespace

class TestWindowDialogs : public QObject
{
    Q_OBJECT

    IsolatedSettings m_settings;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        registerOptimHelmdeckTuneMode();
    }
    void init() { IsolatedSettings::clear(); }

    void waitBoxShowsLateAndStaysAWhile()
    {
        QWidget parent;
        parent.show();
        {
            // The wait ended before the show delay: nothing ever shows.
            TempMessageBox box(&parent, QStringLiteral("Optimization Helmdeck"), 100, 0, 0);
            box.showMessage();
            QVERIFY(!box.isVisible());
            box.hideMessage();
            QVERIFY(!box.isVisible());
            QVERIFY(timersIdle(box));  // nothing left that could show it later
        }
        TempMessageBox box(&parent, QStringLiteral("Optimization Helmdeck"), 0, 400, 0);
        box.setMessage(QStringLiteral("Waiting for the simulator to pause."));
        QCOMPARE(box.windowModality(), Qt::WindowModal);
        QElapsedTimer shown;  // started before the box's own, so never shorter
        shown.start();
        box.showMessage();
        QTRY_VERIFY(box.isVisible());
        QCOMPARE(box.findChild<QLabel *>(QStringLiteral("tempMessageLabel"))->text(), box.message());
        // Shown once, it stays for its minimum time, also when asked to go.
        box.hideMessage();
        QVERIFY(box.isVisible());
        // A new wait before it went keeps it: nothing is left to hide it.
        box.showMessage();
        QVERIFY(box.isVisible());
        QVERIFY(timersIdle(box));
        box.hideMessage();
        QTRY_VERIFY(!box.isVisible());
        QVERIFY(shown.elapsed() >= 380);  // a coarse timer may fire up to 5 % early
        TempMessageBox timed(&parent, QStringLiteral("Optimization Helmdeck"), 0, 0, 150);
        QSignalSpy timedOut(&timed, &TempMessageBox::messageTimedOut);
        timed.showMessage();
        QTRY_COMPARE(timedOut.count(), 1);
        QVERIFY(!timed.isVisible());
    }

    void updateItemsNeedsOneCheckAndRemembersOnAccept()
    {
        {
            UpdateItemsDialog dialog;
            QPushButton *ok = button(&dialog, "okButton");
            QVERIFY(dialog.updateAlgorithm() && dialog.updateGoals() && dialog.updateVariables() && ok->isEnabled());
            dialog.open();
            for (const char *name : {"algorithmCheck", "goalsCheck", "variablesCheck"})
                child(&dialog, name)->click();
            QVERIFY(!ok->isEnabled());
            // Enter presses the default button; nothing may get past the rule.
            QMetaObject::invokeMethod(&dialog, "handleAccept");
            QVERIFY(dialog.isVisible());
            child(&dialog, "goalsCheck")->click();
            QTest::mouseClick(ok, Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.updateAlgorithm() && dialog.updateGoals() && !dialog.updateVariables());
        }
        QVERIFY(!HelmdeckSettings().value(QStringLiteral("UpdateItems/algorithm")).toBool() && HelmdeckSettings().value(QStringLiteral("UpdateItems/goals")).toBool());
        {
            // The dialog names the optimization whose results it writes.
            UpdateItemsDialog cancelled(nullptr, QStringLiteral("\"Parasitic\" (1 pF)"));
            QCOMPARE(cancelled.findChild<QLabel *>(QStringLiteral("updateOptimizationLabel"))->text(),
                     QStringLiteral("Writes the results of the optimization \"Parasitic\" (1 pF)."));
            QVERIFY(!cancelled.updateAlgorithm() && cancelled.updateGoals() && !cancelled.updateVariables());
            cancelled.open();
            child(&cancelled, "variablesCheck")->click();
            QTest::mouseClick(button(&cancelled, "cancelButton"), Qt::LeftButton);
            QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        }
        QCOMPARE(HelmdeckSettings().value(QStringLiteral("UpdateItems/variables")).toBool(), false);
    }

    void continueQueryCannotContinue_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("exited") << 5 << "The optimization has completed.\n\nIt cannot be continued.";
        QTest::newRow("error") << 6 << "The optimization has exited with an error.\n\nIt cannot be continued.";
        QTest::newRow("killed") << 7 << "The optimization has been killed.\n\nIt cannot be continued.";
    }
    void continueQueryCannotContinue()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        auto model = makeModel(AlgState(status, QStringLiteral("100")));
        ContinueOptimizationQuery query(nullptr, model.get());
        QCOMPARE(query.kind(), ContinueOptimizationQuery::CannotContinue);
        QCOMPARE(query.text(), text);
        QVERIFY(!query.findChild<QSpinBox *>());
        QVERIFY(!button(&query, "continueButton"));
        query.open();
        QTest::mouseClick(button(&query, "okButton"), Qt::LeftButton);
        QCOMPARE(query.result(), int(QDialog::Rejected));
    }

    void continueQueryLimitReached_data()
    {
        QTest::addColumn<QString>("iterations");
        QTest::addColumn<QString>("limit");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("value");
        QTest::newRow("500") << "500" << "500" << 500 << 10 << 1000;
        QTest::newRow("50") << "50" << "50" << 50 << 5 << 100;
        QTest::newRow("0") << "0" << "0" << 0 << 5 << 5;
        QTest::newRow("80000") << "80000" << "80000" << 80000 << 100 << 100000;
        // No readable limit: the finished run counts as at its limit, and
        // the unreadable count offers the steps and start of 100.
        QTest::newRow("unreadable") << "n/a" << "unlimited" << 100 << 10 << 200;
    }
    void continueQueryLimitReached()
    {
        QFETCH(QString, iterations);
        QFETCH(QString, limit);
        QFETCH(int, minimum);
        QFETCH(int, step);
        QFETCH(int, value);
        auto model = makeModel(AlgState(4, iterations, iterations == limit ? limit : QString()), 2, limit);
        ContinueOptimizationQuery query(nullptr, model.get());
        QCOMPARE(query.kind(), ContinueOptimizationQuery::LimitReached);
        QCOMPARE(query.text(), QStringLiteral("The maximum number of iterations (") + limit
                                   + QStringLiteral(") has been reached.\nWould you like to continue the optimization with"));
        auto *spin = query.findChild<QSpinBox *>(QStringLiteral("maxIterationsSpin"));
        QCOMPARE((QList<int>{spin->minimum(), spin->maximum(), spin->singleStep(), spin->value(), query.maximumIterations()}),
                 (QList<int>{minimum, 100000, step, value, value}));
        query.open();
        spin->setValue(minimum + 7);
        QTest::mouseClick(button(&query, "continueButton"), Qt::LeftButton);
        QCOMPARE(query.result(), int(QDialog::Accepted));
        QCOMPARE(query.maximumIterations(), minimum + 7);
    }

    void continueQueryAsksNothing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("algorithmType");
        QTest::addColumn<QString>("iterations");
        QTest::newRow("finished below limit") << 4 << 2 << "40";
        QTest::newRow("discrete at limit") << 4 << 10 << "100";
        QTest::newRow("paused at limit") << 3 << 2 << "100";
        QTest::newRow("running") << 2 << 2 << "100";
    }
    void continueQueryAsksNothing()
    {
        QFETCH(int, status);
        QFETCH(int, algorithmType);
        QFETCH(QString, iterations);
        auto model = makeModel(AlgState(status, iterations), algorithmType);
        QCOMPARE(ContinueOptimizationQuery::queryKind(model->model()), ContinueOptimizationQuery::NoQuestion);
        ContinueOptimizationQuery query(nullptr, model.get());
        QCOMPARE(query.kind(), ContinueOptimizationQuery::NoQuestion);
        QCOMPARE(query.maximumIterations(), 0);
        QCOMPARE(ContinueOptimizationQuery(nullptr, nullptr).kind(), ContinueOptimizationQuery::NoQuestion);
    }

    void optionsAnswerIsButtonIndex()
    {
        OptionsDialog dialog(nullptr, true);
        QCOMPARE(dialog.addOption(QStringLiteral("Stop the Simulation\n&&\nClose the Optimization Helmdeck")), 0);
        QCOMPARE(dialog.addOption(QStringLiteral("Continue the Simulation")), 1);
        dialog.setDefaultOption(1);
        QCOMPARE(dialog.chosenOption(), 1);
        QVERIFY(button(&dialog, "option1")->isDefault() && !button(&dialog, "option0")->isDefault());
        dialog.open();
        QTest::mouseClick(button(&dialog, "option0"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenOption(), 0);
        // Cancel and Escape (also without a Cancel button) are no answer.
        for (bool withCancel : {true, false}) {
            OptionsDialog question(nullptr, withCancel);
            question.addOption(QStringLiteral("Update the Design"));
            question.setDefaultOption(0);
            QCOMPARE(button(&question, "cancelButton") != nullptr, withCancel);
            question.open();
            if (withCancel)
                QTest::mouseClick(button(&question, "cancelButton"), Qt::LeftButton);
            else
                QTest::keyClick(&question, Qt::Key_Escape);
            QCOMPARE(question.result(), int(QDialog::Rejected));
            QCOMPARE(question.chosenOption(), -1);
        }
    }

    void optionSettersAndClicks()
    {
        HelmdeckOptionsDialog dialog;
        dialog.setTuneMode(TuneOnRequest);
        dialog.setIterationsToDisplay(2);
        dialog.setYAxisAutoscaleUsingAllData(false);
        dialog.setGoalXAxisScaling(0);
        for (const char *name : {"tuneOnRequestRadio", "lastTwentyFiveRadio", "visibleDataRadio", "fitLimitLinesRadio"})
            QVERIFY2(child(&dialog, name)->isChecked(), name);
        // Values outside the choices are ignored.
        dialog.setIterationsToDisplay(5);
        QCOMPARE(dialog.iterationsToDisplay(), 2);
        dialog.setTuneMode(static_cast<OptimHelmdeckTuneMode>(7));
        QCOMPARE(dialog.tuneMode(), TuneOnRequest);
        QCOMPARE(optimHelmdeckTuneModeFromInt(-1), TuneAfterEachChange);
        QCOMPARE(optimHelmdeckTuneModeFromInt(2), TuneOnRequest);
        dialog.setGoalXAxisScaling(-1);
        QCOMPARE(dialog.goalXAxisScaling(), 0);
        for (const char *name : {"tuneWhileSliderMovesRadio", "lastTenRadio", "allDataRadio", "fitTraceRadio"})
            child(&dialog, name)->click();
        QCOMPARE((QList<int>{dialog.tuneMode(), dialog.iterationsToDisplay(), dialog.yAxisAutoscaleUsingAllData(), dialog.goalXAxisScaling()}),
                 (QList<int>{TuneWhileSliderMoves, 1, true, 1}));
        QSignalSpy help(&dialog, &HelmdeckOptionsDialog::helpRequested);
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Help)->click();
        QCOMPARE(QList<QVariantList>(help), (QList<QVariantList>{{QStringLiteral("OPTIM_HELMDECK_OPTIONS")}}));
    }

    void menuFollowsAndSetsTheState()
    {
        {
            OptimHelmdeckControllerState state(false, true);
            HistoryGraphMenu menu(&state);
            QVERIFY(menu.allIterationsAction()->isChecked() && menu.allDataAction()->isChecked());
            state.setNumItersToDisplay(1);
            state.setYAxisAutoscaleUsingAllData(false);
            menu.refresh();
            QVERIFY(menu.lastTenAction()->isChecked() && !menu.allIterationsAction()->isChecked());
            QVERIFY(menu.visibleDataAction()->isChecked() && !menu.allDataAction()->isChecked());
            QSignalSpy shown(&state, &OptimHelmdeckControllerState::numIterationsToDisplayChanged);
            QSignalSpy scaled(&state, &OptimHelmdeckControllerState::yAutoScaleUsingAllDataChanged);
            menu.popupAt(QPoint(20, 20));
            menu.lastTwentyFiveAction()->trigger();
            QCOMPARE(state.numItersToDisplay(), 2);
            QCOMPARE(QList<QVariantList>(shown), (QList<QVariantList>{{25}}));
            menu.hide();
            menu.popupAt(QPoint(20, 20)); // opened again: the pick shows checked
            QVERIFY(menu.lastTwentyFiveAction()->isChecked() && !menu.lastTenAction()->isChecked());
            menu.lastTenAction()->trigger();
            QCOMPARE(shown.last().at(0).toInt(), 10);
            menu.hide();
            menu.allDataAction()->trigger();
            QVERIFY(state.yAxisAutoscaleUsingAllData());
            QCOMPARE(scaled.count(), 1);
            QCOMPARE(state.numItersToDisplay(), 1); // the other group is untouched
            menu.visibleDataAction()->trigger();
        }
        QCOMPARE(HelmdeckSettings().value(QStringLiteral("numItersToDisplay")).toInt(), 1);
        QCOMPARE(HelmdeckSettings().value(QStringLiteral("yAxisAutoscaleUsingAllData")).toBool(), false);
        OptimHelmdeckControllerState again(false, true);
        HistoryGraphMenu later(&again);
        QVERIFY(later.lastTenAction()->isChecked() && later.visibleDataAction()->isChecked());
    }
};

QTEST_MAIN(TestWindowDialogs)
#include "tst_windowdialogs.moc"
