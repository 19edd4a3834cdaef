#include "goallimitstablewidget.h"

#include "goalchecks.h"
#include "model/optiminputrecords.h"
#include "graphs/goalgraphwidget.h"

#include <QComboBox>
#include <QHeaderView>

#include <algorithm>

namespace {

const QStringList kTypeSymbols{QStringLiteral(">"), QStringLiteral("<"), QStringLiteral("="),
                               QStringLiteral("Inside"), QStringLiteral("Outside")};

const QColor kUnused(0xe8, 0xe8, 0xe8);

QTableWidgetItem *cell(const QString &text, bool editable)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable) {
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        item->setBackground(kUnused);
    }
    return item;
}

// Marks an editable cell with its message, or clears the mark.
int mark(QTableWidgetItem *item, const QString &message)
{
    if (!item || !(item->flags() & Qt::ItemIsEditable))
        return 0;
    item->setBackground(message.isEmpty() ? QBrush() : QBrush(Qt::yellow));
    item->setToolTip(message);
    return message.isEmpty() ? 0 : 1;
}

} // namespace

GoalLimitsTableTWidget::GoalLimitsTableTWidget(QWidget *parent)
    : QTableWidget(parent)
{
    setObjectName(QStringLiteral("limitsTable"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setStretchLastSection(true);
    connect(this, &QTableWidget::itemChanged, this, &GoalLimitsTableTWidget::updateLimitInfo);
    connect(this, &QTableWidget::itemSelectionChanged, this, &GoalLimitsTableTWidget::handleSelectionChanged);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &GoalLimitsTableTWidget::handleRowsInsertedOrRemoved);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &GoalLimitsTableTWidget::handleRowsInsertedOrRemoved);
    populate();
}

GoalLimitsTableTWidget::~GoalLimitsTableTWidget()
{
    // The model goes after this part of the table: its last signals must
    // not reach the slots here.
    disconnect(model(), nullptr, this, nullptr);
}

int GoalLimitsTableTWidget::valueShown(int limitType, int column)
{
    if (column == MinColumn)
        return limitType == LimitLessThan ? 0 : 1;
    if (column == MaxColumn) {
        if (limitType == LimitLessThan)
            return 1;
        return goalcheck::hasSecondValue(limitType) ? 2 : 0;
    }
    return 0;
}

QStringList &GoalLimitsTableTWidget::keptSecondValues()
{
    QStringList &kept = m_keptSecondValues[m_goal];
    const qsizetype rows = m_goal ? m_goal->limits().size() : 0;
    if (kept.size() != rows) {
        kept.clear();
        for (qsizetype row = 0; row < rows; ++row)
            kept.append(m_goal->limits().at(row).secondValueText());
    }
    return kept;
}

void GoalLimitsTableTWidget::setGoal(OptimGoalInput *goal)
{
    m_goal = goal;
    populate();
    if (m_goal && rowCount() > 0)
        selectRow(0, NameColumn);
}

