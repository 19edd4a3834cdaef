#pragma once

// "Store Optimization State": a name (filled with the next default name) and
// a comment for the current optimization. OK refuses an empty name, asks
// before overwriting a state of the same name, then stores and closes.

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include <functional>

class QLineEdit;
class StateManager;

class StoreStateDialog : public QDialog
{
    Q_OBJECT

public:
    StoreStateDialog(StateManager *manager, QWidget *parent = nullptr);

    QString stateName() const;
    QString comment() const;

    // Opens the dialog over parent with the manager's default name; on
    // acceptance the default number moves on. Answers whether a state was
    // stored; false also when the dialog, parent or manager went away.
    // runDialog runs the dialog's loop (the window's question seam, so that a
    // close from outside dismisses it); without one the dialog runs exec().
    static bool query(StateManager *manager, QWidget *parent,
                      const std::function<bool(QDialog *)> &runDialog = {});

Q_SIGNALS:
    void helpRequested(const QString &topic);

private Q_SLOTS:
    void handleAccept();

private:
    QPointer<StateManager> m_manager;
    QLineEdit *m_name;
    QLineEdit *m_comment;
};

// Runs a message box over parent (heap-made, deleted later) and answers the
// button chosen, or NoButton when the box went away with its parent. The
// caller re-checks its own guarded pointers afterwards.
QMessageBox::StandardButton runStateMessageBox(QWidget *parent, const QString &objectName, QMessageBox::Icon icon,
                                               const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons,
                                               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
