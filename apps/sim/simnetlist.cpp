#include "simnetlist.h"

#include "simvalue.h"

namespace simnetlist {

QStringList build(const SimDesign &design, const SimParameterValues &values, const SimAnalysis &a, int drivenPort,
                  QStringList *places)
{
    QStringList lines;
    QStringList from;
    const QString analysisPlace = QStringLiteral("analysis %1").arg(a.name);
    QString title = design.title.simplified();
    lines.append(title.isEmpty() ? QStringLiteral("helmdeck-sim circuit") : title);
    from.append(QStringLiteral("title"));
    for (const auto &v : values) {
        lines.append(QStringLiteral(".param %1=%2").arg(v.first, simvalue::plain(v.second, 12)));
        from.append(QStringLiteral("parameter %1").arg(v.first));
    }
    lines.append(design.circuit);
    for (qsizetype i = 0; i < design.circuit.size(); ++i)
        from.append(design.circuitPlaces.value(i, QStringLiteral("circuit[%1]").arg(i)));

    if (a.type == SimAnalysis::Ac && !a.ports.isEmpty()) {
        lines.append(QStringLiteral("* helmdeck-sim test bench: port %1 driven").arg(drivenPort + 1));
        lines.append(QStringLiteral("Vhd_drive hd_drive 0 DC 0 AC 2"));
        for (qsizetype p = 0; p < a.ports.size(); ++p) {
            const SimPort &port = a.ports.at(p);
            const QString z0 = simvalue::plain(port.z0, 12);
            if (p == drivenPort)
                lines.append(QStringLiteral("Rhd_port%1 hd_drive %2 %3").arg(p + 1).arg(port.node, z0));
            else
                lines.append(QStringLiteral("Rhd_port%1 %2 0 %3").arg(p + 1).arg(port.node, z0));
        }
    }
    lines.append(analysisLine(a));
    lines.append(QStringLiteral(".end"));
    while (from.size() < lines.size())
        from.append(analysisPlace);
    if (places)
        *places = from;
    return lines;
}

QString analysisLine(const SimAnalysis &a)
{
    const auto n = [](double x) { return simvalue::plain(x, 12); };
    switch (a.type) {
    case SimAnalysis::Op:
        return QStringLiteral(".op");
    case SimAnalysis::Dc:
        return QStringLiteral(".dc %1 %2 %3 %4").arg(a.source, n(a.start), n(a.stop), n(a.step));
    case SimAnalysis::Tran:
        return QStringLiteral(".tran %1 %2%3").arg(n(a.step), n(a.stop), a.start > 0 ? QLatin1Char(' ') + n(a.start) : QString());
    case SimAnalysis::Noise:
        return QStringLiteral(".noise v(%1) %2 %3 %4 %5 %6")
            .arg(a.output, a.source, a.sweep, QString::number(a.points), n(a.start), n(a.stop));
    case SimAnalysis::Ac:
        break;
    }
    return QStringLiteral(".ac %1 %2 %3 %4").arg(a.sweep).arg(a.points).arg(n(a.start), n(a.stop));
}

SimParameterValues numericParameters(const SimParameters &parameters)
{
    SimParameterValues result;
    for (const auto &p : parameters)
        result.append({p.first, simvalue::parseOr(p.second, QString(), 0.0)});
    return result;
}

}  // namespace simnetlist
