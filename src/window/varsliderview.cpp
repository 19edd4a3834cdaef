#include "varsliderview.h"

#include "model/optimizationmodelobject.h"
#include "modelbinding.h"
#include "varsliderwidget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QColor selectionColor(200, 225, 255);

bool isEnabledVariable(const OptimVarInput &variable)
{
    return variable.optimizeFlagSet() && variable.optimize();
}

// Fixes the value label's size at one line of its font and the width of
// text, at least 72 px; the width only grows with the values shown. A new
// value on every iteration then repaints the label alone, without laying
// out the whole column of rows again. The text is measured by its
// characters' advances (a pixel or two to spare for kerning), not shaped.
void fitValueLabel(QLabel *label, const QString &text)
{
    const QFontMetrics fm = label->fontMetrics();
    if (label->minimumHeight() != fm.height() || label->maximumHeight() != fm.height())
        label->setFixedHeight(fm.height());
    int textWidth = 2;
    for (const QChar c : text)
        textWidth += fm.horizontalAdvance(c);
    const int width = std::max({72, label->minimumWidth(), textWidth});
    if (width != label->minimumWidth() || width != label->maximumWidth())
        label->setFixedWidth(width);
}

} // namespace

// ---------------------------------------------------------------- row

VarSliderRow::VarSliderRow(int varIndex, QWidget *parent)
    : QWidget(parent)
    , m_varIndex(varIndex)
    , m_nameLabel(new QLabel(this))
    , m_slider(new VarSliderWidget(this))
    , m_valueLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("varSliderRow%1").arg(varIndex));
    m_nameLabel->setObjectName(QStringLiteral("varSliderName"));
    m_valueLabel->setObjectName(QStringLiteral("varSliderValue"));
    m_slider->setObjectName(QStringLiteral("varSlider%1").arg(varIndex));
    m_slider->setVariableIndex(varIndex);

    m_nameLabel->setMinimumWidth(40);
    m_nameLabel->setMaximumWidth(110);
    m_valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_nameLabel->installEventFilter(this);
    m_valueLabel->installEventFilter(this);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(6);
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_valueLabel, 0, Qt::AlignVCenter);
    fitValueLabel(m_valueLabel, QString());

    connect(m_slider, &VarSliderWidget::displayChanged, this, &VarSliderRow::updateLabels);
    connect(m_slider, &VarSliderWidget::activated, this, &VarSliderRow::activated);
}

void VarSliderRow::updateLabels()
{
    m_nameLabel->setText(m_slider->name());
    const QString value = m_slider->displayValue();
    if (value != m_valueLabel->text()) {
        fitValueLabel(m_valueLabel, value);
        m_valueLabel->setText(value);
    }
    // The slider's tooltip follows every new value: the labels take it when
    // one is asked for (eventFilter), not here.
    const QString why =
        m_slider->mapping().ok ? QString() : QStringLiteral("%1 has no range to tune over.").arg(m_slider->name());
    if (m_nameLabel->toolTip() != why) {
        m_nameLabel->setToolTip(why);
        m_valueLabel->setToolTip(why);
    }
}

bool VarSliderRow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_nameLabel && watched != m_valueLabel)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress)
        Q_EMIT activated();
    if (event->type() == QEvent::FontChange && watched == m_valueLabel)
        fitValueLabel(m_valueLabel, m_valueLabel->text());
    if (event->type() == QEvent::ToolTip && m_slider->mapping().ok)
        static_cast<QWidget *>(watched)->setToolTip(m_slider->toolTipText());
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- column

VarSlidersWidget::VarSlidersWidget(QWidget *parent)
    : VarRowColumn(2, selectionColor, parent)
{
    setObjectName(QStringLiteral("varSliders"));
    setRowFactory([this](int index) -> QWidget * {
        auto *r = new VarSliderRow(m_varIndices.at(index), this);
        r->slider()->setUpdatesValue(m_updatesValue);
        r->slider()->setShownTexts(m_shownTexts);
        connect(r, &VarSliderRow::activated, this, [this, index] {
            setSelectedIndex(index);
            if (VarSliderRow *selected = madeRow(index))
                Q_EMIT sliderSelected(static_cast<QWidget *>(selected));
            Q_EMIT sliderSelected(index);
        });
        return r;
    });
}

void VarSlidersWidget::setShownTexts(const std::shared_ptr<VarValues::ShownTexts> &texts)
{
    m_shownTexts = texts;
    for (int i = 0; i < count(); ++i) {
        if (VarSliderRow *r = madeRow(i))
            r->slider()->setShownTexts(texts);
    }
}

VarSliderRow *VarSlidersWidget::row(int sliderIndex)
{
    return static_cast<VarSliderRow *>(VarRowColumn::row(sliderIndex));
}

VarSliderRow *VarSlidersWidget::madeRow(int sliderIndex) const
{
    return static_cast<VarSliderRow *>(VarRowColumn::madeRow(sliderIndex));
}

