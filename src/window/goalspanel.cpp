#include "goalspanel.h"

#include "state/optimhelmdeckcontrollerstate.h"
#include "errorhistoryview.h"
#include "errorcontributiongraphview.h"
#include "goalerrorgraphsview.h"
#include "goalerrortextview.h"
#include "goaltextview.h"
#include "model/optimizationmodelobject.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QScrollArea *scrolled(QWidget *content, const QString &name)
{
    auto *area = new QScrollArea;
    area->setObjectName(name);
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

} // namespace

GoalsPanel::GoalsPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : PanelView(QStringLiteral("Goals"), state, parent)
    , m_editButton(new QPushButton(QStringLiteral("Edit &goals..."), this))
    , m_errorText(new GoalErrorTextView(this))
    , m_staleNotice(new QLabel(this))
    , m_splitter(new QSplitter(Qt::Vertical, this))
    , m_pages(new QTabWidget)
    , m_contributions(new ErrorContributionGraphView)
    , m_history(new ErrorHistoryView)
    , m_goalText(new GoalTextView)
    , m_graphs(new GoalErrorGraphsView)
{
    setObjectName(QStringLiteral("goalsPanel"));
    setMinimumWidth(160);
    m_editButton->setObjectName(QStringLiteral("editGoalsButton"));
    m_staleNotice->setObjectName(QStringLiteral("staleNoticeLabel"));
    m_staleNotice->setText(QStringLiteral("The results shown are stale: they belong to values that have changed since."));
    m_staleNotice->setWordWrap(true);
    m_staleNotice->setStyleSheet(QStringLiteral("QLabel { background: #fff3cd; color: #5c4400; padding: 2px 4px; }"));
    m_staleNotice->hide();
    m_splitter->setObjectName(QStringLiteral("goalsSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_pages->setObjectName(QStringLiteral("goalPages"));
    m_pages->setDocumentMode(true);

    m_contributionsScroll = scrolled(m_contributions, QStringLiteral("contributionsScroll"));
    m_goalTextScroll = scrolled(m_goalText, QStringLiteral("goalTextScroll"));
    m_goalTextScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pages->addTab(m_contributionsScroll, QStringLiteral("Goal contributions"));
    m_pages->addTab(m_history, QStringLiteral("Error history"));
    m_pages->addTab(m_goalTextScroll, QStringLiteral("Goals"));
    fitTabTexts();

    m_splitter->addWidget(m_pages);
    m_splitter->addWidget(m_graphs);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 2);
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] { m_splitterMoved = true; });

    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    top->addWidget(m_editButton);
    top->addWidget(m_errorText, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_staleNotice);
    layout->addWidget(m_splitter, 1);

    connect(m_editButton, &QPushButton::clicked, this, &GoalsPanel::showEditGoalsDialog);
    connect(m_contributions, &ErrorContributionGraphView::goalSelected, this, &GoalsPanel::setSelectedGoal);
    connect(m_graphs, &GoalErrorGraphsView::goalSelected, this, &GoalsPanel::setSelectedGoal);
    connect(m_goalText, &GoalTextView::goalSelected, this, &GoalsPanel::setSelectedGoal);
    connect(m_graphs, &GoalErrorGraphsView::historyGraphRightMouseClick, this, &GoalsPanel::historyGraphRightMouseClick);
    connect(m_graphs, &GoalErrorGraphsView::saveImageRequested, this, &GoalsPanel::saveImageRequested);
    connect(m_history, &GraphWidget::rightMouseClick, this, &GoalsPanel::historyGraphRightMouseClick);

    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::numIterationsToDisplayChanged, this, &GoalsPanel::setNumberOfHistoryPointsToShow);
        connect(m_state, &OptimHelmdeckControllerState::yAutoScaleUsingAllDataChanged, this, &GoalsPanel::setYAutoScaleUsingAllData);
        connect(m_state, &OptimHelmdeckControllerState::goalXAxisScalingChanged, this, &GoalsPanel::setXAxisScaling);
        connect(m_state, &OptimHelmdeckControllerState::historyLogScaleChanged, this, &GoalsPanel::setHistoryLogScale);
        connect(m_state, &OptimHelmdeckControllerState::waitStateChanged, this, &GoalsPanel::updateButtons);
        connect(m_state, &OptimHelmdeckControllerState::modelAdded, this, &GoalsPanel::updateButtons);
        setNumberOfHistoryPointsToShow(m_state->iterationsToDisplay());
        setYAutoScaleUsingAllData(m_state->yAxisAutoscaleUsingAllData());
        setXAxisScaling(m_state->goalXAxisScaling());
        setHistoryLogScale(m_state->historyLogScale());
        setDataIsStale(m_state->dataStale());
    }
    updateContributionsVisbility();
    updateButtons();
}

