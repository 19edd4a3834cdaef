#include "designstore.h"
#include "netlistedit.h"

#include "model/optiminputrecords.h"
#include "units/realstring.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

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

// ---- editing the file's text in place

// Where a JSON value lies in the text: [begin, end) of the value, and for
// objects and arrays its members' or elements' spans (an object's members
// also with their keys and where each key starts).
struct Span
{
    char kind = 0;  // '{', '[', or 0 for a scalar
    qsizetype begin = 0;
    qsizetype end = 0;
    QStringList keys;
    QList<qsizetype> keyBegins;
    std::vector<Span> children;  // a vector: it may hold the type being defined

    qsizetype count() const { return qsizetype(children.size()); }

    int member(const QString &key) const { return int(keys.indexOf(key)); }
};

// Reads the spans of a text QJsonDocument has accepted; false on anything
// it does not expect, so a text it cannot follow is never edited.
class SpanReader
{
public:
    explicit SpanReader(const QByteArray &text) : m_text(text) {}

    bool read(Span &root)
    {
        if (m_text.startsWith("\xEF\xBB\xBF"))
            m_at = 3;
        if (!value(root, 0))
            return false;
        blanks();
        return m_at == m_text.size();
    }

private:
    void blanks()
    {
        while (m_at < m_text.size() && std::strchr(" \t\r\n", m_text.at(m_at)) && m_text.at(m_at) != 0)
            ++m_at;
    }
    bool take(char c)
    {
        blanks();
        if (m_at >= m_text.size() || m_text.at(m_at) != c)
            return false;
        ++m_at;
        return true;
    }
    bool string()
    {
        if (m_at >= m_text.size() || m_text.at(m_at) != '"')
            return false;
        for (++m_at; m_at < m_text.size(); ++m_at) {
            if (m_text.at(m_at) == '\\')
                ++m_at;
            else if (m_text.at(m_at) == '"')
                return ++m_at, true;
        }
        return false;
    }
    bool value(Span &span, int depth)
    {
        blanks();
        if (m_at >= m_text.size() || depth > 256)
            return false;
        span.begin = m_at;
        const char c = m_text.at(m_at);
        if (c == '{' || c == '[') {
            span.kind = c;
            const char close = c == '{' ? '}' : ']';
            ++m_at;
            if (take(close))
                return span.end = m_at, true;
            do {
                if (c == '{') {
                    blanks();
                    const qsizetype keyBegin = m_at;
                    if (!string())
                        return false;
                    const QByteArray key = '[' + m_text.mid(keyBegin, m_at - keyBegin) + ']';
                    const QString name = QJsonDocument::fromJson(key).array().at(0).toString();
                    // A repeated key: the text holds a copy that reading ignores.
                    if (span.keys.contains(name))
                        return false;
                    span.keys.append(name);
                    span.keyBegins.append(keyBegin);
                    if (!take(':'))
                        return false;
                }
                Span child;
                if (!value(child, depth + 1))
                    return false;
                span.children.push_back(child);
            } while (take(','));
            if (!take(close))
                return false;
            return span.end = m_at, true;
        }
        if (c == '"') {
            if (!string())
                return false;
        } else {
            while (m_at < m_text.size() && !std::strchr(",]} \t\r\n", m_text.at(m_at)))
                ++m_at;
        }
        span.end = m_at;
        return span.end > span.begin;
    }

    const QByteArray &m_text;
    qsizetype m_at = 0;
};

QByteArray jsonBytes(const QJsonValue &value)
{
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    const QByteArray list = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return list.mid(1, list.size() - 2);
}

// Whether two scalars of the file give the same quantity: "800 MHz" and
// 800000000, "8 pF" and "8e-12".
bool sameQuantity(const QJsonValue &a, const QJsonValue &b)
{
    const RealString x(jsonText(a));
    const RealString y(jsonText(b));
    if (!x.isAcceptable() || !y.isAcceptable() || jsonText(a).isEmpty() || jsonText(b).isEmpty())
        return false;
    if (!x.baseUnits().isEmpty() && !y.baseUnits().isEmpty() && x.baseUnits() != y.baseUnits())
        return false;
    return std::abs(x.value() - y.value()) <= 1e-12 * std::max(std::abs(x.value()), std::abs(y.value()));
}

