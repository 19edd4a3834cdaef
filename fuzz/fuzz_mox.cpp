// The MOX parser and evaluator: any text is evaluated; the value's printed
// form is made and every handle goes back (the interpreter counts them).

#include "fuzzmox.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MoxInterpreter *mox = fuzzInterpreter();
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    MoxValue *value = mox->evaluate("fuzz", text);
    mox->printed(value);
    mox->release(value);
    mox->evaluateToText("fuzz", text);
    if (mox->liveValues() != 0)
        std::abort();  // a handle the interpreter handed out was never taken back
    return 0;
}
