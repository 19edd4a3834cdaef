// The plug-in manager stand-in: interfaces by name (converted to the
// interface type), the plug-in object registry, failure reports, and
// plugin_manager::GetInterface following the current manager, also from a
// library loaded with dlopen.

#include "hostpluginmanager.h"
#include "moxinterpreter.h"

#include "hostifc/kuvoifc.h"

#include <QTest>

#include <dlfcn.h>

namespace {

class FakeKuvo : public KuvoIFC
{
public:
    int version() const override { return 1003; }
    bool send(int, int, const QByteArray &) override { return false; }
    bool waitForMessage(KuvoMessage &) override { return false; }
    bool dispatch(const KuvoMessage &) override { return false; }
    bool lookup(const QByteArray &, int &) override { return false; }
    bool nameOf(int, QByteArray &, QByteArray &) override { return false; }
    QList<KuvoPeer> peers() override { return {}; }
    bool connectPeer(const KuvoPeer &, int &) override { return false; }
    bool receiveDataBlock(int, int, QList<KuvoMessage> &) override { return false; }
};

// The interfaces sit at a non-zero offset inside the host's objects, so a
// pointer handed out without converting to the interface type first would
// be wrong.
struct OtherBase
{
    virtual ~OtherBase() = default;
    int padding[4] = {};
};
class HostMox : public OtherBase, public MoxInterpreter {};
class HostKuvo : public OtherBase, public FakeKuvo {};

class RecordingPlugin : public PluginObjectIFC
{
public:
    int interfaceVersion() const override { return 1000; }
    void handleMessage(int sender, int kind, const QByteArray &text) override
    {
        messages.append(QStringLiteral("%1 %2 %3").arg(sender).arg(kind).arg(QString::fromUtf8(text)));
    }
    QStringList messages;
};

MoxIFC *moxOf(void *pointer) { return static_cast<MoxIFC *>(pointer); }

} // namespace

class TestHostPluginManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void interfacesByName()
    {
        HostPluginManager manager;
        HostMox mox;
        HostKuvo kuvo;
        QVERIFY(manager.getInterface("MOX") == nullptr);
        manager.setMox(&mox);
        manager.setKuvo(&kuvo);
        QVERIFY(manager.getInterface("MOX") != static_cast<void *>(&mox)); // the offset is real
        QCOMPARE(moxOf(manager.getInterface("MOX")), static_cast<MoxIFC *>(&mox));
        QCOMPARE(static_cast<KuvoIFC *>(manager.getInterface("KUVO"))->version(), 1003);
        for (const char *name : {"mox", "", static_cast<const char *>(nullptr)})
            QVERIFY(manager.getInterface(name) == nullptr);
        int other = 0;
        manager.setInterface("UNITS", &other);
        QCOMPARE(manager.getInterface("UNITS"), static_cast<void *>(&other));
        manager.setMox(nullptr);
        QVERIFY(manager.getInterface("MOX") == nullptr);
        QVERIFY(manager.getInterface("KUVO") != nullptr);
    }

    void pluginObjectsAndFailures()
    {
        HostPluginManager manager;
        RecordingPlugin first;
        RecordingPlugin second;
        QVERIFY(!manager.registerPluginObject("OptimHelmdeckPluginIFC", nullptr));
        QVERIFY(!manager.registerPluginObject("", &first));
        QVERIFY(!manager.registerPluginObject(nullptr, &first));
        QVERIFY(!manager.deliverMessage("OptimHelmdeckPluginIFC", 3, 7, "x"));
        QVERIFY(manager.registerPluginObject("OptimHelmdeckPluginIFC", &first));
        QCOMPARE(manager.pluginObject("OptimHelmdeckPluginIFC"), &first);
        QVERIFY(manager.deliverMessage("OptimHelmdeckPluginIFC", 3, 7, "OPTIM_HELMDECK_RENDEZVOUS sim-1"));
        QVERIFY(!manager.deliverMessage("SomethingElse", 3, 7, "x"));
        QVERIFY(manager.registerPluginObject("OptimHelmdeckPluginIFC", &second));
        QVERIFY(manager.deliverMessage("OptimHelmdeckPluginIFC", 5, 13, QByteArray()));
        QCOMPARE(first.messages, QStringList{QStringLiteral("3 7 OPTIM_HELMDECK_RENDEZVOUS sim-1")});
        QCOMPARE(second.messages, QStringList{QStringLiteral("5 13 ")});

        manager.setEchoFailures(false);
        manager.reportFailure("OptimHelmdeckPlugin failed to get MOX interface");
        manager.reportFailure(nullptr);
        QCOMPARE(manager.failures(), (QStringList{QStringLiteral("OptimHelmdeckPlugin failed to get MOX interface"), QString()}));
    }

    void getInterfaceFollowsCurrentManager()
    {
        QVERIFY(HostPluginManager::current() == nullptr);
        QVERIFY(plugin_manager::GetInterface("MOX") == nullptr);
        MoxInterpreter moxA;
        MoxInterpreter moxB;
        auto *a = new HostPluginManager;
        a->setMox(&moxA);
        QCOMPARE(moxOf(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxA));
        QVERIFY(plugin_manager::GetInterface("KUVO") == nullptr);
        QVERIFY(plugin_manager::GetInterface(nullptr) == nullptr);
        {
            HostPluginManager b;
            b.setMox(&moxB);
            QCOMPARE(moxOf(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxB));
            a->makeCurrent();
            QCOMPARE(moxOf(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxA));
            b.makeCurrent();
        }
        // b is gone: a is current again.
        QCOMPARE(HostPluginManager::current(), a);
        QCOMPARE(moxOf(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxA));
        // Destroyed out of order: the newer manager stays current, and after
        // it goes nothing dangling is left behind.
        auto *c = new HostPluginManager;
        delete a;
        QCOMPARE(HostPluginManager::current(), c);
        delete c;
        QVERIFY(HostPluginManager::current() == nullptr);
        QVERIFY(plugin_manager::GetInterface("MOX") == nullptr);
    }

    void loadedLibraryResolvesGetInterface()
    {
        void *library = dlopen(PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        auto probe = reinterpret_cast<int (*)()>(dlsym(library, "probeMoxVersion"));
        QVERIFY(probe);
        QCOMPARE(probe(), -1); // no manager yet
        {
            HostPluginManager manager;
            MoxInterpreter mox;
            mox.setVersion(1234);
            manager.setMox(&mox);
            QCOMPARE(probe(), 1234);
        }
        QCOMPARE(probe(), -1);
        dlclose(library);
    }
};

QTEST_GUILESS_MAIN(TestHostPluginManager)
#include "tst_hostpluginmanager.moc"
