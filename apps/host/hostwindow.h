#pragma once

// The host's own main window: the open design's variables, goals and
// algorithm as tables, the circuit, an "Optimize" action that starts the
// simulator, the simulators' state, a log, and a MOX console (one expression
// per line, evaluated like --console input).

#include <QMainWindow>

class ElidedLabel;
class HelmdeckHost;
class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;
class QTabWidget;
class QTimer;

class HostWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit HostWindow(HelmdeckHost *host, QWidget *parent = nullptr);

    void evaluateConsoleInput();
    // Opens the goal of the selected row in the host's goal dialog, which
    // embeds the plug-in's goal table.
    void editSelectedGoal();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void updateDesign();
    void updateSimulators();
    void openDesignDialog();
    void startOptimization();
    void appendLog(const QString &line);

    HelmdeckHost *m_host;
    QTabWidget *m_tabs;
    QTableWidget *m_variables;
    QTableWidget *m_goals;
    QTableWidget *m_algorithm;
    QPlainTextEdit *m_circuit;
    QPlainTextEdit *m_log;
    QPlainTextEdit *m_consoleOutput;
    QLineEdit *m_consoleInput;
    ElidedLabel *m_designLabel;  // the design's title and path
    QLabel *m_simulatorLabel;
    QAction *m_optimize;
    QAction *m_stop;
    QAction *m_editGoal;
    QTimer *m_designRefresh;  // one table refresh per event-loop turn
};
