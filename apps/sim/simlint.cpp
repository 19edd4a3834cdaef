#include "simlint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 kMaxModelFileBytes = 4 * 1024 * 1024;

const QRegularExpression &includePattern()
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\.(?:include|inc|lib))(?:\\s+(.*))?$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// A line with ";" and " $" comment tails removed.
QString withoutComment(const QString &line)
{
    QString out;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u';' || (c == u'$' && (i == 0 || line.at(i - 1).isSpace())))
            break;
        out.append(c);
    }
    return out.trimmed();
}

struct Line
{
    QString text;     // comments removed, continuations joined
    qsizetype index;  // the circuit entry it begins at
    bool include = false;
};

QList<Line> logicalLines(const QStringList &lines)
{
    QList<Line> out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString raw = lines.at(i).trimmed();
        if (raw.startsWith(u'*'))
            continue;
        if (SimLint::isIncludeLine(raw)) {  // a path may hold ";" or "$": keep it whole
            out.append({raw, i, true});
            continue;
        }
        const QString t = withoutComment(raw);
        if (t.startsWith(u'+')) {
            if (!out.isEmpty())
                out.last().text += u' ' + t.mid(1).trimmed();
            continue;
        }
        if (!t.isEmpty())
            out.append({t, i});
    }
    return out;
}

// Words of a line; a {...} expression, a '...' or "..." text is one word, and
// "k = v" becomes "k=v".
QStringList tokens(const QString &text)
{
    QStringList raw;
    QString word;
    QChar closing;
    int depth = 0;
    for (const QChar c : text) {
        if (depth > 0 || !closing.isNull()) {
            word.append(c);
            if (depth > 0 && c == u'{')
                ++depth;
            else if (depth > 0 && c == u'}')
                --depth;
            else if (depth == 0 && c == closing)
                closing = QChar();
            continue;
        }
        if (c.isSpace()) {
            if (!word.isEmpty())
                raw.append(word);
            word.clear();
            continue;
        }
        word.append(c);
        if (c == u'{')
            depth = 1;
        else if (c == u'\'' || c == u'"')
            closing = c;
    }
    if (!word.isEmpty())
        raw.append(word);
    QStringList merged;
    for (const QString &t : std::as_const(raw)) {
        if (!merged.isEmpty() && (merged.last().endsWith(u'=') || t.startsWith(u'=')))
            merged.last() += t;
        else
            merged.append(t);
    }
    return merged;
}

bool isAssignment(const QString &token)
{
    const qsizetype eq = token.indexOf(u'=');
    return eq > 0 && !token.startsWith(u'{') && !token.startsWith(u'\'');
}

QString node(const QString &token)
{
    const QString n = token.toLower();
    return n == QLatin1String("gnd") ? QStringLiteral("0") : n;
}

bool usableAsNode(const QString &token)
{
    return !token.isEmpty() && !isAssignment(token) && !token.startsWith(u'{') && !token.startsWith(u'\'')
        && !token.startsWith(u'"') && !token.contains(u'(') && !token.contains(u')') && !token.endsWith(u':');  // "params:"
}

// The .subckt line's name, ports and parameter words.
struct SubcktHead
{
    QString name;
    QStringList ports;
    QStringList params;
};

SubcktHead subcktHead(const QStringList &words)
{
    SubcktHead h;
    h.name = words.value(1).toLower();
    bool inParams = false;
    for (qsizetype i = 2; i < words.size(); ++i) {
        const QString &w = words.at(i);
        if (w.compare(QLatin1String("params:"), Qt::CaseInsensitive) == 0) {
            inParams = true;
            continue;
        }
        if (w.startsWith(QLatin1String("params:"), Qt::CaseInsensitive)) {
            inParams = true;
            h.params.append(w.mid(7));
            continue;
        }
        if (inParams || isAssignment(w)) {
            h.params.append(w);
            inParams = true;
        } else {
            h.ports.append(node(w));
        }
    }
    return h;
}