void GoalsPanel::setModel(OptimizationModelObject *model)
{
    PanelView::setModel(model);
    m_errorText->setModel(m_model);
    m_contributions->setModel(m_model);
    m_history->setModel(m_model);
    m_goalText->setModel(m_model);
    m_graphs->setModel(m_model);
    if (m_model) {
        connect(m_model, &OptimizationModelObject::algorithmChanged, this, &GoalsPanel::updateButtons);
        connect(m_model, &OptimizationModelObject::goalAdded, this, &GoalsPanel::updateContributionsVisbility);
    }
    const int goals = m_model ? int(m_model->model().goalCount()) : 0;
    setSelectedGoal(m_selectedGoal < goals ? m_selectedGoal : -1);
    updateContributionsVisbility();
    updateButtons();
}

void GoalsPanel::setEditorHooks(const OptimHelmdeckEditorHooks &hooks)
{
    m_goalEditor = hooks.editGoals;
    updateButtons();
}

void GoalsPanel::resizeEvent(QResizeEvent *event)
{
    PanelView::resizeEvent(event);
    fitTabTexts();
    balanceSplitter();
}

void GoalsPanel::fitTabTexts()
{
    // The pages' names side by side where they fit, else short ones with
    // the whole name in the tooltip: no tab hides behind scroll arrows.
    struct Page
    {
        QWidget *page;
        QString name;
        QString shortName;
        QString about;
    };
    const Page pages[] = {
        {m_contributionsScroll, QStringLiteral("Goal contributions"), QStringLiteral("Contributions"),
         QStringLiteral("Each goal's share of the error")},
        {m_history, QStringLiteral("Error history"), QStringLiteral("History"), QStringLiteral("The error of every iteration")},
        {m_goalTextScroll, QStringLiteral("Goals"), QStringLiteral("Goals"), QStringLiteral("The goals with their errors and limits")},
    };
    const auto name = [this, &pages](bool shortened) {
        for (const Page &p : pages) {
            const int index = m_pages->indexOf(p.page);
            const QString text = shortened ? p.shortName : p.name;
            if (index < 0)
                continue;
            const QString tip = shortened ? p.name + QStringLiteral(": ") + p.about : p.about;
            if (m_pages->tabText(index) != text)
                m_pages->setTabText(index, text);
            if (m_pages->tabToolTip(index) != tip)
                m_pages->setTabToolTip(index, tip);
        }
    };
    name(false);
    if (m_pages->tabBar()->sizeHint().width() > m_pages->width())
        name(true);
}

void GoalsPanel::balanceSplitter()
{
    if (m_splitterMoved)
        return;
    const int total = m_splitter->height() - m_splitter->handleWidth();
    if (total <= 0)
        return;
    // The pages take what the contribution bars need (at least room for
    // the error history), never more than about a third: the goal plots
    // get the rest.
    const int wanted = m_pages->tabBar()->sizeHint().height() + std::max(90, m_contributions->sizeHint().height()) + 6;
    const int pages = std::clamp(wanted, std::min(100, total / 2), std::max(std::min(100, total / 2), total * 9 / 25));
    m_splitter->setSizes({pages, total - pages});
}

void GoalsPanel::preventUserInput(bool preventInput)
{
    PanelView::preventUserInput(preventInput);
    updateButtons();
}

