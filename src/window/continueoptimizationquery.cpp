#include "continueoptimizationquery.h"

#include "model/optimizationmodelobject.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const int maximumLimit = 100000;

// A decimal integer text; failed reads give 0 (the limit check) or the
// caller's fallback.
int decimal(const QString &text, int fallback, bool *ok = nullptr)
{
    bool read = false;
    const int value = text.trimmed().toInt(&read, 10);
    if (ok)
        *ok = read;
    return read ? value : fallback;
}

QString cannotContinueText(int status)
{
    QString text;
    switch (status) {
    case StatusExited:
        text = QStringLiteral("The optimization has completed.");
        break;
    case StatusExitedWithError:
        text = QStringLiteral("The optimization has exited with an error.");
        break;
    default:
        text = QStringLiteral("The optimization has been killed.");
        break;
    }
    return text + QStringLiteral("\n\nIt cannot be continued.");
}

} // namespace

ContinueOptimizationQuery::Kind ContinueOptimizationQuery::queryKind(const OptimizationModel &model)
{
    const int status = model.algorithmOutput().status();
    if (status == StatusExited || status == StatusExitedWithError || status == StatusKilled)
        return CannotContinue;
    if (status == StatusFinished && model.algorithmInput().algorithmType() != AlgorithmDiscrete
        && decimal(model.algorithmOutput().iterationText(), 0) >= decimal(model.algorithmInput().maxIterations(), 0))
        return LimitReached;
    return NoQuestion;
}

ContinueOptimizationQuery::ContinueOptimizationQuery(QWidget *parent, const OptimizationModelObject *modelObject)
    : QDialog(parent)
    , m_kind(modelObject ? queryKind(modelObject->model()) : NoQuestion)
    , m_text(new QLabel(this))
{
    static const OptimizationModel noModel;
    const OptimizationModel &model = modelObject ? modelObject->model() : noModel;
    setObjectName(QStringLiteral("continueOptimizationQuery"));
    setWindowTitle(QStringLiteral("Continue Optimization"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_text->setObjectName(QStringLiteral("continueQueryText"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    auto *buttons = new QDialogButtonBox(this);

    if (m_kind == CannotContinue) {
        m_text->setText(cannotContinueText(model.algorithmOutput().status()));
        QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
        ok->setObjectName(QStringLiteral("okButton"));
        connect(ok, &QPushButton::clicked, this, &QDialog::reject);
    } else if (m_kind == LimitReached) {
        m_text->setText(QStringLiteral("The maximum number of iterations (") + model.algorithmInput().maxIterations()
                        + QStringLiteral(") has been reached.\nWould you like to continue the optimization with"));
        // The iteration count sets the new limit's lower end and its steps;
        // an unreadable count counts as 100.
        const int done = std::max(0, decimal(model.algorithmOutput().iterationText(), 100));
        const int step = done < 100 ? 5 : done < 1000 ? 10 : 100;
        m_maxIterations = new QSpinBox(this);
        m_maxIterations->setObjectName(QStringLiteral("maxIterationsSpin"));
        m_maxIterations->setRange(std::min(done, maximumLimit), maximumLimit);
        m_maxIterations->setSingleStep(step);
        // Twice the count, and never a limit that would stop again at once.
        m_maxIterations->setValue(std::max(2 * done, done + step));
        auto *row = new QFormLayout;
        row->addRow(QStringLiteral("Maximum iterations"), m_maxIterations);
        layout->addLayout(row);

        QPushButton *proceed = buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
        proceed->setObjectName(QStringLiteral("continueButton"));
        proceed->setDefault(true);
        QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    } else {
        QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
        ok->setObjectName(QStringLiteral("okButton"));
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString ContinueOptimizationQuery::text() const
{
    return m_text->text();
}

int ContinueOptimizationQuery::maximumIterations() const
{
    return m_maxIterations ? m_maxIterations->value() : 0;
}
