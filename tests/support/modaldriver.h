#pragma once

// Answers the modal dialogs a test opens from inside their loops: each step
// acts on the next modal dialog up (of the class or object name it names, if
// any). Fails fast, never hangs: a step's dialog not up within the time limit,
// a dialog no step expects or one its step left up fails the test and is
// rejected, as is every later one; steps left at the end fail the test too.

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>

#include <concepts>
#include <functional>

class QDialog;
class QTimer;

class ModalDriver : public QObject
{
public:
    using Action = std::function<void(QDialog *dialog)>;
    struct Step
    {
        template <std::invocable<QDialog *> F> Step(F action) : action(std::move(action)) {}
        Step(const QString &dialog, Action action) : dialog(dialog), action(std::move(action)) {}
        QString dialog;
        Action action;
    };

    // declineOthers: a modal dialog after the last step is rejected, not failed.
    explicit ModalDriver(QList<Step> steps, bool declineOthers = false, int timeoutMs = 5000);
    ~ModalDriver() override;
    bool done() const { return m_steps.isEmpty() && m_failure.isEmpty(); }
    QString failure() const;

private:
    void watch();
    void poll(QTimer *timer);

    QList<Step> m_steps;
    const bool m_declineOthers;
    const int m_timeoutMs;
    QDeadlineTimer m_deadline;
    QPointer<QDialog> m_answered; // stays up while a queued answer is on its way
    QString m_failure;
};
