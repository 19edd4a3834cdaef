#include "netlistdesign.h"

#include "design/optimvariablenetlist.h"
#include "model/optiminputrecords.h"
#include "units/realstringparser.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

const QString kExpected = QStringLiteral("NAME = VALUE opt { CLAUSE } (or noopt)");
const QString kClauses = QStringLiteral("unconst, MIN to MAX, discrete MIN to MAX by STEP, +/- DELTA or +/- PCT %");

// One physical line of the file: its bytes without the line end.
struct Line
{
    qsizetype begin = 0;
    qsizetype end = 0;
    int number = 0;
    QString text;
};

// A helmdeck statement as read: its lines joined (without the continuing
// backslashes) and where each line starts in the joined text.
struct Joined
{
    QString text;
    QList<qsizetype> starts;  // position in text of each line
    int firstLine = 0;

    int lineAt(qsizetype pos) const
    {
        const auto it = std::upper_bound(starts.cbegin(), starts.cend(), pos);
        return firstLine + int(it - starts.cbegin()) - 1;
    }
};

// A KEY=VALUE item; indexed keys ("Port[2]") keep their base and index.
struct Item
{
    QString key;
    QString base;
    int index = 0;  // 0: not indexed
    QString value;  // without its quotes
    qsizetype pos = 0;
};

