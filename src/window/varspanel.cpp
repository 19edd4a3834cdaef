#include "varspanel.h"

#include "controller/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"

#include <QVBoxLayout>

VarsPanel::VarsPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : PanelView(QStringLiteral("Variables"), state, parent)
{
    setObjectName(QStringLiteral("varsPanel"));
    setMinimumWidth(160);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::numIterationsToDisplayChanged, this, &VarsPanel::setNumberOfHistoryPointsToShow);
        connect(m_state, &OptimHelmdeckControllerState::yAutoScaleUsingAllDataChanged, this, &VarsPanel::setYAutoScaleUsingAllData);
        connect(m_state, &OptimHelmdeckControllerState::waitStateChanged, this, &VarsPanel::updateButtons);
    }
}

void VarsPanel::setModel(OptimizationModelObject *model)
{
    PanelView::setModel(model);
    if (m_model)
        connect(m_model, &OptimizationModelObject::algorithmChanged, this, &VarsPanel::updateButtons);
    updateButtons();
}

void VarsPanel::preventUserInput(bool preventInput)
{
    PanelView::preventUserInput(preventInput);
    updateButtons();
}

void VarsPanel::setTuneMode(OptimHelmdeckTuneMode mode)
{
    m_tuneMode = mode;
}

void VarsPanel::updateTuning(bool isTuning)
{
    m_tuning = isTuning;
}

void VarsPanel::setNumberOfHistoryPointsToShow(int numPoints)
{
    m_historyPoints = numPoints;
}

void VarsPanel::setYAutoScaleUsingAllData(bool useAllPoints)
{
    m_yAutoScaleUsingAllData = useAllPoints;
}

void VarsPanel::updateButtons()
{
}
