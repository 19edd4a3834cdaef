#include "statusiconview.h"

#include "graphs/goalverdict.h"
#include "model/optimizationmodelobject.h"
#include "modelbinding.h"
#include "windowresources.h"

#include <QMovie>

bool StatusIconView::showsFinishedIcon(int status)
{
    return status == StatusFinished || status == StatusExited;
}

StatusIconView::StatusIconView(QWidget *parent)
    : QLabel(parent)
{
    initHelmdeckResources();
    setObjectName(QStringLiteral("statusIconView"));
    setAlignment(Qt::AlignCenter);
    setFixedSize(36, 36);
    m_optimizingMovie = new QMovie(optimIconPath(OptimIconOptimizing), QByteArray(), this);
    m_optimizingMovie->setCacheMode(QMovie::CacheAll);
    m_simulatingMovie = new QMovie(optimIconPath(OptimIconSimulating), QByteArray(), this);
    m_simulatingMovie->setCacheMode(QMovie::CacheAll);
    m_simulatingMovie->setSpeed(150);
}

void StatusIconView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &StatusIconView::updateView);
        // The finished icon's tooltip tells the goals' verdict.
        connect(m, &OptimizationModelObject::goalsChanged, this, &StatusIconView::updateView);
    });
    updateView();
}

void StatusIconView::setShowSimulationIcon(bool showSimulationIcon)
{
    m_showSimulationIcon = showSimulationIcon;
    updateView();
}

void StatusIconView::pauseCurrentMovieUnless(QMovie *keep)
{
    QMovie *current = movie();
    if (current && current != keep && current->state() == QMovie::Running)
        current->setPaused(true);
}

void StatusIconView::updateView()
{
    if (m_showSimulationIcon) {
        // Forget the status so that leaving the simulation icon redraws it.
        m_lastStatus = -1;
        pauseCurrentMovieUnless(m_simulatingMovie);
        setLabelMovie(OptimIconSimulating, m_simulatingMovie);
        updateGeometry();
        return;
    }
    const int status = m_model ? m_model->model().algorithmOutput().status() : 0;
    if (status == m_lastStatus) {
        updateFinishedToolTip();
        return;
    }
    m_lastStatus = status;
    pauseCurrentMovieUnless(nullptr);
    clear();
    setToolTip(QString());
    m_shownIcon = -1;
    switch (status) {
    case StatusInitializing:
    case StatusRunning:
        setLabelMovie(OptimIconOptimizing, m_optimizingMovie);
        if (m_shownIcon == OptimIconOptimizing)
            setToolTip(optimIconName(OptimIconOptimizingArrow));
        break;
    case StatusPaused:
        setLabelImage(OptimIconPaused);
        break;
    case StatusFinished:
        setLabelImage(OptimIconFinishedAndPaused);
        break;
    case StatusExited:
        setLabelImage(OptimIconFinished);
        break;
    case StatusExitedWithError:
    case StatusKilled:
        setLabelImage(OptimIconFinishedWithError);
        break;
    default:
        break;
    }
    updateFinishedToolTip();
    updateGeometry();
}

void StatusIconView::updateFinishedToolTip()
{
    // A finished run looks the same whether its goals were met or not: the
    // tooltip says which ("Finished: 2 of 3 goals not met").
    if (!m_model || !showsFinishedIcon(m_lastStatus))
        return;
    const QString verdict = GoalVerdict::summaryText(m_model->model());
    const QString name = optimIconName(static_cast<OptimIcon>(m_shownIcon));
    setToolTip(verdict.isEmpty() ? name : name + QStringLiteral(": ") + verdict);
}

void StatusIconView::setLabelImage(OptimIcon optimIcon)
{
    const QPixmap pixmap = optimIconPixmap(optimIcon);
    m_shownIcon = optimIcon;
    if (pixmap.isNull()) {
        setText(optimIconName(optimIcon));
        return;
    }
    setPixmap(pixmap);
    setToolTip(optimIconName(optimIcon));
}

void StatusIconView::setLabelMovie(OptimIcon optimIcon, QMovie *movie)
{
    m_shownIcon = optimIcon;
    if (!movie || !movie->isValid()) {
        setText(optimIconName(optimIcon));
        return;
    }
    if (this->movie() != movie)
        setMovie(movie);
    movie->start();
    setToolTip(optimIconName(optimIcon));
}
