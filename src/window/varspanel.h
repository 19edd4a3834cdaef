#pragma once

// The "Variables" panel: the window's left half under the status. Its views
// (sliders, history graphs, text) and the tune button come with the
// variables panel work; the signals and slots the window wires are final.

#include "optimhelmdecktunemode.h"
#include "panelview.h"

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QPoint>

class VarsPanel : public PanelView
{
    Q_OBJECT

public:
    VarsPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    OptimHelmdeckTuneMode tuneMode() const { return m_tuneMode; }
    bool isTuning() const { return m_tuning; }

    void setModel(OptimizationModelObject *model) override;
    void preventUserInput(bool preventInput) override;

Q_SIGNALS:
    void startTuning();
    void stopTuning();
    void resetTuning();
    void tuneModeChanged(OptimHelmdeckTuneMode mode);
    void variableChanged(const QString &netlistName, const QString &value);
    void variableDefinitionsChanged(const OptimItemList<OptimVarInput> &newVariables);
    void historyGraphRightMouseClick(const QPoint &globalPosition);

public Q_SLOTS:
    void setTuneMode(OptimHelmdeckTuneMode mode);
    void updateTuning(bool isTuning);
    void setNumberOfHistoryPointsToShow(int numPoints);
    void setYAutoScaleUsingAllData(bool useAllPoints);
    void updateButtons();

private:
    OptimHelmdeckTuneMode m_tuneMode = defaultOptimHelmdeckTuneMode;
    bool m_tuning = false;
    int m_historyPoints = 0;
    bool m_yAutoScaleUsingAllData = true;
};
