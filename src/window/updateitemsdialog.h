#pragma once

// "Update Design": which of the algorithm, the goals and the variables are
// written back into the design. OK needs at least one checked box. The
// checks persist in the settings group "UpdateItems". The dialog names the
// optimization whose results are written (with several in a sweep, each
// goes into its own entry of the design).

#include <QDialog>

class QCheckBox;
class QPushButton;

class UpdateItemsDialog : public QDialog
{
    Q_OBJECT

public:
    // optimization: the name (and label) of the optimization written; none
    // shown when empty.
    explicit UpdateItemsDialog(QWidget *parent = nullptr, const QString &optimization = QString());

    bool updateAlgorithm() const;
    bool updateGoals() const;
    bool updateVariables() const;

private Q_SLOTS:
    void updateButtons();
    void handleAccept();

private:
    QCheckBox *m_algorithm;
    QCheckBox *m_goals;
    QCheckBox *m_variables;
    QPushButton *m_ok;
};
