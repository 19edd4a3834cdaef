#include "varhistoryview.h"

#include "design/varvalues.h"
#include "graphs/colorset.h"
#include "modelbinding.h"
#include "graphs/graphwidget.h"
#include "model/optimizationmodelobject.h"
#include "units/unitsparser.h"
#include "varsliderwidget.h"

#include <QEvent>
#include <QKeyEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

const QColor problemColor(255, 240, 120);

// Row heights: the least a row needs besides its name and field, and the
// most it grows to on a tall panel (beyond that the room stays below).
constexpr int minGraphHeight = 40;
constexpr int maxRowHeight = 170;

// The value as the field shows it: a value that reads in the variable's
// unit in the engineering form with that unit, as the slider beside it
// ("4.53535e-12" in F shows "4.53535 pF"); a listed design value as listed;
// any other text as it is. The text with the unit is the one the slider of
// variable varIndex shows too, made once for both (in texts, the window's).
QString shownValue(const OptimVarInput &variable, int varIndex, VarValues::ShownTexts *texts)
{
    if (VarValues::hasValueList(variable))
        return VarValues::fieldText(variable);
    if (!VarValues::number(variable.value(), variable.unit()))
        return variable.value();
    return texts ? texts->withUnits(variable.value(), variable.unit(), varIndex)
                 : VarValues::withUnits(variable.value(), variable.unit());
}

} // namespace

// ---------------------------------------------------------------- field

LineEditForTuning::LineEditForTuning(QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("varValueEdit"));
}

void LineEditForTuning::setProblem(const QString &problem)
{
    if (problem == m_problem)
        return;
    m_problem = problem;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, problem.isEmpty() ? QPalette().color(QPalette::Base) : problemColor);
    setPalette(pal);
    setToolTip(problem.isEmpty() ? m_normalToolTip : problem);
}

void LineEditForTuning::setNormalToolTip(const QString &toolTip)
{
    m_normalToolTip = toolTip;
    if (m_problem.isEmpty())
        setToolTip(toolTip);
}

void LineEditForTuning::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    Q_EMIT gotFocus();
}

void LineEditForTuning::mousePressEvent(QMouseEvent *event)
{
    QLineEdit::mousePressEvent(event);
    Q_EMIT gotFocus();
}

// ---------------------------------------------------------------- row

VarHistoryRow::VarHistoryRow(int varIndex, QWidget *parent)
    : QWidget(parent)
    , m_varIndex(varIndex)
    , m_nameLabel(new QLabel(this))
    , m_valueEdit(new LineEditForTuning(this))
    , m_unitLabel(new QLabel(this))
    , m_graph(new GraphWidget(this))
{
    setObjectName(QStringLiteral("varHistoryRow%1").arg(varIndex));
    m_nameLabel->setObjectName(QStringLiteral("varHistoryName"));
    m_unitLabel->setObjectName(QStringLiteral("varHistoryUnit"));
    m_valueEdit->setObjectName(QStringLiteral("varValueEdit%1").arg(varIndex));
    m_graph->setObjectName(QStringLiteral("varHistoryGraph%1").arg(varIndex));

    QFont bold = m_nameLabel->font();
    bold.setBold(true);
    m_nameLabel->setFont(bold);
    m_valueEdit->setFixedWidth(88);
    m_unitLabel->setMinimumWidth(24);
    m_graph->setEmptyText(QStringLiteral("No history yet"));
    // The view gives every row its share of the height (fitRowHeights).
    m_graph->setMinimumHeight(minGraphHeight);
    m_graph->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    m_graph->setSeriesColor(0, ColorSet(ColorSet::VarColors).color(varIndex));

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(2);
    layout->addWidget(m_nameLabel, 0, 0, 1, 2, Qt::AlignBottom);
    layout->addWidget(m_valueEdit, 1, 0, Qt::AlignTop);
    layout->addWidget(m_unitLabel, 1, 1, Qt::AlignTop);
    layout->addWidget(m_graph, 0, 2, 3, 1);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(2, 1);
}

