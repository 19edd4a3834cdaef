#include "helmdeckoptionsdialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

struct Radio
{
    const char *objectName;
    const char *text;
    int id;
};

// Adds the radios to the group and to the grid's column 1 from row on,
// with the label (if any) in column 0 of the first row.
int addRadios(QGridLayout *grid, int row, const QString &label, QButtonGroup *group, std::initializer_list<Radio> radios,
              QWidget *parent)
{
    if (!label.isEmpty()) {
        auto *caption = new QLabel(label, parent);
        caption->setObjectName(group->objectName() + QStringLiteral("Label"));
        grid->addWidget(caption, row, 0, Qt::AlignTop);
    }
    for (const Radio &radio : radios) {
        auto *button = new QRadioButton(QString::fromLatin1(radio.text), parent);
        button->setObjectName(QString::fromLatin1(radio.objectName));
        group->addButton(button, radio.id);
        grid->addWidget(button, row++, 1);
    }
    return row;
}

} // namespace

HelmdeckOptionsDialog::HelmdeckOptionsDialog(QWidget *parent)
    : QDialog(parent)
    , m_tuningGroup(new QButtonGroup(this))
    , m_xAxisGroup(new QButtonGroup(this))
    , m_yAxisGroup(new QButtonGroup(this))
    , m_goalXAxisGroup(new QButtonGroup(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this))
{
    setObjectName(QStringLiteral("helmdeckOptionsDialog"));
    setWindowTitle(QStringLiteral("Helmdeck Options"));
    m_tuningGroup->setObjectName(QStringLiteral("tuningGroup"));
    m_xAxisGroup->setObjectName(QStringLiteral("xAxisGroup"));
    m_yAxisGroup->setObjectName(QStringLiteral("yAxisGroup"));
    m_goalXAxisGroup->setObjectName(QStringLiteral("goalXAxisGroup"));

    auto *tuningBox = new QGroupBox(QStringLiteral("Tuning"), this);
    tuningBox->setObjectName(QStringLiteral("tuningBox"));
    auto *tuningGrid = new QGridLayout(tuningBox);
    addRadios(tuningGrid, 0, QString(), m_tuningGroup,
              {{"tuneWhileSliderMovesRadio", "Simulate while slider moves", 0},
               {"tuneAfterEachChangeRadio", "Simulate after each change", 1},
               {"tuneOnRequestRadio", "Simulate after pressing Simulate", 2}},
              tuningBox);
    tuningGrid->setColumnStretch(1, 1);

    auto *historyBox = new QGroupBox(QStringLiteral("History graphs"), this);
    historyBox->setObjectName(QStringLiteral("historyGraphsBox"));
    auto *historyGrid = new QGridLayout(historyBox);
    int row = addRadios(historyGrid, 0, QStringLiteral("X-axis:"), m_xAxisGroup,
                        {{"lastTenRadio", "Display the last 10 iterations", 1},
                         {"lastTwentyFiveRadio", "Display the last 25 iterations", 2},
                         {"allIterationsRadio", "Display all iterations", 0}},
                        historyBox);
    historyGrid->setRowMinimumHeight(row++, 6);
    addRadios(historyGrid, row, QStringLiteral("Y-axis:"), m_yAxisGroup,
              {{"visibleDataRadio", "Auto-scale using visible data", 0}, {"allDataRadio", "Auto-scale using all data", 1}},
              historyBox);
    historyGrid->setColumnStretch(1, 1);

    auto *goalBox = new QGroupBox(QStringLiteral("Goal plots"), this);
    goalBox->setObjectName(QStringLiteral("goalPlotsBox"));
    auto *goalGrid = new QGridLayout(goalBox);
    addRadios(goalGrid, 0, QStringLiteral("X-axis:"), m_goalXAxisGroup,
              {{"fitTraceRadio", "Fit to trace", 1},
               {"fitLimitLinesRadio", "Fit to limit lines", 0},
               {"fitTraceAndLimitLinesRadio", "Fit to trace and limit lines", 2}},
              goalBox);
    goalGrid->setColumnStretch(1, 1);

    m_buttons->setObjectName(QStringLiteral("optionsButtons"));
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    m_buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("helpButton"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tuningBox);
    layout->addWidget(historyBox);
    layout->addWidget(goalBox);
    layout->addStretch(1);
    layout->addWidget(m_buttons);

    connect(m_tuningGroup, &QButtonGroup::idClicked, this, &HelmdeckOptionsDialog::handleTuningOptionClicked);
    connect(m_xAxisGroup, &QButtonGroup::idClicked, this, &HelmdeckOptionsDialog::handleXAxisClicked);
    connect(m_yAxisGroup, &QButtonGroup::idClicked, this, &HelmdeckOptionsDialog::handleYAxisClicked);
    connect(m_goalXAxisGroup, &QButtonGroup::idClicked, this, &HelmdeckOptionsDialog::handleGoalXAxisOptionClicked);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons, &QDialogButtonBox::helpRequested, this, &HelmdeckOptionsDialog::handleHelpRequest);

    checkId(m_tuningGroup, int(m_tuneMode));
    checkId(m_xAxisGroup, m_iterationsToDisplay);
    checkId(m_yAxisGroup, m_yAxisAutoscaleUsingAllData ? 1 : 0);
    checkId(m_goalXAxisGroup, m_goalXAxisScaling);
}

bool HelmdeckOptionsDialog::checkId(QButtonGroup *group, int id)
{
    QAbstractButton *button = group->button(id);
    if (!button)
        return false;
    button->setChecked(true);
    return true;
}

void HelmdeckOptionsDialog::setTuneMode(OptimHelmdeckTuneMode mode)
{
    if (checkId(m_tuningGroup, int(mode)))
        m_tuneMode = mode;
}

void HelmdeckOptionsDialog::setIterationsToDisplay(int setting)
{
    if (checkId(m_xAxisGroup, setting))
        m_iterationsToDisplay = setting;
}

void HelmdeckOptionsDialog::setYAxisAutoscaleUsingAllData(bool useAllData)
{
    m_yAxisAutoscaleUsingAllData = useAllData;
    checkId(m_yAxisGroup, useAllData ? 1 : 0);
}

void HelmdeckOptionsDialog::setGoalXAxisScaling(int scaling)
{
    if (checkId(m_goalXAxisGroup, scaling))
        m_goalXAxisScaling = scaling;
}

void HelmdeckOptionsDialog::handleTuningOptionClicked(int buttonId)
{
    m_tuneMode = optimHelmdeckTuneModeFromInt(buttonId);
}

void HelmdeckOptionsDialog::handleXAxisClicked(int buttonId)
{
    m_iterationsToDisplay = buttonId;
}

void HelmdeckOptionsDialog::handleYAxisClicked(int buttonId)
{
    m_yAxisAutoscaleUsingAllData = buttonId == 1;
}

void HelmdeckOptionsDialog::handleGoalXAxisOptionClicked(int buttonId)
{
    m_goalXAxisScaling = buttonId;
}

void HelmdeckOptionsDialog::handleHelpRequest()
{
    Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_OPTIONS"));
}
