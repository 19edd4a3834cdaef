#include "goaltextview.h"

#include "graphs/colorset.h"
#include "graphs/goalverdict.h"
#include "graphs/graphwidget.h"
#include "model/optimizationmodelobject.h"
#include "modelbinding.h"

#include <QEvent>

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

// A limit's condition for the goals table, with "y" for the response.
QString shortCondition(const OptimGoalLimitInput &limit)
{
    const QString a = esc(limit.firstValueText());
    const QString b = esc(limit.secondValueText());
    switch (limit.limitType()) {
    case LimitGreaterThan:
        return QStringLiteral("y &gt; ") + a;
    case LimitLessThan:
        return QStringLiteral("y &lt; ") + a;
    case LimitEqualTo:
        return QStringLiteral("y = ") + a;
    case LimitInside:
        return a + QStringLiteral(" &lt; y &lt; ") + b;
    case LimitOutside:
        return QStringLiteral("y &lt; ") + a + QStringLiteral(" or y &gt; ") + b;
    default:
        return QString();
    }
}


} // namespace

GoalTextView::GoalTextView(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("goalTextView"));
    setTextFormat(Qt::RichText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The table keeps its natural width; a narrow panel scrolls sideways.
    setWordWrap(false);
    setMargin(4);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::TextSelectableByMouse);
    connect(this, &QLabel::linkActivated, this, [this](const QString &link) {
        if (!link.startsWith(QLatin1String("goal:")))
            return;
        bool ok = false;
        const int k = link.mid(5).toInt(&ok);
        if (!ok)
            return;
        setSelectedGoal(k);
        Q_EMIT goalSelected(k);
    });
    updateView();
}

void GoalTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        // The table is rebuilt once for all goals an iteration changes.
        connect(m, &OptimizationModelObject::goalChanged, this, [this, m] {
            if (!m->isChangingGoals())
                updateView();
        });
        connect(m, &OptimizationModelObject::goalsChanged, this, &GoalTextView::updateView);
        connect(m, &OptimizationModelObject::goalAdded, this, &GoalTextView::updateView);
    }, OnModelDeleted::UnbindView);
    updateView();
}

void GoalTextView::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    updateView();
}

void GoalTextView::setSelectedGoal(int goalIndex)
{
    if (goalIndex == m_selectedGoal)
        return;
    m_selectedGoal = goalIndex;
    updateView();
}

QString GoalTextView::text() const
{
    if (m_dirty)
        const_cast<GoalTextView *>(this)->rebuild();
    return QLabel::text();
}

bool GoalTextView::event(QEvent *event)
{
    // ShowToParent: the page became current (shown now or with its window).
    const bool result = QLabel::event(event);
    if ((event->type() == QEvent::ShowToParent || event->type() == QEvent::Show) && m_dirty)
        rebuild();
    return result;
}

void GoalTextView::updateView()
{
    // A page that is not shown catches up when it shows.
    if (isHidden() || !isVisible()) {
        m_dirty = true;
        return;
    }
    rebuild();
}

void GoalTextView::rebuild()
{
    m_dirty = false;
    const int n = m_model ? int(m_model->model().goalCount()) : 0;
    if (n == 0) {
        setText(QStringLiteral("No goals to view"));
        return;
    }
    const OptimizationModel &model = m_model->model();
    const QString grey = palette().color(QPalette::Disabled, QPalette::WindowText).name();
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">"
                                  "<tr><th align=\"left\">Goal</th><th align=\"right\">Error</th>"
                                  "<th align=\"right\">Contribution</th><th align=\"left\">Limits</th>"
                                  "<th align=\"left\">Status</th></tr>");
    const ColorSet colors(ColorSet::GoalColors);
    for (int k = 0; k < n; ++k) {
        const OptimGoalInput &goal = model.goal(k);
        const OptimGoalOutput *out = k < model.output().goals().size() ? &model.goalOutput(k) : nullptr;
        QStringList conditions;
        for (const OptimGoalLimitInput &limit : goal.limits())
            conditions << shortCondition(limit);
        const QString row = k == m_selectedGoal
            ? QStringLiteral("<tr bgcolor=\"%1\">").arg(GraphWidget::selectionHighlightColor().name())
            : QStringLiteral("<tr>");
        const QString value = out && !out->valueText().isEmpty() ? esc(out->valueText()) : QStringLiteral("&ndash;");
        const QString contribution = out && !out->errorContribution().isEmpty() ? esc(out->errorContribution())
                                                                                : QStringLiteral("Not active");
        html += row
            + QStringLiteral("<td nowrap><span style=\"color:%1\">&#9632;</span>&nbsp;<a href=\"goal:%2\">%3</a></td>"
                             "<td nowrap align=\"right\">%4</td><td nowrap align=\"right\">%5</td><td nowrap>%6</td>")
                  .arg(colors.color(k).name())
                  .arg(k)
                  .arg(esc(goal.name().isEmpty() ? QStringLiteral("Goal %1").arg(k + 1) : goal.name()), value,
                       contribution, conditions.join(QStringLiteral("; ")))
            + GoalVerdict::cellHtml(goal, out) + QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    if (m_stale)
        html += QStringLiteral("<p style=\"color:%1\"><i>These results are stale.</i></p>").arg(grey);
    setText(html);
}
