#pragma once

// The status panel's algorithm text: the algorithm's name and type.
// It shows the model on view and redraws when the model signals
// algorithmChanged().

#include <QLabel>
#include <QPointer>
#include <QWidget>

class OptimizationModelObject;

class AlgorithmTextView : public QWidget
{
    Q_OBJECT

public:
    explicit AlgorithmTextView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
    QString m_shownName;
    int m_shownType = 0;
    QLabel *m_nameLabel;
    QLabel *m_typeLabel;
};
