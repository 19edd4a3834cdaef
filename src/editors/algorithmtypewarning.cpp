#include "algorithmtypewarning.h"

#include <QHash>
#include <QMessageBox>

int optimAlgorithmCodeForName(const QString &name)
{
    // Built once from the thirteen display names (code 0 has the empty one).
    static const QHash<QString, int> codes = [] {
        QHash<QString, int> table;
        for (int code = AlgorithmNone; code <= LastAlgorithm; ++code)
            table.insert(optimAlgorithmName(code), code);
        return table;
    }();
    return codes.value(name, -1);
}

AlgorithmTypeWarning::AlgorithmTypeWarning(const OptimAlgInput &algorithm,
                                           const OptimItemList<OptimVarInput> &variables, QWidget *parent)
    : m_typeName(optimAlgorithmName(algorithm.algorithmType()))
    , m_acceptsContinuous(OptimAlgInput::acceptsContinuousVariables(algorithm.algorithmType()))
    , m_acceptsDiscrete(OptimAlgInput::acceptsDiscreteVariables(algorithm.algorithmType()))
    , m_parent(parent)
{
    for (int k = 0; k < variables.count(); ++k) {
        const OptimVarInput &variable = variables.at(k);
        const bool discrete = variable.constraintType() == ConstraintDiscrete;
        const bool enabled = variable.optimizeFlagSet() && variable.optimize();
        (discrete ? m_discreteDefined : m_continuousDefined) += 1;
        if (enabled)
            (discrete ? m_discreteEnabled : m_continuousEnabled) += 1;
    }
}

AlgorithmTypeWarning::AlgorithmTypeWarning(const OptimModelInput &input, QWidget *parent)
    : AlgorithmTypeWarning(input.algorithm(), input.variables(), parent)
{
}

QString AlgorithmTypeWarning::message() const
{
    if (m_continuousEnabled + m_discreteEnabled == 0) {
        return QStringLiteral("<p>There are no variables enabled, so the optimization will not run."
                              "<p>You can:<ul><li>Use <b>Edit variables</b> to enable a variable.</li></ul>");
    }
    if (m_acceptsContinuous == m_acceptsDiscrete)
        return QString();
    if (m_acceptsContinuous) {
        if (m_continuousDefined > 0 && m_continuousEnabled > 0)
            return QString();
        return messageForKind(QStringLiteral("continuous"), QStringLiteral("discrete"), m_continuousDefined,
                              m_discreteDefined);
    }
    if (m_discreteDefined > 0 && m_discreteEnabled > 0)
        return QString();
    return messageForKind(QStringLiteral("discrete"), QStringLiteral("continuous"), m_discreteDefined,
                          m_continuousDefined);
}

QString AlgorithmTypeWarning::messageForKind(const QString &kind, const QString &other, int defined,
                                             int otherDefined) const
{
    QString text = QStringLiteral("<p>The algorithm type '") + m_typeName + QStringLiteral("' operates only on ")
        + kind + QStringLiteral(" variables.");
    text += QStringLiteral("<p>There are no ") + kind + QStringLiteral(" variables ")
        + (defined > 0 ? QStringLiteral("enabled") : QStringLiteral("defined"))
        + QStringLiteral(", so the optimization will not run.");
    text += QStringLiteral("<p>You can:<ul><li>Use <b>Edit algorithm</b> to change the algorithm type.</li>");
    if (defined > 0)
        text += QStringLiteral("<li>Use <b>Edit variables</b> to enable a ") + kind + QStringLiteral(" variable.</li>");
    if (otherDefined > 0) {
        text += QStringLiteral("<li>Use <b>Edit variables</b> to convert some of the ") + other
            + QStringLiteral(" variables to ") + kind + QStringLiteral(".</li>");
    }
    text += QStringLiteral("</ul>");
    return text;
}

bool AlgorithmTypeWarning::checkAndWarn() const
{
    const QString text = message();
    if (text.isEmpty())
        return false;
    // The box runs a nested event loop; its parent may be destroyed meanwhile.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Algorithm Type Warning"), text,
                                                QMessageBox::Ok, m_parent.data());
    box->setObjectName(QStringLiteral("algorithmTypeWarningBox"));
    box->setTextFormat(Qt::RichText);
    box->exec();
    if (box)
        box->deleteLater();
    return true;
}
