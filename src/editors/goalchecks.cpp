#include "goalchecks.h"

#include "units/realstringparser.h"
#include "graphs/goalgraphwidget.h"
#include "units/unitsparser.h"

#include <QRegularExpression>

#include <cmath>

namespace goalcheck {

namespace {

const QString kNoValue = QStringLiteral("No value specified");
const QString kInvalid = QStringLiteral("Value is invalid");
const QString kMinAboveMax = QStringLiteral("Min is greater than max");
const QString kNameInvalid = QStringLiteral("The name is invalid");

bool blank(const QString &text)
{
    return text.trimmed().isEmpty();
}

// The first bound cell is the lower one, the second the upper one.
std::optional<double> rangeValue(const QString &text, const QString &units)
{
    return blank(text) ? std::nullopt : valueOf(text, units);
}

// Units the parser knows, else none (a bound is then read on its own).
QString knownUnits(const QString &units)
{
    return UnitsParser(units.trimmed()).isAcceptable() ? units.trimmed() : QString();
}

} // namespace

std::optional<double> valueOf(const QString &text, const QString &units)
{
    RealStringParser parser;
    if (!parser.parse(text.trimmed(), knownUnits(units)) || !std::isfinite(parser.value()))
        return std::nullopt;
    return parser.value();
}

QString plainNumberText(const QString &text, const QString &units)
{
    const std::optional<double> value = valueOf(text, units);
    if (!value)
        return text;
    bool plain = false;
    const double read = text.trimmed().toDouble(&plain);
    if (plain && read == *value)
        return text;
    return RealStringParser::formatNumber(*value, 15);
}

QString boundDisplayText(const QString &text, const QString &units)
{
    const QString known = knownUnits(units);
    bool plain = false;
    text.trimmed().toDouble(&plain);
    const std::optional<double> value = valueOf(text, known);
    if (known.isEmpty() || !plain || !value)
        return text;
    return RealStringParser::formatScaled(*value, 12, known).text();
}

bool isValidQuotedName(const QString &name)
{
    return !name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'));
}

bool isValidGoalName(const QString &name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\s\"\\\\:=\\[\\]]"));
    return !name.isEmpty() && !name.contains(forbidden);
}

bool hasSecondValue(int limitType)
{
    return optimLimitTypeHasSecondValue(limitType);
}

int limitProblems(const OptimGoalLimitInput &limit)
{
    int flags = 0;
    if (blank(limit.name()))
        flags |= LimitNameEmpty;
    else if (!isValidQuotedName(limit.name()))
        flags |= LimitNameInvalid;
    if (blank(limit.weight())) {
        flags |= LimitWeightEmpty;
    } else if (const auto weight = valueOf(limit.weight()); !weight) {
        flags |= LimitWeightInvalid;
    } else if (*weight < 0) {
        flags |= LimitWeightNegative;
    }
    const auto first = valueOf(limit.firstValueText());
    if (blank(limit.firstValueText()))
        flags |= FirstValueEmpty;
    else if (!first)
        flags |= FirstValueInvalid;
    if (hasSecondValue(limit.limitType())) {
        const auto second = valueOf(limit.secondValueText());
        if (blank(limit.secondValueText()))
            flags |= SecondValueEmpty;
        else if (!second)
            flags |= SecondValueInvalid;
        if (first && second && *first > *second)
            flags |= MinAboveMax;
    }
    return flags;
}

int limitProblems(const OptimGoalInput &goal, qsizetype i)
{
    const OptimItemList<OptimGoalLimitInput> &limits = goal.limits();
    if (i < 0 || i >= limits.size())
        return 0;
    int flags = limitProblems(limits.at(i));
    const QString name = limits.at(i).name().trimmed();
    for (qsizetype j = 0; !name.isEmpty() && j < limits.size(); ++j) {
        if (j != i && limits.at(j).name().trimmed() == name)
            flags |= LimitNameDuplicate;
    }
    return flags;
}

int rangeProblems(const QString &lowerBound, const QString &upperBound, const QString &units)
{
    int flags = 0;
    const auto lower = rangeValue(lowerBound, units);
    const auto upper = rangeValue(upperBound, units);
    if (!blank(lowerBound) && !lower)
        flags |= LowerInvalid;
    if (!blank(upperBound) && !upper)
        flags |= UpperInvalid;
    if (lower && upper && *lower > *upper)
        flags |= LowerAboveUpper;
    return flags;
}

int infoProblems(const OptimGoalInput &goal)
{
    int flags = 0;
    if (blank(goal.name()))
        flags |= NameEmpty;
    else if (!isValidGoalName(goal.name()))
        flags |= NameInvalid;
    if (blank(goal.expression()))
        flags |= ExpressionEmpty;
    if (blank(goal.simInstanceName()))
        flags |= AnalysisEmpty;
    if (blank(goal.weight())) {
        flags |= WeightEmpty;
    } else if (const auto weight = valueOf(goal.weight()); !weight) {
        flags |= WeightInvalid;
    } else if (*weight < 0) {
        flags |= WeightNegative;
    }
    for (const QString &var : goal.indepVarNames()) {
        if (!isValidQuotedName(var))
            flags |= IndepVarNameInvalid;
    }
    return flags;
}

