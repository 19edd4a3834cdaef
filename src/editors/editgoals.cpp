#include "editgoals.h"

#include "goalchecks.h"
#include "goallistwidget.h"
#include "goaltablewidget.h"
#include "model/optimizationmodel.h"
#include "state/helmdecksettings.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

const QSize kDefaultSize(860, 480);

QStringList distinct(const OptimItemList<OptimGoalInput> &goals, QString (*field)(const OptimGoalInput &))
{
    QStringList values;
    for (const OptimGoalInput &goal : goals) {
        const QString value = field(goal);
        if (!value.isEmpty() && !values.contains(value))
            values.append(value);
    }
    return values;
}

} // namespace

EditGoals::EditGoals(const OptimItemList<OptimGoalInput> &goals, QWidget *parent)
    : QDialog(parent)
    , m_list(new GoalListWidget)
    , m_table(new GoalTableWidget)
    , m_errorLabel(new QLabel)
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel
                                     | QDialogButtonBox::Help))
{
    setObjectName(QStringLiteral("editGoalsDialog"));
    setWindowTitle(QStringLiteral("Edit Goals"));
    m_errorLabel->setObjectName(QStringLiteral("errorLabel"));
    m_errorLabel->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    m_buttons->button(QDialogButtonBox::Apply)->setObjectName(QStringLiteral("applyButton"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    m_buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("helpButton"));

    auto *goalsGroup = new QGroupBox(QStringLiteral("Goals"));
    auto *goalsLayout = new QVBoxLayout(goalsGroup);
    goalsLayout->addWidget(m_list);
    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(goalsGroup);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({150, 710});
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_errorLabel, 1);
    bottom->addWidget(m_buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);

    connect(m_list, &GoalListWidget::goalSelected, m_table, &GoalTableWidget::setGoal);
    connect(m_table, &GoalTableWidget::errorCountChanged, this, &EditGoals::updateErrorCount);
    connect(m_table, &GoalTableWidget::errorCountChanged, m_list, &GoalListWidget::updateErrorCountForSelectedGoal);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &EditGoals::handleOK);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &EditGoals::handleApply);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons, &QDialogButtonBox::helpRequested, this, &EditGoals::handleHelpRequest);

    m_table->setExpressionChoices(distinct(goals, [](const OptimGoalInput &g) { return g.expression(); }));
    m_table->setAnalysisChoices(distinct(goals, [](const OptimGoalInput &g) { return g.simInstanceName(); }));
    // Every goal's variables: a swept source one goal uses is offered to all.
    QStringList indepVars;
    for (const OptimGoalInput &goal : goals)
        indepVars += goal.indepVarNames();
    m_table->setIndepVarChoices(indepVars);
    m_list->setGoals(goals);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    else
        updateErrorCount(0);
    restoreGeometry();
}

QPushButton *EditGoals::okButton() const
{
    return m_buttons->button(QDialogButtonBox::Ok);
}

QPushButton *EditGoals::applyButton() const
{
    return m_buttons->button(QDialogButtonBox::Apply);
}

QString EditGoals::invalidGoalsText(const QStringList &names)
{
    QString text = QStringLiteral("The operation cannot be completed because\n");
    text += names.size() == 1 ? QStringLiteral("this goal contains") : QStringLiteral("these goals contain");
    text += QStringLiteral(" invalid entries:\n");
    for (const QString &name : names)
        text += QStringLiteral("\n    ") + name;
    return text + QLatin1Char('\n');
}

void EditGoals::handleHelpRequest()
{
    Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_EDIT_GOALS"));
}

void EditGoals::updateErrorCount(int count)
{
    if (count <= 0)
        m_errorLabel->clear();
    else if (count == 1)
        m_errorLabel->setText(QStringLiteral("  There is 1 invalid entry  "));
    else
        m_errorLabel->setText(QStringLiteral("  There are %1 invalid entries  ").arg(count));
    okButton()->setEnabled(count <= 0);
    applyButton()->setEnabled(count <= 0);
}

bool EditGoals::handOutGoals()
{
    const QStringList invalid = m_list->invalidGoalNames();
    if (!invalid.isEmpty()) {
        QPointer<EditGoals> self(this);
        QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Information, QStringLiteral("Invalid Goals"),
                                                    invalidGoalsText(invalid), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("invalidGoalsBox"));
        box->exec();
        if (self && box)
            box->deleteLater();
        return false;
    }
    OptimItemList<OptimGoalInput> goals;
    for (const OptimGoalInput &goal : m_list->goals())
        goals.append(goalcheck::withPlainNumbers(goal));
    Q_EMIT goalsChanged(goals);
    return true;
}

void EditGoals::handleOK()
{
    QPointer<EditGoals> self(this);
    if (handOutGoals() && self)
        accept();
}

void EditGoals::handleApply()
{
    handOutGoals();
}

void EditGoals::done(int result)
{
    HelmdeckSettings settings;
    settings.setValue(QStringLiteral("EditGoalsPos"), pos());
    settings.setValue(QStringLiteral("EditGoalsSize"), size());
    QDialog::done(result);
}

void EditGoals::restoreGeometry()
{
    HelmdeckSettings settings;
    const QSize storedSize = settings.value(QStringLiteral("EditGoalsSize"), kDefaultSize).toSize();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), kDefaultSize);
    if (!settings.contains(QStringLiteral("EditGoalsPos"))) {
        resize(storedSize.boundedTo(desktop.size()));
        return;
    }
    const WindowPlacement placement =
        restoredWindowPlacement(storedSize, settings.value(QStringLiteral("EditGoalsPos")).toPoint(), desktop);
    resize(placement.size);
    move(placement.pos);
}

void runGoalEditor(const OptimizationModel &model, QWidget *parent,
                   const std::function<void(const OptimItemList<OptimGoalInput> &)> &edited,
                   const std::function<void(const QString &)> &help)
{
    QPointer<EditGoals> dialog = new EditGoals(model.input().goals(), parent);
    QObject::connect(dialog, &EditGoals::goalsChanged, dialog,
                     [edited](const OptimItemList<OptimGoalInput> &goals) {
                         if (edited)
                             edited(goals);
                     });
    QObject::connect(dialog, &EditGoals::helpRequested, dialog, [help](const QString &topic) {
        if (help)
            help(topic);
    });
    dialog->exec();
    if (dialog)
        dialog->deleteLater();
}
