#include "buttonpanel.h"

#include "state/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"
#include "optimicons.h"
#include "modelbinding.h"
#include "panelview.h"

#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Every button has its own mnemonic across the window (the panels' "Edit
// variables...", "Edit goals...", "Edit algorithm..." and "Start Tuning"
// take V, G, A and T).
const QString pauseText = QStringLiteral("&Pause");
const QString continueText = QStringLiteral("&Continue");

QPushButton *makeButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

ButtonPanel::ButtonPanel(OptimHelmdeckControllerState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_viewOnlyLabel(new QLabel(this))
    , m_pauseContinue(makeButton(pauseText, QStringLiteral("pauseContinueButton"), this))
    , m_simulate(makeButton(QStringLiteral("&Simulate"), QStringLiteral("simulateButton"), this))
    , m_updateDesign(makeButton(QStringLiteral("&Update Design..."), QStringLiteral("updateDesignButton"), this))
    , m_statesGroup(new QGroupBox(QStringLiteral("States"), this))
    , m_store(makeButton(QStringLiteral("St&ore..."), QStringLiteral("storeButton"), m_statesGroup))
    , m_recall(makeButton(QStringLiteral("&Recall..."), QStringLiteral("recallButton"), m_statesGroup))
    , m_options(makeButton(QStringLiteral("Opt&ions..."), QStringLiteral("optionsButton"), this))
    , m_close(makeButton(QStringLiteral("C&lose"), QStringLiteral("closeButton"), this))
    , m_help(makeButton(QStringLiteral("&Help"), QStringLiteral("helpButton"), this))
{
    setObjectName(QStringLiteral("buttonPanel"));
    m_viewOnlyLabel->setObjectName(QStringLiteral("viewOnlyLabel"));
    m_viewOnlyLabel->setTextFormat(Qt::RichText);
    m_viewOnlyLabel->setWordWrap(true);
    m_viewOnlyLabel->setText(QStringLiteral("The helmdeck is in<br><a href=\"viewOnlyMode\">view-only mode.</a>"));
    m_viewOnlyLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(m_viewOnlyLabel, &QLabel::linkActivated, this, &ButtonPanel::displayBatchModeExplanation);
    m_statesGroup->setObjectName(QStringLiteral("statesGroup"));
    m_pauseContinue->setIcon(optimIconPixmap(OptimIconPause));
    // The column is as wide as its longest label needs, with room to breathe.
    m_updateDesign->setMinimumWidth(m_updateDesign->fontMetrics().horizontalAdvance(m_updateDesign->text()) + 32);

    auto *states = new QVBoxLayout(m_statesGroup);
    states->setContentsMargins(6, 6, 6, 6);
    states->addWidget(m_store);
    states->addWidget(m_recall);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_viewOnlyLabel);
    layout->addWidget(m_pauseContinue);
    layout->addWidget(m_simulate);
    layout->addSpacing(6);
    layout->addWidget(m_updateDesign);
    layout->addSpacing(6);
    layout->addWidget(m_statesGroup);
    layout->addSpacing(6);
    layout->addWidget(m_options);
    layout->addStretch(1);
    layout->addWidget(m_close);
    layout->addWidget(m_help);

    connect(m_pauseContinue, &QPushButton::clicked, this, &ButtonPanel::pauseOrContinue);
    connect(m_simulate, &QPushButton::clicked, this, &ButtonPanel::simulate);
    connect(m_updateDesign, &QPushButton::clicked, this, &ButtonPanel::updateDesignClicked);
    connect(m_store, &QPushButton::clicked, this, &ButtonPanel::storeState);
    connect(m_recall, &QPushButton::clicked, this, &ButtonPanel::recallState);
    connect(m_options, &QPushButton::clicked, this, &ButtonPanel::optionsClicked);
    connect(m_close, &QPushButton::clicked, this, &ButtonPanel::closeClicked);
    connect(m_help, &QPushButton::clicked, this, &ButtonPanel::handleHelpRequest);
    if (m_state) {
        connect(m_state, &OptimHelmdeckControllerState::waitStateChanged, this, &ButtonPanel::updateButtons);
        connect(m_state, &OptimHelmdeckControllerState::modelAdded, this, &ButtonPanel::updateButtons);
    }
    updateButtons();
}

OptimizationModelObject *ButtonPanel::model() const
{
    return m_model;
}

void ButtonPanel::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &ButtonPanel::updateButtons);
    }, OnModelDeleted::UnbindView);
    updateButtons();
}

void ButtonPanel::preventUserInput(bool preventInput)
{
    if (preventInput == m_preventInput)
        return;
    m_preventInput = preventInput;
    updateButtons();
}

void ButtonPanel::setWaitingForSimulationToFinish(bool waiting)
{
    if (waiting == m_waitingForSimulationToFinish)
        return;
    m_waitingForSimulationToFinish = waiting;
    updateButtons();
}