double VarHistoryRow::readHistoryText(const QString &text) const
{
    constexpr double gap = std::numeric_limits<double>::quiet_NaN();
    QString valueText = text;
    if (!m_valueList.isEmpty()) {
        // A position in the design value list stands for the listed value.
        bool isInt = false;
        const int position = text.trimmed().toInt(&isInt);
        if (isInt) {
            if (position < 0 || position >= m_valueList.size())
                return gap;
            valueText = m_valueList.at(position);
        }
    }
    const std::optional<double> value = VarValues::number(valueText, m_unit);
    if (!value)
        return gap;
    // The graph holds base units (12 in nH is 1.2e-08 H), so its axis and
    // tooltip write each value with the prefix that suits it.
    const UnitsParser units(m_unit);
    return units.isAcceptable() ? units.toBase(*value) : *value;
}

void VarHistoryRow::updateDefinition(const OptimVarInput &variable)
{
    m_nameLabel->setText(variable.displayName());
    // The unit beside the field while the field shows a bare text (an empty
    // or unreadable value); a value that reads is shown with its unit.
    const bool reads = VarValues::hasValueList(variable) || VarValues::number(variable.value(), variable.unit());
    m_unitLabel->setText(reads ? QString() : variable.unit());
    m_unitLabel->setVisible(!m_unitLabel->text().isEmpty());
    m_graph->setSeriesName(0, variable.displayName());
    m_graph->setValueUnits(variable.unit());
}

void VarHistoryRow::updateHistory(const OptimVarInput &variable, const OptimHistoryValues &history)
{
    const QStringList valueList = VarValues::hasValueList(variable) ? variable.designValues() : QStringList();
    bool reread = variable.unit() != m_unit || valueList != m_valueList;
    m_unit = variable.unit();
    m_valueList = valueList;
    // A history that extends the one read before reads only its new texts.
    const qsizetype done = m_values.size();
    if (!reread && done > 0)
        reread = history.size() < done || history.first() != m_firstText || history.at(done - 1) != m_lastText;
    if (reread)
        m_values.clear();
    const qsizetype from = m_values.size();
    if (from == history.size() && !reread)
        return;
    for (qsizetype i = from; i < history.size(); ++i)
        m_values.append(readHistoryText(history.at(i)));
    m_firstText = history.isEmpty() ? QString() : history.first();
    m_lastText = history.isEmpty() ? QString() : history.last();
    m_graph->setSeries(m_values);
}

// ---------------------------------------------------------------- view

VarHistoryGraphsView::VarHistoryGraphsView(QWidget *parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
    , m_emptyLabel(new QLabel(QStringLiteral("No variables to view"), this))
    , m_scroll(new QScrollArea(this))
    , m_rowsWidget(new VarRowColumn(4, GraphWidget::selectionHighlightColor()))
    , m_queue(this, [this](int varIndex) { updateVar(varIndex); })
{
    setObjectName(QStringLiteral("varHistoryView"));
    m_rowsWidget->setObjectName(QStringLiteral("varHistoryRows"));
    m_rowsWidget->setRowFactory([this](int k) -> QWidget * { return new VarHistoryRow(k, m_rowsWidget); });
    connect(m_rowsWidget, &VarRowColumn::rowMade, this, &VarHistoryGraphsView::setUpRow);
    // A field with typed text that was not taken stays, far out of sight
    // or not.
    m_rowsWidget->setKeepRow([](QWidget *r) {
        const LineEditForTuning *edit = static_cast<VarHistoryRow *>(r)->valueEdit();
        return edit->isModified() || edit->hasProblem();
    });
    connect(m_rowsWidget, &VarRowColumn::rowDropped, this, [this](int k, QWidget *r) {
        auto *row = static_cast<VarHistoryRow *>(r);
        row->valueEdit()->disconnect(this);
        row->graph()->disconnect(this);
        m_stale.take(k);
    });
    m_emptyLabel->setObjectName(QStringLiteral("noHistoryLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_scroll->setObjectName(QStringLiteral("varHistoryScroll"));
    m_scroll->setWidget(m_rowsWidget);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->installEventFilter(this);
    // Scrolling moves the column of rows.
    m_rowsWidget->installEventFilter(this);
    m_stack->addWidget(m_emptyLabel);
    m_stack->addWidget(m_scroll);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    updateAll();
}

OptimizationModelObject *VarHistoryGraphsView::model() const
{
    return m_model;
}

void VarHistoryGraphsView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::variableAdded, this, &VarHistoryGraphsView::updateAll);
        connect(m, &OptimizationModelObject::variableChanged, this, [this](int k) { m_queue.add(k); });
        connect(m, &OptimizationModelObject::variablesChanged, this, [this](int count) {
            for (int k = 0; k < count; ++k)
                m_queue.add(k);
        });
    });
    m_selectedVariable = -1;
    rebuildRows();
}

