#include "designstore.h"

#include "model/optiminputrecords.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

namespace {

// A scalar of the design file as text: strings as they are, numbers in their
// shortest form.
QString jsonText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return QString();
}

// A text as the file would hold it: a JSON number when it is written like
// one (so "-0.5" and "2e9" stay numbers), otherwise the text itself ("2 GHz").
QJsonValue jsonScalar(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][-+]?[0-9]+)?$"));
    if (number.match(text).hasMatch()) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok && std::isfinite(value))
            return value;
    }
    return text;
}

QString limitTypeName(const QJsonValue &type)
{
    if (type.isDouble())
        return optimLimitTypeText(type.toInt(-1));
    const int code = optimLimitTypeFromText(type.toString());
    return code < 0 ? type.toString() : optimLimitTypeText(code);
}

QString limitSymbol(const QString &typeName)
{
    switch (optimLimitTypeFromText(typeName)) {
    case LimitGreaterThan: return QStringLiteral(">");
    case LimitLessThan: return QStringLiteral("<");
    case LimitEqualTo: return QStringLiteral("=");
    case LimitInside: return QStringLiteral("inside");
    case LimitOutside: return QStringLiteral("outside");
    default: return typeName;
    }
}

bool isGoalType(const QString &type)
{
    const QString last = type.section(QLatin1Char(':'), -1);
    return type.isEmpty() || last == QLatin1String("Goal");
}

} // namespace

DesignStore::DesignStore(QObject *parent)
    : QObject(parent)
{
}

bool DesignStore::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                ? QStringLiteral("%1 is not JSON: %2 at offset %3").arg(path, parseError.errorString()).arg(parseError.offset)
                : QStringLiteral("%1 does not hold a design (expected a JSON object)").arg(path);
        return false;
    }
    const QJsonObject root = doc.object();
    for (const char *key : {"variables", "goals"}) {
        const QJsonValue v = root.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isArray()) {
            if (error)
                *error = QStringLiteral("%1: \"%2\" must be a list").arg(path, QLatin1String(key));
            return false;
        }
    }
    const QJsonValue alg = root.value(QLatin1String("algorithm"));
    if (!alg.isUndefined() && !alg.isObject()) {
        if (error)
            *error = QStringLiteral("%1: \"algorithm\" must be an object").arg(path);
        return false;
    }
    m_root = root;
    m_path = QFileInfo(path).absoluteFilePath();
    m_open = true;
    Q_EMIT changed();
    return true;
}

void DesignStore::close()
{
    m_open = false;
    m_path.clear();
    m_root = QJsonObject();
    Q_EMIT changed();
}

