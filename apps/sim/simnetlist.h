#pragma once

// The netlist text ngspice simulates for one design at one set of values:
//
//   <title line>
//   .param <name>=<number>            fixed parameters, then variables
//   <the design's circuit lines>
//   * helmdeck-sim test bench: port <p> driven
//   Vhd_drive hd_drive 0 DC 0 AC 2    2 V behind the driven port's Z0, so that
//   Rhd_port<p> hd_drive <node> <Z0>  the incident voltage is 1 V
//   Rhd_port<q> <node> 0 <Z0>         the other port terminated in its Z0
//   .ac <lin|dec|oct> <points> <start> <stop>
//   .end
//
// Names beginning with "hd_" (nodes) and "Vhd_"/"Rhd_" (elements) belong to
// the bench. Numbers are written in plain C-locale form with 12 significant
// digits, so no engineering suffix ever reaches ngspice.

#include "simdesign.h"

#include <QList>
#include <QPair>
#include <QStringList>

using SimParameterValues = QList<QPair<QString, double>>;

namespace simnetlist {

// drivenPort is 0-based and must be below the design's port count.
QStringList build(const SimDesign &design, const SimParameterValues &values, int drivenPort);

// The fixed parameters parsed to numbers (a text that does not parse gives 0).
SimParameterValues numericParameters(const SimParameters &parameters);

}  // namespace simnetlist
