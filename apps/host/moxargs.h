#pragma once

// Small helpers for the host's MOX functions: reading call arguments and
// making results, each releasing every handle it takes.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class MoxInterpreter;
struct MoxArgs;
struct MoxValue;

class MoxArgReader
{
public:
    MoxArgReader(MoxInterpreter *mox, const MoxArgs *args) : m_mox(mox), m_args(args) {}

    std::optional<QByteArray> text(int index) const;
    std::optional<qint64> integer(int index) const;
    // TRUE/FALSE, or an integer (non-zero is true).
    std::optional<bool> flag(int index) const;
    // A function reference (a new handle the caller owns), or null.
    MoxValue *function(int index) const;

private:
    MoxInterpreter *m_mox;
    const MoxArgs *m_args;
};

namespace moxvalues {

MoxValue *string(MoxInterpreter *mox, const QString &text);
MoxValue *boolean(MoxInterpreter *mox, bool value);
MoxValue *stringList(MoxInterpreter *mox, const QStringList &texts);

// Reading values handed back by evaluate (the value is not released).
std::optional<QByteArray> text(MoxInterpreter *mox, const MoxValue *value);
std::optional<qint64> integer(MoxInterpreter *mox, const MoxValue *value);

} // namespace moxvalues
