#include "editvariables.h"

#include "editors/variabletablewidget.h"
#include "state/helmdecksettings.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

const char kSizeKey[] = "EditVariablesSize";
const char kPosKey[] = "EditVariablesPos";

} // namespace

EditVariables::EditVariables(const OptimItemList<OptimVarInput> &variables, const OptimAlgInput &algorithm,
                             QWidget *parent)
    : QDialog(parent)
    , m_table(new VariableTableWidget(variables, algorithm, this))
    , m_errorLabel(new QLabel(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel
                                         | QDialogButtonBox::Help,
                                     this))
{
    setObjectName(QStringLiteral("editVariablesDialog"));
    setWindowTitle(QStringLiteral("Edit Optimization Variables"));
    m_errorLabel->setObjectName(QStringLiteral("variableErrorLabel"));
    m_errorLabel->setMargin(4);
    m_buttons->setObjectName(QStringLiteral("editVariablesButtons"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(m_errorLabel);
    layout->addWidget(m_buttons);

    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, m_table,
            &VariableTableWidget::verifyAndEmitVariables);
    connect(m_buttons, &QDialogButtonBox::accepted, m_table, &VariableTableWidget::verifyAndEmitVariablesAccept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons, &QDialogButtonBox::helpRequested, this, &EditVariables::handleHelpRequest);
    connect(m_table, &VariableTableWidget::variablesEdited, this, &EditVariables::emitEditedVariables);
    connect(m_table, &VariableTableWidget::variablesEditedAccept, this, &EditVariables::emitEditedVariablesAccepted);
    connect(m_table, &VariableTableWidget::numErrors, this, &EditVariables::handleNumErrors);
    handleNumErrors(m_table->errorCount());

    // Wide enough for every column of the table; the stored size wins.
    const int tableWidth = m_table->horizontalHeader()->length() + m_table->frameWidth() * 2
        + m_table->verticalScrollBar()->sizeHint().width();
    resize(qMax(tableWidth + layout->contentsMargins().left() + layout->contentsMargins().right(), 500), 360);
    HelmdeckSettings settings;
    const QSize size = settings.value(QLatin1String(kSizeKey)).toSize();
    if (size.isValid() && !size.isEmpty())
        resize(size);
    const QVariant pos = settings.value(QLatin1String(kPosKey));
    if (pos.isValid() && QGuiApplication::screenAt(pos.toPoint()))
        move(pos.toPoint());
}

void EditVariables::done(int result)
{
    HelmdeckSettings settings;
    settings.setValue(QLatin1String(kSizeKey), size());
    settings.setValue(QLatin1String(kPosKey), pos());
    QDialog::done(result);
}

void EditVariables::emitEditedVariables(const OptimItemList<OptimVarInput> &variables)
{
    Q_EMIT editedVariables(variables);
}

void EditVariables::emitEditedVariablesAccepted(const OptimItemList<OptimVarInput> &variables)
{
    Q_EMIT editedVariables(variables);
    accept();
}

void EditVariables::handleNumErrors(int count)
{
    if (count == 0)
        m_errorLabel->clear();
    else if (count == 1)
        m_errorLabel->setText(QStringLiteral("  There is 1 invalid entry  "));
    else
        m_errorLabel->setText(QStringLiteral("  There are ") + QString::number(count) + QStringLiteral(" invalid entries  "));
    m_errorLabel->setVisible(count != 0);
    const QString why = count == 0 ? QString() : QStringLiteral("Correct the entries marked in yellow first.");
    for (QDialogButtonBox::StandardButton which : {QDialogButtonBox::Ok, QDialogButtonBox::Apply}) {
        m_buttons->button(which)->setEnabled(count == 0);
        m_buttons->button(which)->setToolTip(why);
    }
}

void EditVariables::handleHelpRequest()
{
    Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_EDIT_VARIABLES"));
}
