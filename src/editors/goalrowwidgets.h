#pragma once

// The small pieces the goal editor's lists are built from: the row of
// "Add", "Move Up", "Delete" and "Move Down" buttons, and the editable list
// of independent-variable names that they drive.

#include <QListWidget>
#include <QWidget>

class QPushButton;

// Add is always enabled; Move Up, Delete and Move Down need a selected row
// that can go that way.
class RowOperationsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit RowOperationsWidget(QWidget *parent = nullptr);

    QPushButton *addButton() const { return m_add; }
    QPushButton *moveUpButton() const { return m_up; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *moveDownButton() const { return m_down; }

Q_SIGNALS:
    void addRow();
    void moveRowUp();
    void deleteRow();
    void moveRowDown();

public Q_SLOTS:
    // row: the selected row (-1 for none); rows: how many rows there are.
    void rowSelected(int row, int rows);

private:
    QPushButton *m_add;
    QPushButton *m_up;
    QPushButton *m_delete;
    QPushButton *m_down;
};

// A list of names the user edits in place. Each row remembers the position
// its name had when the list was filled (Qt::UserRole), -1 for rows added
// since, so that renamed, moved and new names can be told apart.
class EnhancedListWidget : public QListWidget
{
    Q_OBJECT

public:
    // The most rows the list takes (the goal netlist's independent variables).
    static constexpr int maxRows = 6;

    explicit EnhancedListWidget(QWidget *parent = nullptr);
    ~EnhancedListWidget() override;

    // Fills the list; row i remembers position i.
    void setNames(const QStringList &names);
    // (position when filled or -1, name) per row, in list order.
    QList<QPair<int, QString>> rows() const;
    // The name Add gives a new row: "IndepVar" and the first number from
    // the row count plus one up that no row has.
    QString proposedName() const;

Q_SIGNALS:
    void rowSelected(int row, int rows);

public Q_SLOTS:
    void appendRow();
    void moveSelectedRowUp();
    void deleteSelectedRow();
    void moveSelectedRowDown();
    void updateListContents(QListWidgetItem *item);
    void handleSelectionChanged();
    void handleRowsInsertedOrRemoved();

private:
    void moveSelectedRow(int by);
};
