#include "simdesign.h"

#include "simexpression.h"
#include "simlint.h"
#include "simvalue.h"

#include "designfile/netlistdesign.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {

// Reading fails with the first problem found; where names the place.
struct Reader
{
    QString error;

    bool fail(const QString &where, const QString &what)
    {
        if (error.isEmpty())
            error = where.isEmpty() ? what : where + QStringLiteral(": ") + what;
        return false;
    }

    // A name or title travels in record text and in the host's script calls
    // as one quoted line: a quote or a line break in it is refused, not
    // silently changed.
    bool oneLine(const QString &text, const QString &where, bool quoteAllowed = false)
    {
        for (const QChar c : text) {
            if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                return fail(where, QStringLiteral("a line break is not allowed"));
            if (c == u'"' && !quoteAllowed)
                return fail(where, QStringLiteral("a quote (\") is not allowed"));
        }
        return true;
    }

    // A value text: a JSON string as it is, a number in its shortest form.
    bool text(const QJsonValue &v, const QString &where, QString &out, bool required = true)
    {
        if (v.isUndefined() || v.isNull()) {
            if (required)
                return fail(where, QStringLiteral("missing"));
            out.clear();
            return true;
        }
        if (v.isString()) {
            out = v.toString();
            return true;
        }
        if (v.isDouble()) {
            out = simvalue::plain(v.toDouble(), 12);
            return true;
        }
        return fail(where, QStringLiteral("expected a text or a number"));
    }

    bool number(const QJsonValue &v, const QString &where, const QString &unit, double &out)
    {
        if (v.isDouble()) {
            out = v.toDouble();
            return true;
        }
        if (v.isString() && simvalue::parse(v.toString(), unit, out))
            return true;
        return fail(where, QStringLiteral("expected a number%1").arg(unit.isEmpty() ? QString() : QStringLiteral(" in ") + unit));
    }

    bool integer(const QJsonValue &v, const QString &where, int &out)
    {
        if (v.isDouble() && v.toDouble() == std::floor(v.toDouble()) && std::fabs(v.toDouble()) < 1e9) {
            out = int(v.toDouble());
            return true;
        }
        if (v.isString()) {
            bool ok = false;
            out = v.toString().trimmed().toInt(&ok);
            if (ok)
                return true;
        }
        return fail(where, QStringLiteral("expected an integer"));
    }

