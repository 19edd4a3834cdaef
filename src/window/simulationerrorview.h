#pragma once

// The status panel's notice that the last simulation failed.
// It shows the model on view and redraws when the model signals
// algorithmChanged().

#include <QLabel>
#include <QPointer>
#include <QWidget>

class OptimizationModelObject;

class SimulationErrorView : public QWidget
{
    Q_OBJECT

public:
    explicit SimulationErrorView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
};
