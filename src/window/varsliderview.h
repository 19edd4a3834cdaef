#pragma once

// The tuning sliders of the variables panel: one row per enabled variable
// (name, slider, value with its unit), in a scrollable column.
//
// The sliders move the variables only while the view is editable (the
// panel makes it so while tuning is on and input is allowed); otherwise
// they show the values and are disabled. A slider whose range cannot be
// mapped (an unconstrained variable has no bounds) is always disabled and
// says why in its row. The tune mode decides when a slider hands its value
// on: on every change while it is dragged (mode 0), or once when the drag
// ends (modes 1 and 2; the controller decides whether to simulate).
//
// The rows are made as they come into sight (VarRowColumn), from the
// model's variable as it is then. A new value reaches only the rows on
// screen; a row scrolled out of sight (or the whole column while hidden)
// takes it when it comes into sight.

#include "state/optimhelmdecktunemode.h"
#include "varrowcolumn.h"
#include "varsliderwidget.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class OptimizationModelObject;
class QLabel;
class QScrollArea;
class QStackedWidget;

// One row of the column: the name, the slider and the value.
class VarSliderRow : public QWidget
{
    Q_OBJECT

public:
    VarSliderRow(int varIndex, QWidget *parent = nullptr);

    int varIndex() const { return m_varIndex; }
    VarSliderWidget *slider() const { return m_slider; }
    QLabel *nameLabel() const { return m_nameLabel; }
    QLabel *valueLabel() const { return m_valueLabel; }

    // Refreshes the name and value labels from the slider.
    void updateLabels();

Q_SIGNALS:
    void activated();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_varIndex;
    QLabel *m_nameLabel;
    VarSliderWidget *m_slider;
    QLabel *m_valueLabel;
};

// The column of slider rows, one per enabled variable, made as they come
// into sight; paints the selected row's highlight.
class VarSlidersWidget : public VarRowColumn
{
    Q_OBJECT

public:
    explicit VarSlidersWidget(QWidget *parent = nullptr);

    // The row or slider at a slider index, made now if it was not yet.
    VarSliderRow *row(int sliderIndex);
    VarSliderWidget *slider(int sliderIndex);
    // The row if it was made (null otherwise).
    VarSliderRow *madeRow(int sliderIndex) const;
    // Replaces the rows by rows for these variable indices.
    void setRows(const QList<int> &varIndices);

    // The window's value texts every slider takes its value text from.
    void setShownTexts(const std::shared_ptr<VarValues::ShownTexts> &texts);

    // Sets the update flag of every slider together.
    void setUpdatesValue(bool updatesValue);
    bool updatesValue() const { return m_updatesValue; }

Q_SIGNALS:
    void sliderSelected(QWidget *item);
    void sliderSelected(int index);

private:
    QList<int> m_varIndices;
    bool m_updatesValue = false;
    std::shared_ptr<VarValues::ShownTexts> m_shownTexts;
};

class VarSliderView : public QWidget
{
    Q_OBJECT

public:
    explicit VarSliderView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    OptimizationModelObject *model() const;

    VarSlidersWidget *sliders() const { return m_sliders; }
    // The slider of variable k, or null when it has none.
    VarSliderWidget *sliderForVariable(int varIndex) const;
    int selectedVariable() const { return m_selectedVariable; }

    // Whether the user may move the sliders (tuning on, input allowed).
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }
    // What the tooltip of a slider that does not move adds.
    void setInactiveHint(const QString &hint);
    void setTuneMode(OptimHelmdeckTuneMode mode);
    OptimHelmdeckTuneMode tuneMode() const { return m_tuneMode; }
    // The height that shows every slider row (or the empty text).
    int preferredHeight() const;
    // The window's value texts, shared with its other views.
    void setShownTexts(const std::shared_ptr<VarValues::ShownTexts> &texts) { m_sliders->setShownTexts(texts); }
    // Tracking of new and existing sliders (on by default).
    void setTracking(bool tracking);
    bool tracking() const { return m_tracking; }

Q_SIGNALS:
    void variableChanged(const QString &netlistName, const QString &value);
    void variableSelected(int varIndex);
    // The rows were made anew (their count may have changed).
    void rowsChanged();

public Q_SLOTS:
    void updateView();
    void updateVariable(int varIndex);
    void setSelectedVariable(int varIndex);
    void clearSelection();
    void handleSliderSelected(int sliderIndex);
    // Updates the variables the model changed since control was last in
    // the event loop (runs by itself when it gets there).
    void flushPendingUpdates();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUpSlider(VarSliderRow *row);
    // A row was made: it takes the variable and the view's settings.
    void setUpRow(int sliderIndex, QWidget *row);
    // Brings the rows that came into sight up to date.
    void catchUpRows();
    void applyEnabled(VarSliderRow *row);
    QList<int> enabledVariables() const;

    QPointer<OptimizationModelObject> m_model;
    QStackedWidget *m_stack;
    QLabel *m_emptyLabel;
    QScrollArea *m_scroll;
    VarSlidersWidget *m_sliders;
    QList<int> m_sliderOfVariable;
    int m_selectedVariable = -1;
    bool m_editable = false;
    QString m_inactiveHint;
    bool m_tracking = true;
    OptimHelmdeckTuneMode m_tuneMode = defaultOptimHelmdeckTuneMode;
    VarUpdateQueue m_queue;
    // By slider index: rows that missed a value while out of sight.
    VarStaleRows m_stale;
};
