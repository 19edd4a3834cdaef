#pragma once

// What the optimizer reports per iteration (outputs) and what accumulates over
// the iterations (histories). Numbers are carried as texts, except trace
// data, which travels as vectors of doubles with six significant digits. The
// histories keep their texts compactly (OptimHistoryValues) and travel as
// string lists.

#include "optimhistoryvalues.h"
#include "optiminputrecords.h"
#include "optimitemlist.h"
#include "optimserialization.h"

#include <QPointF>

enum OptimStatusCode {
    StatusUnknown = 0,
    StatusInitializing = 1,
    StatusRunning = 2,
    StatusPaused = 3,
    StatusFinished = 4,
    StatusExited = 5,
    StatusExitedWithError = 6,
    StatusKilled = 7,
};

// "UNKNOWN" ... "KILLED"; empty for any other code.
QString optimStatusText(int status);
// EXITED_WITH_ERROR and KILLED are never left once reached.
inline bool optimStatusIsTerminal(int status)
{
    return status == StatusExitedWithError || status == StatusKilled;
}
// PAUSED and FINISHED: the optimizer stands still and waits for a command,
// so the definitions may be edited.
inline bool optimStatusIsPaused(int status)
{
    return status == StatusPaused || status == StatusFinished;
}

class OptimAlgOutput : public OptimSerializationIFC
{
public:
    OptimAlgOutput() : OptimSerializationIFC("ALG_OUTPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimAlgOutput)

    int status() const { return m_status; }
    void setStatus(int status) { m_status = status; }
    bool simulationOk() const { return m_simulationOk; }
    void setSimulationOk(bool ok) { m_simulationOk = ok; }
    bool isBestError() const { return m_isBestError; }
    void setIsBestError(bool best) { m_isBestError = best; }
    const QString &stoppingReason() const { return m_stoppingReason; }
    void setStoppingReason(const QString &text) { m_stoppingReason = text; }
    const QString &errorText() const { return m_errorText; }
    void setErrorText(const QString &text) { m_errorText = text; }
    const QString &iterationText() const { return m_iterationText; }
    void setIterationText(const QString &text) { m_iterationText = text; }
    const QString &errorDetail() const { return m_errorDetail; }
    void setErrorDetail(const QString &text) { m_errorDetail = text; }
    const QString &extraText() const { return m_extraText; }
    void setExtraText(const QString &text) { m_extraText = text; }
    const QString &maxIterationsText() const { return m_maxIterationsText; }
    void setMaxIterationsText(const QString &text) { m_maxIterationsText = text; }

    bool operator==(const OptimAlgOutput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_status);
        io.field(self.m_simulationOk);
        io.field(self.m_isBestError);
        io.field(self.m_stoppingReason);
        io.field(self.m_errorText);
        io.field(self.m_iterationText);
        io.field(self.m_errorDetail);
        io.field(self.m_extraText);
        io.field(self.m_maxIterationsText);
    }

private:
    int m_status = StatusUnknown;
    bool m_simulationOk = true;
    bool m_isBestError = false;
    QString m_stoppingReason;
    QString m_errorText;
    QString m_iterationText;
    QString m_errorDetail;
    QString m_extraText;
    QString m_maxIterationsText;
};

// A record holding one history of texts ("values"), the error per iteration.
class OptimAlgHistory : public OptimSerializationIFC
{
public:
    OptimAlgHistory() : OptimSerializationIFC("ALG_HIST") {}
    OPTIM_RECORD_SERIALIZATION(OptimAlgHistory)

    const OptimHistoryValues &values() const { return m_values; }
    OptimHistoryValues &values() { return m_values; }
    bool isEmpty() const { return m_values.isEmpty(); }

    bool operator==(const OptimAlgHistory &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io) { io.field(self.m_values); }

private:
    OptimHistoryValues m_values;
};

class OptimVarOutput : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_VAR_OUTPUTS";
    OptimVarOutput() : OptimSerializationIFC("VAR_OUTPUT") {}
    explicit OptimVarOutput(const QString &value) : OptimSerializationIFC("VAR_OUTPUT"), m_value(value) {}
    OPTIM_RECORD_SERIALIZATION(OptimVarOutput)

    const QString &value() const { return m_value; }
    void setValue(const QString &value) { m_value = value; }

    bool operator==(const OptimVarOutput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io) { io.field(self.m_value); }

