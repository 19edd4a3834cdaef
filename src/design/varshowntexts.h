#pragma once

#include <QList>
#include <QString>

namespace VarValues {

// The value-with-units texts of one window's variables: every view of the
// window shows a variable's new value, and the text is made once for all of
// them (one text kept per variable, the last one asked for). Each window
// holds its own; its views share it.
class ShownTexts
{
public:
    // withUnits(text, unit) for the value of variable varIndex.
    QString withUnits(const QString &text, const QString &unit, int varIndex);
    // The text kept for variable varIndex; null when none.
    QString kept(int varIndex) const;

private:
    struct Shown
    {
        QString text;
        QString unit;
        QString shown;
    };
    QList<Shown> m_shown;
};

} // namespace VarValues
