// The store and recall dialogs, driven by object name: the store dialog's
// refusals and overwrite question, the recall dialog's save question on
// every path and its geometry.

#include "modaldriver.h"
#include "state/statemanager.h"
#include "window/recallstatedialog.h"
#include "window/storestatedialog.h"
#include "windowtestsupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace {

// Steps "dialogObjectName:button[:typed name]" for the modal dialogs as
// they come up; a button is found by object name or by its text. The click
// is queued, so the dialog may open a nested box.
QList<ModalDriver::Step> play(const QStringList &steps)
{
    QList<ModalDriver::Step> out;
    for (const QString &text : steps) {
        const QStringList step = text.split(QLatin1Char(':'));
        out.append({step.at(0), [step](QDialog *modal) {
                        if (step.size() == 3)
                            modal->findChild<QLineEdit *>(QStringLiteral("stateNameEdit"))->setText(step.value(2));
                        for (QAbstractButton *button : modal->findChildren<QAbstractButton *>())
                            if (button->objectName() == step.at(1) || button->text().remove(QLatin1Char('&')) == step.at(1))
                                QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
                    }});
    }
    return out;
}

} // namespace

class TestStateDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_settings.isValid()); }

    void init()
    {
        IsolatedSettings::clear();
        m_model = makeModel();
        m_manager = std::make_unique<StateManager>();
        m_manager->setCurrentModel(m_model.get());
        QVERIFY(m_manager->storeState(QStringLiteral("good"), QStringLiteral("before")));
    }

    void storeDialog_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("goodComment");
        QTest::newRow("default name") << QStringList{"storeStateDialog:okButton"} << 2 << "before";
        const QString cancel = QStringLiteral("storeStateDialog:cancelButton");
        QTest::newRow("empty name") << QStringList{"storeStateDialog:okButton: ", "noNameWarning:OK", cancel} << 1 << "before";
        QTest::newRow("overwrite: no") << QStringList{"storeStateDialog:okButton:good", "overwriteQuestion:No", cancel} << 1 << "before";
        QTest::newRow("overwrite: yes") << QStringList{"storeStateDialog:okButton:good", "overwriteQuestion:Yes"} << 1 << "";
    }
    void storeDialog()
    {
        QFETCH(QStringList, steps);
        const bool stored = !steps.last().contains("cancel");
        ModalDriver modals(play(steps));
        QCOMPARE(StoreStateDialog::query(m_manager.get(), nullptr), stored);
        QTEST(m_manager->rowCount(), "rows");
        QTEST(m_manager->stateAt(m_manager->rowOf(QStringLiteral("good")))->comment, "goodComment");
        QCOMPARE(m_manager->defaultStateName(), stored ? QStringLiteral("State02") : QStringLiteral("State01"));
    }

    void recallAsksToSaveFirst_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("recalled");
        QTest::addColumn<int>("rows");
        QTest::newRow("current saved: no question") << QStringList() << true << 2;
        QTest::newRow("no") << QStringList{"saveStateQuestion:No"} << true << 1;
        QTest::newRow("cancel") << QStringList{"saveStateQuestion:Cancel"} << false << 1;
        QTest::newRow("yes, stored") << QStringList{"saveStateQuestion:Yes", "storeStateDialog:okButton"} << true << 2;
        QTest::newRow("yes, store cancelled")
            << QStringList{"saveStateQuestion:Yes", "storeStateDialog:cancelButton", "recallCancelledInformation:OK"} << false << 1;
    }
    void recallAsksToSaveFirst()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, recalled);
        m_model->setVariableValue(m_model->model().variable(0).netlistName(), "42", OptimizationModelObject::TargetInput);
        if (steps.isEmpty())
            QVERIFY(m_manager->storeState(QStringLiteral("now"), QString()));
        RecallStateDialog dialog(m_manager.get());
        dialog.view()->selectRow(m_manager->rowOf(QStringLiteral("good")));
        QSignalSpy replaced(m_manager.get(), &StateManager::modelInputReplaced);
        ModalDriver modals(play(steps));
        dialog.handleApply();
        QCOMPARE(dialog.wasCancelled(), !recalled);
        QTEST(m_manager->rowCount(), "rows");
        QCOMPARE(replaced.size(), recalled ? 1 : 0);
        // The state selected before the question is the one recalled.
        if (recalled)
            QVERIFY(replaced.at(0).at(0).value<OptimModelInput>().variables().at(0).value() != "42");
    }

    void recallGeometryPersists()
    {
        auto dialog = std::make_unique<RecallStateDialog>(m_manager.get());
        QCOMPARE(dialog->height(), 200);
        dialog->resize(640, 300);
        for (int column = 0; column < 4; ++column)
            dialog->view()->setColumnWidth(column, column ? 150 + column : 30);
        dialog->reject();
        QCOMPARE(HelmdeckSettings().value("OptimRecallState/colWidths").toStringList(), QStringList({"30", "151", "152", "153"}));
        dialog = std::make_unique<RecallStateDialog>(m_manager.get());
        QCOMPARE(dialog->size(), QSize(640, 300));
        // The name column keeps its content width over a smaller stored one.
        QVERIFY(dialog->view()->columnWidth(0) > 30);
        QCOMPARE(dialog->view()->columnWidth(3), 153);
    }

    void recallShowsWholeTimestamp()
    {
        m_manager->setDesignName(QStringLiteral("lib/recall width"));
        QVERIFY(m_manager->storeState(QStringLiteral("good"), QStringLiteral("before")));
        StateManager next;
        next.setCurrentModel(m_model.get());
        next.setDesignName(QStringLiteral("lib/recall width"));
        const QString timestamp = next.index(next.rowOf(QStringLiteral("good")), 3).data().toString();
        QVERIFY(timestamp.endsWith("(earlier session)"));
        RecallStateDialog dialog(&next);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QTableView *view = dialog.view();
        QVERIFY(view->columnWidth(3) > view->fontMetrics().horizontalAdvance(timestamp));
        QVERIFY(view->columnViewportPosition(3) + view->columnWidth(3) <= view->viewport()->width());
    }

private:
    IsolatedSettings m_settings;
    std::unique_ptr<OptimizationModelObject> m_model;
    std::unique_ptr<StateManager> m_manager;
};

QTEST_MAIN(TestStateDialogs)
#include "tst_statedialogs.moc"
