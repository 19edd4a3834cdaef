#pragma once

// What the design knows about an optimization, asked of the host by script
// call: the display name, unit and value list of each variable, whether each
// goal's item is in the design; and the request to write the optimized
// definitions back into the design (back annotation). The host answers back
// annotation by reading the definitions through the fetch words.

#include "hostifc/optimhostcalls.h"
#include "model/optiminputrecords.h"

class OptimDesignInformation
{
public:
    OptimDesignInformation(const OptimHostCalls &host, const QByteArray &designName)
        : m_host(host), m_designName(designName) {}

    // The three call texts, exactly as the host's script functions take them.
    static QByteArray parameterInformationCall(const QByteArray &designName, const QString &netlistName);
    static QByteArray componentInformationCall(const QByteArray &designName, const QString &itemName,
                                               const QString &itemType);
    static QByteArray backAnnotationCall(const QByteArray &designName, bool variables, qsizetype variableCount,
                                         bool goals, qsizetype goalCount, bool algorithm);

    // Completes variables whose display name is not known yet (name, unit in
    // base units, design value list, inDesign) and goals whose design item is
    // not known yet. Items that already have them are not asked again: a
    // simulator leaves the name empty for the variables the design defines.
    void synchronizeVariables(OptimItemList<OptimVarInput> &variables) const;
    void synchronizeGoals(OptimItemList<OptimGoalInput> &goals) const;
    // A helmdeck's new optimization: its variables and goals, as above.
    void synchronizeNew(OptimModelInput &input) const;

    // Asks the host to write the chosen parts of input into the design.
    // False, with reason in words for the user, when a variable the host is
    // to write has no variable line (nothing is asked then), and when the
    // host answers FALSE or 0; TRUE, another value or no answer is success.
    bool backAnnotate(const OptimModelInput &input, bool algorithm, bool goals, bool variables,
                      QString *reason) const;

private:
    // The integer element 0 of a call's list answer as a found flag; true
    // when the answer or the element is missing or of another kind.
    bool componentFound(const QString &itemName, const QString &itemType) const;

    OptimHostCalls m_host;
    QByteArray m_designName;
};
