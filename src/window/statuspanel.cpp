#include "statuspanel.h"

#include "state/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"
#include "algorithmtextview.h"
#include "progressview.h"
#include "simulationerrorview.h"
#include "statusiconview.h"
#include "stoppingreasonview.h"
#include "windoweditors.h"

#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

StatusPanel::StatusPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : PanelView(QStringLiteral("Status"), state, parent)
    , m_iconView(new StatusIconView(this))
    , m_algorithmView(new AlgorithmTextView(this))
    , m_progressView(new ProgressView(this))
    , m_errorView(new SimulationErrorView(this))
    , m_reasonView(new StoppingReasonView(this))
    , m_editAlgorithm(new QPushButton(QStringLiteral("Edit &algorithm..."), this))
{
    setObjectName(QStringLiteral("statusPanel"));
    m_editAlgorithm->setObjectName(QStringLiteral("editAlgorithmButton"));
    connect(m_editAlgorithm, &QPushButton::clicked, this, &StatusPanel::showEditAlgorithmDialog);

    // The icon stands at the left of the texts; the texts run top to bottom,
    // with the edit button at the end of the algorithm's row.
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    grid->addWidget(m_iconView, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(m_algorithmView, 0, 1);
    grid->addWidget(m_editAlgorithm, 0, 2);
    grid->addWidget(m_progressView, 1, 1, 1, 2);
    auto *notes = new QVBoxLayout;
    notes->setSpacing(4);
    notes->addWidget(m_errorView);
    notes->addWidget(m_reasonView);
    grid->addLayout(notes, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::waitStateChanged, this, &StatusPanel::updateButtons);
        connect(m_state, &OptimHelmdeckControllerState::modelAdded, this, &StatusPanel::updateButtons);
    }
    updateButtons();
}

void StatusPanel::setModel(OptimizationModelObject *model)
{
    PanelView::setModel(model);
    m_iconView->setModel(model);
    m_algorithmView->setModel(model);
    m_progressView->setModel(model);
    m_errorView->setModel(model);
    m_reasonView->setModel(model);
    if (m_model)
        connect(m_model, &OptimizationModelObject::algorithmChanged, this, &StatusPanel::updateButtons);
    updateButtons();
}

void StatusPanel::preventUserInput(bool preventInput)
{
    PanelView::preventUserInput(preventInput);
    updateButtons();
}

void StatusPanel::setEditorHooks(const OptimHelmdeckEditorHooks &hooks)
{
    m_editors = hooks;
    updateButtons();
}

void StatusPanel::setWaitingForSimulationToFinish(bool waiting)
{
    m_iconView->setShowSimulationIcon(waiting);
}

void StatusPanel::updateButtons()
{
    m_editAlgorithm->setVisible(m_state && m_state->isInteractive());
    // An edit goes to the sweep's current optimization: an earlier one on
    // view is not edited.
    const bool onCurrent = isCurrentOptimization(m_state, m_model);
    const bool available = bool(m_editors.editAlgorithm);
    m_editAlgorithm->setToolTip(!available ? QStringLiteral("The algorithm editor is not available.")
                                : !onCurrent ? earlierOptimizationReason(QStringLiteral("edit the algorithm"))
                                             : QString());
    if (!m_model || m_preventInput || !m_state || m_editor.isOpen()) {
        m_editAlgorithm->setEnabled(false);
        return;
    }
    const int status = m_model->model().algorithmOutput().status();
    m_editAlgorithm->setEnabled(optimStatusIsPaused(status) && m_state->waitingFor() == OptimHelmdeckControllerState::WaitNone
                                && available && onCurrent);
}

void StatusPanel::showEditAlgorithmDialog()
{
    const auto editAlgorithm = m_editors.editAlgorithm;
    if (!editAlgorithm)
        return;
    OptimAlgInput algorithm;
    bool accepted = false;
    PanelEditorLaunch made;
    if (!m_editor.run(this, [this] { updateButtons(); },
                      [&](const OptimizationModel &snapshot, const PanelEditorLaunch &launch) {
                          made = launch;
                          accepted = editAlgorithm(snapshot, this, &algorithm,
                                                   [launch](const QString &topic) { launch.help(topic); });
                      }))
        return;
    // The result belongs to the optimization it was made for: when another
    // one came on view, or a newer one became current, it is dropped.
    if (accepted && made.panelForResult())
        Q_EMIT algorithmDefinitionChanged(algorithm);
}
