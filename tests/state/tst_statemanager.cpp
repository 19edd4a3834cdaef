// Stored optimization states: default names, one row per name, newest first,
// what counts as saved, how a recall is matched to the current optimization,
// and the design's file copy (round trip, unreadable files, the size cap,
// failed writes, two helmdecks on one file, texts outside Latin-1).

#include "isolatedsettings.h"
#include "samplemessages.h"
#include "state/statemanager.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

class TestStateManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QFile::remove(SavedStatesFile::folder());
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

    void recallFindsListedValuesAgain_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QStringList>("sent");  // value, minimum, maximum
        QTest::addColumn<int>("leftOut");
        QTest::newRow("list unchanged") << QStringList{"1p", "2p", "3p", "4p"} << QStringList{"1", "0", "3"} << 0;
        QTest::newRow("value inserted") << QStringList{"0.5p", "1p", "2 P", "3p", "4p"} << QStringList{"2", "1", "4"} << 0;
        QTest::newRow("value dropped") << QStringList{"1p", "3p", "4p"} << QStringList{"2", "0", "2"} << 1;
    }
    void recallFindsListedValuesAgain()
    {
        // Stored: "2p" between "1p" and "4p", kept in the design's file.
        OptimModelInput input = m_model->model().input();
        input.variables()[0].setDiscrete(QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("1"));
        input.variables()[0].setValue(QStringLiteral("1"));
        input.variables()[0].setDesignValues({"1p", "2p", "3p", "4p"});
        m_model->replaceModelInput(input);
        m_manager->setDesignName(QStringLiteral("lib/amp"));
        QVERIFY(m_manager->storeState(QStringLiteral("s"), QString()));
        QFETCH(QStringList, list);
        input.variables()[0].setDesignValues(list);
        input.variables()[0].setValue(QStringLiteral("2"));
        m_model->replaceModelInput(input);
        StateManager next;
        next.setCurrentModel(m_model.get());
        next.setDesignName(QStringLiteral("lib/amp"));
        QSignalSpy replaced(&next, &StateManager::modelInputReplaced);
        QStringList notes;
        QVERIFY(next.recallRow(0, &notes));
        const OptimVarInput sent = replaced.at(0).at(0).value<OptimModelInput>().variables().at(0);
        QTEST(QStringList({sent.value(), sent.param1(), sent.param2()}), "sent");
        QTEST(int(notes.size()), "leftOut");
    }

    void fileKeepsTextsOutsideLatin1_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("Greek") << QStringList{"αβ", "γδ"};
        QTest::newRow("Latin-1") << QStringList{"µ1", "µ2"};
        QTest::newRow("beyond the BMP") << QStringList{"😀", "名前 \"quoted\\"};
    }
    void fileKeepsTextsOutsideLatin1()
    {
        QFETCH(QStringList, names);
        OptimModelInput input = m_model->model().input();
        input.variables()[0].setUnit(QStringLiteral("Ω"));
        m_model->replaceModelInput(input);
        m_manager->setDesignName(QStringLiteral("lib/Ω-amp"));
        for (const QString &name : names)
            QVERIFY(m_manager->storeState(name, name + QStringLiteral(" €")));
        StateManager next;
        QSignalSpy problems(&next, &StateManager::problemFound);
        next.setDesignName(QStringLiteral("lib/Ω-amp"));
        QCOMPARE(problems.size(), 0);
        QCOMPARE(next.rowCount(), names.size());
        for (const QString &name : names) {
            const SavedState *state = next.stateAt(next.rowOf(name));
            QVERIFY2(state, qPrintable(name));
            QCOMPARE(state->comment, name + QStringLiteral(" €"));
            QCOMPARE(state->model.variable(0).unit(), QStringLiteral("Ω"));
        }
    }

    void fileOfTheFirstFormatStaysReadable()
    {
        m_manager->setDesignName(QStringLiteral("lib/amp"));
        QVERIFY(m_manager->storeState(QStringLiteral("µ-state"), QString()));
        // Made version 1: Latin-1 texts, no listed design values.
        QFile file(m_manager->statesFilePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray text = file.readAll().replace("FILE 2 ", "FILE 1 ").replace("\xc2\xb5", "\xb5").replace(
            "START_ARRAY_STRING 0 END_ARRAY_STRING END_OPTIM_SAVED_STATE ", "END_OPTIM_SAVED_STATE ");
        QVERIFY(file.resize(0) && file.write(text) == text.size());
        file.close();
        StateManager next;
        next.setDesignName(QStringLiteral("lib/amp"));
        QCOMPARE(next.rowOf(QStringLiteral("µ-state")), 0);
    }

    void failedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("because");
        QTest::newRow("disk full (short write)") << "limit" << "File too large";
        QTest::newRow("path is a folder") << "folder" << "directory";
        QTest::newRow("folder is a file") << "file" << "cannot be made";
    }
    void failedWriteKeepsTheOldFile()
    {
        m_manager->setDesignName(QStringLiteral("lib/amp"));
        const QString path = m_manager->statesFilePath();
        const QString folder = SavedStatesFile::folder();
        // Larger than the write buffer, so that one write reaches the disk.
        QVERIFY(m_manager->storeState(QStringLiteral("first"), QString(40000, QLatin1Char('x'))));
        QFETCH(QString, fault);
        if (fault == "folder")
            QVERIFY(QFile::remove(path) && QDir().mkdir(path));
        else if (fault == "file")
            QVERIFY(QDir(folder).removeRecursively() && QFile(folder).open(QIODevice::WriteOnly));
        const auto bytes = [](const QString &file) {
            QFile f(file);
            return QFileInfo(file).isDir() ? QByteArray("<folder>") : f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
        };
        const QByteArray before = bytes(path) + bytes(folder);
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const rlimit unlimited = limit;
        if (fault == "limit") {
            std::signal(SIGXFSZ, SIG_IGN);
            limit.rlim_cur = rlim_t(QFileInfo(path).size() / 2);
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        }
        QSignalSpy problems(m_manager.get(), &StateManager::problemFound);
        const bool stored = m_manager->storeState(QStringLiteral("second"), QString(40000, QLatin1Char('y')))
                            && m_manager->storeState(QStringLiteral("third"), QString());
        QVERIFY(setrlimit(RLIMIT_FSIZE, &unlimited) == 0);
        QVERIFY(stored);
        QCOMPARE(bytes(path) + bytes(folder), before);
        QCOMPARE(m_manager->rowCount(), 3);
        QCOMPARE(problems.size(), 1);  // told once
        QFETCH(QString, because);
        const QString message = problems.at(0).at(0).toString();
        QVERIFY2(message.startsWith("The stored states could not be copied to disk: ") && message.contains(because),
                 qPrintable(message));
    }

    void capLeavesOlderStatesForThisSession()
    {
        m_manager->setDesignName(QStringLiteral("lib/amp"));
        QSignalSpy problems(m_manager.get(), &StateManager::problemFound);
        const QString comment(SavedStatesFile::maxFileBytes * 2 / 5, QLatin1Char('x'));
        for (const char *name : {"a", "b", "c", "d"})
            QVERIFY(m_manager->storeState(QString::fromLatin1(name), comment));
        QCOMPARE(problems.size(), 1);  // told once, at the first state left out
        QCOMPARE(problems.at(0).at(0).toString().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("1 older state is kept for this session only."));
        QVERIFY(problems.at(0).at(0).toString().endsWith("left out: \"a\"."));
        QCOMPARE(m_manager->rowCount(), 4);
    }

    void twoHelmdecksKeepEachOthersStates()
    {
        m_manager->setDesignName(QStringLiteral("lib/amp"));
        StateManager other;
        other.setCurrentModel(m_model.get());
        other.setDesignName(QStringLiteral("lib/amp"));
        QVERIFY(m_manager->storeState(QStringLiteral("mine"), QString()) && other.storeState(QStringLiteral("theirs"), QString())
                && m_manager->storeState(QStringLiteral("mine again"), QString()));
        const SavedStatesFile::ReadResult read = SavedStatesFile::read(m_manager->statesFilePath(), QStringLiteral("lib/amp"));
        QStringList names;
        for (const SavedState &state : read.states)
            names << state.name;
        names.sort();
        QCOMPARE(names, QStringList({"mine", "mine again", "theirs"}));
    }

private:
    IsolatedSettings m_settings;
    std::unique_ptr<OptimizationModelObject> m_model;
    std::unique_ptr<StateManager> m_manager;
};

QTEST_GUILESS_MAIN(TestStateManager)
#include "tst_statemanager.moc"
