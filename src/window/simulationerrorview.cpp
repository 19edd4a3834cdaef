#include "simulationerrorview.h"

#include "model/optimizationmodelobject.h"
#include "modelbinding.h"

#include <QHBoxLayout>

SimulationErrorView::SimulationErrorView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("simulationErrorView"));
    auto *label = new QLabel(QStringLiteral("Simulation error"), this);
    label->setObjectName(QStringLiteral("simulationErrorLabel"));
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(0xc6, 0x28, 0x28));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setMargin(3);
    label->setToolTip(QStringLiteral("The last simulation failed; the results shown are not from it."));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addStretch(1);
    setVisible(false);
}

void SimulationErrorView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &SimulationErrorView::updateView);
    });
    updateView();
}

void SimulationErrorView::updateView()
{
    setVisible(m_model && !m_model->model().algorithmOutput().simulationOk());
}
