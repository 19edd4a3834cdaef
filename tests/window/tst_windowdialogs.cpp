#include "window/continueoptimizationquery.h"
#include "window/optimhelmdecktunemode.h"
#include "window/optionsdialog.h"
#include "window/tempmessagebox.h"
#include "window/updateitemsdialog.h"
#include "windowtestsupport.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

class TestWindowDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void tuneModeLabelsAndSettingValues();

    void shortWaitShowsNoBox();
    void shownBoxStaysForMinimumTime();
    void boxTimesOut();
    void repeatedShowKeepsVisibleBox();

    void updateItemsNeedsOneCheck();
    void updateItemsRemembersChecksOnAccept();
    void updateItemsCancelKeepsSettings();

    void continueQueryCannotContinue_data();
    void continueQueryCannotContinue();
    void continueQueryLimitReached_data();
    void continueQueryLimitReached();
    void continueQueryAsksNothing_data();
    void continueQueryAsksNothing();
    void continueQueryUnreadableCountFallsBackTo100();
    void continueQueryButtons();

    void optionsAnswerIsButtonIndex();
    void optionsDefaultAnswer();
    void optionsCancelIsNoAnswer();
    void optionsEscapeIsNoAnswerEvenWithoutCancel();

private:
    IsolatedSettings m_settings;
};

namespace {

QPushButton *button(QWidget *parent, const char *name)
{
    return parent->findChild<QPushButton *>(QString::fromLatin1(name));
}

QCheckBox *check(QWidget *parent, const char *name)
{
    return parent->findChild<QCheckBox *>(QString::fromLatin1(name));
}

} // namespace

void TestWindowDialogs::initTestCase()
{
    QVERIFY(m_settings.isValid());
}

void TestWindowDialogs::init()
{
    IsolatedSettings::clear();
}

void TestWindowDialogs::tuneModeLabelsAndSettingValues()
{
    QCOMPARE(optimHelmdeckTuneModeLabel(TuneWhileSliderMoves), QStringLiteral("Simulate while slider moves"));
    QCOMPARE(optimHelmdeckTuneModeLabel(TuneAfterEachChange), QStringLiteral("Simulate after each change"));
    QCOMPARE(optimHelmdeckTuneModeLabel(TuneOnRequest), QStringLiteral("Simulate after pressing Simulate"));
    QCOMPARE(optimHelmdeckTuneModeFromInt(0), TuneWhileSliderMoves);
    QCOMPARE(optimHelmdeckTuneModeFromInt(2), TuneOnRequest);
    QCOMPARE(optimHelmdeckTuneModeFromInt(3), TuneAfterEachChange);
    QCOMPARE(optimHelmdeckTuneModeFromInt(-1), TuneAfterEachChange);
    registerOptimHelmdeckTuneMode();
    QCOMPARE(QMetaType::fromName("OptimHelmdeckTuneMode"), QMetaType::fromType<OptimHelmdeckTuneMode>());
}

void TestWindowDialogs::shortWaitShowsNoBox()
{
    QWidget parent;
    parent.show();
    TempMessageBox box(&parent, QStringLiteral("Optimization Helmdeck"), 600, 300, 0);
    box.setMessage(QStringLiteral("Waiting."));
    box.showMessage();
    QVERIFY(!box.isVisible());
    QTest::qWait(50);
    box.hideMessage();
    // Well past the show delay: the wait ended before it, so nothing shows.
    QTest::qWait(900);
    QVERIFY(!box.isVisible());
}

