#include "windoweditors.h"

namespace {

OptimHelmdeckEditorHooks &hooksStore()
{
    static OptimHelmdeckEditorHooks hooks;
    return hooks;
}

} // namespace

void setOptimHelmdeckEditorHooks(const OptimHelmdeckEditorHooks &hooks)
{
    hooksStore() = hooks;
}

const OptimHelmdeckEditorHooks &optimHelmdeckEditorHooks()
{
    return hooksStore();
}
