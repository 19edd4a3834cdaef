#pragma once

// The one way the controller (and the plug-in) ask the user something over
// the helmdeck window: the continue query, the update dialog, the two close
// questions, the options dialog, the question before a new simulation, the
// notice that the design was not updated, the box shown while a command
// waits for the simulator's reply, and the notice that the simulator does
// not answer.
//
// Every question runs a nested event loop in which anything may happen, a
// close of the helmdeck from outside included. So each dialog is made on
// the heap with the window as parent, held guarded, read only when it still
// exists after its loop, and then deleted later; an answer that could not be
// read counts as cancelled. dismissAll() answers every open question as
// cancelled (its loop ends once control returns to it). The owner must not
// delete this object or the window while isAsking(): allAnswered() is
// emitted when the last open question has returned.

#include "state/optimhelmdecktunemode.h"

#include <QDialog>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <optional>

class OptimHelmdeckControllerState;
class OptimizationModelObject;
class QMessageBox;
class TempMessageBox;

class HelmdeckQuestions : public QObject
{
    Q_OBJECT

public:
    // The answers of the two close questions; Cancelled when none was picked.
    enum Answer { Cancelled = -1, FirstChoice = 0, SecondChoice = 1 };

    struct UpdateItems
    {
        bool algorithm = false;
        bool goals = false;
        bool variables = false;
    };

    struct DisplayOptions
    {
        OptimHelmdeckTuneMode tuneMode = defaultOptimHelmdeckTuneMode;
        int iterationsToDisplay = 0;
        bool yAxisAutoscaleUsingAllData = true;
        int goalXAxisScaling = 2;
    };

    explicit HelmdeckQuestions(QObject *parent = nullptr);

    // The window the dialogs belong to; held guarded.
    void setWindow(QWidget *window);
    QWidget *window() const { return m_window; }

    // "Continue Optimization": the new iteration limit, or nothing when the
    // user cancelled or the optimization cannot be continued.
    std::optional<int> askContinue(const OptimizationModelObject *model);
    // "Update Design": which items of the optimization named (name and
    // label) to write back, or nothing when cancelled.
    std::optional<UpdateItems> askUpdateItems(const QString &optimization = QString());
    // "The simulation is still running.": FirstChoice stops the simulation
    // and closes, SecondChoice keeps the helmdeck open.
    Answer askRunningSimulation();
    // "Before closing the helmdeck:": FirstChoice updates the design,
    // SecondChoice does not. showCancel adds a "Cancel" button.
    Answer askDesignUpdate(bool showCancel);
    // "Helmdeck Options", filled with current: the values the user accepted,
    // or nothing when cancelled. Its help requests leave as helpRequested().
    std::optional<DisplayOptions> editOptions(const DisplayOptions &current);
    // The host wants to start another simulation: true when the user agrees
    // to close the helmdeck first.
    bool askCloseForNewSimulation();

    // "The design was not updated." with the reason; waits for OK.
    void tellDesignNotUpdated(const QString &problem);

    // The history-graph menu, made on first use, popped up at a global position.
    // Its "Export History..." writes the viewed optimization's history.
    void popUpHistoryGraphMenu(OptimHelmdeckControllerState *state, const QPoint &globalPosition);

    // A file dialog for saving: the chosen path, or empty when cancelled.
    QString askSaveFileName(const QString &title, const QString &suggestedName, const QString &filter);
    // "The file was not written." with the path and the reason; waits for OK.
    void tellFileNotWritten(const QString &path, const QString &problem);
    // "Save Image...": asks for a file name and saves a picture of graph
    // there as PNG (nothing when the graph is gone by then).
    void saveGraphImage(QWidget *graph);

    // The waiting box while a command waits for the simulator's reply; it
    // appears only when the wait lasts longer than a second, and does not
    // block the window.
    void setWaitingForReply(bool waiting);
    // A non-modal notice: the simulator has not answered a command in time.
    void tellSimulatorDoesNotAnswer();
    // The notice, when still open, says that the answer came after all.
    void tellSimulatorAnsweredLate();

    // Runs any other dialog over the window the same way (its loop is
    // tracked and dismissed with the others); true when it was accepted and
    // still exists. The caller makes it on the heap and deletes it later.
    bool run(QDialog *dialog);

    bool isAsking() const { return !m_open.isEmpty(); }
    // The innermost open question, if any (null once it is gone).
    QDialog *openQuestion() const;
    void dismissAll();

Q_SIGNALS:
    void helpRequested(const QString &topic);
    void allAnswered();

private:
    Answer ask(const QString &question, const QStringList &choices, bool showCancel);

    QPointer<QWidget> m_window;
    QList<QPointer<QDialog>> m_open;
    QPointer<TempMessageBox> m_replyBox;
    QPointer<QMessageBox> m_notice;
};