// The expressions a line holds: the insides of {...} and '...' words and of
// the values of k=v words that are neither.
struct Expression
{
    QString text;
    bool braced;  // {...} or '...': ngspice evaluates every name in it
};

QList<Expression> expressions(const QStringList &words)
{
    QList<Expression> out;
    for (const QString &w : words) {
        const QString value = isAssignment(w) ? w.mid(w.indexOf(u'=') + 1) : w;
        static const QRegularExpression braced(QStringLiteral("\\{([^{}]*)\\}|'([^']*)'"));
        bool any = false;
        for (auto it = braced.globalMatch(value); it.hasNext();) {
            const auto m = it.next();
            out.append({m.captured(1) + m.captured(2), true});
            any = true;
        }
        if (!any && isAssignment(w))
            out.append({value, false});
    }
    return out;
}

// The names an expression reads: (name, true) for a function call.
QList<QPair<QString, bool>> namesIn(const QString &expression)
{
    static const QRegularExpression re(
        QStringLiteral("(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?[A-Za-z]*|([A-Za-z_][A-Za-z0-9_]*)(\\s*\\()?"));
    QList<QPair<QString, bool>> out;
    for (auto it = re.globalMatch(expression); it.hasNext();) {
        const auto m = it.next();
        if (m.hasCaptured(1))
            out.append({m.captured(1), m.hasCaptured(2)});
    }
    return out;
}

const QSet<QString> &builtinFunctions()
{
    static const QSet<QString> set{
        QStringLiteral("sqr"),    QStringLiteral("sqrt"),  QStringLiteral("sin"),   QStringLiteral("cos"),
        QStringLiteral("tan"),    QStringLiteral("exp"),   QStringLiteral("ln"),    QStringLiteral("log"),
        QStringLiteral("log10"),  QStringLiteral("arctan"), QStringLiteral("atan"), QStringLiteral("asin"),
        QStringLiteral("acos"),   QStringLiteral("sinh"),  QStringLiteral("cosh"),  QStringLiteral("tanh"),
        QStringLiteral("asinh"),  QStringLiteral("acosh"), QStringLiteral("atanh"), QStringLiteral("abs"),
        QStringLiteral("pow"),    QStringLiteral("pwr"),   QStringLiteral("max"),   QStringLiteral("min"),
        QStringLiteral("int"),    QStringLiteral("nint"),  QStringLiteral("floor"), QStringLiteral("ceil"),
        QStringLiteral("sgn"),    QStringLiteral("sign"),  QStringLiteral("ternary_fcn"), QStringLiteral("limit"),
        QStringLiteral("gauss"),  QStringLiteral("agauss"), QStringLiteral("unif"), QStringLiteral("aunif"),
        QStringLiteral("if"),     QStringLiteral("db")};
    return set;
}

const QSet<QString> &builtinNames()
{
    static const QSet<QString> set{QStringLiteral("pi"),      QStringLiteral("e"),       QStringLiteral("true"),
                                   QStringLiteral("false"),   QStringLiteral("yes"),     QStringLiteral("no"),
                                   QStringLiteral("kelvin"),  QStringLiteral("echarge"), QStringLiteral("boltz"),
                                   QStringLiteral("planck"),  QStringLiteral("temper"),  QStringLiteral("hertz"),
                                   QStringLiteral("time")};
    return set;
}

// A terminal of an element: terminals of one element with the same dcGroup
// (>= 0) are joined for DC; -1 joins them only for AC (a capacitor, a current
// source); a sense terminal (a controlling input) joins nothing.
struct Terminal
{
    QString node;
    int dcGroup = 0;
    bool sense = false;
};

struct Element
{
    QString name;
    qsizetype line = 0;
    QList<Terminal> terminals;
};

// Union-find over node names.
class Groups
{
public:
    QString root(const QString &n)
    {
        QString r = n;
        while (m_parent.contains(r))
            r = m_parent.value(r);
        for (QString k = n; k != r;)  // shorten the path for the next look-up
            k = std::exchange(m_parent[k], r);
        return r;
    }
    void join(const QString &a, const QString &b)
    {
        const QString ra = root(a), rb = root(b);
        if (ra != rb)
            m_parent.insert(ra, rb);
    }

private:
    QHash<QString, QString> m_parent;
};

