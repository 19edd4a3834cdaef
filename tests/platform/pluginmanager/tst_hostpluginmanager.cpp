// The plug-in manager stand-in: interfaces by name, the plug-in object
// registry, failure reports, and plugin_manager::GetInterface following the
// current manager.

#include "hostpluginmanager.h"
#include "moxinterpreter.h"

#include "host/kuvoifc.h"

#include <QTest>

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

} // namespace

class TestHostPluginManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void interfacesByName();
    void pluginObjects();
    void failureReports();
    void getInterfaceFollowsCurrentManager();
};

void TestHostPluginManager::interfacesByName()
{
    HostPluginManager manager;
    HostMox mox;
    HostKuvo kuvo;
    QVERIFY(manager.getInterface("MOX") == nullptr);

    manager.setMox(&mox);
    manager.setKuvo(&kuvo);
    void *moxPointer = manager.getInterface("MOX");
    void *kuvoPointer = manager.getInterface("KUVO");
    QVERIFY(moxPointer != static_cast<void *>(&mox));  // the offset is real
    QCOMPARE(static_cast<MoxIFC *>(moxPointer), static_cast<MoxIFC *>(&mox));
    QCOMPARE(static_cast<KuvoIFC *>(kuvoPointer), static_cast<KuvoIFC *>(&kuvo));
    QCOMPARE(static_cast<MoxIFC *>(moxPointer)->version(), MoxInterpreter::kDefaultVersion);
    QCOMPARE(static_cast<KuvoIFC *>(kuvoPointer)->version(), 1003);

    QVERIFY(manager.getInterface("mox") == nullptr);
    QVERIFY(manager.getInterface("") == nullptr);
    QVERIFY(manager.getInterface(nullptr) == nullptr);

    int other = 0;
    manager.setInterface("UNITS", &other);
    QCOMPARE(manager.getInterface("UNITS"), static_cast<void *>(&other));

    manager.setMox(nullptr);
    QVERIFY(manager.getInterface("MOX") == nullptr);
    QVERIFY(manager.getInterface("KUVO") != nullptr);
}

void TestHostPluginManager::pluginObjects()
{
    HostPluginManager manager;
    RecordingPlugin first;
    RecordingPlugin second;
    QVERIFY(!manager.registerPluginObject("OptimHelmdeckPluginIFC", nullptr));
    QVERIFY(!manager.registerPluginObject("", &first));
    QVERIFY(!manager.registerPluginObject(nullptr, &first));
    QVERIFY(manager.pluginObject("OptimHelmdeckPluginIFC") == nullptr);
    QVERIFY(!manager.deliverMessage("OptimHelmdeckPluginIFC", 3, 7, "x"));

    QVERIFY(manager.registerPluginObject("OptimHelmdeckPluginIFC", &first));
    QCOMPARE(manager.pluginObject("OptimHelmdeckPluginIFC"), &first);
    QVERIFY(manager.deliverMessage("OptimHelmdeckPluginIFC", 3, 7, "OPTIM_HELMDECK_RENDEZVOUS sim-1"));
    QCOMPARE(first.messages, QStringList{QStringLiteral("3 7 OPTIM_HELMDECK_RENDEZVOUS sim-1")});
    QVERIFY(!manager.deliverMessage("SomethingElse", 3, 7, "x"));

    QVERIFY(manager.registerPluginObject("OptimHelmdeckPluginIFC", &second));
    QVERIFY(manager.deliverMessage("OptimHelmdeckPluginIFC", 5, 13, QByteArray()));
    QCOMPARE(first.messages.size(), 1);
    QCOMPARE(second.messages, QStringList{QStringLiteral("5 13 ")});
}

void TestHostPluginManager::failureReports()
{
    HostPluginManager manager;
    manager.setEchoFailures(false);
    manager.reportFailure("OptimHelmdeckPlugin failed to get MOX interface");
    manager.reportFailure(nullptr);
    manager.reportFailure("OptimHelmdeckPlugin found an incompatible MOX interface");
    const QStringList expected = {QStringLiteral("OptimHelmdeckPlugin failed to get MOX interface"), QString(),
                                  QStringLiteral("OptimHelmdeckPlugin found an incompatible MOX interface")};
    QCOMPARE(manager.failures(), expected);
}

void TestHostPluginManager::getInterfaceFollowsCurrentManager()
{
    QVERIFY(HostPluginManager::current() == nullptr);
    QVERIFY(plugin_manager::GetInterface("MOX") == nullptr);

    MoxInterpreter moxA;
    MoxInterpreter moxB;
    auto *a = new HostPluginManager;
    a->setMox(&moxA);
    QCOMPARE(HostPluginManager::current(), a);
    QCOMPARE(plugin_manager::GetInterface("MOX"), a->getInterface("MOX"));
    QVERIFY(plugin_manager::GetInterface("KUVO") == nullptr);
    QVERIFY(plugin_manager::GetInterface(nullptr) == nullptr);

    {
        HostPluginManager b;
        b.setMox(&moxB);
        QCOMPARE(static_cast<MoxIFC *>(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxB));
        a->makeCurrent();
        QCOMPARE(static_cast<MoxIFC *>(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxA));
        b.makeCurrent();
        QCOMPARE(static_cast<MoxIFC *>(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxB));
    }
    // b is gone: a is current again.
    QCOMPARE(HostPluginManager::current(), a);
    QCOMPARE(static_cast<MoxIFC *>(plugin_manager::GetInterface("MOX")), static_cast<MoxIFC *>(&moxA));

    // Destroyed out of order: the newer manager stays current, and after it
    // goes nothing dangling is left behind.
    auto *c = new HostPluginManager;
    delete a;
    QCOMPARE(HostPluginManager::current(), c);
    delete c;
    QVERIFY(HostPluginManager::current() == nullptr);
    QVERIFY(plugin_manager::GetInterface("MOX") == nullptr);
}

QTEST_GUILESS_MAIN(TestHostPluginManager)
#include "tst_hostpluginmanager.moc"
