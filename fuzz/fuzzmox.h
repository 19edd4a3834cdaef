#pragma once

// The one MOX interpreter a fuzz target evaluates its inputs with, made on
// first use and kept for the process (a fresh one per input would spend the
// run on setup), with an empty "fuzz" vocabulary.

#include "mox/moxinterpreter.h"

inline MoxInterpreter *fuzzInterpreter()
{
    static MoxInterpreter *mox = [] {
        auto *m = new MoxInterpreter;
        m->registerVocabulary("fuzz", {});
        return m;
    }();
    return mox;
}