// What the lint knows of the design as a whole.
struct Library
{
    QSet<QString> models;
    QHash<QString, int> subcktPorts;
    QSet<QString> globals;
    QSet<QString> used;  // names any expression reads
};

QString includePath(const QString &rest, QString *tail)
{
    const QString r = rest.trimmed();
    if (r.startsWith(u'"') || r.startsWith(u'\'')) {
        const qsizetype close = r.indexOf(r.at(0), 1);
        if (close < 0)
            return QString();
        if (tail)
            *tail = r.mid(close + 1).trimmed();
        return r.mid(1, close - 1);
    }
    const qsizetype space = r.indexOf(QRegularExpression(QStringLiteral("\\s")));
    if (tail)
        *tail = space < 0 ? QString() : r.mid(space + 1).trimmed();
    return space < 0 ? r : r.left(space);
}

QStringList modelFileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxModelFileBytes)
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (QString &l : lines) {
        if (l.endsWith(u'\r'))
            l.chop(1);
    }
    return lines;
}

void learn(const QList<Line> &lines, Library &lib)
{
    for (const Line &l : lines) {
        const QStringList words = tokens(l.text);
        const QString first = words.value(0).toLower();
        if (first == QLatin1String(".model") && words.size() > 1)
            lib.models.insert(words.at(1).toLower());
        else if (first == QLatin1String(".subckt") && words.size() > 1)
            lib.subcktPorts.insert(words.at(1).toLower(), int(subcktHead(words).ports.size()));
        else if (first == QLatin1String(".global"))
            for (qsizetype i = 1; i < words.size(); ++i)
                lib.globals.insert(node(words.at(i)));
        QString read = l.include ? QString() : words.mid(1).join(u' ');
        for (const Expression &e : expressions(words.mid(1)))
            read += u' ' + e.text;
        for (const auto &n : namesIn(read))
            lib.used.insert(n.first.toLower());
    }
}

