#include "modaldriver.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

ModalDriver::ModalDriver(QList<Step> steps, bool declineOthers, int timeoutMs)
    : m_steps(std::move(steps)), m_declineOthers(declineOthers), m_timeoutMs(timeoutMs), m_deadline(timeoutMs)
{
    watch();
}

ModalDriver::~ModalDriver()
{
    if (!done() && !QTest::currentTestFailed())
        QTest::qFail(qPrintable(failure()), __FILE__, __LINE__);
}

QString ModalDriver::failure() const
{
    return m_failure.isEmpty() && !m_steps.isEmpty()
        ? QStringLiteral("ModalDriver: the next step's dialog (%1) never came up").arg(m_steps.first().dialog) : m_failure;
}

// A fresh timer per step: a timer does not fire while its own slot is on the
// stack, which it is below every nested loop the step's action runs.
void ModalDriver::watch()
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] { poll(timer); });
    timer->start(5);
}

void ModalDriver::poll(QTimer *timer)
{
    QDialog *const up = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (up != m_answered)
        m_answered = nullptr; // new again once another dialog (or none) was on top
    const bool fresh = up && up != m_answered && m_failure.isEmpty();
    const QString wanted = m_steps.isEmpty() ? QString() : m_steps.first().dialog;
    if (fresh && !m_steps.isEmpty() && (wanted.isEmpty() || up->inherits(qPrintable(wanted)) || up->objectName() == wanted)) {
        m_answered = up;
        const Action action = m_steps.takeFirst().action;
        m_deadline.setRemainingTime(m_timeoutMs);
        timer->stop();
        watch();
        action(up);
        return;
    }
    const bool declined = fresh && m_steps.isEmpty() && m_declineOthers; // rejected without failing
    if (!declined && m_failure.isEmpty()) {
        if ((!up && m_steps.isEmpty()) || !m_deadline.hasExpired())
            return;
        // Logged too, as an assertion the code under test reaches first may hide it.
        m_failure = QStringLiteral("ModalDriver: waiting for %1, the modal dialog up is %2")
                        .arg(m_steps.isEmpty() ? QStringLiteral("none") : wanted,
                             up ? QString::fromLatin1(up->metaObject()->className()) + u' ' + up->objectName() : QStringLiteral("none"));
        qWarning("%s", qPrintable(m_failure));
    }
    if (up)
        up->reject();
}
