#pragma once

// The history of one optimization as comma-separated values: a header row,
// then one row per iteration (0 is the starting point) with the error, each
// goal's value and each variable's value. Values are numbers a spreadsheet
// reads: a text with a unit or suffix ("5 pF") is written in base units
// (5e-12) as the shortest text that reads back to the same double, so
// nothing is lost by rounding; the header names each variable's base unit.
// A text that is no number is written as it stands.
// Fields follow RFC 4180: a field holding a comma, a double quote or a line
// break is quoted with its quotes doubled; rows end in CR LF; the text is
// UTF-8. A history shorter than the others gives empty fields.

#include <QByteArray>
#include <QString>

class HelmdeckQuestions;
class OptimizationModel;
class OptimizationModelObject;
class QIODevice;

namespace HistoryCsv {

// The whole text (for small histories and tests).
QByteArray text(const OptimizationModel &model);
// Writes the text to device in pieces; false (with *problem) when a write
// failed.
bool write(const OptimizationModel &model, QIODevice *device, QString *problem = nullptr);
// Writes to the file at path atomically: the file is replaced only when
// every byte was written. false with *problem when it could not be.
bool save(const OptimizationModel &model, const QString &path, QString *problem = nullptr);
// The number of iterations the history holds (its longest list).
qsizetype iterationCount(const OptimizationModel &model);

// "Export History...": asks for a file name over the window and writes the
// history of model there, telling the user when it could not be written.
// The model may go away while the question is open; then nothing is written.
void exportHistory(HelmdeckQuestions *questions, OptimizationModelObject *model);

} // namespace HistoryCsv
