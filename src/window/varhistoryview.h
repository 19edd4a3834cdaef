#pragma once

// The variables' history graphs, one row per variable: the name, a field in
// which a value can be typed while tuning (LineEditForTuning, with the
// unit beside it), and the GraphWidget of the variable's values over the
// iterations.
//
// Typed values: when the field's editing finishes, the text goes out as
// variableChanged(netlistName, text) only when it differs from the
// variable's value and reads as a value in the variable's unit; a text that
// does not read stays in the field, marked yellow with the reason in its
// tooltip, and nothing is sent. A field the user is typing in is not
// overwritten by new iterations.
//
// Values are shown in the variable's unit with engineering prefixes: the
// field ("4.53535 pF" for a value written "4.53535e-12" in F), the graph's
// value axis and its tooltip ("C3: 14.66 pF").
//
// History texts carry units as the simulator writes them ("10 nH"); each
// row reads them in the variable's unit itself, once per text (a longer
// history reads only the new texts), and hands the graph numbers in base
// units.
//
// The rows share the visible height: each is as tall as the view allows,
// at least what its name and field need (the view scrolls below that) and
// at most a comfortable graph height. The
// model's changes are taken once per visit of the event loop, so a message
// with many iterations redraws each row once, and only rows on screen: a row
// out of sight (scrolled away, or the page hidden) catches up when it comes
// into sight, or as soon as its field takes a key, whichever is first.
// The rows themselves are made as they first come into sight (VarRowColumn).
// Escape in a field puts the variable's value back in it.

#include "varrowcolumn.h"
#include "varsliderwidget.h"

#include <QLineEdit>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <vector>

class GraphWidget;
class OptimHistoryValues;
class OptimizationModelObject;
class OptimVarInput;
class QLabel;
class QScrollArea;
class QStackedWidget;

class LineEditForTuning : public QLineEdit
{
    Q_OBJECT

public:
    explicit LineEditForTuning(QWidget *parent = nullptr);

    // Marks the text as not acceptable (yellow, reason as tooltip), or
    // clears the mark with an empty reason.
    void setProblem(const QString &problem);
    bool hasProblem() const { return !m_problem.isEmpty(); }
    // The tooltip shown while there is no problem.
    void setNormalToolTip(const QString &toolTip);

Q_SIGNALS:
    void gotFocus();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_problem;
    QString m_normalToolTip;
};

// One variable's row.
class VarHistoryRow : public QWidget
{
    Q_OBJECT

public:
    VarHistoryRow(int varIndex, QWidget *parent = nullptr);

    int varIndex() const { return m_varIndex; }
    QLabel *nameLabel() const { return m_nameLabel; }
    LineEditForTuning *valueEdit() const { return m_valueEdit; }
    GraphWidget *graph() const { return m_graph; }

    // Takes the variable's name and unit.
    void updateDefinition(const OptimVarInput &variable);
    // Takes the variable's history (read in its unit) into the graph.
    void updateHistory(const OptimVarInput &variable, const OptimHistoryValues &history);
    // How many history texts were read so far (tests check the reuse).
    qsizetype parsedCount() const { return qsizetype(m_values.size()); }

private:
    double readHistoryText(const QString &text) const;

    int m_varIndex;
    QLabel *m_nameLabel;
    LineEditForTuning *m_valueEdit;
    QLabel *m_unitLabel;
    GraphWidget *m_graph;
    // The read history, and what tells that a new history extends it.
    QString m_unit;
    QStringList m_valueList;
    QList<double> m_values;
    QString m_firstText;
    QString m_lastText;
};

class VarHistoryGraphsView : public QWidget
{
    Q_OBJECT

public:
    explicit VarHistoryGraphsView(QWidget *parent = nullptr);

    // The window's value texts, shared with its other views.
    void setShownTexts(std::shared_ptr<VarValues::ShownTexts> texts) { m_shownTexts = std::move(texts); }

    void setModel(OptimizationModelObject *model);
    OptimizationModelObject *model() const;

    int rowCount() const { return m_rowsWidget->count(); }
    // The row of variable k, made now if it was not yet (null out of range).
    VarHistoryRow *row(int varIndex) const;
    int selectedVariable() const { return m_selectedVariable; }

    // The "all iterations" setting: the shown count is then the run's
    // planned length, and a history that outgrew it is shown whole.
    void setShowsAllIterations(bool all);
    // The count a graph with a history of this length shows (0: all).
    int shownPointsFor(qsizetype historyLength) const;

    // Whether values may be typed (tuning on, input allowed).
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

Q_SIGNALS:
    void variableSelected(int varIndex);
    void variableChanged(const QString &netlistName, const QString &value);
    void historyGraphRightMouseClick(const QPoint &globalPosition);

public Q_SLOTS:
    void setNumberOfHistoryPointsToShow(int num);
    void setYAutoScaleUsingAllData(bool useAllData);
    void setSelectedVariable(int varIndex);
    void clearSelection();
    void updateAll();
    void updateVar(int varIndex);
    void setSelectedVariableByRow(int rowIndex);
    void valueChanged(int varIndex);
    // Updates the variables the model changed since control was last in
    // the event loop (runs by itself when it gets there).
    void flushPendingUpdates();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::shared_ptr<VarValues::ShownTexts> m_shownTexts;
    void rebuildRows();
    // A row was made: it takes the view's settings and the variable.
    void setUpRow(int varIndex, QWidget *row);
    VarHistoryRow *madeRow(int varIndex) const;
    // Brings row k up to date with the model, in sight or not.
    void refreshRow(int varIndex);
    void revertField(int varIndex);
    // Brings the rows that came into sight up to date.
    void catchUpRows();
    void applyEditable(VarHistoryRow *row);
    // Gives every row its share of the visible height.
    void fitRowHeights();

    QPointer<OptimizationModelObject> m_model;
    QStackedWidget *m_stack;
    QLabel *m_emptyLabel;
    QScrollArea *m_scroll;
    VarRowColumn *m_rowsWidget;
    int m_selectedVariable = -1;
    int m_numPoints = 0;
    bool m_showAll = false;
    bool m_useAllData = true;
    bool m_editable = false;
    VarUpdateQueue m_queue;
    // Rows that missed an update while out of sight.
    VarStaleRows m_stale;
};
