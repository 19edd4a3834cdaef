#include "optimparameterinfo.h"

#include "hostifc/moxifc.h"

MoxValue *optimMakeParameterInfo(MoxIFC *mox, const OptimParameterInfo &info)
{
    QList<MoxValue *> items{mox->makeString(info.itemName.toUtf8())};
    for (const OptimParameterEntry &entry : info.entries) {
        QList<MoxValue *> values;
        for (const QString &value : entry.values)
            values.append(mox->makeString(value.toUtf8()));
        items.append(mox->makeList({mox->makeString(entry.name.toUtf8()), mox->makeInteger(entry.values.size()),
                                    mox->makeList(values)}));
    }
    return mox->makeList(items);
}

OptimMoxHold::~OptimMoxHold()
{
    m_mox->release(m_value);
}

OptimMoxHold OptimMoxHold::element(int index) const
{
    return OptimMoxHold(m_mox, m_value ? m_mox->listElement(m_value, index) : nullptr);
}

int OptimMoxHold::size() const
{
    return m_value ? m_mox->listSize(m_value) : -1;
}

bool OptimMoxHold::text(QString &out) const
{
    if (!m_value)
        return false;
    QByteArray bytes;
    if (!m_mox->readText(m_value, bytes))
        return false;
    out = QString::fromUtf8(bytes);
    return true;
}

bool OptimMoxHold::integer(qint64 &out) const
{
    return m_value && m_mox->readInt(m_value, out);
}
