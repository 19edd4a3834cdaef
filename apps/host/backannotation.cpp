#include "backannotation.h"

#include "designstore.h"
#include "moxargs.h"

#include "mox/moxinterpreter.h"

#include <array>

namespace {

const QByteArray kPluginModule("CmdOp");

struct AlgorithmKeywords
{
    int code;
    const char *optimType;
    const char *errorForm;
};

// The simulator keywords of each algorithm code (the plug-in writes these in
// its algorithm parameter list).
constexpr std::array<AlgorithmKeywords, 12> kAlgorithms{{
    {1, "random", "L2"},
    {2, "qzVMO", "L2"},
    {3, "random", "MML1"},
    {4, "qzVMO", "MML1"},
    {5, "DFP", "L2"},
    {6, "qzSeqLP", "seqLP"},
    {7, "HaldMadson", "MM"},
    {8, "random", "negL2"},
    {9, "hybrid", "L2"},
    {10, "exhaustive", "L2"},
    {11, "sga", "L2"},
    {12, "simulated_annealing", "L2"},
}};

QString first(const ParameterMap &map, const QString &key)
{
    return map.value(key).value(0);
}

QString quoted(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text;
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Releases a value when the holder goes out of scope.
class Held
{
public:
    Held(MoxInterpreter *mox, MoxValue *value) : m_mox(mox), m_value(value) {}
    ~Held() { m_mox->release(m_value); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    MoxValue *get() const { return m_value; }

private:
    MoxInterpreter *m_mox;
    MoxValue *m_value;
};

} // namespace

namespace backannotation {

bool parseVariableLine(const QString &line, VariableLine &variable)
{
    const QString text = line.trimmed();
    const qsizetype equals = text.indexOf(QStringLiteral(" = "));
    const qsizetype open = text.lastIndexOf(QLatin1Char('{'));
    if (equals <= 0 || open < equals || !text.endsWith(QLatin1Char('}')))
        return false;
    VariableLine v;
    v.netlistName = text.left(equals).trimmed();
    if (v.netlistName.isEmpty() || v.netlistName.contains(QLatin1Char(' ')))
        return false;
    // Between " = " and "{": the value (possibly empty) and the keyword.
    const QString middle = text.mid(equals + 3, open - equals - 3).trimmed();
    const qsizetype blank = middle.lastIndexOf(QLatin1Char(' '));
    const QString keyword = blank < 0 ? middle : middle.mid(blank + 1);
    v.value = blank < 0 ? QString() : middle.left(blank).trimmed();
    if (keyword == QLatin1String("opt"))
        v.optimize = true;
    else if (keyword == QLatin1String("noopt"))
        v.optimize = false;
    else
        return false;

    const QString clause = text.mid(open + 1, text.size() - open - 2).trimmed();
    v.params = {QString(), QString(), QString()};
    const auto splitAt = [](const QString &t, const QString &sep, QString &left, QString &right) {
        const qsizetype at = t.indexOf(sep);
        if (at < 0)
            return false;
        left = t.left(at).trimmed();
        right = t.mid(at + sep.size()).trimmed();
        return true;
    };
    if (clause == QLatin1String("unconst")) {
        v.constraintType = 0;
    } else if (clause.startsWith(QLatin1String("discrete "))) {
        QString min, rest, max, step;
        if (!splitAt(clause.mid(9), QStringLiteral(" to "), min, rest) || !splitAt(rest, QStringLiteral(" by "), max, step))
            return false;
        v.constraintType = 2;
        v.params = {min, max, step};
    } else if (clause.startsWith(QLatin1String("+/- "))) {
        QString delta = clause.mid(4).trimmed();
        if (delta.endsWith(QLatin1Char('%'))) {
            v.constraintType = 4;
            delta.chop(1);
            delta = delta.trimmed();
        } else {
            v.constraintType = 3;
        }
        v.params[1] = delta;
    } else {
        QString min, max;
        if (!splitAt(clause, QStringLiteral(" to "), min, max))
            return false;
        v.constraintType = 1;
        v.params[0] = min;
        v.params[1] = max;
    }
    v.text = text;
    variable = v;
    return true;
}

QString unquote(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text.mid(1, text.size() - 2);
    return text;
}

bool readParameterList(MoxInterpreter *mox, const MoxValue *list, QString &itemName, ParameterMap &map)
{
    const int size = mox->listSize(list);
    if (size < 1)
        return false;
    map.clear();
    {
        Held head(mox, mox->listElement(list, 0));
        if (const auto name = moxvalues::text(mox, head.get())) {
            itemName = QString::fromUtf8(*name);
        } else if (mox->listSize(head.get()) >= 2) {
            Held name(mox, mox->listElement(head.get(), 1));
            itemName = QString::fromUtf8(moxvalues::text(mox, name.get()).value_or(QByteArray()));
        } else {
            return false;
        }
    }
    for (int i = 1; i < size; ++i) {
        Held entry(mox, mox->listElement(list, i));
        if (mox->listSize(entry.get()) < 3)
            continue;
        Held key(mox, mox->listElement(entry.get(), 0));
        Held count(mox, mox->listElement(entry.get(), 1));
        Held values(mox, mox->listElement(entry.get(), 2));
        const auto keyText = moxvalues::text(mox, key.get());
        const auto n = moxvalues::integer(mox, count.get());
        if (!keyText || !n || *n < 0)
            continue;
        QStringList texts;
        const int available = mox->listSize(values.get());
        for (int j = 0; j < *n && j < available; ++j) {
            Held value(mox, mox->listElement(values.get(), j));
            texts.append(unquote(QString::fromUtf8(moxvalues::text(mox, value.get()).value_or(QByteArray()))));
        }
        map.insert(QString::fromUtf8(*keyText), texts);
    }
    return true;
}

GoalDefinition goalFromParameters(const QString &itemName, const ParameterMap &map)
{
    GoalDefinition goal;
    goal.name = itemName.isEmpty() ? first(map, QStringLiteral("Name")) : itemName;
    goal.expression = first(map, QStringLiteral("Expr"));
    goal.simInstanceName = first(map, QStringLiteral("SimInstanceName"));
    goal.weight = first(map, QStringLiteral("Weight"));
    for (const QString &v : map.value(QStringLiteral("IndepVar"))) {
        if (!v.isEmpty())
            goal.indepVars.append(v);
    }
    const QStringList names = map.value(QStringLiteral("LimitName"));
    for (qsizetype i = 0; i < names.size(); ++i) {
        GoalLimitDefinition limit;
        limit.name = names.at(i);
        limit.type = map.value(QStringLiteral("LimitType")).value(i);
        limit.min = map.value(QStringLiteral("LimitMin")).value(i);
        limit.max = map.value(QStringLiteral("LimitMax")).value(i);
        limit.weight = map.value(QStringLiteral("LimitWeight")).value(i);
        for (qsizetype k = 0; k < goal.indepVars.size(); ++k) {
            const QString lower = map.value(QStringLiteral("Indep%1Min").arg(k + 1)).value(i);
            const QString upper = map.value(QStringLiteral("Indep%1Max").arg(k + 1)).value(i);
            limit.ranges.append({lower, upper});
        }
        goal.limits.append(limit);
    }
    return goal;
}

AlgorithmDefinition algorithmFromParameters(const QString &itemName, const ParameterMap &map)
{
    AlgorithmDefinition algorithm;
    algorithm.name = itemName;
    algorithm.optimType = first(map, QStringLiteral("OptimType"));
    algorithm.errorForm = first(map, QStringLiteral("ErrorForm"));
    algorithm.maxIterations = first(map, QStringLiteral("MaxIters"));
    algorithm.type = algorithmCode(algorithm.optimType, algorithm.errorForm);
    return algorithm;
}

int algorithmCode(const QString &optimType, const QString &errorForm)
{
    for (const AlgorithmKeywords &a : kAlgorithms) {
        if (optimType == QLatin1String(a.optimType) && errorForm == QLatin1String(a.errorForm))
            return a.code;
    }
    return 0;
}

MoxValue *goalParameterList(MoxInterpreter *mox, const GoalDefinition &goal, const QStringList &analyses,
                            const QStringList &exprs)
{
    ParameterMap map;
    map.insert(QStringLiteral("analyses"), analyses);
    map.insert(QStringLiteral("exprs"), exprs);
    map.insert(QStringLiteral("Expr"), {quoted(goal.expression)});
    map.insert(QStringLiteral("SimInstanceName"), {quoted(goal.simInstanceName)});
    map.insert(QStringLiteral("Weight"), {goal.weight});
    QStringList indep;
    for (const QString &v : goal.indepVars)
        indep.append(quoted(v));
    map.insert(QStringLiteral("IndepVar"), indep);
    QStringList names, types, mins, maxs, weights;
    QList<QStringList> lowers(goal.indepVars.size()), uppers(goal.indepVars.size());
    for (const GoalLimitDefinition &limit : goal.limits) {
        names.append(quoted(limit.name));
        types.append(quoted(limit.type));
        mins.append(limit.min);
        maxs.append(limit.max);
        weights.append(limit.weight);
        for (qsizetype k = 0; k < goal.indepVars.size(); ++k) {
            const auto range = limit.ranges.value(k);
            lowers[k].append(range.first);
            uppers[k].append(range.second);
        }
    }
    map.insert(QStringLiteral("LimitName"), names);
    map.insert(QStringLiteral("LimitType"), types);
    map.insert(QStringLiteral("LimitMin"), mins);
    map.insert(QStringLiteral("LimitMax"), maxs);
    map.insert(QStringLiteral("LimitWeight"), weights);
    for (qsizetype k = 0; k < goal.indepVars.size(); ++k) {
        map.insert(QStringLiteral("Indep%1Min").arg(k + 1), lowers.at(k));
        map.insert(QStringLiteral("Indep%1Max").arg(k + 1), uppers.at(k));
    }

    QList<MoxValue *> entries;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        // The plug-in drops entries without values, so none are written.
        if (it.value().isEmpty())
            continue;
        entries.append(mox->makeList({moxvalues::string(mox, it.key()), mox->makeInteger(it.value().size()),
                                      moxvalues::stringList(mox, it.value())}));
    }
    MoxValue *head = mox->makeList({mox->makeInteger(entries.size()), moxvalues::string(mox, goal.name)});
    entries.prepend(head);
    return mox->makeList(entries);
}

bool fetchGoalNetlist(MoxInterpreter *mox, GoalDefinition &goal)
{
    MoxValue *list = goalParameterList(mox, goal);
    const QByteArray call = "optimHelmdeck_getGoalNetlist(" + mox->printed(list) + ")";
    mox->release(list);
    Held text(mox, mox->evaluate(kPluginModule, call));
    const auto netlist = moxvalues::text(mox, text.get());
    if (!netlist || netlist->isEmpty())
        return false;
    goal.netlist = QString::fromUtf8(*netlist);
    return true;
}

} // namespace backannotation

QString BackAnnotationResult::summary() const
{
    QStringList parts;
    if (variablesWritten > 0)
        parts.append(QStringLiteral("%1 variable(s)").arg(variablesWritten));
    if (goalsWritten > 0)
        parts.append(QStringLiteral("%1 goal(s)").arg(goalsWritten));
    if (algorithmWritten)
        parts.append(QStringLiteral("the algorithm"));
    QString text = parts.isEmpty() ? QStringLiteral("nothing written") : QStringLiteral("wrote ") + parts.join(QStringLiteral(", "));
    if (saved)
        text += QStringLiteral("; design saved");
    if (!problems.isEmpty())
        text += QStringLiteral("; ") + problems.join(QStringLiteral("; "));
    return text;
}

BackAnnotationResult backAnnotate(MoxInterpreter *mox, DesignStore *design, const BackAnnotationRequest &request)
{
    BackAnnotationResult result;
    if (!design || !design->isOpen()) {
        result.problems.append(QStringLiteral("no design is open"));
        return result;
    }
    if (!design->isDesignName(request.designName)) {
        result.problems.append(QStringLiteral("design \"%1\" is not the open design").arg(request.designName));
        return result;
    }
    // Counts come from the plug-in; keep them to something a design can hold.
    constexpr int kMaxItems = 100000;

    if (request.variables) {
        for (int i = 0; i < std::min(request.variableCount, kMaxItems); ++i) {
            Held value(mox, mox->evaluate(kPluginModule, "optimHelmdeck_fetchVariable(" + QByteArray::number(i) + ")"));
            const auto line = moxvalues::text(mox, value.get());
            if (!line) {
                // The plug-in hands out no line for a variable that is neither
                // in the design nor optimized; that is not a problem.
                continue;
            }
            VariableLine variable;
            QString why;
            if (!backannotation::parseVariableLine(QString::fromUtf8(*line), variable)) {
                result.problems.append(QStringLiteral("variable %1: cannot read \"%2\"").arg(i).arg(QString::fromUtf8(*line)));
            } else if (!design->applyVariable(variable, &why)) {
                result.problems.append(why);
            } else {
                ++result.variablesWritten;
            }
        }
    }
    if (request.goals) {
        for (int i = 0; i < std::min(request.goalCount, kMaxItems); ++i) {
            Held value(mox, mox->evaluate(kPluginModule, "optimHelmdeck_fetchGoal(" + QByteArray::number(i) + ")"));
            if (!value.get())
                continue;
            QString name;
            ParameterMap map;
            QString why;
            const bool read = backannotation::readParameterList(mox, value.get(), name, map);
            GoalDefinition goal = read ? backannotation::goalFromParameters(name, map) : GoalDefinition();
            if (!read) {
                result.problems.append(QStringLiteral("goal %1: not a parameter list").arg(i));
            } else if (design->isNetlist() && !backannotation::fetchGoalNetlist(mox, goal)) {
                result.problems.append(QStringLiteral("goal %1: the helmdeck handed out no netlist text for it").arg(goal.name));
            } else if (!design->applyGoal(goal, &why)) {
                result.problems.append(why);
            } else {
                ++result.goalsWritten;
            }
        }
    }
    if (request.algorithm) {
        Held value(mox, mox->evaluate(kPluginModule, "optimHelmdeck_fetchAlgorithm(0)"));
        QString name;
        ParameterMap map;
        QString why;
        if (!value.get()) {
            result.problems.append(QStringLiteral("the plug-in handed out no algorithm"));
        } else if (!backannotation::readParameterList(mox, value.get(), name, map)) {
            result.problems.append(QStringLiteral("the algorithm is not a parameter list"));
        } else if (!design->applyAlgorithm(backannotation::algorithmFromParameters(name, map), &why)) {
            result.problems.append(why);
        } else {
            result.algorithmWritten = true;
        }
    }
    result.ok = true;
    if (result.variablesWritten > 0 || result.goalsWritten > 0 || result.algorithmWritten) {
        QString why;
        result.saved = design->save(&why);
        if (!result.saved) {
            result.problems.append(why);
            result.ok = false;
        }
    }
    return result;
}