// A problem at a position of a joined statement.
struct Problem
{
    qsizetype pos = 0;
    QString what;
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Where the blanks before the next " KEY=" or " KEY[n]=" item from pos
// begin; the text's size when none follows. (A scan of its own, in one pass.)
qsizetype nextItem(const QString &text, qsizetype pos)
{
    const qsizetype n = text.size();
    for (qsizetype i = pos; i < n; ++i) {
        if (!isBlank(text.at(i)))
            continue;
        const qsizetype blanks = i;
        while (i < n && isBlank(text.at(i)))
            ++i;
        qsizetype k = i;
        if (k >= n || !isLetter(text.at(k)))
            continue;
        while (k < n && (isLetter(text.at(k)) || (text.at(k) >= u'0' && text.at(k) <= u'9') || text.at(k) == u'_'))
            ++k;
        if (k < n && text.at(k) == u'[') {
            qsizetype d = k + 1;
            while (d < n && text.at(d) >= u'0' && text.at(d) <= u'9')
                ++d;
            if (d > k + 1 && d < n && text.at(d) == u']')
                k = d + 1;
        }
        if (k < n && text.at(k) == u'=')
            return blanks;
        i = k - 1;
    }
    return n;
}

// A quoted text, or a text running up to the next " KEY=" item or the end.
// key is an item's key ("Expr") or, for the name after a keyword, the keyword with its colon.
bool readValue(const QString &text, qsizetype &pos, QString &value, const QString &key, Problem &problem)
{
    const qsizetype start = pos;
    const QString form = key.endsWith(u':') ? key : key + u'=';
    if (pos < text.size() && text.at(pos) == u'"') {
        const qsizetype close = text.indexOf(u'"', pos + 1);
        if (close < 0 || (close + 1 < text.size() && !isBlank(text.at(close + 1)))) {
            problem = {start, QStringLiteral("unbalanced quotes in %1; expected %2\"TEXT\"").arg(key, form)};
            return false;
        }
        value = text.mid(pos + 1, close - pos - 1);
        pos = close + 1;
        return true;
    }
    const qsizetype stop = nextItem(text, pos);
    value = text.mid(pos, stop - pos).trimmed();
    pos = stop;
    if (value.contains(u'"')) {
        problem = {start, QStringLiteral("unbalanced quotes in %1; expected %2\"TEXT\" or a value without quotes").arg(key, form)};
        return false;
    }
    if (value.isEmpty()) {
        problem = {start, QStringLiteral("%1 has no value; expected %2VALUE").arg(key, form)};
        return false;
    }
    return true;
}

// "Keyword:NAME KEY=VALUE ...": the name and the items.
bool readItems(const QString &text, qsizetype pos, QString &name, QList<Item> &items, Problem &problem)
{
    static const QRegularExpression keyRe(QStringLiteral("[A-Za-z][A-Za-z0-9_]*(?:\\[([0-9]{1,4})\\])?"));
    const QString keyword = text.left(pos - 1);
    if (pos >= text.size() || isBlank(text.at(pos))) {
        problem = {pos, QStringLiteral("%1: without a name; expected %1:NAME").arg(keyword)};
        return false;
    }
    if (!readValue(text, pos, name, keyword + u':', problem))
        return false;
    QSet<QString> keys;
    for (;;) {
        while (pos < text.size() && isBlank(text.at(pos)))
            ++pos;
        if (pos >= text.size())
            return true;
        const QRegularExpressionMatch m = keyRe.match(text, pos, QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
        const qsizetype after = m.hasMatch() ? m.capturedEnd() : pos;
        if (!m.hasMatch() || after >= text.size() || text.at(after) != u'=') {
            qsizetype stop = pos;
            while (stop < text.size() && !isBlank(text.at(stop)))
                ++stop;
            problem = {pos, QStringLiteral("\"%1\" is no item; expected KEY=VALUE").arg(text.mid(pos, stop - pos))};
            return false;
        }
        Item item;
        item.pos = pos;
        item.key = m.captured();
        item.index = m.captured(1).toInt();
        item.base = m.hasCaptured(1) ? item.key.left(item.key.indexOf(u'[')) : item.key;
        if (m.hasCaptured(1) && item.index < 1) {
            problem = {pos, QStringLiteral("%1: indices count from 1; expected %2[1], %2[2], ...").arg(item.key, item.base)};
            return false;
        }
        if (keys.contains(item.key)) {
            problem = {pos, QStringLiteral("%1 is given twice; expected it once").arg(item.key)};
            return false;
        }
        keys.insert(item.key);
        pos = after + 1;
        if (!readValue(text, pos, item.value, item.key, problem))
            return false;
        items.append(item);
    }
}

bool isValue(const QString &text)
{
    return RealStringParser(text).isAcceptable();
}

QString notAValue(const QString &text)
{
    return QStringLiteral("\"%1\" is not a value; expected a number with an optional suffix and unit (\"5 pF\", \"10n\")").arg(text);
}

// The reader proper: it fails with the first problem found.
struct Reader
{
    Reader(const QString &file, NetlistDesign &d) : fileName(file), design(d) {}

    QString fileName;
    QString error;
    NetlistDesign &design;
    QHash<QString, int> pathLines;  // the statements' JSON paths, merged into the design's when read

    bool fail(int line, const QString &what)
    {
        if (error.isEmpty())
            error = line > 0 ? QStringLiteral("%1:%2: %3").arg(fileName).arg(line).arg(what) : QStringLiteral("%1: %2").arg(fileName, what);
        return false;
    }
    bool fail(const Joined &s, const Problem &p) { return fail(s.lineAt(p.pos), p.what); }

    QJsonArray variables, goals, analyses;
    QJsonObject algorithm;
    int algorithmLine = 0;
    QList<int> variableLines, analysisLines;
    struct Goal
    {
        QJsonObject json;
        QMap<int, Item> limits;  // SpecLimitLine[i], by i
        int statement = 0;
        QString indepVar;
    };
    QList<Goal> goalList;
    struct Limit
    {
        QList<Item> items;
        QString name;
        int statement = 0;
        int line = 0;
        bool taken = false;
    };
    QList<Limit> limitList;

    bool variable(const Joined &s, qsizetype eq)
    {
        const QString &t = s.text;
        const QString name = t.left(eq).trimmed();
        const qsizetype open = t.indexOf(u'{', eq);
        if (open < 0)
            return fail(s.firstLine, QStringLiteral("variable %1 without { CLAUSE }; expected %2").arg(name, kExpected));
        const qsizetype close = t.indexOf(u'}', open);
        if (close < 0)
            return fail(s, {open, QStringLiteral("{ without }; expected { CLAUSE } with a clause %1").arg(kClauses)});
        if (t.indexOf(u'{', open + 1) >= 0 && t.indexOf(u'{', open + 1) < close)
            return fail(s, {open, QStringLiteral("a { inside { }; expected one { CLAUSE }")});
        const QString after = t.mid(close + 1).trimmed();
        if (!after.isEmpty())
            return fail(s, {close, QStringLiteral("\"%1\" after }; expected nothing after the clause").arg(after)});
        const QString before = t.mid(eq + 1, open - eq - 1).trimmed();
        qsizetype blank = before.size() - 1;
        while (blank >= 0 && !isBlank(before.at(blank)))
            --blank;
        const QString word = before.mid(blank + 1);
        const QString value = blank < 0 ? QString() : before.left(blank).trimmed();
        if (word != QLatin1String("opt") && word != QLatin1String("noopt"))
            return fail(s, {open, QStringLiteral("variable %1 without opt or noopt; expected %2").arg(name, kExpected)});
        if (value.isEmpty())
            return fail(s, {eq, QStringLiteral("variable %1 without a value; expected %2").arg(name, kExpected)});
        if (!isValue(value))
            return fail(s, {eq, notAValue(value)});

        const QString clause = t.mid(open + 1, close - open - 1).trimmed();
        // The clause's words, so that values keep their own blanks ("0.2 pF to 10 pF").
        static const QRegularExpression wordRe(QStringLiteral("\\S+"));
        QList<QRegularExpressionMatch> words;
        for (auto it = wordRe.globalMatch(clause); it.hasNext();)
            words.append(it.next());
        const auto span = [&](qsizetype from, qsizetype to) {  // the text of words [from, to)
            return from >= to ? QString() : clause.mid(words.at(from).capturedStart(), words.at(to - 1).capturedEnd() - words.at(from).capturedStart());
        };
        const auto find = [&](const QString &word, qsizetype from) {
            for (qsizetype k = from; k < words.size(); ++k) {
                if (words.at(k).captured() == word)
                    return k;
            }
            return qsizetype(-1);
        };
        int type = -1;
        QStringList params;
        if (clause == QLatin1String("unconst")) {
            type = ConstraintNone;
        } else if (clause.startsWith(QLatin1String("+/-"))) {
            QString amount = clause.mid(3).trimmed();
            type = amount.endsWith(u'%') ? ConstraintPercentage : ConstraintDeviation;
            if (type == ConstraintPercentage)
                amount = amount.chopped(1).trimmed();
            params = {QString(), amount};
            if (amount.isEmpty())
                type = -1;
        } else if (!words.isEmpty() && words.first().captured() == QLatin1String("discrete")) {
            const qsizetype to = find(QStringLiteral("to"), 2);
            const qsizetype by = to < 0 ? -1 : find(QStringLiteral("by"), to + 2);
            if (by > 0 && by + 1 < words.size()) {
                type = ConstraintDiscrete;
                params = {span(1, to), span(to + 1, by), span(by + 1, words.size())};
            }
        } else if (const qsizetype to = find(QStringLiteral("to"), 1); to > 0 && to + 1 < words.size()) {
            type = ConstraintRange;
            params = {span(0, to), span(to + 1, words.size())};
        }
        if (type < 0)
            return fail(s, {open, QStringLiteral("unknown clause \"%1\"; expected %2").arg(clause, kClauses)});
        for (const QString &p : std::as_const(params)) {
            if (!p.isEmpty() && !isValue(p))
                return fail(s, {open, notAValue(p)});
        }
        const RealStringParser parsed(value);
        QJsonObject v{{QStringLiteral("netlistName"), name},
                      {QStringLiteral("name"), name},
                      {QStringLiteral("value"), value},
                      {QStringLiteral("unit"), parsed.hasOwnUnits() ? parsed.baseUnits() : QString()},
                      {QStringLiteral("optimize"), word == QLatin1String("opt")},
                      {QStringLiteral("constraint"),
                       QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("params"), QJsonArray::fromStringList(params)}}}};
        pathLines.insert(QStringLiteral("variables[%1]").arg(variables.size()), s.firstLine);
        variables.append(v);
        variableLines.append(s.firstLine);
        return true;
    }

