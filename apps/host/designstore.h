#pragma once

// The design the host has open: the design file (JSON, the format helmdeck-sim
// reads; examples/lowpass.json, or a netlist design, examples/lowpass.cir,
// read into the same JSON object) held as a JSON object together with the
// bytes it was read from. It answers the helmdeck's design questions and
// takes the definitions of a back annotation.
//
// Saving edits the file's text in place: only the values that changed are
// spliced into it, so key order, layout and every untouched value keep their
// bytes, and a changed value is written in the style of the one it replaces
// ("8 pF" where the file had "5 pF"). A file that another program changed
// since it was read gets the changes merged in when they do not touch what
// that program changed, and is refused otherwise. The write is checked and
// atomic; on any failure the file stays as it is and the store holds what
// the file holds.
//
// A netlist design is saved the same way, statement by statement: the
// helmdeck statement of each item whose definition changed is replaced by the
// text the helmdeck handed out for it (a variable's line, a goal's netlist
// text, the algorithm's statement), and nothing else in the file changes.

#include "backannotation.h"
#include "designfile/netlistdesign.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

class DesignStore : public QObject
{
    Q_OBJECT

public:
    struct ParameterInformation
    {
        bool found = false;
        QString name;
        QString unit;
        QStringList values;
    };

    explicit DesignStore(QObject *parent = nullptr);

    bool load(const QString &path, QString *error);
    void close();
    // Writes the changes made through the apply functions into the file
    // (checked, atomically). On failure error says why, the file keeps its
    // bytes and the held design is the file's again.
    bool save(QString *error);

    bool isOpen() const { return m_open; }
    // Whether the open design is a netlist design (.cir, .sp, .net).
    bool isNetlist() const { return m_open && m_isNetlist; }
    QString filePath() const { return m_path; }
    // The name the host gives the design: its file's absolute path.
    QString designName() const { return m_open ? m_path : QString(); }
    // Whether a name the helmdeck passes means this design (its path, or the
    // file name without extension).
    bool isDesignName(const QString &name) const;
    QString title() const;

    QJsonObject root() const { return m_root; }
    QJsonArray variables() const;
    QJsonArray goals() const;
    QJsonObject algorithm() const;

    // A variable (by netlist name) or a fixed parameter of the design.
    ParameterInformation parameterInformation(const QString &netlistName) const;
    // Whether the design has an item of that name and type; goals are the
    // items this design format holds ("zeb_simulation:Goal" and its spellings).
    bool hasComponent(const QString &name, const QString &type) const;
    // A variable's or fixed parameter's value text; empty when there is none.
    QString variableValue(const QString &netlistName) const;
    // A goal of the design as a definition (for the goal editor); false when absent.
    // Without an "indepVar" the goal's analysis gives it: freq (ac, noise),
    // time (tran), the swept source (dc); a scalar (op, a meas goal) has none.
    bool goalDefinition(const QString &name, GoalDefinition &goal) const;
    // The analyses' objects: the "analyses" list, or the one "analysis".
    QJsonArray analyses() const;

    // Back annotation: each writes into the held design (not the file) and
    // emits changed(). An algorithm named like an entry of the design's
    // "sweep" goes into that entry, not over the design's own algorithm.
    // For a netlist design a variable brings its line (text) and a goal its
    // netlist text; the algorithm's statement is made from its definition.
    bool applyVariable(const VariableLine &variable, QString *error);
    bool applyGoal(const GoalDefinition &goal, QString *error);
    bool applyAlgorithm(const AlgorithmDefinition &algorithm, QString *error);

    // Texts for the host window's tables.
    static QString constraintText(const QJsonObject &variable);
    static QString limitsText(const QJsonObject &goal);

Q_SIGNALS:
    void changed();

private:
    // Holds root as the design and indexes its variables by netlist name.
    // Every change of the held design but a variable's value goes through it.
    void setRoot(const QJsonObject &root);
    static QString variableKey(const QString &netlistName);
    int variableIndex(const QString &netlistName) const;
    int goalIndex(const QString &name) const;

    // Takes bytes (a JSON object) as what the file holds.
    void adopt(const QByteArray &text, const QJsonObject &root);
    // Takes bytes (a netlist design) as what the file holds.
    void adoptNetlist(const QByteArray &text, const NetlistDesign &design);
    // save() of a netlist design, with disk what the file holds now.
    bool saveNetlist(const QByteArray &disk, QString *error);

    bool m_open = false;
    QString m_path;
    QJsonObject m_root;   // the held design, with changes not yet saved
    QJsonObject m_base;   // the design as m_text holds it
    QByteArray m_text;    // the file's bytes as last read or written
    QHash<QString, int> m_variableIndex;  // variableKey -> index in m_root's "variables"
    // variableKey -> fixed parameter's name and value text
    QHash<QString, QPair<QString, QString>> m_parameters;
    bool m_isNetlist = false;
    NetlistDesign m_netlist;  // a netlist design: how m_text reads
    // A netlist design's new statement texts: "v:" + variableKey, "g:" + goal name, "a".
    QHash<QString, QString> m_statements;
};
