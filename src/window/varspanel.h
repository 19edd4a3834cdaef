#pragma once

// The "Variables" panel: the window's left half under the status. At the
// top "Edit variables..." and the tune button; below, in a splitter, the
// tuning sliders and a tab page each for the history graphs (with a field
// per variable to type a value) and the variables as text.
//
// Every value the user sets (a slider, a typed value) leaves as
// variableChanged(netlistName, value text), which the window hands to the
// controller's handleTunedVariable. Sliders and fields take input only
// while tuning is on, the optimization is paused or finished, and the
// window allows input; the rest of the time they show the values.

#include "state/optimhelmdecktunemode.h"
#include "panelview.h"
#include "varsliderwidget.h"
#include "windoweditors.h"

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QPoint>

#include <memory>

class OptimizationModel;
class QPushButton;
class QSplitter;
class QTabWidget;
class TuneButton;
class VarHistoryGraphsView;
class VarSliderView;
class VarTextView;

class VarsPanel : public PanelView
{
    Q_OBJECT

public:
    VarsPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    OptimHelmdeckTuneMode tuneMode() const { return m_tuneMode; }
    bool isTuning() const { return m_tuning; }
    // Whether the sliders and value fields take input now.
    bool valuesEditable() const { return m_viewsEditable; }

    VarSliderView *sliderView() const { return m_sliderView; }
    VarHistoryGraphsView *historyView() const { return m_historyView; }
    VarTextView *textView() const { return m_textView; }
    TuneButton *tuneButton() const { return m_tuneButton; }
    QPushButton *editVariablesButton() const { return m_editButton; }
    QSplitter *splitter() const { return m_splitter; }
    QTabWidget *viewTabs() const { return m_tabs; }
    // The value texts this panel's views share.
    const VarValues::ShownTexts &shownTexts() const { return *m_shownTexts; }

    void setModel(OptimizationModelObject *model) override;
    void preventUserInput(bool preventInput) override;
    // The window's editors; without a variable editor "Edit variables..."
    // stays disabled.
    void setEditorHooks(const OptimHelmdeckEditorHooks &hooks);
    // Group "VarPanel", key "splitter1Sizes".
    void saveSettings(QSettings &settings) override;
    void restoreSettings(QSettings &settings) override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

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
    void showEditVariablesDialog();
    void acceptEditedVariables(const OptimItemList<OptimVarInput> &editedVariables);
    void updateButtons();

private Q_SLOTS:
    void handleTuneModePicked(OptimHelmdeckTuneMode mode);

private:
    int modelStatus() const;
    void setViewsEditable(bool editable);
    // Until the user moves the splitter (or sizes were restored), the
    // sliders get the height their rows need, at most half the panel.
    void fitSliders();

    OptimHelmdeckTuneMode m_tuneMode = defaultOptimHelmdeckTuneMode;
    bool m_tuning = false;
    // Made once per value for all the views, this window's own.
    std::shared_ptr<VarValues::ShownTexts> m_shownTexts = std::make_shared<VarValues::ShownTexts>();
    VarsPanelVariableEditor m_variableEditor;
    PanelEditorGuard m_editor;
    bool m_viewsEditable = false;
    bool m_splitterSizedByUser = false;
    QPushButton *m_editButton;
    TuneButton *m_tuneButton;
    QSplitter *m_splitter;
    VarSliderView *m_sliderView;
    QTabWidget *m_tabs;
    VarHistoryGraphsView *m_historyView;
    VarTextView *m_textView;
};
