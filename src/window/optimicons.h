#pragma once

// The icon table of the status views, the button panel and the sweep panel:
// a name and an image file under ":/OptimHelmdeck/Resources/" per entry.

#include <QPixmap>
#include <QString>

enum OptimIcon {
    OptimIconOptimizingArrow = 0, // "Optimizing", optimizationArrow.png
    OptimIconOptimizing = 1,      // "Optimizing", optimizing.gif
    OptimIconPaused = 2,          // "Paused", paused.gif
    OptimIconSimulating = 3,      // "Simulating", simulating.gif
    OptimIconFinished = 4,        // "Finished", finished.png
    OptimIconFinishedAndPaused = 5, // "Finished and paused", finishedAndPaused.png
    OptimIconFinishedWithError = 6, // "Finished with error", finishedWithError.png
    OptimIconContinue = 7,        // "Continue", play.png
    OptimIconPause = 8,           // "Pause", pause.png
    OptimIconCount = 9,
};

QString optimIconName(OptimIcon icon);
// The resource path, e.g. ":/OptimHelmdeck/Resources/play.png".
QString optimIconPath(OptimIcon icon);
// The image (first frame for an animation); null when it cannot be loaded.
QPixmap optimIconPixmap(OptimIcon icon);

// The still image that stands for an optimization status in lists: entry 0
// while initializing or running, 2 paused, 5 finished, 4 exited, 6 exited
// with error or killed; -1 (nothing) for unknown and other codes.
int optimStatusStillIcon(int status);
