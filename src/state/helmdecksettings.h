#pragma once

// The helmdeck's settings store: organisation "Brannoc", application "ZEB",
// opened inside the group "OptimizationHelmdeck" that every part shares.

#include <QPoint>
#include <QRect>
#include <QSettings>
#include <QSize>

class HelmdeckSettings : public QSettings
{
public:
    HelmdeckSettings();

    // Whether the error history and the goal error histories draw on a log
    // scale (the history-graph menu's "Log scale"): key "historyLogScale",
    // off when missing or not a boolean.
    bool historyLogScale() const;
    void setHistoryLogScale(bool on);
};

// Where the main window goes when it opens: the stored size bounded to the
// desktop's size; the stored position, moved into the desktop (so that the
// whole window fits) when the desktop shrunk by 200 at the right and bottom
// and by 10 at the top does not contain it, so a window saved on a screen
// that is gone comes back within reach.
struct WindowPlacement
{
    QSize size;
    QPoint pos;
};
WindowPlacement restoredWindowPlacement(const QSize &storedSize, const QPoint &storedPos, const QRect &desktop);
