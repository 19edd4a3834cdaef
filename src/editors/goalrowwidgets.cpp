#include "goalrowwidgets.h"

#include "goalchecks.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace {

// A name the goal netlist cannot carry is marked as it is typed in; the
// goal shows it as a fault too.
void markName(QListWidgetItem *item)
{
    const bool valid = goalcheck::isValidQuotedName(item->text());
    item->setBackground(valid ? QBrush() : QBrush(Qt::yellow));
    item->setToolTip(valid ? QString() : QStringLiteral("The name is invalid"));
}

QPushButton *rowButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

RowOperationsWidget::RowOperationsWidget(QWidget *parent)
    : QWidget(parent)
    , m_add(rowButton(QStringLiteral("Add"), QStringLiteral("addButton"), this))
    , m_up(rowButton(QStringLiteral("Move Up"), QStringLiteral("moveUpButton"), this))
    , m_delete(rowButton(QStringLiteral("Delete"), QStringLiteral("deleteButton"), this))
    , m_down(rowButton(QStringLiteral("Move Down"), QStringLiteral("moveDownButton"), this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QPushButton *button : {m_add, m_up, m_delete, m_down})
        layout->addWidget(button);
    layout->addStretch();
    connect(m_add, &QPushButton::clicked, this, &RowOperationsWidget::addRow);
    connect(m_up, &QPushButton::clicked, this, &RowOperationsWidget::moveRowUp);
    connect(m_delete, &QPushButton::clicked, this, &RowOperationsWidget::deleteRow);
    connect(m_down, &QPushButton::clicked, this, &RowOperationsWidget::moveRowDown);
    rowSelected(-1, 0);
}

void RowOperationsWidget::rowSelected(int row, int rows)
{
    const bool selected = row >= 0 && row < rows;
    m_up->setEnabled(selected && row > 0);
    m_delete->setEnabled(selected);
    m_down->setEnabled(selected && row < rows - 1);
}

EnhancedListWidget::EnhancedListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::SelectedClicked);
    connect(this, &QListWidget::itemChanged, this, &EnhancedListWidget::updateListContents);
    connect(this, &QListWidget::itemSelectionChanged, this, &EnhancedListWidget::handleSelectionChanged);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &EnhancedListWidget::handleRowsInsertedOrRemoved);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &EnhancedListWidget::handleRowsInsertedOrRemoved);
}

EnhancedListWidget::~EnhancedListWidget()
{
    // The model goes after this part of the list: its last signals must not
    // reach the slots here.
    disconnect(model(), nullptr, this, nullptr);
}

void EnhancedListWidget::setNames(const QStringList &names)
{
    clear();
    for (int i = 0; i < names.size(); ++i) {
        auto *item = new QListWidgetItem(names.at(i));
        item->setData(Qt::UserRole, i);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        markName(item);
        addItem(item);
    }
}

QList<QPair<int, QString>> EnhancedListWidget::rows() const
{
    QList<QPair<int, QString>> out;
    for (int i = 0; i < count(); ++i)
        out.append({item(i)->data(Qt::UserRole).toInt(), item(i)->text()});
    return out;
}

QString EnhancedListWidget::proposedName() const
{
    QStringList taken;
    for (int i = 0; i < count(); ++i)
        taken.append(item(i)->text());
    for (int n = count() + 1;; ++n) {
        const QString name = QStringLiteral("IndepVar%1").arg(n);
        if (!taken.contains(name))
            return name;
    }
}

void EnhancedListWidget::appendRow()
{
    if (count() >= maxRows) {
        QPointer<EnhancedListWidget> self(this);
        QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Information, QStringLiteral("Add Variable"),
                                                    QStringLiteral("Only %1 variables can be in the list.").arg(maxRows),
                                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("addVariableBox"));
        box->exec();
        if (self && box)
            box->deleteLater();
        return;
    }
    auto *item = new QListWidgetItem(proposedName());
    item->setData(Qt::UserRole, -1);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    addItem(item);
    setCurrentItem(item);
    editItem(item);
}

void EnhancedListWidget::moveSelectedRow(int by)
{
    const int row = currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= count())
        return;
    QListWidgetItem *moved = takeItem(row);
    insertItem(to, moved);
    setCurrentRow(to);
}

void EnhancedListWidget::moveSelectedRowUp()
{
    moveSelectedRow(-1);
}

void EnhancedListWidget::moveSelectedRowDown()
{
    moveSelectedRow(1);
}

void EnhancedListWidget::deleteSelectedRow()
{
    const int row = currentRow();
    if (row < 0)
        return;
    delete takeItem(row);
    if (count() > 0)
        setCurrentRow(std::min(row, count() - 1));
}

void EnhancedListWidget::updateListContents(QListWidgetItem *item)
{
    // A name is one word: blanks around it are dropped as it is typed in.
    const QString trimmed = item->text().trimmed();
    const QSignalBlocker blocker(this);
    if (trimmed != item->text())
        item->setText(trimmed);
    markName(item);
}

void EnhancedListWidget::handleSelectionChanged()
{
    Q_EMIT rowSelected(currentRow(), count());
}

void EnhancedListWidget::handleRowsInsertedOrRemoved()
{
    Q_EMIT rowSelected(currentRow(), count());
}