    bool parameters(const QJsonValue &v, const QString &where, SimParameters &out)
    {
        out.clear();
        if (v.isUndefined() || v.isNull())
            return true;
        if (!v.isObject())
            return fail(where, QStringLiteral("expected an object of name: value"));
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!simIsParameterName(it.key()))
                return fail(where, QStringLiteral("\"%1\" is not a parameter name").arg(it.key()));
            QString value;
            double parsed = 0;
            if (!text(it.value(), where + QLatin1Char('.') + it.key(), value))
                return false;
            if (!simvalue::parse(value, QString(), parsed))
                return fail(where + QLatin1Char('.') + it.key(), QStringLiteral("\"%1\" is not a value").arg(value));
            out.append({it.key(), value});
        }
        return true;
    }

    bool node(const QJsonValue &v, const QString &where, QString &out)
    {
        out = v.toString().trimmed();
        static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_.#:+-]+$"));
        if (!name.match(out).hasMatch() || out == QLatin1String("0"))
            return fail(where, QStringLiteral("expected a node name other than 0"));
        return true;
    }

    // A source or element name for .dc and .noise: V..., I... (and for .dc R... or temp).
    bool sourceName(const QJsonValue &v, const QString &where, bool dc, QString &out)
    {
        out = v.toString().trimmed();
        static const QRegularExpression name(QStringLiteral("^[A-Za-z][A-Za-z0-9_.#]*$"));
        const QChar first = out.isEmpty() ? QChar() : out.at(0).toLower();
        const bool temp = dc && out.compare(QLatin1String("temp"), Qt::CaseInsensitive) == 0;
        if (!name.match(out).hasMatch() || !(temp || first == u'v' || first == u'i' || (dc && first == u'r')))
            return fail(where, dc ? QStringLiteral("expected a voltage or current source, a resistor or temp")
                                  : QStringLiteral("expected a voltage or current source"));
        return true;
    }

    bool frequencySweep(const QJsonObject &o, const QString &where, SimAnalysis &a)
    {
        a.sweep = o.value(QStringLiteral("sweep")).toString(QStringLiteral("lin")).toLower();
        if (a.sweep != QLatin1String("lin") && a.sweep != QLatin1String("dec") && a.sweep != QLatin1String("oct"))
            return fail(where + QStringLiteral(".sweep"), QStringLiteral("expected lin, dec or oct"));
        if (!number(o.value(QStringLiteral("start")), where + QStringLiteral(".start"), QStringLiteral("Hz"), a.start)
            || !number(o.value(QStringLiteral("stop")), where + QStringLiteral(".stop"), QStringLiteral("Hz"), a.stop)
            || !integer(o.value(QStringLiteral("points")), where + QStringLiteral(".points"), a.points))
            return false;
        if (!(a.start > 0) || !(a.stop > a.start))
            return fail(where, QStringLiteral("needs 0 < start < stop"));
        if (a.points < 1 || a.points > 100000)
            return fail(where + QStringLiteral(".points"), QStringLiteral("expected 1 to 100000"));
        return true;
    }

    bool analysis(const QJsonValue &v, const QString &where, SimAnalysis &a)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("missing"));
        const QJsonObject o = v.toObject();
        const QString type = o.value(QStringLiteral("type")).toString(QStringLiteral("ac")).toLower();
        static const QStringList types{QStringLiteral("ac"), QStringLiteral("op"), QStringLiteral("dc"),
                                       QStringLiteral("tran"), QStringLiteral("noise")};
        if (!types.contains(type))
            return fail(where + QStringLiteral(".type"), QStringLiteral("expected ac, op, dc, tran or noise"));
        a.type = SimAnalysis::Type(types.indexOf(type));
        if (o.contains(QStringLiteral("name"))
            && (!text(o.value(QStringLiteral("name")), where + QStringLiteral(".name"), a.name)
                || !oneLine(a.name, where + QStringLiteral(".name"))))
            return false;
        if (a.name.trimmed().isEmpty())
            return fail(where + QStringLiteral(".name"), QStringLiteral("empty"));
        switch (a.type) {
        case SimAnalysis::Op:
            return true;
        case SimAnalysis::Noise:
            return node(o.value(QStringLiteral("output")), where + QStringLiteral(".output"), a.output)
                && sourceName(o.value(QStringLiteral("source")), where + QStringLiteral(".source"), false, a.source)
                && frequencySweep(o, where, a);
        case SimAnalysis::Dc:
            if (!sourceName(o.value(QStringLiteral("source")), where + QStringLiteral(".source"), true, a.source))
                return false;
            [[fallthrough]];
        case SimAnalysis::Tran:
            if (a.type == SimAnalysis::Tran && !o.contains(QStringLiteral("start")))
                a.start = 0;
            else if (!number(o.value(QStringLiteral("start")), where + QStringLiteral(".start"), a.indepUnit(), a.start))
                return false;
            if (!number(o.value(QStringLiteral("stop")), where + QStringLiteral(".stop"), a.indepUnit(), a.stop)
                || !number(o.value(QStringLiteral("step")), where + QStringLiteral(".step"), a.indepUnit(), a.step))
                return false;
            if (!(a.stop > a.start) || (a.type == SimAnalysis::Tran && a.start < 0))
                return fail(where, a.type == SimAnalysis::Tran ? QStringLiteral("needs 0 <= start < stop")
                                                               : QStringLiteral("needs start < stop"));
            if (!(a.step > 0) || a.step > a.stop - a.start)
                return fail(where + QStringLiteral(".step"), QStringLiteral("expected 0 < step <= stop - start"));
            if (a.type == SimAnalysis::Dc && (a.stop - a.start) / a.step > 1e6)
                return fail(where + QStringLiteral(".step"), QStringLiteral("more than a million points"));
            return true;
        case SimAnalysis::Ac:
            break;
        }
        if (!frequencySweep(o, where, a))
            return false;
        const QJsonArray ports = o.value(QStringLiteral("ports")).toArray();
        if (ports.size() > 2)
            return fail(where + QStringLiteral(".ports"), QStringLiteral("expected one or two ports"));
        a.ports.clear();
        for (qsizetype i = 0; i < ports.size(); ++i) {
            const QString at = where + QStringLiteral(".ports[%1]").arg(i);
            const QJsonObject p = ports.at(i).toObject();
            SimPort port;
            if (!node(p.value(QStringLiteral("node")), at + QStringLiteral(".node"), port.node))
                return false;
            if (p.contains(QStringLiteral("z0"))
                && !number(p.value(QStringLiteral("z0")), at + QStringLiteral(".z0"), QStringLiteral("Ohm"), port.z0))
                return false;
            if (!(port.z0 > 0))
                return fail(at + QStringLiteral(".z0"), QStringLiteral("must be positive"));
            a.ports.append(port);
        }
        return true;
    }

    // "analysis": one object, or "analyses": a list of them.
    bool analyses(const QJsonObject &o, QList<SimAnalysis> &out)
    {
        const QJsonValue one = o.value(QStringLiteral("analysis"));
        const QJsonValue list = o.value(QStringLiteral("analyses"));
        if (!one.isUndefined() && !list.isUndefined())
            return fail(QStringLiteral("analyses"), QStringLiteral("give \"analysis\" or \"analyses\", not both"));
        if (list.isUndefined()) {
            SimAnalysis a;
            if (!analysis(one, QStringLiteral("analysis"), a))
                return false;
            out.append(a);
            return true;
        }
        const QJsonArray entries = list.toArray();
        if (entries.isEmpty())
            return fail(QStringLiteral("analyses"), QStringLiteral("expected a list of analyses"));
        for (qsizetype i = 0; i < entries.size(); ++i) {
            SimAnalysis a;
            const QString where = QStringLiteral("analyses[%1]").arg(i);
            if (!analysis(entries.at(i), where, a))
                return false;
            for (const SimAnalysis &b : std::as_const(out)) {
                if (b.name.compare(a.name, Qt::CaseInsensitive) == 0)
                    return fail(where + QStringLiteral(".name"), QStringLiteral("\"%1\" is used twice").arg(a.name));
            }
            out.append(a);
        }
        return true;
    }

    bool variable(const QJsonValue &v, const QString &where, OptimVarInput &var)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("expected an object"));
        const QJsonObject o = v.toObject();
        QString netlistName, name, value, unit;
        if (!text(o.value(QStringLiteral("netlistName")), where + QStringLiteral(".netlistName"), netlistName)
            || !text(o.value(QStringLiteral("name")), where + QStringLiteral(".name"), name, false)
            || !text(o.value(QStringLiteral("value")), where + QStringLiteral(".value"), value)
            || !text(o.value(QStringLiteral("unit")), where + QStringLiteral(".unit"), unit, false)
            || !oneLine(name, where + QStringLiteral(".name")))
            return false;
        if (!simIsParameterName(netlistName))
            return fail(where + QStringLiteral(".netlistName"),
                        QStringLiteral("\"%1\" is not a parameter name (a letter, then letters, digits or _)").arg(netlistName));
        var.setNetlistName(netlistName);
        var.setName(name);
        var.setValue(value);
        var.setUnit(unit);
        const bool optimize = o.value(QStringLiteral("optimize")).toBool(true);
        var.setOptimize(optimize);
        var.setOptimizeFlagSet(true);

        QStringList values;
        if (o.contains(QStringLiteral("values"))) {
            const QJsonArray list = o.value(QStringLiteral("values")).toArray();
            for (qsizetype i = 0; i < list.size(); ++i) {
                QString entry;
                double parsed = 0;
                if (!text(list.at(i), where + QStringLiteral(".values[%1]").arg(i), entry))
                    return false;
                if (!simvalue::parse(entry, unit, parsed))
                    return fail(where + QStringLiteral(".values[%1]").arg(i), QStringLiteral("\"%1\" is not a value in %2").arg(entry, unit));
                values.append(entry);
            }
            if (values.isEmpty())
                return fail(where + QStringLiteral(".values"), QStringLiteral("empty list"));
        }
        var.setDesignValues(values);

        int type = 0;
        QStringList params;
        const QJsonValue c = o.value(QStringLiteral("constraint"));
        if (!c.isUndefined()) {
            if (!c.isObject())
                return fail(where + QStringLiteral(".constraint"), QStringLiteral("expected an object"));
            const QJsonObject co = c.toObject();
            if (!integer(co.value(QStringLiteral("type")), where + QStringLiteral(".constraint.type"), type))
                return false;
            if (type < 0 || type > 4)
                return fail(where + QStringLiteral(".constraint.type"), QStringLiteral("expected 0 to 4"));
            const QJsonArray p = co.value(QStringLiteral("params")).toArray();
            for (qsizetype i = 0; i < p.size() && i < 3; ++i) {
                QString param;
                if (!text(p.at(i), where + QStringLiteral(".constraint.params[%1]").arg(i), param))
                    return false;
                params.append(param);
            }
        }
        while (params.size() < 3)
            params.append(QString());
        var.setConstraint(type, params.at(0), params.at(1), params.at(2));

        // Check what the optimizer will read.
        double parsed = 0;
        if (!values.isEmpty()) {
            if (type != ConstraintDiscrete)
                return fail(where, QStringLiteral("a value list needs constraint type 2 (positions in the list)"));
            const auto position = [&](const QString &t, const QString &field) {
                bool ok = false;
                const int k = t.trimmed().toInt(&ok);
                if (!ok || k < 0 || k >= values.size())
                    return fail(where + field, QStringLiteral("\"%1\" is not a position in the value list (0 to %2)").arg(t).arg(values.size() - 1));
                return true;
            };
            if (!position(value, QStringLiteral(".value")) || !position(params.at(0), QStringLiteral(".constraint.params[0]"))
                || !position(params.at(1), QStringLiteral(".constraint.params[1]")))
                return false;
            return inRange(where, value.trimmed().toInt(), params.at(0).trimmed().toInt(), params.at(1).trimmed().toInt(), value,
                           params.at(0), params.at(1));
        }
        if (!simvalue::parse(value, unit, parsed))
            return fail(where + QStringLiteral(".value"), QStringLiteral("\"%1\" is not a value in %2").arg(value, unit));
        const int needed = type == ConstraintNone ? 0 : type == ConstraintDiscrete ? 3 : type == ConstraintRange ? 2 : 1;
        for (int i = 0; i < needed; ++i) {
            const int k = (type == ConstraintDeviation || type == ConstraintPercentage) ? 1 : i;
            const QString unitOf = type == ConstraintPercentage ? QString() : unit;
            if (!simvalue::parse(params.at(k), unitOf, parsed))
                return fail(where + QStringLiteral(".constraint.params[%1]").arg(k), QStringLiteral("\"%1\" is not a value").arg(params.at(k)));
        }
        if (type == ConstraintDiscrete && simvalue::parseOr(params.at(2), unit, 0) == 0)
            return fail(where + QStringLiteral(".constraint.params[2]"), QStringLiteral("the step is zero"));
        if (type == ConstraintRange || type == ConstraintDiscrete) {
            const double start = simvalue::parseOr(value, unit, 0);
            const double min = simvalue::parseOr(params.at(0), unit, 0);
            const double max = simvalue::parseOr(params.at(1), unit, 0);
            return inRange(where, start, min, max, value, params.at(0), params.at(1));
        }
        return true;
    }

    // A start value the optimizer can reach: min <= start <= max.
    bool inRange(const QString &where, double start, double min, double max, const QString &startText,
                 const QString &minText, const QString &maxText)
    {
        if (min > max)
            return fail(where + QStringLiteral(".constraint"),
                        QStringLiteral("the minimum \"%1\" is above the maximum \"%2\"").arg(minText, maxText));
        if (start < min || start > max)
            return fail(where + QStringLiteral(".value"),
                        QStringLiteral("\"%1\" is outside \"%2\" to \"%3\"").arg(startText, minText, maxText));
        return true;
    }

    // unit: the independent variable's; empty when the goal is a scalar (no range then).
    bool limit(const QJsonValue &v, const QString &where, OptimGoalLimitInput &limit, const QString *unit)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("expected an object"));
        const QJsonObject o = v.toObject();
        QString name, weight;
        if (!text(o.value(QStringLiteral("name")), where + QStringLiteral(".name"), name, false)
            || !text(o.value(QStringLiteral("weight")), where + QStringLiteral(".weight"), weight, false)
            || !oneLine(name, where + QStringLiteral(".name")))
            return false;
        const QJsonValue t = o.value(QStringLiteral("type"));
        int type = -1;
        if (t.isString())
            type = optimLimitTypeFromText(t.toString());
        else if (!integer(t, where + QStringLiteral(".type"), type))
            return false;
        if (type < 0 || type > 4)
            return fail(where + QStringLiteral(".type"), QStringLiteral("expected GreaterThan, LessThan, EqualTo, Inside or Outside"));
        QStringList values;
        if (o.contains(QStringLiteral("values"))) {
            const QJsonArray list = o.value(QStringLiteral("values")).toArray();
            for (qsizetype i = 0; i < list.size(); ++i) {
                QString entry;
                if (!text(list.at(i), where + QStringLiteral(".values[%1]").arg(i), entry))
                    return false;
                values.append(entry);
            }
        } else {
            QString entry;
            if (!text(o.value(QStringLiteral("value")), where + QStringLiteral(".value"), entry))
                return false;
            values.append(entry);
        }
        const int needed = optimLimitTypeHasSecondValue(type) ? 2 : 1;
        if (values.size() != needed)
            return fail(where, QStringLiteral("%1 needs %2 value(s)").arg(optimLimitTypeText(type)).arg(needed));
        for (const QString &value : std::as_const(values)) {
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (!ok)
                return fail(where, QStringLiteral("\"%1\" is not a plain number").arg(value));
            if (!std::isfinite(number))
                return fail(where, QStringLiteral("\"%1\" is not a finite number").arg(value));
        }
        limit.setName(name);
        limit.setWeight(weight);
        limit.setLimit(type, values.at(0), needed == 2 ? values.at(1) : QString());

        const QJsonValue r = o.value(QStringLiteral("range"));
        if (!r.isUndefined() && !r.isNull()) {
            if (!unit)
                return fail(where + QStringLiteral(".range"), QStringLiteral("a scalar goal has no independent variable to range over"));
            const QJsonArray range = r.toArray();
            if (range.size() != 2)
                return fail(where + QStringLiteral(".range"), QStringLiteral("expected [from, to] (null for open)"));
            QString bounds[2];
            for (int i = 0; i < 2; ++i) {
                if (range.at(i).isNull())
                    continue;
                double x = 0;
                if (!number(range.at(i), where + QStringLiteral(".range[%1]").arg(i), *unit, x))
                    return false;
                bounds[i] = simvalue::plain(x, 9);
            }
            OptimItemList<OptimGoalRange> ranges;
            ranges.append(OptimGoalRange(0, bounds[0], bounds[1]));
            limit.setRanges(ranges);
        }
        return true;
    }

    bool goal(const QJsonValue &v, const QString &where, OptimGoalInput &goal, const SimDesign &design)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("expected an object"));
        const QJsonObject o = v.toObject();
        QString name, expression, instance, weight;
        if (!text(o.value(QStringLiteral("name")), where + QStringLiteral(".name"), name)
            || !text(o.value(QStringLiteral("expression")), where + QStringLiteral(".expression"), expression)
            || !text(o.value(QStringLiteral("simInstanceName")), where + QStringLiteral(".simInstanceName"), instance, false)
            || !text(o.value(QStringLiteral("weight")), where + QStringLiteral(".weight"), weight, false)
            || !oneLine(name, where + QStringLiteral(".name")))
            return false;
        const SimAnalysis *analysis = design.analysis(instance);
        if (!analysis) {
            QStringList names;
            for (const SimAnalysis &a : design.analyses)
                names.append(a.name);
            return fail(where + QStringLiteral(".simInstanceName"),
                        QStringLiteral("no analysis \"%1\" (the design has %2)").arg(instance, names.join(QStringLiteral(", "))));
        }
        const QString why = simGoalExpressionProblem(expression, *analysis);
        if (!why.isEmpty())
            return fail(where + QStringLiteral(".expression"), why);
        goal.setName(name);
        goal.setExpression(expression);
        goal.setSimInstanceName(analysis->name);
        goal.setWeight(weight.isEmpty() ? QStringLiteral("1") : weight);
        // A scalar (an operating point, a measurement) has no independent variable.
        const bool scalar = !analysis->isSwept() || simExpressionKind(expression, false) == SimExpressionKind::Measure;
        const QString indepVar = o.value(QStringLiteral("indepVar")).toString(scalar ? QString() : analysis->indepVar());
        if (scalar ? !indepVar.isEmpty() : indepVar.compare(analysis->indepVar(), Qt::CaseInsensitive) != 0)
            return fail(where + QStringLiteral(".indepVar"),
                        scalar ? QStringLiteral("a scalar goal has no independent variable")
                               : QStringLiteral("expected \"%1\" (the independent variable of %2)").arg(analysis->indepVar(), analysis->name));
        const QString unit = analysis->indepUnit();
        if (!scalar) {
            goal.addIndepVar(analysis->indepVar());
            goal.setIndepVarUnit(0, unit);
        }
        const QJsonArray limits = o.value(QStringLiteral("limits")).toArray();
        if (limits.isEmpty())
            return fail(where + QStringLiteral(".limits"), QStringLiteral("a goal needs at least one limit"));
        for (qsizetype i = 0; i < limits.size(); ++i) {
            OptimGoalLimitInput l;
            if (!limit(limits.at(i), where + QStringLiteral(".limits[%1]").arg(i), l, scalar ? nullptr : &unit))
                return false;
            goal.limits().append(l);
        }
        return true;
    }

    bool algorithm(const QJsonValue &v, OptimAlgInput &alg)
    {
        if (!v.isObject())
            return fail(QStringLiteral("algorithm"), QStringLiteral("missing"));
        const QJsonObject o = v.toObject();
        QString name, label, maxIterations;
        int type = 0;
        if (!text(o.value(QStringLiteral("name")), QStringLiteral("algorithm.name"), name, false)
            || !text(o.value(QStringLiteral("label")), QStringLiteral("algorithm.label"), label, false)
            || !integer(o.value(QStringLiteral("type")), QStringLiteral("algorithm.type"), type)
            || !text(o.value(QStringLiteral("maxIterations")), QStringLiteral("algorithm.maxIterations"), maxIterations))
            return false;
        if (type < 1 || type > 12)
            return fail(QStringLiteral("algorithm.type"), QStringLiteral("expected 1 to 12"));
        bool ok = false;
        if (maxIterations.toInt(&ok) < 0 || !ok)
            return fail(QStringLiteral("algorithm.maxIterations"), QStringLiteral("expected a whole number >= 0"));
        alg.setName(name.isEmpty() ? QStringLiteral("Optim1") : name);
        alg.setLabel(label);
        alg.setAlgorithmType(type);
        alg.setMaxIterations(maxIterations);
        return true;
    }

    bool sweepEntry(const QJsonValue &v, const QString &where, SimSweepEntry &entry)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("expected an object"));
        const QJsonObject o = v.toObject();
        if (!text(o.value(QStringLiteral("name")), where + QStringLiteral(".name"), entry.name)
            || !text(o.value(QStringLiteral("label")), where + QStringLiteral(".label"), entry.label, false)
            || !parameters(o.value(QStringLiteral("parameters")), where + QStringLiteral(".parameters"), entry.parameters))
            return false;
        const QJsonObject alg = o.value(QStringLiteral("algorithm")).toObject();
        if (alg.contains(QStringLiteral("type"))) {
            int type = 0;
            if (!integer(alg.value(QStringLiteral("type")), where + QStringLiteral(".algorithm.type"), type))
                return false;
            if (type < 1 || type > 12)
                return fail(where + QStringLiteral(".algorithm.type"), QStringLiteral("expected 1 to 12"));
            entry.algorithmType = type;
        }
        if (alg.contains(QStringLiteral("maxIterations"))) {
            int n = 0;
            if (!integer(alg.value(QStringLiteral("maxIterations")), where + QStringLiteral(".algorithm.maxIterations"), n) )
                return false;
            if (n < 0)
                return fail(where + QStringLiteral(".algorithm.maxIterations"), QStringLiteral("expected a whole number >= 0"));
            entry.maxIterations = QString::number(n);
        }
        return true;
    }
};

