#pragma once

// The modal "Helmdeck Options" dialog: the tune mode, the iterations the
// history graphs show, how their vertical axis scales, and how goal plots
// fit their horizontal axis. Each group of radio buttons sits in a button
// group whose ids are the option values; a setter stores its value and
// checks the radio with that id. The controller fills it, runs it and, on
// acceptance, takes the four values back.

#include "state/optimhelmdecktunemode.h"

#include <QDialog>

class QButtonGroup;
class QDialogButtonBox;

class HelmdeckOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HelmdeckOptionsDialog(QWidget *parent = nullptr);

    OptimHelmdeckTuneMode tuneMode() const { return m_tuneMode; }
    // 0 all, 1 the last 10, 2 the last 25.
    int iterationsToDisplay() const { return m_iterationsToDisplay; }
    bool yAxisAutoscaleUsingAllData() const { return m_yAxisAutoscaleUsingAllData; }
    // 0 fit to limit lines, 1 fit to trace, 2 fit to trace and limit lines.
    int goalXAxisScaling() const { return m_goalXAxisScaling; }

    // Values without a radio (outside 0..2) are ignored.
    void setTuneMode(OptimHelmdeckTuneMode mode);
    void setIterationsToDisplay(int setting);
    void setYAxisAutoscaleUsingAllData(bool useAllData);
    void setGoalXAxisScaling(int scaling);

    QButtonGroup *tuningGroup() const { return m_tuningGroup; }
    QButtonGroup *xAxisGroup() const { return m_xAxisGroup; }
    QButtonGroup *yAxisGroup() const { return m_yAxisGroup; }
    QButtonGroup *goalXAxisGroup() const { return m_goalXAxisGroup; }

Q_SIGNALS:
    void helpRequested(const QString &topic);

private Q_SLOTS:
    void handleTuningOptionClicked(int buttonId);
    void handleXAxisClicked(int buttonId);
    void handleYAxisClicked(int buttonId);
    void handleGoalXAxisOptionClicked(int buttonId);
    void handleHelpRequest();

private:
    static bool checkId(QButtonGroup *group, int id);

    OptimHelmdeckTuneMode m_tuneMode = defaultOptimHelmdeckTuneMode;
    int m_iterationsToDisplay = 0;
    bool m_yAxisAutoscaleUsingAllData = true;
    int m_goalXAxisScaling = 2;
    QButtonGroup *m_tuningGroup;
    QButtonGroup *m_xAxisGroup;
    QButtonGroup *m_yAxisGroup;
    QButtonGroup *m_goalXAxisGroup;
    QDialogButtonBox *m_buttons;
};
