#pragma once

// Value texts of an optimization variable, read in the variable's own unit.
//
// A bare number is in that unit ("2" with "nH" is 2 nH) and a text with its
// own suffix or unit is converted into it ("1p" with "F" is 1e-12), which is
// how the simulator reads variable values. A discrete variable with a
// design value list is held as a position in that list. The views of the
// window, the tuning sliders and the typed-value checks all read and show
// values through these functions, so they agree on what a text means.

#include "model/optiminputrecords.h"

#include <QString>

#include <optional>

namespace VarValues {
// The number in the variable's unit, or nothing when the text is empty or
// not a number in that unit (wrong base unit, malformed, out of range).
std::optional<double> number(const QString &text, const QString &unit);
// The host's value-with-units form ("10 nH", "5 pF"); a text that does not
// read is shown as typed, with the unit after it.
QString withUnits(const QString &text, const QString &unit);

// The bound texts a continuous slider uses for constraint types 1, 3 and 4
// (3 and 4 derive them from the centre and the deviation or percentage,
// written with 6 significant digits); empty texts for other types.
void boundTexts(const OptimVarInput &variable, QString *lower, QString *upper);
// Whether the variable is one of a discrete variable's listed design
// values, held as a position in that list.
bool hasValueList(const OptimVarInput &variable);
// Whether a typed value text is a value the simulator reads for this
// variable; *problem (when given) says why not.
bool isAcceptable(const OptimVarInput &variable, const QString &text, QString *problem = nullptr);
// For a variable with a design value list: the position a typed text stands
// for (a position, or one of the listed values typed in any form).
std::optional<int> listPosition(const OptimVarInput &variable, const QString &text);
// The value as a field shows it: the listed value at its position, or the
// value text as it is.
QString fieldText(const OptimVarInput &variable);
} // namespace VarValues