// A '+' line continues the line before it (comment and blank lines between
// are skipped, as ngspice does), so it is checked as part of that line, and
// a dot-command standing at the start of the continuation ("+.control") is
// checked as one.
QString continuationProblem(const QStringList &circuit, qsizetype i)
{
    const QString line = circuit.at(i).trimmed();
    if (!line.startsWith(u'+'))
        return QString();
    const QString rest = line.mid(1).trimmed();
    static const QRegularExpression command(QStringLiteral("^\\.[A-Za-z]"));
    if (command.match(rest).hasMatch()) {
        const QString problem = simCircuitLineProblem(rest);
        if (!problem.isEmpty())
            return problem;
    }
    qsizetype j = i - 1;
    while (j >= 0) {
        const QString before = circuit.at(j).trimmed();
        if (!before.isEmpty() && !before.startsWith(u'*') && !before.startsWith(u'+'))
            break;
        --j;
    }
    return simCircuitLineProblem(j >= 0 ? circuit.at(j).trimmed() + u' ' + rest : rest);
}

}  // namespace

QString SimAnalysis::typeName() const
{
    static const char *const names[] = {"ac", "op", "dc", "tran", "noise"};
    return QString::fromLatin1(names[type]);
}

QString SimAnalysis::indepVar() const
{
    switch (type) {
    case Ac:
    case Noise: return QStringLiteral("freq");
    case Tran: return QStringLiteral("time");
    case Dc: return source.toLower();
    case Op: break;
    }
    return QString();
}

