#pragma once

// "Edit Independent Variables": the goal's independent-variable names in a
// list the user renames, reorders, extends (at most six) and shortens. OK
// hands out one (position before editing or -1 for a new name, name) pair
// per row, in list order.

#include <QDialog>
#include <QList>
#include <QPair>

class EnhancedListWidget;
class RowOperationsWidget;

class EditRangeVarsDialog : public QDialog
{
    Q_OBJECT

public:
    EditRangeVarsDialog(const QStringList &names, QWidget *parent = nullptr);

    EnhancedListWidget *list() const { return m_list; }
    RowOperationsWidget *rowButtons() const { return m_buttons; }

Q_SIGNALS:
    void rangeVarsEdited(const QList<QPair<int, QString>> &vars);

public Q_SLOTS:
    void emitRangeVarsEdited();

private:
    EnhancedListWidget *m_list;
    RowOperationsWidget *m_buttons;
};
