// The goal editor, headless: the limit and range cell messages, the
// "Invalid Goals" box, the independent-variable list's naming and limit,
// what OK and Apply hand out, and the goal table the host embeds, read back
// through the script words (a handle kept after the widget went reads null).

#include "../window/windowtestsupport.h"

#include "editors/algorithmvariablehooks.h"
#include "editors/editgoals.h"
#include "editors/editrangevarsdialog.h"
#include "editors/goalchecks.h"
#include "editors/goalinfowidget.h"
#include "editors/goallimitstablewidget.h"
#include "editors/goallistwidget.h"
#include "editors/goalrowwidgets.h"
#include "editors/goaltablewidget.h"
#include "modaldriver.h"
#include "model/optimizationmodel.h"
#include "moxinterpreter.h"
#include "state/helmdecksettings.h"
#include "window/goalspanel.h"
#include "plugin/optimmoxvocabulary.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using Pairs = QList<QPair<int, QString>>;

namespace {

OptimGoalInput goal(const QString &name, const QString &min = QStringLiteral("-1"),
                    const QString &max = QStringLiteral("1"))
{
    OptimGoalInput g;
    g.setName(name);
    g.setExpression(QStringLiteral("dB(S21)"));
    g.setSimInstanceName(QStringLiteral("SP1"));
    g.setWeight(QStringLiteral("1"));
    g.addIndepVar(QStringLiteral("freq"));
    g.setIndepVarUnit(0, QStringLiteral("Hz"));
    OptimGoalLimitInput limit;
    limit.setName(QStringLiteral("L1"));
    limit.setWeight(QStringLiteral("1"));
    limit.setInside(min, max);
    limit.ranges().append(OptimGoalRange(0, QStringLiteral("1 GHz"), QStringLiteral("2 GHz")));
    g.limits().append(limit);
    return g;
}

// Accepts the message box named name, keeping its text (none while expected is empty).
QList<ModalDriver::Step> acceptBox(const QString &name, QString *text, const QString &expected)
{
    return expected.isEmpty() ? QList<ModalDriver::Step>()
                              : QList<ModalDriver::Step>{{name, [text](QDialog *box) { *text = static_cast<QMessageBox *>(box)->text(); box->accept(); }}};
}

void typeInto(GoalLimitsTableTWidget *table, int column, const QString &text)
{
    table->item(0, column)->setText(text);
}

} // namespace

class TestGoalEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellMessages_data()
    {
        using T = GoalLimitsTableTWidget;
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("checked");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("faults");
        const int range = T::FirstRangeColumn;
        QTest::newRow("min above max, min cell") << int(T::MinColumn) << "5" << int(T::MinColumn) << "Min is greater than max" << 2;
        QTest::newRow("min above max, max cell") << int(T::MinColumn) << "5" << int(T::MaxColumn) << "Min is greater than max" << 2;
        QTest::newRow("min with units below max") << int(T::MinColumn) << "-3 dB" << int(T::MinColumn) << "" << 0;
        QTest::newRow("min no value") << int(T::MinColumn) << "abc" << int(T::MinColumn) << "Value is invalid" << 1;
        QTest::newRow("min not a number") << int(T::MinColumn) << "nan" << int(T::MinColumn) << "Value is invalid" << 1;
        QTest::newRow("max empty") << int(T::MaxColumn) << "" << int(T::MaxColumn) << "No value specified" << 1;
        QTest::newRow("weight negative") << int(T::WeightColumn) << "-2" << int(T::WeightColumn) << "The weight is negative" << 1;
        QTest::newRow("range reversed, upper cell") << range << "3 GHz" << range + 1 << "Min is greater than max" << 2;
        QTest::newRow("range upper invalid") << range + 1 << "2 GHzz" << range + 1 << "Value is invalid" << 1;
        QTest::newRow("range upper invalid, lower clean") << range + 1 << "2 GHzz" << range << "" << 1;
        QTest::newRow("range lower empty") << range << "" << range << "" << 0;
        QTest::newRow("range in other units") << range << "5 nH" << range << "Value is invalid" << 1;
        QTest::newRow("name with a quote") << int(T::NameColumn) << "L\"1" << int(T::NameColumn) << "The name is invalid" << 1;
        QTest::newRow("name with a line break") << int(T::NameColumn) << "L\n1" << int(T::NameColumn) << "The name is invalid" << 1;
    }
    void cellMessages()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(int, checked);
        QFETCH(QString, message);
        QFETCH(int, faults);
        OptimGoalInput edited = goal(QStringLiteral("g1"));
        GoalTableWidget table;
        table.setGoal(&edited);
        QSignalSpy counts(&table, &GoalTableWidget::errorCountChanged);
        typeInto(table.limitsTable(), column, text);
        QTableWidgetItem *cell = table.limitsTable()->item(0, checked);
        QCOMPARE(cell->toolTip(), message);
        QCOMPARE(cell->background().color() == Qt::yellow, !message.isEmpty());
        QVERIFY(!counts.isEmpty());
        QCOMPARE(counts.last().at(0).toInt(), faults);
        QCOMPARE(table.validGoal().has_value(), faults == 0);
    }

    void invalidGoalsBox_data()
    {
        QTest::addColumn<QStringList>("faulty");
        QTest::addColumn<QString>("text");
        QTest::newRow("one goal") << QStringList{"A"}
                                  << "The operation cannot be completed because\nthis goal contains invalid entries:\n\n    A\n";
        QTest::newRow("two goals") << QStringList{"A", "C"}
                                   << "The operation cannot be completed because\nthese goals contain invalid entries:\n\n    A\n    C\n";
    }
    void invalidGoalsBox()
    {
        QFETCH(QStringList, faulty);
        QFETCH(QString, text);
        OptimItemList<OptimGoalInput> goals;
        for (const QString &name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
            goals.append(faulty.contains(name) ? goal(name, QStringLiteral("5"), QStringLiteral("1")) : goal(name));
        QPointer<EditGoals> dialog = new EditGoals(goals);
        QSignalSpy handedOut(dialog.data(), &EditGoals::goalsChanged);
        // The first goal is shown: min above max marks both cells.
        QCOMPARE(dialog->findChild<QLabel *>("errorLabel")->text(), QString("  There are 2 invalid entries  "));
        QVERIFY(!dialog->findChild<QPushButton *>("okButton")->isEnabled());
        QCOMPARE(dialog->goalList()->item(0)->toolTip(), QString("Goal has invalid entries"));
        dialog->goalList()->setCurrentRow(1);
        QVERIFY(dialog->findChild<QPushButton *>("okButton")->isEnabled());
        QString shown;
        ModalDriver modals(acceptBox("invalidGoalsBox", &shown, text));
        dialog->findChild<QPushButton *>("okButton")->click();
        QCOMPARE(shown, text);
        QVERIFY(handedOut.isEmpty());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        delete dialog;
    }

    void addIndependentVariable_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<Pairs>("edited");
        QTest::addColumn<QString>("box");
        QTest::newRow("number taken") << QStringList{"IndepVar1", "IndepVar3"}
                                      << Pairs{{0, "IndepVar1"}, {1, "IndepVar3"}, {-1, "IndepVar4"}} << "";
        QTest::newRow("empty list") << QStringList{} << Pairs{{-1, "IndepVar1"}} << "";
        const QStringList six{"a", "b", "c", "d", "e", "f"};
        QTest::newRow("seventh refused") << six << Pairs{{0, "a"}, {1, "b"}, {2, "c"}, {3, "d"}, {4, "e"}, {5, "f"}}
                                         << "Only 6 variables can be in the list.";
    }
    void addIndependentVariable()
    {
        QFETCH(QStringList, names);
        QFETCH(Pairs, edited);
        QFETCH(QString, box);
        QPointer<EditRangeVarsDialog> dialog = new EditRangeVarsDialog(names);
        QSignalSpy spy(dialog.data(), &EditRangeVarsDialog::rangeVarsEdited);
        QString shown;
        ModalDriver modals(acceptBox("addVariableBox", &shown, box));
        dialog->findChild<QPushButton *>("addButton")->click();
        QCOMPARE(shown, box);
        dialog->findChild<QPushButton *>("okButton")->click();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).value<Pairs>(), edited);
        delete dialog;
    }

    void handsOutPlainNumbersOnly()
    {
        QPointer<EditGoals> dialog = new EditGoals({goal(QStringLiteral("g1"))});
        QSignalSpy handedOut(dialog.data(), &EditGoals::goalsChanged);
        GoalLimitsTableTWidget *table = dialog->goalTable()->limitsTable();
        typeInto(table, GoalLimitsTableTWidget::MinColumn, QStringLiteral("abc"));
        QCOMPARE(dialog->errorLabel()->text(), QString("  There is 1 invalid entry  "));
        QVERIFY(!dialog->applyButton()->isEnabled());
        typeInto(table, GoalLimitsTableTWidget::MinColumn, QStringLiteral("-3 dB"));
        typeInto(table, GoalLimitsTableTWidget::FirstRangeColumn, QStringLiteral("10 MHz"));
        dialog->applyButton()->click();
        QCOMPARE(handedOut.size(), 1);
        const OptimGoalLimitInput limit = handedOut.at(0).at(0).value<OptimItemList<OptimGoalInput>>().at(0).limits().at(0);
        // Values with units reach the simulator as the numbers they stand for.
        QCOMPARE(limit.firstValueText(), QString("-3"));
        QVERIFY(limit.firstValueValid());
        QCOMPARE(limit.firstValue(), -3.0);
        QCOMPARE(limit.ranges().at(0).lowerValue(), 1e7);
        QCOMPARE(limit.ranges().at(0).upperValue(), 2e9);
        delete dialog;
    }

    void infoMessages_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("name empty") << "goalNameEdit" << "" << "No value specified";
        QTest::newRow("name with a blank") << "goalNameEdit" << "pass band" << "The name is invalid";
        QTest::newRow("name with a quote") << "goalNameEdit" << "pass\"band" << "The name is invalid";
        QTest::newRow("name fine") << "goalNameEdit" << "Pass_band2" << "";
        QTest::newRow("expression empty") << "expressionBox" << "" << "No value specified";
        QTest::newRow("analysis empty") << "analysisBox" << " " << "No value specified";
        QTest::newRow("weight negative") << "goalWeightEdit" << "-1" << "Weight is negative";
        QTest::newRow("weight no value") << "goalWeightEdit" << "1,5" << "Value is invalid";
    }
    void infoMessages()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        OptimGoalInput edited = goal(QStringLiteral("g1"));
        GoalTableWidget table;
        table.setGoal(&edited);
        QWidget *widget = table.findChild<QWidget *>(field);
        if (auto *box = qobject_cast<QComboBox *>(widget))
            box->setEditText(text);
        else
            qobject_cast<QLineEdit *>(widget)->setText(text);
        QCOMPARE(widget->toolTip(), message);
        QCOMPARE(widget->palette().color(QPalette::Base) == Qt::yellow, !message.isEmpty());
        QCOMPARE(table.errorCount(), message.isEmpty() ? 0 : 1);
    }

    void rangesFollowTheirVariables_data()
    {
        QTest::addColumn<Pairs>("edited");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("bounds");
        QTest::addColumn<QString>("choice"); // an entry of the "Choose" menu instead of the edit
        // The goal has freq (1 GHz..2 GHz) and temp (0..100).
        QTest::newRow("unchanged") << Pairs{{0, "freq"}, {1, "temp"}} << QStringList{"freq", "temp"}
                                   << QStringList{"1 GHz", "2 GHz", "0", "100"} << QString();
        QTest::newRow("swapped and renamed") << Pairs{{1, "T"}, {0, "freq"}} << QStringList{"T", "freq"}
                                             << QStringList{"0", "100", "1 GHz", "2 GHz"} << QString();
        QTest::newRow("first deleted, one added") << Pairs{{1, "temp"}, {-1, "vdd"}} << QStringList{"temp", "vdd"}
                                                  << QStringList{"0", "100", "", ""} << QString();
        QTest::newRow("all deleted") << Pairs{} << QStringList{} << QStringList{} << QString();
        QTest::newRow("chose freq") << Pairs{} << QStringList{"freq"} << QStringList{"1 GHz", "2 GHz"} << "freq";
        QTest::newRow("chose time") << Pairs{} << QStringList{"time"} << QStringList{"", ""} << "time";
        QTest::newRow("chose a swept source") << Pairs{} << QStringList{"v1"} << QStringList{"", ""} << "v1";
        QTest::newRow("chose none") << Pairs{} << QStringList{} << QStringList{} << "None (a single value)";
    }
    void rangesFollowTheirVariables()
    {
        QFETCH(Pairs, edited);
        QFETCH(QStringList, names);
        QFETCH(QStringList, bounds);
        OptimGoalInput g = goal(QStringLiteral("g1"));
        g.addIndepVar(QStringLiteral("temp"));
        g.limits()[0].ranges().append(OptimGoalRange(1, QStringLiteral("0"), QStringLiteral("100")));
        GoalTableWidget table;
        table.setGoal(&g);
        QFETCH(QString, choice);
        if (choice.isEmpty()) {
            table.infoWidget()->updateRangeVars(edited);
        } else {
            // Offered: freq and time first, then the design's and the goal's own names, each once.
            table.setIndepVarChoices({"v1", "FREQ"});
            QMenu *menu = table.infoWidget()->chooseIndepVarButton()->menu();
            Q_EMIT menu->aboutToShow();
            QStringList offered;
            for (QAction *action : menu->actions())
                offered << action->text();
            QCOMPARE(offered, (QStringList{"freq", "time", "v1", "temp", "", "None (a single value)"}));
            QSignalSpy changed(table.infoWidget(), &GoalInfoWidget::rangeVarsChanged);
            for (QAction *action : menu->actions()) {
                if (action->text() == choice)
                    action->trigger();
            }
            QCOMPARE(changed.count(), 1);
        }
        QCOMPARE(g.indepVarNames(), names);
        QStringList shown;
        for (int column = GoalLimitsTableTWidget::FirstRangeColumn; column < table.limitsTable()->columnCount(); ++column)
            shown << table.limitsTable()->item(0, column)->text();
        QCOMPARE(shown, bounds);
        for (int k = 0; k < g.limits().at(0).ranges().size(); ++k)
            QCOMPARE(g.limits().at(0).ranges().at(k).index(), k);
        QCOMPARE(table.infoWidget()->indepVarsLabel()->text(),
                 names.isEmpty() ? QString("<i>None specified</i>&nbsp;") : names.join(", "));
    }

    void limitTypeMovesValues()
    {
        OptimGoalInput g = goal(QStringLiteral("g1"));
        g.limits()[0].setLessThan(QStringLiteral("-40"));
        GoalTableWidget table;
        table.setGoal(&g);
        GoalLimitsTableTWidget *limits = table.limitsTable();
        // "<" shows its value under Max; Min is not used.
        QCOMPARE(limits->item(0, GoalLimitsTableTWidget::MaxColumn)->text(), QString("-40"));
        QVERIFY(!(limits->item(0, GoalLimitsTableTWidget::MinColumn)->flags() & Qt::ItemIsEditable));
        qobject_cast<QComboBox *>(limits->cellWidget(0, GoalLimitsTableTWidget::TypeColumn))->setCurrentIndex(LimitInside);
        QCOMPARE(g.limits().at(0).limitType(), int(LimitInside));
        QCOMPARE(limits->item(0, GoalLimitsTableTWidget::MinColumn)->text(), QString("-40"));
        QCOMPARE(limits->item(0, GoalLimitsTableTWidget::MaxColumn)->toolTip(), QString("No value specified"));
        QCOMPARE(table.errorCount(), 1);
        // A second value typed for Inside outlives a one-value type in between.
        auto *type = qobject_cast<QComboBox *>(limits->cellWidget(0, GoalLimitsTableTWidget::TypeColumn));
        typeInto(limits, GoalLimitsTableTWidget::MaxColumn, QStringLiteral("7"));
        type->setCurrentIndex(LimitGreaterThan);
        QCOMPARE(g.limits().at(0).secondValueText(), QString());
        type->setCurrentIndex(LimitInside);
        QCOMPARE(g.limits().at(0).secondValueText(), QString("7"));
        QCOMPARE(limits->item(0, GoalLimitsTableTWidget::MaxColumn)->text(), QString("7"));
    }

    void boundsShownWithUnits()
    {
        OptimGoalInput g = goal(QStringLiteral("g1"));
        g.limits()[0].ranges()[0] = OptimGoalRange(0, QStringLiteral("800000000"), QStringLiteral("2e+09"));
        GoalTableWidget table;
        table.setGoal(&g);
        const int lower = GoalLimitsTableTWidget::FirstRangeColumn;
        QCOMPARE(table.limitsTable()->item(0, lower)->text(), QString("800 MHz"));
        QCOMPARE(table.limitsTable()->item(0, lower + 1)->text(), QString("2 GHz"));
        // Typed text stays as typed; the simulator gets the plain number.
        typeInto(table.limitsTable(), lower, QStringLiteral("0.9 GHz"));
        table.setGoal(&g);
        QCOMPARE(table.limitsTable()->item(0, lower)->text(), QString("0.9 GHz"));
        QCOMPARE(goalcheck::withPlainNumbers(g).limits().at(0).ranges().at(0).lowerBound(), QString("900000000"));
        // Without a stated unit, the variable's name gives it: time in seconds.
        g.removeIndepVar(0);
        g.addIndepVar(QStringLiteral("time"));
        g.limits()[0].ranges() = {OptimGoalRange(0, QStringLiteral("0.000003"), QStringLiteral("5 ms"))};
        table.setGoal(&g);
        QCOMPARE(table.limitsTable()->item(0, lower)->text(), QString("3 us"));
        QCOMPARE(goalcheck::withPlainNumbers(g).limits().at(0).ranges().at(0).upperBound(), QString("0.005"));
    }

    void namesTheNetlistCannotCarry()
    {
        OptimGoalInput g = goal(QStringLiteral("g1"));
        GoalTableWidget table;
        table.setGoal(&g);
        table.infoWidget()->updateRangeVars({{0, "fr\"eq"}});
        QCOMPARE(table.infoWidget()->indepVarsLabel()->toolTip(), QString("The name is invalid"));
        QCOMPARE(table.errorCount(), 1);
        QVERIFY(!table.validGoal());
        EditRangeVarsDialog dialog({"a\nb"});
        QCOMPARE(dialog.findChild<QListWidget *>("indepVarList")->item(0)->toolTip(), QString("The name is invalid"));
    }

    void limitRowOperations()
    {
        OptimGoalInput g = goal(QStringLiteral("g1"));
        GoalTableWidget table;
        table.setGoal(&g);
        RowOperationsWidget *buttons = table.rowButtons();
        QVERIFY(!buttons->moveUpButton()->isEnabled() && !buttons->moveDownButton()->isEnabled());
        buttons->addButton()->click();
        buttons->addButton()->click();
        auto names = [&g] {
            QStringList out;
            for (const OptimGoalLimitInput &limit : g.limits())
                out << limit.name();
            return out;
        };
        QCOMPARE(names(), (QStringList{"L1", "Limit2", "Limit3"}));
        QVERIFY(buttons->moveUpButton()->isEnabled() && !buttons->moveDownButton()->isEnabled());
        buttons->moveUpButton()->click();
        QCOMPARE(names(), (QStringList{"L1", "Limit3", "Limit2"}));
        QCOMPARE(table.limitsTable()->currentRow(), 1);
        buttons->deleteButton()->click();
        QCOMPARE(names(), (QStringList{"L1", "Limit2"}));
        QCOMPARE(table.limitsTable()->item(1, GoalLimitsTableTWidget::FirstRangeColumn)->text(), QString());
        QCOMPARE(table.errorCount(), 0);
        table.limitsTable()->item(1, GoalLimitsTableTWidget::NameColumn)->setText("L1");
        QCOMPARE(table.limitsTable()->item(0, GoalLimitsTableTWidget::NameColumn)->toolTip(),
                 QString("Another limit has the same name"));
        QCOMPARE(table.errorCount(), 2);
    }

    void editorRunsFromTheGoalsPanelHook()
    {
        const GoalsPanelGoalEditor editor = optimHelmdeckEditors().editGoals;
        QVERIFY(editor);
        OptimizationModel model;
        model.input().goals().append(goal(QStringLiteral("g1")));
        QList<OptimItemList<OptimGoalInput>> edited;
        QStringList topics;
        ModalDriver modals({{"EditGoals", [](QDialog *dialog) {
            dialog->findChild<QPushButton *>("helpButton")->click();
            dialog->findChild<QLineEdit *>("goalWeightEdit")->setText("2");
            dialog->findChild<QPushButton *>("okButton")->click();
        }}});
        editor(model, nullptr, [&](const OptimItemList<OptimGoalInput> &goals) { edited << goals; },
                               [&](const QString &topic) { topics << topic; });
        QCOMPARE(topics, QStringList{"OPTIM_HELMDECK_EDIT_GOALS"});
        QCOMPARE(edited.size(), 1);
        QCOMPARE(edited.at(0).at(0).weight(), QString("2"));
        // The dialog goes later, and its geometry is kept.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(widget->objectName() != "editGoalsDialog");
        QVERIFY(HelmdeckSettings().contains("EditGoalsSize"));
    }
    void hostGoalTableRoundTrip();

