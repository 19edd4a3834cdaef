// Stored optimization states: default names, one row per name, newest first,
// what counts as saved, how a recall is matched to the current optimization,
// and the design's file copy (round trip, unreadable files, the size cap).

#include "samplemessages.h"
#include "state/statemanager.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestStateManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path()); }

    void init()
    {
        QDir(SavedStatesFile::folder()).removeRecursively();
        m_model = std::make_unique<OptimizationModelObject>();
        m_model->setModelInput(sampleModelInput({2, 1, 5, 3}));
        m_manager = std::make_unique<StateManager>();
        m_manager->setCurrentModel(m_model.get());
    }

    void defaultNames_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringList() << "State01";
        QTest::newRow("taken") << QStringList{"State02", "State01"} << "State03";
    }
    void defaultNames()
    {
        QFETCH(QStringList, stored);
        for (const QString &name : stored)
            QVERIFY(m_manager->storeState(name, QString()));
        QTEST(m_manager->defaultStateName(), "expected");
    }

    void oneRowPerNameNewestFirst()
    {
        for (const char *name : {"a", "b", "c"}) {
            QVERIFY(m_manager->storeState(QString::fromLatin1(name), QString()));
            QCOMPARE(m_manager->index(0, 0).data().toString(), QString::fromLatin1(name));
        }
        m_model->setVariableValue(m_model->model().variable(0).netlistName(), "42", OptimizationModelObject::TargetInput);
        m_manager->sort(StateManager::NameColumn, Qt::AscendingOrder);
        QVERIFY(m_manager->storeState(QStringLiteral("b"), QStringLiteral("again")));
        QCOMPARE(m_manager->rowCount(), 3);
        QCOMPARE(m_manager->index(0, StateManager::CommentColumn).data().toString(), QStringLiteral("again"));
        QCOMPARE(m_manager->stateAt(0)->model.variable(0).value(), QStringLiteral("42"));
        QCOMPARE(m_manager->index(1, 0).data().toString() + m_manager->index(2, 0).data().toString(), QStringLiteral("ca"));
    }

    void currentStateIsSaved_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("saved");
        QTest::newRow("value tuned") << "value" << false;
        QTest::newRow("design link only") << "design" << true;
    }
    void currentStateIsSaved()
    {
        QFETCH(QString, change);
        QVERIFY(m_manager->storeState(QStringLiteral("s"), QString()));
        OptimModelInput input = m_model->model().input();
        if (change == "value")
            input.variables()[0].setValue(QStringLiteral("7"));
        else if (change == "design")
            input.variables()[0].setDesignValues({QStringLiteral("from the design")});
        m_model->replaceModelInput(input);
        QTEST(m_manager->currentStateIsSaved(), "saved");
    }

    void recallMatchesByName_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("leftOut");
        QTest::newRow("same optimization") << QString() << 0;
        QTest::newRow("variable renamed") << "rename" << 2;
        QTest::newRow("goal added") << "add" << 1;
        QTest::newRow("variable dropped") << "drop" << 1;
        QTest::newRow("another optimization") << "algorithm" << 0;
    }
    void recallMatchesByName()
    {
        QFETCH(QString, change);
        QVERIFY(m_manager->storeState(QStringLiteral("good"), QString()));
        const OptimModelInput stored = m_model->model().input();
        // The current optimization: every value moved, then reshaped.
        OptimModelInput current = stored;
        for (OptimVarInput &variable : current.variables())
            variable.setValue(QStringLiteral("99"));
        current.algorithm().setMaxIterations(QStringLiteral("5"));
        if (change == "rename")
            current.variables()[1].setNetlistName(QStringLiteral("renamed"));
        else if (change == "add")
            current.goals().append(stored.goals().at(0)), current.goals().last().setName(QStringLiteral("extra"));
        else if (change == "drop")
            current.variables().removeAt(2);
        else if (change == "algorithm")
            current.algorithm().setName(QStringLiteral("Optim2")), current.algorithm().setAlgorithmType(5);
        OptimizationModelObject model;
        model.setModelInput(current);
        m_manager->setCurrentModel(&model);
        QSignalSpy replaced(m_manager.get(), &StateManager::modelInputReplaced);
        QSignalSpy recalled(m_manager.get(), &StateManager::stateWasRecalled);
        QStringList notes;
        QVERIFY(m_manager->recallRow(0, &notes));
        QTEST(int(notes.size()), "leftOut");
        QCOMPARE(recalled.size(), 1);
        // Count and order stay the current ones; what matches is the stored
        // definition, the rest keeps the current one.
        const OptimModelInput sent = replaced.at(0).at(0).value<OptimModelInput>();
        QCOMPARE(QList({sent.goals().count(), sent.variables().count()}), QList({current.goals().count(), current.variables().count()}));
        // The algorithm keeps the current name; type and limit are the state's.
        OptimAlgInput algorithm = current.algorithm();
        algorithm.setAlgorithmType(stored.algorithm().algorithmType());
        algorithm.setMaxIterations(stored.algorithm().maxIterations());
        QCOMPARE(sent.algorithm(), algorithm);
        for (const OptimVarInput &variable : sent.variables())
            QCOMPARE(variable.value() == "99", variable.netlistName() == "renamed");
    }

    void fileOffersStatesToTheNextSession()
    {
        m_model->applyIteration(sampleIteration({2, 1, 5, 3}, 0));
        m_manager->setDesignName(QStringLiteral("lib/lowpass filter"));
        QVERIFY(m_manager->storeState(QStringLiteral("first"), QStringLiteral("comment"))
                && m_manager->storeState(QStringLiteral("second"), QString()));
        StateManager next;
        next.setCurrentModel(m_model.get());
        QVERIFY(next.storeState(QStringLiteral("first"), QStringLiteral("this session")));
        next.setDesignName(QStringLiteral("lib/lowpass filter"));
        QCOMPARE(next.rowCount(), 2);
        QCOMPARE(next.stateAt(next.rowOf(QStringLiteral("first")))->comment, QStringLiteral("this session"));
        const int earlier = next.rowOf(QStringLiteral("second"));
        QVERIFY(next.index(earlier, StateManager::TimestampColumn).data().toString().endsWith("(earlier session)"));
        QCOMPARE(next.index(earlier, StateManager::ErrorColumn).data(), m_manager->index(0, StateManager::ErrorColumn).data());
        QVERIFY(next.currentStateIsSaved());
    }

    void unreadableFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("because");
        const QByteArray start = "START_OPTIM_SAVED_STATES_FILE 1 \"lib/amp\" ";
        const QByteArray empty = "START_ARRAY_OPTIM_SAVED_STATES 0 END_ARRAY_OPTIM_SAVED_STATES END_OPTIM_SAVED_STATES_FILE";
        QTest::newRow("not record text") << QByteArray("PNG\x01\x02garbage", 12) << "damaged";
        QTest::newRow("cut short") << start + "START_ARRAY_OPTIM_SAVED_STATES 1" << "damaged";
        QTest::newRow("other design") << "START_OPTIM_SAVED_STATES_FILE 1 \"lib/mixer\" " + empty << "another design";
        QTest::newRow("too large") << QByteArray(SavedStatesFile::maxFileBytes + 1, ' ') << "larger";
    }
    void unreadableFileIsSetAside()
    {
        const QString path = SavedStatesFile::pathFor(QStringLiteral("lib/amp"));
        QVERIFY(QDir().mkpath(SavedStatesFile::folder()));
        QFETCH(QByteArray, text);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        file.close();
        QSignalSpy problems(m_manager.get(), &StateManager::problemFound);
        m_manager->setDesignName(QStringLiteral("lib/amp"));
        QCOMPARE(m_manager->rowCount(), 0);
        QCOMPARE(problems.size(), 1);
        QFETCH(QString, because);
        QVERIFY2(problems.at(0).at(0).toString().contains(because), qPrintable(problems.at(0).at(0).toString()));
        QVERIFY(QFile::exists(path + QStringLiteral(".unreadable")));
        // The next store writes a clean file.
        QVERIFY(m_manager->storeState(QStringLiteral("s"), QString()) && QFile::exists(path));
    }

    void fileKeepsTheNewestWithinTheCap()
    {
        QList<SavedState> states;
        for (int i = 0; i < 6; ++i)
            states.append({QStringLiteral("s%1").arg(i), QString(), QDateTime::currentDateTime(), m_model->model()});
        const qint64 oneState = SavedStatesFile::fileText(QStringLiteral("d"), states.mid(0, 1)).size();
        const QByteArray text = SavedStatesFile::fileText(QStringLiteral("d"), states, 3 * oneState);
        QVERIFY(text.size() <= 3 * oneState);
        QVERIFY(text.contains("\"s0\"") && text.contains("\"s1\"") && !text.contains("\"s5\""));
    }

private:
    QTemporaryDir m_settings;
    std::unique_ptr<OptimizationModelObject> m_model;
    std::unique_ptr<StateManager> m_manager;
};

QTEST_GUILESS_MAIN(TestStateManager)
#include "tst_statemanager.moc"
