#include "goalspanel.h"

#include "controller/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"

#include <QVBoxLayout>

GoalsPanel::GoalsPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : PanelView(QStringLiteral("Goals"), state, parent)
{
    setObjectName(QStringLiteral("goalsPanel"));
    setMinimumWidth(160);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::numIterationsToDisplayChanged, this, &GoalsPanel::setNumberOfHistoryPointsToShow);
        connect(m_state, &OptimHelmdeckControllerState::yAutoScaleUsingAllDataChanged, this, &GoalsPanel::setYAutoScaleUsingAllData);
    }
}

void GoalsPanel::setModel(OptimizationModelObject *model)
{
    PanelView::setModel(model);
    if (m_model)
        connect(m_model, &OptimizationModelObject::algorithmChanged, this, &GoalsPanel::updateButtons);
    updateButtons();
}

void GoalsPanel::preventUserInput(bool preventInput)
{
    PanelView::preventUserInput(preventInput);
    updateButtons();
}

void GoalsPanel::setNumberOfHistoryPointsToShow(int numPoints)
{
    m_historyPoints = numPoints;
}

void GoalsPanel::setYAutoScaleUsingAllData(bool useAllData)
{
    m_yAutoScaleUsingAllData = useAllData;
}

void GoalsPanel::setDataIsStale(bool dataIsStale)
{
    m_dataIsStale = dataIsStale;
}

void GoalsPanel::updateButtons()
{
}
