#include "simheadless.h"

#include "simoptimization.h"

#include <QElapsedTimer>

namespace {

QString reasonText(const SimOutcome &outcome)
{
    switch (outcome.stop) {
    case SimStop::IterationLimit: return QStringLiteral("iteration limit reached");
    case SimStop::GoalsMet: return outcome.message.isEmpty() ? QStringLiteral("all goals met") : outcome.message;
    case SimStop::Converged: return outcome.message.isEmpty() ? QStringLiteral("converged") : outcome.message;
    case SimStop::Failed: return QStringLiteral("failed: ") + outcome.message;
    case SimStop::Interrupted: return QStringLiteral("interrupted");
    case SimStop::Refused: return outcome.message;
    case SimStop::None: break;
    }
    return QStringLiteral("stopped");
}

}  // namespace

int simRunHeadless(const SimDesign &design, const SimHeadlessOptions &options, QTextStream &out)
{
    int status = 0;
    for (int k = 0; k < design.optimizationCount(); ++k) {
        if (options.optimization >= 0 && options.optimization != k)
            continue;
        SimOptimization opt(design, k, options.seed);
        OptimAlgInput alg = opt.algorithmInput();
        if (options.algorithm)
            alg.setAlgorithmType(*options.algorithm);
        alg.setMaxIterations(QString::number(options.iterations));
        opt.setAlgorithm(alg);
        const SimAlgorithmInfo info = opt.algorithm();
        out << "optimization " << k + 1 << " of " << design.optimizationCount() << ": " << alg.name()
            << "; algorithm " << info.code << " " << info.name << " (" << info.method << "), "
            << simErrorFormName(info.form) << " error; " << options.iterations << " iterations\n";
        for (const QString &problem : opt.problems())
            out << "warning: " << problem << "\n";
        out.flush();

        QElapsedTimer clock;
        clock.start();
        QString failure;
        const SimOutcome outcome = opt.run([&](const SimProblem::Report &r) {
            if (!r.evaluation->ok && failure.isEmpty()) {
                failure = r.evaluation->message;
                opt.requestStop(SimStop::Failed, failure);
            }
            if (options.quiet)
                return;
            out << "iter " << r.iteration << " error "
                << (r.evaluation->ok ? SimOptimization::number(r.evaluation->total()) : QStringLiteral("failed"))
                << " best " << SimOptimization::number(r.best->total()) << (r.improved ? " *" : "") << "\n";
            out.flush();
        });
        const qint64 ms = clock.elapsed();
        if (!failure.isEmpty()) {
            out << "simulation failed: " << failure << "\n";
            status = 4;
        }
        out << "done " << alg.name() << ": " << reasonText(outcome) << "; best error "
            << (opt.hasBest() ? SimOptimization::number(opt.best().total()) : QStringLiteral("none")) << " after "
            << std::max(0, opt.iteration()) << " iterations, " << opt.simulationCount() << " simulations, " << ms << " ms\n";
        const QStringList values = opt.variableValueTexts(opt.best());
        for (int v = 0; v < opt.variables().count() && v < values.size(); ++v) {
            const OptimVarInput &var = opt.variables().definitions().at(v);
            out << "  " << var.netlistName() << " = " << values.at(v);
            if (opt.variables().hasValueList(v))  // a position: show the part it stands for
                out << " (" << var.designValues().value(values.at(v).toInt()) << ")";
            out << "\n";
        }
        out.flush();
        if (outcome.stop == SimStop::Failed || outcome.stop == SimStop::Refused || (opt.hasBest() && !opt.best().ok))
            status = 4;
    }
    return status;
}
