#pragma once

// "Edit Optimization Variables": the variable table, a label counting the
// faulty entries, and OK, Apply, Cancel and Help. The dialog edits a
// private copy; Apply hands the edited list out and stays open, OK hands it
// out and closes, Cancel closes without handing anything out. OK and Apply
// are enabled only while the table shows no fault.

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class VariableTableWidget;

class EditVariables : public QDialog
{
    Q_OBJECT

public:
    // algorithm: the optimization's algorithm, checked against the edited
    // variables before they go out.
    EditVariables(const OptimItemList<OptimVarInput> &variables, const OptimAlgInput &algorithm = {},
                  QWidget *parent = nullptr);

    VariableTableWidget *table() const { return m_table; }
    QLabel *errorLabel() const { return m_errorLabel; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

    void done(int result) override;

Q_SIGNALS:
    void editedVariables(const OptimItemList<OptimVarInput> &variables);
    void helpRequested(const QString &topic);

public Q_SLOTS:
    void emitEditedVariables(const OptimItemList<OptimVarInput> &variables);
    void emitEditedVariablesAccepted(const OptimItemList<OptimVarInput> &variables);
    void handleNumErrors(int count);
    void handleHelpRequest();

private:
    VariableTableWidget *m_table;
    QLabel *m_errorLabel;
    QDialogButtonBox *m_buttons;
};
