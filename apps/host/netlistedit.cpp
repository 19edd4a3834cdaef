#include "netlistedit.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

bool matches(const NetlistStatement &statement, const NetlistEdit &edit)
{
    if (statement.kind != edit.kind)
        return false;
    switch (edit.kind) {
    case NetlistStatement::Algorithm: return true;
    case NetlistStatement::Variable: return statement.name.compare(edit.name, Qt::CaseInsensitive) == 0;
    default: return statement.name == edit.name;
    }
}

// The statements of design an edit replaces, the item's own first (none when
// the design lacks the item).
QList<const NetlistStatement *> statementsOf(const NetlistDesign &design, const NetlistEdit &edit)
{
    QList<const NetlistStatement *> found;
    const auto own = std::find_if(design.statements.begin(), design.statements.end(),
                                  [&](const NetlistStatement &s) { return matches(s, edit); });
    if (own == design.statements.end())
        return found;
    found.append(&*own);
    const int index = int(own - design.statements.begin());
    for (const NetlistStatement &s : design.statements) {
        if (edit.kind == NetlistStatement::Goal && s.kind == NetlistStatement::SpecLimit && s.goal == index)
            found.append(&s);
    }
    return found;
}

struct Cut
{
    qsizetype begin;
    qsizetype end;
    QByteArray text;
};

// A statement taken out with one line end (the one after it, or before it
// when it ends the file), so that no blank line is left in its place.
Cut removal(const QByteArray &text, const NetlistStatement &s, const QByteArray &lineEnd)
{
    if (text.mid(s.end, lineEnd.size()) == lineEnd)
        return {s.begin, s.end + lineEnd.size(), {}};
    if (s.begin >= lineEnd.size() && text.mid(s.begin - lineEnd.size(), lineEnd.size()) == lineEnd)
        return {s.begin - lineEnd.size(), s.end, {}};
    return {s.begin, s.end, {}};
}

} // namespace

bool spliceNetlist(const QByteArray &baseText, const NetlistDesign &base, const QByteArray &text,
                   const NetlistDesign &now, const QList<NetlistEdit> &edits, QByteArray &result)
{
    QList<Cut> cuts;
    QByteArray tail;
    for (const NetlistEdit &edit : edits) {
        const QList<const NetlistStatement *> was = statementsOf(base, edit);
        const QList<const NetlistStatement *> is = statementsOf(now, edit);
        if (was.size() != is.size())
            return false;
        for (qsizetype i = 0; i < was.size(); ++i) {
            if (baseText.mid(was.at(i)->begin, was.at(i)->end - was.at(i)->begin)
                != text.mid(is.at(i)->begin, is.at(i)->end - is.at(i)->begin))
                return false;
        }
        const QByteArray statement = QByteArray(edit.text).replace('\n', now.lineEnd);
        if (is.isEmpty()) {
            tail += statement + now.lineEnd;
            continue;
        }
        cuts.append({is.first()->begin, is.first()->end, statement});
        for (qsizetype i = 1; i < is.size(); ++i)
            cuts.append(removal(text, *is.at(i), now.lineEnd));
    }
    std::sort(cuts.begin(), cuts.end(), [](const Cut &a, const Cut &b) { return a.begin > b.begin; });
    result = text;
    for (const Cut &cut : std::as_const(cuts))
        result.replace(cut.begin, cut.end - cut.begin, cut.text);
    if (!tail.isEmpty() && !result.isEmpty() && !result.endsWith('\n') && !result.endsWith('\r'))
        result += now.lineEnd;
    result += tail;
    return true;
}

QList<QPair<QString, QString>> netlistParameters(const QStringList &circuitLines)
{
    static const QRegularExpression assignment(
        QStringLiteral("([A-Za-z_][A-Za-z0-9_.]*)\\s*=\\s*(\\{[^}]*\\}|'[^']*'|\"[^\"]*\"|[^\\s=]+)"));
    QList<QPair<QString, QString>> parameters;
    bool inParam = false;
    for (const QString &line : circuitLines) {
        QString text = line.trimmed();
        if (text.startsWith(QLatin1Char('+'))) {
            if (!inParam)
                continue;
            text.remove(0, 1);
        } else {
            inParam = text.startsWith(QLatin1String(".param"), Qt::CaseInsensitive)
                && (text.size() == 6 || text.at(6).isSpace());
            if (!inParam)
                continue;
            text.remove(0, 6);
        }
        // An inline comment ends what the line defines.
        const qsizetype comment = text.indexOf(QRegularExpression(QStringLiteral("[;$]")));
        if (comment >= 0)
            text.truncate(comment);
        for (const QRegularExpressionMatch &m : assignment.globalMatch(text))
            parameters.append({m.captured(1), m.captured(2)});
    }
    return parameters;
}
