#pragma once

// "Recall Optimization State": the stored states as a table (newest first;
// a click on a header sorts by that column) and OK, Apply, Cancel and Help.
// Apply recalls the selected state, first offering to store the current one
// when no stored state holds it; OK and a double click do the same and close
// unless the recall was cancelled. Size and column widths persist in the
// settings group "OptimRecallState".

#include <QDialog>
#include <QPointer>

class QPushButton;
class QTableView;
class StateManager;

class RecallStateDialog : public QDialog
{
    Q_OBJECT

public:
    RecallStateDialog(StateManager *manager, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    // Whether the last apply was cancelled (nothing recalled).
    bool wasCancelled() const { return m_cancelled; }

    void done(int result) override;

Q_SIGNALS:
    void helpRequested(const QString &topic);

public Q_SLOTS:
    void handleApply();
    void handleAccepted();

private Q_SLOTS:
    void updateButtons();

private:
    QString selectedStateName() const;
    void restoreGeometry();
    void saveGeometry();

    QPointer<StateManager> m_manager;
    QTableView *m_view;
    QPushButton *m_ok;
    QPushButton *m_apply;
    bool m_cancelled = false;
};
