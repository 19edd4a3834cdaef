#include "optimdesigninformation.h"

#include "design/optimparameterinfo.h"
#include "design/optimvariablenetlist.h"
#include "hostifc/moxifc.h"
#include "units/unitsparser.h"

namespace {

const QByteArray kModule("CmdOp");
const QString kExtraPenalty = QStringLiteral("_ExtraPenaltyGoal");
const QString kLoadPullType = QStringLiteral("zeb_simulation:DataBasedLoadPull");

QByteArray truth(bool flag)
{
    return flag ? QByteArrayLiteral("TRUE") : QByteArrayLiteral("FALSE");
}

// Element 0 of an answer as a found flag (an integer, or a truth value);
// found stays as it is when the element is missing or of another kind.
void readFound(MoxIFC *mox, const OptimMoxHold &answer, bool &found)
{
    const OptimMoxHold flag = answer.element(0);
    qint64 number = 0;
    bool truthValue = false;
    if (flag.integer(number))
        found = number != 0;
    else if (flag.get() && mox->typeOf(flag.get()) == mox->boolType() && mox->readBool(flag.get(), truthValue))
        found = truthValue;
}

} // namespace

QByteArray OptimDesignInformation::parameterInformationCall(const QByteArray &designName, const QString &netlistName)
{
    return "deopthelmdeck_fetch_parameter_information(" + OptimHostCalls::quoted(designName) + ", "
        + OptimHostCalls::quoted(netlistName.toUtf8()) + ", FALSE)";
}

QByteArray OptimDesignInformation::componentInformationCall(const QByteArray &designName, const QString &itemName,
                                                            const QString &itemType)
{
    return "deopthelmdeck_fetch_component_information(" + OptimHostCalls::quoted(designName) + ", "
        + OptimHostCalls::quoted(itemName.toUtf8()) + ", " + OptimHostCalls::quoted(itemType.toUtf8()) + ") ";
}

QByteArray OptimDesignInformation::backAnnotationCall(const QByteArray &designName, bool variables,
                                                      qsizetype variableCount, bool goals, qsizetype goalCount,
                                                      bool algorithm)
{
    return "deopthelmdeck_back_annotation( " + OptimHostCalls::quoted(designName) + ", " + truth(variables) + ", "
        + QByteArray::number(variableCount) + ", FALSE, " + truth(goals) + ", " + QByteArray::number(goalCount)
        + ", FALSE, " + truth(algorithm) + ", 1, FALSE )";
}

void OptimDesignInformation::synchronizeVariables(OptimItemList<OptimVarInput> &variables) const
{
    MoxIFC *mox = m_host.mox();
    if (!mox)
        return;
    for (OptimVarInput &variable : variables) {
        if (!variable.name().isEmpty())
            continue;
        const OptimMoxHold answer(mox, mox->evaluate(kModule, parameterInformationCall(m_designName,
                                                                                        variable.netlistName())));
        bool found = true;
        readFound(mox, answer, found);
        QString name;
        QString unit;
        answer.element(1).text(name);
        answer.element(2).text(unit);
        QStringList values;
        const OptimMoxHold list = answer.element(3);
        for (int i = 0; i < list.size(); ++i) {
            QString value;
            if (list.element(i).text(value))
                values.append(value);
        }
        variable.setInDesign(found);
        variable.setName(name.isEmpty() ? variable.netlistName() : name);
        if (!unit.isEmpty())
            variable.setUnit(UnitsParser::baseUnits(unit));
        if (!values.isEmpty())
            variable.setDesignValues(values);
    }
}

bool OptimDesignInformation::componentFound(const QString &itemName, const QString &itemType) const
{
    MoxIFC *mox = m_host.mox();
    const OptimMoxHold answer(mox, mox->evaluate(kModule, componentInformationCall(m_designName, itemName, itemType)));
    bool found = true;
    readFound(mox, answer, found);
    return found;
}

void OptimDesignInformation::synchronizeGoals(OptimItemList<OptimGoalInput> &goals) const
{
    if (!m_host.mox())
        return;
    for (OptimGoalInput &goal : goals) {
        if (!goal.designItemName().isEmpty())
            continue;
        bool found = componentFound(goal.name(), goal.itemTypeName());
        if (found) {
            goal.setDesignItem(goal.name(), goal.itemTypeName());
        } else {
            // An extra penalty goal stands for a load-pull item of the base name.
            const qsizetype at = goal.name().lastIndexOf(kExtraPenalty);
            if (at > 0) {
                const QString base = goal.name().left(at);
                found = componentFound(base, kLoadPullType);
                if (found) {
                    goal.setDesignItem(base, kLoadPullType);
                    goal.setExtraParameterNames(goal.extraParameterNames() + QStringList{QStringLiteral("Weight")});
                }
            }
        }
        goal.setInDesign(found);
    }
}

void OptimDesignInformation::synchronizeNew(OptimModelInput &input) const
{
    synchronizeVariables(input.variables());
    synchronizeGoals(input.goals());
}

bool OptimDesignInformation::backAnnotate(const OptimModelInput &input, bool algorithm, bool goals, bool variables,
                                          QString *reason) const
{
    const auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    MoxIFC *mox = m_host.mox();
    if (m_designName.isEmpty() || !mox)
        return fail(QStringLiteral("There is no design to update."));
    if (input.isEmpty())
        return fail(QStringLiteral("There is no optimization to write into the design."));
    const QString design = QString::fromUtf8(m_designName);
    // The host skips a variable without a line, as it must for one that is
    // neither in the design nor optimized; any other would be lost quietly.
    if (variables) {
        for (const OptimVarInput &variable : input.variables()) {
            if ((variable.inDesign() || variable.optimize()) && !optimVariableNetlistLine(variable))
                return fail(QStringLiteral("The variable \"%1\" cannot be written into the design: its value or "
                                           "constraint cannot be written as a variable line.")
                                .arg(variable.netlistName()));
        }
    }
    // The call goes inside list(...): an evaluation that fails (the word is
    // unknown, the call does not parse, the host's function fails) gives no
    // list at all, while a host that answers nothing gives a list holding a
    // "no value" entry.
    const OptimMoxHold answer(mox, mox->evaluate(kModule, "list(" + backAnnotationCall(m_designName, variables,
                                                                                      input.variables().count(), goals,
                                                                                      input.goals().count(), algorithm)
                                                          + ")"));
    if (answer.size() != 1)
        return fail(QStringLiteral("The host could not carry out the request to write the optimized definitions into "
                                   "the design \"%1\".")
                        .arg(design));
    // A host may answer nothing (the answer is not part of the call); only
    // an explicit FALSE or 0 says that the design was not written.
    const OptimMoxHold said = answer.element(0);
    bool written = true;
    if (said.get() && mox->readBool(said.get(), written) && !written)
        return fail(QStringLiteral("The host reported that it could not write the optimized definitions into the "
                                   "design \"%1\".")
                        .arg(design));
    return true;
}
