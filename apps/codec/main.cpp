// helmdeck-codec: reads optimization records and messages in their text
// form, writes them back, and shows how the link would cut them into chunks.
// For people who write or debug a simulator, and for conformance checks.

#include "recordfactory.h"

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

const char kHelp[] =
    "Usage:\n"
    "  helmdeck-codec roundtrip WORD        < text\n"
    "  helmdeck-codec chunks WORD [LIMIT]   < text\n"
    "  helmdeck-codec words\n"
    "\n"
    "Reads all of standard input as the record named by WORD: a record tag such as\n"
    "GOAL_RANGE, GOAL_INPUT, OPTIM_MODEL_INPUT or OPTIM_MODEL, a message type word such\n"
    "as OPTIM_ITER, STATUS, SIM_RESULT, OPTIM_COMPACT_ITERS or VARIABLE_VALUES, or a\n"
    "list name such as OPT_GOAL_INPUTS.\n"
    "\n"
    "roundtrip  writes the record back as its text (every token followed by one\n"
    "           space, as the wire has it), without a final newline.\n"
    "chunks     prints the chunks the simulator link would send, at most LIMIT bytes\n"
    "           each (default 5700), one per line: <index>/<count> <bytes>: <text>\n"
    "words      lists every WORD this tool knows.\n"
    "\n"
    "Exit status: 0 on success; 1 when the text does not read as the record (the\n"
    "reason goes to standard error and nothing to standard output); 2 for an\n"
    "unknown WORD or a usage error.\n";

int usage()
{
    std::fputs(kHelp, stderr);
    return 2;
}

QByteArray readStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    return in.readAll();
}

// Reads text as the record; on failure prints the reason and returns null.
std::unique_ptr<OptimSerializationIFC> readRecord(const QByteArray &word, const QByteArray &text)
{
    auto record = makeRecord(word);
    OptimSerialReader reader(text);
    record->deserialize(reader);
    if (reader.hasError()) {
        const qsizetype at = reader.errorOffset();
        QByteArray near = text.mid(at, 40).simplified();
        std::fprintf(stderr, "helmdeck-codec: the text is not a valid %s: unexpected text at byte %lld near \"%s\"\n",
                     word.constData(), static_cast<long long>(at), near.constData());
        return nullptr;
    }
    if (!reader.atEnd()) {
        const qsizetype at = text.size() - reader.remaining().size();
        std::fprintf(stderr, "helmdeck-codec: the text is not a valid %s: more text after its end at byte %lld\n",
                     word.constData(), static_cast<long long>(at));
        return nullptr;
    }
    return record;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && !std::strcmp(argv[1], "words")) {
        for (const QString &word : knownRecordWords())
            std::printf("%s\n", word.toLatin1().constData());
        return 0;
    }
    if (argc < 3)
        return usage();
    const QByteArray command(argv[1]);
    const QByteArray word(argv[2]);
    long limit = 5700;
    if (command == "chunks") {
        if (argc > 4)
            return usage();
        if (argc == 4) {
            char *end = nullptr;
            limit = std::strtol(argv[3], &end, 10);
            if (*argv[3] == '\0' || *end != '\0' || limit < 1) {
                std::fprintf(stderr, "helmdeck-codec: LIMIT must be a positive number of bytes\n");
                return 2;
            }
        }
    } else if (command != "roundtrip" || argc != 3) {
        return usage();
    }
    if (!makeRecord(word)) {
        std::fprintf(stderr, "helmdeck-codec: unknown record word \"%s\" (see: helmdeck-codec words)\n", word.constData());
        return 2;
    }

    const auto record = readRecord(word, readStandardInput());
    if (!record)
        return 1;
    OptimSerialWriter writer;
    record->serialize(writer);
    if (command == "roundtrip") {
        const QByteArray text = writer.joinedText();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }
    const QList<QByteArray> chunks = writer.chunks(limit);
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        std::printf("%lld/%lld %lld: ", static_cast<long long>(i + 1), static_cast<long long>(chunks.size()),
                    static_cast<long long>(chunks.at(i).size()));
        std::fwrite(chunks.at(i).constData(), 1, size_t(chunks.at(i).size()), stdout);
        std::fputc('\n', stdout);
    }
    return 0;
}
