#pragma once

// The goal parameter map: the one form through which a goal passes between
// the host's parameter-information list, the helmdeck's goal record and the
// goal's netlist text. Keys ("Name", "Expr", "LimitName", "Indep1Min", ...)
// map to lists of value texts, sorted by key.

#include "design/optimparameterinfo.h"
#include "model/optiminputrecords.h"

#include <QMap>

#include <optional>

class MoxIFC;
struct MoxValue;

using OptimGoalParameterMap = QMap<QString, QStringList>;

namespace optimgoalmap {

// The netlist has room for the bounds of this many independent variables per goal.
constexpr int kMaxIndepVars = 6;

// Wraps a text in double quotes unless it already is (two characters at
// least, a quote at both ends); the empty text becomes "".
QString quote(const QString &text);
// Removes one pair of surrounding double quotes, if there is one.
QString unquote(const QString &text);
// The long limit type name of a long name or a short symbol (">", "<", "=");
// empty for anything else.
QString normalizedLimitType(const QString &text);

// A parameter-information list as the host hands it in,
// list(list(N, NAME), list(KEY, COUNT, list(VALUE...)), ...), as a map with
// unquoted values. False when the header is missing or N is no integer.
bool fromParameterInfo(MoxIFC *mox, const MoxValue *info, OptimGoalParameterMap &map);
// Turns a goal of the old single-limit form (Min, Max, RangeVar...) into one
// limit "Limit1"; maps that have limits already, or no old bounds, stay.
void upgradeOldForm(OptimGoalParameterMap &map);
OptimGoalInput toGoal(const OptimGoalParameterMap &map);
OptimGoalParameterMap fromGoal(const OptimGoalInput &goal);
// Quotes the values of Expr, SimInstanceName, IndepVar, LimitName and LimitType.
OptimGoalParameterMap quoted(const OptimGoalParameterMap &map);
// The list the helmdeck hands out: the name, then every other key with its
// (quoted) values. None for an empty map.
std::optional<OptimParameterInfo> toParameterInfo(const OptimGoalParameterMap &map);
// The netlist text of a quoted map. None when the goal has more
// independent variables than the netlist can take, or when a text holds a
// line break or a double quote the quoting rules did not put there.
std::optional<QString> toNetlist(const OptimGoalParameterMap &quotedMap);

// The whole road of a goal the host hands in: upgraded, normalized through
// the goal record, quoted, written as netlist text.
std::optional<QString> netlistOf(OptimGoalParameterMap map);

} // namespace optimgoalmap
