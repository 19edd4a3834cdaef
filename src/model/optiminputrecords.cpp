#include "optiminputrecords.h"

#include "optimoutputrecords.h"

#include <algorithm>
#include <cmath>

namespace {

const char *const kLimitTypeTexts[] = {"GreaterThan", "LessThan", "EqualTo", "Inside", "Outside"};

const char *const kAlgorithmNames[] = {
    "", "Random", "Gradient", "Random Minimax", "Gradient Minimax", "Quasi-Newton", "Least Pth",
    "Minimax", "Random Max", "Hybrid", "Discrete", "Genetic", "Simulated Annealing",
};

// A limit's number as typed; an empty or unreadable text is not valid.
void parseLimitValue(const QString &text, QString &storedText, double &value, bool &valid)
{
    storedText = text;
    bool ok = false;
    const double parsed = text.trimmed().toDouble(&ok);
    valid = ok;
    value = ok ? parsed : 0.0;
}

} // namespace

QString optimLimitTypeText(int limitType)
{
    if (limitType < 0 || limitType > 4)
        return QString();
    return QString::fromLatin1(kLimitTypeTexts[limitType]);
}

int optimLimitTypeFromText(const QString &text)
{
    for (int code = 0; code <= 4; ++code) {
        if (text == QLatin1String(kLimitTypeTexts[code]))
            return code;
    }
    return -1;
}

bool optimLimitTypeHasSecondValue(int limitType)
{
    return limitType == LimitInside || limitType == LimitOutside;
}

QString optimAlgorithmName(int algorithmType)
{
    if (algorithmType < AlgorithmRandom || algorithmType > LastAlgorithm)
        return QString();
    return QString::fromLatin1(kAlgorithmNames[algorithmType]);
}

// ---------------------------------------------------------------- OptimGoalRange

double OptimGoalRange::lowerValue() const
{
    return m_lowerBound.isEmpty() ? -1e300 : m_lowerBound.trimmed().toDouble();
}

double OptimGoalRange::upperValue() const
{
    return m_upperBound.isEmpty() ? 1e300 : m_upperBound.trimmed().toDouble();
}

// ---------------------------------------------------------------- OptimGoalLimitInput

void OptimGoalLimitInput::setOneValue(int limitType, const QString &value)
{
    m_limitType = limitType;
    parseLimitValue(value, m_firstValueText, m_firstValue, m_firstValueValid);
    m_secondValueText.clear();
    m_secondValue = 0.0;
    m_secondValueValid = false;
}

void OptimGoalLimitInput::setTwoValues(int limitType, const QString &first, const QString &second)
{
    m_limitType = limitType;
    parseLimitValue(first, m_firstValueText, m_firstValue, m_firstValueValid);
    parseLimitValue(second, m_secondValueText, m_secondValue, m_secondValueValid);
}

void OptimGoalLimitInput::setLimit(int limitType, const QString &first, const QString &second)
{
    if (optimLimitTypeHasSecondValue(limitType))
        setTwoValues(limitType, first, second);
    else
        setOneValue(limitType, first);
}

QString OptimGoalLimitInput::lowerBoundText() const
{
    switch (m_limitType) {
    case LimitGreaterThan:
    case LimitEqualTo:
    case LimitInside:
    case LimitOutside:
        return m_firstValueText;
    default:
        return QString();
    }
}

QString OptimGoalLimitInput::upperBoundText() const
{
    switch (m_limitType) {
    case LimitLessThan:
    case LimitEqualTo:
        return m_firstValueText;
    case LimitInside:
    case LimitOutside:
        return m_secondValueText;
    default:
        return QString();
    }
}

void OptimGoalLimitInput::clearFirstValue()
{
    m_firstValueText.clear();
    m_firstValue = 0.0;
}

void OptimGoalLimitInput::clearSecondValue()
{
    m_secondValueText.clear();
    m_secondValue = 0.0;
}

std::optional<OptimGoalRange> OptimGoalLimitInput::rangeForIndex(int k) const
{
    for (const OptimGoalRange &range : m_ranges) {
        if (range.index() == k)
            return range;
    }
    return std::nullopt;
}

void OptimGoalLimitInput::removeRangeAt(qsizetype i)
{
    if (i < 0 || i >= m_ranges.count())
        return;
    m_ranges.removeAt(i);
    for (qsizetype k = i; k < m_ranges.count(); ++k)
        m_ranges[k].setIndex(int(k));
}

// ---------------------------------------------------------------- OptimGoalInput

