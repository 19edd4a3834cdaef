#include "samplemessages.h"

#include <cmath>

namespace {

// Trace values travel with six significant digits; samples use such values
// so that they read back exactly.
double wireValue(double v)
{
    return QString::number(v, 'g', 6).toDouble();
}

} // namespace

OptimModelInput sampleModelInput(const SampleSize &size)
{
    OptimModelInput input;
    OptimAlgInput algorithm;
    algorithm.setName(QStringLiteral("Optim1"));
    algorithm.setLabel(QStringLiteral("Lowpass optimization"));
    algorithm.setAlgorithmType(2);
    algorithm.setMaxIterations(QStringLiteral("100"));
    input.setAlgorithm(algorithm);
    for (int g = 0; g < size.goals; ++g) {
        OptimGoalInput goal;
        goal.setName(QStringLiteral("Goal%1").arg(g + 1));
        goal.setExpression(g % 2 ? QStringLiteral("dB(S11)") : QStringLiteral("dB(S21)"));
        goal.setSimInstanceName(QStringLiteral("SP1"));
        goal.setWeight(QStringLiteral("1"));
        goal.addIndepVar(QStringLiteral("freq"));
        goal.setIndepVarUnit(0, QStringLiteral("GHz"));
        OptimGoalLimitInput limit;
        limit.setName(QStringLiteral("passband"));
        limit.setGreaterThan(QStringLiteral("-1"));
        limit.ranges().append(OptimGoalRange(0, QStringLiteral("0.1"), QStringLiteral("1")));
        goal.limits().append(limit);
        input.goals().append(goal);
    }
    for (int v = 0; v < size.variables; ++v) {
        OptimVarInput variable;
        variable.setNetlistName(QStringLiteral("L%1.L").arg(v + 1));
        variable.setName(QStringLiteral("L%1").arg(v + 1));
        variable.setValue(QStringLiteral("%1").arg(10 + v));
        variable.setUnit(QStringLiteral("nH"));
        variable.setRange(QStringLiteral("1"), QStringLiteral("100"));
        input.variables().append(variable);
    }
    return input;
}

OptimIter sampleIteration(const SampleSize &size, int iteration)
{
    OptimIter iter;
    iter.setCommandId(-1);
    OptimAlgOutput &algorithm = iter.algorithm();
    algorithm.setStatus(2);
    algorithm.setIsBestError(iteration % 3 == 0);
    algorithm.setErrorText(QString::number(10.0 / (iteration + 1), 'g', 6));
    algorithm.setErrorDetail(QString::number(9.0 / (iteration + 1), 'g', 6));
    algorithm.setIterationText(QString::number(iteration));
    algorithm.setMaxIterationsText(QStringLiteral("100"));
    for (int g = 0; g < size.goals; ++g) {
        OptimGoalOutput goal;
        goal.setValueText(QString::number(1.0 / (iteration + g + 1), 'g', 6));
        goal.setErrorContribution(QString::number(0.5 / (g + 1), 'g', 6));
        OptimTraceFamily &family = goal.traces();
        family.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("GHz")));
        for (int t = 0; t < size.tracesPerGoal; ++t) {
            OptimTrace trace;
            QList<double> &x = trace.xValues().values();
            QList<double> &y = trace.yValues().values();
            x.reserve(size.pointsPerTrace);
            y.reserve(size.pointsPerTrace);
            for (int p = 0; p < size.pointsPerTrace; ++p) {
                const double f = 1e8 + p * (2e9 / std::max(1, size.pointsPerTrace - 1));
                x.append(wireValue(f));
                y.append(wireValue(-20.0 * std::log10(1.0 + std::pow(f / (1e9 + 1e7 * (iteration + t)), 6.0)) - 0.01 * g));
            }
            family.traces().append(trace);
        }
        goal.limitOutputs().append(OptimGoalLimitOutput(QStringLiteral("0.25")));
        iter.goals().append(goal);
    }
    for (int v = 0; v < size.variables; ++v)
        iter.variables().append(OptimVarOutput(QString::number(10.0 + v + iteration * 0.01, 'g', 6)));
    return iter;
}
