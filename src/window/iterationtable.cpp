#include "iterationtable.h"

#include "graphs/graphscale.h"
#include "graphs/graphwidget.h"
#include "units/realstringparser.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>

#include <QHeaderView>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

IterationTableModel::IterationTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void IterationTableModel::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &IterationTableModel::scheduleRefresh);
        connect(m, &OptimizationModelObject::variableChanged, this, &IterationTableModel::scheduleRefresh);
        connect(m, &OptimizationModelObject::variablesChanged, this, &IterationTableModel::scheduleRefresh);
        connect(m, &OptimizationModelObject::variableAdded, this, &IterationTableModel::scheduleRefresh);
    }, OnModelDeleted::UnbindView);
    beginResetModel();
    m_rows = 0;
    m_columns = 2;
    m_order.clear();
    m_keys.clear();
    m_sortColumn = -1;
    endResetModel();
    refresh();
}

void IterationTableModel::scheduleRefresh()
{
    // One iteration emits a signal per variable: look at the histories once,
    // after all of them.
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_refreshPending)
            refresh();
    });
}

qsizetype IterationTableModel::historyLength() const
{
    if (!m_model)
        return 0;
    const OptimModelHistory &history = m_model->model().history();
    qsizetype n = history.algorithm().values().size();
    for (const OptimVarHistory &variable : history.variables())
        n = std::max(n, variable.values().size());
    return n;
}

void IterationTableModel::refresh()
{
    m_refreshPending = false;
    const int columns = m_model ? 2 + int(m_model->model().variableCount()) : 2;
    const int rows = int(std::min<qsizetype>(historyLength(), std::numeric_limits<int>::max()));
    if (columns != m_columns || rows < m_rows) {
        beginResetModel();
        m_columns = columns;
        m_rows = rows;
        rebuildKeys();
        endResetModel();
        return;
    }
    bool resort = false;
    if (m_rows > 0) {
        // The latest iteration may have been rewritten (a tuned value).
        const int last = m_rows - 1;
        if (m_sortColumn > 0) {
            const double before = m_keys[size_t(last)];
            m_keys.pop_back();
            appendKeys(last, last + 1);
            const double now = m_keys[size_t(last)];
            resort = !(before == now || (std::isnan(before) && std::isnan(now)));
        }
        const int row = rowOf(last);
        Q_EMIT dataChanged(index(row, 0), index(row, m_columns - 1));
    }
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
    while (m_rows < rows) {
        const int iteration = m_rows;
        appendKeys(iteration, iteration + 1);
        const int row = m_sortColumn < 0 ? iteration : sortedPosition(iteration);
        beginInsertRows(QModelIndex(), row, row);
        if (m_sortColumn >= 0)
            m_order.insert(m_order.begin() + row, iteration);
        ++m_rows;
        endInsertRows();
    }
    if (resort)
        sort(m_sortColumn, m_sortOrder);
}

int IterationTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int IterationTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

const OptimHistoryValues *IterationTableModel::columnValues(int column) const
{
    if (!m_model || column < 1 || column >= m_columns)
        return nullptr;
    const OptimModelHistory &history = m_model->model().history();
    if (column == 1)
        return &history.algorithm().values();
    if (column - 2 < history.variables().size())
        return &history.variables().at(column - 2).values();
    return nullptr;
}

QVariant IterationTableModel::data(const QModelIndex &index, int role) const
{
    const int iteration = iterationAt(index.row());
    if (iteration < 0 || index.column() >= m_columns)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (index.column() == 0)
        return role == Qt::DisplayRole || role == Qt::EditRole ? QVariant(iteration) : QVariant();
    // The edit role holds the number in base units (what a copy takes), or
    // the text when it is no number.
    if (role == Qt::EditRole) {
        if (const std::optional<double> number = numberAt(index.column(), iteration))
            return *number;
        role = Qt::DisplayRole;
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    const OptimHistoryValues *values = columnValues(index.column());
    return values ? values->value(iteration) : QString();
}

QVariant IterationTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("Iteration");
    if (section == 1)
        return QStringLiteral("Error");
    // The definitions may have shrunk before the next refresh.
    if (!m_model || section - 2 >= m_model->model().variableCount())
        return QVariant();
    const OptimVarInput &variable = m_model->model().variable(section - 2);
    const QString name = variable.name().isEmpty() ? variable.netlistName() : variable.name();
    return variable.unit().trimmed().isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, variable.unit().trimmed());
}

int IterationTableModel::iterationAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return -1;
    return m_sortColumn < 0 ? row : m_order[size_t(row)];
}

int IterationTableModel::rowOf(int iteration) const
{
    if (iteration < 0 || iteration >= m_rows)
        return -1;
    if (m_sortColumn < 0)
        return iteration;
    const auto at = std::find(m_order.begin(), m_order.end(), iteration);
    return at == m_order.end() ? -1 : int(at - m_order.begin());
}

