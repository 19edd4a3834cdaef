#pragma once

// The offline mode: runs the design's optimization(s) without a bus and
// prints one line per iteration, then the result.
//
//   iter <n> error <error of this point> best <best error>[ *]   (* = improved)
//   done <optimization name>: <stop reason>; best error <e> after <n> iterations,
//        <s> simulations, <t> ms
//   <netlistName> = <value text>[ (<list entry>)]                (per variable)

#include "simdesign.h"

#include <QTextStream>

#include <optional>

struct SimHeadlessOptions
{
    int iterations = 30;              // iteration limit (overrides the design's)
    int optimization = -1;            // sweep entry, -1 for every one
    std::optional<int> algorithm;     // overrides the design's algorithm code
    bool quiet = false;               // only the summary lines
    quint32 seed = 4242;
};

// 0 on success, 4 when a simulation failed for good.
int simRunHeadless(const SimDesign &design, const SimHeadlessOptions &options, QTextStream &out);