void TestWindowDialogs::shownBoxStaysForMinimumTime()
{
    QWidget parent;
    parent.show();
    TempMessageBox box(&parent, QStringLiteral("Optimization Helmdeck"), 100, 400, 0);
    box.setMessage(QStringLiteral("Waiting for the simulator to pause."));
    QCOMPARE(box.windowTitle(), QStringLiteral("Optimization Helmdeck"));
    QCOMPARE(box.windowModality(), Qt::WindowModal);
    box.showMessage();
    QTRY_VERIFY_WITH_TIMEOUT(box.isVisible(), 2000);
    QElapsedTimer shown;
    shown.start();
    QCOMPARE(box.findChild<QLabel *>(QStringLiteral("tempMessageLabel"))->text(), QStringLiteral("Waiting for the simulator to pause."));
    auto *bar = box.findChild<QProgressBar *>(QStringLiteral("tempMessageProgress"));
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 0);

    box.hideMessage();
    QVERIFY(box.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!box.isVisible(), 2000);
    QVERIFY(shown.elapsed() >= 300);
}

void TestWindowDialogs::boxTimesOut()
{
    QWidget parent;
    parent.show();
    TempMessageBox box(&parent, QStringLiteral("Optimization Helmdeck"), 0, 0, 150);
    QSignalSpy timedOut(&box, &TempMessageBox::messageTimedOut);
    box.showMessage();
    QVERIFY(box.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, 2000);
    QVERIFY(!box.isVisible());
}

void TestWindowDialogs::repeatedShowKeepsVisibleBox()
{
    QWidget parent;
    parent.show();
    TempMessageBox box(&parent, QStringLiteral("Optimization Helmdeck"), 0, 500, 0);
    box.showMessage();
    QVERIFY(box.isVisible());
    box.hideMessage(); // waits for the minimum time
    box.setMessage(QStringLiteral("Waiting for the simulator to continue."));
    box.showMessage(); // a new wait before it went: it must stay
    QTest::qWait(700);
    QVERIFY(box.isVisible());
    box.hideMessage();
    QVERIFY(!box.isVisible());
}

void TestWindowDialogs::updateItemsNeedsOneCheck()
{
    UpdateItemsDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Update Design"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("updateItemsLabel"))->text(), QStringLiteral("Items to update:"));
    QPushButton *ok = button(&dialog, "okButton");
    QVERIFY(dialog.updateAlgorithm() && dialog.updateGoals() && dialog.updateVariables());
    QVERIFY(ok->isEnabled());

    dialog.open();
    check(&dialog, "algorithmCheck")->click();
    check(&dialog, "goalsCheck")->click();
    QVERIFY(ok->isEnabled());
    check(&dialog, "variablesCheck")->click();
    QVERIFY(!ok->isEnabled());
    // Enter presses the default button; nothing may get past the rule.
    QMetaObject::invokeMethod(&dialog, "handleAccept");
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    check(&dialog, "goalsCheck")->click();
    QVERIFY(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.updateAlgorithm());
    QVERIFY(dialog.updateGoals());
    QVERIFY(!dialog.updateVariables());
}

