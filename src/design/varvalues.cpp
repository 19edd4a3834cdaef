#include "varvalues.h"

#include "units/realstring.h"
#include "units/realstringparser.h"
#include "units/unitsparser.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace VarValues {

namespace {

// The units a variable's texts are read in, parsed once per unit text: every
// value of every iteration is read in one of a handful of units. The table
// holds parse results only, the same whichever window asks, so it is shared
// by all of them; each thread has its own, so it needs no lock. The
// reference is good until the next call on the same thread.
const UnitsParser &unitsOf(const QString &unit)
{
    thread_local QHash<QString, UnitsParser> parsed;
    auto it = parsed.constFind(unit);
    if (it == parsed.constEnd()) {
        if (parsed.size() >= 256)
            parsed.clear();
        it = parsed.insert(unit, UnitsParser(unit));
    }
    return *it;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// A plain decimal number and nothing else ("-1.25e-09", as the simulator
// writes values): [+-]digits[.digits][(e|E)[+-]digits]. Such a text is read
// without the units parser; anything else takes the general way.
std::optional<double> plainNumber(QStringView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    for (; i < n && isAsciiDigit(text[i]); ++i)
        ++digits;
    if (i < n && text[i] == u'.') {
        for (++i; i < n && isAsciiDigit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        const qsizetype exponentStart = i;
        while (i < n && isAsciiDigit(text[i]))
            ++i;
        if (i == exponentStart)
            return std::nullopt;
    }
    if (i != n || n > 64)
        return std::nullopt;
    // ASCII only by now; from_chars rounds as toDouble does, without the
    // locale machinery. A leading '+' is not its business.
    char ascii[64];
    qsizetype a = 0;
    for (QChar c : text.sliced(text[0] == u'+' ? 1 : 0))
        ascii[a++] = char(c.unicode());
    double value = 0.0;
    const auto result = std::from_chars(ascii, ascii + a, value);
    if (result.ec != std::errc() || result.ptr != ascii + a || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A plain number read in units as the parser reads a bare number: shifted to
// the base unit; nothing when the shift leaves the range of doubles.
std::optional<double> plainInBase(double number, const UnitsParser &units)
{
    const double value = UnitsParser::shiftDecimal(number, units.exponent());
    if (!std::isfinite(value) || (value == 0.0 && number != 0.0))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> number(const QString &text, const QString &unit)
{
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const UnitsParser &units = unitsOf(unit);
    if (const std::optional<double> plain = plainNumber(trimmed)) {
        if (!units.isAcceptable())
            return plain;
        const std::optional<double> base = plainInBase(*plain, units);
        if (!base)
            return std::nullopt;
        const double value = units.fromBase(*base);
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    double value = 0.0;
    if (units.isAcceptable()) {
        const RealString real(text, unit);
        if (!real.isAcceptable())
            return std::nullopt;
        value = units.fromBase(real.value());
    } else {
        // A unit outside the table: only bare numbers (with a suffix at
        // most) are read, as numbers in that unit.
        const RealStringParser parser(text);
        if (!parser.isAcceptable() || !parser.baseUnits().isEmpty())
            return std::nullopt;
        value = parser.value();
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

QString withUnits(const QString &text, const QString &unit)
{
    if (const std::optional<double> plain = plainNumber(QStringView(text).trimmed())) {
        // What the general way below gives for a bare number, without
        // parsing the text and the unit again and again.
        const UnitsParser &units = unitsOf(unit);
        const std::optional<double> base = units.isAcceptable() ? plainInBase(*plain, units) : std::nullopt;
        if (!base)
            return RealStringParser::joinNumberAndUnits(text.trimmed(), unit.trimmed());
        const QString target = unit.trimmed().isEmpty() ? units.baseUnits() : unit;
        return RealStringParser::formatScaled(*base, 6, target).text();
    }
    RealString real(text, unit);
    real.setDesiredUnits(unit);
    real.setAllowScaling(true);
    if (real.isAcceptable())
        return real.scaledValueWithUnits(6);
    const QString trimmed = text.trimmed();
    const RealStringParser parser(trimmed);
    if (parser.isAcceptable() && !parser.hasOwnUnits())
        return RealStringParser::joinNumberAndUnits(trimmed, unit.trimmed());
    return trimmed;
}

void boundTexts(const OptimVarInput &variable, QString *lower, QString *upper)
{
    QString lo;
    QString hi;
    switch (variable.constraintType()) {
    case ConstraintRange:
        lo = variable.param1();
        hi = variable.param2();
        break;
    case ConstraintDeviation:
    case ConstraintPercentage: {
        const auto bounds = optimPlusMinusBounds(
            variable.constraintType(), number(variable.param1(), variable.unit()),
            number(variable.param2(),
                   variable.constraintType() == ConstraintPercentage ? QStringLiteral("%") : variable.unit()));
        if (bounds) {
            lo = RealStringParser::formatNumber(bounds->lower, 6);
            hi = RealStringParser::formatNumber(bounds->upper, 6);
        }
        break;
    }
    default:
        break;
    }
    if (lower)
        *lower = lo;
    if (upper)
        *upper = hi;
}


bool hasValueList(const OptimVarInput &variable)
{
    return variable.constraintType() == ConstraintDiscrete && !variable.designValues().isEmpty();
}

namespace {

// A typed value against the variable's bounds (types 1 to 4; the simulator
// would clip or refuse a value outside them). An unconstrained variable,
// and a side whose bound text does not read, take any value. Bounds are
// compared with a tolerance for the six digits their texts carry.
bool withinBounds(const OptimVarInput &variable, double value, QString *problem)
{
    QString lo;
    QString hi;
    if (variable.constraintType() == ConstraintDiscrete) {
        lo = variable.param1();
        hi = variable.param2();
    } else {
        boundTexts(variable, &lo, &hi);
    }
    const auto a = number(lo, variable.unit());
    const auto b = number(hi, variable.unit());
    if (!a && !b)
        return true;
    const double low = a && b ? std::min(*a, *b) : a ? *a : -HUGE_VAL;
    const double high = a && b ? std::max(*a, *b) : b ? *b : HUGE_VAL;
    const double slack = 1e-9 * std::max(a ? std::fabs(*a) : 0.0, b ? std::fabs(*b) : 0.0);
    if (value >= low - slack && value <= high + slack)
        return true;
    if (problem) {
        const bool swapped = a && b && *b < *a;
        const QString lowText = withUnits(swapped ? hi : lo, variable.unit());
        const QString highText = withUnits(swapped ? lo : hi, variable.unit());
        *problem = !a   ? QStringLiteral("Above the allowed maximum %1").arg(highText)
                   : !b ? QStringLiteral("Below the allowed minimum %1").arg(lowText)
                        : QStringLiteral("Outside the allowed range %1 to %2").arg(lowText, highText);
    }
    return false;
}

} // namespace

bool isAcceptable(const OptimVarInput &variable, const QString &text, QString *problem)
{
    const auto fail = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return false;
    };
    if (text.trimmed().isEmpty())
        return fail(QStringLiteral("No value specified"));
    if (hasValueList(variable)) {
        if (listPosition(variable, text))
            return true;
        bool isInt = false;
        text.trimmed().toInt(&isInt);
        return isInt ? fail(QStringLiteral("Not a position in the list of %1 values").arg(variable.designValues().size()))
                     : fail(QStringLiteral("Not one of the listed values"));
    }
    if (const auto value = number(text, variable.unit()))
        return withinBounds(variable, *value, problem);
    const RealString real(text, variable.unit());
    if (!real.isAcceptable())
        return fail(RealStringParser::problemText(real.problem()));
    return fail(QStringLiteral("Not a value in %1").arg(variable.unit()));
}

std::optional<int> listPosition(const OptimVarInput &variable, const QString &text)
{
    const QStringList &list = variable.designValues();
    bool isInt = false;
    const int position = text.trimmed().toInt(&isInt);
    if (isInt)
        return position >= 0 && position < list.size() ? std::optional<int>(position) : std::nullopt;
    const auto wanted = number(text, variable.unit());
    for (qsizetype i = 0; wanted && i < list.size(); ++i) {
        const auto listed = number(list.at(i), variable.unit());
        if (listed && std::fabs(*listed - *wanted) <= 1e-9 * std::fabs(*wanted))
            return int(i);
    }
    return std::nullopt;
}

QString fieldText(const OptimVarInput &variable)
{
    if (!hasValueList(variable))
        return variable.value();
    const auto position = listPosition(variable, variable.value());
    return position ? variable.designValues().at(*position) : variable.value();
}

} // namespace VarValues
