#pragma once

// The messages exchanged with the optimizer while it runs. Each is a record
// whose tag is also its type word: the link names a message block by it and
// recognises incoming blocks by it.

#include "optiminputrecords.h"
#include "optimoutputrecords.h"

#include <QMetaType>

class OptimIterBase : public OptimSerializationIFC
{
public:
    explicit OptimIterBase(const char *typeWord) : OptimSerializationIFC(typeWord), m_messageType(typeWord) {}
    const char *messageType() const { return m_messageType; }

    bool operator==(const OptimIterBase &) const { return true; }

private:
    const char *m_messageType;
};

// Declares the class-wide type word of a message.
#define OPTIM_MESSAGE_TYPE(word)                                              \
    static const QByteArray &typeWord()                                       \
    {                                                                         \
        static const QByteArray w(word);                                      \
        return w;                                                             \
    }

class OptimStatus : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("STATUS")
    OptimStatus() : OptimIterBase("STATUS") {}
    OptimStatus(int status, const QString &message) : OptimIterBase("STATUS"), m_status(status), m_message(message) {}
    OPTIM_RECORD_SERIALIZATION(OptimStatus)

    int status() const { return m_status; }
    void setStatus(int status) { m_status = status; }
    const QString &message() const { return m_message; }
    void setMessage(const QString &message) { m_message = message; }

    bool operator==(const OptimStatus &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_status);
        io.field(self.m_message);
    }

private:
    int m_status = StatusUnknown;
    QString m_message;
};

class OptimIter : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("OPTIM_ITER")
    OptimIter() : OptimIterBase("OPTIM_ITER") {}
    OPTIM_RECORD_SERIALIZATION(OptimIter)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    const OptimAlgOutput &algorithm() const { return m_algorithm; }
    OptimAlgOutput &algorithm() { return m_algorithm; }
    const OptimItemList<OptimGoalOutput> &goals() const { return m_goals; }
    OptimItemList<OptimGoalOutput> &goals() { return m_goals; }
    const OptimItemList<OptimVarOutput> &variables() const { return m_variables; }
    OptimItemList<OptimVarOutput> &variables() { return m_variables; }

    bool operator==(const OptimIter &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_algorithm);
        io.field(self.m_goals);
        io.field(self.m_variables);
    }

private:
    long m_commandId = -1;
    OptimAlgOutput m_algorithm;
    OptimItemList<OptimGoalOutput> m_goals;
    OptimItemList<OptimVarOutput> m_variables;
};

class OptimIterSimResult : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("SIM_RESULT")
    OptimIterSimResult() : OptimIterBase("SIM_RESULT") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterSimResult)

    const OptimIter &iteration() const { return m_iteration; }
    OptimIter &iteration() { return m_iteration; }

    bool operator==(const OptimIterSimResult &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io) { io.field(self.m_iteration); }

private:
    OptimIter m_iteration;
};

class OptimIterNoProgress : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("OPTIM_NO_PROGRESS")
    OptimIterNoProgress() : OptimIterBase("OPTIM_NO_PROGRESS") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterNoProgress)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    const OptimAlgOutput &algorithm() const { return m_algorithm; }
    OptimAlgOutput &algorithm() { return m_algorithm; }

    bool operator==(const OptimIterNoProgress &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_algorithm);
    }

private:
    long m_commandId = -1;
    OptimAlgOutput m_algorithm;
};

class OptimIterCollapsedIterations : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("OPTIM_COMPACT_ITERS")
    OptimIterCollapsedIterations() : OptimIterBase("OPTIM_COMPACT_ITERS") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterCollapsedIterations)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    bool endsWithNoProgress() const { return m_endsWithNoProgress; }
    void setEndsWithNoProgress(bool value) { m_endsWithNoProgress = value; }
    int firstIteration() const { return m_firstIteration; }
    void setFirstIteration(int iteration) { m_firstIteration = iteration; }
    const OptimAlgOutput &algorithm() const { return m_algorithm; }
    OptimAlgOutput &algorithm() { return m_algorithm; }
    const OptimItemList<OptimGoalOutput> &goals() const { return m_goals; }
    OptimItemList<OptimGoalOutput> &goals() { return m_goals; }
    const OptimItemList<OptimVarOutput> &variables() const { return m_variables; }
    OptimItemList<OptimVarOutput> &variables() { return m_variables; }
    const OptimAlgHistory &algorithmHistory() const { return m_algorithmHistory; }
    OptimAlgHistory &algorithmHistory() { return m_algorithmHistory; }
    const OptimItemList<OptimGoalHistory> &goalHistories() const { return m_goalHistories; }
    OptimItemList<OptimGoalHistory> &goalHistories() { return m_goalHistories; }
    const OptimItemList<OptimVarHistory> &variableHistories() const { return m_variableHistories; }
    OptimItemList<OptimVarHistory> &variableHistories() { return m_variableHistories; }

    bool operator==(const OptimIterCollapsedIterations &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_endsWithNoProgress);
        io.field(self.m_firstIteration);
        io.field(self.m_algorithm);
        io.field(self.m_goals);
        io.field(self.m_variables);
        io.field(self.m_algorithmHistory);
        io.field(self.m_goalHistories);
        io.field(self.m_variableHistories);
    }

