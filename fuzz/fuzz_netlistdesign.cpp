// The netlist design reader: any bytes as a design file. A file it reads
// must give statements whose byte spans lie in the file, in order, without
// a line end inside a span's last line; every place it gives names the
// file. Messages of the JSON reader, here taken from the input itself, are
// placed without a crash.

#include "designfile/netlistdesign.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = QStringLiteral("f.cir");
    NetlistDesign d;
    QString error;
    if (!NetlistDesign::read(bytes, name, d, &error)) {
        if (!error.startsWith(name + QLatin1Char(':')) || !d.statements.isEmpty())
            std::abort();
        return 0;
    }
    qsizetype previous = 0;
    for (const NetlistStatement &s : std::as_const(d.statements)) {
        if (s.begin < previous || s.end < s.begin || s.end > bytes.size() || s.line < 2)
            std::abort();
        const QByteArray text = bytes.mid(s.begin, s.end - s.begin);
        if (text.endsWith('\n') || text.endsWith('\r') || text.startsWith(' '))
            std::abort();
        if (s.kind == NetlistStatement::SpecLimit && (s.goal < 0 || d.statements.at(s.goal).kind != NetlistStatement::Goal))
            std::abort();
        previous = s.end;
    }
    for (const QByteArray &line : bytes.split('\n').mid(0, 8)) {
        if (!d.placed(QString::fromUtf8(line)).startsWith(name) || !d.placeOf(QString::fromUtf8(line)).startsWith(name))
            std::abort();
    }
    return 0;
}
