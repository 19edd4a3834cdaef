#include "statusviews.h"

#include "graphs/goalverdict.h"
#include "windowresources.h"
#include "modelbinding.h"
#include "runpace.h"
#include "model/optimizationmodelobject.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMovie>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

namespace {

// Status of the model's algorithm output; 0 without a model.
int statusOf(const OptimizationModelObject *model)
{
    return model ? model->model().algorithmOutput().status() : 0;
}

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

// Whether the status shows one of the finished icons (a check mark), which
// alone would not tell whether the goals were met.
bool showsFinishedIcon(int status)
{
    return status == StatusFinished || status == StatusExited;
}

} // namespace

// ---------------------------------------------------------------------------
// StatusIconView

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
    const int status = statusOf(m_model);
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

// ---------------------------------------------------------------------------
// AlgorithmTextView

AlgorithmTextView::AlgorithmTextView(QWidget *parent)
    : QWidget(parent)
    , m_nameLabel(new QLabel(this))
    , m_typeLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("algorithmTextView"));
    m_nameLabel->setObjectName(QStringLiteral("algorithmNameLabel"));
    m_typeLabel->setObjectName(QStringLiteral("algorithmTypeLabel"));
    m_nameLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_nameLabel->font();
    bold.setBold(true);
    m_nameLabel->setFont(bold);
    m_typeLabel->setForegroundRole(QPalette::PlaceholderText);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_typeLabel);
    layout->addStretch(1);
}

void AlgorithmTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &AlgorithmTextView::updateView);
    });
    updateView();
}

void AlgorithmTextView::updateView()
{
    const QString name = m_model ? m_model->model().algorithmInput().name() : QString();
    const int type = m_model ? m_model->model().algorithmInput().algorithmType() : int(AlgorithmNone);
    bool changed = false;
    if (name != m_shownName) {
        m_shownName = name;
        m_nameLabel->setText(name);
        changed = true;
    }
    if (type != m_shownType) {
        m_shownType = type;
        m_typeLabel->setText(type == AlgorithmNone ? QString() : optimAlgorithmName(type));
        changed = true;
    }
    if (changed)
        updateGeometry();
}

// ---------------------------------------------------------------------------
// ProgressView

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

// ---------------------------------------------------------------------------
// SimulationErrorView

SimulationErrorView::SimulationErrorView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("simulationErrorView"));
    auto *label = new QLabel(QStringLiteral("Simulation error"), this);
    label->setObjectName(QStringLiteral("simulationErrorLabel"));
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(0xc6, 0x28, 0x28));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setMargin(3);
    label->setToolTip(QStringLiteral("The last simulation failed; the results shown are not from it."));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addStretch(1);
    setVisible(false);
}

void SimulationErrorView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &SimulationErrorView::updateView);
    });
    updateView();
}

void SimulationErrorView::updateView()
{
    setVisible(m_model && !m_model->model().algorithmOutput().simulationOk());
}

// ---------------------------------------------------------------------------
// StoppingReasonView

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
    const int status = statusOf(m_model);
    const QString reason = m_model ? reasonText(status, m_model->model().algorithmOutput().stoppingReason()) : QString();
    // A finished run says how its goals ended, so that a run stopped by its
    // iteration limit does not pass for one that met them.
    const QString goals = m_model && showsFinishedIcon(status) ? GoalVerdict::summaryText(m_model->model()) : QString();
    m_reason->setText(reason);
    m_goals->setText(goals);
    m_caption->setVisible(!reason.isEmpty());
    m_reason->setVisible(!reason.isEmpty());
    m_goalsCaption->setVisible(!goals.isEmpty());
    m_goals->setVisible(!goals.isEmpty());
    setVisible(!reason.isEmpty() || !goals.isEmpty());
}
