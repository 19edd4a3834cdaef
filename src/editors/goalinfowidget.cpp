#include "goalinfowidget.h"

#include "editrangevarsdialog.h"
#include "goalchecks.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

namespace {

// A field with a message shows it as tooltip on a solid yellow background.
void markField(QWidget *field, const QString &message)
{
    QPalette palette = field->parentWidget() ? field->parentWidget()->palette() : QPalette();
    if (!message.isEmpty()) {
        palette.setColor(QPalette::Base, Qt::yellow);
        palette.setColor(QPalette::Window, Qt::yellow);
    }
    field->setPalette(palette);
    field->setToolTip(message);
}

void setChoices(QComboBox *box, const QStringList &choices)
{
    const QString text = box->currentText();
    const QSignalBlocker blocker(box);
    box->clear();
    box->addItems(choices);
    box->setEditText(text);
}

} // namespace

GoalInfoWidget::GoalInfoWidget(QWidget *parent)
    : QWidget(parent)
    , m_name(new QLineEdit)
    , m_expression(new QComboBox)
    , m_analysis(new QComboBox)
    , m_weight(new QLineEdit)
    , m_indepVars(new QLabel)
    , m_editIndepVars(new QPushButton(QStringLiteral("Edit...")))
    , m_chooseIndepVar(new QToolButton)
{
    m_name->setObjectName(QStringLiteral("goalNameEdit"));
    m_expression->setObjectName(QStringLiteral("expressionBox"));
    m_analysis->setObjectName(QStringLiteral("analysisBox"));
    m_weight->setObjectName(QStringLiteral("goalWeightEdit"));
    m_indepVars->setObjectName(QStringLiteral("indepVarsLabel"));
    m_editIndepVars->setObjectName(QStringLiteral("editIndepVarsButton"));
    m_editIndepVars->setAutoDefault(false);
    m_chooseIndepVar->setObjectName(QStringLiteral("chooseIndepVarButton"));
    m_chooseIndepVar->setText(QStringLiteral("Choose"));
    m_chooseIndepVar->setToolTip(QStringLiteral("Set the independent variable: frequency, time, a swept source, or none"));
    m_chooseIndepVar->setPopupMode(QToolButton::InstantPopup);
    m_chooseIndepVar->setMenu(new QMenu(m_chooseIndepVar));
    m_chooseIndepVar->menu()->setObjectName(QStringLiteral("indepVarChoiceMenu"));
    connect(m_chooseIndepVar->menu(), &QMenu::aboutToShow, this, &GoalInfoWidget::fillChoiceMenu);
    for (QComboBox *box : {m_expression, m_analysis}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(16);
    }
    m_indepVars->setTextFormat(Qt::RichText);
    // The list of names turns yellow when one of them is invalid.
    m_indepVars->setAutoFillBackground(true);

    auto *vars = new QHBoxLayout;
    vars->addWidget(m_indepVars, 1);
    vars->addWidget(m_chooseIndepVar);
    vars->addWidget(m_editIndepVars);
    auto *form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Expression:"), m_expression);
    form->addRow(QStringLiteral("Analysis:"), m_analysis);
    form->addRow(QStringLiteral("Weight:"), m_weight);
    form->addRow(QStringLiteral("Indep. Vars.:"), vars);

    connect(m_name, &QLineEdit::textChanged, this, &GoalInfoWidget::updateName);
    connect(m_expression, &QComboBox::currentTextChanged, this, qOverload<const QString &>(&GoalInfoWidget::updateExpression));
    connect(m_analysis, &QComboBox::currentTextChanged, this, qOverload<const QString &>(&GoalInfoWidget::updateAnalysis));
    connect(m_weight, &QLineEdit::textChanged, this, &GoalInfoWidget::updateWeight);
    connect(m_editIndepVars, &QPushButton::clicked, this, &GoalInfoWidget::showEditRangeVarsDialog);
    setGoal(nullptr);
}

void GoalInfoWidget::setGoal(OptimGoalInput *goal)
{
    m_goal = goal;
    showGoal();
}

void GoalInfoWidget::setExpressionChoices(const QStringList &choices)
{
    setChoices(m_expression, choices);
}

void GoalInfoWidget::setAnalysisChoices(const QStringList &choices)
{
    setChoices(m_analysis, choices);
}

void GoalInfoWidget::setIndepVarChoices(const QStringList &choices)
{
    m_indepVarChoices = choices;
}

QStringList GoalInfoWidget::indepVarChoices() const
{
    QStringList names{QStringLiteral("freq"), QStringLiteral("time")};
    const QStringList own = m_goal ? m_goal->indepVarNames() : QStringList();
    for (const QStringList *list : {&m_indepVarChoices, &own}) {
        for (const QString &name : *list) {
            if (!name.trimmed().isEmpty() && !names.contains(name.trimmed(), Qt::CaseInsensitive))
                names.append(name.trimmed());
        }
    }
    return names;
}

