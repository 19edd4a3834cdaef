#pragma once

// The parameter-information list, the form in which goals and the
// algorithm travel between the helmdeck and the host. As the helmdeck hands
// it out: list(NAME, list(KEY, COUNT, list(VALUE...)), ...).

#include <QList>
#include <QString>
#include <QStringList>

class MoxIFC;
struct MoxValue;

struct OptimParameterEntry
{
    QString name;
    QStringList values;

    bool operator==(const OptimParameterEntry &) const = default;
};

struct OptimParameterInfo
{
    QString itemName;
    QList<OptimParameterEntry> entries;

    bool operator==(const OptimParameterInfo &) const = default;
};

// The list as a new MOX value (texts in UTF-8), for the host to take.
MoxValue *optimMakeParameterInfo(MoxIFC *mox, const OptimParameterInfo &info);

// Holds a MOX value and releases it when it goes out of scope.
class OptimMoxHold
{
public:
    OptimMoxHold(MoxIFC *mox, MoxValue *value) : m_mox(mox), m_value(value) {}
    ~OptimMoxHold();
    OptimMoxHold(const OptimMoxHold &) = delete;
    OptimMoxHold &operator=(const OptimMoxHold &) = delete;

    MoxValue *get() const { return m_value; }
    // Element index of the held list as a new hold (null when missing).
    OptimMoxHold element(int index) const;
    int size() const;
    // A string value's text (UTF-8); false for any other kind.
    bool text(QString &out) const;
    bool integer(qint64 &out) const;

private:
    MoxIFC *m_mox;
    MoxValue *m_value;
};
