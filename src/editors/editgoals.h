#pragma once

// "Edit Goals": the goals of a paused optimization, a list on the left and
// the selected goal's table on the right. OK and Apply hand out the whole
// list when no goal has faults; otherwise an "Invalid Goals" box names the
// faulty goals and nothing is handed out. OK closes the dialog after handing
// out, Apply keeps it open. Geometry is kept under "EditGoalsPos" and
// "EditGoalsSize".

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QDialog>

#include <functional>

class GoalListWidget;
class GoalTableWidget;
class OptimizationModel;
class QDialogButtonBox;
class QLabel;
class QPushButton;

class EditGoals : public QDialog
{
    Q_OBJECT

public:
    EditGoals(const OptimItemList<OptimGoalInput> &goals, QWidget *parent = nullptr);

    GoalListWidget *goalList() const { return m_list; }
    GoalTableWidget *goalTable() const { return m_table; }
    QLabel *errorLabel() const { return m_errorLabel; }
    QPushButton *okButton() const;
    QPushButton *applyButton() const;

    // The text of the "Invalid Goals" box for the names given.
    static QString invalidGoalsText(const QStringList &names);

Q_SIGNALS:
    // Values with units are written as plain numbers in base units, the form
    // the simulator reads.
    void goalsChanged(const OptimItemList<OptimGoalInput> &goals);
    void helpRequested(const QString &topic);

public Q_SLOTS:
    void handleHelpRequest();
    void updateErrorCount(int count);
    void handleOK();
    void handleApply();

protected:
    void done(int result) override;

private:
    // Hands the goals out unless some have faults; answers whether it did.
    bool handOutGoals();
    void restoreGeometry();

    GoalListWidget *m_list;
    GoalTableWidget *m_table;
    QLabel *m_errorLabel;
    QDialogButtonBox *m_buttons;
};

// Runs "Edit Goals" modally over parent for the model's goals; each list
// the user applies goes to edited, help requests to help.
void runGoalEditor(const OptimizationModel &model, QWidget *parent,
                   const std::function<void(const OptimItemList<OptimGoalInput> &)> &edited,
                   const std::function<void(const QString &)> &help);