private:
    IsolatedSettings m_settings;
};

void TestGoalEditor::hostGoalTableRoundTrip()
{
    MoxInterpreter mox;
    const MoxTypeId widgetType = mox.registerObjectType("QtWidget");
    // The goal-table words need no plug-in object.
    QVERIFY(registerOptimMoxVocabulary(&mox, nullptr));
    const QByteArray host =
        R"(list(list(12, "g1"), list("Expr", 1, list("\"dB(S21)\"")), list("SimInstanceName", 1, list("\"SP1\"")),)"
        R"( list("Weight", 1, list("1")), list("IndepVar", 1, list("\"freq\"")), list("LimitName", 1, list("\"L1\"")),)"
        R"( list("LimitType", 1, list("\"Inside\"")), list("LimitMin", 1, list("-1")), list("LimitMax", 1, list("1")),)"
        R"( list("LimitWeight", 1, list("1")), list("Indep1Min", 1, list("1e9")), list("Indep1Max", 1, list("2e9")),)"
        R"( list("analyses", 2, list("SP1", "SP2"))))";
    MoxValue *object = mox.evaluate("CmdOp", "optimHelmdeck_getGoalTableWidget(" + host + ")");
    auto *widget = static_cast<QWidget *>(mox.objectPointer(object, widgetType));
    mox.release(object);
    auto *table = qobject_cast<GoalTableWidget *>(widget);
    QVERIFY(table);
    QCOMPARE(table->infoWidget()->analysisBox()->count(), 2);
    typeInto(table->limitsTable(), GoalLimitsTableTWidget::MaxColumn, QStringLiteral("1.5"));

    MoxValue *reader = mox.evaluate("CmdOp", "optimHelmdeck_getGoalTableWidgetState");
    auto state = [&] {
        MoxValue *list = mox.invoke(reader, {mox.makeObject(widgetType, widget)});
        const QByteArray printed = mox.printed(list);
        mox.release(list);
        return printed;
    };
    QCOMPARE(state(), QByteArray(R"(list("g1", list("Expr", 1, list("\"dB(S21)\"")), list("Indep1Max", 1, list("2e9")),)"
                                 R"( list("Indep1Min", 1, list("1e9")), list("IndepVar", 1, list("\"freq\"")),)"
                                 R"( list("LimitMax", 1, list("1.5")), list("LimitMin", 1, list("-1")),)"
                                 R"( list("LimitName", 1, list("\"L1\"")), list("LimitType", 1, list("\"Inside\"")),)"
                                 R"( list("LimitWeight", 1, list("1")), list("Max", 0, list()), list("Min", 0, list()),)"
                                 R"( list("RangeMax", 0, list()), list("RangeMin", 0, list()), list("RangeVar", 0, list()),)"
                                 R"( list("SimInstanceName", 1, list("\"SP1\"")), list("Weight", 1, list("1"))))"));
    // A goal with faults is not handed out; a handle kept after the widget went reads null.
    typeInto(table->limitsTable(), GoalLimitsTableTWidget::MaxColumn, QStringLiteral("x"));
    QCOMPARE(state(), QByteArray("NULL"));
    delete widget;
    QCOMPARE(state(), QByteArray("NULL"));
    mox.release(reader);
    QCOMPARE(mox.liveValues(), 0);
}

QTEST_MAIN(TestGoalEditor)
#include "tst_goaleditor.moc"