QString SimAnalysis::indepUnit() const
{
    switch (type) {
    case Ac:
    case Noise: return QStringLiteral("Hz");
    case Tran: return QStringLiteral("s");
    case Dc: {
        const QChar first = source.isEmpty() ? QChar() : source.at(0).toLower();
        if (source.compare(QLatin1String("temp"), Qt::CaseInsensitive) == 0)
            return QString();
        return first == u'v' ? QStringLiteral("V") : first == u'i' ? QStringLiteral("A") : QStringLiteral("Ohm");
    }
    case Op: break;
    }
    return QString();
}

const SimAnalysis *SimDesign::analysis(const QString &simInstanceName) const
{
    if (simInstanceName.isEmpty())
        return analyses.isEmpty() ? nullptr : &analyses.first();
    for (const SimAnalysis &a : analyses) {
        if (a.name.compare(simInstanceName, Qt::CaseInsensitive) == 0)
            return &a;
    }
    return nullptr;
}

QString simGoalExpressionProblem(const QString &expression, const SimAnalysis &analysis)
{
    const bool bench = analysis.type == SimAnalysis::Ac && !analysis.ports.isEmpty();
    QString measure;
    switch (simExpressionKind(expression, bench, &measure)) {
    case SimExpressionKind::Measure:
        if (analysis.type != SimAnalysis::Tran && analysis.type != SimAnalysis::Ac && analysis.type != SimAnalysis::Dc)
            return QStringLiteral("meas needs a tran, ac or dc analysis (%1 is %2)").arg(analysis.name, analysis.typeName());
        return measure.isEmpty() ? QStringLiteral("meas needs the rest of a .meas line, e.g. \"meas MAX v(out)\"")
                                 : simNgspiceTextProblem(measure);
    case SimExpressionKind::Bench: {
        SimExpression e;
        SimExpression::parse(expression, e);
        const int needed = std::max(e.row(), e.column());
        if (!bench || needed > analysis.ports.size())
            return QStringLiteral("%1 needs an ac analysis with %2 port(s) (%3 has %4)")
                .arg(expression.trimmed()).arg(needed).arg(analysis.name).arg(bench ? analysis.ports.size() : 0);
        return QString();
    }
    case SimExpressionKind::Vector:
        break;
    }
    return simNgspiceTextProblem(expression);
}