bool DesignStore::save(QString *error)
{
    if (!m_open) {
        if (error)
            *error = QStringLiteral("no design is open");
        return false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    file.write(QJsonDocument(m_root).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

bool DesignStore::isDesignName(const QString &name) const
{
    if (!m_open || name.isEmpty())
        return false;
    return name == m_path || name == QFileInfo(m_path).completeBaseName();
}

QString DesignStore::title() const
{
    if (!m_open)
        return QString();
    const QString title = m_root.value(QLatin1String("title")).toString();
    return title.isEmpty() ? QFileInfo(m_path).fileName() : title;
}

QJsonArray DesignStore::variables() const
{
    return m_root.value(QLatin1String("variables")).toArray();
}

QJsonArray DesignStore::goals() const
{
    return m_root.value(QLatin1String("goals")).toArray();
}

QJsonObject DesignStore::algorithm() const
{
    return m_root.value(QLatin1String("algorithm")).toObject();
}

int DesignStore::variableIndex(const QString &netlistName) const
{
    const QJsonArray vars = variables();
    for (qsizetype i = 0; i < vars.size(); ++i) {
        // Netlist names are case-insensitive, as in the simulator.
        if (jsonText(vars.at(i).toObject().value(QLatin1String("netlistName"))).compare(netlistName, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int DesignStore::goalIndex(const QString &name) const
{
    const QJsonArray list = goals();
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (jsonText(list.at(i).toObject().value(QLatin1String("name"))) == name)
            return int(i);
    }
    return -1;
}

DesignStore::ParameterInformation DesignStore::parameterInformation(const QString &netlistName) const
{
    ParameterInformation info;
    if (!m_open || netlistName.isEmpty())
        return info;
    const int index = variableIndex(netlistName);
    if (index >= 0) {
        const QJsonObject v = variables().at(index).toObject();
        info.found = true;
        info.name = jsonText(v.value(QLatin1String("name")));
        if (info.name.isEmpty())
            info.name = jsonText(v.value(QLatin1String("netlistName")));
        info.unit = jsonText(v.value(QLatin1String("unit")));
        for (const QJsonValue &value : v.value(QLatin1String("values")).toArray())
            info.values.append(jsonText(value));
        return info;
    }
    const QJsonObject parameters = m_root.value(QLatin1String("parameters")).toObject();
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (it.key().compare(netlistName, Qt::CaseInsensitive) == 0) {
            info.found = true;
            info.name = it.key();
            return info;
        }
    }
    return info;
}

bool DesignStore::hasComponent(const QString &name, const QString &type) const
{
    return m_open && isGoalType(type) && goalIndex(name) >= 0;
}

QString DesignStore::variableValue(const QString &netlistName) const
{
    const int index = variableIndex(netlistName);
    return index < 0 ? QString() : jsonText(variables().at(index).toObject().value(QLatin1String("value")));
}

bool DesignStore::goalDefinition(const QString &name, GoalDefinition &goal) const
{
    const int index = goalIndex(name);
    if (index < 0)
        return false;
    const QJsonObject g = goals().at(index).toObject();
    goal = GoalDefinition();
    goal.name = name;
    goal.expression = jsonText(g.value(QLatin1String("expression")));
    goal.simInstanceName = jsonText(g.value(QLatin1String("simInstanceName")));
    if (goal.simInstanceName.isEmpty())
        goal.simInstanceName = jsonText(m_root.value(QLatin1String("analysis")).toObject().value(QLatin1String("name")));
    goal.weight = jsonText(g.value(QLatin1String("weight")));
    const QString indep = jsonText(g.value(QLatin1String("indepVar")));
    goal.indepVars.append(indep.isEmpty() ? QStringLiteral("freq") : indep);
    for (const QJsonValue &l : g.value(QLatin1String("limits")).toArray()) {
        const QJsonObject o = l.toObject();
        GoalLimitDefinition limit;
        limit.name = jsonText(o.value(QLatin1String("name")));
        limit.type = limitTypeName(o.value(QLatin1String("type")));
        const QJsonArray values = o.value(QLatin1String("values")).toArray();
        if (!values.isEmpty()) {
            limit.min = jsonText(values.at(0));
            limit.max = jsonText(values.at(1));
        } else {
            limit.min = jsonText(o.value(QLatin1String("value")));
        }
        limit.weight = jsonText(o.value(QLatin1String("weight")));
        const QJsonArray range = o.value(QLatin1String("range")).toArray();
        limit.ranges.append({jsonText(range.at(0)), jsonText(range.at(1))});
        goal.limits.append(limit);
    }
    return true;
}

bool DesignStore::applyVariable(const VariableLine &variable, QString *error)
{
    const int index = m_open ? variableIndex(variable.netlistName) : -1;
    if (index < 0) {
        if (error)
            *error = QStringLiteral("variable %1 is not in the design").arg(variable.netlistName);
        return false;
    }
    QJsonArray vars = variables();
    QJsonObject v = vars.at(index).toObject();
    v.insert(QLatin1String("value"), variable.value);
    if (!variable.optimize || v.contains(QLatin1String("optimize")))
        v.insert(QLatin1String("optimize"), variable.optimize);
    QJsonObject constraint;
    constraint.insert(QLatin1String("type"), variable.constraintType);
    QStringList params = variable.params;
    while (params.size() < 3)
        params.append(QString());
    // The netlist line does not carry the first parameter of types 0, 3 and 4
    // (the reference or centre); the design's stays when the type does.
    const QJsonObject old = v.value(QLatin1String("constraint")).toObject();
    const int oldType = old.value(QLatin1String("type")).toInt(0);
    if (oldType == variable.constraintType && (oldType == 0 || oldType == 3 || oldType == 4) && params.at(0).isEmpty())
        params[0] = jsonText(old.value(QLatin1String("params")).toArray().at(0));
    while (!params.isEmpty() && params.last().isEmpty())
        params.removeLast();
    if (!params.isEmpty())
        constraint.insert(QLatin1String("params"), QJsonArray::fromStringList(params));
    v.insert(QLatin1String("constraint"), constraint);
    vars.replace(index, v);
    m_root.insert(QLatin1String("variables"), vars);
    Q_EMIT changed();
    return true;
}

bool DesignStore::applyGoal(const GoalDefinition &goal, QString *error)
{
    if (!m_open || goal.name.isEmpty()) {
        if (error)
            *error = m_open ? QStringLiteral("a goal without a name") : QStringLiteral("no design is open");
        return false;
    }
    QJsonArray list = goals();
    const int index = goalIndex(goal.name);
    QJsonObject g = index >= 0 ? list.at(index).toObject() : QJsonObject();
    g.insert(QLatin1String("name"), goal.name);
    g.insert(QLatin1String("expression"), goal.expression);
    if (!goal.simInstanceName.isEmpty())
        g.insert(QLatin1String("simInstanceName"), goal.simInstanceName);
    if (!goal.weight.isEmpty())
        g.insert(QLatin1String("weight"), jsonScalar(goal.weight));
    // The design format knows one independent variable per goal.
    if (!goal.indepVars.isEmpty())
        g.insert(QLatin1String("indepVar"), goal.indepVars.first());
    QJsonArray oldLimits = g.value(QLatin1String("limits")).toArray();
    QJsonArray limits;
    for (qsizetype i = 0; i < goal.limits.size(); ++i) {
        const GoalLimitDefinition &limit = goal.limits.at(i);
        QJsonObject l = i < oldLimits.size() ? oldLimits.at(i).toObject() : QJsonObject();
        if (!limit.name.isEmpty())
            l.insert(QLatin1String("name"), limit.name);
        else
            l.remove(QLatin1String("name"));
        l.insert(QLatin1String("type"), limit.type);
        if (optimLimitTypeHasSecondValue(optimLimitTypeFromText(limit.type))) {
            l.remove(QLatin1String("value"));
            l.insert(QLatin1String("values"), QJsonArray{jsonScalar(limit.min), jsonScalar(limit.max)});
        } else {
            l.remove(QLatin1String("values"));
            l.insert(QLatin1String("value"), jsonScalar(limit.min));
        }
        if (!limit.weight.isEmpty())
            l.insert(QLatin1String("weight"), jsonScalar(limit.weight));
        else
            l.remove(QLatin1String("weight"));
        const auto range = limit.ranges.value(0);
        if (range.first.isEmpty() && range.second.isEmpty()) {
            l.remove(QLatin1String("range"));
        } else {
            const auto bound = [](const QString &t) { return t.isEmpty() ? QJsonValue(QJsonValue::Null) : jsonScalar(t); };
            l.insert(QLatin1String("range"), QJsonArray{bound(range.first), bound(range.second)});
        }
        limits.append(l);
    }
    g.insert(QLatin1String("limits"), limits);
    if (index >= 0)
        list.replace(index, g);
    else
        list.append(g);
    m_root.insert(QLatin1String("goals"), list);
    Q_EMIT changed();
    return true;
}

bool DesignStore::applyAlgorithm(const AlgorithmDefinition &algorithm, QString *error)
{
    if (!m_open) {
        if (error)
            *error = QStringLiteral("no design is open");
        return false;
    }
    if (algorithm.type < 1 || algorithm.type > 12) {
        if (error)
            *error = QStringLiteral("unknown algorithm (OptimType \"%1\", ErrorForm \"%2\")")
                         .arg(algorithm.optimType, algorithm.errorForm);
        return false;
    }
    QJsonObject a = this->algorithm();
    if (!algorithm.name.isEmpty())
        a.insert(QLatin1String("name"), algorithm.name);
    a.insert(QLatin1String("type"), algorithm.type);
    bool ok = false;
    const int maxIterations = algorithm.maxIterations.trimmed().toInt(&ok);
    if (ok)
        a.insert(QLatin1String("maxIterations"), maxIterations);
    else if (!algorithm.maxIterations.isEmpty())
        a.insert(QLatin1String("maxIterations"), algorithm.maxIterations);
    m_root.insert(QLatin1String("algorithm"), a);
    Q_EMIT changed();
    return true;
}

QString DesignStore::constraintText(const QJsonObject &variable)
{
    const QJsonArray values = variable.value(QLatin1String("values")).toArray();
    const QJsonObject c = variable.value(QLatin1String("constraint")).toObject();
    const QJsonArray p = c.value(QLatin1String("params")).toArray();
    const auto param = [&](int i) { return jsonText(p.at(i)); };
    QString text;
    switch (c.value(QLatin1String("type")).toInt(0)) {
    case 1: text = QStringLiteral("%1 to %2").arg(param(0), param(1)); break;
    case 2: text = QStringLiteral("%1 to %2 by %3").arg(param(0), param(1), param(2)); break;
    case 3: text = QStringLiteral("+/- %1").arg(param(1)); break;
    case 4: text = QStringLiteral("+/- %1 %").arg(param(1)); break;
    default: text = QStringLiteral("unconstrained"); break;
    }
    if (!values.isEmpty()) {
        QStringList list;
        for (const QJsonValue &v : values)
            list.append(jsonText(v));
        text += QStringLiteral(" of [%1]").arg(list.join(QStringLiteral(", ")));
    }
    return text;
}

QString DesignStore::limitsText(const QJsonObject &goal)
{
    QStringList parts;
    for (const QJsonValue &l : goal.value(QLatin1String("limits")).toArray()) {
        const QJsonObject o = l.toObject();
        const QString type = limitTypeName(o.value(QLatin1String("type")));
        QString text = jsonText(o.value(QLatin1String("name")));
        if (!text.isEmpty())
            text += QStringLiteral(": ");
        const QJsonArray values = o.value(QLatin1String("values")).toArray();
        text += limitSymbol(type) + QLatin1Char(' ');
        text += values.isEmpty() ? jsonText(o.value(QLatin1String("value")))
                                 : QStringLiteral("%1 .. %2").arg(jsonText(values.at(0)), jsonText(values.at(1)));
        const QJsonArray range = o.value(QLatin1String("range")).toArray();
        if (!range.isEmpty()) {
            const QString from = jsonText(range.at(0));
            const QString to = jsonText(range.at(1));
            text += QStringLiteral(" from %1 to %2").arg(from.isEmpty() ? QStringLiteral("start") : from,
                                                         to.isEmpty() ? QStringLiteral("end") : to);
        }
        parts.append(text);
    }
    return parts.join(QStringLiteral("; "));
}
