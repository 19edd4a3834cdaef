#include "optionsdialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OptionsDialog::OptionsDialog(QWidget *parent, bool showCancel)
    : QDialog(parent)
    , m_question(new QLabel(this))
    , m_answers(new QVBoxLayout)
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_question->setObjectName(QStringLiteral("questionLabel"));
    m_question->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_question);
    layout->addSpacing(4);
    layout->addLayout(m_answers);
    if (showCancel) {
        auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        cancel->setAutoDefault(false);
        connect(cancel, &QPushButton::clicked, this, &OptionsDialog::reject);
        layout->addSpacing(8);
        layout->addWidget(cancel);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void OptionsDialog::setQuestion(const QString &text)
{
    m_question->setText(text);
}

QString OptionsDialog::question() const
{
    return m_question->text();
}

int OptionsDialog::addOption(const QString &text)
{
    const int index = int(m_buttons.size());
    auto *button = new QPushButton(text, this);
    button->setObjectName(QStringLiteral("option%1").arg(index));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, index] { setOptionAndAccept(index); });
    m_answers->addWidget(button);
    m_buttons.append(button);
    return index;
}

void OptionsDialog::setDefaultOption(int index)
{
    if (index < 0 || index >= m_buttons.size())
        return;
    for (QPushButton *button : std::as_const(m_buttons))
        button->setDefault(false);
    m_buttons[index]->setDefault(true);
    m_buttons[index]->setFocus();
    m_option = index;
}

void OptionsDialog::setOption(int id)
{
    m_option = id;
}

void OptionsDialog::setOptionAndAccept(int id)
{
    m_option = id;
    accept();
}

void OptionsDialog::reject()
{
    m_option = -1;
    QDialog::reject();
}
