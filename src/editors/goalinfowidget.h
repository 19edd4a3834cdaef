#pragma once

// The upper half of the goal table: the goal's name, expression, analysis,
// weight and independent variables, edited in place in the goal given to
// setGoal. Faulty fields turn yellow with their message as tooltip.
//
// Beside "Edit..." a "Choose" menu sets the independent variable in one
// step: "freq" (AC, noise), "time" (transient), the names the design's
// goals use (a swept DC source such as "v1"), or none (an operating-point
// value). A variable kept keeps its ranges; any other starts without.

#include <QList>
#include <QPair>
#include <QWidget>

class OptimGoalInput;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class GoalInfoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit GoalInfoWidget(QWidget *parent = nullptr);

    // The goal edited in place (not owned); null shows nothing.
    void setGoal(OptimGoalInput *goal);
    // The choices of the two editable pull-downs.
    void setExpressionChoices(const QStringList &choices);
    void setAnalysisChoices(const QStringList &choices);
    // Names the "Choose" menu offers after "freq" and "time" (the goal's
    // own names are offered too).
    void setIndepVarChoices(const QStringList &choices);
    // The menu's names in their order, "freq" and "time" first, each once.
    QStringList indepVarChoices() const;
    int errorCount() const { return m_errorCount; }

    QLineEdit *nameEdit() const { return m_name; }
    QComboBox *expressionBox() const { return m_expression; }
    QComboBox *analysisBox() const { return m_analysis; }
    QLineEdit *weightEdit() const { return m_weight; }
    QLabel *indepVarsLabel() const { return m_indepVars; }
    QPushButton *editIndepVarsButton() const { return m_editIndepVars; }
    QToolButton *chooseIndepVarButton() const { return m_chooseIndepVar; }

Q_SIGNALS:
    void rangeVarsChanged();
    void errorCountChanged(int count);

public Q_SLOTS:
    void showEditRangeVarsDialog();
    // One (position before editing or -1, name) pair per independent
    // variable, in their new order. Ranges follow their variable; a new
    // variable starts without bounds.
    void updateRangeVars(const QList<QPair<int, QString>> &vars);
    void updateName();
    void updateExpression();
    void updateExpression(const QString &expression);
    void updateAnalysis();
    void updateAnalysis(const QString &analysis);
    void updateWeight();
    // The goal's independent variables become just name; an empty name
    // leaves it none.
    void chooseIndepVar(const QString &name);

private:
    void fillChoiceMenu();
    void showGoal();
    void showProblems();

    OptimGoalInput *m_goal = nullptr;
    QLineEdit *m_name;
    QComboBox *m_expression;
    QComboBox *m_analysis;
    QLineEdit *m_weight;
    QLabel *m_indepVars;
    QPushButton *m_editIndepVars;
    QToolButton *m_chooseIndepVar;
    QStringList m_indepVarChoices;
    int m_errorCount = 0;
    bool m_showing = false;
};
