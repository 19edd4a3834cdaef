// The options dialog (radio ids, setters and getters, help, OK and Cancel)
// and the history-graph menu (checks after a change, the state's settings
// and their persistence).

#include "window/helmdeckoptionsdialog.h"
#include "window/historygraphmenu.h"
#include "windowtestsupport.h"

#include "controller/optimhelmdeckcontrollerstate.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

class TestHelmdeckOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void dialogLayout();
    void radioIdsAreOptionValues_data();
    void radioIdsAreOptionValues();
    void settersCheckTheRadioWithThatId();
    void goalScalingZeroChecksSecondRadio();
    void outOfRangeValuesAreIgnored();
    void clicksStoreTheIds();
    void helpRequestsOptionsTopic();
    void okAcceptsCancelRejects();

    void menuActions();
    void menuChecksFollowTheState();
    void menuPickSetsTheStateAndShowsChecked();
    void menuYAxisPicks();
    void menuPicksPersist();

private:
    IsolatedSettings m_settings;
};

namespace {

QStringList radioTexts(QButtonGroup *group)
{
    QStringList texts;
    for (QAbstractButton *b : group->buttons())
        texts << QStringLiteral("%1=%2").arg(b->text()).arg(group->id(b));
    return texts;
}

QAbstractButton *radio(QWidget *dialog, const char *name)
{
    return dialog->findChild<QRadioButton *>(QString::fromLatin1(name));
}

} // namespace

void TestHelmdeckOptions::initTestCase()
{
    QVERIFY(m_settings.isValid());
    registerOptimHelmdeckTuneMode();
}

void TestHelmdeckOptions::init()
{
    IsolatedSettings::clear();
}

void TestHelmdeckOptions::dialogLayout()
{
    HelmdeckOptionsDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Helmdeck Options"));
    const QList<QGroupBox *> boxes = dialog.findChildren<QGroupBox *>();
    QStringList titles;
    for (QGroupBox *box : boxes)
        titles << box->title();
    QCOMPARE(titles, (QStringList{"Tuning", "History graphs", "Goal plots"}));
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    QVERIFY(buttons->button(QDialogButtonBox::Ok));
    QVERIFY(buttons->button(QDialogButtonBox::Cancel));
    QVERIFY(buttons->button(QDialogButtonBox::Help));
    for (QRadioButton *r : dialog.findChildren<QRadioButton *>())
        QVERIFY(!r->objectName().isEmpty());
}

void TestHelmdeckOptions::radioIdsAreOptionValues_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("radios");
    QTest::newRow("tuning") << "tuningGroup"
                            << QStringList{"Simulate while slider moves=0", "Simulate after each change=1",
                                           "Simulate after pressing Simulate=2"};
    QTest::newRow("history x-axis") << "xAxisGroup"
                                    << QStringList{"Display the last 10 iterations=1", "Display the last 25 iterations=2",
                                                   "Display all iterations=0"};
    QTest::newRow("history y-axis") << "yAxisGroup"
                                    << QStringList{"Auto-scale using visible data=0", "Auto-scale using all data=1"};
    QTest::newRow("goal x-axis") << "goalXAxisGroup"
                                 << QStringList{"Fit to trace=1", "Fit to limit lines=0", "Fit to trace and limit lines=2"};
}

void TestHelmdeckOptions::radioIdsAreOptionValues()
{
    QFETCH(QString, group);
    QFETCH(QStringList, radios);
    HelmdeckOptionsDialog dialog;
    auto *buttonGroup = dialog.findChild<QButtonGroup *>(group);
    QVERIFY(buttonGroup);
    QVERIFY(buttonGroup->exclusive());
    QCOMPARE(radioTexts(buttonGroup), radios);
}

