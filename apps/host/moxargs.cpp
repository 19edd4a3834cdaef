#include "moxargs.h"

#include "mox/moxinterpreter.h"

std::optional<QByteArray> MoxArgReader::text(int index) const
{
    MoxValue *value = nullptr;
    if (!m_mox->argumentAs(m_args, index, m_mox->stringType(), value))
        return std::nullopt;
    QByteArray out;
    const bool ok = m_mox->readText(value, out);
    m_mox->release(value);
    return ok ? std::optional<QByteArray>(out) : std::nullopt;
}

std::optional<qint64> MoxArgReader::integer(int index) const
{
    MoxValue *value = nullptr;
    if (!m_mox->argumentAs(m_args, index, m_mox->integerType(), value))
        return std::nullopt;
    qint64 out = 0;
    const bool ok = m_mox->readInt(value, out);
    m_mox->release(value);
    return ok ? std::optional<qint64>(out) : std::nullopt;
}

std::optional<bool> MoxArgReader::flag(int index) const
{
    MoxValue *value = nullptr;
    if (!m_mox->argumentAs(m_args, index, m_mox->boolType(), value))
        return std::nullopt;
    bool out = false;
    const bool ok = m_mox->readBool(value, out);
    m_mox->release(value);
    return ok ? std::optional<bool>(out) : std::nullopt;
}

MoxValue *MoxArgReader::function(int index) const
{
    MoxValue *value = nullptr;
    if (m_mox->argumentType(m_args, index) != m_mox->functionType())
        return nullptr;
    if (!m_mox->argumentAs(m_args, index, m_mox->functionType(), value))
        return nullptr;
    return value;
}

namespace moxvalues {

MoxValue *string(MoxInterpreter *mox, const QString &text)
{
    return mox->makeString(text.toUtf8());
}

MoxValue *boolean(MoxInterpreter *mox, bool value)
{
    return value ? mox->makeTrue() : mox->makeFalse();
}

MoxValue *stringList(MoxInterpreter *mox, const QStringList &texts)
{
    QList<MoxValue *> elements;
    for (const QString &t : texts)
        elements.append(string(mox, t));
    return mox->makeList(elements);
}

std::optional<QByteArray> text(MoxInterpreter *mox, const MoxValue *value)
{
    QByteArray out;
    if (!value || !mox->readText(value, out))
        return std::nullopt;
    return out;
}

std::optional<qint64> integer(MoxInterpreter *mox, const MoxValue *value)
{
    qint64 out = 0;
    if (!value || !mox->readInt(value, out))
        return std::nullopt;
    return out;
}

} // namespace moxvalues
