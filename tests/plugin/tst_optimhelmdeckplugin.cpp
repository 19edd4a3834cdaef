// The plug-in object as the host sees it: registration with its failure
// texts, the script words, and helmdecks opened by OPEN_HELMDECK blocks.

#include "controller/optimhelmdeckcontroller.h"
#include "fakekuvo.h"
#include "plugin/optimhelmdeckplugin.h"
#include "link/optimsimifc.h"
#include "moxinterpreter.h"
#include "hostpluginmanager.h"
#include "isolatedsettings.h"
#include "modaldriver.h"
#include "samplemessages.h"
#include "window/optimhelmdeckdialog.h"

#include <QApplication>
#include <QTest>

extern "C" int GetLibraryVersion();
extern "C" void RegisterLibraryContents(PluginManagerIFC *manager);

namespace {

constexpr int kSimAddress = 4;

class FailingVocabularyMox : public MoxInterpreter
{
public:
    bool registerVocabulary(const QByteArray &module, const QList<MoxWord> &words) override
    {
        for (const MoxWord &word : words)
            release(word.constant);
        Q_UNUSED(module);
        return false;
    }
};

QList<QByteArray> chunksOf(const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.chunks(5700);
}

} // namespace

class TestOptimHelmdeckPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_manager = new HostPluginManager;
        m_manager->setEchoFailures(false);
        m_mox = new MoxInterpreter;
        m_kuvo = new FakeKuvo;
        m_kuvo->peerList = {{kSimAddress, "sim-5"}};
        m_kuvo->names.insert(kSimAddress, {"tolvanesim", "sim-5"});
        m_kuvo->onSend = [this](const SentMessage &m) {
            if (m.kind == wire::KindBlockEnd)
                m_kuvo->incoming.append({kSimAddress, wire::KindReply, "DATA_BLOCK " + m.text.split(' ').mid(3).join(' ')});
        };
        m_kuvo->dispatcher = [](const KuvoMessage &m) {
            OptimHelmdeckPlugin::instance()->handleMessage(m.sender, m.kind, m.text);
        };
        m_hostCalls.clear();
        auto record = [this](const char *name, MoxValue *(MoxInterpreter::*make)()) {
            return [this, name, make](const MoxArgs *) {
                m_hostCalls << QString::fromLatin1(name);
                return (m_mox->*make)();
            };
        };
        m_mox->registerVocabulary(
            "host", {MoxWord::functionWord("desim_get_current_simulator_id",
                                           [this](const MoxArgs *) { return m_mox->makeString("SIM7"); }),
                     MoxWord::functionWord("desim_getDesimCurrFgndTopDesignName",
                                           [this](const MoxArgs *) { return m_mox->makeString("lib/lowpass"); }),
                     MoxWord::functionWord("de_register_close_addon_callback", record("callback", &MoxInterpreter::makeTrue)),
                     MoxWord::functionWord("desim_stop_and_release_simulator", record("stop", &MoxInterpreter::makeTrue))});
    }

    void cleanup()
    {
        OptimHelmdeckPlugin::destroyInstance();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete m_manager;
        delete m_kuvo;
        QCOMPARE(m_mox->liveValues(), 0);
        delete m_mox;
    }

    void registrationFailuresThenSuccess()
    {
        QCOMPARE(GetLibraryVersion(), 100);
        RegisterLibraryContents(m_manager);
        m_mox->setVersion(1000);
        m_manager->setMox(m_mox);
        RegisterLibraryContents(m_manager);
        FailingVocabularyMox failing;
        m_manager->setMox(&failing);
        RegisterLibraryContents(m_manager);
        m_mox->setVersion(1100);
        m_manager->setMox(m_mox);
        RegisterLibraryContents(m_manager);  // no KUVO
        m_kuvo->versionNumber = 2000;
        m_manager->setKuvo(m_kuvo);
        RegisterLibraryContents(m_manager);
        QCOMPARE(m_manager->failures(), (QStringList{"OptimHelmdeckPlugin failed to get MOX interface",
                                                    "OptimHelmdeckPlugin found an incompatible MOX interface",
                                                    "OptimHelmdeckPlugin could not register MOX vocabulary",
                                                    "OptimHelmdeckPlugin failed to get KUVO interface",
                                                    "OptimHelmdeckPlugin found an incompatible KUVO interface"}));
        QVERIFY(!OptimHelmdeckPlugin::instance()->isRegistered());
        QVERIFY(m_manager->pluginObject("OptimHelmdeckPluginIFC") == nullptr);
        QCOMPARE(failing.liveValues(), 0);
        // Once the interfaces fit, registration succeeds; the failures may be repeated.
        m_mox->setVersion(1999);
        m_kuvo->versionNumber = 1003;
        registerFully();
        PluginObjectIFC *object = m_manager->pluginObject("OptimHelmdeckPluginIFC");
        QVERIFY(object == OptimHelmdeckPlugin::instance());
        QCOMPARE(object->interfaceVersion(), 1000);
        // A second registration changes nothing and reports nothing.
        const QStringList failures = m_manager->failures();
        RegisterLibraryContents(m_manager);
        QCOMPARE(m_manager->failures(), failures);
        QCOMPARE(m_mox->evaluateToText("CmdOp", "optimHelmdeck_pluginLoaded"), QByteArray("1"));
    }

    void scriptWords_data()
    {
        QTest::addColumn<QByteArray>("call");
        QTest::addColumn<QByteArray>("printed");
        QTest::newRow("loaded") << QByteArray("optimHelmdeck_pluginLoaded") << QByteArray("1");
        QTest::newRow("message handler") << QByteArray("optimHelmdeck_messageHandler()") << QByteArray("FALSE");
        QTest::newRow("ok to start, none open") << QByteArray("optimHelmdeck_okToStartNewSimulation()") << QByteArray("TRUE");
        QTest::newRow("close, none open") << QByteArray("optimHelmdeck_closeHelmdeck(FALSE, TRUE)") << QByteArray("TRUE");
        QTest::newRow("being closed, bad id") << QByteArray("optimHelmdeck_simulatorBeingClosed(5, TRUE)") << QByteArray("FALSE");
        QTest::newRow("fetch variable, none open") << QByteArray("optimHelmdeck_fetchVariable(0)") << QByteArray("NULL");
        QTest::newRow("variable valid, none open") << QByteArray("optimHelmdeck_variableIsValid(0)") << QByteArray("FALSE");
        QTest::newRow("goal table state, no widget") << QByteArray("optimHelmdeck_getGoalTableWidgetState(1)") << QByteArray("NULL");
        QTest::newRow("goal netlist") << QByteArray("optimHelmdeck_getGoalNetlist(list(list(1, \"g\"), list(\"Max\", 1, list(\"3\"))))")
                                      << QByteArray("\"OptimGoal:g Weight=1.0 \\\\\nSpecLimitLine[1]=\\\"g_Limit1\\\" \n"
                                                    "SpecLimitLine:\\\"g_Limit1\\\" Type=\\\"LessThan\\\" Min=3 Weight=1.0 \n\"");
        QTest::newRow("units scaled") << QByteArray("optimHelmdeck_valueWithUnits(\"0.0000000022\", \"H\")") << QByteArray("\"2.2 nH\"");
        QTest::newRow("units kept") << QByteArray("optimHelmdeck_valueWithUnits(\"47p\", \"F\")") << QByteArray("\"47 pF\"");
        QTest::newRow("units no number") << QByteArray("optimHelmdeck_valueWithUnits(\"abc\", \"H\")") << QByteArray("NULL");
        QTest::newRow("units missing argument") << QByteArray("optimHelmdeck_valueWithUnits(\"1\")") << QByteArray("NULL");
    }
    void scriptWords()
    {
        QFETCH(QByteArray, call);
        QFETCH(QByteArray, printed);
        registerFully();
        QString error;
        QCOMPARE(m_mox->evaluateToText("CmdOp", call, &error), printed);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void openHelmdeckBlockOpensOneWindowAndAddsModels()
    {
        registerFully();
        auto *plugin = OptimHelmdeckPlugin::instance();
        openThroughLink("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT INTERACTIVE", sampleModelInput({2, 1, 1, 3}));
        QVERIFY(plugin->controller() && plugin->controller()->dialog() && plugin->controller()->dialog()->isVisible());
        QCOMPARE(plugin->simulatorId(), QByteArray("SIM7"));
        QCOMPARE(plugin->currentSimulator()->designName(), QByteArray("lib/lowpass"));
        QVERIFY(plugin->controller()->state()->isMultiOpt() && plugin->controller()->state()->isInteractive());
        QCOMPARE(plugin->controller()->state()->models().size(), 1);
        QCOMPARE(m_hostCalls, QStringList{"callback"});
        const QPointer<OptimHelmdeckController> first = plugin->controller();
        openThroughLink("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT INTERACTIVE", sampleModelInput({1, 1, 1, 1}));
        QCOMPARE(plugin->controller(), first.data());
        QCOMPARE(plugin->controller()->state()->models().size(), 2);
        QCOMPARE(m_hostCalls, QStringList{"callback"});  // registered once per process
        int windows = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            windows += qobject_cast<OptimHelmdeckDialog *>(w) && w->isVisible();
        QCOMPARE(windows, 1);
        // An iteration through the link reaches the current model.
        OptimIter iter = sampleIteration({1, 1, 3, 1}, 0);
        m_kuvo->queueBlock(kSimAddress, "4", "OPTIM_HELMDECK OPTIM_ITER", chunksOf(iter));
        m_kuvo->deliverIncoming();
        QCOMPARE(plugin->controller()->currentModel()->model().algorithmHistory().values().size(), 1);
    }

    void unreadableOpenBlockOpensNothing()
    {
        registerFully();
        auto *plugin = OptimHelmdeckPlugin::instance();
        QVERIFY(!plugin->openHelmdeckFromBlock("START_OPTIM_MODEL_INPUT garbage", false, true));
        QVERIFY(!plugin->controller());
        QVERIFY(plugin->okToStartNewSimulation());
    }

    void simulatorGoneOnlyForItsId()
    {
        auto *plugin = openWithStatus(StatusRunning);
        OptimizationModelObject *model = plugin->controller()->currentModel();
        QCOMPARE(m_mox->evaluateToText("CmdOp", "optimHelmdeck_simulatorBeingClosed(\"OTHER\", FALSE)"), QByteArray("FALSE"));
        QCOMPARE(model->model().algorithmOutput().status(), int(StatusRunning));
        QCOMPARE(m_mox->evaluateToText("CmdOp", "optimHelmdeck_simulatorBeingClosed(\"SIM7\", FALSE)"), QByteArray("FALSE"));
        QCOMPARE(model->model().algorithmOutput().status(), int(StatusKilled));
        QVERIFY(plugin->controller()->dialog());  // the window stays open
        QVERIFY(!plugin->controller()->state()->simulationRunning());
        QCOMPARE(m_kuvo->sent.last(), (SentMessage{kSimAddress, wire::KindPlain, "OPTIM_HELMDECK_DISCONNECT"}));
    }

    void closeHelmdeckWithoutQuestions()
    {
        auto *plugin = openWithStatus(StatusPaused);
        m_kuvo->sent.clear();
        // Paused, no questions asked, nothing written back: the simulation is finished.
        QCOMPARE(m_mox->evaluateToText("CmdOp", "optimHelmdeck_closeHelmdeck(FALSE, FALSE)"), QByteArray("TRUE"));
        QVERIFY(!plugin->controller());
        QVERIFY(!m_kuvo->sent.isEmpty());
        QCOMPARE(m_kuvo->sent.first().text.split(' ').mid(3).join(' '), QByteArray("OPTIM_HELMDECK FINISH_SIMULATION"));
        QVERIFY(m_hostCalls.indexOf(QStringLiteral("stop")) < 0);
    }

    void hostClosesWhileAQuestionIsOpen_data()
    {
        QTest::addColumn<QByteArray>("ask");      // opens the question: a window signal or a script word
        QTest::addColumn<QByteArray>("close");    // the host's word while the question is open
        QTest::addColumn<QByteArray>("printed");  // its answer
        const QByteArray closeWord("optimHelmdeck_closeHelmdeck(TRUE, FALSE)");
        QTest::newRow("close word, continue query") << QByteArray("continueOptimization") << closeWord << QByteArray("TRUE");
        QTest::newRow("simulator closed, update dialog")
            << QByteArray("updateDesignClicked") << QByteArray("optimHelmdeck_simulatorBeingClosed(\"SIM7\", TRUE)")
            << QByteArray("FALSE");
        QTest::newRow("close word, new-simulation question")
            << QByteArray("optimHelmdeck_okToStartNewSimulation()") << closeWord << QByteArray("TRUE");
    }
    void hostClosesWhileAQuestionIsOpen()
    {
        QFETCH(QByteArray, ask);
        QFETCH(QByteArray, close);
        QFETCH(QByteArray, printed);
        auto *plugin = openWithStatus(StatusExited);
        const QPointer<OptimHelmdeckDialog> window = plugin->controller()->dialog();
        // The host's word when the question is open; any question the close
        // itself asks is declined.
        QByteArray answer;
        ModalDriver modals({[&](QDialog *) { answer = m_mox->evaluateToText("CmdOp", close); }}, true);
        if (ask.startsWith("optimHelmdeck_"))
            QCOMPARE(m_mox->evaluateToText("CmdOp", ask), QByteArray("TRUE"));  // the helmdeck is gone: go ahead
        else
            QVERIFY(QMetaObject::invokeMethod(window, ask.constData()));
        QCOMPARE(answer, printed);
        QVERIFY(!plugin->controller());
        QVERIFY(!window->isVisible());
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
    }

private:
    void registerFully()
    {
        m_manager->setMox(m_mox);
        m_manager->setKuvo(m_kuvo);
        RegisterLibraryContents(m_manager);
        QVERIFY(OptimHelmdeckPlugin::instance()->isRegistered());
    }

    void openThroughLink(const QByteArray &name, const OptimModelInput &input)
    {
        auto *plugin = OptimHelmdeckPlugin::instance();
        plugin->handleMessage(kSimAddress, 7, "OPTIM_HELMDECK_RENDEZVOUS sim-5");
        m_kuvo->queueBlock(kSimAddress, "3", name, chunksOf(input));
        m_kuvo->deliverIncoming();
    }
    // Registers, opens an interactive helmdeck and gives its model the status.
    OptimHelmdeckPlugin *openWithStatus(int status)
    {
        registerFully();
        openThroughLink("OPTIM_HELMDECK OPEN_HELMDECK INTERACTIVE", sampleModelInput({1, 1, 1, 1}));
        OptimHelmdeckPlugin::instance()->controller()->currentModel()->setStatus(status);
        return OptimHelmdeckPlugin::instance();
    }

    IsolatedSettings m_settings;
    HostPluginManager *m_manager = nullptr;
    MoxInterpreter *m_mox = nullptr;
    FakeKuvo *m_kuvo = nullptr;
    QStringList m_hostCalls;
};

QTEST_MAIN(TestOptimHelmdeckPlugin)
#include "tst_optimhelmdeckplugin.moc"
