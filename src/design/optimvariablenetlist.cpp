#include "optimvariablenetlist.h"

#include "units/realstringparser.h"
#include "units/unitsparser.h"

#include <algorithm>
#include <cmath>

namespace {

struct AlgorithmKeywords
{
    const char *optimType;
    const char *errorForm;
};

// Simulator keywords by algorithm code 1..12.
const AlgorithmKeywords kAlgorithmKeywords[] = {
    {"random", "L2"},      {"qzVMO", "L2"},  {"random", "MML1"},     {"qzVMO", "MML1"},
    {"DFP", "L2"},         {"qzSeqLP", "seqLP"}, {"HaldMadson", "MM"}, {"random", "negL2"},
    {"hybrid", "L2"},      {"exhaustive", "L2"}, {"sga", "L2"},      {"simulated_annealing", "L2"},
};

// A value text with units as a number in base units. A bare number is read
// in the variable's unit; a unit the parser does not know is left out, so
// that texts with their own units still compare.
std::optional<double> number(const QString &text, const QString &unit)
{
    const QString expected = UnitsParser(unit).isAcceptable() ? unit : QString();
    const RealStringParser parser(text, expected);
    if (!parser.isAcceptable())
        return std::nullopt;
    return parser.value();
}

// A bound of a +/- interval, written with six significant digits the way
// the editor shows it before it is compared.
double shownBound(double value)
{
    return RealStringParser::formatNumber(value, 6).toDouble();
}

bool outside(double value, double a, double b)
{
    return value < std::min(a, b) || value > std::max(a, b);
}

QString squeezed(const QString &text)
{
    QString out = text;
    out.remove(QLatin1Char(' '));
    return out.toLower();
}

} // namespace

int optimVariableProblems(const OptimVarInput &variable)
{
    const int type = variable.constraintType();
    const bool minMax = type == ConstraintRange || type == ConstraintDiscrete;
    const bool plusMinus = type == ConstraintDeviation || type == ConstraintPercentage;
    int flags = 0;
    if (variable.value().isEmpty())
        flags |= VarNoValue;
    if (plusMinus && variable.param1().isEmpty())
        flags |= VarNoCentre;
    if (minMax && variable.param1().isEmpty())
        flags |= VarNoMin;
    if (minMax && variable.param2().isEmpty())
        flags |= VarNoMax;
    if (type == ConstraintDiscrete && variable.param3().isEmpty())
        flags |= VarNoStep;
    if (type == ConstraintDeviation && variable.param2().isEmpty())
        flags |= VarNoDelta;
    if (type == ConstraintPercentage && variable.param2().isEmpty())
        flags |= VarNoPercent;

    const QString &unit = variable.unit();
    const auto value = number(variable.value(), unit);
    const auto p1 = number(variable.param1(), unit);
    // A percentage is a plain number, whatever the variable's unit.
    const auto p2 = number(variable.param2(), type == ConstraintPercentage ? QString() : unit);
    const auto p3 = number(variable.param3(), unit);
    switch (type) {
    case ConstraintRange:
        if (p1 && p2) {
            if (*p2 < *p1)
                flags |= VarMinAboveMax;
            else if (value && outside(*value, *p1, *p2))
                flags |= VarValueOutOfRange;
        }
        break;
    case ConstraintDiscrete:
        // A descending range is allowed; the step must lead from min to max.
        if (p1 && p2 && value && outside(*value, *p1, *p2))
            flags |= VarValueOutOfRange;
        if (p3 && *p3 == 0)
            flags |= VarStepZero;
        else if (p1 && p2 && p3 && ((*p3 < 0 && *p2 > *p1) || (*p3 > 0 && *p2 < *p1)))
            flags |= VarStepSignWrong;
        break;
    case ConstraintDeviation:
    case ConstraintPercentage:
        if (const auto bounds = optimPlusMinusBounds(type, p1, p2); bounds && value) {
            if (outside(*value, shownBound(bounds->lower), shownBound(bounds->upper)))
                flags |= VarValueOutOfRange;
        }
        break;
    default:
        break;
    }
    return flags;
}