// A changed scalar in the style of the one it replaces: a plain number where
// the file wrote a value with a unit gets that unit and a suffix ("8 pF").
QJsonValue inFileStyle(const QJsonValue &old, const QJsonValue &value)
{
    static const QRegularExpression plainNumber(QStringLiteral("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?\\s*$"));
    if (!old.isString() || !(value.isString() || value.isDouble()))
        return value;
    const RealString before(old.toString());
    const QString text = jsonText(value);
    if (!before.isAcceptable() || before.baseUnits().isEmpty() || !plainNumber.match(text).hasMatch())
        return value;
    RealString styled(text, before.baseUnits());
    styled.setDesiredUnits(before.baseUnits());
    styled.setAllowScaling(true);
    return styled.isAcceptable() ? QJsonValue(styled.scaledValueWithUnits(15)) : value;
}

// One change from the design as read to the design as held: a scalar or a
// whole value replaced, a member added or removed, elements appended to or
// cut from an array. path leads to the value changed (for members and
// elements, to the object or array that holds them).
struct Change
{
    enum Kind { Replace, AddMember, RemoveMember, Append, Truncate };
    Kind kind = Replace;
    QVariantList path;  // QString keys and qsizetype indexes
    QString key;
    QJsonValue before;
    QJsonValue after;
    QJsonArray items;
    qsizetype count = 0;
};

void diff(const QJsonValue &before, const QJsonValue &after, const QVariantList &path, QList<Change> &changes)
{
    if (before.isObject() && after.isObject()) {
        const QJsonObject a = before.toObject();
        const QJsonObject b = after.toObject();
        for (auto it = b.begin(); it != b.end(); ++it) {
            if (a.contains(it.key()))
                diff(a.value(it.key()), it.value(), path + QVariantList{it.key()}, changes);
            else
                changes.append({Change::AddMember, path, it.key(), {}, it.value(), {}, 0});
        }
        for (auto it = a.begin(); it != a.end(); ++it) {
            if (!b.contains(it.key()))
                changes.append({Change::RemoveMember, path, it.key(), it.value(), {}, {}, 0});
        }
        return;
    }
    if (before.isArray() && after.isArray()) {
        const QJsonArray a = before.toArray();
        const QJsonArray b = after.toArray();
        for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
            diff(a.at(i), b.at(i), path + QVariantList{i}, changes);
        QJsonArray added;
        for (qsizetype i = a.size(); i < b.size(); ++i)
            added.append(b.at(i));
        if (!added.isEmpty())
            changes.append({Change::Append, path, {}, {}, {}, added, 0});
        else if (b.size() < a.size())
            changes.append({Change::Truncate, path, {}, {}, {}, {}, b.size()});
        return;
    }
    if (before == after || sameQuantity(before, after))
        return;
    changes.append({Change::Replace, path, {}, before, inFileStyle(before, after), {}, 0});
}

struct Splice
{
    qsizetype begin;
    qsizetype end;
    QByteArray text;
};

// Whether changes remove the member key of the object at path.
bool removes(const QList<Change> &changes, const QVariantList &path, const QString &key)
{
    return std::any_of(changes.begin(), changes.end(), [&](const Change &c) {
        return c.kind == Change::RemoveMember && c.path == path && c.key == key;
    });
}

