#include "sweeppanel.h"

#include "state/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"
#include "optimicons.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include <algorithm>

namespace {

QStringList nameComponents(const QString &name)
{
    QStringList components;
    qsizetype start = 0;
    for (qsizetype i = 1; i < name.size(); ++i) {
        if (name.at(i) == QLatin1Char('.') && name.at(i - 1) == QLatin1Char(']')) {
            components.append(name.mid(start, i - start));
            start = i + 1;
        }
    }
    components.append(name.mid(start));
    return components;
}

QIcon statusIcon(const OptimizationModelObject *model)
{
    const int icon = model ? optimStatusStillIcon(model->model().algorithmOutput().status()) : -1;
    return icon < 0 ? QIcon() : QIcon(optimIconPixmap(static_cast<OptimIcon>(icon)));
}

} // namespace

SweepPanel::SweepPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : PanelView(QStringLiteral("Sweep"), state, parent)
    , m_viewLabel(new QLabel(QStringLiteral("View:"), this))
    , m_combo(new QComboBox(this))
    , m_statusLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("sweepPanel"));
    m_viewLabel->setObjectName(QStringLiteral("sweepViewLabel"));
    m_combo->setObjectName(QStringLiteral("sweepCombo"));
    m_statusLabel->setObjectName(QStringLiteral("sweepStatusLabel"));
    // Entries show whole where there is room, up to a width that leaves the
    // status its room; a narrow window shows at least twelve characters of
    // them, and the whole name stays in the tooltip.
    m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_combo->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_combo->setMinimumWidth(m_combo->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 12
                             + m_combo->iconSize().width() + 32);
    m_combo->setMaximumWidth(240);
    m_viewLabel->setBuddy(m_combo);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_viewLabel, 0, 0);
    grid->addWidget(m_combo, 0, 1);
    grid->addWidget(m_statusLabel, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);

    connect(m_combo, &QComboBox::currentIndexChanged, this, &SweepPanel::handleIndexChange);
    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::modelAdded, this, &SweepPanel::appendModel);
        connect(m_state, &OptimHelmdeckControllerState::simulationFinished, this, &SweepPanel::updateStatusLabel);
    }
    updateStatusLabel();
}

OptimizationModelObject *SweepPanel::modelAt(int index) const
{
    return index >= 0 && index < m_models.size() ? m_models.at(index).data() : nullptr;
}

QStringList SweepPanel::entryTexts(const QStringList &names)
{
    QList<QStringList> split;
    split.reserve(names.size());
    qsizetype shortest = -1;
    for (const QString &name : names) {
        split.append(nameComponents(name));
        shortest = shortest < 0 ? split.last().size() : std::min(shortest, split.last().size());
    }
    qsizetype shared = 0;
    while (shared < shortest - 1) {
        const QString &first = split.first().at(shared);
        const bool allEqual = std::all_of(split.cbegin(), split.cend(), [&](const QStringList &c) { return c.at(shared) == first; });
        if (!allEqual)
            break;
        ++shared;
    }
    QStringList texts;
    texts.reserve(split.size());
    for (const QStringList &components : std::as_const(split))
        texts.append(components.mid(shared).join(QLatin1Char('.')));
    return texts;
}

void SweepPanel::appendModel(OptimizationModelObject *model)
{
    if (!model)
        return;
    const bool followNewest = m_combo->count() == 0 || m_combo->currentIndex() == m_combo->count() - 1;
    const int index = int(m_models.size());
    m_models.append(model);
    m_names.append(model->model().algorithmInput().name());
    {
        // The new entry must not count as the user's choice before its text
        // and the following switch are settled.
        const QSignalBlocker blocker(m_combo);
        m_combo->addItem(statusIcon(model), QString());
        updateEntryTexts();
    }
    connect(model, &OptimizationModelObject::algorithmChanged, this, [this, index] { algorithmChanged(index); });
    if (followNewest) {
        // The first entry became current silently while signals were blocked.
        if (m_combo->currentIndex() == index)
            handleIndexChange(index);
        else
            m_combo->setCurrentIndex(index);
    }
    setVisible(m_models.size() > 1);
}

void SweepPanel::updateEntryTexts()
{
    const QStringList texts = entryTexts(m_names);
    for (int i = 0; i < texts.size() && i < m_combo->count(); ++i) {
        m_combo->setItemText(i, texts.at(i));
        m_combo->setItemData(i, m_names.value(i), Qt::ToolTipRole);
    }
    m_combo->setToolTip(m_names.value(m_combo->currentIndex()));
}

void SweepPanel::handleIndexChange(int newIndex)
{
    m_combo->setToolTip(m_names.value(newIndex));
    updateStatusLabel();
    if (OptimizationModelObject *model = modelAt(newIndex))
        Q_EMIT optimizationSelected(model);
}

void SweepPanel::algorithmChanged(int modelIndex)
{
    if (modelIndex >= 0 && modelIndex < m_combo->count())
        m_combo->setItemIcon(modelIndex, statusIcon(modelAt(modelIndex)));
    if (modelIndex == m_combo->currentIndex())
        updateStatusLabel();
}

void SweepPanel::updateStatusLabel()
{
    const bool running = !m_state || m_state->simulationRunning();
    if (!running) {
        m_statusLabel->setText(QStringLiteral("The simulation is finished."));
        return;
    }
    // While the sweep goes on, the case on view may be done or waiting: the
    // text says what holds for that case.
    const OptimizationModelObject *model = modelAt(m_combo->currentIndex());
    switch (model ? model->model().algorithmOutput().status() : StatusRunning) {
    case StatusPaused:
        m_statusLabel->setText(QStringLiteral("This case is paused."));
        break;
    case StatusFinished:
        m_statusLabel->setText(QStringLiteral("This case is finished and paused."));
        break;
    case StatusExited:
        m_statusLabel->setText(QStringLiteral("This case is finished."));
        break;
    case StatusExitedWithError:
    case StatusKilled:
        m_statusLabel->setText(QStringLiteral("This case ended with an error."));
        break;
    default:
        m_statusLabel->setText(QStringLiteral("The simulation is running."));
        break;
    }
}
