#include "editalgorithm.h"

#include "editors/algorithmtypewarning.h"
#include "state/helmdecksettings.h"

#include <QComboBox>
#include <QEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

const char kPosKey[] = "EditAlgorithmPos";

int lowerIterationBound(const QString &iterationText, const QString &maxIterations)
{
    bool ok = false;
    int iteration = iterationText.trimmed().toInt(&ok, 10);
    if (!ok)
        iteration = 1;
    const int limit = maxIterations.trimmed().toInt(&ok, 10);
    return ok ? std::min(iteration, limit) : iteration;
}

} // namespace

MaxItersValidator::MaxItersValidator(const QString &iterationText, const QString &maxIterations, QObject *parent)
    : QIntValidator(lowerIterationBound(iterationText, maxIterations), INT_MAX, parent)
{
}

void MaxItersValidator::fixup(QString &input) const
{
    // What the user typed stays: a limit below the bound is marked and
    // refused on OK, never replaced behind the user's back.
    Q_UNUSED(input);
}

AlgorithmTableWidget::AlgorithmTableWidget(const OptimAlgInput &algorithm, const OptimAlgOutput &output,
                                           QWidget *parent)
    : QWidget(parent)
    , m_edited(algorithm)
    , m_type(new QComboBox(this))
    , m_maxIters(new QLineEdit(this))
    , m_validator(new MaxItersValidator(output.iterationText(), algorithm.maxIterations(), this))
{
    m_type->setObjectName(QStringLiteral("algorithmTypeBox"));
    m_maxIters->setObjectName(QStringLiteral("maxIterationsEdit"));
    // The empty name of code 0 is offered only when the algorithm has no type
    // yet, so that the pull-down can show it.
    const int current = algorithm.algorithmType();
    if (optimAlgorithmName(current).isEmpty())
        m_type->addItem(QString());
    for (int code = AlgorithmRandom; code <= LastAlgorithm; ++code)
        m_type->addItem(optimAlgorithmName(code));
    m_type->setCurrentText(optimAlgorithmName(current));
    m_maxIters->setValidator(m_validator);
    m_maxIters->setText(algorithm.maxIterations());
    m_maxIters->setEnabled(current != AlgorithmDiscrete);
    m_maxIters->setToolTip(QStringLiteral("At least %1").arg(m_validator->bottom()));

    auto *form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(QStringLiteral("Type"), m_type);
    form->addRow(QStringLiteral("Max. iterations"), m_maxIters);

    connect(m_type, &QComboBox::currentTextChanged, this, &AlgorithmTableWidget::updateType);
    connect(m_maxIters, &QLineEdit::editingFinished, this, &AlgorithmTableWidget::updateMaxIters);
    // A mark goes once the text is acceptable; a faulty text is marked when
    // the edit loses focus.
    connect(m_maxIters, &QLineEdit::textEdited, this, [this] {
        if (m_maxIters->hasAcceptableInput())
            markMaxIters(QString());
    });
    m_maxIters->installEventFilter(this);
}

bool AlgorithmTableWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_maxIters && event->type() == QEvent::FocusOut && m_maxIters->isEnabled()
        && !m_maxIters->hasAcceptableInput())
        markMaxIters(problemText());
    return QWidget::eventFilter(watched, event);
}

QString AlgorithmTableWidget::problemText() const
{
    return QStringLiteral("Enter a whole number of at least %1.").arg(m_validator->bottom());
}

void AlgorithmTableWidget::updateType(const QString &name)
{
    const int code = optimAlgorithmCodeForName(name);
    if (code < 0)
        return;
    m_edited.setAlgorithmType(code);
    m_maxIters->setText(m_edited.maxIterations());
    markMaxIters(QString());
    m_maxIters->setEnabled(code != AlgorithmDiscrete);
}

void AlgorithmTableWidget::updateMaxIters()
{
    QString text = m_maxIters->text().trimmed();
    int pos = 0;
    if (m_validator->validate(text, pos) == QValidator::Acceptable)
        m_edited.setMaxIterations(QString::number(text.toInt()));
}

void AlgorithmTableWidget::verifyAndEmitAlgorithmAccept()
{
    // The Discrete search ends by itself; its limit is not edited.
    if (m_maxIters->isEnabled()) {
        QString text = m_maxIters->text().trimmed();
        int pos = 0;
        if (m_validator->validate(text, pos) != QValidator::Acceptable) {
            markMaxIters(problemText());
            m_maxIters->setFocus();
            return;
        }
        m_edited.setMaxIterations(QString::number(text.toInt()));
    }
    Q_EMIT algorithmEditedAccept(m_edited);
}

void AlgorithmTableWidget::markMaxIters(const QString &problem)
{
    m_maxIters->setStyleSheet(problem.isEmpty() ? QString() : QStringLiteral("QLineEdit { background: yellow; }"));
    m_maxIters->setToolTip(problem.isEmpty() ? QStringLiteral("At least %1").arg(m_validator->bottom()) : problem);
}

EditAlgorithm::EditAlgorithm(const OptimAlgInput &algorithm, const OptimAlgOutput &output, QWidget *parent)
    : QDialog(parent)
    , m_form(new AlgorithmTableWidget(algorithm, output, this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this))
{
    setObjectName(QStringLiteral("editAlgorithmDialog"));
    setWindowTitle(QStringLiteral("Edit Algorithm"));
    m_form->setObjectName(QStringLiteral("algorithmTable"));
    m_buttons->setObjectName(QStringLiteral("editAlgorithmButtons"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_form);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, m_form, &AlgorithmTableWidget::verifyAndEmitAlgorithmAccept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons, &QDialogButtonBox::helpRequested, this, &EditAlgorithm::handleHelpRequest);
    connect(m_form, &AlgorithmTableWidget::algorithmEditedAccept, this, &EditAlgorithm::emitEditedAlgorithmAccepted);

    HelmdeckSettings settings;
    const QVariant pos = settings.value(QLatin1String(kPosKey));
    if (pos.isValid()) {
        // Only onto a screen that is still there.
        if (QGuiApplication::screenAt(pos.toPoint()))
            move(pos.toPoint());
    }
}

void EditAlgorithm::done(int result)
{
    HelmdeckSettings settings;
    settings.setValue(QLatin1String(kPosKey), pos());
    QDialog::done(result);
}

void EditAlgorithm::emitEditedAlgorithmAccepted(const OptimAlgInput &algorithm)
{
    Q_EMIT editedAlgorithm(algorithm);
    accept();
}

void EditAlgorithm::handleHelpRequest()
{
    Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_EDIT_ALGORITHM"));
}
