#include "optimhostcalls.h"

#include "hostifc/moxifc.h"

#include <QDir>

bool OptimHostCalls::run(const QByteArray &callText) const
{
    if (!m_mox)
        return false;
    MoxValue *value = m_mox->evaluate("CmdOp", callText);
    if (!value)
        return false;
    m_mox->release(value);
    return true;
}

QByteArray OptimHostCalls::stringResult(const QByteArray &callText) const
{
    if (!m_mox)
        return {};
    MoxValue *value = m_mox->evaluate("CmdOp", callText);
    QByteArray text;
    if (value && m_mox->typeOf(value) == m_mox->stringType())
        m_mox->readText(value, text);
    m_mox->release(value);
    return text;
}

bool OptimHostCalls::hasWord(const QByteArray &word) const
{
    return run("find_word(" + quoted(word) + ")");
}

QByteArray OptimHostCalls::quoted(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out.append('"');
    for (char c : text) {
        if (c == '"' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    out.append('"');
    return out;
}

QByteArray OptimHostCalls::currentTopDesignName() const
{
    const QByteArray name = stringResult("desim_getDesimCurrFgndTopDesignName()");
    return QDir::fromNativeSeparators(QString::fromUtf8(name)).toUtf8();
}