double IterationTableModel::key(int iteration) const
{
    return m_keys[size_t(iteration)];
}

void IterationTableModel::rebuildKeys()
{
    m_keys.clear();
    if (m_sortColumn < 0) {
        m_order.clear();
        return;
    }
    appendKeys(0, m_rows);
    m_order.resize(size_t(m_rows));
    for (int i = 0; i < m_rows; ++i)
        m_order[size_t(i)] = i;
    std::stable_sort(m_order.begin(), m_order.end(), [this](int a, int b) { return lessThan(a, b); });
}

void IterationTableModel::appendKeys(int from, int to)
{
    if (m_sortColumn < 0)
        return;
    // Iterations arrive here one at a time: reserving exactly `to` on each
    // would copy every key per iteration, so only a full rebuild reserves.
    if (from == 0)
        m_keys.reserve(size_t(to));
    const QString unit = columnUnit(m_sortColumn);
    const double scale = unit.isEmpty() ? 1.0 : RealStringParser::toDouble(QStringLiteral("1"), nullptr, unit);
    for (int i = from; i < to; ++i) {
        double value = std::numeric_limits<double>::quiet_NaN();
        if (m_sortColumn == 0) {
            value = i;
        } else if (const OptimHistoryValues *values = columnValues(m_sortColumn); values && i < values->size()) {
            // Keys are in base units: a bare number is in the column's unit,
            // a text with a unit or suffix ("13 nH") is read with it.
            const double number = values->numbers().at(i);
            value = std::isnan(number) || scale == 0 ? numberAt(m_sortColumn, i).value_or(value) : number * scale;
        }
        m_keys.push_back(value);
    }
}

QString IterationTableModel::columnUnit(int column) const
{
    if (!m_model || column < 2 || column - 2 >= m_model->model().variableCount())
        return QString();
    return m_model->model().variable(column - 2).unit().trimmed();
}

std::optional<double> IterationTableModel::numberAt(int column, int iteration) const
{
    const OptimHistoryValues *values = columnValues(column);
    if (!values || iteration < 0 || iteration >= values->size())
        return std::nullopt;
    const QString unit = columnUnit(column);
    if (unit.isEmpty())
        return GraphScale::parseValue(values->at(iteration));
    bool ok = false;
    const double value = RealStringParser::toDouble(values->at(iteration), &ok, unit);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// Numbers in the chosen order, then the texts without a number; ties keep
// iteration order.
bool IterationTableModel::lessThan(int a, int b) const
{
    const double ka = key(a);
    const double kb = key(b);
    const bool na = std::isnan(ka);
    const bool nb = std::isnan(kb);
    if (na || nb)
        return na != nb ? nb : a < b;
    if (ka != kb)
        return m_sortOrder == Qt::AscendingOrder ? ka < kb : ka > kb;
    return a < b;
}

int IterationTableModel::sortedPosition(int iteration) const
{
    const auto at = std::upper_bound(m_order.begin(), m_order.end(), iteration,
                                     [this](int a, int b) { return lessThan(a, b); });
    return int(at - m_order.begin());
}

void IterationTableModel::sort(int column, Qt::SortOrder order)
{
    if (column >= m_columns)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> iterations;
    for (const QModelIndex &index : before)
        iterations.append(iterationAt(index.row()));
    m_sortColumn = column;
    m_sortOrder = order;
    rebuildKeys();
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(index(rowOf(iterations.at(i)), before.at(i).column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---------------------------------------------------------------------------

IterationTableView::IterationTableView(QWidget *parent)
    : QTableView(parent)
    , m_table(new IterationTableModel(this))
{
    setObjectName(QStringLiteral("iterationTable"));
    QTableView::setModel(m_table);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    // Fixed row heights and column widths: nothing is measured per row, so
    // 100,000 rows cost no more than the visible ones.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultSectionSize(90);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        const int iteration = m_table->iterationAt(current.row());
        markIteration(iteration);
        Q_EMIT iterationSelected(iteration);
    });
}

void IterationTableView::keyPressEvent(QKeyEvent *event)
{
    // A copy takes the cell's number, so a spreadsheet reads it.
    if (event == QKeySequence::Copy && currentIndex().isValid()) {
        const QVariant value = currentIndex().data(Qt::EditRole);
        QGuiApplication::clipboard()->setText(value.typeId() == QMetaType::Double
                                                  ? QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)
                                                  : value.toString());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void IterationTableView::setOptimization(OptimizationModelObject *model)
{
    m_table->setModel(model);
}

int IterationTableView::selectedIteration() const
{
    return m_table->iterationAt(currentIndex().row());
}

void IterationTableView::markIteration(int iteration)
{
    if (QWidget *top = window()) {
        for (GraphWidget *graph : top->findChildren<GraphWidget *>())
            graph->setMarkedIndex(iteration);
    }
}
