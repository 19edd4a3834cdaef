#pragma once

// Back annotation into a netlist design's text: the helmdeck statements of
// the items that changed are replaced by the texts the helmdeck hands out,
// and every other byte of the file (comments, blank lines, circuit lines,
// line ends) stays as it is.

#include "designfile/netlistdesign.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct NetlistEdit
{
    // Variable, Goal or Algorithm. A goal's edit replaces its statement and
    // the statements of its limits; a design has one algorithm statement,
    // which the algorithm's edit replaces whatever its name.
    NetlistStatement::Kind kind = NetlistStatement::Variable;
    QString name;     // a variable's netlist name (case ignored), a goal's name
    QByteArray text;  // the new statement(s): lines joined by "\n", no final line end
};

// Writes edits into text (the file as it is now, read as now). base and
// baseText are the reading and the bytes the edits were made against: every
// statement an edit replaces must hold in text the bytes it held there, else
// nothing is written and the answer is false (another program changed it).
// An item base has no statement for is appended at the end (false when text
// has one for it by now). Inserted lines end as the file's lines do.
bool spliceNetlist(const QByteArray &baseText, const NetlistDesign &base, const QByteArray &text,
                   const NetlistDesign &now, const QList<NetlistEdit> &edits, QByteArray &result);

// The fixed parameters a netlist's ".param NAME=VALUE ..." circuit lines
// define (continuation lines included), each with its value text as written,
// in order.
QList<QPair<QString, QString>> netlistParameters(const QStringList &circuitLines);
