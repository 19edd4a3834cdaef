#pragma once

// The host's side of back annotation and of the design questions the
// helmdeck asks: reading what the plug-in hands out (a variable's netlist
// line, a goal's or the algorithm's parameter-information list) into plain
// definitions the design store can write, and the whole back-annotation call.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class DesignStore;
class MoxInterpreter;
struct MoxValue;

// "NAME = VALUE opt { CLAUSE }" as the plug-in writes a variable.
struct VariableLine
{
    QString netlistName;
    QString value;
    bool optimize = true;
    int constraintType = 0;  // 0 unconstrained, 1 min/max, 2 discrete, 3 +/- delta, 4 +/- percent
    QStringList params;      // three texts; types 3 and 4 keep the delta in the second
    QString text;            // the line as handed out (a netlist design takes it as it is)
};

struct GoalLimitDefinition
{
    QString name;
    QString type;        // long name: GreaterThan, LessThan, EqualTo, Inside, Outside
    QString min;         // first value
    QString max;         // second value (Inside, Outside)
    QString weight;
    QList<QPair<QString, QString>> ranges;  // per independent variable: lower, upper bound ("" open)
};

struct GoalDefinition
{
    QString name;
    QString expression;
    QString simInstanceName;
    QString weight;
    QStringList indepVars;
    QList<GoalLimitDefinition> limits;
    // The helmdeck's netlist text of the goal (optimHelmdeck_getGoalNetlist):
    // what a netlist design's goal and limit statements become.
    QString netlist;
};

struct AlgorithmDefinition
{
    QString name;
    int type = 0;  // 1..12; 0 when the OptimType/ErrorForm pair is unknown
    QString optimType;
    QString errorForm;
    QString maxIterations;
};

using ParameterMap = QMap<QString, QStringList>;

namespace backannotation {

bool parseVariableLine(const QString &line, VariableLine &variable);

// Removes one pair of surrounding double quotes.
QString unquote(const QString &text);
// Reads a parameter-information list: element 0 is the item name (or, in the
// form a host hands out, a list of the entry count and the name), then
// entries list(key, count, list(values...)). Values are unquoted.
bool readParameterList(MoxInterpreter *mox, const MoxValue *list, QString &itemName, ParameterMap &map);

GoalDefinition goalFromParameters(const QString &itemName, const ParameterMap &map);
AlgorithmDefinition algorithmFromParameters(const QString &itemName, const ParameterMap &map);
// The algorithm code of an OptimType/ErrorForm pair; 0 when there is none.
int algorithmCode(const QString &optimType, const QString &errorForm);

// A goal of the design in the form the plug-in's goal table widget takes:
// list(list(N, name), list(key, count, list(values...)), ...), values quoted
// where the plug-in quotes them. analyses and exprs, when given, travel
// under "analyses" and "exprs" as the choices the goal table offers.
MoxValue *goalParameterList(MoxInterpreter *mox, const GoalDefinition &goal,
                            const QStringList &analyses = {}, const QStringList &exprs = {});

// The goal's netlist text from the plug-in (optimHelmdeck_getGoalNetlist with
// the goal in the host's list form); false when it hands out none.
bool fetchGoalNetlist(MoxInterpreter *mox, GoalDefinition &goal);

} // namespace backannotation

struct BackAnnotationRequest
{
    QString designName;
    bool variables = false;
    int variableCount = 0;
    bool goals = false;
    int goalCount = 0;
    bool algorithm = false;
};

struct BackAnnotationResult
{
    bool ok = false;
    int variablesWritten = 0;
    int goalsWritten = 0;
    bool algorithmWritten = false;
    bool saved = false;
    QStringList problems;

    QString summary() const;
};

// Fetches the chosen definitions from the plug-in (optimHelmdeck_fetchVariable,
// optimHelmdeck_fetchGoal, optimHelmdeck_fetchAlgorithm), writes them into the
// design and saves the file when anything was written.
BackAnnotationResult backAnnotate(MoxInterpreter *mox, DesignStore *design, const BackAnnotationRequest &request);
