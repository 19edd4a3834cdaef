#include "helmdeckquestions.h"

#include "continueoptimizationquery.h"
#include "helmdeckoptionsdialog.h"
#include "graphs/graphwidget.h"
#include "historycsv.h"
#include "historygraphmenu.h"
#include "state/optimhelmdeckcontrollerstate.h"
#include "optionsdialog.h"
#include "tempmessagebox.h"
#include "updateitemsdialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QScopeGuard>

namespace {

const QString titleText = QStringLiteral("Optimization Helmdeck");

// Deletes a dialog that outlived its loop, later: the loop's caller may
// still be on the stack.
template <typename D>
auto deleteLaterGuard(const QPointer<D> &dialog)
{
    return qScopeGuard([dialog] {
        if (dialog)
            dialog->deleteLater();
    });
}

} // namespace

HelmdeckQuestions::HelmdeckQuestions(QObject *parent)
    : QObject(parent)
{
}

void HelmdeckQuestions::setWindow(QWidget *window)
{
    m_window = window;
}

QDialog *HelmdeckQuestions::openQuestion() const
{
    return m_open.isEmpty() ? nullptr : m_open.last().data();
}

void HelmdeckQuestions::dismissAll()
{
    for (const QPointer<QDialog> &dialog : std::as_const(m_open)) {
        if (dialog)
            dialog->reject();
    }
}

bool HelmdeckQuestions::run(QDialog *dialog)
{
    const QPointer<HelmdeckQuestions> self(this);
    const QPointer<QDialog> guard(dialog);
    m_open.append(guard);
    const int result = dialog->exec();
    if (!self)
        return false;
    m_open.removeLast();
    if (m_open.isEmpty())
        Q_EMIT allAnswered();
    return self && guard && result == QDialog::Accepted;
}

HelmdeckQuestions::Answer HelmdeckQuestions::ask(const QString &question, const QStringList &choices, bool showCancel)
{
    const QPointer<OptionsDialog> dialog = new OptionsDialog(m_window, showCancel);
    const auto cleanup = deleteLaterGuard(dialog);
    dialog->setWindowTitle(titleText);
    dialog->setQuestion(question);
    for (const QString &choice : choices)
        dialog->addOption(choice);
    dialog->setDefaultOption(0);
    if (!run(dialog) || dialog->chosenOption() < 0)
        return Cancelled;
    return Answer(dialog->chosenOption());
}

std::optional<int> HelmdeckQuestions::askContinue(const OptimizationModelObject *model)
{
    const QPointer<ContinueOptimizationQuery> dialog = new ContinueOptimizationQuery(m_window, model);
    const auto cleanup = deleteLaterGuard(dialog);
    if (!run(dialog) || dialog->kind() != ContinueOptimizationQuery::LimitReached)
        return std::nullopt;
    return dialog->maximumIterations();
}

std::optional<HelmdeckQuestions::UpdateItems> HelmdeckQuestions::askUpdateItems(const QString &optimization)
{
    const QPointer<UpdateItemsDialog> dialog = new UpdateItemsDialog(m_window, optimization);
    const auto cleanup = deleteLaterGuard(dialog);
    if (!run(dialog))
        return std::nullopt;
    return UpdateItems{dialog->updateAlgorithm(), dialog->updateGoals(), dialog->updateVariables()};
}

HelmdeckQuestions::Answer HelmdeckQuestions::askRunningSimulation()
{
    return ask(QStringLiteral("The simulation is still running.  You can:"),
               {QStringLiteral("Stop the Simulation\n&&\nClose the Optimization Helmdeck"),
                QStringLiteral("Continue the Simulation\n&&\n    Keep the Optimization Helmdeck Open    ")},
               true);
}

HelmdeckQuestions::Answer HelmdeckQuestions::askDesignUpdate(bool showCancel)
{
    return ask(QStringLiteral("Before closing the helmdeck:"),
               {QStringLiteral("Update the Design"), QStringLiteral("    Don't Update the Design    ")}, showCancel);
}

std::optional<HelmdeckQuestions::DisplayOptions> HelmdeckQuestions::editOptions(const DisplayOptions &current)
{
    const QPointer<HelmdeckOptionsDialog> dialog = new HelmdeckOptionsDialog(m_window);
    const auto cleanup = deleteLaterGuard(dialog);
    dialog->setTuneMode(current.tuneMode);
    dialog->setIterationsToDisplay(current.iterationsToDisplay);
    dialog->setYAxisAutoscaleUsingAllData(current.yAxisAutoscaleUsingAllData);
    dialog->setGoalXAxisScaling(current.goalXAxisScaling);
    connect(dialog, &HelmdeckOptionsDialog::helpRequested, this, &HelmdeckQuestions::helpRequested);
    if (!run(dialog))
        return std::nullopt;
    return DisplayOptions{dialog->tuneMode(), dialog->iterationsToDisplay(), dialog->yAxisAutoscaleUsingAllData(),
                          dialog->goalXAxisScaling()};
}

bool HelmdeckQuestions::askCloseForNewSimulation()
{
    const QPointer<QMessageBox> box = new QMessageBox(
        QMessageBox::Question, QStringLiteral("Close the Optimization Helmdeck?"),
        QStringLiteral("A new simulation cannot start while the Optimization Helmdeck is open.\n\n"
                       "Do you want to close the Optimization Helmdeck and proceed with the new simulation?"),
        QMessageBox::Yes | QMessageBox::No, m_window);
    const auto cleanup = deleteLaterGuard(box);
    box->setDefaultButton(QMessageBox::Yes);
    run(box);
    // A message box's loop ends with the button's code, not Accepted.
    return box && box->clickedButton() == box->button(QMessageBox::Yes);
}

