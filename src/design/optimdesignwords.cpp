#include "optimdesignwords.h"

#include "design/optimgoalparametermap.h"
#include "design/optimvariablenetlist.h"
#include "hostifc/moxifc.h"

namespace optimdesignwords {

namespace {

bool inRange(std::optional<qint64> index, qsizetype count)
{
    return index && *index >= 0 && *index < count;
}

} // namespace

MoxValue *variableIsValid(MoxIFC *mox, const OptimModelInput *input, std::optional<qint64> index)
{
    const bool problem = input && inRange(index, input->variables().count())
        && optimVariableProblems(input->variables().at(*index)) != 0;
    return problem ? mox->makeTrue() : mox->makeFalse();
}

MoxValue *fetchVariable(MoxIFC *mox, const OptimModelInput *input, std::optional<qint64> index)
{
    if (!input || !inRange(index, input->variables().count()))
        return nullptr;
    const auto line = optimVariableNetlistLine(input->variables().at(*index));
    return line ? mox->makeString(line->toUtf8()) : nullptr;
}

MoxValue *fetchAlgorithm(MoxIFC *mox, const OptimModelInput *input, bool argumentRead)
{
    if (!input || !argumentRead)
        return nullptr;
    return optimMakeParameterInfo(mox, optimAlgorithmParameters(input->algorithm()));
}

MoxValue *fetchGoal(MoxIFC *mox, const OptimModelInput *input, std::optional<qint64> index)
{
    if (!input || !inRange(index, input->goals().count()))
        return nullptr;
    const OptimGoalInput &goal = input->goals().at(*index);
    if (!goal.inDesign() || !(goal.designItemType().isEmpty() || goal.designItemType() == goal.itemTypeName()))
        return nullptr;
    return goalParameterInfo(mox, goal);
}

MoxValue *goalNetlist(MoxIFC *mox, const MoxValue *parameterInfo)
{
    OptimGoalParameterMap map;
    if (!optimgoalmap::fromParameterInfo(mox, parameterInfo, map))
        return nullptr;
    const auto text = optimgoalmap::netlistOf(map);
    return text ? mox->makeString(text->toUtf8()) : nullptr;
}

MoxValue *goalParameterInfo(MoxIFC *mox, const OptimGoalInput &goal)
{
    const auto info = optimgoalmap::toParameterInfo(optimgoalmap::fromGoal(goal));
    return info ? optimMakeParameterInfo(mox, *info) : nullptr;
}

} // namespace optimdesignwords
