#include "simdesign.h"

#include "simexpression.h"
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

    bool analysis(const QJsonValue &v, SimAnalysis &a)
    {
        if (!v.isObject())
            return fail(QStringLiteral("analysis"), QStringLiteral("missing"));
        const QJsonObject o = v.toObject();
        const QString type = o.value(QStringLiteral("type")).toString(QStringLiteral("ac")).toLower();
        if (type != QLatin1String("ac"))
            return fail(QStringLiteral("analysis.type"), QStringLiteral("only \"ac\" is supported"));
        if (o.contains(QStringLiteral("name")) && !text(o.value(QStringLiteral("name")), QStringLiteral("analysis.name"), a.name))
            return false;
        a.sweep = o.value(QStringLiteral("sweep")).toString(QStringLiteral("lin")).toLower();
        if (a.sweep != QLatin1String("lin") && a.sweep != QLatin1String("dec") && a.sweep != QLatin1String("oct"))
            return fail(QStringLiteral("analysis.sweep"), QStringLiteral("expected lin, dec or oct"));
        if (!number(o.value(QStringLiteral("start")), QStringLiteral("analysis.start"), QStringLiteral("Hz"), a.start)
            || !number(o.value(QStringLiteral("stop")), QStringLiteral("analysis.stop"), QStringLiteral("Hz"), a.stop)
            || !integer(o.value(QStringLiteral("points")), QStringLiteral("analysis.points"), a.points))
            return false;
        if (!(a.start > 0) || !(a.stop > a.start))
            return fail(QStringLiteral("analysis"), QStringLiteral("needs 0 < start < stop"));
        if (a.points < 1 || a.points > 100000)
            return fail(QStringLiteral("analysis.points"), QStringLiteral("expected 1 to 100000"));
        const QJsonArray ports = o.value(QStringLiteral("ports")).toArray();
        if (ports.size() < 1 || ports.size() > 2)
            return fail(QStringLiteral("analysis.ports"), QStringLiteral("expected one or two ports"));
        a.ports.clear();
        for (qsizetype i = 0; i < ports.size(); ++i) {
            const QString where = QStringLiteral("analysis.ports[%1]").arg(i);
            const QJsonObject p = ports.at(i).toObject();
            SimPort port;
            port.node = p.value(QStringLiteral("node")).toString().trimmed();
            if (port.node.isEmpty() || port.node.contains(QLatin1Char(' ')) || port.node == QLatin1String("0"))
                return fail(where + QStringLiteral(".node"), QStringLiteral("expected a node name other than 0"));
            if (p.contains(QStringLiteral("z0"))
                && !number(p.value(QStringLiteral("z0")), where + QStringLiteral(".z0"), QStringLiteral("Ohm"), port.z0))
                return false;
            if (!(port.z0 > 0))
                return fail(where + QStringLiteral(".z0"), QStringLiteral("must be positive"));
            a.ports.append(port);
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

    bool limit(const QJsonValue &v, const QString &where, OptimGoalLimitInput &limit, int freqIndex)
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
            const QJsonArray range = r.toArray();
            if (range.size() != 2)
                return fail(where + QStringLiteral(".range"), QStringLiteral("expected [from, to] (null for open)"));
            QString bounds[2];
            for (int i = 0; i < 2; ++i) {
                if (range.at(i).isNull())
                    continue;
                double hz = 0;
                if (!number(range.at(i), where + QStringLiteral(".range[%1]").arg(i), QStringLiteral("Hz"), hz))
                    return false;
                bounds[i] = simvalue::plain(hz, 9);
            }
            OptimItemList<OptimGoalRange> ranges;
            ranges.append(OptimGoalRange(freqIndex, bounds[0], bounds[1]));
            limit.setRanges(ranges);
        }
        return true;
    }

    bool goal(const QJsonValue &v, const QString &where, OptimGoalInput &goal, const QString &analysisName)
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
        SimExpression parsed;
        QString why;
        if (!SimExpression::parse(expression, parsed, &why))
            return fail(where + QStringLiteral(".expression"), why);
        goal.setName(name);
        goal.setExpression(expression);
        goal.setSimInstanceName(instance.isEmpty() ? analysisName : instance);
        goal.setWeight(weight.isEmpty() ? QStringLiteral("1") : weight);
        const QString indepVar = o.value(QStringLiteral("indepVar")).toString(QStringLiteral("freq"));
        if (indepVar.compare(QLatin1String("freq"), Qt::CaseInsensitive) != 0)
            return fail(where + QStringLiteral(".indepVar"), QStringLiteral("only \"freq\" is supported"));
        goal.addIndepVar(indepVar);
        goal.setIndepVarUnit(0, QStringLiteral("Hz"));
        const QJsonArray limits = o.value(QStringLiteral("limits")).toArray();
        if (limits.isEmpty())
            return fail(where + QStringLiteral(".limits"), QStringLiteral("a goal needs at least one limit"));
        for (qsizetype i = 0; i < limits.size(); ++i) {
            OptimGoalLimitInput l;
            if (!limit(limits.at(i), where + QStringLiteral(".limits[%1]").arg(i), l, 0))
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
        if (!fromJson(QJsonDocument(netlist.root).toJson(QJsonDocument::Compact), d, &why)) {
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
    if (!fromJson(bytes, design, error)) {
        if (error)
            *error = path + QStringLiteral(": ") + *error;
        return false;
    }
    return true;
}

bool SimDesign::fromJson(const QByteArray &json, SimDesign &design, QString *error)
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
        if (problem.isEmpty())
            problem = continuationProblem(d.circuit, i);
        if (!problem.isEmpty())
            return done(r.fail(QStringLiteral("circuit[%1]").arg(i), problem));
    }

    if (!r.parameters(o.value(QStringLiteral("parameters")), QStringLiteral("parameters"), d.parameters)
        || !r.analysis(o.value(QStringLiteral("analysis")), d.analysis)
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
        if (!r.goal(goals.at(i), QStringLiteral("goals[%1]").arg(i), goal, d.analysis.name))
            return done(false);
        SimExpression e;
        SimExpression::parse(goal.expression(), e);
        if (e.quantity() == SimExpression::SParameter && (e.row() > d.analysis.ports.size() || e.column() > d.analysis.ports.size()))
            return done(r.fail(QStringLiteral("goals[%1].expression").arg(i),
                               QStringLiteral("%1 needs %2 ports").arg(goal.expression()).arg(std::max(e.row(), e.column()))));
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
