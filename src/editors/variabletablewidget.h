#pragma once

// The table of the variable editor: one row per optimization variable with
// its enable box, name, nominal value, format (constraint) and the format's
// min/delta, max and step, each number split into a number and a unit
// column. Every edit is checked at once: faulty cells turn yellow with the
// problem as tooltip and the count of faults goes out through numErrors.
// Edited lists leave only when no optimized variable has a problem.
//
// Numbers are kept in the variables as unscaled base-unit texts ("1e-12"
// for 1 pF) and shown scaled with six significant digits ("1" and "pF").
// A typed text that is no valid value with units is never stored: the cell
// keeps it, marked, until it is corrected.

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QComboBox>
#include <QHash>
#include <QTableWidget>

class VariableTableWidget;

// The pull-down placed in the value, min and max cells of a discrete
// variable whose values are positions in its design value list: it lists
// the design values and writes the chosen position into the cell below it.
class DiscreteVarComboBox : public QComboBox
{
    Q_OBJECT

public:
    DiscreteVarComboBox(int row, int column, VariableTableWidget *table);

    // Lists values and shows the entry at position (none when it is not a
    // valid index), without writing anything back.
    void setEntries(const QStringList &values, const QString &position);

public Q_SLOTS:
    void updateUnderyingItem(const QString &text);

private:
    int m_row;
    int m_column;
    VariableTableWidget *m_table;
};

class VariableTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    enum Column {
        EnableColumn = 0,
        NameColumn,
        ValueColumn,
        ValueUnitsColumn,
        FormatColumn,
        MinColumn,
        MinUnitsColumn,
        MaxColumn,
        MaxUnitsColumn,
        StepColumn,
        StepUnitsColumn,
        ColumnCount
    };

    // algorithm: the optimization's algorithm, for the algorithm-type
    // warning shown before an edited list goes out.
    VariableTableWidget(const OptimItemList<OptimVarInput> &variables, const OptimAlgInput &algorithm = {},
                        QWidget *parent = nullptr);

    const OptimItemList<OptimVarInput> &variables() const { return m_variables; }
    // The faulty entries the table shows now.
    int errorCount() const { return m_errorCount; }
    bool isCellEditable(int row, int column) const;
    // The format pull-down of a row.
    QComboBox *formatBox(int row) const;

    // Stores position (in the design value list) as the value, min or max
    // of a discrete variable whose values are positions in that list.
    void storeDesignValuePosition(int row, int column, int position);

    // Format texts by constraint code 0..4.
    static QString formatText(int constraintType);

Q_SIGNALS:
    void rowSelected(int row);
    void variablesEdited(const OptimItemList<OptimVarInput> &variables);
    void variablesEditedAccept(const OptimItemList<OptimVarInput> &variables);
    void numErrors(int count);

public Q_SLOTS:
    void handleItemChanged(QTableWidgetItem *item);
    void verifyAndEmitVariables();
    void verifyAndEmitVariablesAccept();

private:
    bool isLocked(int row) const;
    bool isEnabled(int row) const;
    // Refills a row from its variable; keepTyped keeps texts typed wrong in
    // their cells.
    void fillRow(int row, bool keepTyped = true);
    void setFormat(int row, int constraintType);
    void storeNumber(int row, int column);
    // Puts a normalized text into the field the column edits and refills the row.
    void storeText(int row, int column, const QString &stored);
    QString cellMessage(int row, int column, int problems) const;
    void updateMarks();
    bool verifyAndWarn();

    OptimItemList<OptimVarInput> m_variables;
    OptimAlgInput m_algorithm;
    // Per row: locked as the variable was when the table was made.
    QList<bool> m_locked;
    // Texts typed into a cell that are no valid value, by row * ColumnCount + column.
    QHash<int, QString> m_typedProblems;
    int m_errorCount = 0;
    bool m_filling = false;
};
