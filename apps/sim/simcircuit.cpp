#include "simcircuit.h"

#include <QRegularExpression>

#include <cmath>
#include <complex>

namespace {

using Complex = std::vector<std::complex<double>>;

std::vector<double> realParts(const SimVector &v)
{
    std::vector<double> y;
    y.reserve(v.values.size());
    for (const auto &z : v.values)
        y.push_back(v.complex ? std::abs(z) : z.real());
    return y;
}

}  // namespace

QString SimCircuit::placedMessages(const QStringList &lines, const QStringList &places)
{
    static const QRegularExpression lineNo(QStringLiteral("^Netlist line no\\.\\s*(\\d+)\\s*:?\\s*(.*)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression brackets(QStringLiteral("\\[([^\\]]*)\\]"));
    static const QRegularExpression prefix(QStringLiteral("^(error|warning|note):\\s*"), QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    QString place;
    QString lastPlace;
    for (const QString &raw : lines) {
        QString line = raw.trimmed();
        const QRegularExpressionMatch m = lineNo.match(line);
        if (m.hasMatch()) {
            const int n = m.captured(1).toInt();
            place = places.value(n - 1);
            if (place.isEmpty())
                place = QStringLiteral("netlist line %1").arg(n);
            line = m.captured(2).trimmed();
        }
        // The failure itself is said by the caller; these lines only repeat it.
        // gmin and source stepping narrate their attempts: only the outcome counts.
        if (line.isEmpty() || line.contains(QLatin1String("cannot recover"))
            || line.contains(QLatin1String("check your input netlist"), Qt::CaseInsensitive)
            || line.contains(QLatin1String("gmin"), Qt::CaseInsensitive)
            || line.contains(QLatin1String("source stepping"), Qt::CaseInsensitive))
            continue;
        line.replace(brackets, QStringLiteral("\\1"));
        line.remove(prefix);
        if (!line.isEmpty() && line.at(0).isUpper() && (line.size() < 2 || !line.at(1).isUpper()))
            line[0] = line.at(0).toLower();
        const QString text = place.isEmpty() || place == lastPlace ? line : place + QStringLiteral(": ") + line;
        lastPlace = place;
        if (!out.contains(text, Qt::CaseInsensitive))
            out.append(text);
    }
    return out.join(QStringLiteral("; "));
}

bool SimCircuit::runBench(const SimAnalysis &a, const SimParameterValues &values, int drivenPort, QString *error)
{
    NgspiceEngine &engine = NgspiceEngine::instance();
    QStringList places;
    const QStringList netlist = simnetlist::build(m_design, values, a, drivenPort, &places);
    QString why;
    if (engine.run(netlist, &why)) {
        if (engine.hasResult())
            return true;
        engine.finish();
        why = QStringLiteral("the ngspice analysis %1 produced no result").arg(a.name);
    }
    if (error) {
        const QString said = placedMessages(engine.errorLines(), places);
        *error = said.isEmpty() ? why : why + QStringLiteral(": ") + said;
    }
    return false;
}

bool SimCircuit::runAnalysis(int index, const SimParameterValues &values, const QList<SimProbe> &probes,
                             SimResponse &response, QString *error)
{
    const SimAnalysis &a = m_design.analyses.at(index);
    NgspiceEngine &engine = NgspiceEngine::instance();
    const int ports = a.type == SimAnalysis::Ac ? int(a.ports.size()) : 0;  // the bench is ac only
    bool reverse = false;
    for (const SimProbe &p : probes) {
        if (p.analysis == index && p.kind == SimExpressionKind::Bench && p.bench.needsReverseRun() && ports > 1)
            reverse = true;
    }
    if (!runBench(a, values, 0, error))
        return false;
    if (a.type == SimAnalysis::Noise)
        engine.selectPlotWith(QStringLiteral("onoise_spectrum"));
    const std::vector<double> x = engine.scale();

    // The forward run's port voltages, for the bench forms.
    Complex s[2][2];
    QHash<QString, Complex> nodes;
    const auto voltage = [&](const QString &node) -> const Complex * {
        auto it = nodes.find(node.toLower());
        if (it == nodes.end()) {
            SimVector v;
            if (!engine.vector(QStringLiteral("v(%1)").arg(node), v) || v.values.size() != x.size())
                return nullptr;
            it = nodes.insert(node.toLower(), v.values);
        }
        return &it.value();
    };
    if (ports > 0) {
        const Complex *v1 = voltage(a.ports.at(0).node);
        const Complex *v2 = ports > 1 ? voltage(a.ports.at(1).node) : nullptr;
        if (!v1 || (ports > 1 && !v2)) {
            engine.finish();
            if (error)
                *error = QStringLiteral("ngspice produced no voltage at the ports of %1").arg(a.name);
            return false;
        }
        const double ratio = ports > 1 ? std::sqrt(a.ports.at(0).z0 / a.ports.at(1).z0) : 1.0;
        for (size_t i = 0; i < x.size(); ++i) {
            s[0][0].push_back((*v1)[i] - 1.0);
            if (v2)
                s[1][0].push_back((*v2)[i] * ratio);
        }
    }

    for (qsizetype k = 0; k < probes.size(); ++k) {
        const SimProbe &p = probes.at(k);
        if (p.analysis != index)
            continue;
        SimTrace &t = response.traces[size_t(k)];
        switch (p.kind) {
        case SimExpressionKind::Vector: {
            SimVector v;
            QString why;
            if (!engine.evaluate(p.text, v, &why)) {
                t.rejected = true;
                t.problem = QStringLiteral("ngspice: ") + why;
                break;
            }
            t.y = realParts(v);
            t.scalar = t.y.size() == 1 && (x.size() != 1 || !a.isSwept());
            if (!t.scalar) {
                if (t.y.size() != x.size()) {
                    t.problem = QStringLiteral("%1 has %2 values for %3 points of %4").arg(p.text).arg(t.y.size()).arg(x.size()).arg(a.name);
                    break;
                }
                t.x = x;
            }
            t.ok = !t.y.empty();
            if (!t.ok)
                t.problem = QStringLiteral("%1 produced no data").arg(p.text);
            break;
        }
        case SimExpressionKind::Measure: {
            double value = 0;
            QString why;
            bool noData = false;
            if (!engine.measure(a.typeName(), p.text, value, &why, &noData)) {
                t.rejected = !noData;
                t.problem = QStringLiteral("ngspice: ") + why;
                break;
            }
            t.scalar = true;
            t.y = {value};
            t.ok = true;
            break;
        }
        case SimExpressionKind::Bench: {
            const SimExpression &e = p.bench;
            const Complex *values = nullptr;
            if (e.quantity() == SimExpression::NodeVoltage)
                values = voltage(e.node());
            else if (e.column() == 1)
                values = &s[e.row() - 1][0];
            if (!values || (!e.needsReverseRun() && values->size() != x.size())) {
                if (!e.needsReverseRun())
                    t.problem = QStringLiteral("%1 was not simulated").arg(e.text());
                break;
            }
            t.x = x;
            for (const auto &z : *values)
                t.y.push_back(e.apply(z));
            t.ok = true;
            break;
        }
        }
    }
    engine.finish();

    if (reverse) {
        if (!runBench(a, values, 1, error))
            return false;
        SimVector b1, b2;
        const bool ok = engine.vector(QStringLiteral("v(%1)").arg(a.ports.at(0).node), b1)
                     && engine.vector(QStringLiteral("v(%1)").arg(a.ports.at(1).node), b2)
                     && b1.values.size() == x.size() && b2.values.size() == x.size();
        engine.finish();
        if (!ok) {
            if (error)
                *error = QStringLiteral("the reverse run of %1 gave another frequency grid").arg(a.name);
            return false;
        }
        const double ratio = std::sqrt(a.ports.at(1).z0 / a.ports.at(0).z0);
        for (size_t i = 0; i < x.size(); ++i) {
            s[1][1].push_back(b2.values[i] - 1.0);
            s[0][1].push_back(b1.values[i] * ratio);
        }
        for (qsizetype k = 0; k < probes.size(); ++k) {
            const SimProbe &p = probes.at(k);
            if (p.analysis != index || p.kind != SimExpressionKind::Bench || !p.bench.needsReverseRun())
                continue;
            SimTrace &t = response.traces[size_t(k)];
            t.x = x;
            for (const auto &z : s[p.bench.row() - 1][1])
                t.y.push_back(p.bench.apply(z));
            t.ok = true;
        }
    }
    return true;
}

bool SimCircuit::simulate(const SimParameterValues &values, const QList<SimProbe> &probes, SimResponse &response,
                          QString *error)
{
    ++m_simulations;
    SimResponse out;
    out.traces.resize(size_t(probes.size()));
    QList<int> analyses;
    for (const SimProbe &p : probes) {
        if (p.analysis >= 0 && p.analysis < m_design.analyses.size() && !analyses.contains(p.analysis))
            analyses.append(p.analysis);
    }
    std::sort(analyses.begin(), analyses.end());
    for (const int index : std::as_const(analyses)) {
        if (!runAnalysis(index, values, probes, out, error))
            return false;
    }
    for (qsizetype k = 0; k < probes.size(); ++k) {
        SimTrace &t = out.traces[size_t(k)];
        if (!t.ok && t.problem.isEmpty())
            t.problem = QStringLiteral("not simulated");
    }
    response = std::move(out);
    return true;
}