// Puts one change of changes into text (read into root and span), checking
// that what the change replaces is still there: base is the design the change
// was made against. False when the text was changed there by someone else.
bool place(const Change &change, const QList<Change> &changes, const QJsonObject &base, const QJsonObject &root,
           const Span &rootSpan, QList<Splice> &splices)
{
    QJsonValue was = base;
    QJsonValue now = root;
    const Span *span = &rootSpan;
    for (const QVariant &step : change.path) {
        if (step.typeId() == QMetaType::QString) {
            const QString key = step.toString();
            const int member = span->member(key);
            if (!now.isObject() || member < 0)
                return false;
            was = was.toObject().value(key);
            now = now.toObject().value(key);
            span = &span->children.at(member);
        } else {
            const qsizetype index = step.value<qsizetype>();
            // Elements are known by their place: a list whose length another
            // program changed may have moved them.
            if (!now.isArray() || now.toArray().size() != was.toArray().size() || index >= span->count())
                return false;
            was = was.toArray().at(index);
            now = now.toArray().at(index);
            span = &span->children.at(size_t(index));
        }
    }
    switch (change.kind) {
    case Change::Replace:
        if (now == change.after)
            return true;
        if (now != change.before)
            return false;
        splices.append({span->begin, span->end, jsonBytes(change.after)});
        return true;
    case Change::AddMember: {
        const QJsonObject object = now.toObject();
        if (object.contains(change.key))
            return object.value(change.key) == change.after;
        const QByteArray member = jsonBytes(change.key) + ": " + jsonBytes(change.after);
        // New members go after the last one (which may be removed: its cut
        // ends where they begin); all added to one object form one splice.
        const qsizetype at = span->children.empty() ? span->begin + 1 : span->children.back().end;
        for (Splice &splice : splices) {
            if (splice.begin == at && splice.end == at)
                return splice.text += ", " + member, true;
        }
        const bool keepsOne = std::any_of(span->keys.begin(), span->keys.end(),
                                          [&](const QString &key) { return !removes(changes, change.path, key); });
        splices.append({at, at, keepsOne ? ", " + member : member});
        return true;
    }
    case Change::RemoveMember: {
        const int member = span->member(change.key);
        if (member < 0)
            return true;
        if (now.toObject().value(change.key) != change.before)
            return false;
        // A member with a kept one after it is cut up to that one's key; the
        // removed members at the end are cut together, from the end of the
        // last kept member (or from the first key) to the end of the last.
        const auto removed = [&](int i) { return removes(changes, change.path, span->keys.at(i)); };
        int after = member + 1;
        while (after < span->count() && removed(after))
            ++after;
        if (after < span->count()) {
            splices.append({span->keyBegins.at(member), span->keyBegins.at(member + 1), {}});
        } else if (member == 0 || !removed(member - 1)) {
            const qsizetype from = member > 0 ? span->children.at(member - 1).end : span->keyBegins.at(member);
            splices.append({from, span->children.back().end, {}});
        }
        return true;
    }
    case Change::Append:
    case Change::Truncate: {
        if (now.toArray().size() != was.toArray().size())
            return false;
        if (change.kind == Change::Append) {
            QByteArray text;
            for (const QJsonValue &item : change.items)
                text += (text.isEmpty() && span->children.empty() ? "" : ", ") + jsonBytes(item);
            const qsizetype at = span->children.empty() ? span->begin + 1 : span->children.back().end;
            splices.append({at, at, text});
        } else {
            const qsizetype from = change.count == 0 ? span->children.front().begin : span->children.at(size_t(change.count - 1)).end;
            splices.append({from, span->children.back().end, {}});
        }
        return true;
    }
    }
    return false;
}

// value with change made at path[depth...].
QJsonValue applied(const QJsonValue &value, const Change &change, qsizetype depth = 0)
{
    if (depth < change.path.size()) {
        const QVariant &step = change.path.at(depth);
        if (step.typeId() == QMetaType::QString) {
            QJsonObject object = value.toObject();
            object.insert(step.toString(), applied(object.value(step.toString()), change, depth + 1));
            return object;
        }
        QJsonArray array = value.toArray();
        const qsizetype index = step.value<qsizetype>();
        if (index < array.size())
            array.replace(index, applied(array.at(index), change, depth + 1));
        return array;
    }
    QJsonObject object = value.toObject();
    QJsonArray array = value.toArray();
    switch (change.kind) {
    case Change::Replace:
        return change.after;
    case Change::AddMember:
        object.insert(change.key, change.after);
        return object;
    case Change::RemoveMember:
        object.remove(change.key);
        return object;
    case Change::Append:
        for (const QJsonValue &item : change.items)
            array.append(item);
        return array;
    case Change::Truncate:
        while (array.size() > change.count)
            array.removeLast();
        return array;
    }
    return value;
}