void VarHistoryGraphsView::rebuildRows()
{
    m_queue.clear();
    const int count = m_model ? int(m_model->model().variableCount()) : 0;
    m_stale.reset(count);
    // Makes the rows in sight, each set up as it is made (setUpRow).
    m_rowsWidget->reset(count);
    fitRowHeights();
    setSelectedVariable(m_selectedVariable);
    m_stack->setCurrentWidget(count == 0 ? static_cast<QWidget *>(m_emptyLabel) : m_scroll);
}

VarHistoryRow *VarHistoryGraphsView::row(int varIndex) const
{
    return static_cast<VarHistoryRow *>(m_rowsWidget->row(varIndex));
}

VarHistoryRow *VarHistoryGraphsView::madeRow(int varIndex) const
{
    return static_cast<VarHistoryRow *>(m_rowsWidget->madeRow(varIndex));
}

void VarHistoryGraphsView::setUpRow(int k, QWidget *made)
{
    auto *r = static_cast<VarHistoryRow *>(made);
    r->graph()->setNumPointsShown(shownPointsFor(0), m_showAll);
    r->graph()->setUseAllData(m_useAllData);
    r->graph()->setHighlighted(k == m_selectedVariable);
    LineEditForTuning *edit = r->valueEdit();
    connect(edit, &QLineEdit::editingFinished, this, [this, k] { valueChanged(k); });
    connect(edit, &LineEditForTuning::gotFocus, this, [this, k] { setSelectedVariableByRow(k); });
    connect(r->graph(), &GraphWidget::clicked, this, [this, k] { setSelectedVariableByRow(k); });
    connect(r->graph(), &GraphWidget::rightMouseClick, this, &VarHistoryGraphsView::historyGraphRightMouseClick);
    applyEditable(r);
    edit->installEventFilter(this);
    if (m_model && k < m_model->model().variableCount())
        refreshRow(k);
}

void VarHistoryGraphsView::updateAll()
{
    const qsizetype count = m_model ? m_model->model().variableCount() : 0;
    if (count != m_rowsWidget->count()) {
        rebuildRows();
        return;
    }
    for (const auto &[k, r] : m_rowsWidget->madeRows())
        updateVar(k);
}

void VarHistoryGraphsView::updateVar(int varIndex)
{
    if (!m_model)
        return;
    const OptimizationModel &model = m_model->model();
    if (varIndex < 0 || varIndex >= model.variableCount())
        return;
    if (varIndex >= m_rowsWidget->count()) {
        rebuildRows();
        return;
    }
    // A row not made yet takes the variable when it is made; a row out of
    // sight (most of a long column, all of a hidden page) takes its field,
    // name and graph when it comes into sight.
    VarHistoryRow *r = madeRow(varIndex);
    if (!r)
        return;
    if (!VarStaleRows::inSight(r, m_scroll)) {
        m_stale.mark(varIndex);
        return;
    }
    refreshRow(varIndex);
}

