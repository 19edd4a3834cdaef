#pragma once

// The status panel's icon: a still image per status, or an animation while
// the run optimizes or simulates.
// It shows the model on view and redraws when the model signals
// algorithmChanged().

#include "optimicons.h"

#include <QLabel>
#include <QPointer>

class OptimizationModelObject;
class QMovie;

class StatusIconView : public QLabel
{
    Q_OBJECT

public:
    explicit StatusIconView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    bool showSimulationIcon() const { return m_showSimulationIcon; }
    // What the view shows: an entry of the icon table, or -1 for nothing.
    int shownIcon() const { return m_shownIcon; }
    QMovie *optimizingMovie() const { return m_optimizingMovie; }
    QMovie *simulatingMovie() const { return m_simulatingMovie; }
    // Whether the status shows one of the finished icons (a check mark),
    // which alone would not tell whether the goals were met.
    static bool showsFinishedIcon(int status);

public Q_SLOTS:
    void setShowSimulationIcon(bool showSimulationIcon);

private Q_SLOTS:
    void updateView();
    void setLabelImage(OptimIcon optimIcon);
    void setLabelMovie(OptimIcon optimIcon, QMovie *movie);

private:
    void pauseCurrentMovieUnless(QMovie *keep);
    void updateFinishedToolTip();

    QPointer<OptimizationModelObject> m_model;
    bool m_showSimulationIcon = false;
    // The status last drawn; -1 when nothing is (first draw, or after the
    // simulating animation), so the next update always draws.
    int m_lastStatus = -1;
    int m_shownIcon = -1;
    QMovie *m_optimizingMovie;
    QMovie *m_simulatingMovie;
};
