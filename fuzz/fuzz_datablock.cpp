// The data-block envelope and its reassembly, applied to a model as the
// plug-in applies it. The input is one message per line: the first line is
// the start text (kind 9); a later line starting with 'e' is an end message
// (kind 10), with 'c' a chunk (kind 11), anything else a message of kind 5;
// the rest of the line is the text.

#include "model/optimizationmodelobject.h"
#include "model/optimitermessages.h"
#include "wire/datablock.h"

#include <cstdint>

namespace {

template <typename Record>
bool read(const QList<QByteArray> &payload, Record &record)
{
    OptimSerialReader reader(payload);
    record.deserialize(reader);
    return !reader.hasError();
}

OptimModelInput startingModel()
{
    OptimModelInput input;
    for (int g = 0; g < 2; ++g) {
        OptimGoalInput goal;
        goal.setName(QStringLiteral("G%1").arg(g));
        goal.setExpression(QStringLiteral("dB(S21)"));
        goal.limits().append(OptimGoalLimitInput());
        input.goals().append(goal);
    }
    for (int v = 0; v < 3; ++v) {
        OptimVarInput var;
        var.setNetlistName(QStringLiteral("V%1").arg(v));
        var.setValue(QStringLiteral("1 pF"));
        input.variables().append(var);
    }
    return input;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> lines = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n');
    if (lines.isEmpty())
        return 0;
    QList<wire::Message> rest;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const char tag = line.isEmpty() ? 0 : line.at(0);
        const int kind = tag == 'e' ? wire::KindBlockEnd : tag == 'c' ? wire::KindPlain : 5;
        rest.append({kind, line.mid(1)});
    }
    const QByteArray start = lines.at(0);
    wire::Header header;
    wire::parseHeader(start, header);
    const wire::Received block = wire::assemble(start, rest, 4096, qsizetype(16) << 20);
    wire::replyText(block.header.name, !block.whole);
    if (!block.whole)
        return 0;

    OptimizationModelObject model;
    model.setModelInput(startingModel());
    const QByteArrayList words = wire::nameWords(block.header.name);
    const QByteArray type = words.value(1);
    if (type == "OPEN_HELMDECK") {
        OptimModelInput input;
        if (read(block.payload, input))
            model.setModelInput(input);
        return 0;
    }
    switch (optimIncomingType(type)) {
    case OptimIncomingType::Iter: {
        OptimIter m;
        if (read(block.payload, m))
            model.applyIteration(m);
        break;
    }
    case OptimIncomingType::NoProgress: {
        OptimIterNoProgress m;
        if (read(block.payload, m))
            model.applyNoProgress(m);
        break;
    }
    case OptimIncomingType::CollapsedIterations: {
        OptimIterCollapsedIterations m;
        if (read(block.payload, m))
            model.applyCollapsedIterations(m);
        break;
    }
    case OptimIncomingType::SimResult: {
        OptimIterSimResult m;
        if (read(block.payload, m))
            model.applySimResult(m);
        break;
    }
    case OptimIncomingType::Status: {
        OptimStatus m;
        if (read(block.payload, m))
            model.applyStatus(m);
        break;
    }
    case OptimIncomingType::None: {
        // The helmdeck's own messages, as a simulator reads them.
        OptimIterGoalDefinitions goals;
        if (read(block.payload, goals))
            model.setGoalDefinitions(goals);
        OptimIterVariableDefinitions variables;
        if (read(block.payload, variables))
            model.setVariableDefinitions(variables);
        OptimIterVariableValues values;
        if (read(block.payload, values))
            model.applyVariableValues(values.values(), OptimizationModelObject::TargetAll);
        break;
    }
    }
    return 0;
}
