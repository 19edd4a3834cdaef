#pragma once

// A design file (JSON, see docs/design-file.md): the circuit as a SPICE
// netlist template, its named analyses (AC with its ports, operating point,
// DC sweep, transient, noise), the optimization
// variables, the goals, the algorithm, and optionally a sweep of several
// optimizations that differ in fixed parameters or algorithm.
//
// Variables, goals and the algorithm are kept as the very records the
// helmdeck receives (OptimVarInput, OptimGoalInput, OptimAlgInput), so the
// simulator and the host stand-in read one format into one meaning.

#include "model/optiminputrecords.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

struct SimPort
{
    QString node;
    double z0 = 50.0;
};

struct SimAnalysis
{
    enum Type { Ac, Op, Dc, Tran, Noise };

    Type type = Ac;
    QString name = QStringLiteral("SP1");  // what goals name as simInstanceName
    QString sweep = QStringLiteral("lin");  // ac, noise: lin (points in total), dec, oct (points per decade/octave)
    double start = 0;                      // ac, noise: Hz; dc: the source's unit; tran: s
    double stop = 0;
    int points = 0;                        // ac, noise
    double step = 0;                       // dc, tran
    QString source;                        // dc: the swept source; noise: the input source
    QString output;                        // noise: the output node
    QList<SimPort> ports;                  // ac: none, one or two (the S-parameter test bench)

    // "ac", "op", "dc", "tran", "noise"
    QString typeName() const;
    // The independent variable of goals over this analysis and its unit:
    // freq/Hz (ac, noise), time/s (tran), the swept source (dc); empty for op.
    QString indepVar() const;
    QString indepUnit() const;
    // Whether the analysis sweeps an independent variable (all but op).
    bool isSwept() const { return type != Op; }
};

using SimParameters = QList<QPair<QString, QString>>;  // name, value text, in file order

struct SimSweepEntry
{
    QString name;          // the optimization's name (its algorithm record's name)
    QString label;
    SimParameters parameters;  // overrides of the design's fixed parameters
    std::optional<int> algorithmType;
    QString maxIterations;     // empty: the design's
};

class SimDesign
{
public:
    static bool load(const QString &path, SimDesign &design, QString *error);
    // folder: where the design's .include and .lib files are (their lines
    // then name the files' absolute paths); empty: such lines are refused.
    static bool fromJson(const QByteArray &json, SimDesign &design, QString *error, const QString &folder = QString());

    QString title;
    QStringList circuit;      // netlist lines without title, analysis or .end
    // Where each circuit line comes from, for messages that name the user's
    // own line: "circuit[3]" in a JSON design, "lowpass.cir:12" in a netlist.
    QStringList circuitPlaces;
    SimParameters parameters;  // fixed parameters
    QList<SimAnalysis> analyses;  // at least one; names unique regardless of case
    OptimModelInput input;    // algorithm, goals, variables (value lists in designValues)
    QList<SimSweepEntry> sweep;

    // The analysis a goal names (an empty name: the first), or nullptr.
    const SimAnalysis *analysis(const QString &simInstanceName) const;

    bool isMultiOpt() const { return sweep.size() > 1; }
    int optimizationCount() const { return sweep.isEmpty() ? 1 : int(sweep.size()); }
    // The definitions of optimization k (0-based) of the sweep.
    OptimModelInput modelInput(int k) const;
    // The fixed parameters of optimization k: the design's with the sweep entry's overrides.
    SimParameters parametersFor(int k) const;
};

// Why a goal expression cannot be evaluated over the analysis, or empty when
// it may be (ngspice itself judges a vector expression at the first run).
QString simGoalExpressionProblem(const QString &expression, const SimAnalysis &analysis);

// Whether text can be a SPICE parameter name: a letter, then letters, digits, underscores.
bool simIsParameterName(const QString &text);

// Why a circuit entry cannot go to ngspice, or an empty text when it can.
// An entry is one line (no line break or other control character). Of the
// dot-commands only those that describe the circuit are allowed (.param,
// .model, .subckt, .ends, .func, .global, .temp, .option(s), .opt,
// .nodeset, .ic): the analysis, .control blocks and .end are the
// simulator's, and .include/.lib (which read files) are refused here (a
// design file's own model files pass SimLint::includeProblem instead), as
// are XSPICE code-model instances (A lines), some of which read files.
QString simCircuitLineProblem(const QString &line);
