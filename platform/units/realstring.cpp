#include "units/realstring.h"

#include "units/unitsparser.h"

RealString::RealString()
{
    update();
}

RealString::RealString(const QString &text, const QString &units) : m_text(text), m_units(units)
{
    update();
}

void RealString::setText(const QString &text)
{
    m_text = text;
    update();
}

void RealString::setUnits(const QString &units)
{
    m_units = units;
    update();
}

void RealString::setDesiredUnits(const QString &desiredUnits)
{
    m_desiredUnits = desiredUnits;
    update();
}

void RealString::setAllowScaling(bool allow)
{
    m_allowScaling = allow;
}

// Re-reads the text and checks that the desired units can express it; the
// state is always current, so the accessors never parse.
void RealString::update()
{
    m_parser.parse(m_text, m_units);
    m_problem = m_parser.problem();
    if (m_problem != RealStringParser::Problem::None || m_desiredUnits.trimmed().isEmpty())
        return;

    const UnitsParser desired(m_desiredUnits);
    if (!desired.isAcceptable()) {
        // Let the parser say why the unit text is wrong ("k%" versus "kk").
        RealStringParser probe;
        probe.parse(QStringLiteral("1"), m_desiredUnits);
        m_problem = probe.problem();
        return;
    }
    if (desired.baseUnits() != m_parser.baseUnits())
        m_problem = RealStringParser::Problem::UnitsMismatch;
}

double RealString::value() const
{
    return isAcceptable() ? m_parser.value() : 0.0;
}

QString RealString::baseUnits() const
{
    return isAcceptable() ? m_parser.baseUnits() : QString();
}

RealStringParser::Scaled RealString::written(int significantDigits) const
{
    if (!isAcceptable())
        return {};
    const QString target = m_desiredUnits.trimmed().isEmpty() ? m_parser.baseUnits() : m_desiredUnits;
    if (m_allowScaling)
        return RealStringParser::formatScaled(m_parser.value(), significantDigits, target);
    const UnitsParser desired(target);
    return {RealStringParser::formatNumber(desired.fromBase(m_parser.value()), significantDigits),
            desired.canonicalUnits()};
}

QString RealString::scaledValue(int significantDigits) const
{
    return written(significantDigits).number;
}

QString RealString::scaledUnits(int significantDigits) const
{
    return written(significantDigits).units;
}

QString RealString::scaledValueWithUnits(int significantDigits) const
{
    return isAcceptable() ? written(significantDigits).text() : QString();
}

QString RealString::unscaledValue(int significantDigits) const
{
    return isAcceptable() ? RealStringParser::formatNumber(m_parser.value(), significantDigits) : QString();
}

QString RealString::unscaledValueWithUnits(int significantDigits) const
{
    return isAcceptable()
        ? RealStringParser::joinNumberAndUnits(unscaledValue(significantDigits), m_parser.baseUnits())
        : QString();
}
