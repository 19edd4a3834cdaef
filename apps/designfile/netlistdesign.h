#pragma once

// A design written as a SPICE netlist (.cir, .sp, .net; docs/design-file.md):
// the circuit as ngspice reads it, and the optimization as the helmdeck's own
// statements among its lines:
//
//   C1 = 5 pF opt { 0.2 pF to 10 pF }                        a variable
//   OptimGoal:Passband Expr="dB(S21)" SimInstanceName="SP1" Weight=1 \   (continued)
//   IndepVar[1]="freq" \                                    (continued)
//   SpecLimitLine[1]="Passband_IL"
//   SpecLimitLine:"Passband_IL" Type="GreaterThan" Min=-0.5 Weight=1 \ (continued)
//   IndepVar[1]="freq" IndepMin[1]=10 MHz IndepMax[1]=800 MHz   a goal and its limit
//   OptimAlgorithm:Optim1 OptimType="qzVMO" ErrorForm="L2" MaxIters=100
//   Analysis:SP1 Type="ac" Sweep="lin" Start=10 MHz Stop=3 GHz Points=150 \   (continued)
//   Port[1]="in" Z0[1]=50 Port[2]="out" Z0[2]=50
//
// The reader turns such a file into the JSON design object (the shape
// SimDesign::fromJson and the host's DesignStore read), and remembers where
// each statement stands in the file's bytes, so that back annotation can
// replace exactly those statements and leave every other byte as it was.

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

struct NetlistStatement
{
    enum Kind { Variable, Goal, SpecLimit, Algorithm, Analysis };
    Kind kind = Variable;
    // Variable: its netlist name; goal: the goal name; limit statement: its
    // unquoted name ("Passband_IL"); algorithm and analysis: their names.
    QString name;
    qsizetype begin = 0;  // byte offset of the statement's first character
    qsizetype end = 0;    // byte offset just past its last character, before the line end of its last line
    int line = 0;         // 1-based line of its first line
    int goal = -1;        // limit statement: index in statements of the goal statement it belongs to
};

class NetlistDesign
{
public:
    // Whether a design file path names a netlist design (by extension, case ignored).
    static bool isNetlistPath(const QString &path);
    // Reads a netlist design. fileName is used in messages only ("lowpass.cir:12: ...").
    // On failure error holds "FILE:LINE: what was wrong and what was expected".
    static bool read(const QByteArray &bytes, const QString &fileName, NetlistDesign &design, QString *error);

    // The design in the JSON design file's shape ("title", "circuit",
    // "analysis", "variables", "goals", "algorithm").
    QJsonObject root;
    QList<NetlistStatement> statements;  // in file order
    QList<int> circuitLines;             // the file line of each "circuit" entry
    QByteArray lineEnd = "\n";           // the file's line end ("\r\n" when its first line has one)
    QString fileName;

    // "FILE:LINE" for a JSON path of root ("variables[2].constraint.params[1]"):
    // the line of the statement that holds the longest known prefix of the
    // path; just "FILE" when none is known.
    QString placeOf(const QString &jsonPath) const;
    // A message of the JSON reader ("PATH: text") with its path replaced by
    // the place in the file ("FILE:LINE: text").
    QString placed(const QString &jsonMessage) const;

private:
    QHash<QString, int> m_pathLines;  // "title", "circuit[3]", "variables[2]", "goals[0].limits[1]", "algorithm", "analysis"
};
