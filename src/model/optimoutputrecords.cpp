#include "optimoutputrecords.h"

#include <algorithm>

QString optimStatusText(int status)
{
    static const char *const texts[] = {"UNKNOWN", "INITIALIZING", "RUNNING", "PAUSED",
                                        "FINISHED", "EXITED", "EXITED_WITH_ERROR", "KILLED"};
    if (status < 0 || status > 7)
        return QString();
    return QString::fromLatin1(texts[status]);
}

void OptimTraceFamily::computeBounds() const
{
    // The null point marks "not computed"; a family whose true bounds are both
    // (0, 0) is simply computed again on every request.
    if (!m_minPoint.isNull() && !m_maxPoint.isNull())
        return;
    if (m_traces.isEmpty() || m_traces.first().pointCount() == 0)
        return;
    m_minPoint = m_maxPoint = m_traces.first().point(0);
    for (const OptimTrace &trace : m_traces) {
        for (qsizetype i = 0; i < trace.pointCount(); ++i) {
            const QPointF p = trace.point(i);
            m_minPoint.setX(std::min(m_minPoint.x(), p.x()));
            m_minPoint.setY(std::min(m_minPoint.y(), p.y()));
            m_maxPoint.setX(std::max(m_maxPoint.x(), p.x()));
            m_maxPoint.setY(std::max(m_maxPoint.y(), p.y()));
        }
    }
}

OPTIM_RECORD_SERIALIZATION_DEFINE(OptimAlgOutput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimAlgHistory)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimVarOutput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimVarHistory)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalLimitOutput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalLimitHistory)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimTraceValues)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimTraceVar)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimTrace)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimTraceFamily)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalOutput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimGoalHistory)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimModelOutput)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimModelHistory)

OPTIM_DEFINE_ITEM_LIST(OptimGoalHistory)
OPTIM_DEFINE_ITEM_LIST(OptimGoalLimitOutput)
OPTIM_DEFINE_ITEM_LIST(OptimGoalOutput)
OPTIM_DEFINE_ITEM_LIST(OptimTrace)
OPTIM_DEFINE_ITEM_LIST(OptimTraceVar)
OPTIM_DEFINE_ITEM_LIST(OptimVarHistory)
OPTIM_DEFINE_ITEM_LIST(OptimVarOutput)
