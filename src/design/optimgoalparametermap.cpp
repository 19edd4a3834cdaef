#include "optimgoalparametermap.h"

#include "hostifc/moxifc.h"

#include <algorithm>

namespace optimgoalmap {

namespace {

const QString kName = QStringLiteral("Name");
const QString kExpr = QStringLiteral("Expr");
const QString kSimInstanceName = QStringLiteral("SimInstanceName");
const QString kWeight = QStringLiteral("Weight");
const QString kIndepVar = QStringLiteral("IndepVar");
const QString kLimitName = QStringLiteral("LimitName");
const QString kLimitType = QStringLiteral("LimitType");
const QString kLimitMin = QStringLiteral("LimitMin");
const QString kLimitMax = QStringLiteral("LimitMax");
const QString kLimitWeight = QStringLiteral("LimitWeight");
const QString kMin = QStringLiteral("Min");
const QString kMax = QStringLiteral("Max");
const QString kRangeVar = QStringLiteral("RangeVar");
const QString kRangeMin = QStringLiteral("RangeMin");
const QString kRangeMax = QStringLiteral("RangeMax");
const QString kGoalItemType = QStringLiteral("zeb_simulation::Goal");
const QString kDefaultRhs = QStringLiteral("defaultRHS");

// A count a host hands in is never taken for more values than this; the
// missing ones would all be empty texts.
constexpr qint64 kMaxValuesPerKey = 4096;

QString indepMin(qsizetype k) { return QStringLiteral("Indep%1Min").arg(k); }
QString indepMax(qsizetype k) { return QStringLiteral("Indep%1Max").arg(k); }

QString first(const OptimGoalParameterMap &map, const QString &key)
{
    return map.value(key).value(0);
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// A text written as it is: no quote and no line break of its own.
bool plainIsSafe(const QString &text)
{
    return !hasLineBreak(text) && !text.contains(QLatin1Char('"'));
}

// A quoted text: its only quotes are the surrounding pair.
bool quotedIsSafe(const QString &text)
{
    return !hasLineBreak(text) && !unquote(text).contains(QLatin1Char('"'));
}

} // namespace

QString quote(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text;
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString unquote(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text.mid(1, text.size() - 2);
    return text;
}

QString normalizedLimitType(const QString &text)
{
    static const QStringList symbols{QStringLiteral(">"), QStringLiteral("<"), QStringLiteral("="),
                                     QStringLiteral("Inside"), QStringLiteral("Outside")};
    const int code = optimLimitTypeFromText(text);
    if (code >= 0)
        return text;
    const qsizetype symbol = symbols.indexOf(text);
    return symbol >= 0 ? optimLimitTypeText(int(symbol)) : QString();
}

bool fromParameterInfo(MoxIFC *mox, const MoxValue *info, OptimGoalParameterMap &map)
{
    if (!mox || !info)
        return false;
    const OptimMoxHold header(mox, mox->listElement(info, 0));
    qint64 count = 0;
    if (!header.element(0).integer(count))
        return false;
    QString name;
    if (!header.element(1).text(name) || name.isEmpty())
        name = QStringLiteral("defaultname");
    map.clear();
    map.insert(kName, {name});
    const int size = mox->listSize(info);
    for (qint64 i = 1; i <= count && i < size; ++i) {
        const OptimMoxHold entry(mox, mox->listElement(info, int(i)));
        if (!entry.get())
            continue;
        QString key;
        if (!entry.element(0).text(key) || key.isEmpty())
            key = QStringLiteral("defaultKEY");
        qint64 n = 0;
        if (!entry.element(1).integer(n) || n <= 0 || entry.size() < 3)
            continue;
        const OptimMoxHold values = entry.element(2);
        QStringList texts;
        for (int j = 0; j < std::min(n, kMaxValuesPerKey); ++j) {
            QString value;
            if (!values.element(j).text(value) || value == kDefaultRhs)
                value.clear();
            texts.append(unquote(value));
        }
        map.insert(key, texts);
    }
    return true;
}

void upgradeOldForm(OptimGoalParameterMap &map)
{
    const QString min = first(map, kMin);
    const QString max = first(map, kMax);
    if ((min.isEmpty() && max.isEmpty()) || !map.value(kLimitName).isEmpty())
        return;
    QString type;
    if (min.isEmpty())
        type = optimLimitTypeText(LimitLessThan);
    else if (max.isEmpty())
        type = optimLimitTypeText(LimitGreaterThan);
    else
        type = optimLimitTypeText(min == max ? LimitEqualTo : LimitInside);
    const QString oldWeight = first(map, kWeight);
    map.insert(kLimitName, {QStringLiteral("Limit1")});
    map.insert(kLimitType, {type});
    map.insert(kLimitMin, {min});
    map.insert(kLimitMax, {max});
    map.insert(kLimitWeight, {oldWeight.isEmpty() ? QStringLiteral("1.0") : oldWeight});
    map.insert(kWeight, {QStringLiteral("1.0")});
    const QStringList rangeVars = map.value(kRangeVar);
    if (!rangeVars.isEmpty() && !rangeVars.first().isEmpty()) {
        map.insert(kIndepVar, rangeVars);
        for (qsizetype k = 1; k <= rangeVars.size(); ++k) {
            map.insert(indepMin(k), {map.value(kRangeMin).value(k - 1)});
            map.insert(indepMax(k), {map.value(kRangeMax).value(k - 1)});
        }
    }
    for (const QString &key : {kMin, kMax, kRangeVar, kRangeMin, kRangeMax})
        map.insert(key, {});
}

OptimGoalInput toGoal(const OptimGoalParameterMap &map)
{
    OptimGoalInput goal;
    const QString name = first(map, kName);
    goal.setName(name);
    goal.setItemTypeName(kGoalItemType);
    goal.setDesignItem(name, kGoalItemType);
    goal.setInDesign(true);
    goal.setExpression(first(map, kExpr));
    const QString weight = first(map, kWeight);
    goal.setWeight(weight.isEmpty() ? QStringLiteral("1.0") : weight);
    goal.setSimInstanceName(first(map, kSimInstanceName));
    // Empty entries are dropped; the bounds keep following the position
    // their variable had in the map.
    QList<qsizetype> keyPositions;
    const QStringList indepVars = map.value(kIndepVar);
    for (qsizetype p = 0; p < indepVars.size(); ++p) {
        if (indepVars.at(p).isEmpty())
            continue;
        goal.addIndepVar(indepVars.at(p));
        keyPositions.append(p + 1);
    }
    const qsizetype limitCount = std::max<qsizetype>(1, map.value(kLimitName).size());
    for (qsizetype i = 0; i < limitCount; ++i) {
        OptimGoalLimitInput limit;
        limit.setName(map.value(kLimitName).value(i));
        const int type = optimLimitTypeFromText(normalizedLimitType(map.value(kLimitType).value(i)));
        const QString min = map.value(kLimitMin).value(i);
        const QString max = map.value(kLimitMax).value(i);
        // A one-value limit from the old form may carry its value as max only.
        if (optimLimitTypeHasSecondValue(type))
            limit.setLimit(type, min, max);
        else
            limit.setLimit(type, min.isEmpty() ? max : min);
        limit.setWeight(map.value(kLimitWeight).value(i));
        for (qsizetype k = 0; k < keyPositions.size(); ++k) {
            limit.ranges().append(OptimGoalRange(int(k), map.value(indepMin(keyPositions.at(k))).value(i),
                                                 map.value(indepMax(keyPositions.at(k))).value(i)));
        }
        goal.limits().append(limit);
    }
    return goal;
}

OptimGoalParameterMap fromGoal(const OptimGoalInput &goal)
{
    OptimGoalParameterMap map;
    map.insert(kName, {goal.name()});
    map.insert(kExpr, {goal.expression()});
    map.insert(kSimInstanceName, {goal.simInstanceName()});
    map.insert(kWeight, {goal.weight()});
    for (const QString &key : {kMin, kMax, kRangeVar, kRangeMin, kRangeMax})
        map.insert(key, {});
    map.insert(kIndepVar, goal.indepVarNames());
    QStringList names, types, mins, maxs, weights;
    QList<QStringList> lowers(goal.indepVarNames().size());
    QList<QStringList> uppers(goal.indepVarNames().size());
    for (const OptimGoalLimitInput &limit : goal.limits().items()) {
        names.append(limit.name());
        types.append(optimLimitTypeText(limit.limitType()));
        mins.append(limit.firstValueText());
        maxs.append(optimLimitTypeHasSecondValue(limit.limitType()) ? limit.secondValueText() : QString());
        weights.append(limit.weight());
        for (qsizetype k = 0; k < lowers.size(); ++k) {
            const auto range = limit.rangeForIndex(int(k));
            lowers[k].append(range ? range->lowerBound() : QString());
            uppers[k].append(range ? range->upperBound() : QString());
        }
    }
    map.insert(kLimitName, names);
    map.insert(kLimitType, types);
    map.insert(kLimitMin, mins);
    map.insert(kLimitMax, maxs);
    map.insert(kLimitWeight, weights);
    for (qsizetype k = 0; k < lowers.size(); ++k) {
        map.insert(indepMin(k + 1), lowers.at(k));
        map.insert(indepMax(k + 1), uppers.at(k));
    }
    return map;
}

OptimGoalParameterMap quoted(const OptimGoalParameterMap &map)
{
    OptimGoalParameterMap out = map;
    for (const QString &key : {kExpr, kSimInstanceName, kIndepVar, kLimitName, kLimitType}) {
        auto it = out.find(key);
        if (it == out.end())
            continue;
        for (QString &value : *it)
            value = quote(value);
    }
    return out;
}

std::optional<OptimParameterInfo> toParameterInfo(const OptimGoalParameterMap &map)
{
    if (map.isEmpty())
        return std::nullopt;
    const OptimGoalParameterMap q = quoted(map);
    OptimParameterInfo info;
    info.itemName = first(q, kName);
    for (auto it = q.cbegin(); it != q.cend(); ++it) {
        if (it.key() != kName)
            info.entries.append({it.key(), it.value()});
    }
    return info;
}

std::optional<QString> toNetlist(const OptimGoalParameterMap &q)
{
    const QStringList indep = q.value(kIndepVar);
    if (indep.size() > kMaxIndepVars)
        return std::nullopt;
    const QString name = first(q, kName);
    QStringList specNames;
    for (const QString &limitName : q.value(kLimitName))
        specNames.append(quote(name + QLatin1Char('_') + unquote(limitName)));

    // Nothing but the quoting rules may put a quote or a line break into
    // the text: a goal whose texts hold one is refused.
    QStringList plain{name, first(q, kWeight)};
    QStringList quotedTexts{first(q, kExpr), first(q, kSimInstanceName)};
    for (const QString &key : {kLimitMin, kLimitMax, kLimitWeight})
        plain += q.value(key);
    for (qsizetype k = 1; k <= indep.size(); ++k)
        plain += q.value(indepMin(k)) + q.value(indepMax(k));
    quotedTexts += indep + q.value(kLimitType) + specNames;
    if (!std::all_of(plain.cbegin(), plain.cend(), plainIsSafe)
        || !std::all_of(quotedTexts.cbegin(), quotedTexts.cend(), quotedIsSafe))
        return std::nullopt;

    QString text;
    // key=value and a blank; nothing when the key or the (unquoted) value is empty.
    const auto item = [&text](const QString &key, const QString &value) {
        if (!key.isEmpty() && !unquote(value).isEmpty())
            text += key + QLatin1Char('=') + value + QLatin1Char(' ');
    };
    const QString continued = QStringLiteral("\\\n");
    if (!name.isEmpty())
        text += QLatin1String("OptimGoal:") + name + QLatin1Char(' ');
    item(kExpr, first(q, kExpr));
    item(kSimInstanceName, first(q, kSimInstanceName));
    item(kWeight, first(q, kWeight));
    text += continued;
    for (qsizetype p = 0; p < indep.size(); ++p)
        item(QStringLiteral("IndepVar[%1]").arg(p + 1), indep.at(p));
    if (!indep.isEmpty())
        text += continued;
    for (qsizetype i = 0; i < specNames.size(); ++i)
        item(QStringLiteral("SpecLimitLine[%1]").arg(i + 1), specNames.at(i));
    for (qsizetype i = 0; i < specNames.size(); ++i) {
        text += QLatin1String("\nSpecLimitLine:") + specNames.at(i) + QLatin1Char(' ');
        item(QStringLiteral("Type"), q.value(kLimitType).value(i));
        item(QStringLiteral("Min"), q.value(kLimitMin).value(i));
        item(QStringLiteral("Max"), q.value(kLimitMax).value(i));
        item(QStringLiteral("Weight"), q.value(kLimitWeight).value(i));
        // Numbered within the limit, counting only variables bounded in it.
        int m = 0;
        for (qsizetype k = 1; k <= indep.size(); ++k) {
            const QString lower = q.value(indepMin(k)).value(i);
            const QString upper = q.value(indepMax(k)).value(i);
            if (lower.isEmpty() && upper.isEmpty())
                continue;
            ++m;
            text += continued;
            item(QStringLiteral("IndepVar[%1]").arg(m), indep.at(k - 1));
            item(QStringLiteral("IndepMin[%1]").arg(m), lower);
            item(QStringLiteral("IndepMax[%1]").arg(m), upper);
        }
    }
    text += QLatin1Char('\n');
    return text;
}

std::optional<QString> netlistOf(OptimGoalParameterMap map)
{
    upgradeOldForm(map);
    const OptimGoalInput goal = toGoal(map);
    if (goal.indepVarNames().size() > kMaxIndepVars)
        return std::nullopt;
    return toNetlist(quoted(fromGoal(goal)));
}

} // namespace optimgoalmap
