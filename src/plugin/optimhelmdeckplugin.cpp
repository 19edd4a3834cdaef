#include "optimhelmdeckplugin.h"

#include "controller/optimhelmdeckcontroller.h"
#include "hostifc/moxifc.h"
#include "plugin/optimmoxvocabulary.h"
#include "link/optimsimifc.h"
#include "model/optimizationmodel.h"

#include <QApplication>
#include <QMessageBox>

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

OptimHelmdeckPlugin::~OptimHelmdeckPlugin()
{
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

bool OptimHelmdeckPlugin::openHelmdeckFromBlock(const QList<QByteArray> &payload, bool multiOpt, bool interactive)
{
    OptimSerialReader reader(payload);
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
        m_controller = new OptimHelmdeckController(nullptr, multiOpt, interactive, icon);
        m_simulator = new OptimSimIFC(ensureLink(), host, host.currentTopDesignName(), host.currentSimulatorId(),
                                      m_controller);
        m_controller->setSimulatorIFC(m_simulator);
    }
    if (!m_controller)
        return false;
    m_controller->appendModelInput(input);
    return true;
}

bool OptimHelmdeckPlugin::closeWith(bool closeWithoutQuestions, bool askOnClose)
{
    const QPointer<OptimHelmdeckController> controller = m_controller;
    const bool closed = controller->requestClose(closeWithoutQuestions, askOnClose);
    if (!closed)
        return false;
    delete controller.data();
    return true;
}

bool OptimHelmdeckPlugin::okToStartNewSimulation()
{
    if (!m_controller)
        return true;
    const auto answer = QMessageBox::question(
        QApplication::activeWindow(), QStringLiteral("Close the Optimization Helmdeck?"),
        QStringLiteral("A new simulation cannot start while the Optimization Helmdeck is open.\n\n"
                       "Do you want to close the Optimization Helmdeck and proceed with the new simulation?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    // The helmdeck may have gone while the question was open.
    if (!m_controller)
        return true;
    if (answer != QMessageBox::Yes)
        return false;
    return closeWith(false, true);
}

bool OptimHelmdeckPlugin::closeHelmdeck(bool closeWithoutQuestions, bool askOnClose)
{
    if (!m_controller || !m_simulator)
        return true;
    return closeWith(closeWithoutQuestions, askOnClose);
}

OptimHelmdeckController *OptimHelmdeckPlugin::controller() const
{
    return m_controller;
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
    if (m_controller && m_simulator && simulatorId == m_simulator->simulatorId())
        m_controller->simulatorGone(closeWindow);
}

void OptimHelmdeckPlugin::simulationFinished()
{
    if (m_controller)
        m_controller->setSimulationIsFinished();
}
