#include "varspanel.h"

#include "state/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"
#include "tunebutton.h"
#include "varhistoryview.h"
#include "varsliderview.h"
#include "vartextview.h"
#include "iterationtable.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QShowEvent>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

VarsPanel::VarsPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : PanelView(QStringLiteral("Variables"), state, parent)
    , m_editButton(new QPushButton(QStringLiteral("Edit &variables..."), this))
    , m_tuneButton(new TuneButton(this))
    , m_splitter(new QSplitter(Qt::Vertical, this))
    , m_sliderView(new VarSliderView)
    , m_tabs(new QTabWidget)
    , m_historyView(new VarHistoryGraphsView)
    , m_textView(new VarTextView)
{
    registerOptimHelmdeckTuneMode();
    setObjectName(QStringLiteral("varsPanel"));
    setMinimumWidth(160);
    m_editButton->setObjectName(QStringLiteral("editVariablesButton"));
    m_splitter->setObjectName(QStringLiteral("varPanelSplitter"));
    m_tabs->setObjectName(QStringLiteral("varViewTabs"));
    m_tabs->addTab(m_historyView, QStringLiteral("History"));
    m_tabs->addTab(m_textView, QStringLiteral("Values"));
    m_tabs->addTab(new IterationTableView, QStringLiteral("Iterations"));
    m_tabs->setDocumentMode(true);
    m_sliderView->setShownTexts(m_shownTexts);
    m_historyView->setShownTexts(m_shownTexts);
    m_textView->setShownTexts(m_shownTexts);
    m_splitter->addWidget(m_sliderView);
    m_splitter->addWidget(m_tabs);
    m_splitter->setChildrenCollapsible(false);
    // A taller panel gives the room to the graphs.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_editButton);
    buttons->addWidget(m_tuneButton);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addWidget(m_splitter, 1);

    connect(m_editButton, &QPushButton::clicked, this, &VarsPanel::showEditVariablesDialog);
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] { m_splitterSizedByUser = true; });
    connect(m_sliderView, &VarSliderView::rowsChanged, this, &VarsPanel::fitSliders);

    connect(m_tuneButton, &TuneButton::startTuning, this, &VarsPanel::startTuning);
    connect(m_tuneButton, &TuneButton::stopTuning, this, &VarsPanel::stopTuning);
    connect(m_tuneButton, &TuneButton::resetTuning, this, &VarsPanel::resetTuning);
    connect(m_tuneButton, &TuneButton::tuneModeChanged, this, &VarsPanel::handleTuneModePicked);

    connect(m_sliderView, &VarSliderView::variableChanged, this, &VarsPanel::variableChanged);
    connect(m_historyView, &VarHistoryGraphsView::variableChanged, this, &VarsPanel::variableChanged);
    connect(m_historyView, &VarHistoryGraphsView::historyGraphRightMouseClick, this, &VarsPanel::historyGraphRightMouseClick);

    // One selected variable across the views.
    connect(m_sliderView, &VarSliderView::variableSelected, m_historyView, &VarHistoryGraphsView::setSelectedVariable);
    connect(m_sliderView, &VarSliderView::variableSelected, m_textView, &VarTextView::setSelectedVariable);
    connect(m_historyView, &VarHistoryGraphsView::variableSelected, m_sliderView, &VarSliderView::setSelectedVariable);
    connect(m_historyView, &VarHistoryGraphsView::variableSelected, m_textView, &VarTextView::setSelectedVariable);
    connect(m_textView, &VarTextView::variableSelected, m_sliderView, &VarSliderView::setSelectedVariable);
    connect(m_textView, &VarTextView::variableSelected, m_historyView, &VarHistoryGraphsView::setSelectedVariable);

    m_sliderView->setTuneMode(m_tuneMode);
    m_tuneButton->setTuneMode(m_tuneMode);
    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::numIterationsToDisplayChanged, this, &VarsPanel::setNumberOfHistoryPointsToShow);
        connect(m_state, &OptimHelmdeckControllerState::yAutoScaleUsingAllDataChanged, this, &VarsPanel::setYAutoScaleUsingAllData);
        connect(m_state, &OptimHelmdeckControllerState::waitStateChanged, this, &VarsPanel::updateButtons);
        connect(m_state, &OptimHelmdeckControllerState::simulationFinished, this, &VarsPanel::updateButtons);
        connect(m_state, &OptimHelmdeckControllerState::modelAdded, this, &VarsPanel::updateButtons);
        setNumberOfHistoryPointsToShow(m_state->iterationsToDisplay());
        setYAutoScaleUsingAllData(m_state->yAxisAutoscaleUsingAllData());
    }
    updateButtons();
}

void VarsPanel::setModel(OptimizationModelObject *model)
{
    PanelView::setModel(model);
    if (m_model)
        connect(m_model, &OptimizationModelObject::algorithmChanged, this, &VarsPanel::updateButtons);
    m_sliderView->setModel(m_model);
    m_historyView->setModel(m_model);
    m_textView->setModel(m_model);
    if (auto *table = m_tabs->findChild<IterationTableView *>())
        table->setOptimization(m_model);
    updateButtons();
}

void VarsPanel::setEditorHooks(const OptimHelmdeckEditorHooks &hooks)
{
    m_variableEditor = hooks.editVariables;
    updateButtons();
}

void VarsPanel::preventUserInput(bool preventInput)
{
    PanelView::preventUserInput(preventInput);
    updateButtons();
}

int VarsPanel::modelStatus() const
{
    return m_model ? m_model->model().algorithmOutput().status() : 0;
}