// text with the changes from base to design, and in expected the design that
// text should now hold (root with those changes); false when text (read as
// root) was changed by someone else where a change goes.
bool edited(const QByteArray &text, const QJsonObject &root, const QJsonObject &base, const QJsonObject &design,
            QByteArray &result, QJsonObject &expected)
{
    Span span;
    if (!SpanReader(text).read(span) || span.kind != '{')
        return false;
    QList<Change> changes;
    diff(base, design, {}, changes);
    QList<Splice> splices;
    for (const Change &change : std::as_const(changes)) {
        if (!place(change, changes, base, root, span, splices))
            return false;
    }
    expected = root;
    for (const Change &change : std::as_const(changes))
        expected = applied(expected, change).toObject();
    std::stable_sort(splices.begin(), splices.end(), [](const Splice &a, const Splice &b) { return a.begin > b.begin; });
    result = text;
    for (const Splice &splice : std::as_const(splices))
        result.replace(splice.begin, splice.end - splice.begin, splice.text);
    return true;
}

// Writes bytes to path (a file in an existing folder) through a save file:
// every step checked, and nothing replaced unless all of it went through.
bool writeChecked(const QString &path, const QByteArray &bytes, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo folder(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    const auto failed = [&](const char *step) {
        const QString why = file.error() == QFileDevice::PermissionsError || !folder.isWritable()
            ? QStringLiteral("%1 is not writable").arg(path)
            : QStringLiteral("cannot write %1 (%2): %3").arg(path, QLatin1String(step), file.errorString());
        file.cancelWriting();
        return fail(why);
    };
    // Unbuffered, so that each write reaches the file at once: a short write
    // is followed by one for the rest, which fails with the reason (a full
    // disk, a file-size limit).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed("open");
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return failed("write");
        done += written;
    }
    if (!file.flush())
        return failed("flush");
    if (!file.commit())
        return fail(QStringLiteral("cannot write %1 (commit): %2").arg(path, file.errorString()));
    return true;
}

// The independent variable a goal has by its analysis, as the simulator
// gives it: none for a scalar (an operating point or a measurement).
QString defaultIndepVar(const QJsonObject &analysis, const QString &expression)
{
    static const QRegularExpression measure(QStringLiteral("^meas(\\s|$)"), QRegularExpression::CaseInsensitiveOption);
    const QString type = jsonText(analysis.value(QLatin1String("type"))).toLower();
    if (measure.match(expression.trimmed()).hasMatch() || type == QLatin1String("op"))
        return QString();
    if (type == QLatin1String("tran"))
        return QStringLiteral("time");
    if (type == QLatin1String("dc"))
        return jsonText(analysis.value(QLatin1String("source"))).toLower();
    return QStringLiteral("freq");
}

} // namespace

DesignStore::DesignStore(QObject *parent)
    : QObject(parent)
{
}

namespace {

// A design file's text as a JSON object, or why it is none.
std::optional<QJsonObject> designObject(const QByteArray &text, const QString &path, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                ? QStringLiteral("%1 is not JSON: %2 at offset %3").arg(path, parseError.errorString()).arg(parseError.offset)
                : QStringLiteral("%1 does not hold a design (expected a JSON object)").arg(path);
        return std::nullopt;
    }
    return doc.object();
}

} // namespace

bool DesignStore::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.readAll();
    if (NetlistDesign::isNetlistPath(path)) {
        NetlistDesign design;
        if (!NetlistDesign::read(text, path, design, error))
            return false;
        m_path = QFileInfo(path).absoluteFilePath();
        m_open = true;
        adoptNetlist(text, design);
        return true;
    }
    const std::optional<QJsonObject> root = designObject(text, path, error);
    if (!root)
        return false;
    for (const char *key : {"variables", "goals"}) {
        const QJsonValue v = root->value(QLatin1String(key));
        if (!v.isUndefined() && !v.isArray()) {
            if (error)
                *error = QStringLiteral("%1: \"%2\" must be a list").arg(path, QLatin1String(key));
            return false;
        }
    }
    const QJsonValue alg = root->value(QLatin1String("algorithm"));
    if (!alg.isUndefined() && !alg.isObject()) {
        if (error)
            *error = QStringLiteral("%1: \"algorithm\" must be an object").arg(path);
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_open = true;
    m_isNetlist = false;
    m_netlist = NetlistDesign();
    adopt(text, *root);
    return true;
}

