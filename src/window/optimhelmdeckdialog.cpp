#include "optimhelmdeckdialog.h"

#include "buttonpanel.h"
#include "state/optimhelmdeckcontrollerstate.h"
#include "goalspanel.h"
#include "state/helmdecksettings.h"
#include "model/optimizationmodelobject.h"
#include "statuspanel.h"
#include "sweeppanel.h"
#include "tempmessagebox.h"
#include "varspanel.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

const QString windowTitleText = QStringLiteral("Optimization Helmdeck");

} // namespace

OptimHelmdeckDialog::OptimHelmdeckDialog(OptimHelmdeckControllerState *state, const QIcon &icon,
                                         const OptimHelmdeckEditorHooks &editors, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_buttonPanel(new ButtonPanel(state, this))
    , m_sweepPanel(new SweepPanel(state, this))
    , m_statusPanel(new StatusPanel(state, this))
    , m_varsPanel(new VarsPanel(state, this))
    , m_goalsPanel(new GoalsPanel(state, this))
    , m_splitter(new QSplitter(Qt::Horizontal, this))
{
    registerOptimHelmdeckTuneMode();
    qRegisterMetaType<OptimizationModelObject *>("OptimizationModelObject*");
    setObjectName(QStringLiteral("optimHelmdeckDialog"));
    setWindowTitle(windowTitleText);
    setWindowIcon(icon);
    setWindowFlags(windowFlags() | Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);

    m_splitter->setObjectName(QStringLiteral("panelSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_varsPanel);
    m_splitter->addWidget(m_goalsPanel);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 1);
    m_sweepPanel->hide();

    auto *topRow = new QHBoxLayout;
    topRow->setContentsMargins(0, 0, 0, 0);
    topRow->addWidget(m_sweepPanel);
    topRow->addWidget(m_statusPanel, 1);

    auto *panelArea = new QVBoxLayout;
    panelArea->addLayout(topRow);
    panelArea->addWidget(m_splitter, 1);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_buttonPanel);
    layout->addLayout(panelArea, 1);

    connect(m_sweepPanel, &SweepPanel::optimizationSelected, this, &OptimHelmdeckDialog::optimizationSelected);

    connect(m_statusPanel, &StatusPanel::algorithmDefinitionChanged, this, &OptimHelmdeckDialog::algorithmDefinitionChanged);
    connect(m_statusPanel, &PanelView::helpRequested, this, &OptimHelmdeckDialog::helpRequested);
    connect(this, &OptimHelmdeckDialog::waitingForSimulationToFinish, m_statusPanel, &StatusPanel::setWaitingForSimulationToFinish);
    connect(this, &OptimHelmdeckDialog::waitingForSimulationToFinish, m_buttonPanel, &ButtonPanel::setWaitingForSimulationToFinish);

    connect(m_varsPanel, &VarsPanel::variableChanged, this, &OptimHelmdeckDialog::variableChanged);
    connect(m_varsPanel, &VarsPanel::startTuning, this, &OptimHelmdeckDialog::startTuning);
    connect(m_varsPanel, &VarsPanel::stopTuning, this, &OptimHelmdeckDialog::stopTuning);
    connect(m_varsPanel, &VarsPanel::resetTuning, this, &OptimHelmdeckDialog::resetTuning);
    connect(m_varsPanel, &VarsPanel::tuneModeChanged, this, &OptimHelmdeckDialog::tuneModeChanged);
    connect(m_varsPanel, &VarsPanel::variableDefinitionsChanged, this, &OptimHelmdeckDialog::variableDefinitionsChanged);
    connect(m_varsPanel, &VarsPanel::historyGraphRightMouseClick, this, &OptimHelmdeckDialog::historyGraphRightMouseClick);
    connect(m_varsPanel, &PanelView::helpRequested, this, &OptimHelmdeckDialog::helpRequested);

    connect(m_goalsPanel, &GoalsPanel::goalDefinitionsChanged, this, &OptimHelmdeckDialog::goalDefinitionsChanged);
    connect(m_goalsPanel, &GoalsPanel::historyGraphRightMouseClick, this, &OptimHelmdeckDialog::historyGraphRightMouseClick);
    connect(m_goalsPanel, &GoalsPanel::saveImageRequested, this, &OptimHelmdeckDialog::saveImageRequested);
    connect(m_goalsPanel, &PanelView::helpRequested, this, &OptimHelmdeckDialog::helpRequested);

    connect(m_buttonPanel, &ButtonPanel::continueOptimization, this, &OptimHelmdeckDialog::continueOptimization);
    connect(m_buttonPanel, &ButtonPanel::pauseOptimization, this, &OptimHelmdeckDialog::pauseOptimization);
    connect(m_buttonPanel, &ButtonPanel::simulate, this, &OptimHelmdeckDialog::simulate);
    connect(m_buttonPanel, &ButtonPanel::updateDesignClicked, this, &OptimHelmdeckDialog::updateDesignClicked);
    connect(m_buttonPanel, &ButtonPanel::storeState, this, &OptimHelmdeckDialog::storeState);
    connect(m_buttonPanel, &ButtonPanel::recallState, this, &OptimHelmdeckDialog::recallState);
    connect(m_buttonPanel, &ButtonPanel::optionsClicked, this, &OptimHelmdeckDialog::optionsClicked);
    connect(m_buttonPanel, &ButtonPanel::helpRequested, this, &OptimHelmdeckDialog::helpRequested);
    connect(m_buttonPanel, &ButtonPanel::closeClicked, this, &QWidget::close);

    // Keys of the window (not of its dialogs, which are windows of their
    // own): F1 opens its help, Ctrl+W closes it as "Close" does, questions
    // included.
    auto *helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, m_buttonPanel, [this] { Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_DIALOG")); });
    auto *closeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    setEditorHooks(editors);
    restoreSettings();
}

OptimHelmdeckDialog::~OptimHelmdeckDialog() = default;

void OptimHelmdeckDialog::setEditorHooks(const OptimHelmdeckEditorHooks &editors)
{
    m_buttonPanel->setEditorHooks(editors);
    m_statusPanel->setEditorHooks(editors);
    m_varsPanel->setEditorHooks(editors);
    m_goalsPanel->setEditorHooks(editors);
}

void OptimHelmdeckDialog::setModel(OptimizationModelObject *model)
{
    m_model = model;
    m_buttonPanel->setModel(model);
    m_statusPanel->setModel(model);
    m_varsPanel->setModel(model);
    m_goalsPanel->setModel(model);
}

OptimizationModelObject *OptimHelmdeckDialog::model() const
{
    return m_model;
}

void OptimHelmdeckDialog::allowClose()
{
    m_closeAccepted = true;
}

void OptimHelmdeckDialog::setTuneMode(OptimHelmdeckTuneMode mode)
{
    m_varsPanel->setTuneMode(mode);
}

void OptimHelmdeckDialog::preventUserInput(bool preventInput)
{
    m_buttonPanel->preventUserInput(preventInput);
    m_statusPanel->preventUserInput(preventInput);
    m_varsPanel->preventUserInput(preventInput);
    m_goalsPanel->preventUserInput(preventInput);
}

void OptimHelmdeckDialog::setWaiting(bool waiting, const QString &message)
{
    preventUserInput(waiting);
    if (waiting) {
        if (!m_waitBox) {
            m_waitBox = new TempMessageBox(this, windowTitleText, 1000, 1000, 0);
            m_waitBox->setObjectName(QStringLiteral("waitBox"));
            m_waitChoices = new QDialogButtonBox(m_waitBox);
            m_waitChoices->setObjectName(QStringLiteral("waitChoices"));
            QPushButton *keep = m_waitChoices->addButton(QStringLiteral("Keep Waiting"), QDialogButtonBox::AcceptRole);
            keep->setObjectName(QStringLiteral("keepWaitingButton"));
            QPushButton *stop = m_waitChoices->addButton(QStringLiteral("Stop the Simulator"), QDialogButtonBox::DestructiveRole);
            stop->setObjectName(QStringLiteral("stopSimulatorButton"));
            stop->setToolTip(QStringLiteral("Asks the host to stop the simulator; the helmdeck stays open."));
            m_waitBox->layout()->addWidget(m_waitChoices);
            connect(keep, &QPushButton::clicked, this, [this] { restartWaitOffer(m_waitMessage); });
            connect(stop, &QPushButton::clicked, this, [this] {
                // The wait ends when the host reports the simulator gone; if
                // it does not, the choices come back after the delay.
                restartWaitOffer(QStringLiteral("Stopping the simulator."));
                Q_EMIT stopSimulatorRequested();
            });
            m_waitOfferTimer = new QTimer(this);
            m_waitOfferTimer->setSingleShot(true);
            connect(m_waitOfferTimer, &QTimer::timeout, this, &OptimHelmdeckDialog::offerWaitChoices);
        }
        m_waitMessage = message;
        restartWaitOffer(message);
        m_waitBox->showMessage();
    } else if (m_waitBox) {
        m_waitOfferTimer->stop();
        m_waitChoices->hide();
        m_waitBox->hideMessage();
    }
}

void OptimHelmdeckDialog::restartWaitOffer(const QString &message)
{
    m_waitBox->setMessage(message);
    m_waitChoices->hide();
    m_waitOfferTimer->start(m_waitOfferDelayMs);
}

void OptimHelmdeckDialog::offerWaitChoices()
{
    m_waitBox->setMessage(m_waitMessage + QStringLiteral("\nThe simulator does not answer. You can keep waiting, "
                                                         "or have the host stop the simulator."));
    m_waitChoices->show();
    if (!m_waitBox->isVisible())
        m_waitBox->doShow();
}

void OptimHelmdeckDialog::setWaitingForSimulatorToPause(bool waitingForPause)
{
    setWaiting(waitingForPause, QStringLiteral("Waiting for the simulator to pause."));
}

void OptimHelmdeckDialog::setWaitingForSimulatorToContinue(bool waitingForContinue)
{
    setWaiting(waitingForContinue, QStringLiteral("Waiting for the simulator to continue."));
}

void OptimHelmdeckDialog::setWaitingForSimulatorToSimulate(bool waitingForSimulation)
{
    Q_EMIT waitingForSimulationToFinish(waitingForSimulation);
}

void OptimHelmdeckDialog::updateTuning(bool isTuning)
{
    m_varsPanel->updateTuning(isTuning);
}

void OptimHelmdeckDialog::setDataIsStale(bool dataIsStale)
{
    m_goalsPanel->setDataIsStale(dataIsStale);
}

void OptimHelmdeckDialog::closeEvent(QCloseEvent *event)
{
    if (!m_closeAccepted) {
        event->ignore();
        // A second request while the controller's questions are open is
        // the same request; it must not start the close flow again.
        if (m_closeFlowRunning)
            return;
        QPointer<OptimHelmdeckDialog> self(this);
        m_closeFlowRunning = true;
        Q_EMIT closeRequested();
        if (!self)
            return;
        m_closeFlowRunning = false;
        if (!m_closeAccepted)
            return;
    }
    saveSettings();
    event->accept();
}

void OptimHelmdeckDialog::saveSettings()
{
    HelmdeckSettings settings;
    settings.setValue(QStringLiteral("size"), size());
    settings.setValue(QStringLiteral("pos"), pos());
    settings.setValue(QStringLiteral("splitter1Sizes"), m_splitter->saveState());
    m_statusPanel->saveSettings(settings);
    m_varsPanel->saveSettings(settings);
    m_goalsPanel->saveSettings(settings);
}

void OptimHelmdeckDialog::restoreSettings()
{
    HelmdeckSettings settings;
    const QSize storedSize = settings.value(QStringLiteral("size"), QSize(800, 500)).toSize();
    const QPoint storedPos = settings.value(QStringLiteral("pos"), QPoint(300, 300)).toPoint();
    QScreen *screen = QGuiApplication::screenAt(storedPos);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->availableGeometry() : QRect();
    const WindowPlacement placement = restoredWindowPlacement(storedSize, storedPos, desktop);
    resize(placement.size);
    move(placement.pos);

    const QByteArray splitterState = settings.value(QStringLiteral("splitter1Sizes")).toByteArray();
    if (splitterState.isEmpty() || !m_splitter->restoreState(splitterState))
        m_splitter->setSizes({1, 1});
    m_statusPanel->restoreSettings(settings);
    m_varsPanel->restoreSettings(settings);
    m_goalsPanel->restoreSettings(settings);
}