void OptimGoalInput::addIndepVar(const QString &name)
{
    m_indepVarNames.append(name);
    m_indepVarUnits.append(QString());
}

void OptimGoalInput::setIndepVarUnit(qsizetype i, const QString &unit)
{
    if (i >= 0 && i < m_indepVarUnits.size())
        m_indepVarUnits[i] = unit;
}

void OptimGoalInput::removeIndepVar(qsizetype i)
{
    if (i >= 0 && i < m_indepVarNames.size())
        m_indepVarNames.removeAt(i);
    if (i >= 0 && i < m_indepVarUnits.size())
        m_indepVarUnits.removeAt(i);
    for (OptimGoalLimitInput &limit : m_limits)
        limit.removeRangeAt(i);
}

bool OptimGoalInput::limitAppliesAt(int limitIndex, const OptimTraceFamily &family,
                                    const QList<double> &values) const
{
    if (limitIndex < 0 || limitIndex >= m_limits.count())
        return true;
    const auto &others = family.otherIndepVars();
    QList<qsizetype> positions;
    for (const QString &name : m_indepVarNames) {
        for (qsizetype p = 0; p < others.count(); ++p) {
            if (others.at(p).name() == name) {
                positions.append(p);
                break;
            }
        }
    }
    const qsizetype lastPosition = others.count() - 1;
    for (const OptimGoalRange &range : m_limits.at(limitIndex).ranges()) {
        // A range whose variable is not in the family, or has no value, says
        // nothing about this point.
        if (range.index() < 0 || range.index() >= positions.size())
            continue;
        const qsizetype p = positions.at(range.index());
        if (p == lastPosition || p >= values.size())
            continue;
        const double v = values.at(p);
        if (v < range.lowerValue() || v > range.upperValue())
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- OptimVarInput

void OptimVarInput::setConstraint(int constraintType, const QString &p1, const QString &p2, const QString &p3)
{
    m_constraintType = constraintType;
    m_param1 = p1;
    m_param2 = (constraintType == ConstraintNone) ? QString() : p2;
    m_param3 = (constraintType == ConstraintDiscrete) ? p3 : QString();
}

void OptimVarInput::setUnconstrained(const QString &reference)
{
    setConstraint(ConstraintNone, reference);
}

void OptimVarInput::setRange(const QString &minimum, const QString &maximum)
{
    setConstraint(ConstraintRange, minimum, maximum);
}

void OptimVarInput::setDiscrete(const QString &minimum, const QString &maximum, const QString &step)
{
    setConstraint(ConstraintDiscrete, minimum, maximum, step);
}

void OptimVarInput::setDeviation(const QString &centre, const QString &deviation)
{
    setConstraint(ConstraintDeviation, centre, deviation);
}

void OptimVarInput::setPercentage(const QString &centre, const QString &percentage)
{
    setConstraint(ConstraintPercentage, centre, percentage);
}

std::optional<OptimVarBounds> optimPlusMinusBounds(int constraintType, std::optional<double> centre, std::optional<double> d)
{
    if (!centre || !d || (constraintType != ConstraintDeviation && constraintType != ConstraintPercentage))
        return std::nullopt;
    const double delta = std::fabs(*d);
    const double a = constraintType == ConstraintDeviation ? *centre - delta : (1.0 - delta / 100.0) * *centre;
    const double b = constraintType == ConstraintDeviation ? *centre + delta : (1.0 + delta / 100.0) * *centre;
    return OptimVarBounds{std::min(a, b), std::max(a, b)};
}

// ---------------------------------------------------------------- OptimAlgInput

bool OptimAlgInput::acceptsDiscreteVariables(int algorithmType)
{
    switch (algorithmType) {
    case AlgorithmRandom:
    case AlgorithmRandomMinimax:
    case AlgorithmRandomMax:
    case AlgorithmDiscrete:
    case AlgorithmGenetic:
        return true;
    default:
        return false;
    }
}

bool OptimAlgInput::acceptsContinuousVariables(int algorithmType)
{
    return algorithmType >= AlgorithmRandom && algorithmType <= LastAlgorithm && algorithmType != AlgorithmDiscrete;
}

OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalRange)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalLimitInput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalInput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimVarInput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimAlgInput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimModelInput)

OPTIM_DEFINE_ITEM_LIST(OptimGoalRange)
OPTIM_DEFINE_ITEM_LIST(OptimGoalLimitInput)
OPTIM_DEFINE_ITEM_LIST(OptimGoalInput)
OPTIM_DEFINE_ITEM_LIST(OptimVarInput)