bool simIsParameterName(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
    return re.match(text).hasMatch();
}

QString simCircuitLineProblem(const QString &line)
{
    for (const QChar c : line) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\t'))
            return QStringLiteral("an entry is one line (it holds a line break or control character)");
    }
    const QString l = line.trimmed().toLower();
    if (l.startsWith(QLatin1Char('.'))) {
        static const QRegularExpression word(QStringLiteral("^\\.[a-z_]*"));
        const QString command = word.match(l).captured();
        static const QStringList allowed{
            QStringLiteral(".param"), QStringLiteral(".model"), QStringLiteral(".subckt"), QStringLiteral(".ends"),
            QStringLiteral(".func"), QStringLiteral(".global"), QStringLiteral(".temp"), QStringLiteral(".options"),
            QStringLiteral(".option"), QStringLiteral(".opt"), QStringLiteral(".nodeset"), QStringLiteral(".ic")};
        if (!allowed.contains(command))
            return QStringLiteral("%1 is not allowed: files, control blocks, analyses and .end are not the circuit's")
                .arg(command.size() > 1 ? command : QStringLiteral("this dot-command"));
    } else if (l.startsWith(QLatin1Char('a'))) {
        return QStringLiteral("XSPICE code-model instances (A lines) are not allowed");
    }
    return QString();
}