QString limitMessage(int flags, LimitField field)
{
    switch (field) {
    case LimitField::Name:
        if (flags & LimitNameEmpty)
            return kNoValue;
        if (flags & LimitNameInvalid)
            return kNameInvalid;
        return flags & LimitNameDuplicate ? QStringLiteral("Another limit has the same name") : QString();
    case LimitField::FirstValue:
        if (flags & FirstValueEmpty)
            return kNoValue;
        if (flags & FirstValueInvalid)
            return kInvalid;
        return flags & MinAboveMax ? kMinAboveMax : QString();
    case LimitField::SecondValue:
        if (flags & SecondValueEmpty)
            return kNoValue;
        if (flags & SecondValueInvalid)
            return kInvalid;
        return flags & MinAboveMax ? kMinAboveMax : QString();
    case LimitField::Weight:
        if (flags & LimitWeightEmpty)
            return kNoValue;
        if (flags & LimitWeightInvalid)
            return kInvalid;
        return flags & LimitWeightNegative ? QStringLiteral("The weight is negative") : QString();
    }
    return QString();
}

QString rangeMessage(int flags, bool upperBound)
{
    if (flags & (upperBound ? UpperInvalid : LowerInvalid))
        return kInvalid;
    return flags & LowerAboveUpper ? kMinAboveMax : QString();
}

QString infoMessage(int flags, InfoField field)
{
    switch (field) {
    case InfoField::Name:
        if (flags & NameEmpty)
            return kNoValue;
        return flags & NameInvalid ? kNameInvalid : QString();
    case InfoField::Expression:
        return flags & ExpressionEmpty ? kNoValue : QString();
    case InfoField::Analysis:
        return flags & AnalysisEmpty ? kNoValue : QString();
    case InfoField::Weight:
        if (flags & WeightEmpty)
            return kNoValue;
        if (flags & WeightInvalid)
            return kInvalid;
        return flags & WeightNegative ? QStringLiteral("Weight is negative") : QString();
    case InfoField::IndepVars:
        return flags & IndepVarNameInvalid ? kNameInvalid : QString();
    }
    return QString();
}

int faultCount(const OptimGoalInput &goal)
{
    int count = 0;
    const int info = infoProblems(goal);
    for (InfoField field : {InfoField::Name, InfoField::Expression, InfoField::Analysis, InfoField::Weight,
                            InfoField::IndepVars})
        count += infoMessage(info, field).isEmpty() ? 0 : 1;
    const int vars = int(goal.indepVarNames().size());
    for (qsizetype i = 0; i < goal.limits().size(); ++i) {
        const OptimGoalLimitInput &limit = goal.limits().at(i);
        const int flags = limitProblems(goal, i);
        count += limitMessage(flags, LimitField::Name).isEmpty() ? 0 : 1;
        count += limitMessage(flags, LimitField::FirstValue).isEmpty() ? 0 : 1;
        if (hasSecondValue(limit.limitType()))
            count += limitMessage(flags, LimitField::SecondValue).isEmpty() ? 0 : 1;
        count += limitMessage(flags, LimitField::Weight).isEmpty() ? 0 : 1;
        for (int k = 0; k < vars; ++k) {
            const auto range = limit.rangeForIndex(k);
            const int r = range ? rangeProblems(range->lowerBound(), range->upperBound(), GoalGraphWidget::indepVarUnits(goal, k)) : 0;
            count += (rangeMessage(r, false).isEmpty() ? 0 : 1) + (rangeMessage(r, true).isEmpty() ? 0 : 1);
        }
    }
    return count;
}

OptimGoalInput withPlainNumbers(const OptimGoalInput &goal)
{
    OptimGoalInput out = goal;
    out.setWeight(plainNumberText(goal.weight()));
    for (OptimGoalLimitInput &limit : out.limits()) {
        limit.setWeight(plainNumberText(limit.weight()));
        limit.setLimit(limit.limitType(), plainNumberText(limit.firstValueText()),
                       plainNumberText(limit.secondValueText()));
        for (OptimGoalRange &range : limit.ranges()) {
            const QString units = GoalGraphWidget::indepVarUnits(goal, range.index());
            range.setLowerBound(plainNumberText(range.lowerBound(), units));
            range.setUpperBound(plainNumberText(range.upperBound(), units));
        }
    }
    return out;
}

void setRangeBound(OptimGoalLimitInput &limit, int k, int count, bool upperBound, const QString &text)
{
    if (k < 0 || k >= count)
        return;
    OptimItemList<OptimGoalRange> ranges;
    for (int i = 0; i < count; ++i) {
        const auto existing = limit.rangeForIndex(i);
        ranges.append(existing ? OptimGoalRange(i, existing->lowerBound(), existing->upperBound())
                               : OptimGoalRange(i, QString(), QString()));
    }
    if (upperBound)
        ranges[k].setUpperBound(text);
    else
        ranges[k].setLowerBound(text);
    limit.setRanges(ranges);
}

} // namespace goalcheck
