#pragma once

// The host's plug-in manager as the plug-in sees it: the handle given to
// RegisterLibraryContents, and plugin_manager::GetInterface for code that runs
// before a handle is known.
//
// Interfaces are handed out by name as untyped pointers; the caller converts
// with static_cast, never with dynamic_cast, because type information is not
// shared reliably across the library boundary:
//
//   "MOX"   -> MoxIFC*   (host/moxifc.h)
//   "KUVO"  -> KuvoIFC*  (host/kuvoifc.h)
//
// Any other name, or an interface the host does not offer, gives null.

#include <QByteArray>

// The plug-in object the host talks to once it is registered. The host calls
// handleMessage for every KUVO message addressed to the plug-in.
class PluginObjectIFC
{
public:
    virtual ~PluginObjectIFC() = default;
    virtual int interfaceVersion() const = 0;
    virtual void handleMessage(int sender, int kind, const QByteArray &text) = 0;
};

class PluginManagerIFC
{
public:
    virtual ~PluginManagerIFC() = default;

    virtual void *getInterface(const char *name) = 0;

    // The object stays the plug-in's; the host keeps a pointer to it. A later
    // registration under the same name replaces the earlier one. False for
    // an empty name or a null object.
    virtual bool registerPluginObject(const char *interfaceName, PluginObjectIFC *object) = 0;

    virtual void reportFailure(const char *text) = 0;
};

namespace plugin_manager {

// The same interfaces as PluginManagerIFC::getInterface of the host's current
// plug-in manager; null while the host has none. Defined by the host and
// resolved when the plug-in is loaded, so it keeps default visibility even
// in a library built with hidden symbols.
__attribute__((visibility("default"))) void *GetInterface(const char *name);

} // namespace plugin_manager