void VarsPanel::updateButtons()
{
    const bool interactive = m_state && m_state->isInteractive();
    m_editButton->setVisible(interactive);
    m_tuneButton->setVisible(interactive);
    const int status = modelStatus();
    const bool paused = optimStatusIsPaused(status);
    const bool usable = interactive && m_model && !m_preventInput && !m_editor.isOpen();
    const int waiting = m_state ? m_state->waitingFor() : 0;
    // Tuned values go to the sweep's current optimization, the newest one:
    // while another one is on view, its values are shown, not tuned.
    const bool onCurrent = isCurrentOptimization(m_state, m_model);
    const QString notCurrent = onCurrent
        ? QString()
        : QStringLiteral("Tuning works on the current optimization of the sweep: choose it under View.");
    m_tuneButton->setToolTip(notCurrent);
    m_sliderView->setToolTip(notCurrent);

    const bool available = bool(m_variableEditor);
    m_editButton->setEnabled(usable && paused && waiting == OptimHelmdeckControllerState::WaitNone && available
                             && onCurrent);
    m_editButton->setToolTip(!available ? QStringLiteral("The variable editor is not available.")
                             : !onCurrent ? earlierOptimizationReason(QStringLiteral("edit the variables"))
                                          : QString());

    // Tuning starts from a running (it pauses first), paused or finished
    // optimization whose simulator is still there; it can always be stopped.
    const bool waitsForCommand = waiting == OptimHelmdeckControllerState::WaitPause
        || waiting == OptimHelmdeckControllerState::WaitContinue;
    const bool canStart = (status == StatusRunning || paused) && m_state && m_state->simulationRunning();
    const bool tuningEnabled = usable && !waitsForCommand && onCurrent && (m_tuning || canStart);
    m_tuneButton->setTuningEnabled(tuningEnabled);

    setViewsEditable(usable && onCurrent && m_tuning && paused && !waitsForCommand);
    // A slider that does not move says what would make it move.
    m_sliderView->setInactiveHint(m_tuning ? QStringLiteral("The values move once the optimization has paused.")
                                  : tuningEnabled ? QStringLiteral("Press Start Tuning to move the values.")
                                                  : QStringLiteral("The values move only while tuning."));
}

void VarsPanel::setViewsEditable(bool editable)
{
    if (editable == m_viewsEditable)
        return;
    m_viewsEditable = editable;
    m_sliderView->setEditable(editable);
    m_historyView->setEditable(editable);
}

void VarsPanel::setTuneMode(OptimHelmdeckTuneMode mode)
{
    m_tuneMode = optimHelmdeckTuneModeFromInt(int(mode));
    m_tuneButton->setTuneMode(m_tuneMode);
    m_sliderView->setTuneMode(m_tuneMode);
}

void VarsPanel::handleTuneModePicked(OptimHelmdeckTuneMode mode)
{
    setTuneMode(mode);
    Q_EMIT tuneModeChanged(m_tuneMode);
}

void VarsPanel::updateTuning(bool isTuning)
{
    m_tuning = isTuning;
    m_tuneButton->updateButtonAction(isTuning);
    updateButtons();
}

void VarsPanel::setNumberOfHistoryPointsToShow(int numPoints)
{
    m_historyView->setShowsAllIterations(!m_state || m_state->numItersToDisplay() == 0);
    m_historyView->setNumberOfHistoryPointsToShow(numPoints);
}

void VarsPanel::setYAutoScaleUsingAllData(bool useAllPoints)
{
    m_historyView->setYAutoScaleUsingAllData(useAllPoints);
}

void VarsPanel::showEditVariablesDialog()
{
    const VarsPanelVariableEditor editor = m_variableEditor;
    if (!editor)
        return;
    m_editor.run(this, [this] { updateButtons(); },
                 [this, &editor](const OptimizationModel &snapshot, const PanelEditorLaunch &launch) {
                     editor(
                         snapshot, this,
                         [launch](const OptimItemList<OptimVarInput> &edited) {
                             if (auto *panel = static_cast<VarsPanel *>(launch.panelForResult()))
                                 panel->acceptEditedVariables(edited);
                         },
                         [launch](const QString &topic) { launch.help(topic); });
                 });
}

void VarsPanel::acceptEditedVariables(const OptimItemList<OptimVarInput> &editedVariables)
{
    Q_EMIT variableDefinitionsChanged(editedVariables);
}

void VarsPanel::saveSettings(QSettings &settings)
{
    settings.beginGroup(QStringLiteral("VarPanel"));
    settings.setValue(QStringLiteral("splitter1Sizes"), m_splitter->saveState());
    settings.endGroup();
}

void VarsPanel::restoreSettings(QSettings &settings)
{
    settings.beginGroup(QStringLiteral("VarPanel"));
    const QByteArray state = settings.value(QStringLiteral("splitter1Sizes")).toByteArray();
    settings.endGroup();
    m_splitterSizedByUser = !state.isEmpty() && m_splitter->restoreState(state);
    fitSliders();
}

void VarsPanel::fitSliders()
{
    const int total = m_splitter->height() - m_splitter->handleWidth();
    if (m_splitterSizedByUser || total <= 0)
        return;
    const int wanted = std::clamp(m_sliderView->preferredHeight(), 40, std::max(40, total / 2));
    m_splitter->setSizes({wanted, std::max(0, total - wanted)});
}

void VarsPanel::resizeEvent(QResizeEvent *event)
{
    PanelView::resizeEvent(event);
    fitSliders();
}

void VarsPanel::showEvent(QShowEvent *event)
{
    PanelView::showEvent(event);
    fitSliders();
}
