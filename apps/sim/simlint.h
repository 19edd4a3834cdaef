#pragma once

// Checks of a design's circuit before it is simulated, and the model files
// its .include and .lib lines may read.
//
// The lint reads the circuit lines as ngspice does (a "+" line continues the
// one before, "*" lines and ";" or " $" tails are comments, names are
// case-insensitive) and finds what makes results meaningless or a run
// impossible, naming the line's place ("circuit[3]", "lowpass.cir:12"):
//
//   error    a node connected to one element terminal only (a typo such as
//            "L2 inn n2"); a node or group of nodes connected to ground
//            through nothing at all (ngspice stops on a singular matrix); a
//            name in a brace expression that nothing defines; an element
//            with too few nodes; an X instance whose connections do not
//            match its subcircuit's ports
//   warning  a node or group with no DC path to ground (only capacitors or
//            current sources reach it: ngspice simulates it, but its DC
//            level is undefined); a variable or fixed parameter that nothing
//            uses; a node connected only to one pin of a subcircuit
//
// A .subckt body is checked on its own, its ports and global nodes counting
// as connections to the outside. The test bench the simulator adds (nodes
// with the hd_ prefix) is not the user's; the ports of the analysis count
// as connections to ground (their Z0 resistors).

#include "simdesign.h"

#include <QList>
#include <QString>

struct SimLintFinding
{
    enum Severity { Warning, Error };
    Severity severity = Warning;
    QString place;    // the circuit line's place; empty for the design as a whole
    QString message;

    QString text() const { return place.isEmpty() ? message : place + QStringLiteral(": ") + message; }
    bool operator==(const SimLintFinding &) const = default;
};

class SimLint
{
public:
    // Every finding, errors and warnings in the order of the circuit's lines.
    static QList<SimLintFinding> check(const SimDesign &design);

    // Whether a circuit line is an .include, .inc or .lib line.
    static bool isIncludeLine(const QString &line);
    // Why an .include or .lib line cannot go to ngspice, or an empty text
    // when it can: its file must be named by a relative path that stays in
    // the design's folder (links resolved) and be a regular file, whose
    // lines follow the circuit's rules (no control blocks, analyses or
    // further files). resolved then receives the line ngspice reads: the
    // file's absolute path, quoted, since ngspice resolves relative paths
    // against its own working folder. An empty folder (a design not read
    // from a file) refuses every include.
    static QString includeProblem(const QString &line, const QString &folder, QString *resolved);
};
