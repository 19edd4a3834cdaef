#pragma once

// The "Goals" panel: the window's right half under the status. Its views
// (error, error history, contributions, goal plots) come with the goals
// panel work; the signals and slots the window wires are final.

#include "panelview.h"

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QPoint>

class GoalsPanel : public PanelView
{
    Q_OBJECT

public:
    GoalsPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    bool dataIsStale() const { return m_dataIsStale; }

    void setModel(OptimizationModelObject *model) override;
    void preventUserInput(bool preventInput) override;

Q_SIGNALS:
    void goalDefinitionsChanged(const OptimItemList<OptimGoalInput> &newGoals);
    void historyGraphRightMouseClick(const QPoint &globalPosition);

public Q_SLOTS:
    void setNumberOfHistoryPointsToShow(int numPoints);
    void setYAutoScaleUsingAllData(bool useAllData);
    void setDataIsStale(bool dataIsStale);

private Q_SLOTS:
    void updateButtons();

private:
    bool m_dataIsStale = false;
    int m_historyPoints = 0;
    bool m_yAutoScaleUsingAllData = true;
};