void TestHelmdeckOptions::settersCheckTheRadioWithThatId()
{
    HelmdeckOptionsDialog dialog;
    dialog.setTuneMode(TuneOnRequest);
    dialog.setIterationsToDisplay(2);
    dialog.setYAxisAutoscaleUsingAllData(false);
    dialog.setGoalXAxisScaling(1);
    QCOMPARE(dialog.tuningGroup()->checkedId(), 2);
    QVERIFY(radio(&dialog, "tuneOnRequestRadio")->isChecked());
    QCOMPARE(dialog.xAxisGroup()->checkedButton()->text(), QStringLiteral("Display the last 25 iterations"));
    QCOMPARE(dialog.yAxisGroup()->checkedButton()->text(), QStringLiteral("Auto-scale using visible data"));
    QCOMPARE(dialog.goalXAxisGroup()->checkedButton()->text(), QStringLiteral("Fit to trace"));
    QCOMPARE(dialog.tuneMode(), TuneOnRequest);
    QCOMPARE(dialog.iterationsToDisplay(), 2);
    QVERIFY(!dialog.yAxisAutoscaleUsingAllData());
    QCOMPARE(dialog.goalXAxisScaling(), 1);

    dialog.setIterationsToDisplay(0);
    QCOMPARE(dialog.xAxisGroup()->checkedButton()->text(), QStringLiteral("Display all iterations"));
    dialog.setYAxisAutoscaleUsingAllData(true);
    QCOMPARE(dialog.yAxisGroup()->checkedId(), 1);
}

void TestHelmdeckOptions::goalScalingZeroChecksSecondRadio()
{
    HelmdeckOptionsDialog dialog;
    dialog.setGoalXAxisScaling(0);
    const QList<QAbstractButton *> radios = dialog.goalXAxisGroup()->buttons();
    QVERIFY(radios.at(1)->isChecked());
    QCOMPARE(radios.at(1)->text(), QStringLiteral("Fit to limit lines"));
    QVERIFY(!radios.at(0)->isChecked());
    QVERIFY(!radios.at(2)->isChecked());
}

void TestHelmdeckOptions::outOfRangeValuesAreIgnored()
{
    HelmdeckOptionsDialog dialog;
    dialog.setIterationsToDisplay(1);
    dialog.setIterationsToDisplay(5);
    QCOMPARE(dialog.iterationsToDisplay(), 1);
    QCOMPARE(dialog.xAxisGroup()->checkedId(), 1);
    dialog.setGoalXAxisScaling(-1);
    QCOMPARE(dialog.goalXAxisScaling(), 2);
    dialog.setTuneMode(static_cast<OptimHelmdeckTuneMode>(7));
    QCOMPARE(dialog.tuneMode(), TuneAfterEachChange);
}

void TestHelmdeckOptions::clicksStoreTheIds()
{
    HelmdeckOptionsDialog dialog;
    dialog.setTuneMode(TuneAfterEachChange);
    dialog.setIterationsToDisplay(0);
    dialog.setYAxisAutoscaleUsingAllData(true);
    dialog.setGoalXAxisScaling(2);
    radio(&dialog, "tuneWhileSliderMovesRadio")->click();
    radio(&dialog, "lastTenRadio")->click();
    radio(&dialog, "visibleDataRadio")->click();
    radio(&dialog, "fitLimitLinesRadio")->click();
    QCOMPARE(dialog.tuneMode(), TuneWhileSliderMoves);
    QCOMPARE(dialog.iterationsToDisplay(), 1);
    QVERIFY(!dialog.yAxisAutoscaleUsingAllData());
    QCOMPARE(dialog.goalXAxisScaling(), 0);
    radio(&dialog, "allDataRadio")->click();
    QVERIFY(dialog.yAxisAutoscaleUsingAllData());
    radio(&dialog, "lastTwentyFiveRadio")->click();
    QCOMPARE(dialog.iterationsToDisplay(), 2);
}

void TestHelmdeckOptions::helpRequestsOptionsTopic()
{
    HelmdeckOptionsDialog dialog;
    QSignalSpy help(&dialog, &HelmdeckOptionsDialog::helpRequested);
    dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Help)->click();
    QCOMPARE(help.count(), 1);
    QCOMPARE(help.at(0).at(0).toString(), QStringLiteral("OPTIM_HELMDECK_OPTIONS"));
    QVERIFY(!dialog.isVisible() || dialog.result() == 0);
}

