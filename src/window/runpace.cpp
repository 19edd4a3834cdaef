#include "runpace.h"

#include "progressview.h"

#include <algorithm>
#include <cmath>

void RunPace::record(qint64 msecs, double iteration)
{
    if (!std::isfinite(iteration))
        return;
    if (!m_samples.empty() && (iteration < m_samples.back().iteration || msecs < m_samples.back().msecs))
        m_samples.clear();
    if (!m_samples.empty() && iteration == m_samples.back().iteration)
        return; // the same iteration again (a status change): keep its first time
    m_samples.push_back({msecs, iteration});
    while (m_samples.size() > 2 && msecs - m_samples[1].msecs >= windowMs)
        m_samples.pop_front();
}

std::optional<double> RunPace::iterationsPerSecond() const
{
    if (m_samples.size() < 2)
        return std::nullopt;
    const Sample &first = m_samples.front();
    const Sample &last = m_samples.back();
    const qint64 span = last.msecs - first.msecs;
    if (span < 1000)
        return std::nullopt;
    return (last.iteration - first.iteration) * 1000.0 / double(span);
}

std::optional<qint64> RunPace::secondsLeft(double limit) const
{
    const std::optional<double> rate = iterationsPerSecond();
    if (!rate || *rate <= 0.0 || !std::isfinite(limit) || m_samples.empty())
        return std::nullopt;
    const double left = std::max(0.0, limit - m_samples.back().iteration) / *rate;
    if (left > 1e9)
        return std::nullopt;
    return qint64(std::ceil(left));
}

QString RunPace::text(const QString &limit) const
{
    const std::optional<double> rate = iterationsPerSecond();
    if (!rate)
        return QString();
    QString text = QStringLiteral("%1 it/s").arg(QString::number(*rate, 'g', 3));
    bool ok = false;
    const double max = limit.trimmed().toDouble(&ok);
    if (const auto left = ok ? secondsLeft(max) : std::nullopt)
        text += QStringLiteral(", about %1 left").arg(ProgressView::elapsedTimeText(*left));
    return text;
}

PaceView::PaceView(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("paceLabel"));
    setToolTip(QStringLiteral("Iterations per second over the last minute, and the time left to the iteration limit"));
}

void PaceView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &PaceView::updateView);
    });
    m_pace.clear();
    m_heldWidth = 0;
    updateView();
}

QSize PaceView::sizeHint() const
{
    QSize hint = QLabel::sizeHint();
    hint.setWidth(std::max(hint.width(), m_heldWidth));
    return hint;
}

void PaceView::updateView()
{
    if (!m_model || m_model->model().algorithmOutput().status() != StatusRunning) {
        m_pace.clear();
        m_heldWidth = 0;
        clear();
        return;
    }
    const OptimAlgOutput &algorithm = m_model->model().algorithmOutput();
    bool ok = false;
    const double iteration = algorithm.iterationText().trimmed().toDouble(&ok);
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    if (ok)
        m_pace.record(now.toMSecsSinceEpoch(), iteration);
    QString limit = algorithm.maxIterationsText();
    if (limit.isEmpty())
        limit = m_model->model().algorithmInput().maxIterations();
    setText(m_pace.text(limit));
    if (!text().isEmpty())
        m_heldWidth = std::max(m_heldWidth, QLabel::sizeHint().width());
}