// The nodes an element line connects, per the element's kind.
QString elementTerminals(const QStringList &words, const Library &lib, Element &e)
{
    const QChar kind = e.name.at(0).toLower();
    const QStringList args = words.mid(1);
    const auto take = [&](qsizetype from, int count, int dcGroup, bool sense = false) {
        for (qsizetype i = from; i < from + count; ++i)
            e.terminals.append({node(args.at(i)), dcGroup, sense});
    };
    qsizetype usable = 0;
    while (usable < args.size() && usableAsNode(args.at(usable)))
        ++usable;
    const auto need = [&](int n) {
        return usable >= n ? QString()
                           : QStringLiteral("%1 names %2 node(s); it needs %3").arg(e.name).arg(usable).arg(n);
    };
    const auto senseVoltages = [&](qsizetype from) {  // v(a) or v(a,b) in a behavioural expression
        static const QRegularExpression re(QStringLiteral("\\bv\\s*\\(\\s*([^\\s,()]+)\\s*(?:,\\s*([^\\s,()]+)\\s*)?\\)"),
                                           QRegularExpression::CaseInsensitiveOption);
        for (auto it = re.globalMatch(args.mid(from).join(u' ')); it.hasNext();) {
            const auto m = it.next();
            for (int c = 1; c <= 2; ++c)
                if (m.hasCaptured(c))
                    e.terminals.append({node(m.captured(c)), 0, true});
        }
    };
    switch (kind.unicode()) {
    case u'r': case u'l': case u'v': case u'd': case u'h': case u'w':
        if (const QString p = need(2); !p.isEmpty())
            return p;
        take(0, 2, 0);
        break;
    case u'c': case u'i': case u'f':
        if (const QString p = need(2); !p.isEmpty())
            return p;
        take(0, 2, -1);
        break;
    case u'b': {
        if (const QString p = need(2); !p.isEmpty())
            return p;
        const bool current = args.size() > 2 && args.at(2).startsWith(QLatin1String("i="), Qt::CaseInsensitive);
        take(0, 2, current ? -1 : 0);
        senseVoltages(2);
        break;
    }
    case u'e': case u'g': {
        if (const QString p = need(2); !p.isEmpty())
            return p;
        take(0, 2, kind == u'e' ? 0 : -1);
        static const QRegularExpression poly(QStringLiteral("^poly\\s*\\(\\s*(\\d+)\\s*\\)$"),
                                             QRegularExpression::CaseInsensitiveOption);
        QString third = args.value(2);
        qsizetype next = 3;
        if (third.compare(QLatin1String("poly"), Qt::CaseInsensitive) == 0 && args.value(3).startsWith(u'(')) {
            third += args.value(3);
            next = 4;
        }
        if (const auto m = poly.match(third); m.hasMatch()) {
            const qsizetype pairs = m.captured(1).toInt();
            for (qsizetype i = next; i < next + 2 * pairs && i < args.size() && usableAsNode(args.at(i)); ++i)
                e.terminals.append({node(args.at(i)), 0, true});
        } else if (usable >= 4) {
            take(2, 2, 0, true);
        } else {
            senseVoltages(2);
        }
        break;
    }
    case u's':
        if (const QString p = need(4); !p.isEmpty())
            return p;
        take(0, 2, 0);
        take(2, 2, 0, true);
        break;
    case u'q': {
        if (const QString p = need(4); !p.isEmpty())
            return p;
        // c b e [s] model: the fourth word is the substrate when it names no
        // model and the fifth does (or, with neither known, is no number).
        const auto isModel = [&](qsizetype i) { return lib.models.contains(args.value(i).toLower()); };
        static const QRegularExpression number(QStringLiteral("^[0-9.]"));
        const bool substrate = usable >= 5 && !isModel(3)
            && (isModel(4) || !number.match(args.at(4)).hasMatch());
        take(0, 3, 0);
        if (substrate)
            take(3, 1, -1);
        break;
    }
    case u'm':
        if (const QString p = need(4); !p.isEmpty())
            return p;
        take(0, 1, 0);
        take(1, 1, -1);  // the gate is insulated
        take(2, 2, 0);
        break;
    case u'j': case u'z':
        if (const QString p = need(3); !p.isEmpty())
            return p;
        take(0, 3, 0);
        break;
    case u't': case u'o':
        if (const QString p = need(4); !p.isEmpty())
            return p;
        e.terminals.append({node(args.at(0)), 0, false});
        e.terminals.append({node(args.at(1)), 1, false});
        e.terminals.append({node(args.at(2)), 0, false});
        e.terminals.append({node(args.at(3)), 1, false});
        break;
    case u'k':
        break;
    case u'x': {
        // The last positional word names the subcircuit; the rest are its connections.
        const QString subckt = usable > 0 ? args.at(usable - 1).toLower() : QString();
        if (usable < 2)
            return QStringLiteral("%1 names no subcircuit and connections").arg(e.name);
        if (lib.subcktPorts.contains(subckt) && lib.subcktPorts.value(subckt) != usable - 1)
            return QStringLiteral("%1 has %2 connection(s), but subcircuit %3 has %4 port(s)")
                .arg(e.name)
                .arg(usable - 1)
                .arg(args.at(usable - 1))
                .arg(lib.subcktPorts.value(subckt));
        take(0, int(usable - 1), 0);
        break;
    }
    default:  // a kind not known here: its plain words are taken as connected nodes
        take(0, int(usable), 0);
        break;
    }
    return QString();
}

QString nodeList(QStringList nodes)
{
    std::sort(nodes.begin(), nodes.end());
    if (nodes.size() > 6) {
        const qsizetype more = nodes.size() - 5;
        nodes = nodes.mid(0, 5);
        nodes.append(QStringLiteral("and %1 more").arg(more));
    }
    return nodes.join(QStringLiteral(", "));
}

class Linter
{
public:
    Linter(const SimDesign &design, QList<SimLintFinding> &out)
        : m_design(design)
        , m_out(out)
    {
    }