    bool goal(const Joined &s, qsizetype pos)
    {
        Goal g;
        QString name;
        QList<Item> items;
        Problem p;
        if (!readItems(s.text, pos, name, items, p))
            return fail(s, p);
        g.json.insert(QStringLiteral("name"), name);
        QJsonArray indep;
        for (const Item &item : std::as_const(items)) {
            if (item.key == QLatin1String("Expr"))
                g.json.insert(QStringLiteral("expression"), item.value);
            else if (item.key == QLatin1String("SimInstanceName"))
                g.json.insert(QStringLiteral("simInstanceName"), item.value);
            else if (item.key == QLatin1String("Weight"))
                g.json.insert(QStringLiteral("weight"), item.value);
            else if (item.base == QLatin1String("IndepVar") && item.index == 1)
                g.indepVar = item.value;
            else if (item.base == QLatin1String("IndepVar") && item.index > 1)
                return fail(s, {item.pos, QStringLiteral("%1: one independent variable is supported; expected IndepVar[1] only").arg(item.key)});
            else if (item.base == QLatin1String("SpecLimitLine") && item.index > 0)
                g.limits.insert(item.index, item);
            else
                return fail(s, {item.pos, QStringLiteral("unknown item %1; expected Expr, SimInstanceName, Weight, IndepVar[1] or SpecLimitLine[i]").arg(item.key)});
        }
        if (!g.json.contains(QStringLiteral("expression")))
            return fail(s.firstLine, QStringLiteral("goal %1 without Expr; expected Expr=\"dB(S21)\"").arg(name));
        if (!g.indepVar.isEmpty())
            g.json.insert(QStringLiteral("indepVar"), g.indepVar);
        g.statement = int(design.statements.size()) - 1;
        pathLines.insert(QStringLiteral("goals[%1]").arg(goalList.size()), s.firstLine);
        goalList.append(g);
        return true;
    }

