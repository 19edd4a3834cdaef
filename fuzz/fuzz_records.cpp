// The record reader over every record and message word: the first byte picks
// the record class, the rest is the text the reader takes. A record that
// reads is written again and read back: the reader must take its own text.

#include "model/optimitermessages.h"
#include "model/optimizationmodel.h"

#include <cstdint>
#include <cstdlib>

namespace {

template <typename Record>
void readRecord(const QByteArray &text)
{
    Record record;
    OptimSerialReader reader(text);
    record.deserialize(reader);
    if (reader.hasError())
        return;
    OptimSerialWriter writer;
    record.serialize(writer);
    Record again;
    OptimSerialReader back(writer.joinedText());
    again.deserialize(back);
    if (back.hasError())
        std::abort();  // a record that read once must read from its own text
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 12) {
    case 0: readRecord<OptimIter>(text); break;
    case 1: readRecord<OptimIterNoProgress>(text); break;
    case 2: readRecord<OptimIterCollapsedIterations>(text); break;
    case 3: readRecord<OptimIterSimResult>(text); break;
    case 4: readRecord<OptimStatus>(text); break;
    case 5: readRecord<OptimIterVariableValues>(text); break;
    case 6: readRecord<OptimIterVariableDefinitions>(text); break;
    case 7: readRecord<OptimIterGoalDefinitions>(text); break;
    case 8: readRecord<OptimIterAlgorithmDefinition>(text); break;
    case 9: readRecord<OptimModelInput>(text); break;
    case 10: readRecord<OptimModelOutput>(text); break;
    default: readRecord<OptimizationModel>(text); break;
    }
    return 0;
}
