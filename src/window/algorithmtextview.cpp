#include "algorithmtextview.h"

#include "model/optimizationmodelobject.h"
#include "modelbinding.h"

#include <QHBoxLayout>

AlgorithmTextView::AlgorithmTextView(QWidget *parent)
    : QWidget(parent)
    , m_nameLabel(new QLabel(this))
    , m_typeLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("algorithmTextView"));
    m_nameLabel->setObjectName(QStringLiteral("algorithmNameLabel"));
    m_typeLabel->setObjectName(QStringLiteral("algorithmTypeLabel"));
    m_nameLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_nameLabel->font();
    bold.setBold(true);
    m_nameLabel->setFont(bold);
    m_typeLabel->setForegroundRole(QPalette::PlaceholderText);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_typeLabel);
    layout->addStretch(1);
}

void AlgorithmTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &AlgorithmTextView::updateView);
    });
    updateView();
}

void AlgorithmTextView::updateView()
{
    const QString name = m_model ? m_model->model().algorithmInput().name() : QString();
    const int type = m_model ? m_model->model().algorithmInput().algorithmType() : int(AlgorithmNone);
    bool changed = false;
    if (name != m_shownName) {
        m_shownName = name;
        m_nameLabel->setText(name);
        changed = true;
    }
    if (type != m_shownType) {
        m_shownType = type;
        m_typeLabel->setText(type == AlgorithmNone ? QString() : optimAlgorithmName(type));
        changed = true;
    }
    if (changed)
        updateGeometry();
}
