#pragma once

// The copy of a helmdeck's stored optimization states on disk, so that a
// good point survives a crash or a closed helmdeck. One file per design, in
// the folder of the helmdeck's settings file, written in the record text the
// simulator link uses, with texts as UTF-8. A file only ever feeds the states
// list of a helmdeck opened on the same design; a damaged, foreign or
// oversized file is read as nothing and reported, never half-applied.
// Several helmdecks may keep one design's file: each store merges the file's
// states under a lock file before it replaces the file.

#include "model/optimizationmodel.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// One stored optimization state.
struct SavedState
{
    QString name;
    QString comment;
    QDateTime timestamp;  // local date and time of storing
    OptimizationModel model;
    // Discrete variables keep positions in their design value list; the
    // listed texts at the stored value, minimum and maximum positions (by
    // netlist name; an empty text for a position outside the list) let a
    // recall find them again after the list changed.
    QMap<QString, QStringList> listedValues = {};
    bool fromEarlierSession = false;  // read from the design's file at opening
    quint64 storeNumber = 0;          // order of storing in this helmdeck (newest highest)
};

namespace SavedStatesFile {

// Files never grow beyond this; the oldest states are left out of the file
// (they stay in memory) when the newer ones fill it.
constexpr qint64 maxFileBytes = 1024 * 1024;

// <folder of the settings file>/ZEB-saved-states
QString folder();
// The file of one design: its name made safe for a file name, shortened,
// plus a hash of the full name so that similar names do not share a file.
QString pathFor(const QString &designName);

// What is written for a state: the definitions and the latest algorithm
// state (the Error column); goal traces, variable outputs and histories stay
// in memory only.
OptimizationModel modelToKeep(const OptimizationModel &model);

// The listed texts of the discrete variables of input (see SavedState).
QMap<QString, QStringList> listedValuesOf(const OptimModelInput &input);

// The file text: the states in the given order, as many as fit in maxBytes;
// kept receives how many that is.
QByteArray fileText(const QString &designName, const QList<SavedState> &states, qint64 maxBytes = maxFileBytes,
                    qsizetype *kept = nullptr);

struct ReadResult
{
    QList<SavedState> states;  // marked fromEarlierSession
    QString problem;            // empty when the file read cleanly or does not exist
};
ReadResult read(const QString &path, const QString &designName);

struct WriteResult
{
    bool written = false;
    QString error;            // why the file was not replaced
    QStringList leftOut;      // names of the given states the size cap kept out of the file
    QString unreadableMovedTo;  // where a file that could no longer be read went
};
// Under the lock file <path>.lock: reads the file, adds its states whose
// names the given states lack or that are newer (another helmdeck's stores),
// and replaces the file atomically with the newest that fit. Every write is
// checked; on failure the previous file stays as it was.
WriteResult write(const QString &path, const QString &designName, const QList<SavedState> &states);

// Moves an unreadable file out of the way (replacing an older one moved
// there) and answers where it went, or an empty text when it could not.
QString setAside(const QString &path);

} // namespace SavedStatesFile
