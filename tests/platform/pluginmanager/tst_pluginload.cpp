// A library loaded with dlopen finds the host's plug-in manager through
// plugin_manager::GetInterface, resolved at load time against the host.

#include "hostpluginmanager.h"
#include "moxinterpreter.h"

#include <QTest>

#include <dlfcn.h>

class TestPluginLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolvesGetInterfaceAtLoad();
};

void TestPluginLoad::resolvesGetInterfaceAtLoad()
{
    void *library = dlopen(PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library, dlerror());
    using Probe = int (*)();
    auto probe = reinterpret_cast<Probe>(dlsym(library, "probeMoxVersion"));
    QVERIFY(probe);

    QCOMPARE(probe(), -1);  // no manager yet
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

QTEST_GUILESS_MAIN(TestPluginLoad)
#include "tst_pluginload.moc"