VarSliderWidget *VarSlidersWidget::slider(int sliderIndex)
{
    VarSliderRow *r = row(sliderIndex);
    return r ? r->slider() : nullptr;
}

void VarSlidersWidget::setRows(const QList<int> &varIndices)
{
    m_varIndices = varIndices;
    reset(int(varIndices.size()));
}

void VarSlidersWidget::setUpdatesValue(bool updatesValue)
{
    m_updatesValue = updatesValue;
    for (const auto &[index, r] : madeRows())
        static_cast<VarSliderRow *>(r)->slider()->setUpdatesValue(updatesValue);
}

// ---------------------------------------------------------------- view

VarSliderView::VarSliderView(QWidget *parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
    , m_emptyLabel(new QLabel(QStringLiteral("There are no optimization variables enabled."), this))
    , m_scroll(new QScrollArea(this))
    , m_sliders(new VarSlidersWidget)
    , m_queue(this, [this](int varIndex) { updateVariable(varIndex); })
{
    setObjectName(QStringLiteral("varSliderView"));
    m_stack->setObjectName(QStringLiteral("varSliderStack"));
    m_emptyLabel->setObjectName(QStringLiteral("noSlidersLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setWordWrap(true);
    m_scroll->setObjectName(QStringLiteral("varSliderScroll"));
    m_scroll->setWidget(m_sliders);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_stack->addWidget(m_emptyLabel);
    m_stack->addWidget(m_scroll);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    connect(m_sliders, qOverload<int>(&VarSlidersWidget::sliderSelected), this, &VarSliderView::handleSliderSelected);
    connect(m_sliders, &VarRowColumn::rowMade, this, &VarSliderView::setUpRow);
    m_sliders->setKeepRow([](QWidget *r) { return static_cast<VarSliderRow *>(r)->slider()->isSliderDown(); });
    connect(m_sliders, &VarRowColumn::rowDropped, this, [this](int s, QWidget *r) {
        static_cast<VarSliderRow *>(r)->slider()->disconnect(this);
        m_stale.take(s);
    });
    // Scrolling moves the column; a taller viewport shows more rows.
    m_sliders->installEventFilter(this);
    m_scroll->viewport()->installEventFilter(this);
    updateView();
}

bool VarSliderView::event(QEvent *event)
{
    const bool result = QWidget::event(event);
    if (VarStaleRows::mayReveal(event))
        catchUpRows();
    return result;
}

bool VarSliderView::eventFilter(QObject *watched, QEvent *event)
{
    // A slider that missed values while out of sight (focused, then
    // scrolled away) takes the current one before it handles input: an
    // arrow key then steps from the value the variable has, not an old one.
    if (VarStaleRows::isInput(event)) {
        if (auto *slider = qobject_cast<VarSliderWidget *>(watched)) {
            const auto *row = qobject_cast<const VarSliderRow *>(slider->parentWidget());
            const int s = row ? m_sliderOfVariable.value(row->varIndex(), -1) : -1;
            if (s >= 0 && m_sliders->madeRow(s) == row && m_stale.take(s) && m_model
                && row->varIndex() < m_model->model().variableCount()
                && isEnabledVariable(m_model->model().variable(row->varIndex())))
                setUpSlider(m_sliders->madeRow(s));
        }
    }
    // Scrolling and resizing bring rows into sight.
    if (VarStaleRows::mayReveal(event))
        catchUpRows();
    return QWidget::eventFilter(watched, event);
}

void VarSliderView::catchUpRows()
{
    if (m_stale.isEmpty())
        return;
    const auto [first, last] = m_sliders->indicesInSight();
    for (int s = first; s <= last && !m_stale.isEmpty(); ++s) {
        // A row's update may make the rows anew (a variable switched off).
        VarSliderRow *row = m_sliders->madeRow(s);
        if (row && VarStaleRows::inSight(row, m_scroll) && m_stale.take(s))
            updateVariable(row->varIndex());
    }
}

OptimizationModelObject *VarSliderView::model() const
{
    return m_model;
}

void VarSliderView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::variableAdded, this, &VarSliderView::updateView);
        connect(m, &OptimizationModelObject::variableChanged, this, [this](int k) { m_queue.add(k); });
        connect(m, &OptimizationModelObject::variablesChanged, this, [this](int count) {
            for (int k = 0; k < count; ++k)
                m_queue.add(k);
        });
    });
    m_selectedVariable = -1;
    updateView();
}

VarSliderWidget *VarSliderView::sliderForVariable(int varIndex) const
{
    return m_sliders->slider(m_sliderOfVariable.value(varIndex, -1));
}

QList<int> VarSliderView::enabledVariables() const
{
    QList<int> indices;
    if (!m_model)
        return indices;
    const OptimizationModel &model = m_model->model();
    for (qsizetype k = 0; k < model.variableCount(); ++k) {
        if (isEnabledVariable(model.variable(k)))
            indices.append(int(k));
    }
    return indices;
}

void VarSliderView::flushPendingUpdates()
{
    m_queue.flush();
}