    QString place(qsizetype index) const
    {
        return m_design.circuitPlaces.value(index, QStringLiteral("circuit[%1]").arg(index));
    }
    void report(SimLintFinding::Severity s, qsizetype line, const QString &message)
    {
        m_found.append({line, {s, line < 0 ? QString() : place(line), message}});
    }

    void run()
    {
        const QList<Line> lines = logicalLines(m_design.circuit);
        for (const Line &l : lines) {
            if (!l.include)
                continue;
            QString path = includePath(l.text.mid(includePattern().match(l.text).capturedEnd(1)), nullptr);
            if (QFileInfo(path).isAbsolute())  // resolved at load; anything else was refused there
                learn(logicalLines(modelFileLines(path)), m_lib);
        }
        learn(lines, m_lib);

        // Split into the top level and each .subckt body (nested bodies stand on their own).
        struct Scope
        {
            QList<Line> lines;
            SubcktHead head;
            int parent = -1;
        };
        QList<Scope> scopes(1);
        QList<int> stack{0};
        for (const Line &l : lines) {
            const QString first = tokens(l.text).value(0).toLower();
            if (first == QLatin1String(".subckt")) {
                scopes.append({{}, subcktHead(tokens(l.text)), stack.last()});
                scopes[stack.last()].lines.append(l);  // the head's defaults are read in the outer scope
                stack.append(int(scopes.size() - 1));
                continue;
            }
            if (first == QLatin1String(".ends")) {
                if (stack.size() > 1)
                    stack.removeLast();
                continue;
            }
            scopes[stack.last()].lines.append(l);
        }

        QSet<QString> global;
        for (const OptimVarInput &v : m_design.input.variables())
            global.insert(v.netlistName().toLower());
        for (int k = 0; k < m_design.optimizationCount(); ++k)
            for (const auto &p : m_design.parametersFor(k))
                global.insert(p.first.toLower());
        QList<QSet<QString>> names(scopes.size());
        QList<QSet<QString>> functions(scopes.size());
        for (qsizetype s = 0; s < scopes.size(); ++s) {
            names[s] = s == 0 ? global : names.at(scopes.at(s).parent);
            functions[s] = s == 0 ? builtinFunctions() : functions.at(scopes.at(s).parent);
            for (const QString &p : std::as_const(scopes.at(s).head.params))
                names[s].insert(p.section(u'=', 0, 0).trimmed().toLower());
            for (const Line &l : scopes.at(s).lines)
                define(l.text, names[s], functions[s]);
        }
        for (qsizetype s = 0; s < scopes.size(); ++s) {
            for (const Line &l : scopes.at(s).lines)
                checkNames(l, names.at(s), functions.at(s));
            connectivity(scopes.at(s).lines, s == 0 ? nullptr : &scopes.at(s).head);
        }

        for (const OptimVarInput &v : m_design.input.variables())
            if (!m_lib.used.contains(v.netlistName().toLower()))
                report(SimLintFinding::Warning, -1,
                       QStringLiteral("variable %1 is used by no element or .param").arg(v.netlistName()));
        QSet<QString> fixed;
        for (int k = 0; k < m_design.optimizationCount(); ++k)
            for (const auto &p : m_design.parametersFor(k))
                if (!m_lib.used.contains(p.first.toLower()) && !fixed.contains(p.first.toLower())) {
                    fixed.insert(p.first.toLower());
                    report(SimLintFinding::Warning, -1,
                           QStringLiteral("fixed parameter %1 is used by no element or .param").arg(p.first));
                }

        std::stable_sort(m_found.begin(), m_found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &f : std::as_const(m_found))
            m_out.append(f.second);
    }

private:
    // The names a .param or .func line defines.
    static void define(const QString &text, QSet<QString> &names, QSet<QString> &functions)
    {
        const QStringList words = tokens(text);
        const QString first = words.value(0).toLower();
        if (first == QLatin1String(".func") && words.size() > 1)
            functions.insert(words.at(1).section(u'(', 0, 0).toLower());
        if (first != QLatin1String(".param"))
            return;
        for (qsizetype i = 1; i < words.size(); ++i) {
            const QString name = words.at(i).section(u'=', 0, 0).trimmed();
            if (name.contains(u'('))
                functions.insert(name.section(u'(', 0, 0).toLower());
            else
                names.insert(name.toLower());
        }
    }

