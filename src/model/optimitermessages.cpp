#include "optimitermessages.h"

OptimIncomingType optimIncomingType(QByteArrayView typeWord)
{
    if (typeWord == OptimIter::typeWord())
        return OptimIncomingType::Iter;
    if (typeWord == OptimIterNoProgress::typeWord())
        return OptimIncomingType::NoProgress;
    if (typeWord == OptimIterCollapsedIterations::typeWord())
        return OptimIncomingType::CollapsedIterations;
    if (typeWord == OptimIterSimResult::typeWord())
        return OptimIncomingType::SimResult;
    if (typeWord == OptimStatus::typeWord())
        return OptimIncomingType::Status;
    return OptimIncomingType::None;
}

OPTIM_RECORD_SERIALIZATION_DEFINE(OptimStatus)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIter)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterSimResult)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterNoProgress)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterCollapsedIterations)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterVariableValues)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterVariableDefinitions)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterGoalDefinitions)
OPTIM_RECORD_SERIALIZATION_DEFINE(OptimIterAlgorithmDefinition)
