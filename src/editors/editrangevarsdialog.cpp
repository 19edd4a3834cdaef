#include "editrangevarsdialog.h"

#include "goalrowwidgets.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EditRangeVarsDialog::EditRangeVarsDialog(const QStringList &names, QWidget *parent)
    : QDialog(parent)
    , m_list(new EnhancedListWidget)
    , m_buttons(new RowOperationsWidget)
{
    setObjectName(QStringLiteral("editRangeVarsDialog"));
    setWindowTitle(QStringLiteral("Edit Independent Variables"));
    m_list->setObjectName(QStringLiteral("indepVarList"));

    auto *group = new QGroupBox(QStringLiteral("Independent variables"));
    auto *groupLayout = new QVBoxLayout(group);
    auto *header = new QLabel(QStringLiteral("Variable"));
    header->setObjectName(QStringLiteral("indepVarHeader"));
    groupLayout->addWidget(header);
    groupLayout->addWidget(m_list);
    groupLayout->addWidget(m_buttons);

    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    box->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    box->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(box);

    connect(m_buttons, &RowOperationsWidget::addRow, m_list, &EnhancedListWidget::appendRow);
    connect(m_buttons, &RowOperationsWidget::moveRowUp, m_list, &EnhancedListWidget::moveSelectedRowUp);
    connect(m_buttons, &RowOperationsWidget::deleteRow, m_list, &EnhancedListWidget::deleteSelectedRow);
    connect(m_buttons, &RowOperationsWidget::moveRowDown, m_list, &EnhancedListWidget::moveSelectedRowDown);
    connect(m_list, &EnhancedListWidget::rowSelected, m_buttons, &RowOperationsWidget::rowSelected);
    connect(box, &QDialogButtonBox::accepted, this, &EditRangeVarsDialog::emitRangeVarsEdited);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_list->setNames(names);
    m_buttons->rowSelected(m_list->currentRow(), m_list->count());
}

void EditRangeVarsDialog::emitRangeVarsEdited()
{
    Q_EMIT rangeVarsEdited(m_list->rows());
}
