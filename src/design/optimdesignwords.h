#pragma once

// The answers of the script words through which the host reads the current
// optimization's definitions (variables, goals, the algorithm) and has goal
// parameter lists turned into netlist text. Each answers a new MOX value for
// the host to take, or null for "no value".
//
// input is the current optimization's definitions, null when no helmdeck is
// open; index is the word's integer argument, none when it could not be read.

#include "model/optiminputrecords.h"

#include <optional>

class MoxIFC;
struct MoxValue;

namespace optimdesignwords {

// TRUE exactly when the variable exists and its check reports a problem.
MoxValue *variableIsValid(MoxIFC *mox, const OptimModelInput *input, std::optional<qint64> index);
MoxValue *fetchVariable(MoxIFC *mox, const OptimModelInput *input, std::optional<qint64> index);
MoxValue *fetchAlgorithm(MoxIFC *mox, const OptimModelInput *input, bool argumentRead);
// Goals whose item is not in the design, or that stand for another kind of
// design item, are not handed out.
MoxValue *fetchGoal(MoxIFC *mox, const OptimModelInput *input, std::optional<qint64> index);
MoxValue *goalNetlist(MoxIFC *mox, const MoxValue *parameterInfo);
// A goal as the parameter-information list the helmdeck hands out.
MoxValue *goalParameterInfo(MoxIFC *mox, const OptimGoalInput &goal);

} // namespace optimdesignwords
