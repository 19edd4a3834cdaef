#pragma once

// The window opens two things that belong to the definition editors: the
// algorithm-type warning (run before Continue) and the algorithm editor
// ("Edit algorithm..."). They are plugged in here once at start-up, so the
// window builds and runs without the editors library: without an algorithm
// editor "Edit algorithm..." stays disabled, and without the warning Continue
// goes ahead unchecked.

#include <QString>

#include <functional>

class OptimAlgInput;
class OptimModelInput;
class OptimizationModel;
class QWidget;

struct OptimHelmdeckEditorHooks
{
    // Shows the algorithm-type warning for the input, modal over parent, and
    // answers whether a warning was shown.
    std::function<bool(const OptimModelInput &input, QWidget *parent)> algorithmTypeWarning;

    // Runs the algorithm editor modally over parent for the model (its input
    // and latest output). On acceptance stores the edited algorithm in
    // *edited and answers true. Help requests made while it is open go to
    // help, synchronously.
    std::function<bool(const OptimizationModel &model, QWidget *parent, OptimAlgInput *edited,
                       const std::function<void(const QString &topic)> &help)>
        editAlgorithm;
};

void setOptimHelmdeckEditorHooks(const OptimHelmdeckEditorHooks &hooks);
const OptimHelmdeckEditorHooks &optimHelmdeckEditorHooks();
