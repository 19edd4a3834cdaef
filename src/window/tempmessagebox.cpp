#include "tempmessagebox.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QTimer *singleShotTimer(QObject *parent, int interval)
{
    if (interval <= 0)
        return nullptr;
    auto *timer = new QTimer(parent);
    timer->setSingleShot(true);
    timer->setInterval(interval);
    return timer;
}

void stop(QTimer *timer)
{
    if (timer)
        timer->stop();
}

} // namespace

TempMessageBox::TempMessageBox(QWidget *parent, const QString &title, int showDelay, int minimumShowTime, int timeout)
    : QDialog(parent)
    , m_minimumShowTime(minimumShowTime)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("tempMessageBox"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_label->setObjectName(QStringLiteral("tempMessageLabel"));
    m_label->setAlignment(Qt::AlignCenter);
    m_bar->setObjectName(QStringLiteral("tempMessageProgress"));
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    m_bar->setMinimumWidth(260);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);

    m_showTimer = singleShotTimer(this, showDelay);
    m_minimumTimer = singleShotTimer(this, minimumShowTime);
    m_timeoutTimer = singleShotTimer(this, timeout);
    if (m_showTimer)
        connect(m_showTimer, &QTimer::timeout, this, &TempMessageBox::doShow);
    if (m_minimumTimer)
        connect(m_minimumTimer, &QTimer::timeout, this, &QWidget::hide);
    if (m_timeoutTimer)
        connect(m_timeoutTimer, &QTimer::timeout, this, &TempMessageBox::handleTimeout);
}

void TempMessageBox::setMessage(const QString &text)
{
    m_label->setText(text);
}

QString TempMessageBox::message() const
{
    return m_label->text();
}

void TempMessageBox::showMessage()
{
    stop(m_showTimer);
    stop(m_timeoutTimer);
    // A box still on screen from the previous wait stays up for this one.
    stop(m_minimumTimer);
    if (isVisible()) {
        if (m_timeoutTimer)
            m_timeoutTimer->start();
        return;
    }
    if (m_showTimer)
        m_showTimer->start();
    else
        doShow();
}

void TempMessageBox::doShow()
{
    stop(m_showTimer);
    stop(m_timeoutTimer);
    if (m_timeoutTimer)
        m_timeoutTimer->start();
    m_bar->reset();
    m_shownFor.restart();
    show();
}

void TempMessageBox::hideMessage()
{
    stop(m_showTimer);
    stop(m_timeoutTimer);
    if (m_minimumShowTime <= 0 || !isVisible()) {
        hide();
        return;
    }
    const qint64 shown = m_shownFor.isValid() ? m_shownFor.elapsed() : m_minimumShowTime;
    if (shown >= m_minimumShowTime) {
        hide();
        return;
    }
    if (m_minimumTimer)
        m_minimumTimer->start(int(m_minimumShowTime - shown));
}

void TempMessageBox::handleTimeout()
{
    hide();
    Q_EMIT messageTimedOut();
}
