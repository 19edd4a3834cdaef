#include "optimicons.h"

#include "windowresources.h"
#include "model/optimoutputrecords.h"

#include <array>

namespace {

struct IconEntry
{
    QString name;
    QString file;
};

const std::array<IconEntry, OptimIconCount> &iconTable()
{
    static const std::array<IconEntry, OptimIconCount> table{{
        {QStringLiteral("Optimizing"), QStringLiteral("optimizationArrow.png")},
        {QStringLiteral("Optimizing"), QStringLiteral("optimizing.gif")},
        {QStringLiteral("Paused"), QStringLiteral("paused.gif")},
        {QStringLiteral("Simulating"), QStringLiteral("simulating.gif")},
        {QStringLiteral("Finished"), QStringLiteral("finished.png")},
        {QStringLiteral("Finished and paused"), QStringLiteral("finishedAndPaused.png")},
        {QStringLiteral("Finished with error"), QStringLiteral("finishedWithError.png")},
        {QStringLiteral("Continue"), QStringLiteral("play.png")},
        {QStringLiteral("Pause"), QStringLiteral("pause.png")},
    }};
    return table;
}

bool valid(OptimIcon icon)
{
    return icon >= 0 && icon < OptimIconCount;
}

} // namespace

QString optimIconName(OptimIcon icon)
{
    return valid(icon) ? iconTable()[icon].name : QString();
}

QString optimIconPath(OptimIcon icon)
{
    if (!valid(icon))
        return QString();
    initHelmdeckResources();
    return QStringLiteral(":/OptimHelmdeck/Resources/") + iconTable()[icon].file;
}

QPixmap optimIconPixmap(OptimIcon icon)
{
    const QString path = optimIconPath(icon);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

int optimStatusStillIcon(int status)
{
    switch (status) {
    case StatusInitializing:
    case StatusRunning:
        return OptimIconOptimizingArrow;
    case StatusPaused:
        return OptimIconPaused;
    case StatusFinished:
        return OptimIconFinishedAndPaused;
    case StatusExited:
        return OptimIconFinished;
    case StatusExitedWithError:
    case StatusKilled:
        return OptimIconFinishedWithError;
    default:
        return -1;
    }
}
