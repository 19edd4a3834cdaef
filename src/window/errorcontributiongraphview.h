#pragma once

// One bar per goal: its share of the error; a bar selects its goal
// (goalSelected).

#include "graphs/bargraph.h"

#include <QPointer>

class OptimizationModelObject;

class ErrorContributionGraphView : public BarGraph
{
    Q_OBJECT

public:
    explicit ErrorContributionGraphView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);

public Q_SLOTS:
    void setSelectedGoal(int goalIndex);

Q_SIGNALS:
    void goalSelected(int goalIndex);

private Q_SLOTS:
    void updateAll();
    void handleBarSelected(int barIndex);

private:
    QPointer<OptimizationModelObject> m_model;
    int m_selectedGoal = -1;
    bool m_stale = false;
};
