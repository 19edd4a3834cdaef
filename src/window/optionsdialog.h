#pragma once

// A question with one push button per answer; the answer is the index of the
// button pressed (read chosenOption() after exec()). With showCancel a "Cancel"
// button follows the answers. A dialog closed without an answer (Cancel,
// Escape, the title bar) reports chosenOption() -1, never the default answer.

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QVBoxLayout;

class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget *parent = nullptr, bool showCancel = false);

    void setQuestion(const QString &text);
    QString question() const;
    // Adds an answer button; returns its index (0, 1, ...).
    int addOption(const QString &text);
    // That button becomes the default and takes the focus; the chosen index
    // starts at it.
    void setDefaultOption(int index);
    int chosenOption() const { return m_option; }
    int optionCount() const { return int(m_buttons.size()); }

public Q_SLOTS:
    void setOption(int id);
    void setOptionAndAccept(int id);
    void reject() override;

private:
    QLabel *m_question;
    QVBoxLayout *m_answers;
    QList<QPushButton *> m_buttons;
    int m_option = -1;
};