void VarSliderView::updateView()
{
    m_queue.clear();
    const QList<int> indices = enabledVariables();
    const qsizetype variableCount = m_model ? m_model->model().variableCount() : 0;
    m_sliderOfVariable = QList<int>(variableCount, -1);
    for (int s = 0; s < indices.size(); ++s)
        m_sliderOfVariable[indices.at(s)] = s;
    m_stale.reset(indices.size());
    // Makes the rows in sight, each set up as it is made (setUpRow).
    m_sliders->setRows(indices);
    m_sliders->setSelectedIndex(m_sliderOfVariable.value(m_selectedVariable, -1));
    m_stack->setCurrentWidget(indices.isEmpty() ? static_cast<QWidget *>(m_emptyLabel) : m_scroll);
    Q_EMIT rowsChanged();
}

int VarSliderView::preferredHeight() const
{
    if (m_sliders->count() == 0)
        return m_emptyLabel->sizeHint().height() + 16;
    return m_sliders->sizeHint().height() + 2 * m_scroll->frameWidth() + 2;
}

void VarSliderView::updateVariable(int varIndex)
{
    if (!m_model)
        return;
    const OptimizationModel &model = m_model->model();
    if (varIndex < 0 || varIndex >= model.variableCount() || varIndex >= m_sliderOfVariable.size()) {
        updateView();
        return;
    }
    // A variable switched on or off in the editor adds or removes a row.
    const bool shown = m_sliderOfVariable.at(varIndex) >= 0;
    if (shown != isEnabledVariable(model.variable(varIndex))) {
        updateView();
        return;
    }
    if (!shown)
        return;
    // A row not made yet takes the variable when it is made; rows out of
    // sight take the value when they come into sight.
    const int s = m_sliderOfVariable.at(varIndex);
    VarSliderRow *row = m_sliders->madeRow(s);
    if (!row)
        return;
    if (!VarStaleRows::inSight(row, m_scroll)) {
        m_stale.mark(s);
        return;
    }
    m_stale.take(s);
    setUpSlider(row);
}

void VarSliderView::setUpRow(int, QWidget *made)
{
    auto *row = static_cast<VarSliderRow *>(made);
    row->slider()->installEventFilter(this);
    connect(row->slider(), &VarSliderWidget::tuneValueChanged, this, &VarSliderView::variableChanged);
    setUpSlider(row);
}

void VarSliderView::setUpSlider(VarSliderRow *row)
{
    if (!row || !m_model)
        return;
    VarSliderWidget *slider = row->slider();
    slider->setVariable(m_model->model().variable(row->varIndex()));
    slider->setTracking(m_tracking);
    slider->setTuneWhileMoving(m_tuneMode == TuneWhileSliderMoves);
    applyEnabled(row);
    row->updateLabels();
}

void VarSliderView::applyEnabled(VarSliderRow *row)
{
    VarSliderWidget *slider = row->slider();
    slider->setEnabled(m_editable && slider->mapping().ok);
    // A slider without a range says so in its row.
    slider->setInactiveHint(slider->mapping().ok ? m_inactiveHint : QString());
}

void VarSliderView::setInactiveHint(const QString &hint)
{
    if (hint == m_inactiveHint)
        return;
    m_inactiveHint = hint;
    for (const auto &[s, row] : m_sliders->madeRows())
        applyEnabled(static_cast<VarSliderRow *>(row));
}

void VarSliderView::setEditable(bool editable)
{
    m_editable = editable;
    m_sliders->setUpdatesValue(editable);
    for (const auto &[s, row] : m_sliders->madeRows())
        applyEnabled(static_cast<VarSliderRow *>(row));
}

void VarSliderView::setTuneMode(OptimHelmdeckTuneMode mode)
{
    m_tuneMode = mode;
    for (const auto &[s, row] : m_sliders->madeRows())
        static_cast<VarSliderRow *>(row)->slider()->setTuneWhileMoving(mode == TuneWhileSliderMoves);
}

void VarSliderView::setTracking(bool tracking)
{
    m_tracking = tracking;
    for (const auto &[s, row] : m_sliders->madeRows())
        static_cast<VarSliderRow *>(row)->slider()->setTracking(tracking);
}

void VarSliderView::setSelectedVariable(int varIndex)
{
    m_selectedVariable = varIndex;
    const int sliderIndex = m_sliderOfVariable.value(varIndex, -1);
    m_sliders->setSelectedIndex(sliderIndex);
    m_sliders->ensureRowVisible(sliderIndex);
}

void VarSliderView::clearSelection()
{
    m_selectedVariable = -1;
    m_sliders->setSelectedIndex(-1);
}

void VarSliderView::handleSliderSelected(int sliderIndex)
{
    VarSliderRow *row = m_sliders->row(sliderIndex);
    if (!row)
        return;
    m_selectedVariable = row->varIndex();
    m_sliders->setSelectedIndex(sliderIndex);
    Q_EMIT variableSelected(m_selectedVariable);
}