void ButtonPanel::setEditorHooks(const OptimHelmdeckEditorHooks &hooks)
{
    m_editors = hooks;
}

void ButtonPanel::updateButtons()
{
    // Which controls exist depends only on the mode; set it first so a
    // view-only window never shows its interactive buttons, not even before
    // its first model arrives.
    const bool interactive = m_state && m_state->isInteractive();
    m_viewOnlyLabel->setVisible(!interactive);
    m_pauseContinue->setVisible(interactive);
    m_simulate->setVisible(interactive);
    m_statesGroup->setVisible(interactive);

    if (!m_model || m_preventInput || !m_state) {
        for (QPushButton *button : {m_pauseContinue, m_simulate, m_updateDesign, m_store, m_recall, m_options})
            button->setEnabled(false);
        return;
    }
    m_options->setEnabled(true);

    const OptimAlgOutput &output = m_model->model().algorithmOutput();
    const int status = output.status();
    const bool waiting = m_state->waitingFor() != OptimHelmdeckControllerState::WaitNone;
    // The simulator runs, and the design and the stored states take, the
    // sweep's current (newest) optimization only: while an earlier one is
    // on view, what would act on it is disabled and says why.
    const bool onCurrent = PanelView::isCurrentOptimization(m_state, m_model);
    const auto why = [onCurrent](const char *action) {
        return onCurrent ? QString() : PanelView::earlierOptimizationReason(QString::fromLatin1(action));
    };

    const bool running = status >= StatusUnknown && status <= StatusRunning;
    const QString wanted = running ? pauseText : continueText;
    if (m_pauseContinue->text() != wanted) {
        m_pauseContinue->setText(wanted);
        m_pauseContinue->setIcon(optimIconPixmap(running ? OptimIconPause : OptimIconContinue));
    }
    m_pauseContinue->setToolTip(why(running ? "pause it" : "continue it"));
    m_simulate->setToolTip(why("simulate it"));
    m_updateDesign->setToolTip(why("write its results into the design"));
    m_store->setToolTip(why("store its state"));
    m_recall->setToolTip(why("recall a state into it"));

    switch (status) {
    case StatusUnknown:
    case StatusInitializing:
    case StatusRunning:
        m_pauseContinue->setEnabled(!waiting && onCurrent);
        m_simulate->setEnabled(false);
        m_updateDesign->setEnabled(!interactive && onCurrent);
        m_store->setEnabled(false);
        m_recall->setEnabled(false);
        break;
    case StatusPaused:
    case StatusFinished:
        m_pauseContinue->setEnabled(!waiting && output.simulationOk() && onCurrent);
        m_simulate->setEnabled(!m_waitingForSimulationToFinish && onCurrent);
        m_updateDesign->setEnabled(onCurrent);
        m_store->setEnabled(onCurrent);
        m_recall->setEnabled(onCurrent);
        break;
    case StatusExited:
    case StatusExitedWithError:
    case StatusKilled:
        m_pauseContinue->setEnabled(false);
        m_simulate->setEnabled(false);
        m_updateDesign->setEnabled(onCurrent);
        m_store->setEnabled(onCurrent);
        m_recall->setEnabled(onCurrent);
        break;
    default:
        break;
    }
}

void ButtonPanel::pauseOrContinue()
{
    if (m_pauseContinue->text() != continueText) {
        Q_EMIT pauseOptimization();
        return;
    }
    if (m_model) {
        const auto warn = m_editors.algorithmTypeWarning;
        if (warn) {
            // The warning box runs a nested event loop; the panel may be gone after it.
            QPointer<ButtonPanel> self(this);
            const OptimModelInput input = m_model->model().input();
            const bool warned = warn(input, this);
            if (!self || warned)
                return;
        }
    }
    Q_EMIT continueOptimization();
}

QString ButtonPanel::viewOnlyExplanation()
{
    return QStringLiteral(
        "<p>The helmdeck runs in view-only mode when the simulation job is\n"
        "doing more than just a single top-level optimization.<p>Examples:<ul><li>A swept optimization.</li>"
        "<li>A simulation job with two or more top-level simulations.\n"
        "    For instance, a simulation job with a top-level optimization\n"
        "    and a top-level harmonic balance simulation.</li>\n"
        "</ul>\n"
        "<p>In view-only mode, the interactive features (such as tuning and\n"
        "editing) are not available.");
}

void ButtonPanel::displayBatchModeExplanation()
{
    // Window-modal without a nested event loop: nothing has to be re-checked
    // afterwards, and the box goes away with the window.
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("View-only mode"), viewOnlyExplanation(), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("viewOnlyExplanationBox"));
    box->setTextFormat(Qt::RichText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ButtonPanel::handleHelpRequest()
{
    Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_DIALOG"));
}