void GoalInfoWidget::fillChoiceMenu()
{
    QMenu *menu = m_chooseIndepVar->menu();
    menu->clear();
    for (const QString &name : indepVarChoices())
        menu->addAction(name, this, [this, name] { chooseIndepVar(name); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("None (a single value)"), this, [this] { chooseIndepVar(QString()); });
}

void GoalInfoWidget::chooseIndepVar(const QString &name)
{
    if (!m_goal)
        return;
    if (name.isEmpty()) {
        updateRangeVars({});
        return;
    }
    const int old = int(m_goal->indepVarNames().indexOf(name));
    updateRangeVars({{old, name}});
}

void GoalInfoWidget::showGoal()
{
    m_showing = true;
    m_name->setText(m_goal ? m_goal->name() : QString());
    m_expression->setEditText(m_goal ? m_goal->expression() : QString());
    m_analysis->setEditText(m_goal ? m_goal->simInstanceName() : QString());
    m_weight->setText(m_goal ? m_goal->weight() : QString());
    const QStringList names = m_goal ? m_goal->indepVarNames() : QStringList();
    m_indepVars->setText(names.isEmpty() ? QStringLiteral("<i>None specified</i>&nbsp;")
                                         : names.join(QStringLiteral(", ")).toHtmlEscaped());
    for (QWidget *field : std::initializer_list<QWidget *>{m_name, m_expression, m_analysis, m_weight, m_editIndepVars, m_chooseIndepVar})
        field->setEnabled(m_goal);
    m_showing = false;
    showProblems();
}

void GoalInfoWidget::showProblems()
{
    using goalcheck::InfoField;
    const int flags = m_goal ? goalcheck::infoProblems(*m_goal) : 0;
    const QString name = m_goal ? goalcheck::infoMessage(flags, InfoField::Name) : QString();
    const QString expression = m_goal ? goalcheck::infoMessage(flags, InfoField::Expression) : QString();
    const QString analysis = m_goal ? goalcheck::infoMessage(flags, InfoField::Analysis) : QString();
    const QString weight = m_goal ? goalcheck::infoMessage(flags, InfoField::Weight) : QString();
    const QString indepVars = m_goal ? goalcheck::infoMessage(flags, InfoField::IndepVars) : QString();
    markField(m_name, name);
    markField(m_expression, expression);
    markField(m_analysis, analysis);
    markField(m_weight, weight);
    markField(m_indepVars, indepVars);
    int count = 0;
    for (const QString *message : {&name, &expression, &analysis, &weight, &indepVars})
        count += message->isEmpty() ? 0 : 1;
    m_errorCount = count;
    Q_EMIT errorCountChanged(count);
}

void GoalInfoWidget::updateName()
{
    if (m_showing || !m_goal)
        return;
    m_goal->setName(m_name->text());
    showProblems();
}

void GoalInfoWidget::updateExpression()
{
    updateExpression(m_expression->currentText());
}

void GoalInfoWidget::updateExpression(const QString &expression)
{
    if (m_showing || !m_goal)
        return;
    m_goal->setExpression(expression);
    showProblems();
}

void GoalInfoWidget::updateAnalysis()
{
    updateAnalysis(m_analysis->currentText());
}

void GoalInfoWidget::updateAnalysis(const QString &analysis)
{
    if (m_showing || !m_goal)
        return;
    m_goal->setSimInstanceName(analysis);
    showProblems();
}

void GoalInfoWidget::updateWeight()
{
    if (m_showing || !m_goal)
        return;
    m_goal->setWeight(m_weight->text());
    showProblems();
}

void GoalInfoWidget::showEditRangeVarsDialog()
{
    if (!m_goal)
        return;
    QPointer<GoalInfoWidget> self(this);
    QPointer<EditRangeVarsDialog> dialog = new EditRangeVarsDialog(m_goal->indepVarNames(), this);
    connect(dialog, &EditRangeVarsDialog::rangeVarsEdited, this, &GoalInfoWidget::updateRangeVars);
    dialog->exec();
    if (!self)
        return;
    if (dialog)
        dialog->deleteLater();
}

void GoalInfoWidget::updateRangeVars(const QList<QPair<int, QString>> &vars)
{
    if (!m_goal)
        return;
    const QStringList oldUnits = m_goal->indepVarUnits();
    const int oldCount = int(m_goal->indepVarNames().size());
    QList<QPair<int, QString>> kept;
    for (const auto &var : vars) {
        if (!var.second.trimmed().isEmpty())
            kept.append({var.first >= 0 && var.first < oldCount ? var.first : -1, var.second.trimmed()});
    }
    bool same = kept.size() == oldCount;
    for (int position = 0; same && position < kept.size(); ++position)
        same = kept.at(position).first == position && kept.at(position).second == m_goal->indepVarNames().at(position);
    if (same)
        return;
    // Each limit's ranges follow their variables to the new positions; a
    // limit that had no bounds at all keeps none.
    OptimItemList<OptimGoalLimitInput> limits = m_goal->limits();
    for (OptimGoalLimitInput &limit : limits) {
        bool bounded = false;
        OptimItemList<OptimGoalRange> ranges;
        for (int position = 0; position < kept.size(); ++position) {
            const auto old = kept.at(position).first >= 0 ? limit.rangeForIndex(kept.at(position).first) : std::nullopt;
            ranges.append(OptimGoalRange(position, old ? old->lowerBound() : QString(), old ? old->upperBound() : QString()));
            bounded = bounded || (old && (old->hasLowerBound() || old->hasUpperBound()));
        }
        limit.setRanges(bounded ? ranges : OptimItemList<OptimGoalRange>());
    }
    while (!m_goal->indepVarNames().isEmpty())
        m_goal->removeIndepVar(m_goal->indepVarNames().size() - 1);
    for (int position = 0; position < kept.size(); ++position) {
        m_goal->addIndepVar(kept.at(position).second);
        if (kept.at(position).first >= 0)
            m_goal->setIndepVarUnit(position, oldUnits.value(kept.at(position).first));
    }
    m_goal->setLimits(limits);
    showGoal();
    Q_EMIT rangeVarsChanged();
}