void GoalsPanel::setNumberOfHistoryPointsToShow(int numPoints)
{
    const bool showAll = m_state && m_state->numItersToDisplay() == 0;
    m_history->setNumberOfHistoryPointsToShow(numPoints, showAll);
    m_graphs->setShowsAllIterations(showAll);
    m_graphs->setNumberOfHistoryPointsToShow(numPoints);
}

void GoalsPanel::setYAutoScaleUsingAllData(bool useAllData)
{
    m_history->setUseAllData(useAllData);
    m_graphs->setYAutoScaleUsingAllData(useAllData);
}

void GoalsPanel::setHistoryLogScale(bool on)
{
    m_history->setLogScale(on);
    m_graphs->setLogScale(on);
}

void GoalsPanel::setXAxisScaling(int scaling)
{
    m_graphs->setXAxisScaling(scaling);
}

void GoalsPanel::setDataIsStale(bool dataIsStale)
{
    m_dataIsStale = dataIsStale;
    m_staleNotice->setVisible(dataIsStale);
    m_errorText->setStale(dataIsStale);
    m_contributions->setStale(dataIsStale);
    m_history->setStale(dataIsStale);
    m_goalText->setStale(dataIsStale);
    m_graphs->setStale(dataIsStale);
}

void GoalsPanel::setSelectedGoal(int goalIndex)
{
    const int goals = m_model ? int(m_model->model().goalCount()) : 0;
    if (goalIndex < 0 || goalIndex >= goals)
        goalIndex = -1;
    m_selectedGoal = goalIndex;
    m_contributions->setSelectedGoal(goalIndex);
    m_goalText->setSelectedGoal(goalIndex);
    m_graphs->setSelectedGoal(goalIndex);
}

void GoalsPanel::updateButtons()
{
    const bool interactive = m_state && m_state->isInteractive();
    m_editButton->setVisible(interactive);
    const bool paused = m_model && optimStatusIsPaused(m_model->model().algorithmOutput().status());
    const int waiting = m_state ? m_state->waitingFor() : int(OptimHelmdeckControllerState::WaitNone);
    const bool available = bool(m_goalEditor);
    // Edited goals go to the sweep's current optimization only.
    const bool onCurrent = isCurrentOptimization(m_state, m_model);
    m_editButton->setEnabled(interactive && m_model && !m_preventInput && !m_editor.isOpen() && paused
                             && waiting == OptimHelmdeckControllerState::WaitNone && available && onCurrent);
    m_editButton->setToolTip(!available ? QStringLiteral("The goal editor is not available.")
                             : !onCurrent ? earlierOptimizationReason(QStringLiteral("edit the goals"))
                                          : QString());
}

void GoalsPanel::updateContributionsVisbility()
{
    // With fewer than two goals the one bar would always read 100 %: the
    // page is left out and the error history shows instead.
    const int goals = m_model ? int(m_model->model().goalCount()) : 0;
    const int index = m_pages->indexOf(m_contributionsScroll);
    const bool visible = goals >= 2;
    if (m_pages->isTabVisible(index) != visible) {
        m_pages->setTabVisible(index, visible);
        fitTabTexts();
        if (!visible && m_pages->currentIndex() == index)
            m_pages->setCurrentWidget(m_history);
        if (visible)
            m_pages->setCurrentIndex(index);
    }
    balanceSplitter();
}

bool GoalsPanel::contributionsVisible() const
{
    return m_pages->isTabVisible(m_pages->indexOf(m_contributionsScroll));
}

void GoalsPanel::showEditGoalsDialog()
{
    const GoalsPanelGoalEditor editor = m_goalEditor;
    if (!editor)
        return;
    m_editor.run(this, [this] { updateButtons(); },
                 [this, &editor](const OptimizationModel &snapshot, const PanelEditorLaunch &launch) {
                     editor(
                         snapshot, this,
                         [launch](const OptimItemList<OptimGoalInput> &edited) {
                             if (auto *panel = static_cast<GoalsPanel *>(launch.panelForResult()))
                                 panel->acceptEditedGoals(edited);
                         },
                         [launch](const QString &topic) { launch.help(topic); });
                 });
}

void GoalsPanel::acceptEditedGoals(const OptimItemList<OptimGoalInput> &goals)
{
    Q_EMIT goalDefinitionsChanged(goals);
}
