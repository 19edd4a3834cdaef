#pragma once

// The algorithm-type warning: tells the user, before an optimization goes
// on, when the chosen algorithm cannot work on the variables that are
// enabled (a gradient method with only discrete variables, the discrete
// search with only continuous ones, or no variable enabled at all). It
// never blocks: the caller carries on once the box is closed.

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QPointer>
#include <QString>

class QWidget;

// The algorithm code for a display name ("Gradient" gives 2, "" gives 0);
// -1 for a name that is no algorithm's.
int optimAlgorithmCodeForName(const QString &name);

class AlgorithmTypeWarning
{
public:
    AlgorithmTypeWarning(const OptimAlgInput &algorithm, const OptimItemList<OptimVarInput> &variables,
                         QWidget *parent = nullptr);
    AlgorithmTypeWarning(const OptimModelInput &input, QWidget *parent = nullptr);

    // The warning as HTML; empty when the algorithm suits the variables.
    QString message() const;

    // Shows the warning, when there is one, in a modal box over the parent
    // and answers whether it was shown.
    bool checkAndWarn() const;

private:
    QString messageForKind(const QString &kind, const QString &other, int defined, int otherDefined) const;

    QString m_typeName;
    bool m_acceptsContinuous = false;
    bool m_acceptsDiscrete = false;
    int m_continuousDefined = 0;
    int m_discreteDefined = 0;
    int m_continuousEnabled = 0;
    int m_discreteEnabled = 0;
    QPointer<QWidget> m_parent;
};
