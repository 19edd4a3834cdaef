#pragma once

// Simulates a design's circuit at given parameter values and hands out the
// quantities goal expressions ask for.
//
// S-parameters of the two-port come from one AC run per driven port. With
// the driven port fed by 2 V behind its reference impedance Z0 (incident
// voltage 1 V) and the other port terminated in its own Z0:
//
//   S11 = V(port1) - 1                 S21 = V(port2) * sqrt(Z01 / Z02)
//   S22 = V(port2) - 1  (port 2 driven) S12 = V(port1) * sqrt(Z02 / Z01)
//
// The reverse run (port 2 driven) happens only when an expression needs S12
// or S22.

#include "ngspiceengine.h"
#include "simdesign.h"
#include "simexpression.h"
#include "simnetlist.h"

#include <QList>

#include <complex>
#include <vector>

struct SimResponse
{
    std::vector<double> frequency;
    std::vector<std::complex<double>> s[2][2];  // empty when not simulated
    QHash<QString, std::vector<std::complex<double>>> voltages;  // forward run, by lower-case node

    // The complex quantity an expression reads, or nullptr when it was not simulated.
    const std::vector<std::complex<double>> *quantity(const SimExpression &e) const;
};

class SimCircuit
{
public:
    explicit SimCircuit(const SimDesign &design) : m_design(design) {}

    // values: every .param of the run (fixed parameters and variables).
    bool simulate(const SimParameterValues &values, const QList<SimExpression> &expressions, SimResponse &response,
                  QString *error);

    qint64 simulationCount() const { return m_simulations; }

private:
    const SimDesign &m_design;
    qint64 m_simulations = 0;
};
