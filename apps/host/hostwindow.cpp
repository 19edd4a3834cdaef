#include "hostwindow.h"

#include "helmdeckhost.h"
#include "moxargs.h"

#include "model/optiminputrecords.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A title or name as one plain line of bounded length: line breaks and other
// control characters become blanks, and a longer text is cut and ends in an
// ellipsis. Laying it out and painting it then cost the same whatever the
// design holds (a rich-text label grows without bound with the text).
QString shownLine(const QString &text, qsizetype maxChars)
{
    QString line = text.left(maxChars + 1);
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    if (line.size() > maxChars) {
        line.truncate(maxChars - 1);
        if (line.back().isHighSurrogate())
            line.chop(1);
        line += QChar(0x2026);
    }
    return line;
}

constexpr qsizetype kShownTitleChars = 400;
constexpr qsizetype kShownPathChars = 400;
constexpr qsizetype kShownCellChars = 200;

QString scalar(const QJsonValue &v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    if (v.isBool())
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return QString();
}

QTableWidget *makeTable(const QString &name, const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void setRow(QTableWidget *table, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size() && c < table->columnCount(); ++c)
        table->setItem(row, c, new QTableWidgetItem(shownLine(cells.at(c), kShownCellChars)));
}

} // namespace

// Plain text, each line elided to the label's width: a long title neither
// widens the window nor wraps onto more lines.
class ElidedLabel : public QLabel
{
public:
    explicit ElidedLabel(QWidget *parent)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

    void setLines(const QString &text)
    {
        m_lines = text;
        // The whole (bounded) text, escaped: a tooltip would take markup in it as such.
        setToolTip(QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>"))));
        elide();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide()
    {
        QStringList lines = m_lines.split(u'\n');
        for (QString &line : lines)
            line = fontMetrics().elidedText(line, Qt::ElideRight, std::max(contentsRect().width(), 1));
        setText(lines.join(u'\n'));
    }

    QString m_lines;
};

HostWindow::HostWindow(HelmdeckHost *host, QWidget *parent)
    : QMainWindow(parent)
    , m_host(host)
    , m_tabs(new QTabWidget(this))
    , m_variables(makeTable(QStringLiteral("variablesTable"),
                            {QStringLiteral("Netlist name"), QStringLiteral("Name"), QStringLiteral("Value"),
                             QStringLiteral("Unit"), QStringLiteral("Optimize"), QStringLiteral("Constraint")},
                            this))
    , m_goals(makeTable(QStringLiteral("goalsTable"),
                        {QStringLiteral("Name"), QStringLiteral("Expression"), QStringLiteral("Analysis"),
                         QStringLiteral("Weight"), QStringLiteral("Limits")},
                        this))
    , m_algorithm(makeTable(QStringLiteral("algorithmTable"), {QStringLiteral("Setting"), QStringLiteral("Value")}, this))
    , m_circuit(new QPlainTextEdit(this))
    , m_log(new QPlainTextEdit(this))
    , m_consoleOutput(new QPlainTextEdit(this))
    , m_consoleInput(new QLineEdit(this))
    , m_designLabel(new ElidedLabel(this))
    , m_simulatorLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("helmdeckHostWindow"));
    resize(900, 640);

