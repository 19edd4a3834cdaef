// The library's two exported entry points, under plain undecorated names.
// Everything else in the library is hidden.

#include "plugin/optimhelmdeckplugin.h"

#define HELMDECK_EXPORT extern "C" __attribute__((visibility("default")))

HELMDECK_EXPORT int GetLibraryVersion()
{
    return 100;
}

HELMDECK_EXPORT void RegisterLibraryContents(PluginManagerIFC *manager)
{
    OptimHelmdeckPlugin::instance()->registerWithHost(manager);
}
