#pragma once

// The netlist text ngspice simulates for one analysis of a design at one set
// of values:
//
//   <title line>
//   .param <name>=<number>            fixed parameters, then variables
//   <the design's circuit lines>
//   * helmdeck-sim test bench: port <p> driven      (an ac analysis with ports)
//   Vhd_drive hd_drive 0 DC 0 AC 2    2 V behind the driven port's Z0, so that
//   Rhd_port<p> hd_drive <node> <Z0>  the incident voltage is 1 V
//   Rhd_port<q> <node> 0 <Z0>         the other port terminated in its Z0
//   <the analysis line>               .ac, .op, .dc, .tran or .noise
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

// drivenPort is 0-based and below the analysis' port count (ignored without
// ports). places, when given, receives for each netlist line where it comes
// from: the design's circuitPlaces for circuit lines, "parameter NAME",
// "analysis NAME" for the lines the simulator adds.
QStringList build(const SimDesign &design, const SimParameterValues &values, const SimAnalysis &analysis,
                  int drivenPort = 0, QStringList *places = nullptr);

// The analysis line: ".ac dec 10 1000 1e+06", ".tran 1e-06 0.001", ...
QString analysisLine(const SimAnalysis &analysis);

// The fixed parameters parsed to numbers (a text that does not parse gives 0).
SimParameterValues numericParameters(const SimParameters &parameters);

}  // namespace simnetlist
