#pragma once

// The editors as the window's hooks: the algorithm editor, the
// algorithm-type warning, the goal editor and the variable editor, so that
// "Edit algorithm...", "Edit goals..." and "Edit variables..." work and
// Continue is checked. The plug-in holds the result and hands it to every
// window it opens.

#include "window/windoweditors.h"

OptimHelmdeckEditorHooks optimHelmdeckEditors();
