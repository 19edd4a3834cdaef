#include "simcircuit.h"

#include <cmath>

const std::vector<std::complex<double>> *SimResponse::quantity(const SimExpression &e) const
{
    if (e.quantity() == SimExpression::NodeVoltage) {
        auto it = voltages.constFind(e.node());
        return it == voltages.constEnd() ? nullptr : &it.value();
    }
    const int r = e.row() - 1;
    const int c = e.column() - 1;
    if (r < 0 || r > 1 || c < 0 || c > 1 || s[r][c].empty())
        return nullptr;
    return &s[r][c];
}

bool SimCircuit::simulate(const SimParameterValues &values, const QList<SimExpression> &expressions,
                          SimResponse &response, QString *error)
{
    const SimAnalysis &a = m_design.analysis;
    const int ports = int(a.ports.size());
    bool reverse = false;
    QStringList nodes;
    for (const SimPort &p : a.ports)
        nodes.append(p.node.toLower());
    for (const SimExpression &e : expressions) {
        if (e.quantity() == SimExpression::NodeVoltage && e.node() != QLatin1String("0") && !nodes.contains(e.node()))
            nodes.append(e.node());
        if (e.needsReverseRun() && ports > 1)
            reverse = true;
    }

    NgspiceEngine &engine = NgspiceEngine::instance();
    SimResponse out;
    SimAcResult forward;
    ++m_simulations;
    if (!engine.runAc(simnetlist::build(m_design, values, 0), nodes, forward, error))
        return false;
    out.frequency = forward.frequency;
    out.voltages = forward.voltages;
    const size_t n = out.frequency.size();
    const auto &v1 = forward.voltages.value(nodes.at(0));
    out.s[0][0].resize(n);
    for (size_t i = 0; i < n; ++i)
        out.s[0][0][i] = v1[i] - 1.0;
    if (ports > 1) {
        const double ratio = std::sqrt(a.ports.at(0).z0 / a.ports.at(1).z0);
        const auto &v2 = forward.voltages.value(nodes.at(1));
        out.s[1][0].resize(n);
        for (size_t i = 0; i < n; ++i)
            out.s[1][0][i] = v2[i] * ratio;
    }
    if (reverse) {
        SimAcResult back;
        if (!engine.runAc(simnetlist::build(m_design, values, 1), nodes.mid(0, 2), back, error))
            return false;
        if (back.frequency.size() != n) {
            if (error)
                *error = QStringLiteral("the reverse run gave another frequency grid");
            return false;
        }
        const double ratio = std::sqrt(a.ports.at(1).z0 / a.ports.at(0).z0);
        const auto &b1 = back.voltages.value(nodes.at(0));
        const auto &b2 = back.voltages.value(nodes.at(1));
        out.s[1][1].resize(n);
        out.s[0][1].resize(n);
        for (size_t i = 0; i < n; ++i) {
            out.s[1][1][i] = b2[i] - 1.0;
            out.s[0][1][i] = b1[i] * ratio;
        }
    }
    response = std::move(out);
    return true;
}