void TestWindowDialogs::updateItemsRemembersChecksOnAccept()
{
    {
        UpdateItemsDialog dialog;
        dialog.open();
        check(&dialog, "algorithmCheck")->click();
        QTest::mouseClick(button(&dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(helmdeckSetting(QStringLiteral("UpdateItems/algorithm")).toBool(), false);
    QCOMPARE(helmdeckSetting(QStringLiteral("UpdateItems/goals")).toBool(), true);
    UpdateItemsDialog again;
    QVERIFY(!again.updateAlgorithm());
    QVERIFY(again.updateGoals());
    QVERIFY(again.updateVariables());
}

void TestWindowDialogs::updateItemsCancelKeepsSettings()
{
    {
        UpdateItemsDialog dialog;
        dialog.open();
        check(&dialog, "variablesCheck")->click();
        QTest::mouseClick(button(&dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QVERIFY(!helmdeckSetting(QStringLiteral("UpdateItems/variables")).isValid());
    UpdateItemsDialog again;
    QVERIFY(again.updateVariables());
}

void TestWindowDialogs::continueQueryCannotContinue_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("exited") << 5 << "The optimization has completed.\n\nIt cannot be continued.";
    QTest::newRow("error") << 6 << "The optimization has exited with an error.\n\nIt cannot be continued.";
    QTest::newRow("killed") << 7 << "The optimization has been killed.\n\nIt cannot be continued.";
}

void TestWindowDialogs::continueQueryCannotContinue()
{
    QFETCH(int, status);
    QFETCH(QString, text);
    auto model = makeModel(AlgState(status, QStringLiteral("100")));
    ContinueOptimizationQuery query(nullptr, model.get());
    QCOMPARE(query.windowTitle(), QStringLiteral("Continue Optimization"));
    QCOMPARE(query.kind(), ContinueOptimizationQuery::CannotContinue);
    QCOMPARE(query.text(), text);
    QVERIFY(!query.findChild<QSpinBox *>());
    QVERIFY(!button(&query, "continueButton"));
}

void TestWindowDialogs::continueQueryLimitReached_data()
{
    QTest::addColumn<QString>("iterations");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("value");
    QTest::newRow("500") << "500" << 500 << 10 << 1000;
    QTest::newRow("50") << "50" << 50 << 5 << 100;
    QTest::newRow("99") << "99" << 99 << 5 << 198;
    QTest::newRow("100") << "100" << 100 << 10 << 200;
    QTest::newRow("1000") << "1000" << 1000 << 100 << 2000;
    QTest::newRow("0") << "0" << 0 << 5 << 5;
    QTest::newRow("80000") << "80000" << 80000 << 100 << 100000;
}

void TestWindowDialogs::continueQueryLimitReached()
{
    QFETCH(QString, iterations);
    QFETCH(int, minimum);
    QFETCH(int, step);
    QFETCH(int, value);
    auto model = makeModel(AlgState(4, iterations, iterations), 2, iterations);
    ContinueOptimizationQuery query(nullptr, model.get());
    QCOMPARE(query.kind(), ContinueOptimizationQuery::LimitReached);
    QCOMPARE(query.text(), QStringLiteral("The maximum number of iterations (") + iterations
                               + QStringLiteral(") has been reached.\nWould you like to continue the optimization with"));
    auto *spin = query.findChild<QSpinBox *>(QStringLiteral("maxIterationsSpin"));
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), 100000);
    QCOMPARE(spin->singleStep(), step);
    QCOMPARE(spin->value(), value);
    QCOMPARE(query.maximumIterations(), value);
}

void TestWindowDialogs::continueQueryAsksNothing_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("algorithmType");
    QTest::addColumn<QString>("iterations");
    QTest::newRow("finished below limit") << 4 << 2 << "40";
    QTest::newRow("discrete at limit") << 4 << 10 << "100";
    QTest::newRow("paused at limit") << 3 << 2 << "100";
    QTest::newRow("running") << 2 << 2 << "100";
}

void TestWindowDialogs::continueQueryAsksNothing()
{
    QFETCH(int, status);
    QFETCH(int, algorithmType);
    QFETCH(QString, iterations);
    auto model = makeModel(AlgState(status, iterations), algorithmType);
    QCOMPARE(ContinueOptimizationQuery::queryKind(model->model()), ContinueOptimizationQuery::NoQuestion);
    ContinueOptimizationQuery query(nullptr, model.get());
    QCOMPARE(query.kind(), ContinueOptimizationQuery::NoQuestion);
    QCOMPARE(query.maximumIterations(), 0);

    ContinueOptimizationQuery none(nullptr, nullptr);
    QCOMPARE(none.kind(), ContinueOptimizationQuery::NoQuestion);
}

void TestWindowDialogs::continueQueryUnreadableCountFallsBackTo100()
{
    // No readable limit, so the finished run counts as at its limit; the
    // unreadable count offers the steps and start of 100 iterations.
    auto model = makeModel(AlgState(4, QStringLiteral("n/a"), QString()), 2, QStringLiteral("unlimited"));
    ContinueOptimizationQuery query(nullptr, model.get());
    QCOMPARE(query.kind(), ContinueOptimizationQuery::LimitReached);
    QVERIFY(query.text().startsWith(QStringLiteral("The maximum number of iterations (unlimited) has been reached.")));
    auto *spin = query.findChild<QSpinBox *>(QStringLiteral("maxIterationsSpin"));
    QCOMPARE(spin->minimum(), 100);
    QCOMPARE(spin->singleStep(), 10);
    QCOMPARE(spin->value(), 200);
}

void TestWindowDialogs::continueQueryButtons()
{
    auto finished = makeModel(AlgState(4, QStringLiteral("100")));
    {
        ContinueOptimizationQuery query(nullptr, finished.get());
        query.open();
        query.findChild<QSpinBox *>()->setValue(350);
        QTest::mouseClick(button(&query, "continueButton"), Qt::LeftButton);
        QCOMPARE(query.result(), int(QDialog::Accepted));
        QCOMPARE(query.maximumIterations(), 350);
    }
    {
        ContinueOptimizationQuery query(nullptr, finished.get());
        query.open();
        QTest::mouseClick(button(&query, "cancelButton"), Qt::LeftButton);
        QCOMPARE(query.result(), int(QDialog::Rejected));
    }
    auto killed = makeModel(AlgState(7));
    ContinueOptimizationQuery query(nullptr, killed.get());
    query.open();
    QTest::mouseClick(button(&query, "okButton"), Qt::LeftButton);
    QCOMPARE(query.result(), int(QDialog::Rejected));
}

void TestWindowDialogs::optionsAnswerIsButtonIndex()
{
    OptionsDialog dialog(nullptr, true);
    dialog.setWindowTitle(QStringLiteral("Optimization Helmdeck"));
    dialog.setQuestion(QStringLiteral("The simulation is still running.  You can:"));
    QCOMPARE(dialog.addOption(QStringLiteral("Stop the Simulation\n&&\nClose the Optimization Helmdeck")), 0);
    QCOMPARE(dialog.addOption(QStringLiteral("Continue the Simulation\n&&\n    Keep the Optimization Helmdeck Open    ")), 1);
    QCOMPARE(dialog.chosenOption(), -1);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("questionLabel"))->text(), QStringLiteral("The simulation is still running.  You can:"));
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("questionLabel"))->wordWrap());
    dialog.open();
    QTest::mouseClick(button(&dialog, "option1"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosenOption(), 1);
}

