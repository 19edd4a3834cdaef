#pragma once

// Binding a view or panel to the optimization model it shows.

#include "model/optimizationmodelobject.h"

#include <QPointer>

// What a view does when its model is deleted while it shows it.
enum class OnModelDeleted {
    KeepView,   // the view keeps what it shows until it is next updated
    UnbindView, // the view's setModel(nullptr) runs, so it redraws as empty
};

// Points view at model: drops every connection from the previous model to
// the view, stores model in current and, when it is not null, lets
// connectSignals(model) connect the model's signals to the view. The caller
// redraws afterwards.
template <class View, class ConnectSignals>
void bindViewToModel(View *view, QPointer<OptimizationModelObject> &current, OptimizationModelObject *model,
                     ConnectSignals &&connectSignals, OnModelDeleted onDeleted = OnModelDeleted::KeepView)
{
    if (current)
        QObject::disconnect(current, nullptr, view, nullptr);
    current = model;
    if (!model)
        return;
    connectSignals(model);
    if (onDeleted == OnModelDeleted::UnbindView)
        QObject::connect(model, &QObject::destroyed, view, [view] { view->setModel(nullptr); });
}
