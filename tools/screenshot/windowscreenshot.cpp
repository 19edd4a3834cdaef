// Opens the helmdeck window on an optimization and saves a picture of it.
// Settings are kept in a temporary folder.
//
// Usage: helmdeck-window-screenshot OUTPUT.png [running|stopped|sweep|history|tuning|limits|insights|many|recall|sliders|logscale|goalkinds] [WIDTHxHEIGHT]
//   running  interactive, 37 of 100 iterations, 12 minutes in (the default;
//            docs/helmdeck-window.png at the default size,
//            docs/helmdeck-window-large.png at 1600x1000)
//   stopped  interactive, paused after a failed simulation, with a
//            stopping reason
//   sweep    view-only, three optimizations of a sweep
//   history  as running, with the "Error history" page shown and the
//            goal "ReturnLoss" selected
//   tuning   interactive, paused and tuning, the second variable selected
//   limits   as running, the goal plots' x-axis fitted to the limit lines
//            (docs/helmdeck-window-limits.png)
//   insights as running, with the "Goals" page (pass or fail per goal) and
//            the "Iterations" table shown, iteration 20 selected and
//            marked on the history graphs (docs/helmdeck-insights.png)
//   many     as running, with 10,000 variables (the five elements repeated)
//   recall   as running, with "Recall Optimization State" open over the
//            window: three stored states, the second selected
//            (docs/window-recall.png, docs/window-recall-large.png)
//   sliders  as running, the second slider's tooltip shown: the sliders
//            stay put until Start Tuning (docs/window-sliders.png, ...)
//   logscale the run finished after 100 iterations, the "Error history"
//            page shown and the error histories on a log scale
//            (docs/helmdeck-logscale.png)
//   goalkinds as running, with goals of other analyses beside the
//            passband: the step response over time, the DC transfer over
//            the swept source v1, and the supply current at the operating
//            point (a scalar goal), with the "Goals" page (pass or fail
//            per goal) shown (docs/helmdeck-window-goalkinds.png)
//
// The optimization is a seventh-order lowpass filter whose cutoff the
// optimizer moves up from 0.85 GHz: four goals on S21 and S11 with limit
// lines over frequency ranges, errors computed from the traces against the
// limits, and five element values drifting with the cutoff. One iteration
// has a goal without a result (an empty value text), as a failed
// measurement gives.

#include "model/optimizationmodelobject.h"
#include "state/optimhelmdeckcontrollerstate.h"
#include "state/statemanager.h"
#include "units/realstringparser.h"
#include "window/errorhistoryview.h"
#include "window/goalspanel.h"
#include "window/iterationtable.h"
#include "window/optimhelmdeckdialog.h"
#include "window/recallstatedialog.h"
#include "window/statuspanel.h"
#include "window/progressview.h"
#include "window/varhistoryview.h"
#include "window/varsliderview.h"
#include "window/varspanel.h"
#include "window/windowresources.h"

#include <QApplication>
#include <QDialog>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QPainter>
#include <QTableView>
#include <QTabWidget>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <numbers>