    bool limit(const Joined &s, qsizetype pos)
    {
        Limit l;
        Problem p;
        if (!readItems(s.text, pos, l.name, l.items, p))
            return fail(s, p);
        for (const Item &item : std::as_const(l.items)) {
            const bool plain = item.index == 0 && QStringList{QStringLiteral("Type"), QStringLiteral("Min"), QStringLiteral("Max"), QStringLiteral("Weight")}.contains(item.key);
            const bool indexed = item.index > 0 && QStringList{QStringLiteral("IndepVar"), QStringLiteral("IndepMin"), QStringLiteral("IndepMax")}.contains(item.base);
            if (!plain && !indexed)
                return fail(s, {item.pos, QStringLiteral("unknown item %1; expected Type, Min, Max, Weight, IndepVar[m], IndepMin[m] or IndepMax[m]").arg(item.key)});
        }
        for (const Limit &other : std::as_const(limitList)) {
            if (other.name == l.name)
                return fail(s.firstLine, QStringLiteral("a second SpecLimitLine \"%1\" (the first is on line %2); expected each name once").arg(l.name).arg(other.line));
        }
        l.statement = int(design.statements.size()) - 1;
        l.line = s.firstLine;
        limitList.append(l);
        return true;
    }

    bool algorithmStatement(const Joined &s, qsizetype pos)
    {
        if (algorithmLine > 0)
            return fail(s.firstLine, QStringLiteral("a second OptimAlgorithm statement (the first is on line %1); expected one").arg(algorithmLine));
        QString name;
        QList<Item> items;
        Problem p;
        if (!readItems(s.text, pos, name, items, p))
            return fail(s, p);
        QString optimType, errorForm;
        for (const Item &item : std::as_const(items)) {
            if (item.key == QLatin1String("OptimType"))
                optimType = item.value;
            else if (item.key == QLatin1String("ErrorForm"))
                errorForm = item.value;
            else if (item.key == QLatin1String("MaxIters"))
                algorithm.insert(QStringLiteral("maxIterations"), item.value);
            else
                return fail(s, {item.pos, QStringLiteral("unknown item %1; expected OptimType, ErrorForm or MaxIters").arg(item.key)});
        }
        int code = 0;
        QStringList known;
        for (int c = 1; c <= 12 && code == 0; ++c) {
            if (optimAlgorithmOptimType(c) == optimType && optimAlgorithmErrorForm(c) == errorForm)
                code = c;
        }
        if (code == 0) {
            for (int c = 1; c <= 12; ++c)
                known.append(QStringLiteral("%1/%2").arg(optimAlgorithmOptimType(c), optimAlgorithmErrorForm(c)));
            return fail(s.firstLine, QStringLiteral("OptimType=\"%1\" ErrorForm=\"%2\" is no algorithm; expected one of %3")
                                         .arg(optimType, errorForm, known.join(QStringLiteral(", "))));
        }
        algorithm.insert(QStringLiteral("name"), name);
        algorithm.insert(QStringLiteral("type"), code);
        algorithmLine = s.firstLine;
        return true;
    }

