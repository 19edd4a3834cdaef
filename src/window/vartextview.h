#pragma once

// The variables as text: a read-only table with each variable's name, its
// value with the unit, and its constraint; variables that are not optimized
// are greyed. With no variables it reads "No variables to view".
//
// The model's changes are taken once per visit of the event loop; a change
// of one variable rewrites its row only, and only the cells whose
// text changed; while the view is a hidden page it catches up when shown.
// A row out of sight is marked instead and rewritten when scrolling or a
// resize brings it into sight, so a long list costs only its visible rows.

#include "varsliderwidget.h"

#include <QPointer>
#include <QWidget>

class OptimizationModelObject;
class OptimVarInput;
class QLabel;
class QStackedWidget;
class QTableWidget;

class VarTextView : public QWidget
{
    Q_OBJECT

public:
    explicit VarTextView(QWidget *parent = nullptr);

    // The window's value texts, shared with its other views.
    void setShownTexts(std::shared_ptr<VarValues::ShownTexts> texts) { m_shownTexts = std::move(texts); }

    void setModel(OptimizationModelObject *model);
    OptimizationModelObject *model() const;
    QTableWidget *table() const { return m_table; }
    bool showsEmptyText() const;

    // The constraint of a variable in words ("1 nH to 100 nH").
    static QString constraintText(const OptimVarInput &variable);

Q_SIGNALS:
    void variableSelected(int varIndex);

public Q_SLOTS:
    void updateView();
    void setSelectedVariable(int varIndex);
    void clearSelection();
    // One variable's row.
    void updateVariable(int varIndex);
    // Updates the variables the model changed since control was last in
    // the event loop (runs by itself when it gets there).
    void flushPendingUpdates();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::shared_ptr<VarValues::ShownTexts> m_shownTexts;
    void setCell(int row, int column, const QString &text, bool enabled);
    void updateRow(int k);
    bool rowInSight(int k) const;
    // Rewrites the marked rows that are in sight now.
    void catchUpRows();

    QPointer<OptimizationModelObject> m_model;
    QStackedWidget *m_stack;
    QLabel *m_emptyLabel;
    QTableWidget *m_table;
    bool m_selecting = false;
    bool m_dirty = false;
    VarUpdateQueue m_queue;
    VarStaleRows m_stale;
    int m_selectedVariable = -1;
};
