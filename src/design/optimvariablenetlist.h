#pragma once

// Optimization variables and the algorithm as the host's netlist wants them:
// the problem check of one variable (shared with the variable editor), its
// netlist line, the positions-in-a-list form of discrete design values, and
// the algorithm's parameter list.

#include "design/optimparameterinfo.h"
#include "model/optiminputrecords.h"

#include <optional>

// Problems the variable check reports, as flags.
enum OptimVarProblem {
    VarNoValue = 0x1,             // the nominal value is empty
    VarNoCentre = 0x2,            // +/- types: the centre (param1) is empty
    VarNoMin = 0x4,               // min/max types: min (param1) is empty
    VarNoMax = 0x8,               // min/max types: max (param2) is empty
    VarNoStep = 0x10,             // discrete: the step (param3) is empty
    VarNoDelta = 0x20,            // +/- delta: the delta (param2) is empty
    VarNoPercent = 0x40,          // +/- percent: the percentage (param2) is empty
    VarValueOutOfRange = 0x80,    // the nominal value lies outside the allowed interval
    VarMinAboveMax = 0x100,       // min/max: max < min
    VarStepSignWrong = 0x200,     // discrete: the step leads away from max
    VarStepZero = 0x400,          // discrete: the step is zero
};

// Checks a variable as a whole and answers its problem flags (0: none).
// Numbers are read as values with units in the variable's unit; a
// comparison is made only when every text it needs reads as a number.
int optimVariableProblems(const OptimVarInput &variable);

// The variable's netlist line, "NAME = VALUE opt { CLAUSE }", texts copied
// as they are. None when the variable is neither in the design nor
// optimized, when its constraint code is unknown, or when a text holds a
// line break (it would end the line early in the host's netlist).
std::optional<QString> optimVariableNetlistLine(const OptimVarInput &variable);

// Discrete variables whose design value list is not empty keep their value,
// min and max as positions in that list. The listed value at a position
// text ("8" gives "8.2 pF" in an E12 list); none when the variable has no
// list or the text is no valid position.
std::optional<QString> optimDesignValueAt(const OptimVarInput &variable, const QString &position);
// The position a typed text stands for: one of the listed values (blanks
// and case ignored) or a position itself; none for anything else.
std::optional<int> optimDesignValuePosition(const OptimVarInput &variable, const QString &typed);
// Whether values of the variable are positions in its design value list.
bool optimUsesDesignValues(const OptimVarInput &variable);

// The simulator keywords of an algorithm code; empty for code 0 and unknown codes.
QString optimAlgorithmOptimType(int algorithmType);
QString optimAlgorithmErrorForm(int algorithmType);
// The algorithm as the host stores it: its name, then OptimType, ErrorForm
// and MaxIters with one value each.
OptimParameterInfo optimAlgorithmParameters(const OptimAlgInput &algorithm);
