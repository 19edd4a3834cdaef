#include "progressview.h"

#include "model/optimizationmodelobject.h"
#include "modelbinding.h"
#include "runpace.h"

#include <QHBoxLayout>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

namespace {

// A number from a text the optimizer sent; false when it is none (or not finite).
bool readNumber(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

} // namespace

ProgressView::ProgressView(QWidget *parent)
    : QWidget(parent)
    , m_textLabel(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_timeLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("progressView"));
    m_textLabel->setObjectName(QStringLiteral("progressTextLabel"));
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_timeLabel->setObjectName(QStringLiteral("elapsedTimeLabel"));
    m_bar->setRange(0, 1000);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setMaximumHeight(14);
    m_bar->setMinimumWidth(60);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_textLabel);
    layout->addWidget(m_bar, 1);
    layout->addWidget(m_timeLabel);
    layout->addWidget(new PaceView(this));

    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &ProgressView::updateTime);
    updateView();
}

void ProgressView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &ProgressView::updateView);
    });
    // The limits the new model holds now are not a change.
    m_inputLimitSeen = m_model ? m_model->model().algorithmInput().maxIterations() : QString();
    m_outputLimitSeen = m_model ? m_model->model().algorithmOutput().maxIterationsText() : QString();
    m_inputLimitNewer = false;
    if (auto *pace = findChild<PaceView *>())
        pace->setModel(model);
    updateView();
}

void ProgressView::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

QDateTime ProgressView::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

qint64 ProgressView::elapsedSeconds() const
{
    qint64 seconds = m_accumulatedSeconds;
    if (m_runningSince.isValid())
        seconds += std::max<qint64>(0, m_runningSince.secsTo(now()));
    return seconds;
}

QString ProgressView::progressText(const QString &iteration, const QString &limit)
{
    if (iteration.isEmpty())
        return QString();
    QString text = QStringLiteral("Iteration ") + iteration;
    if (!limit.isEmpty()) {
        QString shownLimit = limit;
        double it = 0;
        double lim = 0;
        if (readNumber(iteration, &it) && readNumber(limit, &lim) && it > lim)
            shownLimit = iteration;
        text += QLatin1Char('/') + shownLimit;
    }
    return text;
}

int ProgressView::progressValue(const QString &iteration, const QString &limit)
{
    double it = 0;
    double lim = 0;
    if (iteration.isEmpty() || limit.isEmpty() || !readNumber(iteration, &it) || !readNumber(limit, &lim))
        return 0;
    double fraction = 0;
    if (lim > 0)
        fraction = std::clamp(it / lim, 0.0, 1.0);
    else
        fraction = it > 0 ? 1.0 : 0.0;
    // Percent, then tenths of a percent rounded half up.
    return std::clamp(int(std::floor(fraction * 100.0 * 10.0 + 0.5)), 0, 1000);
}

QString ProgressView::elapsedTimeText(qint64 seconds)
{
    const qint64 s = std::max<qint64>(0, seconds);
    const qint64 h = s / 3600;
    const qint64 m = (s - 3600 * h) / 60;
    const qint64 r = s - 3600 * h - 60 * m;
    QString text;
    if (h > 0)
        text += QString::number(h) + QLatin1Char('h');
    if (!text.isEmpty() || m >= 1)
        text += (!text.isEmpty() && m < 10 ? QStringLiteral("0") : QString()) + QString::number(m) + QLatin1Char('m');
    text += (!text.isEmpty() && r < 10 ? QStringLiteral("0") : QString()) + QString::number(r) + QLatin1Char('s');
    return text;
}

void ProgressView::resume()
{
    m_runningSince = now();
    m_timer.start();
}

void ProgressView::pause()
{
    m_timer.stop();
    if (m_runningSince.isValid())
        m_accumulatedSeconds += std::max<qint64>(0, m_runningSince.secsTo(now()));
    m_runningSince = QDateTime();
}

void ProgressView::updateTime()
{
    m_timeLabel->setText(QStringLiteral("Elapsed time: ") + elapsedTimeText(elapsedSeconds()));
}

void ProgressView::updateView()
{
    int status = StatusUnknown;
    QString iteration;
    QString limit;
    if (m_model) {
        const OptimizationModel &model = m_model->model();
        status = model.algorithmOutput().status();
        iteration = model.algorithmOutput().iterationText();
        // The optimizer's limit, unless the algorithm's own changed since it
        // came (the user edited it): the text follows the edit at once.
        const QString inputLimit = model.algorithmInput().maxIterations();
        const QString outputLimit = model.algorithmOutput().maxIterationsText();
        if (inputLimit != m_inputLimitSeen) {
            m_inputLimitSeen = inputLimit;
            m_inputLimitNewer = true;
        }
        if (outputLimit != m_outputLimitSeen) {
            m_outputLimitSeen = outputLimit;
            m_inputLimitNewer = false;
        }
        limit = m_inputLimitNewer || outputLimit.isEmpty() ? inputLimit : outputLimit;
    }
    m_textLabel->setText(progressText(iteration, limit));
    m_bar->setValue(progressValue(iteration, limit));
    if (m_timer.isActive() && status != StatusRunning)
        pause();
    else if (!m_timer.isActive() && status == StatusRunning)
        resume();
    updateTime();
    updateGeometry();
}