private:
    QString m_value;
};
OPTIM_EXTERN_ITEM_LIST(OptimVarOutput)

class OptimVarHistory : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_VAR_HISTORIES";
    OptimVarHistory() : OptimSerializationIFC("VAR_HIST") {}
    OPTIM_RECORD_SERIALIZATION(OptimVarHistory)

    const OptimHistoryValues &values() const { return m_values; }
    OptimHistoryValues &values() { return m_values; }
    const QString &valueBeforeTuning() const { return m_valueBeforeTuning; }
    void setValueBeforeTuning(const QString &value) { m_valueBeforeTuning = value; }

    bool operator==(const OptimVarHistory &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_values);
        io.field(self.m_valueBeforeTuning);
    }

private:
    OptimHistoryValues m_values;
    QString m_valueBeforeTuning;
};
OPTIM_EXTERN_ITEM_LIST(OptimVarHistory)

class OptimGoalLimitOutput : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_LIMIT_OUTPUTS";
    OptimGoalLimitOutput() : OptimSerializationIFC("GOAL_LIMIT_OUTPUT") {}
    explicit OptimGoalLimitOutput(const QString &value) : OptimSerializationIFC("GOAL_LIMIT_OUTPUT"), m_value(value) {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalLimitOutput)

    const QString &value() const { return m_value; }
    void setValue(const QString &value) { m_value = value; }

    bool operator==(const OptimGoalLimitOutput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io) { io.field(self.m_value); }

private:
    QString m_value;
};
OPTIM_EXTERN_ITEM_LIST(OptimGoalLimitOutput)

class OptimGoalLimitHistory : public OptimSerializationIFC
{
public:
    OptimGoalLimitHistory() : OptimSerializationIFC("GOAL_LIMIT_HISTORY") {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalLimitHistory)

    const QStringList &values() const { return m_values; }
    QStringList &values() { return m_values; }

    bool operator==(const OptimGoalLimitHistory &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io) { io.field(self.m_values); }

private:
    QStringList m_values;
};

class OptimTraceValues : public OptimSerializationIFC
{
public:
    OptimTraceValues() : OptimSerializationIFC("TRACE_VALUES") {}
    OptimTraceValues(std::initializer_list<double> values) : OptimSerializationIFC("TRACE_VALUES"), m_values(values) {}
    explicit OptimTraceValues(const QList<double> &values) : OptimSerializationIFC("TRACE_VALUES"), m_values(values) {}
    OPTIM_RECORD_SERIALIZATION(OptimTraceValues)

    const QList<double> &values() const { return m_values; }
    QList<double> &values() { return m_values; }
    qsizetype size() const { return m_values.size(); }
    bool isEmpty() const { return m_values.isEmpty(); }
    double at(qsizetype i) const { return m_values.at(i); }

    bool operator==(const OptimTraceValues &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io) { io.field(self.m_values); }

private:
    QList<double> m_values;
};

class OptimTraceVar : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_TRACE_INDEP_VARS";
    OptimTraceVar() : OptimSerializationIFC("GOAL_TRACE_INDEP_VAR") {}
    OptimTraceVar(const QString &name, const QString &text)
        : OptimSerializationIFC("GOAL_TRACE_INDEP_VAR"), m_name(name), m_text(text) {}
    OPTIM_RECORD_SERIALIZATION(OptimTraceVar)

    const QString &name() const { return m_name; }
    const QString &text() const { return m_text; }

    bool operator==(const OptimTraceVar &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_name);
        io.field(self.m_text);
    }

private:
    QString m_name;
    QString m_text;
};
OPTIM_EXTERN_ITEM_LIST(OptimTraceVar)

