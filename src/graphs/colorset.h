#pragma once

// Colours of the goal and variable series. Each goal or variable gets a
// colour pair: the series colour (lines, bars) and a second colour derived
// from it, lighter, for fills, comparison traces and the unselected state.
// The palettes are chosen to stay distinguishable on a light background and
// for the common forms of colour blindness (no red/green pair next to each
// other); indices past the palette wrap around.

#include <QColor>

class ColorSet
{
public:
    enum Kind { GoalColors, VarColors };

    explicit ColorSet(Kind kind) : m_kind(kind) {}

    // Number of distinct pairs before the colours repeat.
    int count() const;
    // Series colour of item index (negative indices give the first colour).
    QColor color(int index) const;
    // The companion colour of any series colour: the same hue, mixed 60 %
    // with white, so it reads as "the same item, in the background".
    static QColor lightVariant(const QColor &color);

private:
    Kind m_kind;
};
