#include "colorset.h"

#include <array>

namespace {

// Goals: strong, saturated hues (the goal plots draw them over light limit
// regions). Variables: the same idea, in a different order and slightly
// darker, so a goal and a variable of the same index are not confused.
constexpr std::array<QRgb, 10> goalPalette = {
    0x1f77b4, // blue
    0xd95f02, // orange
    0x7570b3, // violet
    0x1b9e77, // teal
    0xe7298a, // magenta
    0x8c6d1f, // brown
    0x386cb0, // steel blue
    0xa6761d, // ochre
    0x666666, // grey
    0x17becf, // cyan
};

constexpr std::array<QRgb, 10> varPalette = {
    0x2b5797, // dark blue
    0xb8461b, // rust
    0x2e8b57, // sea green
    0x6a3d9a, // purple
    0xc51b7d, // crimson pink
    0x01665e, // dark teal
    0x8c510a, // brown
    0x4d4d4d, // dark grey
    0x1f78b4, // blue
    0xb15928, // copper
};

} // namespace

int ColorSet::count() const
{
    return m_kind == GoalColors ? int(goalPalette.size()) : int(varPalette.size());
}

QColor ColorSet::color(int index) const
{
    const int n = count();
    const int i = index < 0 ? 0 : index % n;
    return QColor(m_kind == GoalColors ? goalPalette[size_t(i)] : varPalette[size_t(i)]);
}

QColor ColorSet::lightVariant(const QColor &color)
{
    const QColor c = color.toRgb();
    auto mix = [](int v) { return int(v * 0.4 + 255 * 0.6 + 0.5); };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()), c.alpha());
}
