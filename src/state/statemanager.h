#pragma once

// The optimization states the user stored in one helmdeck, as a four-column
// table ("Name", "Comment", "Error", "Timestamp") for the recall dialog.
// Storing copies the controller's current model; recalling emits the stored
// definitions, matched to the current optimization, for the controller to
// apply as user changes.
//
// The states live for the helmdeck's lifetime. When the design's name is
// known, a copy is kept in the design's file (savedstatesfile.h) after every
// store, and the states of an earlier session of the same design are offered
// again, marked as such.

#include "state/savedstatesfile.h"

#include "model/optimizationmodelobject.h"

#include <QAbstractTableModel>
#include <QMap>
#include <QPointer>
#include <QStringList>

class StateManager : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, CommentColumn, ErrorColumn, TimestampColumn, ColumnCount };

    explicit StateManager(QObject *parent = nullptr);

    // The model a store copies and a recall is matched to.
    void setCurrentModel(OptimizationModelObject *model);
    OptimizationModelObject *currentModel() const { return m_currentModel; }

    // Starts keeping the file copy for this design and offers the states of
    // its earlier sessions. Only the first non-empty name counts. A file that
    // cannot be read is moved aside and told through problemFound().
    void setDesignName(const QString &designName);
    QString designName() const { return m_designName; }
    QString statesFilePath() const { return m_filePath; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Orders the rows by the column's value; equal values newest first.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Stores a copy of the current model under name (replacing a state of
    // that name) and shows the newest first. False when there is no current
    // model to copy.
    bool storeState(const QString &name, const QString &comment);
    bool hasState(const QString &name) const { return m_states.contains(name); }
    const SavedState *stateAt(int row) const;
    int rowOf(const QString &name) const { return m_rowOrder.indexOf(name); }

    // "State" and nextDefaultNumber, at least two digits, skipping names
    // that are taken.
    QString defaultStateName();
    int nextDefaultNumber() const { return m_nextDefaultNumber; }
    void incrementDefaultNumber() { ++m_nextDefaultNumber; }

    // Whether some stored state holds the current definitions.
    bool currentStateIsSaved() const;

    // Emits modelInputReplaced with the definitions of the state in row,
    // matched to the current optimization, then stateWasRecalled(). leftOut
    // receives one line per goal or variable that could not be matched.
    // False (and nothing emitted) for a row or model that is not there.
    bool recallRow(int row, QStringList *leftOut = nullptr);

    // The current definitions with the stored algorithm type and iteration
    // limit (the name stays the current optimization's) and every stored
    // goal (by name) and variable (by netlist name) that the current
    // optimization has, in the current order and count; design links that
    // are not part of the record text stay the current ones. Positions in a
    // design value list are found again by their listed texts
    // (SavedState::listedValues); a text no longer listed keeps the current
    // value and is named in leftOut.
    static OptimModelInput matchedInput(const OptimModelInput &stored, const OptimModelInput &current,
                                        QStringList *leftOut,
                                        const QMap<QString, QStringList> &listedValues = {});

Q_SIGNALS:
    void modelInputReplaced(const OptimModelInput &model);
    void stateWasRecalled();
    void helpRequested(const QString &topic);
    // The file copy could not be read, could not be written (told once
    // until a write succeeds again), or left older states out (told once).
    void problemFound(const QString &message);

private:
    QList<SavedState> statesNewestFirst() const;
    void writeFile();

    QMap<QString, SavedState> m_states;
    QStringList m_rowOrder;
    int m_nextDefaultNumber = 1;
    QPointer<OptimizationModelObject> m_currentModel;
    QString m_designName;
    QString m_filePath;
    bool m_writeProblemTold = false;
    bool m_leftOutTold = false;
};
