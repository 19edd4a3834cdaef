#include "stoppingreasonview.h"

#include "graphs/goalverdict.h"
#include "model/optimizationmodelobject.h"
#include "modelbinding.h"
#include "statusiconview.h"

#include <QGridLayout>

StoppingReasonView::StoppingReasonView(QWidget *parent)
    : QWidget(parent)
    , m_caption(new QLabel(QStringLiteral("Stopping reason:"), this))
    , m_reason(new QLabel(this))
    , m_goalsCaption(new QLabel(QStringLiteral("Goals:"), this))
    , m_goals(new QLabel(this))
{
    setObjectName(QStringLiteral("stoppingReasonView"));
    m_caption->setObjectName(QStringLiteral("stoppingReasonCaption"));
    m_reason->setObjectName(QStringLiteral("stoppingReasonLabel"));
    m_goals->setObjectName(QStringLiteral("goalsVerdictLabel"));
    for (QLabel *label : {m_reason, m_goals}) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setVerticalSpacing(2);
    layout->addWidget(m_caption, 0, 0, Qt::AlignTop);
    layout->addWidget(m_reason, 0, 1);
    layout->addWidget(m_goalsCaption, 1, 0, Qt::AlignTop);
    layout->addWidget(m_goals, 1, 1);
    layout->setColumnStretch(1, 1);
    setVisible(false);
}

void StoppingReasonView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &StoppingReasonView::updateView);
        connect(m, &OptimizationModelObject::goalsChanged, this, &StoppingReasonView::updateView);
    });
    updateView();
}

QString StoppingReasonView::stoppedByUserText()
{
    return QStringLiteral("Stopped by the user: the host stopped the simulator.");
}

QString StoppingReasonView::processEndedText()
{
    return QStringLiteral("The simulator process ended without giving a reason; the host's log says how (its exit code).");
}

QString StoppingReasonView::reasonText(int status, const QString &reason)
{
    if (!reason.trimmed().isEmpty())
        return reason;
    switch (status) {
    case StatusExited:
        return QStringLiteral("The simulator finished the simulation.");
    case StatusExitedWithError:
        return QStringLiteral("The simulator ended with an error and gave no reason.");
    case StatusKilled:
        return QStringLiteral("The simulator was stopped before the optimization finished.");
    default:
        return QString();
    }
}

void StoppingReasonView::updateView()
{
    const int status = m_model ? m_model->model().algorithmOutput().status() : 0;
    const QString reason = m_model ? reasonText(status, m_model->model().algorithmOutput().stoppingReason()) : QString();
    // A finished run says how its goals ended, so that a run stopped by its
    // iteration limit does not pass for one that met them.
    const QString goals = m_model && StatusIconView::showsFinishedIcon(status) ? GoalVerdict::summaryText(m_model->model()) : QString();
    m_reason->setText(reason);
    m_goals->setText(goals);
    m_caption->setVisible(!reason.isEmpty());
    m_reason->setVisible(!reason.isEmpty());
    m_goalsCaption->setVisible(!goals.isEmpty());
    m_goals->setVisible(!goals.isEmpty());
    setVisible(!reason.isEmpty() || !goals.isEmpty());
}
