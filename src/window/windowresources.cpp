#include "windowresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace; the name is the .qrc
// file's base name.
static void registerHelmdeckResources()
{
    Q_INIT_RESOURCE(helmdeckresources);
}

void initHelmdeckResources()
{
    static const bool registered = [] {
        registerHelmdeckResources();
        return true;
    }();
    Q_UNUSED(registered);
}