    bool analysis(const Joined &s, qsizetype pos)
    {
        QString name;
        QList<Item> items;
        Problem p;
        if (!readItems(s.text, pos, name, items, p))
            return fail(s, p);
        QJsonObject a{{QStringLiteral("name"), name}};
        QMap<int, QJsonObject> ports;
        for (const Item &item : std::as_const(items)) {
            if (item.index > 0 && (item.base == QLatin1String("Port") || item.base == QLatin1String("Z0"))) {
                ports[item.index].insert(item.base == QLatin1String("Port") ? QStringLiteral("node") : QStringLiteral("z0"), item.value);
                continue;
            }
            QString key = item.key;
            key[0] = key.at(0).toLower();
            if (item.index > 0 || key == QLatin1String("name") || key == QLatin1String("ports"))
                return fail(s, {item.pos, QStringLiteral("item %1 is not allowed here; expected Port[n], Z0[n] or an analysis setting (Type, Start, ...)").arg(item.key)});
            a.insert(key, item.value);
        }
        QJsonArray portArray;
        for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
            if (it.key() != portArray.size() + 1 || !it.value().contains(QStringLiteral("node")))
                return fail(s.firstLine, QStringLiteral("Port[%1] is missing; expected Port[1] to Port[n], each with its Z0[n] if any").arg(portArray.size() + 1));
            portArray.append(it.value());
        }
        if (!portArray.isEmpty())
            a.insert(QStringLiteral("ports"), portArray);
        analyses.append(a);
        analysisLines.append(s.firstLine);
        return true;
    }

    // After every statement is read: each goal's limits.
    bool linkLimits()
    {
        for (qsizetype g = 0; g < goalList.size(); ++g) {
            Goal &goal = goalList[g];
            const int goalLine = design.statements.at(goal.statement).line;
            const QString goalName = goal.json.value(QStringLiteral("name")).toString();
            QJsonArray limits;
            for (const Item &ref : std::as_const(goal.limits)) {
                const auto it = std::find_if(limitList.begin(), limitList.end(), [&](const Limit &l) { return l.name == ref.value; });
                if (it == limitList.end())
                    return fail(goalLine, QStringLiteral("%1=\"%2\" names no SpecLimitLine statement; expected SpecLimitLine:\"%2\" Type=... in the file").arg(ref.key, ref.value));
                if (it->taken)
                    return fail(goalLine, QStringLiteral("SpecLimitLine \"%1\" (line %2) belongs to another goal already; expected each limit in one goal").arg(ref.value).arg(it->line));
                it->taken = true;
                design.statements[it->statement].goal = goal.statement;
                QJsonObject limit;
                if (!limitJson(*it, goalName, goal.indepVar, limit))
                    return false;
                pathLines.insert(QStringLiteral("goals[%1].limits[%2]").arg(g).arg(limits.size()), it->line);
                limits.append(limit);
            }
            goal.json.insert(QStringLiteral("limits"), limits);
            goals.append(goal.json);
        }
        for (const Limit &l : std::as_const(limitList)) {
            if (!l.taken)
                return fail(l.line, QStringLiteral("SpecLimitLine \"%1\" belongs to no goal; expected a goal with SpecLimitLine[i]=\"%1\"").arg(l.name));
        }
        return true;
    }

    bool limitJson(const Limit &l, const QString &goalName, const QString &goalIndepVar, QJsonObject &limit)
    {
        const QString prefix = goalName + u'_';
        limit.insert(QStringLiteral("name"), l.name.startsWith(prefix) ? l.name.mid(prefix.size()) : l.name);
        QHash<QString, QString> values;
        QMap<int, QString> indepVars;
        for (const Item &item : l.items) {
            values.insert(item.key, item.value);
            if (item.base == QLatin1String("IndepVar"))
                indepVars.insert(item.index, item.value);
        }
        const QString type = values.value(QStringLiteral("Type"));
        const int code = optimLimitTypeFromText(type);
        if (code < 0)
            return fail(l.line, QStringLiteral("limit type \"%1\" is unknown; expected Type=\"GreaterThan\", \"LessThan\", \"EqualTo\", \"Inside\" or \"Outside\"").arg(type));
        limit.insert(QStringLiteral("type"), type);
        const QString min = values.value(QStringLiteral("Min"));
        const QString max = values.value(QStringLiteral("Max"));
        if (optimLimitTypeHasSecondValue(code)) {
            if (min.isEmpty() || max.isEmpty())
                return fail(l.line, QStringLiteral("%1 needs two values; expected Min=... Max=...").arg(type));
            limit.insert(QStringLiteral("values"), QJsonArray{min, max});
        } else {
            // A one-value limit may carry its value as Max only, as the old single-limit form does.
            if (min.isEmpty() == max.isEmpty())
                return fail(l.line, QStringLiteral("%1 needs one value; expected Min=... (or Max=...)").arg(type));
            limit.insert(QStringLiteral("value"), min.isEmpty() ? max : min);
        }
        if (values.contains(QStringLiteral("Weight")))
            limit.insert(QStringLiteral("weight"), values.value(QStringLiteral("Weight")));
        for (const Item &item : l.items) {
            if ((item.base == QLatin1String("IndepMin") || item.base == QLatin1String("IndepMax")) && !indepVars.contains(item.index))
                return fail(l.line, QStringLiteral("%1 without IndepVar[%2]; expected IndepVar[%2]=\"freq\" beside it").arg(item.key).arg(item.index));
        }
        const QString goalVar = goalIndepVar.isEmpty() ? QStringLiteral("freq") : goalIndepVar;
        for (auto it = indepVars.cbegin(); it != indepVars.cend(); ++it) {
            if (it.value() != goalVar)
                return fail(l.line, QStringLiteral("IndepVar[%1]=\"%2\" is not the goal's independent variable; expected \"%3\"").arg(it.key()).arg(it.value(), goalVar));
            const QString from = values.value(QStringLiteral("IndepMin[%1]").arg(it.key()));
            const QString to = values.value(QStringLiteral("IndepMax[%1]").arg(it.key()));
            if (from.isEmpty() && to.isEmpty())
                continue;
            limit.insert(QStringLiteral("range"), QJsonArray{from.isEmpty() ? QJsonValue() : QJsonValue(from),
                                                             to.isEmpty() ? QJsonValue() : QJsonValue(to)});
        }
        return true;
    }
};