void TestHelmdeckOptions::okAcceptsCancelRejects()
{
    {
        HelmdeckOptionsDialog dialog;
        dialog.show();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    {
        HelmdeckOptionsDialog dialog;
        dialog.show();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
}

void TestHelmdeckOptions::menuActions()
{
    OptimHelmdeckControllerState state(false, true);
    HistoryGraphMenu menu(&state);
    QStringList texts;
    for (QAction *a : menu.actions()) {
        if (a->isSeparator())
            continue;
        QVERIFY(a->isCheckable());
        QVERIFY(a->actionGroup() && a->actionGroup()->isExclusive());
        texts << a->text();
    }
    QCOMPARE(texts, (QStringList{"Display the last 10 iterations", "Display the last 25 iterations", "Display all iterations",
                                 "Y-axis: Auto-scale to visible data", "Y-axis: Auto-scale to all data"}));
    QVERIFY(menu.lastTenAction()->actionGroup() != menu.allDataAction()->actionGroup());
}

void TestHelmdeckOptions::menuChecksFollowTheState()
{
    OptimHelmdeckControllerState state(false, true);
    HistoryGraphMenu menu(&state);
    QVERIFY(menu.allIterationsAction()->isChecked());
    QVERIFY(menu.allDataAction()->isChecked());
    state.setNumItersToDisplay(1);
    state.setYAxisAutoscaleUsingAllData(false);
    menu.refresh();
    QVERIFY(menu.lastTenAction()->isChecked());
    QVERIFY(!menu.allIterationsAction()->isChecked());
    QVERIFY(menu.visibleDataAction()->isChecked());
    QVERIFY(!menu.allDataAction()->isChecked());
    state.setNumItersToDisplay(2);
    menu.refresh();
    QVERIFY(menu.lastTwentyFiveAction()->isChecked());
}

void TestHelmdeckOptions::menuPickSetsTheStateAndShowsChecked()
{
    OptimHelmdeckControllerState state(false, true);
    HistoryGraphMenu menu(&state);
    QSignalSpy shown(&state, &OptimHelmdeckControllerState::numIterationsToDisplayChanged);
    menu.popupAt(QPoint(20, 20));
    menu.lastTwentyFiveAction()->trigger();
    QCOMPARE(state.numItersToDisplay(), 2);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), 25);
    menu.hide();
    // Opened again: the pick shows checked.
    menu.popupAt(QPoint(20, 20));
    QVERIFY(menu.lastTwentyFiveAction()->isChecked());
    QVERIFY(!menu.allIterationsAction()->isChecked());
    menu.lastTenAction()->trigger();
    QCOMPARE(state.numItersToDisplay(), 1);
    QCOMPARE(shown.last().at(0).toInt(), 10);
    menu.allIterationsAction()->trigger();
    QCOMPARE(state.numItersToDisplay(), 0);
    menu.hide();
}

void TestHelmdeckOptions::menuYAxisPicks()
{
    OptimHelmdeckControllerState state(false, true);
    HistoryGraphMenu menu(&state);
    QSignalSpy scaled(&state, &OptimHelmdeckControllerState::yAutoScaleUsingAllDataChanged);
    menu.visibleDataAction()->trigger();
    QVERIFY(!state.yAxisAutoscaleUsingAllData());
    menu.allDataAction()->trigger();
    QVERIFY(state.yAxisAutoscaleUsingAllData());
    QCOMPARE(scaled.count(), 2);
    QCOMPARE(scaled.at(0).at(0).toBool(), false);
    QCOMPARE(scaled.at(1).at(0).toBool(), true);
    QCOMPARE(state.numItersToDisplay(), 0);   // the other group is untouched
}

void TestHelmdeckOptions::menuPicksPersist()
{
    {
        OptimHelmdeckControllerState state(false, true);
        HistoryGraphMenu menu(&state);
        menu.lastTenAction()->trigger();
        menu.visibleDataAction()->trigger();
    }
    QCOMPARE(helmdeckSetting(QStringLiteral("numItersToDisplay")).toInt(), 1);
    QCOMPARE(helmdeckSetting(QStringLiteral("yAxisAutoscaleUsingAllData")).toBool(), false);
    OptimHelmdeckControllerState again(false, true);
    HistoryGraphMenu menu(&again);
    QVERIFY(menu.lastTenAction()->isChecked());
    QVERIFY(menu.visibleDataAction()->isChecked());
}

QTEST_MAIN(TestHelmdeckOptions)
#include "tst_helmdeckoptions.moc"