void VarHistoryGraphsView::refreshRow(int varIndex)
{
    m_stale.take(varIndex);
    const OptimizationModel &model = m_model->model();
    VarHistoryRow *r = madeRow(varIndex);
    const OptimVarInput &variable = model.variable(varIndex);
    r->updateDefinition(variable);

    // The field follows the value, unless the user is typing in it.
    LineEditForTuning *edit = r->valueEdit();
    const QString shown = shownValue(variable, varIndex, m_shownTexts.get());
    if (!(edit->hasFocus() && edit->isModified()) && edit->text() != shown) {
        edit->setText(shown);
        edit->setCursorPosition(0);
        edit->setProblem(QString());
    }
    edit->setPlaceholderText(variable.value().isEmpty() ? QStringLiteral("value") : QString());

    static const OptimHistoryValues noHistory;
    const OptimHistoryValues &history = varIndex < model.history().variables().count()
        ? model.history().variables().at(varIndex).values()
        : noHistory;
    r->updateHistory(variable, history);
    r->graph()->setNumPointsShown(shownPointsFor(history.size()), m_showAll);
}

bool VarHistoryGraphsView::eventFilter(QObject *watched, QEvent *event)
{
    if (auto *edit = qobject_cast<LineEditForTuning *>(watched)) {
        const auto *row = qobject_cast<const VarHistoryRow *>(edit->parentWidget());
        const int k = row ? row->varIndex() : -1;
        const bool known = m_model && k >= 0 && madeRow(k) == row
            && k < m_model->model().variableCount();
        // A field that missed values while out of sight (focused, then
        // scrolled away) takes the current one before it handles a key: an
        // Enter would otherwise send its old text as a new value.
        if (known && VarStaleRows::isInput(event) && m_stale.take(k))
            refreshRow(k);
        if (known && event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            revertField(k);
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        fitRowHeights();
    // Scrolling and resizing bring rows into sight.
    if (VarStaleRows::mayReveal(event))
        catchUpRows();
    return QWidget::eventFilter(watched, event);
}

bool VarHistoryGraphsView::event(QEvent *event)
{
    const bool result = QWidget::event(event);
    if (VarStaleRows::mayReveal(event))
        catchUpRows();
    return result;
}

void VarHistoryGraphsView::revertField(int varIndex)
{
    // Escape drops what was typed: the field shows the model's value again.
    LineEditForTuning *edit = madeRow(varIndex)->valueEdit();
    edit->setText(shownValue(m_model->model().variable(varIndex), varIndex, m_shownTexts.get()));
    edit->setCursorPosition(0);
    edit->setProblem(QString());
    edit->setModified(false);
}

void VarHistoryGraphsView::catchUpRows()
{
    if (m_stale.isEmpty())
        return;
    const auto [first, last] = m_rowsWidget->indicesInSight();
    for (int k = first; k <= last && !m_stale.isEmpty(); ++k) {
        VarHistoryRow *r = madeRow(k);
        if (r && VarStaleRows::inSight(r, m_scroll) && m_stale.take(k))
            updateVar(k);
    }
}

void VarHistoryGraphsView::fitRowHeights()
{
    const int count = m_rowsWidget->count();
    if (count == 0)
        return;
    // The rows share the visible height: a tall panel makes every graph
    // taller (up to maxRowHeight), a short one keeps each row at what its
    // name and field need and scrolls.
    const int room = m_scroll->viewport()->height() - 4 - m_rowsWidget->spacing() * (count - 1);
    const int least = row(0)->minimumSizeHint().height();
    m_rowsWidget->setRowHeight(std::clamp(room / count, least, std::max(least, maxRowHeight)));
}

void VarHistoryGraphsView::flushPendingUpdates()
{
    m_queue.flush();
}

int VarHistoryGraphsView::shownPointsFor(qsizetype historyLength) const
{
    if (m_showAll && historyLength > m_numPoints)
        return 0;
    return m_numPoints;
}

void VarHistoryGraphsView::setShowsAllIterations(bool all)
{
    if (all == m_showAll)
        return;
    m_showAll = all;
    setNumberOfHistoryPointsToShow(m_numPoints);
}

void VarHistoryGraphsView::setNumberOfHistoryPointsToShow(int num)
{
    m_numPoints = std::max(0, num);
    for (const auto &[k, made] : m_rowsWidget->madeRows()) {
        GraphWidget *graph = static_cast<VarHistoryRow *>(made)->graph();
        graph->setNumPointsShown(shownPointsFor(graph->pointCount()), m_showAll);
    }
}

void VarHistoryGraphsView::setYAutoScaleUsingAllData(bool useAllData)
{
    m_useAllData = useAllData;
    for (const auto &[k, r] : m_rowsWidget->madeRows())
        static_cast<VarHistoryRow *>(r)->graph()->setUseAllData(useAllData);
}

void VarHistoryGraphsView::setSelectedVariable(int varIndex)
{
    if (varIndex < 0 || varIndex >= m_rowsWidget->count())
        varIndex = -1;
    m_selectedVariable = varIndex;
    m_rowsWidget->setSelectedIndex(varIndex);
    for (const auto &[k, r] : m_rowsWidget->madeRows())
        static_cast<VarHistoryRow *>(r)->graph()->setHighlighted(k == varIndex);
    m_rowsWidget->ensureRowVisible(varIndex);
}

void VarHistoryGraphsView::clearSelection()
{
    setSelectedVariable(-1);
}

void VarHistoryGraphsView::setSelectedVariableByRow(int rowIndex)
{
    if (rowIndex < 0 || rowIndex >= m_rowsWidget->count())
        return;
    const int varIndex = rowIndex;
    const bool changed = varIndex != m_selectedVariable;
    setSelectedVariable(varIndex);
    if (changed)
        Q_EMIT variableSelected(varIndex);
}

void VarHistoryGraphsView::setEditable(bool editable)
{
    m_editable = editable;
    for (const auto &[k, r] : m_rowsWidget->madeRows())
        applyEditable(static_cast<VarHistoryRow *>(r));
}

void VarHistoryGraphsView::applyEditable(VarHistoryRow *row)
{
    LineEditForTuning *edit = row->valueEdit();
    edit->setReadOnly(!m_editable);
    if (m_editable) {
        edit->setNormalToolTip(QStringLiteral("Type a value and press Enter to tune"));
        return;
    }
    // Outside tuning the field shows the value; anything typed and not
    // sent is dropped.
    edit->setNormalToolTip(QStringLiteral("Start tuning to type values"));
    edit->setProblem(QString());
    if (m_model && row->varIndex() < m_model->model().variableCount()) {
        const QString value = shownValue(m_model->model().variable(row->varIndex()), row->varIndex(), m_shownTexts.get());
        if (edit->text() != value)
            edit->setText(value);
    }
    edit->setModified(false);
}

void VarHistoryGraphsView::valueChanged(int varIndex)
{
    VarHistoryRow *r = madeRow(varIndex);
    if (!m_model || !r || varIndex >= m_model->model().variableCount())
        return;
    LineEditForTuning *edit = r->valueEdit();
    if (!m_editable || edit->isReadOnly())
        return;
    const OptimVarInput &variable = m_model->model().variable(varIndex);
    const QString text = edit->text().trimmed();
    if (text == shownValue(variable, varIndex, m_shownTexts.get()) || text == VarValues::fieldText(variable) || text == variable.value()) {
        edit->setProblem(QString());
        edit->setModified(false);
        return;
    }
    QString problem;
    if (!VarValues::isAcceptable(variable, text, &problem)) {
        edit->setProblem(problem.isEmpty() ? QStringLiteral("Not a value") : problem);
        return;
    }
    edit->setProblem(QString());
    edit->setModified(false);
    if (edit->text() != text)
        edit->setText(text);
    // Copies: the signal's receivers change the model this came from. A
    // listed value goes to the simulator as its position.
    const QString netlistName = variable.netlistName();
    const QString sent = VarValues::hasValueList(variable) ? QString::number(*VarValues::listPosition(variable, text)) : text;
    Q_EMIT variableChanged(netlistName, sent);
}
