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