    void checkNames(const Line &l, const QSet<QString> &names, const QSet<QString> &functions)
    {
        if (l.include)
            return;
        const QStringList words = tokens(l.text);
        const QString first = words.value(0).toLower();
        QList<Expression> list;
        if (first == QLatin1String(".func") || first == QLatin1String(".param")) {
            // NAME(args)=body or NAME=value: the arguments are names in the body.
            static const QRegularExpression def(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\s*(?:\\(([^)]*)\\))?\\s*=?\\s*(.*)$"));
            const QStringList items = first == QLatin1String(".func") ? QStringList{words.mid(1).join(u' ')} : words.mid(1);
            for (const QString &item : items) {
                const auto m = def.match(item);
                QSet<QString> scope = names;
                for (const QString &arg : m.captured(2).split(u',', Qt::SkipEmptyParts))
                    scope.insert(arg.trimmed().toLower());
                QString body = m.captured(3).trimmed();
                if ((body.startsWith(u'{') && body.endsWith(u'}')) || (body.startsWith(u'\'') && body.endsWith(u'\'')))
                    body = body.mid(1, body.size() - 2);
                checkExpression(l, body, scope, functions);
            }
            return;
        }
        if (first == QLatin1String(".subckt"))
            list = expressions(subcktHead(words).params);
        else
            list = expressions(words.mid(1));
        // A behavioural source's expression reads node voltages and branch
        // currents: v(a), v(a,b), i(vsense) name nodes and sources, not parameters.
        const bool behavioural = first.startsWith(u'b') || first.startsWith(u'e') || first.startsWith(u'g');
        static const QRegularExpression probe(QStringLiteral("\\b[vi]\\s*\\([^()]*\\)"), QRegularExpression::CaseInsensitiveOption);
        for (const Expression &e : std::as_const(list))
            if (e.braced)
                checkExpression(l, e.text, names, functions, behavioural ? &probe : nullptr);
    }

    void checkExpression(const Line &l, const QString &expression, const QSet<QString> &names, const QSet<QString> &functions,
                         const QRegularExpression *probe = nullptr)
    {
        for (const auto &n : namesIn(probe ? QString(expression).replace(*probe, QStringLiteral("1")) : expression)) {
            const QString lower = n.first.toLower();
            m_lib.used.insert(lower);
            if (n.second ? functions.contains(lower) : (names.contains(lower) || builtinNames().contains(lower)))
                continue;
            report(SimLintFinding::Error, l.index,
                   n.second ? QStringLiteral("unknown function %1 in {%2}").arg(n.first, expression.trimmed())
                            : QStringLiteral("%1 in {%2} is neither a variable, a fixed parameter, a .param nor a .func argument")
                                  .arg(n.first, expression.trimmed()));
        }
    }