void HelmdeckQuestions::tellDesignNotUpdated(const QString &problem)
{
    const QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, titleText,
                                                      QStringLiteral("The design was not updated."), QMessageBox::Ok,
                                                      m_window);
    const auto cleanup = deleteLaterGuard(box);
    box->setObjectName(QStringLiteral("designNotUpdatedMessage"));
    box->setInformativeText(problem);
    run(box);
}

void HelmdeckQuestions::popUpHistoryGraphMenu(OptimHelmdeckControllerState *state, const QPoint &globalPosition)
{
    if (!m_window)
        return;
    // The menu lives with the window; popupAt() returns at once, so no
    // nested event loop runs here.
    auto *menu = m_window->findChild<HistoryGraphMenu *>(QString(), Qt::FindDirectChildrenOnly);
    if (!menu) {
        menu = new HistoryGraphMenu(state, m_window);
        // Queued: the file dialog's loop runs from the event loop, not from
        // inside the menu's mouse handling.
        const QPointer<OptimHelmdeckControllerState> guardedState(state);
        connect(menu, &HistoryGraphMenu::exportHistoryRequested, this, [this, guardedState] {
            if (guardedState)
                HistoryCsv::exportHistory(this, guardedState->viewModel());
        }, Qt::QueuedConnection);
        connect(menu, &HistoryGraphMenu::saveImageRequested, this, [this](GraphWidget *graph) {
            saveGraphImage(graph);
        }, Qt::QueuedConnection);
    }
    // The graph under the click, for the image actions.
    QWidget *under = QApplication::widgetAt(globalPosition);
    while (under && !qobject_cast<GraphWidget *>(under))
        under = under->parentWidget();
    menu->setTargetGraph(qobject_cast<GraphWidget *>(under));
    menu->popupAt(globalPosition);
}

void HelmdeckQuestions::saveGraphImage(QWidget *graph)
{
    const QPointer<QWidget> guard(graph);
    if (!graph)
        return;
    const QString path = askSaveFileName(QStringLiteral("Save Image"), QStringLiteral("graph.png"),
                                         QStringLiteral("PNG images (*.png);;All files (*)"));
    if (path.isEmpty())
        return;
    if (!guard) {
        tellFileNotWritten(path, QStringLiteral("The graph was closed."));
        return;
    }
    // A history graph saves its picture with its title and no hover marks.
    const auto *history = qobject_cast<GraphWidget *>(guard.data());
    if (!(history ? history->exportImage() : guard->grab()).save(path, "PNG"))
        tellFileNotWritten(path, QStringLiteral("The image could not be written there."));
}

QString HelmdeckQuestions::askSaveFileName(const QString &title, const QString &suggestedName, const QString &filter)
{
    const QPointer<QFileDialog> dialog = new QFileDialog(m_window, title, QString(), filter);
    const auto cleanup = deleteLaterGuard(dialog);
    dialog->setObjectName(QStringLiteral("saveFileDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->selectFile(suggestedName);
    if (!run(dialog) || dialog->selectedFiles().isEmpty())
        return QString();
    return dialog->selectedFiles().constFirst();
}

void HelmdeckQuestions::tellFileNotWritten(const QString &path, const QString &problem)
{
    const QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, titleText,
                                                      QStringLiteral("The file was not written."), QMessageBox::Ok,
                                                      m_window);
    const auto cleanup = deleteLaterGuard(box);
    box->setObjectName(QStringLiteral("fileNotWrittenMessage"));
    box->setInformativeText(QStringLiteral("%1\n%2").arg(path, problem));
    run(box);
}

void HelmdeckQuestions::setWaitingForReply(bool waiting)
{
    if (!m_window)
        return;
    if (!waiting) {
        if (m_replyBox)
            m_replyBox->hideMessage();
        return;
    }
    if (!m_replyBox) {
        m_replyBox = new TempMessageBox(m_window, titleText, 1000, 1000, 0);
        m_replyBox->setObjectName(QStringLiteral("replyWaitBox"));
        // The reply is taken whenever it comes: the window stays usable.
        m_replyBox->setWindowModality(Qt::NonModal);
        m_replyBox->setMessage(QStringLiteral("Waiting for the simulator to answer."));
    }
    m_replyBox->showMessage();
}

void HelmdeckQuestions::tellSimulatorDoesNotAnswer()
{
    if (!m_window)
        return;
    if (!m_notice) {
        m_notice = new QMessageBox(QMessageBox::Warning, titleText, QString(), QMessageBox::Ok, m_window);
        m_notice->setObjectName(QStringLiteral("simulatorSilentNotice"));
        m_notice->setWindowModality(Qt::NonModal);
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_notice->setIcon(QMessageBox::Warning);
    m_notice->setText(QStringLiteral("The simulator has not answered the last command yet."));
    m_notice->setInformativeText(QStringLiteral("The window takes input again. If the simulator answers later, "
                                                "its results are shown as they arrive."));
    m_notice->show();
}

void HelmdeckQuestions::tellSimulatorAnsweredLate()
{
    if (!m_notice)
        return;
    m_notice->setIcon(QMessageBox::Information);
    m_notice->setText(QStringLiteral("The simulator has answered the last command after all."));
    m_notice->setInformativeText(QString());
}
