#include "optimhelmdeckplugin.h"

#include "controller/optimhelmdeckcontroller.h"
#include "design/optimdesigninformation.h"
#include "editors/algorithmvariablehooks.h"
#include "hostifc/moxifc.h"
#include "plugin/optimmoxvocabulary.h"
#include "link/optimsimifc.h"
#include "model/optimizationmodel.h"
#include "window/helmdeckquestions.h"

namespace {

OptimHelmdeckPlugin *g_plugin = nullptr;

} // namespace

void OptimHelmdeckPluginIFCImplementation::handleMessage(int sender, int kind, const QByteArray &text)
{
    if (OptimKuvoLink *link = ensureLink())
        link->onKuvoMessage(sender, kind, text);
}

OptimHelmdeckPlugin *OptimHelmdeckPlugin::instance()
{
    if (!g_plugin)
        g_plugin = new OptimHelmdeckPlugin;
    return g_plugin;
}

void OptimHelmdeckPlugin::destroyInstance()
{
    delete g_plugin;
}

OptimHelmdeckPlugin::OptimHelmdeckPlugin()
    : m_editors(optimHelmdeckEditors())
{
}

OptimHelmdeckPlugin::~OptimHelmdeckPlugin()
{
    for (const QPointer<OptimHelmdeckController> &closing : std::as_const(m_closing))
        delete closing.data();
    delete m_controller.data();
    if (g_plugin == this)
        g_plugin = nullptr;
}

OptimKuvoLink *OptimHelmdeckPlugin::ensureLink()
{
    if (!m_link)
        m_link = std::make_unique<OptimKuvoLink>(this);
    return m_link.get();
}

void OptimHelmdeckPlugin::registerWithHost(PluginManagerIFC *manager)
{
    if (m_registered || !manager)
        return;
    m_manager = manager;
    registerOptimMetaTypes();

    auto *mox = static_cast<MoxIFC *>(manager->getInterface("MOX"));
    if (!mox) {
        manager->reportFailure("OptimHelmdeckPlugin failed to get MOX interface");
        return;
    }
    if (mox->version() < 1001 || mox->version() > 1999) {
        manager->reportFailure("OptimHelmdeckPlugin found an incompatible MOX interface");
        return;
    }
    if (!registerOptimMoxVocabulary(mox, this)) {
        manager->reportFailure("OptimHelmdeckPlugin could not register MOX vocabulary");
        return;
    }
    m_mox = mox;
    if (!ensureLink()->attach(manager))
        return;
    if (!manager->registerPluginObject("OptimHelmdeckPluginIFC", this))
        return;
    m_registered = true;
}

bool OptimHelmdeckPlugin::openHelmdeckFromBlock(const QByteArray &text, bool multiOpt, bool interactive)
{
    OptimSerialReader reader(text);
    OptimModelInput input;
    input.deserialize(reader);
    if (reader.hasError())
        return false;
    return openHelmdeck(input, multiOpt, interactive);
}

bool OptimHelmdeckPlugin::openHelmdeck(const OptimModelInput &input, bool multiOpt, bool interactive)
{
    const OptimHostCalls host(m_mox);
    if (!m_controller) {
        if (!m_closeCallbackRegistered && host.hasWord("de_register_close_addon_callback")) {
            host.run("de_register_close_addon_callback(optimHelmdeck_closeHelmdeck)");
            m_closeCallbackRegistered = true;
        }
        QIcon icon;
        for (const char *size : {"16", "24", "32"})
            icon.addFile(QStringLiteral(":/icons/smoptimz") + QLatin1String(size));
        m_controller = new OptimHelmdeckController(nullptr, multiOpt, interactive, icon, m_editors);
        m_simulator = new OptimSimIFC(ensureLink(), host, host.currentTopDesignName(), host.currentSimulatorId(),
                                      m_controller);
        const OptimDesignInformation design(host, m_simulator->designName());
        m_simulator->setDesignUpdater([design](const OptimModelInput &definitions, bool algorithm, bool goals,
                                               bool variables, QString *problem) {
            return design.backAnnotate(definitions, algorithm, goals, variables, problem);
        });
        m_controller->setSimulatorIFC(m_simulator);
    }
    if (!m_controller)
        return false;
    // Display names, units and value lists as the design knows them.
    OptimModelInput completed = input;
    OptimDesignInformation(host, m_simulator ? m_simulator->designName() : host.currentTopDesignName())
        .synchronizeNew(completed);
    if (!m_controller)
        return false;
    m_controller->appendModelInput(completed);
    return true;
}

bool OptimHelmdeckPlugin::closeWith(bool closeWithoutQuestions, bool askOnClose)
{
    const QPointer<OptimHelmdeckController> controller = m_controller;
    if (controller && !controller->requestClose(closeWithoutQuestions, askOnClose))
        return false;
    forgetClosedHelmdeck();
    return true;
}

void OptimHelmdeckPlugin::forgetClosedHelmdeck()
{
    // A closed helmdeck's controller deletes itself (deferred: a question it
    // opened may still be unwinding); from now on no helmdeck is open.
    if (!m_controller || m_controller->isClosed()) {
        m_closing.removeIf([](const QPointer<OptimHelmdeckController> &c) { return c.isNull(); });
        if (m_controller)
            m_closing.append(m_controller);
        m_controller = nullptr;
        m_simulator = nullptr;
    }
}

bool OptimHelmdeckPlugin::okToStartNewSimulation()
{
    const QPointer<OptimHelmdeckController> controller = m_controller;
    if (!controller)
        return true;
    const bool closeFirst = controller->questions()->askCloseForNewSimulation();
    // The helmdeck may have been closed while the question was open.
    forgetClosedHelmdeck();
    if (!m_controller)
        return true;
    return closeFirst && closeWith(false, true);
}

bool OptimHelmdeckPlugin::closeHelmdeck(bool closeWithoutQuestions, bool askOnClose)
{
    if (!m_controller)
        return true;
    return closeWith(closeWithoutQuestions, askOnClose);
}

OptimHelmdeckController *OptimHelmdeckPlugin::controller() const
{
    return m_controller;
}

const OptimModelInput *OptimHelmdeckPlugin::currentInput() const
{
    if (!m_controller || !m_controller->currentModel())
        return nullptr;
    return &m_controller->currentModel()->model().input();
}

QByteArray OptimHelmdeckPlugin::simulatorId() const
{
    return m_simulator ? m_simulator->simulatorId() : QByteArray();
}

OptimSimIFC *OptimHelmdeckPlugin::currentSimulator() const
{
    return m_controller ? m_simulator.data() : nullptr;
}

void OptimHelmdeckPlugin::simulatorGone(const QByteArray &simulatorId, bool closeWindow)
{
    const QPointer<OptimHelmdeckController> controller = m_controller;
    if (controller && m_simulator && simulatorId == m_simulator->simulatorId()) {
        // The link forgets the simulator's address when its process left the bus.
        controller->simulatorGone(closeWindow, m_link && m_link->simulatorAddress() < 0);
        forgetClosedHelmdeck();
    }
}

void OptimHelmdeckPlugin::replyWaitChanged(bool waiting)
{
    if (m_controller)
        m_controller->setWaitingForReply(waiting);
}

void OptimHelmdeckPlugin::simulatorDoesNotAnswer()
{
    if (m_controller)
        m_controller->simulatorDoesNotAnswer();
}

void OptimHelmdeckPlugin::simulatorAnsweredLate()
{
    if (m_controller)
        m_controller->simulatorAnsweredLate();
}

void OptimHelmdeckPlugin::simulationFinished()
{
    if (m_controller)
        m_controller->setSimulationIsFinished();
}
