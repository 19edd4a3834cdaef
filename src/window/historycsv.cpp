#include "historycsv.h"

#include "helmdeckquestions.h"
#include "model/optimizationmodelobject.h"
#include "units/realstringparser.h"

#include <QBuffer>
#include <QLocale>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <vector>

namespace HistoryCsv {

namespace {

// Appends one field. Most texts are short ASCII numbers: those are copied
// byte by byte in the same pass that looks for characters needing quotes.
void appendField(QByteArray &out, QStringView field)
{
    bool ascii = true;
    bool quote = false;
    for (const QChar c : field) {
        const char16_t u = c.unicode();
        if (u >= 0x80)
            ascii = false;
        else if (u == u',' || u == u'"' || u == u'\n' || u == u'\r')
            quote = true;
    }
    if (!quote) {
        if (ascii) {
            char bytes[64];
            qsizetype n = 0;
            for (const QChar c : field) {
                bytes[n++] = char(c.unicode());
                if (n == qsizetype(sizeof bytes)) {
                    out.append(bytes, n);
                    n = 0;
                }
            }
            out.append(bytes, n);
        } else {
            out += field.toUtf8();
        }
        return;
    }
    out += '"';
    for (const QByteArray bytes = field.toUtf8(); const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// The base unit a variable's values are written in ("F" for "pF").
QString baseUnit(const QString &unit)
{
    const RealStringParser parser(QStringLiteral("1"), unit);
    return parser.isAcceptable() ? parser.baseUnits() : unit;
}

QString variableHeader(const OptimVarInput &variable)
{
    const QString name = variable.name().isEmpty() ? variable.netlistName() : variable.name();
    const QString unit = baseUnit(variable.unit().trimmed());
    return unit.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, unit);
}

// Appends entry i of values as a number in base units, so a spreadsheet
// reads it: "5 pF" (or a bare 5 of a variable in "pF") gives 5e-12, the
// shortest text that reads back to the same double. A plain number in base
// units is copied; a text that is no number is written as it stands.
void appendNumber(QByteArray &out, const OptimHistoryValues &values, qsizetype i, const QString &unit = QString(),
                  bool baseUnit = true)
{
    if (i >= values.size())
        return;
    const QString text = values.at(i);
    if (!std::isnan(values.numbers().at(i)) && baseUnit) {
        appendField(out, QStringView(text).trimmed());
        return;
    }
    bool ok = false;
    const double value = RealStringParser::toDouble(text, &ok, unit);
    if (ok && std::isfinite(value))
        out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    else
        appendField(out, text);
}

} // namespace

qsizetype iterationCount(const OptimizationModel &model)
{
    const OptimModelHistory &history = model.history();
    qsizetype n = history.algorithm().values().size();
    for (const OptimGoalHistory &goal : history.goals())
        n = std::max(n, goal.values().size());
    for (const OptimVarHistory &variable : history.variables())
        n = std::max(n, variable.values().size());
    return n;
}

bool write(const OptimizationModel &model, QIODevice *device, QString *problem)
{
    const OptimModelHistory &history = model.history();
    const qsizetype goals = std::min(model.goalCount(), history.goals().size());
    const qsizetype variables = std::min(model.variableCount(), history.variables().size());
    const auto flush = [&](QByteArray &buffer) {
        if (device->write(buffer) != buffer.size()) {
            if (problem)
                *problem = device->errorString();
            return false;
        }
        buffer.clear();
        return true;
    };

    QByteArray buffer;
    buffer.reserve(1 << 20);
    appendField(buffer, u"Iteration");
    buffer += ',';
    appendField(buffer, u"Error");
    for (qsizetype k = 0; k < goals; ++k) {
        buffer += ',';
        appendField(buffer, model.goal(k).name());
    }
    for (qsizetype k = 0; k < variables; ++k) {
        buffer += ',';
        appendField(buffer, variableHeader(model.variable(k)));
    }
    buffer += "\r\n";

    std::vector<QString> units;
    std::vector<bool> inBase;
    for (qsizetype k = 0; k < variables; ++k) {
        units.push_back(model.variable(k).unit().trimmed());
        inBase.push_back(baseUnit(units.back()) == units.back());
    }
    const qsizetype rows = iterationCount(model);
    for (qsizetype i = 0; i < rows; ++i) {
        buffer += QByteArray::number(i);
        buffer += ',';
        appendNumber(buffer, history.algorithm().values(), i);
        for (qsizetype k = 0; k < goals; ++k) {
            buffer += ',';
            appendNumber(buffer, history.goals().at(k).values(), i);
        }
        for (qsizetype k = 0; k < variables; ++k) {
            buffer += ',';
            appendNumber(buffer, history.variables().at(k).values(), i, units.at(size_t(k)), inBase.at(size_t(k)));
        }
        buffer += "\r\n";
        if (buffer.size() >= (1 << 20) && !flush(buffer))
            return false;
    }
    return flush(buffer);
}

QByteArray text(const OptimizationModel &model)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    write(model, &buffer);
    return bytes;
}

bool save(const OptimizationModel &model, const QString &path, QString *problem)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    if (!write(model, &file, problem)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    return true;
}

void exportHistory(HelmdeckQuestions *questions, OptimizationModelObject *model)
{
    if (!questions || !model)
        return;
    const QPointer<HelmdeckQuestions> guard(questions);
    const QPointer<OptimizationModelObject> viewed(model);
    const QString path = questions->askSaveFileName(QStringLiteral("Export History"),
                                                    QStringLiteral("optimization-history.csv"),
                                                    QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!guard || path.isEmpty())
        return;
    if (!viewed) {
        questions->tellFileNotWritten(path, QStringLiteral("The optimization was closed."));
        return;
    }
    QString problem;
    if (!save(viewed->model(), path, &problem))
        questions->tellFileNotWritten(path, problem);
}

} // namespace HistoryCsv