class OptimTrace : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_TRACES";
    OptimTrace() : OptimSerializationIFC("GOAL_TRACE") {}
    OPTIM_RECORD_SERIALIZATION(OptimTrace)

    bool flag() const { return m_flag; }
    void setFlag(bool flag) { m_flag = flag; }
    const OptimTraceValues &xValues() const { return m_xValues; }
    OptimTraceValues &xValues() { return m_xValues; }
    const OptimTraceValues &auxValues() const { return m_auxValues; }
    OptimTraceValues &auxValues() { return m_auxValues; }
    const OptimTraceValues &yValues() const { return m_yValues; }
    OptimTraceValues &yValues() { return m_yValues; }
    QPointF point(qsizetype i) const { return QPointF(m_xValues.at(i), m_yValues.at(i)); }
    // Points that have both coordinates.
    qsizetype pointCount() const { return qMin(m_xValues.size(), m_yValues.size()); }

    bool operator==(const OptimTrace &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_flag);
        io.field(self.m_xValues);
        io.field(self.m_auxValues);
        io.field(self.m_yValues);
    }

private:
    bool m_flag = false;
    OptimTraceValues m_xValues;
    OptimTraceValues m_auxValues;
    OptimTraceValues m_yValues;
};
OPTIM_EXTERN_ITEM_LIST(OptimTrace)

class OptimTraceFamily : public OptimSerializationIFC
{
public:
    OptimTraceFamily() : OptimSerializationIFC("GOAL_TRACES") {}
    OPTIM_RECORD_SERIALIZATION(OptimTraceFamily)

    const OptimTraceVar &indepVar() const { return m_indepVar; }
    void setIndepVar(const OptimTraceVar &var) { m_indepVar = var; }
    const OptimItemList<OptimTraceVar> &otherIndepVars() const { return m_otherIndepVars; }
    OptimItemList<OptimTraceVar> &otherIndepVars() { return m_otherIndepVars; }
    bool flag() const { return m_flag; }
    void setFlag(bool flag) { m_flag = flag; }
    const OptimTraceValues &sweepValues() const { return m_sweepValues; }
    OptimTraceValues &sweepValues() { return m_sweepValues; }
    const OptimItemList<OptimTrace> &traces() const { return m_traces; }
    // Changing the traces drops the cached bounds.
    OptimItemList<OptimTrace> &traces() { invalidateBounds(); return m_traces; }

    qsizetype traceCount() const { return m_traces.count(); }
    const OptimTrace &trace(qsizetype i) const { return m_traces.at(i); }
    bool isEmpty() const { return m_otherIndepVars.isEmpty() && m_traces.isEmpty(); }
    void clear() { *this = OptimTraceFamily(); }

    // Smallest and largest x and y over all points, cached once computed.
    QPointF minPoint() const { computeBounds(); return m_minPoint; }
    QPointF maxPoint() const { computeBounds(); return m_maxPoint; }

    // Compares what travels; the cached bounds do not count.
    bool operator==(const OptimTraceFamily &other) const
    {
        return m_indepVar == other.m_indepVar && m_otherIndepVars == other.m_otherIndepVars
            && m_flag == other.m_flag && m_sweepValues == other.m_sweepValues && m_traces == other.m_traces;
    }

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_indepVar);
        io.field(self.m_otherIndepVars);
        io.field(self.m_flag);
        io.field(self.m_sweepValues);
        io.field(self.m_traces);
    }

private:
    void computeBounds() const;
    void invalidateBounds() { m_minPoint = m_maxPoint = QPointF(); }

    OptimTraceVar m_indepVar;
    OptimItemList<OptimTraceVar> m_otherIndepVars;
    bool m_flag = false;
    OptimTraceValues m_sweepValues;
    OptimItemList<OptimTrace> m_traces;
    mutable QPointF m_minPoint;
    mutable QPointF m_maxPoint;
};

