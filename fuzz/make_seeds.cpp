// Writes the seed corpora of fuzz_records and fuzz_datablock: one record of
// every class the reader takes, made here or read from examples/messages,
// and the same records as data blocks.
//
//   make_seeds EXAMPLES_MESSAGES_DIR CORPUS_DIR

#include "model/optimitermessages.h"
#include "model/optimizationmodel.h"
#include "wire/datablock.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QString g_corpus;

void write(const QString &target, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(g_corpus + QLatin1Char('/') + target);
    QFile f(g_corpus + QLatin1Char('/') + target + QLatin1Char('/') + name);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// Record text with the record class picked by the first byte (see fuzz_records.cpp).
void seed(int selector, const QByteArray &word, const QByteArray &text)
{
    const QString name = word.isEmpty() ? QStringLiteral("record%1").arg(selector)
                                         : QString::fromLatin1(word.split(' ').first()).toLower();
    write(QStringLiteral("fuzz_records"), name, char(selector) + text);
    if (word.isEmpty())
        return;
    QList<QByteArray> chunks;
    for (qsizetype at = 0; at < text.size(); at += wire::kChunkLimit)
        chunks.append(text.mid(at, wire::kChunkLimit));
    const wire::Envelope e = wire::envelope("7", "OPTIM_HELMDECK " + word, chunks);
    QByteArray lines = e.start;
    for (const QByteArray &c : e.chunks)
        lines += "\nc" + c;
    lines += "\ne" + e.end;
    write(QStringLiteral("fuzz_datablock"), name, lines);
}

QByteArray text(const OptimSerializationIFC &record)
{
    OptimSerialWriter w;
    record.serialize(w);
    return w.joinedText();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds EXAMPLES_MESSAGES_DIR CORPUS_DIR\n");
        return 2;
    }
    g_corpus = QString::fromLocal8Bit(argv[2]);
    QFile example(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/optim_iter.txt"));
    if (!example.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray iterText = example.readAll().trimmed();
    OptimIter iter;
    OptimSerialReader reader(iterText);
    iter.deserialize(reader);

    OptimModelInput input;
    for (int g = 0; g < 2; ++g) {
        OptimGoalInput goal;
        goal.setName(QStringLiteral("Goal%1").arg(g));
        goal.setExpression(QStringLiteral("dB(S21)"));
        goal.setSimInstanceName(QStringLiteral("SP1"));
        goal.addIndepVar(QStringLiteral("freq"));
        OptimGoalLimitInput limit;
        limit.setLimit(LimitGreaterThan, QStringLiteral("-1"), QString());
        OptimItemList<OptimGoalRange> ranges;
        ranges.append(OptimGoalRange(0, QStringLiteral("10 MHz"), QStringLiteral("800 MHz")));
        limit.setRanges(ranges);
        goal.limits().append(limit);
        input.goals().append(goal);
    }
    for (int v = 0; v < 3; ++v) {
        OptimVarInput var;
        var.setNetlistName(QStringLiteral("C%1").arg(v));
        var.setValue(QStringLiteral("2 pF"));
        var.setUnit(QStringLiteral("F"));
        var.setConstraint(1, QStringLiteral("1 pF"), QStringLiteral("3 pF"), QString());
        input.variables().append(var);
    }
    OptimIterNoProgress noProgress;
    noProgress.algorithm() = iter.algorithm();
    OptimIterCollapsedIterations batch;
    batch.setFirstIteration(3);
    batch.algorithm() = iter.algorithm();
    batch.goals() = iter.goals();
    batch.variables() = iter.variables();
    batch.algorithmHistory().values().append(QStringLiteral("0.5"));
    OptimIterSimResult simResult;
    simResult.iteration() = iter;
    OptimIterVariableValues values;
    values.setValues(QStringList{QStringLiteral("2.5 pF"), QString(), QStringLiteral("1 pF")});
    OptimIterVariableDefinitions variables;
    variables.variables() = input.variables();
    OptimIterGoalDefinitions goals;
    goals.goals() = input.goals();
    OptimIterAlgorithmDefinition algorithm;
    algorithm.algorithm() = input.algorithm();
    OptimizationModel model;
    model.input() = input;

    seed(0, "OPTIM_ITER", iterText);
    seed(1, "OPTIM_NO_PROGRESS", text(noProgress));
    seed(2, "OPTIM_COMPACT_ITERS", text(batch));
    seed(3, "SIM_RESULT", text(simResult));
    seed(4, "STATUS", text(OptimStatus(StatusRunning, QStringLiteral("Simulating \"all\""))));
    seed(5, "VARIABLE_VALUES", text(values));
    seed(6, "VAR_DEFINITIONS", text(variables));
    seed(7, "GOAL_DEFINITIONS", text(goals));
    seed(8, "ALGORITHM_DEFINITION", text(algorithm));
    seed(9, "OPEN_HELMDECK MULTI_OPT INTERACTIVE", text(input));
    OptimModelOutput outputs;
    outputs.algorithm() = iter.algorithm();
    outputs.goals() = iter.goals();
    outputs.variables() = iter.variables();
    seed(10, QByteArray(), text(outputs));
    seed(11, QByteArray(), text(model));
    return 0;
}
