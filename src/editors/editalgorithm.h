#pragma once

// "Edit Algorithm": the dialog in which the user picks another algorithm
// and changes the iteration limit of a paused optimization. The form holds
// the type pull-down and the "Max. iterations" edit; OK hands the edited
// algorithm out only when the limit is a whole number the validator takes.

#include "model/optiminputrecords.h"
#include "model/optimoutputrecords.h"

#include <QDialog>
#include <QIntValidator>
#include <QWidget>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;

// The iteration limit: a whole number no lower than the smaller of the
// iterations done so far (1 when the optimizer reported none) and the
// current limit, so a limit already passed can be kept or raised. Fix-up
// leaves the text as typed: a limit below the bound is shown marked and
// refused, never silently replaced.
class MaxItersValidator : public QIntValidator
{
    Q_OBJECT

public:
    MaxItersValidator(const QString &iterationText, const QString &maxIterations, QObject *parent = nullptr);

    void fixup(QString &input) const override;
};

class AlgorithmTableWidget : public QWidget
{
    Q_OBJECT

public:
    AlgorithmTableWidget(const OptimAlgInput &algorithm, const OptimAlgOutput &output, QWidget *parent = nullptr);

    const OptimAlgInput &editedAlgorithm() const { return m_edited; }
    QComboBox *typeBox() const { return m_type; }
    QLineEdit *maxItersEdit() const { return m_maxIters; }

Q_SIGNALS:
    void algorithmEditedAccept(const OptimAlgInput &algorithm);

public Q_SLOTS:
    void updateType(const QString &name);
    void updateMaxIters();
    void verifyAndEmitAlgorithmAccept();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void markMaxIters(const QString &problem);
    QString problemText() const;

    OptimAlgInput m_edited;
    QComboBox *m_type;
    QLineEdit *m_maxIters;
    MaxItersValidator *m_validator;
};

class EditAlgorithm : public QDialog
{
    Q_OBJECT

public:
    EditAlgorithm(const OptimAlgInput &algorithm, const OptimAlgOutput &output, QWidget *parent = nullptr);

    AlgorithmTableWidget *form() const { return m_form; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

    void done(int result) override;

Q_SIGNALS:
    void editedAlgorithm(const OptimAlgInput &algorithm);
    void helpRequested(const QString &topic);

public Q_SLOTS:
    void emitEditedAlgorithmAccepted(const OptimAlgInput &algorithm);
    void handleHelpRequest();

private:
    AlgorithmTableWidget *m_form;
    QDialogButtonBox *m_buttons;
};
