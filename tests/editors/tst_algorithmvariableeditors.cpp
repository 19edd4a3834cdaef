// The algorithm and variable editors, headless: the algorithm-type warning
// texts, the iteration-limit bound, the variable checks as cells show them,
// storing typed values, and both dialogs driven by object name.

#include "../window/windowtestsupport.h"

#include "editors/algorithmtypewarning.h"
#include "editors/editalgorithm.h"
#include "editors/editvariables.h"
#include "editors/variabletablewidget.h"
#include "modaldriver.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using Table = VariableTableWidget;

namespace {

OptimVarInput variable(int type, const QString &value, const QString &p1 = {}, const QString &p2 = {},
                       const QString &p3 = {}, bool optimize = true)
{
    OptimVarInput v;
    v.setNetlistName(QStringLiteral("C1"));
    v.setUnit(QStringLiteral("F"));
    v.setValue(value);
    v.setConstraint(type, p1, p2, p3);
    v.setOptimize(optimize);
    return v;
}

OptimItemList<OptimVarInput> list(std::initializer_list<OptimVarInput> variables)
{
    OptimItemList<OptimVarInput> out;
    for (const OptimVarInput &v : variables)
        out.append(v);
    return out;
}

OptimAlgInput algorithm(int type, const QString &maxIterations = QStringLiteral("100"))
{
    OptimAlgInput a;
    a.setName(QStringLiteral("Optim1"));
    a.setAlgorithmType(type);
    a.setMaxIterations(maxIterations);
    return a;
}

// Accepts the message box that comes up, noting its title.
ModalDriver::Step acceptBox(QString *title)
{
    return [title](QDialog *box) { *title = box->windowTitle(); box->accept(); };
}

const QString kCont = QStringLiteral("continuous");

} // namespace

