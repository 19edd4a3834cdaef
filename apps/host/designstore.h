#pragma once

// The design the host has open: the design file (JSON, the format helmdeck-sim
// reads; examples/lowpass.json) held as a JSON object so that everything the
// host does not touch is written back as it was read. It answers the
// helmdeck's design questions and takes the definitions of a back annotation.

#include "backannotation.h"

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
    // Writes the design back to its file (atomically).
    bool save(QString *error);

    bool isOpen() const { return m_open; }
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
    // A variable's value text; empty when there is no such variable.
    QString variableValue(const QString &netlistName) const;
    // A goal of the design as a definition (for the goal editor); false when absent.
    bool goalDefinition(const QString &name, GoalDefinition &goal) const;

    // Back annotation: each writes into the held design (not the file) and
    // emits changed().
    bool applyVariable(const VariableLine &variable, QString *error);
    bool applyGoal(const GoalDefinition &goal, QString *error);
    bool applyAlgorithm(const AlgorithmDefinition &algorithm, QString *error);

    // Texts for the host window's tables.
    static QString constraintText(const QJsonObject &variable);
    static QString limitsText(const QJsonObject &goal);

Q_SIGNALS:
    void changed();

private:
    int variableIndex(const QString &netlistName) const;
    int goalIndex(const QString &name) const;

    bool m_open = false;
    QString m_path;
    QJsonObject m_root;
};