    m_circuit->setObjectName(QStringLiteral("circuitText"));
    m_circuit->setReadOnly(true);
    m_log->setObjectName(QStringLiteral("hostLog"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(2000);
    m_consoleOutput->setObjectName(QStringLiteral("consoleOutput"));
    m_consoleOutput->setReadOnly(true);
    m_consoleOutput->setMaximumBlockCount(2000);
    m_consoleInput->setObjectName(QStringLiteral("consoleInput"));
    m_consoleInput->setPlaceholderText(QStringLiteral("MOX expression, e.g. optimHelmdeck_valueWithUnits(\"0.0022\", \"H\")"));
    m_designLabel->setObjectName(QStringLiteral("designLabel"));
    m_simulatorLabel->setObjectName(QStringLiteral("simulatorStatusLabel"));

    auto *goalsPage = new QWidget(this);
    auto *goalsLayout = new QVBoxLayout(goalsPage);
    goalsLayout->setContentsMargins(0, 0, 0, 0);
    goalsLayout->addWidget(m_goals);
    auto *editGoalButton = new QPushButton(QStringLiteral("Edit Goal..."), goalsPage);
    editGoalButton->setObjectName(QStringLiteral("editGoalButton"));
    auto *goalButtons = new QHBoxLayout;
    goalButtons->addStretch(1);
    goalButtons->addWidget(editGoalButton);
    goalsLayout->addLayout(goalButtons);
    connect(editGoalButton, &QPushButton::clicked, this, &HostWindow::editSelectedGoal);
    connect(m_goals, &QTableWidget::cellDoubleClicked, this, [this] { editSelectedGoal(); });

    m_tabs->setObjectName(QStringLiteral("designTabs"));
    m_tabs->addTab(m_variables, QStringLiteral("Variables"));
    m_tabs->addTab(goalsPage, QStringLiteral("Goals"));
    m_tabs->addTab(m_algorithm, QStringLiteral("Algorithm"));
    m_tabs->addTab(m_circuit, QStringLiteral("Circuit"));
    m_tabs->addTab(m_log, QStringLiteral("Log"));

    auto *console = new QWidget(this);
    auto *consoleLayout = new QVBoxLayout(console);
    consoleLayout->setContentsMargins(6, 0, 6, 0);
    consoleLayout->addWidget(new QLabel(QStringLiteral("MOX console"), console));
    consoleLayout->addWidget(m_consoleOutput, 1);
    consoleLayout->addWidget(m_consoleInput);
    connect(m_consoleInput, &QLineEdit::returnPressed, this, &HostWindow::evaluateConsoleInput);

    auto *top = new QWidget(this);
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(6, 6, 6, 0);
    topLayout->addWidget(m_designLabel);
    topLayout->addWidget(m_tabs, 1);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("hostSplitter"));
    splitter->addWidget(top);
    splitter->addWidget(console);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    statusBar()->addWidget(m_simulatorLabel, 1);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *open = file->addAction(QStringLiteral("&Open Design..."), this, &HostWindow::openDesignDialog);
    open->setObjectName(QStringLiteral("openDesignAction"));
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);

    QMenu *simulation = menuBar()->addMenu(QStringLiteral("&Simulation"));
    m_optimize = simulation->addAction(QStringLiteral("&Optimize"), this, &HostWindow::startOptimization);
    m_optimize->setObjectName(QStringLiteral("optimizeAction"));
    m_stop = simulation->addAction(QStringLiteral("&Stop Simulator"), this, [this] { m_host->releaseSimulator(); });
    m_stop->setObjectName(QStringLiteral("stopSimulatorAction"));
    m_editGoal = simulation->addAction(QStringLiteral("&Edit Goal..."), this, &HostWindow::editSelectedGoal);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Helmdeck &Help"), this, [this] { m_host->showHelp(QStringLiteral("index")); });

    QToolBar *tools = addToolBar(QStringLiteral("Simulation"));
    tools->setObjectName(QStringLiteral("simulationToolBar"));
    tools->setMovable(false);
    auto *optimizeButton = new QPushButton(QStringLiteral("Optimize"), tools);
    optimizeButton->setObjectName(QStringLiteral("optimizeButton"));
    connect(optimizeButton, &QPushButton::clicked, m_optimize, &QAction::trigger);
    connect(m_optimize, &QAction::changed, optimizeButton, [this, optimizeButton] { optimizeButton->setEnabled(m_optimize->isEnabled()); });
    tools->addWidget(optimizeButton);
    auto *stopButton = new QPushButton(QStringLiteral("Stop Simulator"), tools);
    stopButton->setObjectName(QStringLiteral("stopSimulatorButton"));
    connect(stopButton, &QPushButton::clicked, m_stop, &QAction::trigger);
    connect(m_stop, &QAction::changed, stopButton, [this, stopButton] { stopButton->setEnabled(m_stop->isEnabled()); });
    tools->addWidget(stopButton);

    // A back annotation changes the design once per variable it writes; the
    // tables are rebuilt once, with all of the changes, when the event loop
    // next runs, instead of once per change.
    m_designRefresh = new QTimer(this);
    m_designRefresh->setSingleShot(true);
    m_designRefresh->setInterval(0);
    connect(m_designRefresh, &QTimer::timeout, this, &HostWindow::updateDesign);
    connect(host, &HelmdeckHost::designChanged, this, [this] {
        if (!m_designRefresh->isActive())
            m_designRefresh->start();
        // The actions follow at once: they only ask whether a design is open.
        updateSimulators();
    });
    connect(host, &HelmdeckHost::simulatorsChanged, this, &HostWindow::updateSimulators);
    connect(host, &HelmdeckHost::logLine, this, &HostWindow::appendLog);
    updateDesign();
    updateSimulators();
}