void DesignStore::adopt(const QByteArray &text, const QJsonObject &root)
{
    m_text = text;
    m_base = root;
    m_statements.clear();
    setRoot(root);
    Q_EMIT changed();
}

void DesignStore::adoptNetlist(const QByteArray &text, const NetlistDesign &design)
{
    m_isNetlist = true;
    m_netlist = design;
    adopt(text, design.root);
}

void DesignStore::close()
{
    m_open = false;
    m_isNetlist = false;
    m_netlist = NetlistDesign();
    m_path.clear();
    m_text.clear();
    m_base = QJsonObject();
    setRoot(QJsonObject());
    Q_EMIT changed();
}

bool DesignStore::save(QString *error)
{
    if (!m_open) {
        if (error)
            *error = QStringLiteral("no design is open");
        return false;
    }
    const QFileInfo info(m_path);
    const QString cannot = info.isDir() ? QStringLiteral("%1 is a directory").arg(m_path)
        : !QFileInfo(info.absolutePath()).isDir() ? QStringLiteral("cannot write %1: its folder does not exist").arg(m_path)
                                                  : QString();
    if (!cannot.isEmpty()) {
        if (error)
            *error = cannot;
        setRoot(m_base);
        Q_EMIT changed();
        return false;
    }
    // What the file holds now: another program may have changed it.
    QFile file(m_path);
    QByteArray disk;
    bool read = file.open(QIODevice::ReadOnly);
    if (read)
        disk = file.readAll();
    read = read && file.error() == QFileDevice::NoError;
    if (!read) {
        if (error)
            *error = QStringLiteral("cannot read %1 again before writing it: %2").arg(m_path, file.errorString());
        setRoot(m_base);
        Q_EMIT changed();
        return false;
    }
    file.close();
    if (m_isNetlist)
        return saveNetlist(disk, error);
    std::optional<QJsonObject> diskRoot = disk == m_text ? std::optional<QJsonObject>(m_base) : designObject(disk, m_path, nullptr);
    QByteArray text;
    QJsonObject expected;
    if (!diskRoot || !edited(disk, *diskRoot, m_base, m_root, text, expected)) {
        if (error)
            *error = disk == m_text ? QStringLiteral("The design file's text could not be edited in place; %1 was not changed.").arg(m_path)
                                    : QStringLiteral("The design file was changed by another program since it was opened.");
        if (diskRoot) {
            adopt(disk, *diskRoot);
        } else {
            setRoot(m_base);
            Q_EMIT changed();
        }
        return false;
    }
    // The edited text must read back as the design intended (quantities
    // compared as such): an edit the text did not take is not written.
    const std::optional<QJsonObject> written = designObject(text, m_path, nullptr);
    QList<Change> left;
    if (written)
        diff(expected, *written, {}, left);
    if (!written || !left.isEmpty()) {
        if (error)
            *error = QStringLiteral("The design file's text could not be edited in place; %1 was not changed.").arg(m_path);
        adopt(disk, *diskRoot);
        return false;
    }
    if (!(text == disk || writeChecked(m_path, text, error))) {
        adopt(disk, *diskRoot);
        return false;
    }
    adopt(text, *written);
    return true;
}

