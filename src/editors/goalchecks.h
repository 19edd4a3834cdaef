#pragma once

// The checks behind the goal editor's yellow cells: what is wrong with a
// goal's info fields, a limit line and an independent-variable range, the
// message each cell shows, and how many faults a goal has in all.
//
// The editors keep every text exactly as typed, faulty or not, so the user
// sees what he typed; a goal with a fault is never handed out. Values are
// read as values with units ("10 MHz", "-3 dB", "1e9").

#include "model/optiminputrecords.h"

#include <QString>

#include <optional>

namespace goalcheck {

// Limit line problems.
enum LimitProblem {
    LimitNameEmpty = 0x1,
    LimitWeightEmpty = 0x2,
    FirstValueEmpty = 0x4,
    SecondValueEmpty = 0x8,
    FirstValueInvalid = 0x20,
    SecondValueInvalid = 0x40,
    LimitWeightInvalid = 0x80,
    LimitWeightNegative = 0x100,
    MinAboveMax = 0x200,
    LimitNameInvalid = 0x400,
    LimitNameDuplicate = 0x800,
};

// Independent-variable range problems (empty bounds are allowed).
enum RangeProblem {
    LowerInvalid = 0x1,
    UpperInvalid = 0x2,
    LowerAboveUpper = 0x4,
};

// Goal info problems.
enum InfoProblem {
    NameEmpty = 0x1,
    NameInvalid = 0x2,
    ExpressionEmpty = 0x4,
    AnalysisEmpty = 0x8,
    WeightEmpty = 0x10,
    WeightInvalid = 0x20,
    WeightNegative = 0x40,
    IndepVarNameInvalid = 0x80,
};

// The cells of a limit line that carry messages.
enum class LimitField { Name, FirstValue, SecondValue, Weight };
enum class InfoField { Name, Expression, Analysis, Weight, IndepVars };

// The number a value with units stands for (in base units); none for an
// empty text or one that is not a valid value with units. With units given
// a bare number is read in them and a text with units of its own must have
// their base unit ("900 MHz" with "Hz", not "5 nH").
std::optional<double> valueOf(const QString &text, const QString &units = QString());
// The text the simulator reads as the same number: a plain number stays as
// typed, a value with units becomes its number in base units ("10 MHz"
// gives "10000000"). Texts that are no valid value stay as they are.
QString plainNumberText(const QString &text, const QString &units = QString());
// A range bound as the editor shows it: a plain number (as the simulator
// sends it, "800000000" or "2e+09") written with the units and an
// engineering prefix ("800 MHz", "2 GHz"); a text with units of its own, or
// one that is no valid value, is shown as typed.
QString boundDisplayText(const QString &text, const QString &units);

// A goal name the goal netlist can carry: no blanks, double quotes,
// backslashes, colons, equals signs or brackets.
bool isValidGoalName(const QString &name);
// A limit or independent-variable name the goal netlist can carry quoted:
// no double quote and no line break.
bool isValidQuotedName(const QString &name);

int limitProblems(const OptimGoalLimitInput &limit);
// The problems of the goal's limit i, with a name another limit of the
// goal has too.
int limitProblems(const OptimGoalInput &goal, qsizetype i);
// Bounds are read in the independent variable's units.
int rangeProblems(const QString &lowerBound, const QString &upperBound, const QString &units = QString());
int infoProblems(const OptimGoalInput &goal);

// The message a cell shows for the flags, the first that applies; empty
// when the cell is fine.
QString limitMessage(int flags, LimitField field);
QString rangeMessage(int flags, bool upperBound);
QString infoMessage(int flags, InfoField field);

// Whether the limit type (a code 0..4) edits a second value.
bool hasSecondValue(int limitType);

// The number of editable cells and fields of the goal that show a message:
// the four info fields, every limit's name, value(s) and weight, and the
// range bounds of each independent variable in each limit.
int faultCount(const OptimGoalInput &goal);

// The goal as the simulator is to get it: every limit value, weight and
// range bound written as a plain number (see plainNumberText), the limits'
// parsed values set from them.
OptimGoalInput withPlainNumbers(const OptimGoalInput &goal);

// Gives limit its range bound for independent variable k (of count in the
// goal), keeping one range per independent variable in order, each range's
// index its position.
void setRangeBound(OptimGoalLimitInput &limit, int k, int count, bool upperBound, const QString &text);

} // namespace goalcheck
