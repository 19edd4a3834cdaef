#include "optimizationmodel.h"

const OptimVarInput *OptimizationModel::variableByNetlistName(const QString &name) const
{
    const int k = variableIndex(name);
    return k < 0 ? nullptr : &m_input.variables().at(k);
}

int OptimizationModel::variableIndex(const QString &netlistName) const
{
    const auto &variables = m_input.variables();
    for (qsizetype k = 0; k < variables.count(); ++k) {
        if (variables.at(k).netlistName() == netlistName)
            return int(k);
    }
    return -1;
}

int OptimizationModel::optimizedVariableCount() const
{
    int count = 0;
    for (const OptimVarInput &variable : m_input.variables()) {
        if (variable.optimizeFlagSet() && variable.optimize())
            ++count;
    }
    return count;
}

QStringList OptimizationModel::variableValues() const
{
    QStringList values;
    values.reserve(m_input.variables().count());
    for (const OptimVarInput &variable : m_input.variables())
        values.append(variable.value());
    return values;
}

void registerOptimMetaTypes()
{
    qRegisterMetaType<OptimStatus>("OptimStatus");
    qRegisterMetaType<OptimIterVariableValues>("OptimIterVariableValues");
    qRegisterMetaType<OptimIterVariableDefinitions>("OptimIterVariableDefinitions");
    qRegisterMetaType<OptimIterGoalDefinitions>("OptimIterGoalDefinitions");
    qRegisterMetaType<OptimIterAlgorithmDefinition>("OptimIterAlgorithmDefinition");
    qRegisterMetaType<OptimIterSimResult>("OptimIterSimResult");
    qRegisterMetaType<OptimIterNoProgress>("OptimIterNoProgress");
    qRegisterMetaType<OptimIter>("OptimIter");
    qRegisterMetaType<OptimizationModel>("OptimizationModel");
    qRegisterMetaType<OptimModelHistory>("OptimModelHistory");
    qRegisterMetaType<OptimModelOutput>("OptimModelOutput");
    qRegisterMetaType<OptimModelInput>("OptimModelInput");
}

OPTIM_RECORD_SERIALIZATION_DEFINE(OptimizationModel)