void TestWindowDialogs::optionsDefaultAnswer()
{
    OptionsDialog dialog;
    dialog.addOption(QStringLiteral("Update the Design"));
    dialog.addOption(QStringLiteral("    Don't Update the Design    "));
    dialog.setDefaultOption(1);
    QCOMPARE(dialog.chosenOption(), 1);
    QVERIFY(button(&dialog, "option1")->isDefault());
    QVERIFY(!button(&dialog, "option0")->isDefault());
    QVERIFY(!button(&dialog, "cancelButton"));
    dialog.open();
    QTest::mouseClick(button(&dialog, "option0"), Qt::LeftButton);
    QCOMPARE(dialog.chosenOption(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestWindowDialogs::optionsCancelIsNoAnswer()
{
    OptionsDialog dialog(nullptr, true);
    dialog.addOption(QStringLiteral("Update the Design"));
    dialog.addOption(QStringLiteral("    Don't Update the Design    "));
    dialog.setDefaultOption(0);
    dialog.open();
    QTest::mouseClick(button(&dialog, "cancelButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.chosenOption(), -1);
}

void TestWindowDialogs::optionsEscapeIsNoAnswerEvenWithoutCancel()
{
    OptionsDialog dialog(nullptr, false);
    dialog.addOption(QStringLiteral("Update the Design"));
    dialog.setDefaultOption(0);
    dialog.open();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.chosenOption(), -1);
}

QTEST_MAIN(TestWindowDialogs)
#include "tst_windowdialogs.moc"
