// The goal parameter map reader: a MOX text that evaluates to a
// parameter-information list, list(list(N, NAME), list(KEY, COUNT,
// list(VALUE...)), ...), taken the whole road a goal from the host takes.

#include "design/optimgoalparametermap.h"
#include "fuzzmox.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MoxInterpreter *mox = fuzzInterpreter();
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    MoxValue *value = mox->evaluate("fuzz", text);
    if (!value)
        return 0;
    OptimGoalParameterMap map;
    if (optimgoalmap::fromParameterInfo(mox, value, map)) {
        optimgoalmap::toParameterInfo(optimgoalmap::quoted(map));
        optimgoalmap::netlistOf(map);
    }
    mox->release(value);
    return 0;
}