// The names a .param line defines ("a" and "b" in ".param a=1 b={2*a}").
QStringList paramNames(const QString &text)
{
    static const QRegularExpression name(QStringLiteral("(?:^|[\\s,])([A-Za-z_][A-Za-z0-9_]*)\\s*=(?!=)"));
    QStringList names;
    for (auto it = name.globalMatch(text); it.hasNext();)
        names.append(it.next().captured(1));
    return names;
}

bool isEndLine(const QString &trimmed)
{
    return trimmed.compare(QLatin1String(".end"), Qt::CaseInsensitive) == 0
        || (trimmed.size() > 4 && trimmed.left(4).compare(QLatin1String(".end"), Qt::CaseInsensitive) == 0 && isBlank(trimmed.at(4)));
}

}  // namespace

bool NetlistDesign::isNetlistPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("cir") || suffix == QLatin1String("sp") || suffix == QLatin1String("net");
}

bool NetlistDesign::read(const QByteArray &bytes, const QString &fileName, NetlistDesign &design, QString *error)
{
    NetlistDesign d;
    d.fileName = fileName;
    Reader r(fileName, d);
    const auto done = [&](bool ok) {
        if (ok)
            design = d;
        else if (error)
            *error = r.error;
        return ok;
    };

    // The physical lines, with their byte spans. A UTF-8 byte-order mark is no part of line 1.
    QList<Line> lines;
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', pos);
        const bool last = nl < 0;
        if (last)
            nl = bytes.size();
        qsizetype end = nl;
        if (end > pos && bytes.at(end - 1) == '\r')
            --end;
        if (lines.isEmpty() && !last && end < nl)
            d.lineEnd = "\r\n";
        lines.append({pos, end, int(lines.size()) + 1, QString::fromUtf8(bytes.constData() + pos, end - pos)});
        pos = nl + 1;
    }
    if (lines.isEmpty())
        return done(r.fail(1, QStringLiteral("the file is empty; expected a title line, the circuit and the helmdeck statements")));

    d.root.insert(QStringLiteral("title"), lines.first().text);
    d.m_pathLines.insert(QStringLiteral("title"), 1);

    static const QRegularExpression keywordRe(QStringLiteral("^([A-Za-z][A-Za-z0-9_]*):"));
    static const QRegularExpression variableRe(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*[ \\t]*="));
    QJsonArray circuit;
    struct Param
    {
        int line;
        QStringList names;
    };
    QList<Param> params;
    bool afterEnd = false;
    bool inParam = false;         // the last circuit line (comments aside) is a .param
    bool afterStatement = false;  // the last line (comments aside) is a helmdeck statement
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const Line &first = lines.at(i);
        qsizetype indent = 0;
        while (indent < first.text.size() && isBlank(first.text.at(indent)))
            ++indent;
        const QString head = first.text.mid(indent);
        const QRegularExpressionMatch keyword = keywordRe.match(head);
        const QRegularExpressionMatch variable = variableRe.match(head);
        if (!keyword.hasMatch() && !variable.hasMatch()) {
            // A circuit line, for ngspice as it stands.
            const QString trimmed = head.trimmed();
            if (afterEnd || trimmed.isEmpty())
                continue;
            if (isEndLine(trimmed)) {
                afterEnd = true;
                continue;
            }
            if (trimmed.startsWith(u'+')) {
                // ngspice would join it to the circuit line before the statement.
                if (afterStatement)
                    return done(r.fail(first.number, QStringLiteral("a + line after a helmdeck statement; expected \\ at the end of "
                                                                     "the statement's line to continue it")));
                if (inParam)
                    params.last().names += paramNames(trimmed.mid(1));
            } else if (!trimmed.startsWith(u'*')) {
                afterStatement = false;
                inParam = trimmed.left(6).compare(QLatin1String(".param"), Qt::CaseInsensitive) == 0
                    && (trimmed.size() == 6 || isBlank(trimmed.at(6)));
                if (inParam)
                    params.append({first.number, paramNames(trimmed.mid(6))});
            }
            d.m_pathLines.insert(QStringLiteral("circuit[%1]").arg(circuit.size()), first.number);
            d.circuitLines.append(first.number);
            circuit.append(first.text);
            continue;
        }

        // A helmdeck statement, continued by a backslash at the end of a line.
        Joined s;
        s.firstLine = first.number;
        qsizetype j = i;
        for (;;) {
            QString text = lines.at(j).text.mid(j == i ? indent : 0);
            // Statements travel as one-line texts: a control character would cut or change them.
            for (const QChar c : std::as_const(text)) {
                if (c.unicode() < 0x20 && c != u'\t')
                    return done(r.fail(lines.at(j).number, QStringLiteral("a control character (U+%1) in the statement; expected printable text")
                                                               .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'))));
            }
            while (!text.isEmpty() && isBlank(text.back()))
                text.chop(1);
            const bool continued = text.endsWith(u'\\');
            if (continued)
                text.chop(1);
            if (!s.text.isEmpty())
                s.text += u' ';
            s.starts.append(s.text.size());
            s.text += text;
            if (!continued)
                break;
            if (j + 1 >= lines.size())
                return done(r.fail(lines.at(j).number, QStringLiteral("the statement is cut off: its last line ends with \\; expected a continuation line")));
            ++j;
        }
        afterStatement = true;
        NetlistStatement st;
        st.begin = first.begin + indent;
        st.end = lines.at(j).end;
        st.line = first.number;
        i = j;
        bool ok = false;
        if (variable.hasMatch()) {
            st.kind = NetlistStatement::Variable;
            const qsizetype eq = s.text.indexOf(u'=');
            st.name = s.text.left(eq).trimmed();
            d.statements.append(st);
            ok = r.variable(s, eq);
        } else {
            const QString word = keyword.captured(1);
            const qsizetype at = keyword.capturedEnd();
            d.statements.append(st);
            if (word == QLatin1String("OptimGoal")) {
                ok = r.goal(s, at);
                d.statements.last().kind = NetlistStatement::Goal;
                if (ok)
                    d.statements.last().name = r.goalList.last().json.value(QStringLiteral("name")).toString();
            } else if (word == QLatin1String("SpecLimitLine")) {
                ok = r.limit(s, at);
                d.statements.last().kind = NetlistStatement::SpecLimit;
                if (ok)
                    d.statements.last().name = r.limitList.last().name;
            } else if (word == QLatin1String("OptimAlgorithm")) {
                ok = r.algorithmStatement(s, at);
                d.statements.last().kind = NetlistStatement::Algorithm;
                d.statements.last().name = r.algorithm.value(QStringLiteral("name")).toString();
            } else if (word == QLatin1String("Analysis")) {
                ok = r.analysis(s, at);
                d.statements.last().kind = NetlistStatement::Analysis;
                if (ok)
                    d.statements.last().name = r.analyses.last().toObject().value(QStringLiteral("name")).toString();
            } else {
                ok = r.fail(first.number, QStringLiteral("unknown statement %1:; expected OptimGoal:, SpecLimitLine:, OptimAlgorithm:, Analysis: "
                                                         "or a variable (%2)").arg(word, kExpected));
            }
        }
        if (!ok)
            return done(false);
    }

    if (!r.linkLimits())
        return done(false);
    d.m_pathLines.insert(r.pathLines);
    // A .param of a variable's name would fight the value the simulator gives the variable.
    for (const Param &p : std::as_const(params)) {
        for (const QString &name : p.names) {
            for (qsizetype v = 0; v < r.variables.size(); ++v) {
                const QString variable = r.variables.at(v).toObject().value(QStringLiteral("netlistName")).toString();
                if (variable.compare(name, Qt::CaseInsensitive) == 0)
                    return done(r.fail(p.line, QStringLiteral("%1 is a variable (line %2) and a .param").arg(variable).arg(r.variableLines.at(v))));
            }
        }
    }

    d.root.insert(QStringLiteral("circuit"), circuit);
    d.root.insert(QStringLiteral("variables"), r.variables);
    d.root.insert(QStringLiteral("goals"), r.goals);
    if (r.algorithmLine > 0) {
        d.root.insert(QStringLiteral("algorithm"), r.algorithm);
        d.m_pathLines.insert(QStringLiteral("algorithm"), r.algorithmLine);
    }
    if (r.analyses.size() == 1) {
        d.root.insert(QStringLiteral("analysis"), r.analyses.first());
        d.m_pathLines.insert(QStringLiteral("analysis"), r.analysisLines.first());
    } else if (r.analyses.size() > 1) {
        d.root.insert(QStringLiteral("analyses"), r.analyses);
        for (qsizetype k = 0; k < r.analysisLines.size(); ++k)
            d.m_pathLines.insert(QStringLiteral("analyses[%1]").arg(k), r.analysisLines.at(k));
    }
    // What a design needs: said in the netlist's own terms rather than as a missing JSON key.
    if (circuit.isEmpty())
        return done(r.fail(0, QStringLiteral("no circuit; expected circuit lines after the title line")));
    if (r.analyses.isEmpty())
        return done(r.fail(0, QStringLiteral("no Analysis statement; expected Analysis:SP1 Type=\"ac\" Start=... Stop=... Points=... Port[1]=...")));
    if (r.variables.isEmpty())
        return done(r.fail(0, QStringLiteral("no variable; expected at least one %1").arg(kExpected)));
    if (r.goals.isEmpty())
        return done(r.fail(0, QStringLiteral("no OptimGoal statement; expected at least one goal with its SpecLimitLine statements")));
    if (r.algorithmLine == 0)
        return done(r.fail(0, QStringLiteral("no OptimAlgorithm statement; expected OptimAlgorithm:NAME OptimType=\"qzVMO\" ErrorForm=\"L2\" MaxIters=100")));
    return done(true);
}

QString NetlistDesign::placeOf(const QString &jsonPath) const
{
    QString path = jsonPath;
    while (!path.isEmpty()) {
        const auto it = m_pathLines.constFind(path);
        if (it != m_pathLines.cend())
            return QStringLiteral("%1:%2").arg(fileName).arg(it.value());
        const qsizetype cut = std::max(path.lastIndexOf(u'.'), path.lastIndexOf(u'['));
        if (cut <= 0)
            break;
        path.truncate(cut);
    }
    return fileName;
}

QString NetlistDesign::placed(const QString &jsonMessage) const
{
    static const QRegularExpression pathRe(QStringLiteral("^([A-Za-z]+(?:\\[[0-9]+\\])?(?:\\.[A-Za-z0-9_]+(?:\\[[0-9]+\\])?)*): "));
    const QRegularExpressionMatch m = pathRe.match(jsonMessage);
    if (!m.hasMatch())
        return fileName + QStringLiteral(": ") + jsonMessage;
    const QString place = placeOf(m.captured(1));
    // Without a known line the path itself still says what is meant.
    if (place == fileName)
        return fileName + QStringLiteral(": ") + jsonMessage;
    return place + QStringLiteral(": ") + jsonMessage.mid(m.capturedLength());
}
