#pragma once

// Everything the helmdeck knows about one optimization: its definitions
// (input), the latest reported state (output) and what accumulated over the
// iterations (history). Goal output k, goal history k, variable output k and
// variable history k belong to goal k and variable k of the input; history
// entry i belongs to iteration i.

#include "optimitermessages.h"

class OptimizationModel : public OptimSerializationIFC
{
public:
    OptimizationModel() : OptimSerializationIFC("OPTIM_MODEL") {}
    OPTIM_RECORD_SERIALIZATION(OptimizationModel)

    const OptimModelInput &input() const { return m_input; }
    OptimModelInput &input() { return m_input; }
    const OptimModelOutput &output() const { return m_output; }
    OptimModelOutput &output() { return m_output; }
    const OptimModelHistory &history() const { return m_history; }
    OptimModelHistory &history() { return m_history; }

    bool isEmpty() const { return m_input.isEmpty() && m_output.isEmpty() && m_history.isEmpty(); }

    const OptimAlgInput &algorithmInput() const { return m_input.algorithm(); }
    qsizetype goalCount() const { return m_input.goals().count(); }
    const OptimGoalInput &goal(qsizetype k) const { return m_input.goals().at(k); }
    qsizetype variableCount() const { return m_input.variables().count(); }
    const OptimVarInput &variable(qsizetype k) const { return m_input.variables().at(k); }

    const OptimAlgOutput &algorithmOutput() const { return m_output.algorithm(); }
    const OptimGoalOutput &goalOutput(qsizetype k) const { return m_output.goals().at(k); }
    const OptimVarOutput &variableOutput(qsizetype k) const { return m_output.variables().at(k); }

    const OptimAlgHistory &algorithmHistory() const { return m_history.algorithm(); }
    const OptimGoalHistory &goalHistory(qsizetype k) const { return m_history.goals().at(k); }
    const OptimVarHistory &variableHistory(qsizetype k) const { return m_history.variables().at(k); }

    // The variable whose netlistName is name, and its index (-1 when none).
    const OptimVarInput *variableByNetlistName(const QString &name) const;
    int variableIndex(const QString &netlistName) const;
    // Variables with both optimizeFlagSet and optimize set.
    int optimizedVariableCount() const;
    // The input's value texts in variable order.
    QStringList variableValues() const;

    bool operator==(const OptimizationModel &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_input);
        io.field(self.m_output);
        io.field(self.m_history);
    }

private:
    OptimModelInput m_input;
    OptimModelOutput m_output;
    OptimModelHistory m_history;
};

Q_DECLARE_METATYPE(OptimizationModel)

// Registers the message and model classes as Qt meta-types under their class
// names. Safe to call more than once.
void registerOptimMetaTypes();