void GoalLimitsTableTWidget::populate()
{
    m_populating = true;
    const QStringList vars = m_goal ? m_goal->indepVarNames() : QStringList();
    QStringList headers{QStringLiteral("Name"), QStringLiteral("   Type   "), QStringLiteral("Min"),
                        QStringLiteral("Max"), QStringLiteral("Weight")};
    for (const QString &var : vars)
        headers << QStringLiteral("%1 Min").arg(var) << QStringLiteral("%1 Max").arg(var);
    const int rows = m_goal ? int(m_goal->limits().size()) : 0;
    setRowCount(0);
    setColumnCount(int(headers.size()));
    setHorizontalHeaderLabels(headers);
    setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const OptimGoalLimitInput &limit = m_goal->limits().at(row);
        const int type = std::clamp(limit.limitType(), int(LimitGreaterThan), int(LimitOutside));
        setItem(row, NameColumn, cell(limit.name(), true));
        auto *typeBox = new QComboBox;
        typeBox->setObjectName(QStringLiteral("limitTypeBox"));
        typeBox->addItems(kTypeSymbols);
        typeBox->setCurrentIndex(type);
        connect(typeBox, &QComboBox::currentIndexChanged, this,
                [this, row](int index) { updateLimitType(row, index); });
        setCellWidget(row, TypeColumn, typeBox);
        for (int column : {MinColumn, MaxColumn}) {
            const int shown = valueShown(type, column);
            const QString text = shown == 1 ? limit.firstValueText() : shown == 2 ? limit.secondValueText() : QString();
            setItem(row, column, cell(text, shown != 0));
        }
        setItem(row, WeightColumn, cell(limit.weight(), true));
        for (int k = 0; k < vars.size(); ++k) {
            const auto range = limit.rangeForIndex(k);
            const QString units = GoalGraphWidget::indepVarUnits(*m_goal, k);
            setItem(row, FirstRangeColumn + 2 * k,
                    cell(range ? goalcheck::boundDisplayText(range->lowerBound(), units) : QString(), true));
            setItem(row, FirstRangeColumn + 2 * k + 1,
                    cell(range ? goalcheck::boundDisplayText(range->upperBound(), units) : QString(), true));
        }
    }
    resizeColumnsToContents();
    for (int column = 0; column < columnCount(); ++column)
        setColumnWidth(column, std::max(columnWidth(column), column == NameColumn ? 90 : 64));
    m_populating = false;
    showProblems();
}

void GoalLimitsTableTWidget::showProblems()
{
    using goalcheck::LimitField;
    int count = 0;
    const int vars = m_goal ? int(m_goal->indepVarNames().size()) : 0;
    m_populating = true;
    for (int row = 0; m_goal && row < rowCount() && row < m_goal->limits().size(); ++row) {
        const OptimGoalLimitInput &limit = m_goal->limits().at(row);
        const int flags = goalcheck::limitProblems(*m_goal, row);
        count += mark(item(row, NameColumn), goalcheck::limitMessage(flags, LimitField::Name));
        for (int column : {MinColumn, MaxColumn}) {
            const int shown = valueShown(limit.limitType(), column);
            if (shown != 0)
                count += mark(item(row, column),
                              goalcheck::limitMessage(flags, shown == 1 ? LimitField::FirstValue : LimitField::SecondValue));
        }
        count += mark(item(row, WeightColumn), goalcheck::limitMessage(flags, LimitField::Weight));
        for (int k = 0; k < vars; ++k) {
            const auto range = limit.rangeForIndex(k);
            const int r = range ? goalcheck::rangeProblems(range->lowerBound(), range->upperBound(),
                                                           GoalGraphWidget::indepVarUnits(*m_goal, k))
                                : 0;
            count += mark(item(row, FirstRangeColumn + 2 * k), goalcheck::rangeMessage(r, false));
            count += mark(item(row, FirstRangeColumn + 2 * k + 1), goalcheck::rangeMessage(r, true));
        }
    }
    m_populating = false;
    m_errorCount = count;
    Q_EMIT errorCountChanged(count);
}

void GoalLimitsTableTWidget::updateLimitInfo(QTableWidgetItem *item)
{
    if (m_populating || !m_goal || !item)
        return;
    const int row = item->row();
    const int column = item->column();
    if (row < 0 || row >= m_goal->limits().size())
        return;
    OptimGoalLimitInput &limit = m_goal->limits()[row];
    const QString text = item->text();
    if (column == NameColumn) {
        limit.setName(text);
    } else if (column == WeightColumn) {
        limit.setWeight(text);
    } else if (column == MinColumn || column == MaxColumn) {
        const int shown = valueShown(limit.limitType(), column);
        if (shown == 1)
            limit.setLimit(limit.limitType(), text, limit.secondValueText());
        else if (shown == 2)
            limit.setLimit(limit.limitType(), limit.firstValueText(), text);
    } else if (column >= FirstRangeColumn) {
        const int k = (column - FirstRangeColumn) / 2;
        goalcheck::setRangeBound(limit, k, int(m_goal->indepVarNames().size()), (column - FirstRangeColumn) % 2 == 1, text);
    }
    showProblems();
}