void HostWindow::updateDesign()
{
    DesignStore *design = m_host->design();
    setWindowTitle(design->isOpen() ? QStringLiteral("Helmdeck Host - %1").arg(QFileInfo(design->filePath()).fileName())
                                    : QStringLiteral("Helmdeck Host"));
    m_designLabel->setLines(design->isOpen() ? shownLine(design->title(), kShownTitleChars) + u'\n'
                                                   + shownLine(design->filePath(), kShownPathChars)
                                             : QStringLiteral("No design is open. Use File > Open Design..."));

    const QJsonArray variables = design->variables();
    m_variables->setRowCount(int(variables.size()));
    for (int r = 0; r < variables.size(); ++r) {
        const QJsonObject v = variables.at(r).toObject();
        setRow(m_variables, r,
               {scalar(v.value(QLatin1String("netlistName"))), scalar(v.value(QLatin1String("name"))),
                scalar(v.value(QLatin1String("value"))), scalar(v.value(QLatin1String("unit"))),
                v.value(QLatin1String("optimize")).toBool(true) ? QStringLiteral("yes") : QStringLiteral("no"),
                DesignStore::constraintText(v)});
    }
    const QJsonArray goals = design->goals();
    m_goals->setRowCount(int(goals.size()));
    for (int r = 0; r < goals.size(); ++r) {
        const QJsonObject g = goals.at(r).toObject();
        setRow(m_goals, r,
               {scalar(g.value(QLatin1String("name"))), scalar(g.value(QLatin1String("expression"))),
                scalar(g.value(QLatin1String("simInstanceName"))), scalar(g.value(QLatin1String("weight"))),
                DesignStore::limitsText(g)});
    }
    const QJsonObject algorithm = design->algorithm();
    const int type = algorithm.value(QLatin1String("type")).toInt(0);
    m_algorithm->setRowCount(design->isOpen() ? 3 : 0);
    if (design->isOpen()) {
        setRow(m_algorithm, 0, {QStringLiteral("Name"), scalar(algorithm.value(QLatin1String("name")))});
        setRow(m_algorithm, 1, {QStringLiteral("Type"), QStringLiteral("%1 (%2)").arg(optimAlgorithmName(type)).arg(type)});
        setRow(m_algorithm, 2, {QStringLiteral("Max. iterations"), scalar(algorithm.value(QLatin1String("maxIterations")))});
    }
    QStringList circuit;
    const QJsonValue c = design->root().value(QLatin1String("circuit"));
    if (c.isString()) {
        circuit.append(c.toString());
    } else {
        for (const QJsonValue &line : c.toArray())
            circuit.append(line.toString());
    }
    m_circuit->setPlainText(circuit.join(QLatin1Char('\n')));
    for (QTableWidget *t : {m_variables, m_goals, m_algorithm})
        t->resizeColumnsToContents();
    updateSimulators();
}

void HostWindow::updateSimulators()
{
    HostSession *session = m_host->session();
    QStringList states;
    for (const QByteArray &id : session->simulatorIds())
        states.append(QStringLiteral("%1 %2").arg(QString::fromLatin1(id), HostSession::stateText(session->simulator(id))));
    const QByteArray current = session->currentSimulatorId();
    m_simulatorLabel->setText(states.isEmpty() ? QStringLiteral("No simulator started.")
                                               : QStringLiteral("Simulators: ") + states.join(QStringLiteral(", ")));
    m_optimize->setEnabled(m_host->design()->isOpen());
    m_stop->setEnabled(!current.isEmpty());
    m_editGoal->setEnabled(m_host->design()->isOpen());
}

void HostWindow::openDesignDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Design"), QString(),
                                                      QStringLiteral("Designs (*.json *.cir *.sp *.net);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_host->openDesign(path, &error))
        QMessageBox::warning(this, QStringLiteral("Open Design"), error);
}

void HostWindow::startOptimization()
{
    QString error;
    if (m_host->optimize(&error).isEmpty())
        QMessageBox::warning(this, QStringLiteral("Optimize"), error);
}

void HostWindow::appendLog(const QString &line)
{
    m_log->appendPlainText(line);
}

