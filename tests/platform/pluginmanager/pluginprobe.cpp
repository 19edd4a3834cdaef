// A stand-in plug-in library for the load test: built like the real plug-in
// (hidden symbols, linked against the interfaces only), it reaches the host's
// plug-in manager solely through plugin_manager::GetInterface.

#include "hostifc/moxifc.h"
#include "hostifc/pluginmanagerifc.h"

extern "C" __attribute__((visibility("default"))) int probeMoxVersion()
{
    auto *mox = static_cast<MoxIFC *>(plugin_manager::GetInterface("MOX"));
    return mox ? mox->version() : -1;
}