std::optional<QString> optimVariableNetlistLine(const OptimVarInput &variable)
{
    if (!variable.inDesign() && !variable.optimize())
        return std::nullopt;
    QString line = variable.netlistName() + QLatin1String(" = ") + variable.value()
        + (variable.optimize() ? QLatin1String(" opt {") : QLatin1String(" noopt {"));
    switch (variable.constraintType()) {
    case ConstraintNone:
        line += QLatin1String(" unconst }");
        break;
    case ConstraintRange:
        line += QLatin1Char(' ') + variable.param1() + QLatin1String(" to ") + variable.param2() + QLatin1String(" }");
        break;
    case ConstraintDiscrete:
        line += QLatin1String(" discrete ") + variable.param1() + QLatin1String(" to ") + variable.param2()
            + QLatin1String(" by ") + variable.param3() + QLatin1String(" }");
        break;
    case ConstraintDeviation:
        line += QLatin1String(" +/- ") + variable.param2() + QLatin1String(" }");
        break;
    case ConstraintPercentage:
        line += QLatin1String(" +/- ") + variable.param2() + QLatin1String(" % }");
        break;
    default:
        return std::nullopt;
    }
    if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
        return std::nullopt;
    return line;
}

bool optimUsesDesignValues(const OptimVarInput &variable)
{
    return variable.constraintType() == ConstraintDiscrete && !variable.designValues().isEmpty();
}

std::optional<QString> optimDesignValueAt(const OptimVarInput &variable, const QString &position)
{
    if (!optimUsesDesignValues(variable))
        return std::nullopt;
    bool ok = false;
    const double at = position.trimmed().toDouble(&ok);
    if (!ok || at != std::round(at) || at < 0 || at >= double(variable.designValues().size()))
        return std::nullopt;
    return variable.designValues().at(qsizetype(at));
}

std::optional<int> optimDesignValuePosition(const OptimVarInput &variable, const QString &typed)
{
    if (!optimUsesDesignValues(variable))
        return std::nullopt;
    const QStringList &values = variable.designValues();
    const QString wanted = squeezed(typed);
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (squeezed(values.at(i)) == wanted)
            return int(i);
    }
    bool ok = false;
    const int position = typed.trimmed().toInt(&ok);
    if (ok)
        return position >= 0 && position < values.size() ? std::optional<int>(position) : std::nullopt;
    // A listed value typed another way ("8.2p", "8200 fF").
    const auto typedNumber = number(typed, variable.unit());
    for (qsizetype i = 0; typedNumber && i < values.size(); ++i) {
        const auto listed = number(values.at(i), variable.unit());
        if (listed && std::fabs(*listed - *typedNumber) <= 1e-9 * std::fabs(*listed))
            return int(i);
    }
    return std::nullopt;
}

QString optimAlgorithmOptimType(int algorithmType)
{
    if (algorithmType < 1 || algorithmType > 12)
        return QString();
    return QString::fromLatin1(kAlgorithmKeywords[algorithmType - 1].optimType);
}

QString optimAlgorithmErrorForm(int algorithmType)
{
    if (algorithmType < 1 || algorithmType > 12)
        return QString();
    return QString::fromLatin1(kAlgorithmKeywords[algorithmType - 1].errorForm);
}

OptimParameterInfo optimAlgorithmParameters(const OptimAlgInput &algorithm)
{
    const int type = algorithm.algorithmType();
    return {algorithm.name(),
            {{QStringLiteral("OptimType"), {optimAlgorithmOptimType(type)}},
             {QStringLiteral("ErrorForm"), {optimAlgorithmErrorForm(type)}},
             {QStringLiteral("MaxIters"), {algorithm.maxIterations()}}}};
}
