#pragma once

// The window opens things that belong to the definition editors: the
// algorithm-type warning (run before Continue), and the algorithm, goal and
// variable editors ("Edit algorithm...", "Edit goals...", "Edit
// variables..."). They come as one hooks object that the plug-in fills and
// each window gets at its making, so the window builds and runs without the
// editors library, and two windows open at once never share them: without
// an editor its button stays disabled, and without the warning Continue goes
// ahead unchecked.

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QPointer>
#include <QString>

#include <functional>

class OptimizationModel;
class OptimizationModelObject;
class PanelView;
class QWidget;

// An editor of a list of definitions: runs modally over parent for the
// model; each list the user applies (Apply, OK) goes to edited, and help
// requests go to help, synchronously.
template <class Item>
using OptimListEditor =
    std::function<void(const OptimizationModel &model, QWidget *parent,
                       const std::function<void(const OptimItemList<Item> &edited)> &edited,
                       const std::function<void(const QString &topic)> &help)>;
using GoalsPanelGoalEditor = OptimListEditor<OptimGoalInput>;
using VarsPanelVariableEditor = OptimListEditor<OptimVarInput>;

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

    GoalsPanelGoalEditor editGoals;
    VarsPanelVariableEditor editVariables;
};

// One launch of an editor from a panel, as the editor's callbacks see it.
// The editor runs a nested event loop over a copy of the optimization on
// view; meanwhile the panel (or the whole window) may go, another
// optimization may come on view, or a newer one may become current.
class PanelEditorLaunch
{
public:
    PanelEditorLaunch() = default;
    PanelEditorLaunch(PanelView *panel, OptimizationModelObject *model);

    // The panel while a result made now is still for the optimization the
    // editor was opened for: the panel is there, shows it, and it is the
    // sweep's current one. Null otherwise: the result is dropped.
    PanelView *panelForResult() const;
    // Hands a help request to the panel, when it is still there.
    void help(const QString &topic) const;

private:
    QPointer<PanelView> m_panel;
    QPointer<OptimizationModelObject> m_model;
};

// The guard a panel holds to open its editor: one editor at a time, only
// with a model on view, the panel's buttons refreshed as it opens and
// closes, and nothing of the panel touched after the editor returns when
// the panel went meanwhile.
class PanelEditorGuard
{
public:
    bool isOpen() const { return m_open; }

    // Runs editor(snapshot, launch) for panel's model unless there is none
    // or an editor is open already; refresh runs after the open flag
    // changed. Answers whether the editor ran and the panel is still there.
    bool run(PanelView *panel, const std::function<void()> &refresh,
             const std::function<void(const OptimizationModel &snapshot, const PanelEditorLaunch &launch)> &editor);

private:
    bool m_open = false;
};
