#include "vartextview.h"

#include "design/varvalues.h"
#include "model/optimizationmodelobject.h"
#include "modelbinding.h"
#include "varsliderwidget.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QLabel>
#include <QEvent>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// A listed design value for a position text, else the text with its unit.
QString shown(const OptimVarInput &variable, const QString &text)
{
    if (VarValues::hasValueList(variable)) {
        bool isInt = false;
        const int position = text.trimmed().toInt(&isInt);
        if (isInt && position >= 0 && position < variable.designValues().size())
            return variable.designValues().at(position);
        return text.trimmed();
    }
    return VarValues::withUnits(text, variable.unit());
}

} // namespace

VarTextView::VarTextView(QWidget *parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
    , m_emptyLabel(new QLabel(QStringLiteral("No variables to view"), this))
    , m_table(new QTableWidget(0, 3, this))
    , m_queue(this, [this](int varIndex) { updateVariable(varIndex); })
{
    setObjectName(QStringLiteral("varTextView"));
    m_emptyLabel->setObjectName(QStringLiteral("noVariablesLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_table->setObjectName(QStringLiteral("varTextTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Constraint")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_stack->addWidget(m_emptyLabel);
    m_stack->addWidget(m_table);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    // Scrolling and resizing bring marked rows into sight.
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, &VarTextView::catchUpRows);
    m_table->viewport()->installEventFilter(this);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!m_selecting && row >= 0) {
            m_selectedVariable = row;
            Q_EMIT variableSelected(row);
        }
    });
    updateView();
}

OptimizationModelObject *VarTextView::model() const
{
    return m_model;
}

void VarTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::variableAdded, this, &VarTextView::updateView);
        connect(m, &OptimizationModelObject::variableChanged, this, [this](int k) { m_queue.add(k); });
        connect(m, &OptimizationModelObject::variablesChanged, this, [this](int count) {
            for (int k = 0; k < count; ++k)
                m_queue.add(k);
        });
    });
    updateView();
}

bool VarTextView::showsEmptyText() const
{
    return m_stack->currentWidget() == m_emptyLabel;
}

QString VarTextView::constraintText(const OptimVarInput &variable)
{
    const QString p1 = shown(variable, variable.param1());
    const QString p2 = shown(variable, variable.param2());
    switch (variable.constraintType()) {
    case ConstraintNone:
        return QStringLiteral("Unconstrained");
    case ConstraintRange:
        return p1 + QStringLiteral(" to ") + p2;
    case ConstraintDiscrete:
        if (VarValues::hasValueList(variable))
            return p1 + QStringLiteral(" to ") + p2 + QStringLiteral(" (listed values)");
        return p1 + QStringLiteral(" to ") + p2 + QStringLiteral(" by ")
            + VarValues::withUnits(variable.param3(), variable.unit());
    case ConstraintDeviation:
        return p1 + QStringLiteral(" +/- ") + p2;
    case ConstraintPercentage:
        return p1 + QStringLiteral(" +/- ") + variable.param2().trimmed() + QStringLiteral(" %");
    default:
        return QString();
    }
}

void VarTextView::setCell(int row, int column, const QString &text, bool enabled)
{
    QTableWidgetItem *item = m_table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        m_table->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
    const Qt::ItemFlags flags = enabled ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::ItemIsSelectable;
    if (item->flags() != flags)
        item->setFlags(flags);
}

void VarTextView::updateView()
{
    // A page that is not shown catches up when it shows.
    if (isHidden()) {
        m_dirty = true;
        return;
    }
    m_dirty = false;
    m_queue.clear();
    const qsizetype count = m_model ? m_model->model().variableCount() : 0;
    m_stack->setCurrentWidget(count == 0 ? static_cast<QWidget *>(m_emptyLabel) : m_table);
    if (m_table->rowCount() != count)
        m_table->setRowCount(int(count));
    m_stale.reset(count);
    for (int k = 0; k < count; ++k)
        updateRow(k);
    setSelectedVariable(m_selectedVariable);
}

void VarTextView::updateVariable(int varIndex)
{
    if (isHidden() || m_dirty || !m_model || varIndex >= m_table->rowCount()) {
        updateView();
        return;
    }
    if (varIndex < 0)
        return;
    if (rowInSight(varIndex)) {
        m_stale.take(varIndex);
        updateRow(varIndex);
    } else {
        m_stale.mark(varIndex);
    }
}

bool VarTextView::rowInSight(int k) const
{
    // Rows above the first or below the last one the viewport shows are out
    // of sight; a viewport that shows none (not laid out yet) takes all.
    const int first = m_table->rowAt(0);
    const int last = m_table->rowAt(m_table->viewport()->height() - 1);
    return first < 0 || (k >= first && (last < 0 || k <= last));
}

void VarTextView::catchUpRows()
{
    if (m_stale.isEmpty() || !m_model)
        return;
    const int count = std::min(m_table->rowCount(), int(m_model->model().variableCount()));
    for (int k = std::max(0, m_table->rowAt(0)); k < count && !m_stale.isEmpty(); ++k) {
        if (!rowInSight(k))
            break;
        if (m_stale.take(k))
            updateRow(k);
    }
}

bool VarTextView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        catchUpRows();
    return QWidget::eventFilter(watched, event);
}

void VarTextView::updateRow(int k)
{
    const OptimVarInput &variable = m_model->model().variable(k);
    const bool optimized = variable.optimizeFlagSet() && variable.optimize();
    setCell(k, 0, variable.displayName(), optimized);
    // The value with its unit is the text the other panels show (made once).
    const QString value = VarValues::hasValueList(variable)
        ? shown(variable, variable.value())
        : m_shownTexts ? m_shownTexts->withUnits(variable.value(), variable.unit(), k)
                       : VarValues::withUnits(variable.value(), variable.unit());
    setCell(k, 1, value, optimized);
    setCell(k, 2, constraintText(variable) + (optimized ? QString() : QStringLiteral(" (not optimized)")), optimized);
}

void VarTextView::flushPendingUpdates()
{
    m_queue.flush();
}

bool VarTextView::event(QEvent *event)
{
    // ShowToParent: the page became current (shown now or with its window).
    const bool result = QWidget::event(event);
    if ((event->type() == QEvent::ShowToParent || event->type() == QEvent::Show) && m_dirty)
        updateView();
    return result;
}

void VarTextView::setSelectedVariable(int varIndex)
{
    m_selectedVariable = varIndex;
    m_selecting = true;
    if (varIndex >= 0 && varIndex < m_table->rowCount())
        m_table->setCurrentCell(varIndex, 0);
    else
        m_table->clearSelection();
    m_selecting = false;
}

void VarTextView::clearSelection()
{
    setSelectedVariable(-1);
}