class OptimGoalOutput : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_OUTPUTS";
    OptimGoalOutput() : OptimSerializationIFC("GOAL_OUTPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalOutput)

    const QString &valueText() const { return m_valueText; }
    void setValueText(const QString &text) { m_valueText = text; }
    const QString &errorContribution() const { return m_errorContribution; }
    void setErrorContribution(const QString &text) { m_errorContribution = text; }
    const OptimTraceFamily &traces() const { return m_traces; }
    OptimTraceFamily &traces() { return m_traces; }
    void setTraces(const OptimTraceFamily &traces) { m_traces = traces; }
    const OptimItemList<OptimGoalLimitOutput> &limitOutputs() const { return m_limitOutputs; }
    OptimItemList<OptimGoalLimitOutput> &limitOutputs() { return m_limitOutputs; }

    bool operator==(const OptimGoalOutput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_valueText);
        io.field(self.m_errorContribution);
        io.field(self.m_traces);
        io.field(self.m_limitOutputs);
    }

private:
    QString m_valueText;
    QString m_errorContribution;
    OptimTraceFamily m_traces;
    OptimItemList<OptimGoalLimitOutput> m_limitOutputs;
};
OPTIM_EXTERN_ITEM_LIST(OptimGoalOutput)

class OptimGoalHistory : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_HISTORIES";
    OptimGoalHistory() : OptimSerializationIFC("GOAL_HISTORY") {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalHistory)

    const OptimHistoryValues &values() const { return m_values; }
    OptimHistoryValues &values() { return m_values; }
    const OptimTraceFamily &initialTraces() const { return m_initialTraces; }
    void setInitialTraces(const OptimTraceFamily &traces) { m_initialTraces = traces; }
    const OptimTraceFamily &tracesBeforeTuning() const { return m_tracesBeforeTuning; }
    void setTracesBeforeTuning(const OptimTraceFamily &traces) { m_tracesBeforeTuning = traces; }

    bool operator==(const OptimGoalHistory &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_values);
        io.field(self.m_initialTraces);
        io.field(self.m_tracesBeforeTuning);
    }

private:
    OptimHistoryValues m_values;
    OptimTraceFamily m_initialTraces;
    OptimTraceFamily m_tracesBeforeTuning;
};
OPTIM_EXTERN_ITEM_LIST(OptimGoalHistory)

class OptimModelOutput : public OptimSerializationIFC
{
public:
    OptimModelOutput() : OptimSerializationIFC("OPTIM_MODEL_OUTPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimModelOutput)

    const OptimAlgOutput &algorithm() const { return m_algorithm; }
    OptimAlgOutput &algorithm() { return m_algorithm; }
    const OptimItemList<OptimGoalOutput> &goals() const { return m_goals; }
    OptimItemList<OptimGoalOutput> &goals() { return m_goals; }
    const OptimItemList<OptimVarOutput> &variables() const { return m_variables; }
    OptimItemList<OptimVarOutput> &variables() { return m_variables; }

    bool isEmpty() const { return m_algorithm.status() == 0 && m_goals.isEmpty() && m_variables.isEmpty(); }

    bool operator==(const OptimModelOutput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_algorithm);
        io.field(self.m_goals);
        io.field(self.m_variables);
    }

private:
    OptimAlgOutput m_algorithm;
    OptimItemList<OptimGoalOutput> m_goals;
    OptimItemList<OptimVarOutput> m_variables;
};

class OptimModelHistory : public OptimSerializationIFC
{
public:
    OptimModelHistory() : OptimSerializationIFC("OPTIM_MODEL_HISTORY") {}
    OPTIM_RECORD_SERIALIZATION(OptimModelHistory)

    const OptimAlgHistory &algorithm() const { return m_algorithm; }
    OptimAlgHistory &algorithm() { return m_algorithm; }
    const OptimItemList<OptimGoalHistory> &goals() const { return m_goals; }
    OptimItemList<OptimGoalHistory> &goals() { return m_goals; }
    const OptimItemList<OptimVarHistory> &variables() const { return m_variables; }
    OptimItemList<OptimVarHistory> &variables() { return m_variables; }

    bool isEmpty() const { return m_algorithm.isEmpty() && m_goals.isEmpty() && m_variables.isEmpty(); }

    bool operator==(const OptimModelHistory &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_algorithm);
        io.field(self.m_goals);
        io.field(self.m_variables);
    }

private:
    OptimAlgHistory m_algorithm;
    OptimItemList<OptimGoalHistory> m_goals;
    OptimItemList<OptimVarHistory> m_variables;
};