bool SimDesign::load(const QString &path, SimDesign &design, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (NetlistDesign::isNetlistPath(path)) {
        // A netlist design: read into the design object, checked as a JSON
        // design is, and every message placed on the user's own line.
        NetlistDesign netlist;
        if (!NetlistDesign::read(bytes, QFileInfo(path).fileName(), netlist, error))
            return false;
        SimDesign d;
        QString why;
        if (!fromJson(QJsonDocument(netlist.root).toJson(QJsonDocument::Compact), d, &why,
                      QFileInfo(path).absolutePath())) {
            if (error)
                *error = netlist.placed(why);
            return false;
        }
        d.circuitPlaces.clear();
        for (const int line : std::as_const(netlist.circuitLines))
            d.circuitPlaces.append(QStringLiteral("%1:%2").arg(netlist.fileName).arg(line));
        design = d;
        return true;
    }
    if (!fromJson(bytes, design, error, QFileInfo(path).absolutePath())) {
        if (error)
            *error = path + QStringLiteral(": ") + *error;
        return false;
    }
    return true;
}

bool SimDesign::fromJson(const QByteArray &json, SimDesign &design, QString *error, const QString &folder)
{
    // A UTF-8 byte-order mark, as some editors write one, is not part of the JSON.
    static const QByteArray kByteOrderMark("\xEF\xBB\xBF");
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json.startsWith(kByteOrderMark) ? json.mid(3) : json, &parseError);
    Reader r;
    SimDesign d;
    const auto done = [&](bool ok) {
        if (ok)
            design = d;
        else if (error)
            *error = r.error.isEmpty() ? QStringLiteral("invalid design") : r.error;
        return ok;
    };
    if (parseError.error != QJsonParseError::NoError) {
        r.fail(QString(), QStringLiteral("not JSON (%1 at offset %2)").arg(parseError.errorString()).arg(parseError.offset));
        return done(false);
    }
    if (!doc.isObject()) {
        r.fail(QString(), QStringLiteral("expected a JSON object"));
        return done(false);
    }
    const QJsonObject o = doc.object();
    d.title = o.value(QStringLiteral("title")).toString();
    if (!r.oneLine(d.title, QStringLiteral("title"), true))
        return done(false);

    const QJsonValue circuit = o.value(QStringLiteral("circuit"));
    if (circuit.isString()) {
        d.circuit = circuit.toString().split(QLatin1Char('\n'));
        for (QString &line : d.circuit) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
        }
    } else {
        for (const QJsonValue &line : circuit.toArray())
            d.circuit.append(line.toString());
    }
    while (!d.circuit.isEmpty() && d.circuit.last().trimmed().isEmpty())
        d.circuit.removeLast();
    if (d.circuit.isEmpty())
        return done(r.fail(QStringLiteral("circuit"), QStringLiteral("missing or empty")));
    for (qsizetype i = 0; i < d.circuit.size(); ++i)
        d.circuitPlaces.append(QStringLiteral("circuit[%1]").arg(i));
    for (qsizetype i = 0; i < d.circuit.size(); ++i) {
        QString problem = simCircuitLineProblem(d.circuit.at(i));
        if (!problem.isEmpty() && SimLint::isIncludeLine(d.circuit.at(i)))
            problem = SimLint::includeProblem(d.circuit.at(i), folder, &d.circuit[i]);
        if (problem.isEmpty())
            problem = continuationProblem(d.circuit, i);
        if (!problem.isEmpty())
            return done(r.fail(QStringLiteral("circuit[%1]").arg(i), problem));
    }

    if (!r.parameters(o.value(QStringLiteral("parameters")), QStringLiteral("parameters"), d.parameters)
        || !r.analyses(o, d.analyses)
        || !r.algorithm(o.value(QStringLiteral("algorithm")), d.input.algorithm()))
        return done(false);

    QSet<QString> names;
    for (const auto &p : std::as_const(d.parameters))
        names.insert(p.first.toLower());
    const QJsonArray variables = o.value(QStringLiteral("variables")).toArray();
    if (variables.isEmpty())
        return done(r.fail(QStringLiteral("variables"), QStringLiteral("missing or empty")));
    for (qsizetype i = 0; i < variables.size(); ++i) {
        OptimVarInput var;
        if (!r.variable(variables.at(i), QStringLiteral("variables[%1]").arg(i), var))
            return done(false);
        if (names.contains(var.netlistName().toLower()))
            return done(r.fail(QStringLiteral("variables[%1].netlistName").arg(i),
                               QStringLiteral("\"%1\" is used twice (names are case-insensitive)").arg(var.netlistName())));
        names.insert(var.netlistName().toLower());
        d.input.variables().append(var);
    }

    const QJsonArray goals = o.value(QStringLiteral("goals")).toArray();
    if (goals.isEmpty())
        return done(r.fail(QStringLiteral("goals"), QStringLiteral("missing or empty")));
    for (qsizetype i = 0; i < goals.size(); ++i) {
        OptimGoalInput goal;
        if (!r.goal(goals.at(i), QStringLiteral("goals[%1]").arg(i), goal, d))
            return done(false);
        d.input.goals().append(goal);
    }

    const QJsonValue sweep = o.value(QStringLiteral("sweep"));
    if (!sweep.isUndefined() && !sweep.isNull()) {
        const QJsonArray entries = sweep.toArray();
        if (entries.isEmpty())
            return done(r.fail(QStringLiteral("sweep"), QStringLiteral("expected a list of optimizations")));
        for (qsizetype i = 0; i < entries.size(); ++i) {
            SimSweepEntry entry;
            if (!r.sweepEntry(entries.at(i), QStringLiteral("sweep[%1]").arg(i), entry))
                return done(false);
            for (const auto &p : std::as_const(entry.parameters)) {
                for (const OptimVarInput &var : d.input.variables()) {
                    if (var.netlistName().compare(p.first, Qt::CaseInsensitive) == 0)
                        return done(r.fail(QStringLiteral("sweep[%1].parameters").arg(i),
                                           QStringLiteral("\"%1\" is a variable, not a fixed parameter").arg(p.first)));
                }
            }
            d.sweep.append(entry);
        }
    }
    return done(true);
}

OptimModelInput SimDesign::modelInput(int k) const
{
    OptimModelInput m = input;
    if (k < 0 || k >= sweep.size())
        return m;
    const SimSweepEntry &entry = sweep.at(k);
    m.algorithm().setName(entry.name);
    m.algorithm().setLabel(entry.label);
    if (entry.algorithmType)
        m.algorithm().setAlgorithmType(*entry.algorithmType);
    if (!entry.maxIterations.isEmpty())
        m.algorithm().setMaxIterations(entry.maxIterations);
    return m;
}

SimParameters SimDesign::parametersFor(int k) const
{
    SimParameters result = parameters;
    if (k < 0 || k >= sweep.size())
        return result;
    for (const auto &override : sweep.at(k).parameters) {
        bool replaced = false;
        for (auto &p : result) {
            if (p.first.compare(override.first, Qt::CaseInsensitive) == 0) {
                p.second = override.second;
                replaced = true;
            }
        }
        if (!replaced)
            result.append(override);
    }
    return result;
}
