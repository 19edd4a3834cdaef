#include "algorithmvariablehooks.h"

#include "editors/algorithmtypewarning.h"
#include "editors/editalgorithm.h"
#include "editors/editgoals.h"
#include "editors/editvariables.h"
#include "model/optimizationmodel.h"

#include <QPointer>

namespace {

bool runAlgorithmEditor(const OptimizationModel &model, QWidget *parent, OptimAlgInput *edited,
                        const std::function<void(const QString &topic)> &help)
{
    // The dialog runs a nested event loop: it may be destroyed with its
    // parent before exec returns.
    QPointer<EditAlgorithm> dialog = new EditAlgorithm(model.algorithmInput(), model.algorithmOutput(), parent);
    OptimAlgInput result;
    bool accepted = false;
    QObject::connect(dialog, &EditAlgorithm::helpRequested, dialog, [help](const QString &topic) {
        if (help)
            help(topic);
    });
    QObject::connect(dialog, &EditAlgorithm::editedAlgorithm, dialog, [&result, &accepted](const OptimAlgInput &a) {
        result = a;
        accepted = true;
    });
    dialog->exec();
    if (!dialog)
        return false;
    dialog->deleteLater();
    if (accepted && edited)
        *edited = result;
    return accepted;
}

void runVariableEditor(const OptimizationModel &model, QWidget *parent,
                       const std::function<void(const OptimItemList<OptimVarInput> &edited)> &edited,
                       const std::function<void(const QString &topic)> &help)
{
    QPointer<EditVariables> dialog = new EditVariables(model.input().variables(), model.algorithmInput(), parent);
    QObject::connect(dialog, &EditVariables::helpRequested, dialog, [help](const QString &topic) {
        if (help)
            help(topic);
    });
    // Apply hands lists out while the dialog is still open.
    QObject::connect(dialog, &EditVariables::editedVariables, dialog,
                     [edited](const OptimItemList<OptimVarInput> &variables) {
                         if (edited)
                             edited(variables);
                     });
    dialog->exec();
    if (dialog)
        dialog->deleteLater();
}

} // namespace

OptimHelmdeckEditorHooks optimHelmdeckEditors()
{
    OptimHelmdeckEditorHooks hooks;
    hooks.algorithmTypeWarning = [](const OptimModelInput &input, QWidget *parent) {
        return AlgorithmTypeWarning(input, parent).checkAndWarn();
    };
    hooks.editAlgorithm = runAlgorithmEditor;
    hooks.editGoals = runGoalEditor;
    hooks.editVariables = runVariableEditor;
    return hooks;
}
