#pragma once

// Numbers with engineering suffixes and units, as the design file and the
// helmdeck write them: "10 nH", "10n", "2.2kOhm", "1.5 GHz", "-3 dB", "1e-9".
//
// The simulator cannot link the host's units library, so it reads and writes
// the same text form itself: one of the suffixes f p n u m k M G T (case
// matters: m is milli, M is mega; also the micro signs), then optionally one
// of the known units. A bare number is read in the units it is expected in,
// suffix included ("2" expected in "nH" is 2 nH). Values are written scaled
// to the suffix that puts the number in [1, 1000), with six significant
// digits, number and unit joined by one blank ("1.5 nH").

#include <QString>

namespace simvalue {

// The unit without its suffix ("nH" -> "H", "kOhm" -> "Ohm", "m" -> "");
// a text that is not a known unit comes back trimmed and unchanged.
QString baseUnit(const QString &unit);

// Reads text; expectedUnit scales a bare number and, when not empty, must
// have the same base unit as a unit the text carries. False for anything
// else (empty, malformed, unknown unit, mismatch, not finite).
bool parse(const QString &text, const QString &expectedUnit, double &value);

// Convenience: the parsed value, or fallback when the text does not parse.
double parseOr(const QString &text, const QString &expectedUnit, double fallback);

// "1.5 nH" for 1.5e-9 with unit "H" (or "nH"); unscaled "%g" for units that
// take no suffix (dB, %, deg) and for an empty unit.
QString format(double value, const QString &unit, int digits = 6);

// Plain C-locale "%.*g" text without units, e.g. for netlist numbers.
QString plain(double value, int digits = 12);

}  // namespace simvalue