private:
    long m_commandId = -1;
    bool m_endsWithNoProgress = true;
    int m_firstIteration = -1;
    OptimAlgOutput m_algorithm;
    OptimItemList<OptimGoalOutput> m_goals;
    OptimItemList<OptimVarOutput> m_variables;
    OptimAlgHistory m_algorithmHistory;
    OptimItemList<OptimGoalHistory> m_goalHistories;
    OptimItemList<OptimVarHistory> m_variableHistories;
};

class OptimIterVariableValues : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("VARIABLE_VALUES")
    OptimIterVariableValues() : OptimIterBase("VARIABLE_VALUES") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterVariableValues)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    const QStringList &values() const { return m_values; }
    void setValues(const QStringList &values) { m_values = values; }

    bool operator==(const OptimIterVariableValues &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_values);
    }

private:
    long m_commandId = -1;
    QStringList m_values;
};

class OptimIterVariableDefinitions : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("VAR_DEFINITIONS")
    OptimIterVariableDefinitions() : OptimIterBase("VAR_DEFINITIONS") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterVariableDefinitions)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    const OptimItemList<OptimVarInput> &variables() const { return m_variables; }
    OptimItemList<OptimVarInput> &variables() { return m_variables; }

    bool operator==(const OptimIterVariableDefinitions &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_variables);
    }

private:
    long m_commandId = -1;
    OptimItemList<OptimVarInput> m_variables;
};

class OptimIterGoalDefinitions : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("GOAL_DEFINITIONS")
    OptimIterGoalDefinitions() : OptimIterBase("GOAL_DEFINITIONS") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterGoalDefinitions)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    const OptimItemList<OptimGoalInput> &goals() const { return m_goals; }
    OptimItemList<OptimGoalInput> &goals() { return m_goals; }

    bool operator==(const OptimIterGoalDefinitions &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_goals);
    }

private:
    long m_commandId = -1;
    OptimItemList<OptimGoalInput> m_goals;
};

class OptimIterAlgorithmDefinition : public OptimIterBase
{
public:
    OPTIM_MESSAGE_TYPE("ALGORITHM_DEFINITION")
    OptimIterAlgorithmDefinition() : OptimIterBase("ALGORITHM_DEFINITION") {}
    OPTIM_RECORD_SERIALIZATION(OptimIterAlgorithmDefinition)

    long commandId() const { return m_commandId; }
    void setCommandId(long id) { m_commandId = id; }
    const OptimAlgInput &algorithm() const { return m_algorithm; }
    OptimAlgInput &algorithm() { return m_algorithm; }

    bool operator==(const OptimIterAlgorithmDefinition &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_commandId);
        io.field(self.m_algorithm);
    }

private:
    long m_commandId = -1;
    OptimAlgInput m_algorithm;
};

// The incoming message classes in the order an incoming type word is matched.
enum class OptimIncomingType { None, Iter, NoProgress, CollapsedIterations, SimResult, Status };
OptimIncomingType optimIncomingType(QByteArrayView typeWord);

Q_DECLARE_METATYPE(OptimStatus)
Q_DECLARE_METATYPE(OptimIter)
Q_DECLARE_METATYPE(OptimIterSimResult)
Q_DECLARE_METATYPE(OptimIterNoProgress)
Q_DECLARE_METATYPE(OptimIterVariableValues)
Q_DECLARE_METATYPE(OptimIterVariableDefinitions)
Q_DECLARE_METATYPE(OptimIterGoalDefinitions)
Q_DECLARE_METATYPE(OptimIterAlgorithmDefinition)
Q_DECLARE_METATYPE(OptimModelOutput)
Q_DECLARE_METATYPE(OptimModelHistory)
Q_DECLARE_METATYPE(OptimModelInput)
