#pragma once

// When a tuned variable value makes the helmdeck request a simulation:
// automatically after each change (0 while the slider moves, 1 after each
// finished change) or only when the user presses Simulate (2). The
// controller keeps it under the settings key "tuneMode" (default 1).

#include <QMetaType>
#include <QString>

enum OptimHelmdeckTuneMode {
    TuneWhileSliderMoves = 0,
    TuneAfterEachChange = 1,
    TuneOnRequest = 2,
};

Q_DECLARE_METATYPE(OptimHelmdeckTuneMode)

inline constexpr OptimHelmdeckTuneMode defaultOptimHelmdeckTuneMode = TuneAfterEachChange;

// The label the window shows for a mode.
inline QString optimHelmdeckTuneModeLabel(OptimHelmdeckTuneMode mode)
{
    switch (mode) {
    case TuneWhileSliderMoves:
        return QStringLiteral("Simulate while slider moves");
    case TuneAfterEachChange:
        return QStringLiteral("Simulate after each change");
    case TuneOnRequest:
        return QStringLiteral("Simulate after pressing Simulate");
    }
    return QString();
}

// A stored integer as a mode; anything outside 0..2 gives the default.
inline OptimHelmdeckTuneMode optimHelmdeckTuneModeFromInt(int value)
{
    if (value < TuneWhileSliderMoves || value > TuneOnRequest)
        return defaultOptimHelmdeckTuneMode;
    return static_cast<OptimHelmdeckTuneMode>(value);
}

// Registers the type under the name "OptimHelmdeckTuneMode" for queued
// connections and string-based connects. Safe to call more than once.
inline void registerOptimHelmdeckTuneMode()
{
    qRegisterMetaType<OptimHelmdeckTuneMode>("OptimHelmdeckTuneMode");
}
