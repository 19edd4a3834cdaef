#include "helmdecksettings.h"

#include <algorithm>

HelmdeckSettings::HelmdeckSettings()
    : QSettings(QStringLiteral("Brannoc"), QStringLiteral("ZEB"))
{
    beginGroup(QStringLiteral("OptimizationHelmdeck"));
}

namespace {

const QString historyLogScaleKey = QStringLiteral("historyLogScale");

} // namespace

bool HelmdeckSettings::historyLogScale() const
{
    const QVariant stored = value(historyLogScaleKey);
    // Stored as text in INI files: only a clear "true" turns it on.
    return stored.isValid() && stored.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

void HelmdeckSettings::setHistoryLogScale(bool on)
{
    setValue(historyLogScaleKey, on);
}

WindowPlacement restoredWindowPlacement(const QSize &storedSize, const QPoint &storedPos, const QRect &desktop)
{
    WindowPlacement placement{storedSize, storedPos};
    if (!placement.size.isValid() || placement.size.isEmpty())
        placement.size = QSize(800, 500);
    if (desktop.isValid())
        placement.size = placement.size.boundedTo(desktop.size());
    if (!desktop.isValid())
        return placement;
    const QRect reachable = desktop.adjusted(0, 10, -200, -200);
    if (!reachable.contains(placement.pos)) {
        // Into the desktop, and far enough from its right and bottom edges
        // that the whole window fits.
        const int maxX = std::max(desktop.left(), desktop.left() + desktop.width() - placement.size.width());
        const int maxY = std::max(desktop.top(), desktop.top() + desktop.height() - placement.size.height());
        placement.pos.setX(std::clamp(placement.pos.x(), desktop.left(), maxX));
        placement.pos.setY(std::clamp(placement.pos.y(), desktop.top(), maxY));
    }
    return placement;
}
