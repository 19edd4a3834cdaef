#pragma once

// The plug-in object: one per process, made on first use. It registers the
// plug-in with the host, receives every KUVO message addressed to the
// plug-in, opens a helmdeck when the simulator asks for one and answers the
// host's questions about it.

#include "hostifc/optimhostcalls.h"
#include "link/optimkuvolink.h"
#include "hostifc/pluginmanagerifc.h"
#include "model/optiminputrecords.h"
#include "window/windoweditors.h"

#include <QPointer>

#include <memory>

class MoxIFC;
class OptimHelmdeckController;
class OptimSimIFC;

// The interface under which the plug-in registers with the host.
class OptimHelmdeckPluginIFC : public PluginObjectIFC
{
};

class OptimHelmdeckPluginIFCImplementation : public OptimHelmdeckPluginIFC
{
public:
    int interfaceVersion() const override { return 1000; }
    void handleMessage(int sender, int kind, const QByteArray &text) override;

protected:
    virtual OptimKuvoLink *ensureLink() = 0;
};

class OptimHelmdeckPlugin : public OptimHelmdeckPluginIFCImplementation, public OptimKuvoLinkOwner
{
public:
    // The process's plug-in object, made on first use.
    static OptimHelmdeckPlugin *instance();
    // Destroys the process's plug-in object (and an open helmdeck); for
    // tests and orderly host shutdown.
    static void destroyInstance();

    // Registration with the host; safe to call again. Failures are reported
    // to the manager with fixed texts and the call may be repeated.
    void registerWithHost(PluginManagerIFC *manager);
    bool isRegistered() const { return m_registered; }

    bool openHelmdeck(const OptimModelInput &input, bool multiOpt, bool interactive);
    bool okToStartNewSimulation();
    bool closeHelmdeck(bool closeWithoutQuestions, bool askOnClose);
    QByteArray simulatorId() const;

    OptimHelmdeckController *controller() const;
    // The definitions of the open helmdeck's current optimization; null
    // when no helmdeck is open.
    const OptimModelInput *currentInput() const;
    OptimKuvoLink *link() const { return m_link.get(); }
    MoxIFC *mox() const { return m_mox; }

    // OptimKuvoLinkOwner
    bool openHelmdeckFromBlock(const QByteArray &text, bool multiOpt, bool interactive) override;
    OptimSimIFC *currentSimulator() const override;
    void simulatorGone(const QByteArray &simulatorId, bool closeWindow) override;
    void simulationFinished() override;
    void replyWaitChanged(bool waiting) override;
    void simulatorDoesNotAnswer() override;
    void simulatorAnsweredLate() override;

protected:
    OptimKuvoLink *ensureLink() override;

private:
    OptimHelmdeckPlugin();
    ~OptimHelmdeckPlugin() override;
    // Asks the open helmdeck to close; true when it is closed now.
    bool closeWith(bool closeWithoutQuestions, bool askOnClose);
    // Once its close is accepted, no helmdeck counts as open any more.
    void forgetClosedHelmdeck();

    // The editors every window the plug-in opens gets.
    const OptimHelmdeckEditorHooks m_editors;
    QPointer<OptimHelmdeckController> m_controller;
    // Closed controllers not yet deleted (they delete themselves later).
    QList<QPointer<OptimHelmdeckController>> m_closing;
    QPointer<OptimSimIFC> m_simulator;
    PluginManagerIFC *m_manager = nullptr;
    MoxIFC *m_mox = nullptr;
    std::unique_ptr<OptimKuvoLink> m_link;
    bool m_registered = false;
    bool m_closeCallbackRegistered = false;
};