void GoalLimitsTableTWidget::updateLimitType(int row, int typeIndex)
{
    if (m_populating || !m_goal || row < 0 || row >= m_goal->limits().size() || typeIndex < 0)
        return;
    OptimGoalLimitInput &limit = m_goal->limits()[row];
    // A one-value type drops the second value from the limit; it is kept
    // aside so that going back to Inside or Outside brings it back.
    QStringList &kept = keptSecondValues();
    const bool hadSecond = goalcheck::hasSecondValue(limit.limitType());
    if (hadSecond)
        kept[row] = limit.secondValueText();
    limit.setLimit(typeIndex, limit.firstValueText(), hadSecond ? limit.secondValueText() : kept.at(row));
    // The value cells change place and editability with the type.
    m_populating = true;
    for (int column : {MinColumn, MaxColumn}) {
        const int shown = valueShown(typeIndex, column);
        const QString text = shown == 1 ? limit.firstValueText() : shown == 2 ? limit.secondValueText() : QString();
        setItem(row, column, cell(text, shown != 0));
    }
    m_populating = false;
    showProblems();
}

void GoalLimitsTableTWidget::updateRangeVars()
{
    const int row = currentRow();
    populate();
    if (row >= 0 && row < rowCount())
        selectRow(row, NameColumn);
}

void GoalLimitsTableTWidget::selectRow(int row, int column)
{
    setCurrentCell(row, std::max(0, column));
    handleSelectionChanged();
}

void GoalLimitsTableTWidget::appendRow()
{
    if (!m_goal)
        return;
    QStringList taken;
    for (const OptimGoalLimitInput &limit : m_goal->limits())
        taken.append(limit.name());
    int n = int(m_goal->limits().size()) + 1;
    while (taken.contains(QStringLiteral("Limit%1").arg(n)))
        ++n;
    OptimGoalLimitInput limit;
    limit.setName(QStringLiteral("Limit%1").arg(n));
    limit.setWeight(QStringLiteral("1.0"));
    keptSecondValues().append(QString());
    m_goal->limits().append(limit);
    populate();
    const int row = rowCount() - 1;
    selectRow(row, NameColumn);
    editItem(item(row, NameColumn));
}

void GoalLimitsTableTWidget::moveSelectedRow(int by)
{
    const int row = currentRow();
    const int to = row + by;
    if (!m_goal || row < 0 || to < 0 || to >= m_goal->limits().size())
        return;
    const int column = currentColumn();
    OptimItemList<OptimGoalLimitInput> &limits = m_goal->limits();
    const OptimGoalLimitInput moved = limits.at(row);
    limits.replace(row, limits.at(to));
    limits.replace(to, moved);
    keptSecondValues().swapItemsAt(row, to);
    populate();
    selectRow(to, column);
}

void GoalLimitsTableTWidget::moveSelectedRowUp()
{
    moveSelectedRow(-1);
}

void GoalLimitsTableTWidget::moveSelectedRowDown()
{
    moveSelectedRow(1);
}

void GoalLimitsTableTWidget::deleteSelectedRow()
{
    const int row = currentRow();
    if (!m_goal || row < 0 || row >= m_goal->limits().size())
        return;
    keptSecondValues().removeAt(row);
    m_goal->limits().removeAt(row);
    populate();
    if (rowCount() > 0)
        selectRow(std::min(row, rowCount() - 1), currentColumn());
    else
        handleSelectionChanged();
}

void GoalLimitsTableTWidget::handleSelectionChanged()
{
    Q_EMIT rowSelected(currentRow(), rowCount());
}

void GoalLimitsTableTWidget::handleRowsInsertedOrRemoved()
{
    Q_EMIT rowSelected(currentRow(), rowCount());
}