bool DesignStore::saveNetlist(const QByteArray &disk, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    // The statements of the items whose definitions changed; one whose
    // definition is as the file's (quantities compared as such) keeps its bytes.
    const auto changedFrom = [](const QJsonValue &before, const QJsonValue &after) {
        QList<Change> changes;
        diff(before, after, {}, changes);
        return !changes.isEmpty();
    };
    QList<NetlistEdit> edits;
    const QJsonArray vars = variables();
    const QJsonArray baseVars = m_base.value(QLatin1String("variables")).toArray();
    for (qsizetype i = 0; i < vars.size(); ++i) {
        const QString name = jsonText(vars.at(i).toObject().value(QLatin1String("netlistName")));
        const QString key = QStringLiteral("v:") + variableKey(name);
        if (m_statements.contains(key) && changedFrom(baseVars.at(i), vars.at(i)))
            edits.append({NetlistStatement::Variable, name, m_statements.value(key).toUtf8()});
    }
    const QJsonArray baseGoals = m_base.value(QLatin1String("goals")).toArray();
    for (const QJsonValue &goal : goals()) {
        const QString name = jsonText(goal.toObject().value(QLatin1String("name")));
        const QString key = QStringLiteral("g:") + name;
        const auto base = std::find_if(baseGoals.begin(), baseGoals.end(), [&](const QJsonValue &g) {
            return jsonText(g.toObject().value(QLatin1String("name"))) == name;
        });
        if (m_statements.contains(key) && (base == baseGoals.end() || changedFrom(*base, goal)))
            edits.append({NetlistStatement::Goal, name, m_statements.value(key).toUtf8()});
    }
    if (m_statements.contains(QStringLiteral("a")) && changedFrom(m_base.value(QLatin1String("algorithm")), algorithm()))
        edits.append({NetlistStatement::Algorithm, QString(), m_statements.value(QStringLiteral("a")).toUtf8()});

    // Another program may have changed the file: the edits go into its text
    // as it is now when the statements they replace are as they were.
    const bool same = disk == m_text;
    NetlistDesign now;
    const bool readable = same || NetlistDesign::read(disk, m_path, now, nullptr);
    if (same)
        now = m_netlist;
    QByteArray text;
    if (!readable || !spliceNetlist(m_text, m_netlist, disk, now, edits, text)) {
        if (readable) {
            adoptNetlist(disk, now);
        } else {
            setRoot(m_base);
            Q_EMIT changed();
        }
        return fail(same ? QStringLiteral("The design file's text could not be edited in place; %1 was not changed.").arg(m_path)
                         : QStringLiteral("The design file was changed by another program since it was opened."));
    }
    // The edited text must read back as a design: a text the helmdeck handed
    // out that the reader refuses is not written.
    NetlistDesign written;
    QString why;
    if (!NetlistDesign::read(text, m_path, written, &why)) {
        adoptNetlist(disk, now);
        return fail(QStringLiteral("The design file's text could not be edited in place (%1); %2 was not changed.").arg(why, m_path));
    }
    if (!(text == disk || writeChecked(m_path, text, error))) {
        adoptNetlist(disk, now);
        return false;
    }
    adoptNetlist(text, written);
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

QJsonArray DesignStore::analyses() const
{
    const QJsonValue one = m_root.value(QLatin1String("analysis"));
    return one.isObject() ? QJsonArray{one} : m_root.value(QLatin1String("analyses")).toArray();
}

QJsonObject DesignStore::algorithm() const
{
    return m_root.value(QLatin1String("algorithm")).toObject();
}

void DesignStore::setRoot(const QJsonObject &root)
{
    m_root = root;
    // The first variable of a name wins, as the simulator takes it: indexing
    // from the back lets an earlier one replace a later one.
    m_variableIndex.clear();
    const QJsonArray vars = variables();
    m_variableIndex.reserve(vars.size());
    for (qsizetype i = vars.size() - 1; i >= 0; --i)
        m_variableIndex.insert(variableKey(jsonText(vars.at(i).toObject().value(QLatin1String("netlistName")))), int(i));
    // Fixed parameters: a netlist's .param lines, a JSON design's "parameters".
    m_parameters.clear();
    if (m_isNetlist) {
        QStringList circuit;
        for (const QJsonValue &line : root.value(QLatin1String("circuit")).toArray())
            circuit.append(line.toString());
        for (const auto &[name, value] : netlistParameters(circuit))
            m_parameters.insert(variableKey(name), {name, value});
    } else {
        const QJsonObject parameters = root.value(QLatin1String("parameters")).toObject();
        for (auto it = parameters.begin(); it != parameters.end(); ++it)
            m_parameters.insert(variableKey(it.key()), {it.key(), jsonText(it.value())});
    }
}

QString DesignStore::variableKey(const QString &netlistName)
{
    // Netlist names are case-insensitive, as in the simulator.
    return netlistName.toCaseFolded();
}

int DesignStore::variableIndex(const QString &netlistName) const
{
    return m_variableIndex.value(variableKey(netlistName), -1);
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
    const auto parameter = m_parameters.constFind(variableKey(netlistName));
    if (parameter != m_parameters.cend()) {
        info.found = true;
        info.name = parameter->first;
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
    if (index < 0)
        return m_open ? m_parameters.value(variableKey(netlistName)).second : QString();
    return jsonText(variables().at(index).toObject().value(QLatin1String("value")));
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
    const QJsonArray all = analyses();
    QJsonObject analysis = all.at(0).toObject();
    for (const QJsonValue &a : all) {
        if (!goal.simInstanceName.isEmpty()
            && jsonText(a.toObject().value(QLatin1String("name"))).compare(goal.simInstanceName, Qt::CaseInsensitive) == 0)
            analysis = a.toObject();
    }
    if (goal.simInstanceName.isEmpty())
        goal.simInstanceName = jsonText(analysis.value(QLatin1String("name")));
    goal.weight = jsonText(g.value(QLatin1String("weight")));
    QString indep = jsonText(g.value(QLatin1String("indepVar")));
    if (indep.isEmpty())
        indep = defaultIndepVar(analysis, goal.expression);
    if (!indep.isEmpty())
        goal.indepVars.append(indep);
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
    // A netlist design takes the line as it stands, so it must be one.
    if (m_isNetlist && (variable.text.isEmpty() || variable.text.contains(QLatin1Char('\n')) || variable.text.contains(QLatin1Char('\r')))) {
        if (error)
            *error = QStringLiteral("variable %1: no netlist line to write").arg(variable.netlistName);
        return false;
    }
    if (m_isNetlist)
        m_statements.insert(QStringLiteral("v:") + variableKey(variable.netlistName), variable.text);
    // Taken out of the held design so that replacing the element does not
    // copy the whole list; the netlist names, and so the index, stay.
    QJsonArray vars = m_root.take(QLatin1String("variables")).toArray();
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
    if (m_isNetlist && goal.netlist.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("goal %1: no netlist text to write").arg(goal.name);
        return false;
    }
    if (m_isNetlist) {
        QString text = goal.netlist;
        // The text ends with a line feed, which the line end in the file is.
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        m_statements.insert(QStringLiteral("g:") + goal.name, text);
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
    else
        g.remove(QLatin1String("indepVar"));
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
    // Each optimization of a sweep is named after its entry and keeps its
    // algorithm there; the design's own algorithm is the base of them all.
    QJsonArray sweep = m_root.value(QLatin1String("sweep")).toArray();
    qsizetype entry = -1;
    for (qsizetype i = 0; i < sweep.size() && !algorithm.name.isEmpty(); ++i) {
        if (jsonText(sweep.at(i).toObject().value(QLatin1String("name"))) == algorithm.name)
            entry = i;
    }
    QJsonObject a = entry >= 0 ? sweep.at(entry).toObject().value(QLatin1String("algorithm")).toObject() : this->algorithm();
    if (m_isNetlist) {
        const QString name = algorithm.name.isEmpty() ? jsonText(a.value(QLatin1String("name"))) : algorithm.name;
        static const QRegularExpression blank(QStringLiteral("\\s"));
        if (name.isEmpty() || name.contains(blank)) {
            if (error)
                *error = QStringLiteral("the algorithm has no name a netlist statement can hold (\"%1\")").arg(name);
            return false;
        }
        m_statements.insert(QStringLiteral("a"), QStringLiteral("OptimAlgorithm:%1 OptimType=\"%2\" ErrorForm=\"%3\" MaxIters=%4")
                                                     .arg(name, algorithm.optimType, algorithm.errorForm, algorithm.maxIterations));
    }
    if (!algorithm.name.isEmpty() && entry < 0)
        a.insert(QLatin1String("name"), algorithm.name);
    a.insert(QLatin1String("type"), algorithm.type);
    bool ok = false;
    const int maxIterations = algorithm.maxIterations.trimmed().toInt(&ok);
    if (ok)
        a.insert(QLatin1String("maxIterations"), maxIterations);
    else if (!algorithm.maxIterations.isEmpty())
        a.insert(QLatin1String("maxIterations"), algorithm.maxIterations);
    if (entry >= 0) {
        QJsonObject e = sweep.at(entry).toObject();
        e.insert(QLatin1String("algorithm"), a);
        sweep.replace(entry, e);
        m_root.insert(QLatin1String("sweep"), sweep);
    } else {
        m_root.insert(QLatin1String("algorithm"), a);
    }
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