class TestAlgorithmVariableEditors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_settings.isValid()); }

    void algorithmTypeWarning_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("variables"); // per variable: c or d, upper case when enabled
        QTest::addColumn<QString>("message");
        const QString start = QStringLiteral("<p>You can:<ul><li>Use <b>Edit algorithm</b> to change the algorithm type.</li>");
        QTest::newRow("gradient, two discrete")
            << 2 << "DD"
            << "<p>The algorithm type 'Gradient' operates only on continuous variables.<p>There are no continuous "
               "variables defined, so the optimization will not run."
                   + start + "<li>Use <b>Edit variables</b> to convert some of the discrete variables to continuous.</li></ul>";
        QTest::newRow("random, discrete only") << 1 << "Dd" << QString();
        QTest::newRow("discrete, continuous only")
            << 10 << "CC"
            << "<p>The algorithm type 'Discrete' operates only on discrete variables.<p>There are no discrete "
               "variables defined, so the optimization will not run."
                   + start + "<li>Use <b>Edit variables</b> to convert some of the continuous variables to discrete.</li></ul>";
        QTest::newRow("quasi-newton, continuous disabled")
            << 5 << "cD"
            << "<p>The algorithm type 'Quasi-Newton' operates only on continuous variables.<p>There are no continuous "
               "variables enabled, so the optimization will not run."
                   + start + "<li>Use <b>Edit variables</b> to enable a continuous variable.</li>"
                   "<li>Use <b>Edit variables</b> to convert some of the discrete variables to continuous.</li></ul>";
        QTest::newRow("nothing enabled")
            << 1 << "cd"
            << "<p>There are no variables enabled, so the optimization will not run.<p>You can:<ul><li>Use <b>Edit "
               "variables</b> to enable a variable.</li></ul>";
        QTest::newRow("no type, enabled") << 0 << "C" << QString();
    }
    void algorithmTypeWarning()
    {
        QFETCH(int, type);
        QFETCH(QString, variables);
        QFETCH(QString, message);
        OptimItemList<OptimVarInput> vars;
        for (QChar kind : variables) {
            vars.append(variable(kind.toLower() == u'd' ? ConstraintDiscrete : ConstraintRange, QStringLiteral("1"),
                                 QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("1"), kind.isUpper()));
        }
        QCOMPARE(AlgorithmTypeWarning(algorithm(type), vars).message(), message);
        QString title;
        ModalDriver box(message.isEmpty() ? QList<ModalDriver::Step>() : QList{acceptBox(&title)});
        QCOMPARE(AlgorithmTypeWarning(algorithm(type), vars).checkAndWarn(), !message.isEmpty());
        QCOMPARE(title, message.isEmpty() ? QString() : QStringLiteral("Algorithm Type Warning"));
    }

    void maxItersValidator_data()
    {
        QTest::addColumn<QString>("iteration");
        QTest::addColumn<QString>("maxIterations");
        QTest::addColumn<int>("bottom");
        QTest::newRow("below the limit") << "7" << "100" << 7;
        QTest::newRow("past the limit") << "150" << "100" << 100;
        QTest::newRow("no iteration yet") << "" << "100" << 1;
        QTest::newRow("no limit") << "7" << "" << 7;
    }
    void maxItersValidator()
    {
        QFETCH(QString, iteration);
        QFETCH(QString, maxIterations);
        QFETCH(int, bottom);
        MaxItersValidator validator(iteration, maxIterations);
        QCOMPARE(validator.bottom(), bottom);
        QString below = QString::number(bottom - 1);
        QString at = QString::number(bottom);
        int pos = 0;
        QVERIFY(validator.validate(below, pos) != QValidator::Acceptable);
        QCOMPARE(validator.validate(at, pos), QValidator::Acceptable);
        // A limit below the bound is left as typed, to be marked and refused.
        const QString typed = below;
        validator.fixup(below);
        QCOMPARE(below, typed);
    }

    void editAlgorithmDialog()
    {
        OptimAlgOutput output;
        output.setIterationText(QStringLiteral("20"));
        EditAlgorithm dialog(algorithm(2), output);
        QSignalSpy edited(&dialog, &EditAlgorithm::editedAlgorithm);
        auto *type = dialog.findChild<QComboBox *>(QStringLiteral("algorithmTypeBox"));
        auto *limit = dialog.findChild<QLineEdit *>(QStringLiteral("maxIterationsEdit"));
        auto *ok = dialog.findChild<QDialogButtonBox *>(QStringLiteral("editAlgorithmButtons"))->button(QDialogButtonBox::Ok);
        QVERIFY(type && limit && ok);
        QCOMPARE(type->currentText(), QStringLiteral("Gradient"));
        type->setCurrentText(QStringLiteral("Discrete"));
        QVERIFY(!limit->isEnabled());
        type->setCurrentText(QStringLiteral("Genetic"));
        QVERIFY(limit->isEnabled());
        limit->setText(QStringLiteral("19")); // below the iterations done
        ok->click();
        QCOMPARE(edited.count(), 0);
        limit->setText(QStringLiteral("250"));
        dialog.move(40, 30);
        ok->click();
        QCOMPARE(edited.count(), 1);
        const auto sent = edited.at(0).at(0).value<OptimAlgInput>();
        QCOMPARE(sent.algorithmType(), 11);
        QCOMPARE(sent.maxIterations(), QStringLiteral("250"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(HelmdeckSettings().value(QStringLiteral("EditAlgorithmPos")).toPoint(), QPoint(40, 30));
    }

    void iterationLimitBelowBoundIsKeptAndRefused()
    {
        OptimAlgOutput output;
        output.setIterationText(QStringLiteral("20"));
        auto *dialog = new EditAlgorithm(algorithm(2), output);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QSignalSpy edited(dialog, &EditAlgorithm::editedAlgorithm);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QLineEdit *limit = dialog->form()->maxItersEdit();
        limit->setFocus();
        QTRY_VERIFY(limit->hasFocus());
        limit->selectAll();
        QTest::keyClicks(limit, QStringLiteral("3"));
        dialog->form()->typeBox()->setFocus();
        QTRY_VERIFY(!limit->hasFocus());
        QCOMPARE(limit->text(), QStringLiteral("3"));
        QCOMPARE(limit->toolTip(), QStringLiteral("Enter a whole number of at least 20."));
        QVERIFY(limit->styleSheet().contains(QStringLiteral("yellow")));
        dialog->buttonBox()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(edited.count(), 0);
        QVERIFY(dialog->isVisible());
        QCOMPARE(limit->text(), QStringLiteral("3"));
        dialog->close();
    }

    void variableCells_data()
    {
        QTest::addColumn<OptimVarInput>("var");
        QTest::addColumn<QStringList>("messages"); // columns 2, 5, 7, 9
        const QString minMax = QStringLiteral("Min is greater than max");
        const QString none = QStringLiteral("No value specified");
        QTest::newRow("min above max") << variable(ConstraintRange, "7", "10", "5")
                                       << QStringList{"", minMax, minMax, ""};
        QTest::newRow("descending discrete") << variable(ConstraintDiscrete, "4", "10", "0", "-1") << QStringList{"", "", "", ""};
        QTest::newRow("step against the range")
            << variable(ConstraintDiscrete, "4", "10", "0", "1")
            << QStringList{"", "", "", "The sign is not consistent with min and max"};
        QTest::newRow("step zero") << variable(ConstraintDiscrete, "4", "0", "10", "0") << QStringList{"", "", "", "The step is zero"};
        QTest::newRow("no value") << variable(ConstraintRange, "", "0", "10") << QStringList{none, "", "", ""};
        QTest::newRow("out of range") << variable(ConstraintDeviation, "12", "10", "1") << QStringList{"Nominal value out of range", "", "", ""};
        QTest::newRow("no percentage") << variable(ConstraintPercentage, "10", "10", "") << QStringList{"", none, "", ""};
        QTest::newRow("not optimized") << variable(ConstraintRange, "", "10", "5", {}, false) << QStringList{"", "", "", ""};
    }
    void variableCells()
    {
        QFETCH(OptimVarInput, var);
        QFETCH(QStringList, messages);
        Table table(list({var}));
        int faults = 0;
        const int columns[] = {Table::ValueColumn, Table::MinColumn, Table::MaxColumn, Table::StepColumn};
        for (int i = 0; i < 4; ++i) {
            QTableWidgetItem *cell = table.item(0, columns[i]);
            QCOMPARE(cell->toolTip(), messages.at(i));
            QCOMPARE(cell->background().color() == Qt::yellow, !messages.at(i).isEmpty());
            faults += messages.at(i).isEmpty() ? 0 : 1;
        }
        QCOMPARE(table.errorCount(), faults);
    }

    void typedValues_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // param or value text; empty: unchanged
        QTest::addColumn<QString>("shown");  // number and units cells after the edit
        QTest::newRow("number in shown units") << 1 << 2 << "2.2" << "2.2e-12" << "2.2 pF";
        QTest::newRow("own suffix") << 1 << 7 << "6n" << "6e-09" << "6 nF";
        QTest::newRow("percent") << 4 << 5 << "7.5" << "7.5" << "7.5 %";
        QTest::newRow("not a number") << 1 << 2 << "abc" << "" << "abc pF";
        QTest::newRow("wrong units") << 1 << 5 << "3 nH" << "" << "3 nH pF";
        QTest::newRow("cleared") << 1 << 7 << "" << "" << " pF";
    }
    void typedValues()
    {
        QFETCH(int, type);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const OptimVarInput before = variable(type, "5 pF", type == 4 ? "5 pF" : "1 pF", type == 4 ? "10" : "9 pF");
        EditVariables dialog(list({before}));
        Table *table = dialog.findChild<Table *>(QStringLiteral("variableTable"));
        table->item(0, column)->setText(typed);
        const OptimVarInput &after = table->variables().at(0);
        const QString now = column == 2 ? after.value() : column == 7 || type == 4 ? after.param2() : after.param1();
        const QString then = column == 2 ? before.value() : column == 7 || type == 4 ? before.param2() : before.param1();
        QCOMPARE(now, stored.isEmpty() ? then : stored);
        QCOMPARE(table->item(0, column)->text() + ' ' + table->item(0, column + 1)->text(), shown);
        // A text that is no value is marked and blocks OK and Apply.
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("variableErrorLabel"));
        QCOMPARE(label->isHidden(), !stored.isEmpty());
        QCOMPARE(label->text(), stored.isEmpty() ? QStringLiteral("  There is 1 invalid entry  ") : QString());
        QCOMPARE(dialog.buttonBox()->button(QDialogButtonBox::Apply)->isEnabled(), !stored.isEmpty());
    }

    void lockedAndDesignValues()
    {
        // Out of the design: ticked can be unticked and ticked again; unticked stays locked.
        OptimVarInput gone = variable(ConstraintRange, "5", "1", "9");
        gone.setInDesign(false);
        OptimVarInput locked = variable(ConstraintRange, "5", "1", "9", {}, false);
        locked.setInDesign(false);
        OptimVarInput listed = variable(ConstraintDiscrete, "1", "0", "3", "1");
        listed.setDesignValues({"1 pF", "2.2 pF", "4.7 pF", "10 pF"});
        // Bare numbers that also read as positions, and a repeated value.
        OptimVarInput bare = variable(ConstraintDiscrete, "1", "0", "4", "1");
        bare.setDesignValues({"1", "2", "5", "5", "10"});
        Table table(list({gone, locked, listed, bare}));
        table.item(0, Table::EnableColumn)->setCheckState(Qt::Unchecked);
        QVERIFY(!table.variables().at(0).optimize());
        QVERIFY(table.item(0, Table::EnableColumn)->flags() & Qt::ItemIsUserCheckable);
        table.item(0, Table::EnableColumn)->setCheckState(Qt::Checked);
        QVERIFY(table.variables().at(0).optimize());
        QVERIFY(!(table.item(1, Table::EnableColumn)->flags() & Qt::ItemIsUserCheckable));
        table.item(1, Table::EnableColumn)->setCheckState(Qt::Checked);
        QCOMPARE(table.item(1, Table::EnableColumn)->checkState(), Qt::Unchecked);
        QVERIFY(!table.variables().at(1).optimize());
        for (int column = 0; column < Table::ColumnCount; ++column)
            QVERIFY(!table.isCellEditable(1, column));
        // Design values: pull-downs on value, min and max; format and step fixed.
        QVERIFY(!table.isCellEditable(2, Table::FormatColumn) && !table.isCellEditable(2, Table::StepColumn));
        auto *value = qobject_cast<DiscreteVarComboBox *>(table.cellWidget(2, Table::ValueColumn));
        QVERIFY(value && table.cellWidget(2, Table::MaxColumn));
        QCOMPARE(value->currentText(), QStringLiteral("2.2 pF"));
        value->setCurrentIndex(2);
        QCOMPARE(table.variables().at(2).value(), QStringLiteral("2"));
        value = qobject_cast<DiscreteVarComboBox *>(table.cellWidget(3, Table::ValueColumn));
        QVERIFY(value);
        value->setCurrentIndex(2);
        QCOMPARE(table.variables().at(3).value(), QStringLiteral("2"));
        QCOMPARE(value->currentText(), QStringLiteral("5"));
        value->setCurrentIndex(3);
        QCOMPARE(table.variables().at(3).value(), QStringLiteral("3"));
    }

    void formatChange()
    {
        Table table(list({variable(ConstraintRange, "5 pF", "1 pF", "9 pF")}));
        QComboBox *format = table.formatBox(0);
        format->setCurrentText(QStringLiteral("Min/Max/Step"));
        QCOMPARE(table.variables().at(0).constraintType(), int(ConstraintDiscrete));
        QCOMPARE(table.variables().at(0).param2(), QStringLiteral("9 pF"));
        QCOMPARE(table.item(0, Table::StepColumn)->toolTip(), QStringLiteral("No value specified"));
        format->setCurrentText(QStringLiteral("+/- Delta%"));
        QCOMPARE(table.item(0, Table::MinUnitsColumn)->text(), QStringLiteral("%"));
        QVERIFY(!table.isCellEditable(0, Table::MaxColumn));
        format->setCurrentText(QStringLiteral("+/- Delta"));
        QCOMPARE(table.item(0, Table::MinUnitsColumn)->text(), QStringLiteral("F"));
        table.item(0, Table::MinColumn)->setText(QStringLiteral("0.5p"));
        QCOMPARE(table.variables().at(0).param2(), QStringLiteral("5e-13"));
        QCOMPARE(table.variables().at(0).param1(), QStringLiteral("5 pF"));
    }

    void editVariablesDialog()
    {
        IsolatedSettings::clear();
        // Gradient over a discrete variable: the warning shows, then the list goes out anyway.
        EditVariables dialog(list({variable(ConstraintDiscrete, "", "0", "10", "1")}), algorithm(2));
        QSignalSpy edited(&dialog, &EditVariables::editedVariables);
        QSignalSpy help(&dialog, &EditVariables::helpRequested);
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("editVariablesButtons"));
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("variableErrorLabel"));
        QVERIFY(!buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QCOMPARE(label->text(), QStringLiteral("  There is 1 invalid entry  "));
        dialog.table()->item(0, Table::StepColumn)->setText(QStringLiteral("0"));
        QCOMPARE(label->text(), QStringLiteral("  There are 2 invalid entries  "));
        dialog.table()->item(0, Table::StepColumn)->setText(QStringLiteral("2"));
        dialog.table()->item(0, Table::ValueColumn)->setText(QStringLiteral("4"));
        QVERIFY(label->isHidden());
        QString title;
        {
            ModalDriver box({acceptBox(&title)});
            buttons->button(QDialogButtonBox::Apply)->click();
        }
        QCOMPARE(title, QStringLiteral("Algorithm Type Warning"));
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(0).value<OptimItemList<OptimVarInput>>().at(0).value(), QStringLiteral("4"));
        QVERIFY(dialog.result() != QDialog::Accepted);
        buttons->button(QDialogButtonBox::Help)->click();
        QCOMPARE(help.at(0).at(0).toString(), QStringLiteral("OPTIM_HELMDECK_EDIT_VARIABLES"));
        dialog.resize(700, 300);
        ModalDriver box({acceptBox(&title)});
        buttons->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(edited.count(), 2);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(HelmdeckSettings().value(QStringLiteral("EditVariablesSize")).toSize(), QSize(700, 300));
        EditVariables again(list({}));
        QCOMPARE(again.size(), QSize(700, 300));
    }

private:
    IsolatedSettings m_settings;
};

QTEST_MAIN(TestAlgorithmVariableEditors)
#include "tst_algorithmvariableeditors.moc"
