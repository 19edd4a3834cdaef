#pragma once

// Simulates a design's circuit at given parameter values, one ngspice run per
// analysis a goal needs, and hands out what each goal asks for (a probe):
// a trace over the analysis' independent variable or a scalar.
//
// Probes of three kinds (see simexpression.h):
// - Vector: an ngspice vector expression, evaluated by ngspice itself with
//   "let" in the analysis' result (noise: the spectrum plot). A complex result
//   counts by its magnitude; a result of one value is a scalar.
// - Measure: "meas <analysis> <name> <rest>" over the result: a scalar.
// - Bench: S-parameters and node voltages of an ac analysis with ports. With
//   the driven port fed by 2 V behind its reference impedance Z0 (incident
//   voltage 1 V) and the other port terminated in its own Z0:
//
//     S11 = V(port1) - 1                  S21 = V(port2) * sqrt(Z01 / Z02)
//     S22 = V(port2) - 1  (port 2 driven) S12 = V(port1) * sqrt(Z02 / Z01)
//
//   The reverse run (port 2 driven) happens only when a probe needs S12 or S22.
//
// ngspice's error lines about the netlist name the user's own lines
// (SimDesign::circuitPlaces): "circuit[0]: undefined parameter c1x".

#include "ngspiceengine.h"
#include "simdesign.h"
#include "simexpression.h"
#include "simnetlist.h"

#include <QList>

#include <vector>

struct SimProbe
{
    int analysis = -1;  // index into the design's analyses; -1: nothing to simulate
    SimExpressionKind kind = SimExpressionKind::Vector;
    SimExpression bench;  // kind Bench
    QString text;         // kind Vector: the expression; Measure: the rest of the .meas line
};

struct SimTrace
{
    bool ok = false;        // the probe has a value
    bool rejected = false;  // ngspice refused the expression itself (not just found no data)
    QString problem;        // why there is no value
    bool scalar = false;    // one value with no independent variable
    std::vector<double> x;  // the independent variable (empty for a scalar)
    std::vector<double> y;
};

struct SimResponse
{
    std::vector<SimTrace> traces;  // one per probe, in order
};

class SimCircuit
{
public:
    explicit SimCircuit(const SimDesign &design) : m_design(design) {}

    // values: every .param of the run (fixed parameters and variables). False
    // when a run failed (the netlist, the analysis); a probe without a value
    // is not a failure here, its trace says why.
    bool simulate(const SimParameterValues &values, const QList<SimProbe> &probes, SimResponse &response,
                  QString *error);

    qint64 simulationCount() const { return m_simulations; }

    // ngspice's error lines with their netlist line numbers turned into the
    // places of the lines (places: one per netlist line); lines that only
    // repeat the failure are left out.
    static QString placedMessages(const QStringList &lines, const QStringList &places);

private:
    bool runAnalysis(int index, const SimParameterValues &values, const QList<SimProbe> &probes,
                     SimResponse &response, QString *error);
    bool runBench(const SimAnalysis &a, const SimParameterValues &values, int drivenPort, QString *error);

    const SimDesign &m_design;
    qint64 m_simulations = 0;
};
