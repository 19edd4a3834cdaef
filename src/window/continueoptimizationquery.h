#pragma once

// "Continue Optimization": asked before a finished or ended optimization is
// continued. Its kind follows from the model:
//   CannotContinue (1): the optimization exited, failed or was killed
//     (status 5, 6, 7); the one button closes the dialog (rejected);
//   LimitReached (2): it finished (status 4) at its iteration limit with an
//     algorithm other than Discrete (10); the user picks a new limit and
//     presses "Continue" (accepted) or "Cancel";
//   NoQuestion (0): anything else; nothing needs asking.

#include <QDialog>

class OptimizationModel;
class OptimizationModelObject;
class QLabel;
class QSpinBox;

class ContinueOptimizationQuery : public QDialog
{
    Q_OBJECT

public:
    enum Kind { NoQuestion = 0, CannotContinue = 1, LimitReached = 2 };

    // Built for the model as it is now; a null model asks nothing.
    ContinueOptimizationQuery(QWidget *parent, const OptimizationModelObject *model);

    static Kind queryKind(const OptimizationModel &model);

    Kind kind() const { return m_kind; }
    QString text() const;
    // The limit the user chose (kind LimitReached); 0 for the other kinds.
    int maximumIterations() const;

private:
    Kind m_kind;
    QLabel *m_text;
    QSpinBox *m_maxIterations = nullptr;
};