void HostWindow::evaluateConsoleInput()
{
    const QByteArray text = m_consoleInput->text().trimmed().toUtf8();
    if (text.isEmpty())
        return;
    m_consoleInput->clear();
    m_consoleOutput->appendPlainText(QStringLiteral("> ") + QString::fromUtf8(text));
    bool ok = false;
    QString error;
    const QByteArray out = m_host->evaluateLine(text, &ok, &error);
    m_consoleOutput->appendPlainText(ok ? QString::fromUtf8(out) : QStringLiteral("error: ") + error);
}

void HostWindow::editSelectedGoal()
{
    DesignStore *design = m_host->design();
    const int row = m_goals->currentRow() >= 0 ? m_goals->currentRow() : 0;
    QTableWidgetItem *item = m_goals->item(row, 0);
    GoalDefinition goal;
    if (!item || !design->goalDefinition(item->text(), goal))
        return;
    MoxInterpreter *mox = m_host->mox();
    // The goal table offers the design's analyses and the expressions its goals use.
    QStringList analyses, exprs;
    for (const QJsonValue &a : design->analyses()) {
        const QString analysis = a.toObject().value(QStringLiteral("name")).toString();
        if (!analysis.isEmpty())
            analyses.append(analysis);
    }
    for (const QJsonValue &g : design->goals()) {
        const QString expr = g.toObject().value(QStringLiteral("expression")).toString();
        if (!expr.isEmpty() && !exprs.contains(expr))
            exprs.append(expr);
    }
    MoxValue *list = backannotation::goalParameterList(mox, goal, analyses, exprs);
    const QByteArray call = "optimHelmdeck_getGoalTableWidget(" + mox->printed(list) + ")";
    mox->release(list);
    MoxValue *object = mox->evaluate(HelmdeckHost::kPluginModule, call);
    auto *editor = static_cast<QWidget *>(mox->objectPointer(object, mox->findType("QtWidget")));
    if (!editor) {
        mox->release(object);
        QMessageBox::information(this, QStringLiteral("Edit Goal"),
                                 QStringLiteral("The helmdeck's goal editor is not available (the plug-in handed out no goal table)."));
        return;
    }
    // The dialog runs a nested event loop in which the host window may go.
    QPointer<HostWindow> self(this);
    QPointer<QDialog> dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("hostGoalDialog"));
    dialog->setWindowTitle(QStringLiteral("Goal %1").arg(goal.name));
    auto *layout = new QVBoxLayout(dialog);
    // The widget is the host's from here on; the dialog deletes it.
    editor->setParent(dialog);
    layout->addWidget(editor);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("goalOkButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("goalCancelButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    const int result = dialog->exec();
    if (!self || !dialog || result != QDialog::Accepted) {
        if (dialog)
            dialog->deleteLater();
        mox->release(object);
        return;
    }
    // The goal is read back before the dialog (and the widget) goes.
    dialog->deleteLater();
    MoxValue *reader = mox->evaluate(HelmdeckHost::kPluginModule, "optimHelmdeck_getGoalTableWidgetState");
    MoxValue *state = reader ? mox->invoke(reader, {object}) : nullptr;
    if (!reader)
        mox->release(object);
    mox->release(reader);
    QString name;
    ParameterMap map;
    QString error;
    const bool read = state && backannotation::readParameterList(mox, state, name, map);
    mox->release(state);
    GoalDefinition edited = read ? backannotation::goalFromParameters(name, map) : GoalDefinition();
    // A netlist design takes the goal as the helmdeck writes it.
    if (read && design->isNetlist() && !backannotation::fetchGoalNetlist(mox, edited))
        error = QStringLiteral("The helmdeck handed out no netlist text for goal %1; the design is unchanged.").arg(edited.name);
    if (!read || !error.isEmpty() || !design->applyGoal(edited, &error) || !design->save(&error))
        QMessageBox::warning(this, QStringLiteral("Edit Goal"),
                             error.isEmpty() ? QStringLiteral("The goal has invalid entries or could not be read back from the editor; the design is unchanged.") : error);
}

void HostWindow::closeEvent(QCloseEvent *event)
{
    // Closing the host window ends the host: the helmdeck is asked first.
    if (!m_host->quit(HelmdeckHost::ExitOk, true)) {
        event->ignore();
        return;
    }
    event->accept();
}
