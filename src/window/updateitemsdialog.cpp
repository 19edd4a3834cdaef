#include "updateitemsdialog.h"

#include "state/helmdecksettings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString groupName = QStringLiteral("UpdateItems");

} // namespace

UpdateItemsDialog::UpdateItemsDialog(QWidget *parent, const QString &optimization)
    : QDialog(parent)
    , m_algorithm(new QCheckBox(QStringLiteral("Algorithm"), this))
    , m_goals(new QCheckBox(QStringLiteral("Goals"), this))
    , m_variables(new QCheckBox(QStringLiteral("Variables"), this))
{
    setObjectName(QStringLiteral("updateItemsDialog"));
    setWindowTitle(QStringLiteral("Update Design"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *label = new QLabel(QStringLiteral("Items to update:"), this);
    label->setObjectName(QStringLiteral("updateItemsLabel"));
    m_algorithm->setObjectName(QStringLiteral("algorithmCheck"));
    m_goals->setObjectName(QStringLiteral("goalsCheck"));
    m_variables->setObjectName(QStringLiteral("variablesCheck"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateItemsDialog::handleAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    if (!optimization.isEmpty()) {
        auto *which = new QLabel(QStringLiteral("Writes the results of the optimization %1.").arg(optimization), this);
        which->setObjectName(QStringLiteral("updateOptimizationLabel"));
        which->setTextFormat(Qt::PlainText);
        layout->addWidget(which);
    }
    layout->addWidget(label);
    auto *checks = new QVBoxLayout;
    checks->setContentsMargins(12, 0, 0, 0);
    checks->addWidget(m_algorithm);
    checks->addWidget(m_goals);
    checks->addWidget(m_variables);
    layout->addLayout(checks);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    HelmdeckSettings settings;
    settings.beginGroup(groupName);
    m_algorithm->setChecked(settings.value(QStringLiteral("algorithm"), true).toBool());
    m_goals->setChecked(settings.value(QStringLiteral("goals"), true).toBool());
    m_variables->setChecked(settings.value(QStringLiteral("variables"), true).toBool());

    for (QCheckBox *box : {m_algorithm, m_goals, m_variables})
        connect(box, &QCheckBox::clicked, this, &UpdateItemsDialog::updateButtons);
    updateButtons();
}

bool UpdateItemsDialog::updateAlgorithm() const
{
    return m_algorithm->isChecked();
}

bool UpdateItemsDialog::updateGoals() const
{
    return m_goals->isChecked();
}

bool UpdateItemsDialog::updateVariables() const
{
    return m_variables->isChecked();
}

void UpdateItemsDialog::updateButtons()
{
    m_ok->setEnabled(updateAlgorithm() || updateGoals() || updateVariables());
}

void UpdateItemsDialog::handleAccept()
{
    // Enter or a programmatic accept must not get past the rule that OK has.
    if (!m_ok->isEnabled())
        return;
    HelmdeckSettings settings;
    settings.beginGroup(groupName);
    settings.setValue(QStringLiteral("algorithm"), updateAlgorithm());
    settings.setValue(QStringLiteral("goals"), updateGoals());
    settings.setValue(QStringLiteral("variables"), updateVariables());
    accept();
}
