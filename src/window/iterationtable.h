#pragma once

// The iteration table: one row per iteration of the shown optimization with
// its error and every variable's value, as the simulator sent them. The
// edit role and a copy (Ctrl+C) give a cell's number in base units.
//
// IterationTableModel reads the model's histories in place (no copies) and
// follows them as they grow: a new iteration inserts one row, a dropped one
// removes it, anything else resets. It sorts itself (sort()) by keeping a
// row order; sort keys are the column's numbers in base units (a bare
// number is in the variable's unit), parsed once per column
// and extended as iterations arrive, so a sorted table of 100,000 rows
// takes a new iteration with one binary search. Texts that are not numbers
// sort after all numbers, in iteration order.
//
// IterationTableView shows it sortably; selecting a row marks that
// iteration on every history graph of the window.

#include "modelbinding.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <optional>
#include <vector>

class OptimHistoryValues;

class IterationTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit IterationTableModel(QObject *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    OptimizationModelObject *model() const { return m_model; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The iteration shown in a row (0 is the starting point), or -1.
    int iterationAt(int row) const;
    // The row that shows an iteration, or -1.
    int rowOf(int iteration) const;

public Q_SLOTS:
    // Brings the rows up to date with the histories now (also run, once,
    // after the model signals a change).
    void refresh();

private:
    void scheduleRefresh();
    qsizetype historyLength() const;
    // The history a value column shows (null for the iteration column).
    const OptimHistoryValues *columnValues(int column) const;
    // The unit of a variable column (empty for the others).
    QString columnUnit(int column) const;
    // A column's value of an iteration in base units, if it is a number.
    std::optional<double> numberAt(int column, int iteration) const;
    double key(int iteration) const;
    void rebuildKeys();
    void appendKeys(int from, int to);
    int sortedPosition(int iteration) const;
    bool lessThan(int a, int b) const;

    QPointer<OptimizationModelObject> m_model;
    int m_rows = 0;
    int m_columns = 2;
    bool m_refreshPending = false;
    // Sorting: -1 for iteration order. m_order maps rows to iterations and
    // m_keys holds the sort column's number per iteration (NaN: no number).
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<int> m_order;
    std::vector<double> m_keys;
};

class IterationTableView : public QTableView
{
    Q_OBJECT

public:
    explicit IterationTableView(QWidget *parent = nullptr);

    void setOptimization(OptimizationModelObject *model);
    IterationTableModel *tableModel() const { return m_table; }
    // The iteration of the selected row, or -1.
    int selectedIteration() const;

Q_SIGNALS:
    void iterationSelected(int iteration);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void markIteration(int iteration);

    IterationTableModel *m_table;
};