namespace {

struct GoalDef
{
    const char *name;
    bool s11;
    int type;
    const char *first;
    const char *second;
    const char *fromGHz;
    const char *toGHz;
};

const GoalDef goalDefs[] = {
    {"Passband", false, LimitGreaterThan, "-0.5", "", "0.05", "1"},
    {"Stopband", false, LimitLessThan, "-45", "", "2.2", "4"},
    {"ReturnLoss", true, LimitLessThan, "-12", "", "0.05", "0.9"},
    {"Cutoff", false, LimitInside, "-3.5", "-2.5", "1.15", "1.2"},
};

struct VarDef
{
    const char *name;
    const char *unit;
    double base; // value at the starting cutoff, in base units
};

const VarDef varDefs[] = {
    {"L1", "nH", 12.4e-9}, {"C1", "pF", 6.1e-12}, {"L2", "nH", 20.1e-9}, {"C2", "pF", 6.1e-12}, {"L3", "nH", 12.4e-9},
};
constexpr int varDefCount = int(std::size(varDefs));

// How many variables the design has: the five elements, or (mode "many")
// 10,000, the five repeated with a section number ("L1_2", ...).
int variableCount = varDefCount;

QString variableName(int k)
{
    const QString name = QString::fromLatin1(varDefs[k % varDefCount].name);
    return k < varDefCount ? name : QStringLiteral("%1_%2").arg(name).arg(k / varDefCount + 1);
}

// Goals of other analyses (mode goalkinds): what they measure, over which
// variable (empty: a scalar goal) and their one limit.
struct OtherGoalDef
{
    const char *name;
    const char *expression;
    const char *analysis;
    const char *indepVar;
    int type;
    const char *first;
    const char *second;
    const char *from;
    const char *to;
};

const OtherGoalDef otherGoalDefs[] = {
    {"StepResponse", "V(out)", "TRAN1", "time", LimitInside, "0.47", "0.53", "0.000000003", "0.00000001"},
    {"DCTransfer", "V(out)", "DC1", "v1", LimitGreaterThan, "0.46", "", "1", "2"},
    {"SupplyCurrent", "I(VDD)", "OP1", "", LimitLessThan, "0.012", "", "", ""},
};

bool withOtherGoals = false;

double wire(double v)
{
    return QString::number(v, 'g', 6).toDouble();
}

// Cutoff frequency of iteration i of a run of the given seed.
double cutoff(int i, int seed)
{
    const double p = 1.0 - std::exp(-i / (9.0 + seed));
    return 0.85e9 + (0.3e9 + 0.02e9 * seed) * p + 0.004e9 * std::sin(i * 1.7);
}

double s21dB(double f, double fc)
{
    return -10.0 * std::log10(1.0 + std::pow(f / fc, 14.0));
}

double s11dB(double f, double fc)
{
    const double t = std::pow(10.0, s21dB(f, fc) / 10.0);
    // A mismatch floor near -30 dB, slightly wavy over frequency.
    return 10.0 * std::log10(std::max(1e-6, 1.0 - t + 1e-3 * (1.0 + 0.6 * std::sin(f / 1.3e8))));
}

OptimModelInput realisticInput(const QString &name)
{
    OptimModelInput input;
    OptimAlgInput algorithm;
    algorithm.setName(name);
    algorithm.setLabel(QStringLiteral("Lowpass optimization"));
    algorithm.setAlgorithmType(2);
    algorithm.setMaxIterations(QStringLiteral("100"));
    input.setAlgorithm(algorithm);
    for (const GoalDef &d : goalDefs) {
        if (withOtherGoals && &d != goalDefs)
            break; // the passband, then the goals of other analyses
        OptimGoalInput goal;
        goal.setName(QString::fromLatin1(d.name));
        goal.setExpression(d.s11 ? QStringLiteral("dB(S11)") : QStringLiteral("dB(S21)"));
        goal.setSimInstanceName(QStringLiteral("SP1"));
        goal.setWeight(QStringLiteral("1"));
        goal.addIndepVar(QStringLiteral("freq"));
        goal.setIndepVarUnit(0, QStringLiteral("GHz"));
        OptimGoalLimitInput limit;
        limit.setName(QStringLiteral("L1"));
        limit.setLimit(d.type, QString::fromLatin1(d.first), QString::fromLatin1(d.second));
        limit.setWeight(QStringLiteral("1"));
        limit.ranges().append(OptimGoalRange(0, QString::fromLatin1(d.fromGHz), QString::fromLatin1(d.toGHz)));
        goal.limits().append(limit);
        input.goals().append(goal);
    }
    for (const OtherGoalDef &d : otherGoalDefs) {
        if (!withOtherGoals)
            break;
        OptimGoalInput goal;
        goal.setName(QString::fromLatin1(d.name));
        goal.setExpression(QString::fromLatin1(d.expression));
        goal.setSimInstanceName(QString::fromLatin1(d.analysis));
        goal.setWeight(QStringLiteral("1"));
        OptimGoalLimitInput limit;
        limit.setName(QStringLiteral("L1"));
        limit.setLimit(d.type, QString::fromLatin1(d.first), QString::fromLatin1(d.second));
        limit.setWeight(QStringLiteral("1"));
        if (*d.indepVar) {
            goal.addIndepVar(QString::fromLatin1(d.indepVar)); // no unit: the name implies it
            limit.ranges().append(OptimGoalRange(0, QString::fromLatin1(d.from), QString::fromLatin1(d.to)));
        }
        goal.limits().append(limit);
        input.goals().append(goal);
    }
    for (int k = 0; k < variableCount; ++k) {
        const VarDef &d = varDefs[k % varDefCount];
        OptimVarInput variable;
        variable.setNetlistName(QStringLiteral("%1.%2").arg(variableName(k), QString::fromLatin1(d.name).left(1)));
        variable.setName(variableName(k));
        variable.setValue(RealStringParser::formatScaled(d.base, 4, QString::fromLatin1(d.unit)).number);
        variable.setUnit(QString::fromLatin1(d.unit));
        variable.setRange(QStringLiteral("1"), QStringLiteral("100"));
        input.variables().append(variable);
    }
    return input;
}

OptimIter realisticIteration(int i, int seed)
{
    OptimIter iter;
    iter.setCommandId(-1);
    const double fc = cutoff(i, seed);
    double total = 0;
    QList<double> goalErrors;
    QList<OptimGoalOutput> outputs;
    for (const GoalDef &d : goalDefs) {
        if (withOtherGoals && &d != goalDefs)
            break;
        OptimGoalOutput out;
        OptimTrace trace;
        const double from = QString::fromLatin1(d.fromGHz).toDouble() * 1e9;
        const double to = QString::fromLatin1(d.toGHz).toDouble() * 1e9;
        const double first = QString::fromLatin1(d.first).toDouble();
        const double second = QString::fromLatin1(d.second).toDouble();
        double error = 0;
        int inRange = 0;
        for (int p = 0; p <= 160; ++p) {
            const double f = wire(0.05e9 + p * (3.95e9 / 160));
            const double y = wire(d.s11 ? s11dB(f, fc) : s21dB(f, fc));
            trace.xValues().values().append(f);
            trace.yValues().values().append(y);
            if (f < from || f > to)
                continue;
            ++inRange;
            double violation = 0;
            if (d.type == LimitGreaterThan)
                violation = std::max(0.0, first - y);
            else if (d.type == LimitLessThan)
                violation = std::max(0.0, y - first);
            else
                violation = y < first ? first - y : (y > second ? y - second : 0.0);
            error += violation * violation;
        }
        error = inRange ? error / inRange : 0;
        OptimTraceFamily family;
        family.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("GHz")));
        family.traces().append(trace);
        out.setTraces(family);
        out.setValueText(QString::number(error, 'g', 6));
        out.limitOutputs().append(OptimGoalLimitOutput(QString::number(error, 'g', 6)));
        goalErrors.append(error);
        total += error;
        outputs.append(out);
    }
    // The goals of other analyses, moving with the cutoff: the step response
    // rings less and settles sooner, the DC gain and the supply current
    // come down to their limits.
    const double p = (fc - 0.85e9) / 0.3e9;
    for (const OtherGoalDef &d : otherGoalDefs) {
        if (!withOtherGoals)
            break;
        OptimTrace trace;
        QString var = QString::fromLatin1(d.indepVar);
        if (var == QLatin1String("time")) {
            const double wn = 2 * std::numbers::pi * fc * 0.55, zeta = 0.3 + 0.25 * p, wd = wn * std::sqrt(1 - zeta * zeta);
            for (int k = 0; k <= 160; ++k) {
                const double t = wire(k * 10e-9 / 160), s = std::max(0.0, t - 0.6e-9);
                trace.xValues().values().append(t);
                trace.yValues().values().append(wire(0.5 * (1 - std::exp(-zeta * wn * s) * (std::cos(wd * s) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * s)))));
            }
        } else if (var == QLatin1String("v1")) {
            for (int k = 0; k <= 40; ++k) {
                const double v = wire(k * 2.0 / 40);
                trace.xValues().values().append(v);
                trace.yValues().values().append(wire(0.5 * v - (0.06 - 0.035 * p) * v * v));
            }
        } else {
            trace.xValues().values().append(0.0); // a scalar: one point, its abscissa unused
            trace.yValues().values().append(wire(0.0138 - 0.0035 * p));
        }
        const double first = QString::fromLatin1(d.first).toDouble(), second = QString::fromLatin1(d.second).toDouble();
        const double from = *d.from ? QString::fromLatin1(d.from).toDouble() : -1e300;
        const double to = *d.to ? QString::fromLatin1(d.to).toDouble() : 1e300;
        double error = 0;
        int inRange = 0;
        for (qsizetype k = 0; k < trace.pointCount(); ++k) {
            const double x = trace.xValues().at(k), y = trace.yValues().at(k);
            if (x < from || x > to)
                continue;
            ++inRange;
            const double violation = d.type == LimitGreaterThan ? std::max(0.0, first - y)
                : d.type == LimitLessThan                       ? std::max(0.0, y - first)
                                                                : (y < first ? first - y : (y > second ? y - second : 0.0));
            error += violation * violation * 1e4;
        }
        error = inRange ? error / inRange : 0;
        OptimTraceFamily family;
        family.setIndepVar(OptimTraceVar(var, QString()));
        family.traces().append(trace);
        OptimGoalOutput out;
        out.setTraces(family);
        out.setValueText(QString::number(error, 'g', 6));
        out.limitOutputs().append(OptimGoalLimitOutput(QString::number(error, 'g', 6)));
        goalErrors.append(error);
        total += error;
        outputs.append(out);
    }
    for (qsizetype k = 0; k < outputs.size(); ++k) {
        outputs[k].setErrorContribution(QString::number(goalErrors.at(k), 'g', 6));
        // A failed measurement in one iteration: no value for that goal.
        if (i == 21 && k == 2)
            outputs[k].setValueText(QString());
        iter.goals().append(outputs.at(k));
    }
    OptimAlgOutput &algorithm = iter.algorithm();
    algorithm.setStatus(2);
    algorithm.setIsBestError(i % 4 != 1);
    algorithm.setErrorText(QString::number(total, 'g', 6));
    algorithm.setErrorDetail(QString::number(total, 'g', 6));
    algorithm.setIterationText(QString::number(i));
    algorithm.setMaxIterationsText(QStringLiteral("100"));
    for (int k = 0; k < variableCount; ++k) {
        const VarDef &d = varDefs[k % varDefCount];
        const double v = d.base * 0.85e9 / fc * (1.0 + 0.01 * std::sin(i + d.base * 1e9 + k / varDefCount));
        iter.variables().append(OptimVarOutput(RealStringParser::formatScaled(v, 4, QString::fromLatin1(d.unit)).text()));
    }
    return iter;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: helmdeck-window-screenshot OUTPUT.png [running|stopped|sweep|history|tuning|limits|insights|many|recall|sliders|logscale|goalkinds] [WIDTHxHEIGHT]\n");
        return 2;
    }
    const QString mode = argc >= 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("running");
    withOtherGoals = mode == QLatin1String("goalkinds");
    QSize windowSize;
    if (argc == 4) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)$")).match(QString::fromLocal8Bit(argv[3]));
        if (!m.hasMatch()) {
            std::fprintf(stderr, "size must read WIDTHxHEIGHT, e.g. 1600x1000\n");
            return 2;
        }
        windowSize = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    }
    // The user's own settings are neither read nor changed.
    const QTemporaryDir settingsDir;
    QStandardPaths::setTestModeEnabled(true);
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settingsDir.path());
    initHelmdeckResources();

    OptimHelmdeckControllerState state(mode == QLatin1String("sweep"), mode != QLatin1String("sweep"));
    if (mode == QLatin1String("limits"))
        state.setGoalXAxisScaling(0);
    const bool finished = mode == QLatin1String("logscale");
    if (mode == QLatin1String("many"))
        variableCount = 10000;
    if (finished)
        state.setHistoryLogScale(true);
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addFile(QStringLiteral(":/icons/smoptimz%1").arg(size));
    auto *window = new OptimHelmdeckDialog(&state, icon);

    std::vector<std::unique_ptr<OptimizationModelObject>> models;
    const int count = mode == QLatin1String("sweep") ? 3 : 1;
    // The elapsed clock reads 12m34s.
    QDateTime now = QDateTime(QDate(2030, 1, 1), QTime(9, 0), Qt::UTC);
    window->statusPanel()->progressView()->setClock([&now] { return now; });
    // The recall dialog's states, stored along the run.
    StateManager states;
    for (int m = 0; m < count; ++m) {
        auto model = std::make_unique<OptimizationModelObject>();
        model->setModelInput(realisticInput(count > 1 ? QStringLiteral("Top.Sweep1[%1].Optim1").arg(m) : QStringLiteral("Optim1")));
        window->setModel(model.get());
        state.addModel(model.get());
        const int last = m + 1 < count || finished ? 100 : 37;
        for (int i = 0; i <= last; ++i) {
            OptimIter iteration = realisticIteration(i, m);
            if (i == 100)
                iteration.algorithm().setStatus(5);
            model->applyIteration(iteration);
            if (mode == QLatin1String("recall") && (i == 0 || i == 12)) {
                states.setCurrentModel(model.get());
                if (i == 0)
                    states.storeState(QStringLiteral("Start"), QStringLiteral("As designed"));
                else
                    states.storeState(QStringLiteral("Passband met"), QStringLiteral("Before widening the stopband"));
            }
        }
        models.push_back(std::move(model));
    }
    now = now.addSecs(12 * 60 + 34);
    OptimizationModelObject &current = *models.back();
    if (mode == QLatin1String("recall"))
        states.storeState(QStringLiteral("State03"), QString());
    if (mode == QLatin1String("stopped")) {
        current.applyStatus(OptimStatus(3, QStringLiteral("Paused by the user after iteration 37.")));
        OptimIterSimResult failed;
        failed.iteration().algorithm().setSimulationOk(false);
        current.applySimResult(failed);
    } else if (!finished) {
        current.applyIteration(realisticIteration(37, count - 1));
    }

    if (mode == QLatin1String("tuning")) {
        current.applyStatus(OptimStatus(3, QStringLiteral("Paused for tuning after iteration 37.")));
        window->updateTuning(true);
        window->varsPanel()->historyView()->setSelectedVariableByRow(1);
    }

    if (mode == QLatin1String("history") || finished) {
        auto *panel = window->findChild<GoalsPanel *>(QStringLiteral("goalsPanel"));
        panel->pages()->setCurrentWidget(panel->errorHistoryView());
        panel->setSelectedGoal(2);
    }
    if (mode == QLatin1String("insights") || withOtherGoals) {
        auto *panel = window->findChild<GoalsPanel *>(QStringLiteral("goalsPanel"));
        for (int i = 0; i < panel->pages()->count(); ++i) {
            if (panel->pages()->tabText(i) == QLatin1String("Goals"))
                panel->pages()->setCurrentIndex(i);
        }
    }
    if (mode == QLatin1String("insights")) {
        auto *table = window->findChild<IterationTableView *>();
        window->varsPanel()->viewTabs()->setCurrentWidget(table);
        table->tableModel()->refresh();
        table->selectRow(table->tableModel()->rowOf(20));
    }
    window->show();
    if (windowSize.isValid())
        window->resize(windowSize);
    // Windows of their own drawn over the window where they stand: a dialog,
    // a tooltip.
    QList<QPointer<QWidget>> above;
    if (mode == QLatin1String("recall")) {
        auto *dialog = new RecallStateDialog(&states, window);
        dialog->show();
        dialog->move(window->geometry().center() - dialog->rect().center() + QPoint(0, 10));
        dialog->view()->selectionModel()->setCurrentIndex(states.index(1, 0),
                                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        above.append(dialog);
    }
    // Let the layout settle and the animation show a frame, then show what
    // needs the laid-out window. exit(), not quit(): quit() asks the windows
    // to close, and this one waits for a controller to allow it.
    QTimer::singleShot(300, &app, [&] {
        if (mode == QLatin1String("sliders")) {
            QWidget *slider = window->varsPanel()->sliderView()->sliderForVariable(1);
            const QPoint at(slider->width() / 3, slider->height() / 2);
            QHelpEvent help(QEvent::ToolTip, at, slider->mapToGlobal(at));
            QCoreApplication::sendEvent(slider, &help);
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->inherits("QTipLabel") && top->isVisible())
                    above.append(top);
            }
        }
        QCoreApplication::exit(0);
    });
    app.exec();
    QPixmap picture = window->grab();
    {
        QPainter painter(&picture);
        for (QWidget *top : std::as_const(above)) {
            if (!top || !top->isVisible())
                continue;
            const QRect place(top->mapToGlobal(QPoint()) - window->mapToGlobal(QPoint()), top->size());
            // The offscreen platform draws no frames: a dialog gets a plain
            // title bar with its title and a border.
            if (qobject_cast<QDialog *>(top)) {
                const int bar = top->fontMetrics().height() + 8;
                const QRect frame = place.adjusted(-1, -bar - 1, 0, 0);
                painter.fillRect(frame, QColor(70, 70, 70));
                painter.setPen(Qt::white);
                painter.drawText(frame.adjusted(8, 1, -8, 0).topLeft() + QPoint(0, top->fontMetrics().ascent() + 4),
                                 top->windowTitle());
            }
            painter.drawPixmap(place.topLeft(), top->grab());
        }
    }
    delete window;
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
