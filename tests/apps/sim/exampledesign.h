#pragma once

// A bundled example design read for a test; a broken example stops the test
// run with the loader's message.

#include "simdesign.h"

#include <QString>
#include <QtGlobal>

inline SimDesign loadExampleDesign(const char *name)
{
    SimDesign d;
    QString error;
    if (!SimDesign::load(QStringLiteral(SIM_EXAMPLES_DIR "/") + QLatin1String(name), d, &error))
        qFatal("%s", qPrintable(error));
    return d;
}
