#include "recallstatedialog.h"

#include "state/helmdecksettings.h"
#include "state/statemanager.h"
#include "window/storestatedialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString groupName = QStringLiteral("OptimRecallState");
const QString recallTitle = QStringLiteral("Recall Optimization State");

} // namespace

RecallStateDialog::RecallStateDialog(StateManager *manager, QWidget *parent)
    : QDialog(parent)
    , m_manager(manager)
    , m_view(new QTableView(this))
{
    setObjectName(QStringLiteral("recallStateDialog"));
    setWindowTitle(recallTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *label = new QLabel(QStringLiteral("Select the state to restore:"), this);
    label->setObjectName(QStringLiteral("selectStateLabel"));

    m_view->setObjectName(QStringLiteral("statesView"));
    m_view->setModel(manager);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setSortIndicator(3, Qt::DescendingOrder);
    m_view->setSortingEnabled(true);
    label->setBuddy(m_view);

    auto *buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    buttons->setObjectName(QStringLiteral("recallStateButtons"));
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_apply = buttons->button(QDialogButtonBox::Apply);
    m_apply->setObjectName(QStringLiteral("applyButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("helpButton"));
    connect(m_apply, &QPushButton::clicked, this, &RecallStateDialog::handleApply);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecallStateDialog::handleAccepted);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [this] { Q_EMIT helpRequested(QStringLiteral("OPTIM_HELMDECK_RECALL_STATE")); });
    connect(m_view, &QAbstractItemView::doubleClicked, this, &RecallStateDialog::handleAccepted);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_view, 1);
    layout->addWidget(buttons);

    if (manager) {
        connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &RecallStateDialog::updateButtons);
        connect(manager, &QAbstractItemModel::modelReset, this, &RecallStateDialog::updateButtons);
        if (manager->rowCount() > 0)
            m_view->selectRow(0);
    }
    updateButtons();
    restoreGeometry();
}

QString RecallStateDialog::selectedStateName() const
{
    if (!m_manager || !m_view->selectionModel())
        return {};
    const QModelIndexList rows = m_view->selectionModel()->selectedRows();
    const SavedState *state = rows.isEmpty() ? nullptr : m_manager->stateAt(rows.first().row());
    return state ? state->name : QString();
}

void RecallStateDialog::updateButtons()
{
    const bool selected = !selectedStateName().isEmpty();
    const QString tip = selected ? QString() : QStringLiteral("Select a stored state first.");
    for (QPushButton *button : {m_ok, m_apply}) {
        button->setEnabled(selected);
        button->setToolTip(tip);
    }
}

void RecallStateDialog::handleApply()
{
    m_cancelled = false;
    const QPointer<RecallStateDialog> self(this);
    // The state is remembered by name: storing the current one below adds
    // a row and reorders the table.
    const QString name = selectedStateName();
    if (name.isEmpty() || !m_manager) {
        m_cancelled = true;
        return;
    }
    if (!m_manager->currentStateIsSaved()) {
        const auto answer = runStateMessageBox(
            this, QStringLiteral("saveStateQuestion"), QMessageBox::Question, QStringLiteral("Save State?"),
            QStringLiteral("The current optimization state has not been saved,\nso you will not be able to return "
                           "to it using the\nRecall button.\n\nWould you like to save the current optimization state?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (!self)
            return;
        if (answer == QMessageBox::Yes) {
            const bool stored = StoreStateDialog::query(m_manager, this);
            if (!self)
                return;
            if (!stored) {
                runStateMessageBox(this, QStringLiteral("recallCancelledInformation"), QMessageBox::Information,
                                   recallTitle,
                                   QStringLiteral("The operation was cancelled.\nThe optimization state was not "
                                                  "recalled."),
                                   QMessageBox::Ok);
                if (self)
                    m_cancelled = true;
                return;
            }
        } else if (answer != QMessageBox::No) {
            m_cancelled = true;
            return;
        }
    }
    QStringList leftOut;
    if (!m_manager || !m_manager->recallRow(m_manager->rowOf(name), &leftOut)) {
        if (self)
            m_cancelled = true;
        return;
    }
    if (!self || leftOut.isEmpty())
        return;
    runStateMessageBox(this, QStringLiteral("partialRecallInformation"), QMessageBox::Information, recallTitle,
                       QStringLiteral("The state \"%1\" does not fully match the current optimization.\n"
                                      "What matches was recalled; left out:\n\n%2")
                           .arg(name, leftOut.join(QLatin1Char('\n'))),
                       QMessageBox::Ok);
}

void RecallStateDialog::handleAccepted()
{
    const QPointer<RecallStateDialog> self(this);
    handleApply();
    if (self && !m_cancelled)
        accept();
}

void RecallStateDialog::done(int result)
{
    saveGeometry();
    QDialog::done(result);
}

void RecallStateDialog::restoreGeometry()
{
    HelmdeckSettings settings;
    settings.beginGroup(groupName);
    const QVariant storedSize = settings.value(QStringLiteral("size"));
    const QStringList stored = settings.value(QStringLiteral("colWidths")).toStringList();
    for (int column = 0; column < 4; ++column) {
        const int width = column < stored.size() ? stored.at(column).toInt() : 0;
        if (width > 0) {
            // The name and timestamp columns never hide what they show
            // (a timestamp of an earlier session carries its date).
            if (column == 0 || column == 3) {
                m_view->resizeColumnToContents(column);
                if (m_view->columnWidth(column) < width)
                    m_view->setColumnWidth(column, width);
            } else {
                m_view->setColumnWidth(column, width);
            }
            continue;
        }
        m_view->resizeColumnToContents(column);
        int fitted = std::max(100, m_view->columnWidth(column));
        if (column == 1)
            fitted = std::min(200, fitted);
        m_view->setColumnWidth(column, fitted);
    }
    if (storedSize.isValid()) {
        resize(storedSize.toSize());
        return;
    }
    // At first the dialog is as wide as its columns (within the screen),
    // so the whole timestamp shows.
    int tableWidth = 2 * m_view->frameWidth() + m_view->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < 4; ++column)
        tableWidth += m_view->columnWidth(column);
    const QMargins margins = layout()->contentsMargins();
    int width = std::max(500, tableWidth + margins.left() + margins.right());
    if (const QScreen *screen = this->screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    resize(width, 200);
}

void RecallStateDialog::saveGeometry()
{
    HelmdeckSettings settings;
    settings.beginGroup(groupName);
    settings.setValue(QStringLiteral("size"), size());
    QStringList widths;
    for (int column = 0; column < 4; ++column)
        widths << QString::number(m_view->columnWidth(column));
    settings.setValue(QStringLiteral("colWidths"), widths);
}
