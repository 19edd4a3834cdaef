#pragma once

// The tune button of the variables panel: a tool button whose face is
// "Start Tuning" or "Stop Tuning" (whichever fits the tuning state), with a
// drop-down menu "Tuning" holding "Reset Values" and the three tune modes
// as mutually exclusive checkable actions. Picking an action emits the
// matching signal; setting the tune mode from outside only checks its
// action.

#include "state/optimhelmdecktunemode.h"

#include <QToolButton>

class QAction;
class QActionGroup;
class QMenu;

class TuneButton : public QToolButton
{
    Q_OBJECT

public:
    explicit TuneButton(QWidget *parent = nullptr);

    QAction *resetAction() const { return m_reset; }
    // The action of a tune mode (0, 1, 2), or null.
    QAction *modeAction(int mode) const;
    QMenu *tuneMenu() const { return m_menu; }

    OptimHelmdeckTuneMode tuneMode() const { return m_mode; }
    void setTuneMode(OptimHelmdeckTuneMode mode);
    bool inTuning() const { return m_inTuning; }
    // Enables or disables the button with its face actions (a default
    // action decides the button's enabled state, so both change together).
    void setTuningEnabled(bool enabled);

Q_SIGNALS:
    void tuneModeChanged(OptimHelmdeckTuneMode mode);
    void startTuning();
    void stopTuning();
    void resetTuning();

public Q_SLOTS:
    void updateButtonAction(bool inTuning);
    void handleTuneMenu(QAction *action);

private:
    QMenu *m_menu;
    QAction *m_start;
    QAction *m_stop;
    QAction *m_reset;
    QActionGroup *m_modeGroup;
    QList<QAction *> m_modeActions;
    OptimHelmdeckTuneMode m_mode = defaultOptimHelmdeckTuneMode;
    bool m_inTuning = false;
    bool m_tuningEnabled = true;
};
