#include "simnetlist.h"

#include "simvalue.h"

namespace simnetlist {

QStringList build(const SimDesign &design, const SimParameterValues &values, int drivenPort)
{
    QStringList lines;
    QString title = design.title.simplified();
    lines.append(title.isEmpty() ? QStringLiteral("helmdeck-sim circuit") : title);
    for (const auto &v : values)
        lines.append(QStringLiteral(".param %1=%2").arg(v.first, simvalue::plain(v.second, 12)));
    lines.append(design.circuit);

    const SimAnalysis &a = design.analysis;
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
    lines.append(QStringLiteral(".ac %1 %2 %3 %4")
                     .arg(a.sweep)
                     .arg(a.points)
                     .arg(simvalue::plain(a.start, 12), simvalue::plain(a.stop, 12)));
    lines.append(QStringLiteral(".end"));
    return lines;
}

SimParameterValues numericParameters(const SimParameters &parameters)
{
    SimParameterValues result;
    for (const auto &p : parameters)
        result.append({p.first, simvalue::parseOr(p.second, QString(), 0.0)});
    return result;
}

}  // namespace simnetlist