    void connectivity(const QList<Line> &lines, const SubcktHead *subckt)
    {
        QList<Element> elements;
        for (const Line &l : lines) {
            const QStringList words = tokens(l.text);
            if (l.include || words.isEmpty() || words.first().startsWith(u'.'))
                continue;
            Element e{words.first(), l.index, {}};
            const QString problem = elementTerminals(words, m_lib, e);
            if (!problem.isEmpty())
                report(SimLintFinding::Error, l.index, problem);
            elements.append(e);
        }

        // Nodes the outside reaches: ground, and the ports (the test bench's
        // Z0 resistors, or a subcircuit's connections and the global nodes).
        QSet<QString> outside{QStringLiteral("0")};
        QHash<QString, int> portOf;
        QHash<QString, QString> portNode;  // as the design names it
        if (subckt) {
            for (const QString &p : subckt->ports)
                outside.insert(p);
            outside.unite(m_lib.globals);
        } else {
            for (const SimAnalysis &a : m_design.analyses) {
                for (qsizetype p = 0; p < a.ports.size(); ++p) {
                    if (!portOf.contains(node(a.ports.at(p).node))) {
                        portOf.insert(node(a.ports.at(p).node), int(p + 1));
                        portNode.insert(node(a.ports.at(p).node), a.ports.at(p).node);
                    }
                }
            }
        }

        Groups dc, any;
        QMap<QString, QList<const Element *>> uses;  // node -> elements, sorted by node name
        QHash<QString, qsizetype> firstLine;
        for (const Element &e : std::as_const(elements)) {
            for (const Terminal &t : e.terminals) {
                uses[t.node].append(&e);
                if (!firstLine.contains(t.node))
                    firstLine.insert(t.node, e.line);
                if (t.sense)
                    continue;
                for (const Terminal &u : e.terminals) {
                    if (u.sense)
                        continue;
                    any.join(t.node, u.node);
                    if (t.dcGroup >= 0 && t.dcGroup == u.dcGroup)
                        dc.join(t.node, u.node);
                }
            }
        }
        for (const QString &n : std::as_const(outside)) {
            dc.join(n, QStringLiteral("0"));
            any.join(n, QStringLiteral("0"));
        }
        for (auto it = portOf.begin(); it != portOf.end(); ++it) {
            dc.join(it.key(), QStringLiteral("0"));
            any.join(it.key(), QStringLiteral("0"));
            if (!uses.contains(it.key()))
                report(SimLintFinding::Error, -1,
                       QStringLiteral("port %1: node %2 is connected to nothing in the circuit (a typo?)")
                           .arg(it.value())
                           .arg(portNode.value(it.key())));
        }

        QSet<QString> reported;
        for (auto it = uses.begin(); it != uses.end(); ++it) {
            const QString &n = it.key();
            if (outside.contains(n) || portOf.contains(n) || m_lib.globals.contains(n) || n.startsWith(QLatin1String("hd_"))
                || it.value().size() != 1)
                continue;
            const Element &e = *it.value().first();
            const QChar kind = e.name.at(0).toLower();
            if (kind == u't' || kind == u'o')  // an open stub
                continue;
            reported.insert(n);
            if (kind == u'x')
                report(SimLintFinding::Warning, e.line,
                       QStringLiteral("node %1 is connected to %2 only (an unused pin?)").arg(n, e.name));
            else
                report(SimLintFinding::Error, e.line, QStringLiteral("node %1 is connected to %2 only (a typo?)").arg(n, e.name));
        }

        // Groups of nodes that ground does not reach: through nothing at all,
        // or not for DC.
        QMap<QString, QStringList> unreached, floating;
        for (auto it = uses.begin(); it != uses.end(); ++it) {
            const QString &n = it.key();
            if (reported.contains(n) || n.startsWith(QLatin1String("hd_")))
                continue;
            if (any.root(n) != any.root(QStringLiteral("0")))
                unreached[any.root(n)].append(n);
            else if (dc.root(n) != dc.root(QStringLiteral("0")))
                floating[dc.root(n)].append(n);
        }
        const auto groupLine = [&](const QStringList &nodes) {
            qsizetype line = -1;
            for (const QString &n : nodes)
                if (line < 0 || firstLine.value(n) < line)
                    line = firstLine.value(n);
            return line;
        };
        for (const QStringList &nodes : std::as_const(unreached))
            report(SimLintFinding::Error, groupLine(nodes),
                   QStringLiteral("%1 connected to ground through nothing: ngspice cannot solve %2 (singular matrix)")
                       .arg(nodes.size() == 1 ? QStringLiteral("node %1 is").arg(nodes.first())
                                              : QStringLiteral("nodes %1 are").arg(nodeList(nodes)),
                            nodes.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
        for (const QStringList &nodes : std::as_const(floating))
            report(SimLintFinding::Warning, groupLine(nodes),
                   QStringLiteral("%1 no DC path to ground (only capacitors or current sources reach %2): its DC level is undefined")
                       .arg(nodes.size() == 1 ? QStringLiteral("node %1 has").arg(nodes.first())
                                              : QStringLiteral("nodes %1 have").arg(nodeList(nodes)),
                            nodes.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    }

    const SimDesign &m_design;
    QList<SimLintFinding> &m_out;
    Library m_lib;
    QList<QPair<qsizetype, SimLintFinding>> m_found;  // with the line, for the order
};

}  // namespace

QList<SimLintFinding> SimLint::check(const SimDesign &design)
{
    QList<SimLintFinding> findings;
    Linter(design, findings).run();
    return findings;
}

bool SimLint::isIncludeLine(const QString &line)
{
    for (const QChar c : line)
        if (c.unicode() < 0x20 && c != u'\t')
            return false;
    return includePattern().match(line).hasMatch();
}

QString SimLint::includeProblem(const QString &line, const QString &folder, QString *resolved)
{
    const auto m = includePattern().match(line);
    if (!m.hasMatch())
        return QStringLiteral("not an .include or .lib line");
    const QString command = m.captured(1).toLower();
    if (folder.isEmpty())
        return QStringLiteral("%1 is not allowed here: model files are read only from the folder of a design file").arg(command);
    QString tail;
    const QString path = includePath(m.captured(2), &tail);
    if (path.isEmpty())
        return QStringLiteral("%1 needs the name of a file in the design's folder").arg(command);
    const QString what = QStringLiteral("%1 \"%2\"").arg(command, path);
    if (command == QLatin1String(".lib") && tokens(tail).size() != 1)
        return what + QStringLiteral(": needs the name of one section of the file (.lib FILE SECTION)");
    if (QDir::isAbsolutePath(path))
        return what + QStringLiteral(": an absolute path is not allowed; name the file relative to the design's folder");
    const QString base = QFileInfo(folder).canonicalFilePath();
    const QFileInfo info(QDir(folder).filePath(path));
    if (base.isEmpty() || !info.exists())
        return what + QStringLiteral(": no such file in the design's folder");
    const QString target = info.canonicalFilePath();
    if (!target.startsWith(base.endsWith(u'/') ? base : base + u'/'))
        return what + QStringLiteral(": leads outside the design's folder");
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return what + QStringLiteral(": is a folder, not a file");
    if (!targetInfo.isFile())
        return what + QStringLiteral(": is not a regular file");
    if (target.contains(u'"'))
        return what + QStringLiteral(": a path with a quote cannot be passed to ngspice");
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        return what + QStringLiteral(": cannot be read (%1)").arg(file.errorString());
    if (file.size() > kMaxModelFileBytes)
        return what + QStringLiteral(": larger than %1 MiB").arg(kMaxModelFileBytes >> 20);
    file.close();

    // The file's lines follow the circuit's rules; a .lib file may hold its
    // sections (".lib NAME" ... ".endl") and end with .end.
    const QStringList lines = modelFileLines(target);
    bool section = command != QLatin1String(".lib");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString text = lines.at(i).trimmed();
        const QStringList words = tokens(withoutComment(text));
        const QString first = words.value(0).toLower();
        if (first == QLatin1String(".lib") && words.size() == 2 && words.at(1).compare(tail, Qt::CaseInsensitive) == 0)
            section = true;
        if (text.startsWith(u'*') || first == QLatin1String(".endl") || first == QLatin1String(".end")
            || (first == QLatin1String(".lib") && words.size() == 2))
            continue;
        const QString problem = simCircuitLineProblem(text.startsWith(u'+') ? text.mid(1) : text);
        if (!problem.isEmpty())
            return what + QStringLiteral(": line %1: %2").arg(i + 1).arg(problem);
    }
    if (!section)  // every run would fail on it
        return what + QStringLiteral(": the file has no section %1 (a line \".lib %1\")").arg(tail);
    if (resolved)
        *resolved = QStringLiteral("%1 \"%2\"%3").arg(command, target, tail.isEmpty() ? QString() : u' ' + tail);
    return QString();
}
