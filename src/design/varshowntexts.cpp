#include "varshowntexts.h"

#include "varvalues.h"

namespace VarValues {

QString ShownTexts::withUnits(const QString &text, const QString &unit, int varIndex)
{
    // Far more variables than a design has: no sharing beyond.
    constexpr int maxShared = 100000;
    if (varIndex < 0 || varIndex >= maxShared)
        return VarValues::withUnits(text, unit);
    if (varIndex >= m_shown.size())
        m_shown.resize(varIndex + 1);
    Shown &last = m_shown[varIndex];
    if (last.shown.isNull() || last.text != text || last.unit != unit)
        last = Shown{text, unit, VarValues::withUnits(text, unit)};
    return last.shown;
}

QString ShownTexts::kept(int varIndex) const
{
    return varIndex >= 0 && varIndex < m_shown.size() ? m_shown.at(varIndex).shown : QString();
}

} // namespace VarValues
