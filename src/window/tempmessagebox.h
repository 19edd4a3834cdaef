#pragma once

// A timed, window-modal "please wait" box with a busy bar. It appears only
// when the wait lasts longer than showDelay, stays at least minimumShowTime
// once shown (so it does not flicker), and hides itself after timeout. A
// time that is not positive switches its part off. All times in ms.

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QTimer;

class TempMessageBox : public QDialog
{
    Q_OBJECT

public:
    TempMessageBox(QWidget *parent, const QString &title, int showDelay, int minimumShowTime, int timeout);

    void setMessage(const QString &text);
    QString message() const;

Q_SIGNALS:
    void messageTimedOut();

public Q_SLOTS:
    void showMessage();
    void doShow();
    void hideMessage();

private Q_SLOTS:
    void handleTimeout();

private:
    int m_minimumShowTime;
    QLabel *m_label;
    QProgressBar *m_bar;
    QTimer *m_showTimer = nullptr;
    QTimer *m_minimumTimer = nullptr;
    QTimer *m_timeoutTimer = nullptr;
    QElapsedTimer m_shownFor;
};
