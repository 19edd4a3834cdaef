// The record text: tokens written and read byte for byte, malformed text
// refused without touching the target, chunks; every record and message
// reading back what it wrote; the rules the records carry.

#include "model/optimdecimalread.h"
#include "model/optimgeneralformat.h"
#include "model/optimizationmodel.h"
#include "samplemessages.h"

#include <QFile>
#include <QTest>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

template <typename Record>
QByteArray textOf(const Record &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.joinedText();
}

// serialize -> deserialize -> serialize: the record reads back equal and
// writes the same bytes again.
template <typename Record>
void checkRoundTrip(const Record &record)
{
    const QByteArray text = textOf(record);
    OptimSerialReader reader(text);
    Record read;
    read.deserialize(reader);
    QVERIFY2(!reader.hasError(), text.left(200).constData());
    QVERIFY(reader.atEnd());
    QVERIFY(read == record);
    QCOMPARE(textOf(read), text);
}

OptimAlgOutput sampleAlgorithmOutput()
{
    OptimAlgOutput a;
    a.setStatus(6);
    a.setSimulationOk(false);
    a.setIsBestError(true);
    a.setStoppingReason(QStringLiteral("Error \"goal\" reached"));
    a.setErrorText(QStringLiteral("0.125"));
    a.setIterationText(QStringLiteral("17"));
    a.setErrorDetail(QStringLiteral("0.1"));
    a.setExtraText(QStringLiteral("extra\\text"));
    a.setMaxIterationsText(QStringLiteral("250"));
    return a;
}

OptimGoalHistory sampleGoalHistory()
{
    OptimGoalHistory history;
    history.values() = QStringList{QStringLiteral("1"), QStringLiteral("0.5")};
    history.setInitialTraces(sampleIteration({1, 2, 3, 1}, 0).goals().at(0).traces());
    history.setTracesBeforeTuning(sampleIteration({1, 1, 4, 1}, 2).goals().at(0).traces());
    return history;
}

OptimTrace makeTrace(const QList<double> &x, const QList<double> &y, const QList<double> &aux = {})
{
    OptimTrace trace;
    trace.xValues() = OptimTraceValues(x);
    trace.yValues() = OptimTraceValues(y);
    trace.auxValues() = OptimTraceValues(aux);
    return trace;
}

} // namespace

class TestOptimRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesTokens_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("token");
        QTest::newRow("tenth") << QVariant(0.1) << QByteArray("0.1");
        QTest::newRow("two thirds") << QVariant(2.0 / 3.0) << QByteArray("0.666667");
        QTest::newRow("million") << QVariant(1e6) << QByteArray("1e+06");
        QTest::newRow("small") << QVariant(0.00001) << QByteArray("1e-05");
        QTest::newRow("limit of fixed") << QVariant(0.0001) << QByteArray("0.0001");
        QTest::newRow("rounded to six") << QVariant(1234567.0) << QByteArray("1.23457e+06");
        QTest::newRow("integral double") << QVariant(100.0) << QByteArray("100");
        QTest::newRow("rounds up to 1e6") << QVariant(999999.5) << QByteArray("1e+06");
        QTest::newRow("stays below 1e-4") << QVariant(0.0000999999) << QByteArray("9.99999e-05");
        QTest::newRow("rounds up to 1e-4") << QVariant(0.00009999995) << QByteArray("0.0001");
        QTest::newRow("tie to even down") << QVariant(1234565.0) << QByteArray("1.23456e+06");
        QTest::newRow("tie to even up") << QVariant(-1234575.0) << QByteArray("-1.23458e+06");
        QTest::newRow("negative zero") << QVariant(-0.0) << QByteArray("-0");
        QTest::newRow("subnormal") << QVariant(4.9e-324) << QByteArray("4.94066e-324");
        QTest::newRow("largest") << QVariant(std::numeric_limits<double>::max()) << QByteArray("1.79769e+308");
        QTest::newRow("infinite") << QVariant(-std::numeric_limits<double>::infinity()) << QByteArray("-inf");
        QTest::newRow("smallest int") << QVariant(-2147483647 - 1) << QByteArray("-2147483648");
        QTest::newRow("true") << QVariant(true) << QByteArray("YES");
        QTest::newRow("false") << QVariant(false) << QByteArray("NO");
        QTest::newRow("empty string") << QVariant(QString()) << QByteArray("\"\"");
        QTest::newRow("quote") << QVariant(QStringLiteral("a\"b")) << QByteArray("\"a\\\"b\"");
        QTest::newRow("trailing backslash") << QVariant(QStringLiteral("ab\\")) << QByteArray("\"ab\\\\\"");
        QTest::newRow("blanks unchanged") << QVariant(QStringLiteral("a b\n\tc")) << QByteArray("\"a b\n\tc\"");
        QTest::newRow("latin1 byte") << QVariant(QStringLiteral("5 \u00b5H")) << QByteArray("\"5 \xb5H\"");
        // Each UTF-16 unit outside Latin-1 becomes '?'.
        QTest::newRow("outside latin1") << QVariant(QStringLiteral("1 k\u03a9 \U0001F600")) << QByteArray("\"1 k? ??\"");
    }
    void writesTokens()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, token);
        OptimSerialWriter writer;
        switch (value.typeId()) {
        case QMetaType::Double: writer.writeDouble(value.toDouble()); break;
        case QMetaType::Int: writer.writeInt(value.toInt()); break;
        case QMetaType::Bool: writer.writeBool(value.toBool()); break;
        default: writer.writeString(value.toString()); break;
        }
        QCOMPARE(writer.tokenCount(), 1);
        QCOMPARE(writer.token(0).toByteArray(), token);
    }

    // The six-digit formatter writes what to_chars writes where rounding is
    // hardest, and a unit in the last place either side, with either sign.
    void formatsSixDigitsAsToChars_data()
    {
        QTest::addColumn<double>("value");
        for (int p = -5; p <= 22; ++p) {
            for (const char *mantissa : {"1", "9.999995", "1.000005"}) {
                const QByteArray text = mantissa + QByteArray("e") + QByteArray::number(p);
                QTest::newRow(text.constData()) << std::strtod(text.constData(), nullptr);
            }
        }
        for (const char *text : {"0.1234565", "1234565", "2.5e-7", "12345.65", "999999.5", "0.0000999999", "4.9e-324",
                                 "2.2250738585072009e-308", "2.2250738585072014e-308", "1.7976931348623157e+308",
                                 "1e-22", "9.999995e31", "inf", "nan", "0", "5.29e-23", "5.3e-23", "1.62e32",
                                 "1.63e32"})
            QTest::newRow(text) << std::strtod(text, nullptr);
    }
    void formatsSixDigitsAsToChars()
    {
        QFETCH(double, value);
        const double inf = std::numeric_limits<double>::infinity();
        for (const double v : {std::nextafter(value, -inf), value, std::nextafter(value, inf)}) {
            for (const double signed_ : {v, -v}) {
                char expected[32];
                char actual[32];
                const char *expectedEnd
                    = std::to_chars(expected, expected + 32, signed_, std::chars_format::general, 6).ptr;
                const char *actualEnd = optimFormatGeneral6(actual, actual + 32, signed_);
                QCOMPARE(QByteArray(actual, actualEnd - actual), QByteArray(expected, expectedEnd - expected));
            }
        }
    }

    // The record reader's number reader reads what from_chars reads: value
    // bits, end and error, the value left alone where that leaves it alone;
    // with text behind (its eight-byte windows) and without. length: where
    // it stops, -1 when refused; value: the literal expectation, if any.
    void readsNumbersAsFromChars_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<double>("value");
        const double none = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("six digits") << QByteArray("-1.23457e-05") << 12 << -1.23457e-05;
        QTest::newRow("leading zeros") << QByteArray("0.000434294") << 11 << 0.000434294;
        QTest::newRow("lone exponent mark") << QByteArray("1e+") << 1 << 1.0;
        QTest::newRow("no fraction digits") << QByteArray("1.e5") << 4 << 1e5;
        QTest::newRow("hex") << QByteArray("0x1p3") << 1 << 0.0;
        QTest::newRow("plus") << QByteArray("+1") << -1 << none;
        QTest::newRow("too large") << QByteArray("1e400") << -1 << none;
        QTest::newRow("2^53 + 1") << QByteArray("9007199254740993") << 16 << 9007199254740992.0;
        for (const char *text : {"", "-", ".", "-.", ".5", "00012", "-0", "0e400", "1e-400", "4.9e-324", "1e22", "1e23",
                                 "2.2250738585072009e-308", "123456789012345e-22", "9007199254740993e22", "12345678.9",
                                 "1e0000000000000000000001", "inf", "-nan", "infinity", "1,5"})
            QTest::newRow(*text ? text : "empty") << QByteArray(text) << -2 << none;
    }
    void readsNumbersAsFromChars()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, length);
        QFETCH(double, value);
        for (const QByteArray &buffer : {text, text + " 1.5 2.5 3.5"}) {
            const char *first = buffer.constData();
            const char *last = first + buffer.size();
            double expected = -42.0;
            double actual = -42.0;
            const auto e = std::from_chars(first, last, expected, std::chars_format::general);
            const auto a = optimReadDecimal(first, last, actual);
            QCOMPARE(a.ptr - first, e.ptr - first);
            QCOMPARE(int(a.ec), int(e.ec));
            QCOMPARE(std::bit_cast<quint64>(actual), std::bit_cast<quint64>(expected));
            if (length != -2)
                QCOMPARE(a.ec == std::errc() ? a.ptr - first : -1, qsizetype(length));
            if (!std::isnan(value))
                QCOMPARE(actual, value);
        }
    }

    // A values array reads every number as from_chars does, most of them
    // from the eight-byte words of the quick path (which needs 32 bytes of
    // text behind a number: the tail), the rest the general way, and stops
    // where it did before. failsAt: the word the read fails at, "" for the
    // end of the text, null for none.
    void readsValuesArrays_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QByteArray>("failsAt");
        const QByteArray tail = " END_ARRAY_VALUES START_THE_REST_IS_LEFT_ALONE";
        QTest::newRow("quick shapes") << "START_ARRAY_VALUES 14 -37.2459 1.01e+08 -0.0123457 1e+06 42 -0 0.000434294 1e-05 "
                                         "-1.23457e-05 123456 12345.6 9.99999e+22 0.00000001 -0.5e-22" + tail
                                      << QList<double>{-37.2459, 1.01e+08, -0.0123457, 1e+06, 42, -0.0, 0.000434294, 1e-05,
                                                       -1.23457e-05, 123456, 12345.6, 9.99999e+22, 1e-08, -0.5e-22}
                                      << QByteArray();
        QTest::newRow("more quick shapes") << "START_ARRAY_VALUES 12 12. -1234567 1234567. 1.e-05 -0.e+05 123456.e+02 "
                                              "2.5e-00 -7e+17 4.56e-09 0.00100e+12 -9.87654e-16 3e+22" + tail
                                           << QList<double>{12, -1234567, 1234567, 1e-05, -0.0, 12345600, 2.5, -7e+17,
                                                            4.56e-09, 1e+09, -9.87654e-16, 3e+22}
                                           << QByteArray();
        QTest::newRow("general shapes") << "START_ARRAY_VALUES 12 1e+23 1e-23 1234567 1.234567 0.00000000001 1E+05 1.5e+100 "
                                           "1.01e+080 0. 1.e5 .5 00012" + tail
                                        << QList<double>{1e+23, 1e-23, 1234567, 1.234567, 1e-11, 1e+05, 1.5e+100, 1.01e+80, 0,
                                                         1e5, 0.5, 12}
                                        << QByteArray();
        QTest::newRow("plus and separators") << "START_ARRAY_VALUES 6 +1.5 -2.5\t3.5  4.5\n5.5\xa0" "6.5" + tail
                                             << QList<double>{1.5, -2.5, 3.5, 4.5, 5.5, 6.5} << QByteArray();
        QTest::newRow("end right behind") << QByteArray("START_ARRAY_VALUES 9 1.5 2.5 3.5 4.5 5.5 6.5 7.5 8.5 9.5")
                                          << QList<double>{1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5} << QByteArray("");
        QTest::newRow("count beyond") << "START_ARRAY_VALUES 3 1.5 2.5 " + tail << QList<double>{1.5, 2.5}
                                      << QByteArray("END_ARRAY_VALUES");
        QTest::newRow("wrong end") << QByteArray("START_ARRAY_VALUES 2 1.5 2.5  END_ARRAY_VALUEZ START_THE_REST_IS_LEFT_ALONE")
                                   << QList<double>{1.5, 2.5} << QByteArray("END_ARRAY_VALUEZ");
        for (const char *bad : {"1.5x", "1e+08x", "-37.2459,1", "1e+", "1.2.3", "1e+08\x01", "0.0x", "1e)05", "1e/05", "1e+0:",
                                "1e-?9", "1e*05", "1.5.e+05"})
            QTest::newRow(bad) << "START_ARRAY_VALUES 3 1.5 " + QByteArray(bad) + " 2.5" + tail << QList<double>{1.5}
                               << QByteArray(bad);
    }
    void readsValuesArrays()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<double>, values);
        QFETCH(QByteArray, failsAt);
        OptimSerialReader reader(text);
        QList<double> read{0.25};
        reader.readDoubles(read);
        QCOMPARE(reader.errorOffset(), failsAt.isNull() ? -1 : failsAt.isEmpty() ? text.size() : text.indexOf(failsAt));
        values.prepend(0.25);
        QCOMPARE(read, values);
        for (qsizetype i = 0; i < values.size(); ++i)
            QCOMPARE(std::bit_cast<quint64>(read[i]), std::bit_cast<quint64>(values[i]));
    }

    void writesRecordTextByteForByte()
    {
        OptimItemList<OptimGoalRange> list;
        list.append(OptimGoalRange(1, QStringLiteral("0.5"), QStringLiteral("2")));
        QCOMPARE(textOf(list), QByteArray("START_ARRAY_OPT_GOAL_RANGES 1 START_GOAL_RANGE 1 \"0.5\" \"2\" END_GOAL_RANGE "
                                          "END_ARRAY_OPT_GOAL_RANGES "));
        // Every field in its place: the definitions the helmdeck opens with
        // and an iteration, as the simulator reads and writes them.
        QCOMPARE(textOf(sampleModelInput({1, 1, 1, 1})),
                 QByteArray("START_OPTIM_MODEL_INPUT START_ALG_INPUT \"Optim1\" \"Lowpass optimization\" 2 NO START_ARRAY_STRING 0 "
                            "END_ARRAY_STRING START_ARRAY_STRING 0 END_ARRAY_STRING \"100\" END_ALG_INPUT START_ARRAY_OPT_GOAL_INPUTS 1 "
                            "START_GOAL_INPUT \"Goal1\" \"dB(S21)\" \"SP1\" \"1\" START_ARRAY_STRING 1 \"freq\" END_ARRAY_STRING "
                            "START_ARRAY_STRING 1 \"GHz\" END_ARRAY_STRING START_ARRAY_OPT_GOAL_LIMIT_INPUTS 1 START_GOAL_LIMIT "
                            "\"passband\" 0 \"-1\" \"\" YES -1 NO 0 \"\" START_ARRAY_OPT_GOAL_RANGES 1 START_GOAL_RANGE 0 \"0.1\" \"1\" "
                            "END_GOAL_RANGE END_ARRAY_OPT_GOAL_RANGES END_GOAL_LIMIT END_ARRAY_OPT_GOAL_LIMIT_INPUTS END_GOAL_INPUT "
                            "END_ARRAY_OPT_GOAL_INPUTS START_ARRAY_OPT_VAR_INPUTS 1 START_VAR_INPUT \"L1.L\" \"L1\" YES YES \"10\" "
                            "\"nH\" 1 \"1\" \"100\" \"\" END_VAR_INPUT END_ARRAY_OPT_VAR_INPUTS END_OPTIM_MODEL_INPUT "));
        QCOMPARE(textOf(sampleIteration({1, 1, 2, 1}, 3)),
                 QByteArray("START_OPTIM_ITER -1 START_ALG_OUTPUT 2 YES YES \"\" \"2.5\" \"3\" \"2.25\" \"\" \"100\" END_ALG_OUTPUT "
                            "START_ARRAY_OPT_GOAL_OUTPUTS 1 START_GOAL_OUTPUT \"0.25\" \"0.5\" START_GOAL_TRACES "
                            "START_GOAL_TRACE_INDEP_VAR \"freq\" \"GHz\" END_GOAL_TRACE_INDEP_VAR START_ARRAY_OPT_GOAL_TRACE_INDEP_VARS 0 "
                            "END_ARRAY_OPT_GOAL_TRACE_INDEP_VARS NO START_TRACE_VALUES START_ARRAY_VALUES 0 END_ARRAY_VALUES "
                            "END_TRACE_VALUES START_ARRAY_OPT_GOAL_TRACES 1 START_GOAL_TRACE NO START_TRACE_VALUES START_ARRAY_VALUES 2 "
                            "1e+08 2.1e+09 END_ARRAY_VALUES END_TRACE_VALUES START_TRACE_VALUES START_ARRAY_VALUES 0 END_ARRAY_VALUES "
                            "END_TRACE_VALUES START_TRACE_VALUES START_ARRAY_VALUES 2 -7.27429e-06 -37.2459 END_ARRAY_VALUES "
                            "END_TRACE_VALUES END_GOAL_TRACE END_ARRAY_OPT_GOAL_TRACES END_GOAL_TRACES START_ARRAY_OPT_GOAL_LIMIT_OUTPUTS 1 "
                            "START_GOAL_LIMIT_OUTPUT \"0.25\" END_GOAL_LIMIT_OUTPUT END_ARRAY_OPT_GOAL_LIMIT_OUTPUTS END_GOAL_OUTPUT "
                            "END_ARRAY_OPT_GOAL_OUTPUTS START_ARRAY_OPT_VAR_OUTPUTS 1 START_VAR_OUTPUT \"10.03\" END_VAR_OUTPUT "
                            "END_ARRAY_OPT_VAR_OUTPUTS END_OPTIM_ITER "));
        QCOMPARE(textOf(OptimIterVariableValues()),
                 QByteArray("START_VARIABLE_VALUES -1 START_ARRAY_STRING 0 END_ARRAY_STRING END_VARIABLE_VALUES "));
        QCOMPARE(textOf(OptimStatus(2, QStringLiteral("a \"b\""))), QByteArray("START_STATUS 2 \"a \\\"b\\\"\" END_STATUS "));
        OptimIterCollapsedIterations batch;
        QVERIFY(textOf(batch).startsWith("START_OPTIM_COMPACT_ITERS -1 YES -1 START_ALG_OUTPUT "));
        QCOMPARE(QByteArray(batch.messageType()), QByteArray("OPTIM_COMPACT_ITERS"));
        QCOMPARE(OptimIterGoalDefinitions::typeWord(), QByteArray("GOAL_DEFINITIONS"));
        QCOMPARE(optimIncomingType("OPTIM_NO_PROGRESS"), OptimIncomingType::NoProgress);
        QCOMPARE(optimIncomingType("VARIABLE_VALUES"), OptimIncomingType::None);
        QCOMPARE(optimIncomingType("optim_iter"), OptimIncomingType::None);
    }

    void readsTokens_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVariant>("value"); // null: the read fails
        QTest::addColumn<QByteArray>("rest");
        QTest::newRow("int") << QByteArray("  12  next") << QVariant(12) << QByteArray("next");
        QTest::newRow("int plus sign") << QByteArray("+7") << QVariant(7) << QByteArray();
        QTest::newRow("int minimum") << QByteArray("-2147483648") << QVariant(-2147483647 - 1) << QByteArray();
        QTest::newRow("int overflow") << QByteArray("2147483648") << QVariant(QMetaType(QMetaType::Int)) << QByteArray("2147483648");
        QTest::newRow("int fraction") << QByteArray("1.5") << QVariant(QMetaType(QMetaType::Int)) << QByteArray("1.5");
        QTest::newRow("int double sign") << QByteArray("+-3") << QVariant(QMetaType(QMetaType::Int)) << QByteArray("+-3");
        QTest::newRow("int hex") << QByteArray("0x10") << QVariant(QMetaType(QMetaType::Int)) << QByteArray("0x10");
        QTest::newRow("int empty") << QByteArray("   ") << QVariant(QMetaType(QMetaType::Int)) << QByteArray("   ");
        QTest::newRow("double") << QByteArray("-1e+300") << QVariant(-1e300) << QByteArray();
        QTest::newRow("double letters") << QByteArray("1.5abc") << QVariant(QMetaType(QMetaType::Double)) << QByteArray("1.5abc");
        QTest::newRow("double comma") << QByteArray("1,5") << QVariant(QMetaType(QMetaType::Double)) << QByteArray("1,5");
        QTest::newRow("double six digits") << QByteArray("-1.23457e-05 x") << QVariant(-1.23457e-05) << QByteArray("x");
        QTest::newRow("double lone exponent mark") << QByteArray("1e x") << QVariant(QMetaType(QMetaType::Double)) << QByteArray("1e x");
        QTest::newRow("double overflow") << QByteArray("1e400") << QVariant(QMetaType(QMetaType::Double)) << QByteArray("1e400");
        QTest::newRow("double word") << QByteArray("YES") << QVariant(QMetaType(QMetaType::Double)) << QByteArray("YES");
        QTest::newRow("double no-break space") << QByteArray("2.5\xa0next") << QVariant(2.5) << QByteArray("next");
        QTest::newRow("double NUL") << QByteArray("1.5\0 x", 6) << QVariant(QMetaType(QMetaType::Double)) << QByteArray("1.5\0 x", 6);
        QTest::newRow("lone plus") << QByteArray("+ 5") << QVariant(QMetaType(QMetaType::Int)) << QByteArray("+ 5");
        QTest::newRow("empty string") << QByteArray("\"\" x") << QVariant(QStringLiteral("")) << QByteArray("x");
        QTest::newRow("bool") << QByteArray("NO") << QVariant(false) << QByteArray();
        QTest::newRow("bool lower case") << QByteArray("yes") << QVariant(QMetaType(QMetaType::Bool)) << QByteArray("yes");
        QTest::newRow("bool digit") << QByteArray("1") << QVariant(QMetaType(QMetaType::Bool)) << QByteArray("1");
        QTest::newRow("string") << QByteArray("\"a\\\"b\" x") << QVariant(QStringLiteral("a\"b")) << QByteArray("x");
        QTest::newRow("no escape letters") << QByteArray("\"a\\nb\"") << QVariant(QStringLiteral("anb")) << QByteArray();
        QTest::newRow("latin1") << QByteArray("\"\xe9t\xe9\"") << QVariant(QStringLiteral("\u00e9t\u00e9")) << QByteArray();
        QTest::newRow("unterminated") << QByteArray("\"abc") << QVariant(QMetaType(QMetaType::QString)) << QByteArray("\"abc");
        QTest::newRow("backslash at end") << QByteArray("\"ab\\") << QVariant(QMetaType(QMetaType::QString)) << QByteArray("\"ab\\");
        QTest::newRow("no quote") << QByteArray("abc") << QVariant(QMetaType(QMetaType::QString)) << QByteArray("abc");
        QTest::newRow("empty buffer") << QByteArray() << QVariant(QMetaType(QMetaType::QString)) << QByteArray();
    }
    void readsTokens()
    {
        QFETCH(QByteArray, text);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, rest);
        OptimSerialReader reader(text);
        QVariant read;
        switch (value.typeId()) {
        case QMetaType::Int: read = reader.readInt(); break;
        case QMetaType::Double: read = reader.readDouble(); break;
        case QMetaType::Bool: read = reader.readBool(); break;
        default: read = reader.readString(); break;
        }
        QCOMPARE(reader.hasError(), value.isNull());
        if (!value.isNull())
            QCOMPARE(read, value);
        QCOMPARE(reader.remaining().toByteArray(), rest);
    }

    void stringsSurviveRoundTrip()
    {
        QString all;
        for (int c = 1; c < 256; ++c)
            all.append(QChar(c));
        for (const QString &value : {QString(), QStringLiteral("\\"), QStringLiteral("say \"\\n\" twice\n"), all}) {
            OptimSerialWriter writer;
            writer.writeString(value);
            writer.writeString(value);
            OptimSerialReader reader(writer.joinedText());
            QCOMPARE(reader.readString(), value);
            QCOMPARE(reader.readString(), value);
            QVERIFY(!reader.hasError() && reader.atEnd());
        }
    }

    // A history gives back every text exactly, reads plain numbers as the
    // graphs do, and travels as the string list.
    void historyValuesKeepEveryText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");  // NaN: a gap
        QTest::addColumn<bool>("unread");
        const double gap = qQNaN();
        for (const char *t : {"1.5e+06", "1500000", "100000", "1e+05", "0.000123457", "-0", "1e-320", "1.50", " 1", "1 "})
            QTest::newRow(t) << QString::fromLatin1(t) << std::strtod(t, nullptr) << false;
        // Texts the layout alone decides and their near misses.
        for (const char *t : {"-2.5e-30", "-1e+25", "9.99999e+06", "0.0001", "0.00001", "1e-05", "123456789012345",
                              "1234567890123456", "0.30000000000000004", "2.2250738585072014e-308",
                              "1.7976931348623157e+308", "5e-324", "22222222222222222222",
                              "0.22222222222222222222", "1E+05", "1e+5", "1e+005", "1.", ".5", "00", "0.10"})
            QTest::newRow(t) << QString::fromLatin1(t) << std::strtod(t, nullptr) << false;
        for (const char *t : {"inf", "nan", "", " "})
            QTest::newRow(t) << QString::fromLatin1(t) << gap << false;
        for (const char *t : {"14.66p", "2 pF", "10 nH", "abc", "+1", "1e999", "-3e-30 pF", "1e+ pF"})
            QTest::newRow(t) << QString::fromLatin1(t) << gap << true;
        QTest::newRow("not Latin-1") << QStringLiteral("1\u00b5") << gap << true;
    }

    void historyValuesKeepEveryText()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(bool, unread);
        const QStringList texts{QStringLiteral("0.5"), text, QStringLiteral("100000"), text};
        OptimHistoryValues values(texts);
        QCOMPARE(values.toStringList(), texts);
        QCOMPARE(values.unreadCount(), unread ? 2 : 0);
        const double read = values.numbers().at(3);
        QVERIFY2(std::isnan(number) ? std::isnan(read) : read == number, qPrintable(QString::number(read)));
        values.removeLast();
        values.removeLast();
        values << QStringLiteral("100000") << text;
        QVERIFY(values == OptimHistoryValues(texts));
        OptimHistoryValues twice(texts);
        twice.append(values);
        QCOMPARE(twice.toStringList(), texts + texts);
        QCOMPARE(twice.unreadCount(), unread ? 4 : 0);

        OptimSerialWriter asList;
        OptimSerialWriter asHistory;
        asList.field(texts);
        asHistory.field(values);
        QCOMPARE(asHistory.joinedText(), asList.joinedText());
        OptimSerialReader reader(asList.joinedText());
        OptimHistoryValues back;
        reader.field(back);
        QVERIFY(!reader.hasError() && back == values);
    }

    void failedReadConsumesNothingAndSticks()
    {
        OptimSerialReader reader("START_A abc 5 END_A");
        QVERIFY(reader.readStart("A"));
        QCOMPARE(reader.readInt(), 0);
        QVERIFY(reader.hasError());
        // Every later read fails without consuming, even one that would match.
        QCOMPARE(reader.readString(), QString());
        QVERIFY(!reader.readStart("abc"));
        QCOMPARE(reader.remaining().toByteArray(), QByteArray("abc 5 END_A"));
        OptimSerialReader blanks(QByteArray("START_A\xa0" "7\x0b" "END_A"));
        QVERIFY(blanks.readStart("A") && blanks.readInt() == 7 && blanks.readEnd("A") && !blanks.hasError());
    }

    void malformedRecordsLeaveTargetUnchanged()
    {
        OptimGoalRange target(3, QStringLiteral("x"), QStringLiteral("y"));
        OptimSerialReader reader("START_GOAL_RANGE 1 \"0.5\" \"2\" END_GOAL_LIMIT START_GOAL_RANGE 2 \"\" \"\" END_GOAL_RANGE");
        target.deserialize(reader);
        QVERIFY(reader.hasError());
        QCOMPARE(target, OptimGoalRange(3, QStringLiteral("x"), QStringLiteral("y")));
        target.deserialize(reader); // a well-formed record behind the fault is not read either
        QCOMPARE(target.index(), 3);
        OptimItemList<OptimVarInput> list;
        list.append(OptimVarInput());
        list[0].setNetlistName(QStringLiteral("C1"));
        OptimSerialReader huge("START_ARRAY_OPT_VAR_INPUTS 2000000000 garbage");
        list.deserialize(huge);
        QVERIFY(huge.hasError());
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.at(0).netlistName(), QStringLiteral("C1"));
        QStringList strings{QStringLiteral("kept")};
        OptimSerialReader hugeStrings("START_ARRAY_STRING 2147483647 \"a\" \"b\" END_ARRAY_STRING");
        hugeStrings.readStringList(strings);
        QVERIFY(hugeStrings.hasError());
        QList<double> values;
        OptimSerialReader hugeValues("START_ARRAY_VALUES 2000000000 1 2 x");
        hugeValues.readDoubles(values);
        QVERIFY(hugeValues.hasError());
        QCOMPARE(values, QList<double>({1, 2}));  // the room made for the count given back
        OptimIterSimResult result;
        result.iteration() = sampleIteration({1, 1, 2, 1}, 1);
        const QByteArray text = textOf(result);
        QVERIFY(text.startsWith("START_SIM_RESULT START_OPTIM_ITER ") && text.endsWith("END_OPTIM_ITER END_SIM_RESULT "));
        for (const QByteArray &broken : {QByteArray(text).replace("END_OPTIM_ITER", "END_OPTIM_ITEM"), text.left(text.size() / 2),
                                         QByteArray(text).replace("END_OPTIM_ITER ", "END_OPTIM_ITERS "),
                                         QByteArray(text).replace("END_OPTIM_ITER ", "END_OPTIM_ITE ")}) {
            OptimIterSimResult read;
            OptimSerialReader r(broken);
            read.deserialize(r);
            QVERIFY(r.hasError());
            QCOMPARE(read, OptimIterSimResult());
        }
    }

    void readerJoinsBlocksAndStopsAtNul()
    {
        OptimSerialReader reader(QList<QByteArray>{"START_GOAL_RANGE 4 ", QByteArray("\"1\" \"2\" ", 8),
                                                   QByteArray("END_GOAL_RANGE \0ignored", 23)});
        OptimGoalRange range;
        range.deserialize(reader);
        QVERIFY(!reader.hasError() && reader.atEnd());
        QCOMPARE(range, OptimGoalRange(4, QStringLiteral("1"), QStringLiteral("2")));
        OptimSerialWriter empty;
        empty.writeStringList({});
        OptimSerialReader emptyReader(empty.joinedText());
        QStringList strings{QStringLiteral("kept")};
        emptyReader.readStringList(strings);
        QCOMPARE(strings, QStringList{QStringLiteral("kept")}); // elements are appended
        QVERIFY(!emptyReader.hasError() && emptyReader.atEnd());
    }

    void chunksBreakBetweenTokens()
    {
        OptimSerialWriter writer;
        writer.writeStart("AAA");                  // 9 bytes + space = 10
        writer.writeString(QStringLiteral("x y")); // 5 + 1 = 6
        writer.writeInt(12345);                    // 5 + 1 = 6
        writer.writeEnd("AAA");                    // 7 + 1 = 8
        QCOMPARE(writer.chunks(16), (QList<QByteArray>{"START_AAA \"x y\" ", "12345 END_AAA "}));
        QCOMPARE(writer.chunks(15), (QList<QByteArray>{"START_AAA ", "\"x y\" 12345 ", "END_AAA "}));
        // A token longer than the limit forms a chunk of its own.
        OptimSerialWriter oversized;
        oversized.writeInt(1);
        oversized.writeString(QString(20, QLatin1Char('z')));
        oversized.writeInt(2);
        const QList<QByteArray> chunks = oversized.chunks(10);
        QCOMPARE(chunks.size(), 3);
        QCOMPARE(chunks.at(1).size(), 23);
        QCOMPARE(chunks.join(), oversized.joinedText());
        QVERIFY(OptimSerialWriter().chunks(5700).isEmpty());
        // At every limit the cut is the plain walk's: tokens are taken while
        // their sizes plus one fit; one too long for the limit goes alone; a
        // token ending in a line feed has no space but costs as much.
        OptimSerialWriter mixed;
        mixed.writeStart("LF\n");
        mixed.writeDoubles({1.5, -2e-7, 300});
        mixed.writeString(QString(12, QLatin1Char('q')));
        mixed.writeEnd("LF\n");
        mixed.writeBool(true);
        for (qsizetype limit = -1; limit <= mixed.joinedText().size() + 1; ++limit) {
            QList<QByteArray> expected{QByteArray()};
            qsizetype cost = 0;
            for (const QByteArray &token : mixed.tokens()) {
                if (cost > 0 && cost + token.size() + 1 > limit) {
                    expected.append(QByteArray());
                    cost = 0;
                }
                expected.last() += token.endsWith('\n') ? token : token + ' ';
                cost += token.size() + 1;
            }
            QCOMPARE(mixed.chunks(limit), expected);
        }
    }

    void recordsRoundTrip()
    {
        checkRoundTrip(sampleModelInput({3, 1, 1, 4}));
        OptimGoalLimitInput twoValues;
        twoValues.setOutside(QStringLiteral("-3.5"), QStringLiteral("1e-3"));
        twoValues.setWeight(QStringLiteral("2"));
        twoValues.ranges().append(OptimGoalRange(0, QString(), QStringLiteral("5")));
        checkRoundTrip(twoValues);
        OptimAlgInput algorithm;
        algorithm.setLabel(QStringLiteral("label with \"quotes\""));
        algorithm.setAlgorithmType(12);
        algorithm.setFlag(true);
        algorithm.setFirstList({QStringLiteral("a"), QString()});
        algorithm.setSecondList({QStringLiteral("b c")});
        checkRoundTrip(algorithm);
        OptimVarInput variable;
        variable.setOptimizeFlagSet(false);
        variable.setValue(QStringLiteral("2.2 pF"));
        variable.setDiscrete(QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("0.5"));
        checkRoundTrip(variable);
        OptimTraceFamily family;
        family.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("Hz")));
        family.otherIndepVars().append(OptimTraceVar(QStringLiteral("temp"), QStringLiteral("C")));
        family.setFlag(true);
        family.sweepValues() = OptimTraceValues{25.0, 85.0};
        family.traces().append(makeTrace({1.0, 2.0}, {-1.5, -2.25}, {25.0, 25.0}));
        family.traces()[0].setFlag(true);
        checkRoundTrip(family);
        // Trace data keeps six significant digits on the wire.
        OptimSerialReader reader(textOf(OptimTraceValues{1.23456789, -9.87654321e-12}));
        OptimTraceValues read;
        read.deserialize(reader);
        QCOMPARE(read.values(), (QList<double>{1.23457, -9.87654e-12}));
        OptimizationModel model;
        model.input() = sampleModelInput({2, 1, 3, 2});
        model.output().algorithm() = sampleAlgorithmOutput();
        const OptimIter iter = sampleIteration({2, 1, 3, 2}, 1);
        model.output().goals() = iter.goals();
        model.output().variables() = iter.variables();
        model.history().algorithm().values() = QStringList{QStringLiteral("2"), QStringLiteral("1")};
        model.history().goals().append(sampleGoalHistory());
        OptimVarHistory varHistory;
        varHistory.values() = QStringList{QStringLiteral("1n"), QStringLiteral("2n")};
        varHistory.setValueBeforeTuning(QStringLiteral("1.5n"));
        model.history().variables().append(varHistory);
        checkRoundTrip(model);
    }

    void messagesRoundTrip()
    {
        // The simulator's own OPTIM_ITER text reads and writes back to the byte,
        // and its chunks join to the same text.
        QFile file(QFINDTESTDATA("../../examples/messages/optim_iter.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray example = file.readAll();
        OptimSerialReader exampleReader(example);
        OptimIter exampleIter;
        exampleIter.deserialize(exampleReader);
        OptimSerialWriter writer;
        exampleIter.serialize(writer);
        QCOMPARE(writer.joinedText(), example);
        QCOMPARE(writer.chunks(64).join(), example);
        checkRoundTrip(OptimStatus(3, QStringLiteral("Paused by \"user\"\n")));
        OptimIter iter = sampleIteration({3, 1, 7, 5}, 9);
        iter.setCommandId(42);
        checkRoundTrip(iter);
        OptimIterSimResult result;
        result.iteration() = iter;
        checkRoundTrip(result);
        OptimIterNoProgress noProgress;
        noProgress.setCommandId(7);
        noProgress.algorithm() = sampleAlgorithmOutput();
        checkRoundTrip(noProgress);
        OptimIterCollapsedIterations batch;
        batch.setCommandId(3);
        batch.setEndsWithNoProgress(false);
        batch.setFirstIteration(4);
        batch.algorithm() = iter.algorithm();
        batch.goals() = iter.goals();
        batch.variables() = iter.variables();
        batch.algorithmHistory().values() = QStringList{QStringLiteral("3"), QStringLiteral("2")};
        batch.goalHistories().append(sampleGoalHistory());
        checkRoundTrip(batch);
        OptimGoalLimitHistory limitHistory;
        limitHistory.values() = QStringList{QStringLiteral("0.5")};
        checkRoundTrip(limitHistory);
        OptimIterVariableValues values;
        values.setCommandId(11);
        values.setValues({QStringLiteral("1n"), QString(), QStringLiteral("3 pF")});
        checkRoundTrip(values);
        const OptimModelInput input = sampleModelInput({2, 1, 1, 2});
        OptimIterVariableDefinitions varDefs;
        varDefs.variables() = input.variables();
        checkRoundTrip(varDefs);
        OptimIterGoalDefinitions goalDefs;
        goalDefs.goals() = input.goals();
        checkRoundTrip(goalDefs);
        OptimIterAlgorithmDefinition algDef;
        algDef.setCommandId(14);
        algDef.algorithm() = input.algorithm();
        checkRoundTrip(algDef);
    }

    void readingGoalResetsUnserializedFields()
    {
        OptimGoalInput goal = sampleModelInput({1, 1, 1, 0}).goals().at(0);
        const QByteArray text = textOf(goal);
        goal.setItemTypeName(QStringLiteral("other"));
        goal.setInDesign(false);
        goal.setDesignItem(QStringLiteral("Goal1"), QStringLiteral("item"));
        goal.setExtraParameterNames({QStringLiteral("x")});
        OptimSerialReader reader(text);
        goal.deserialize(reader);
        QVERIFY(!reader.hasError());
        QCOMPARE(goal.itemTypeName(), QStringLiteral("zeb_simulation:Goal"));
        QVERIFY(goal.inDesign());
        QVERIFY(goal.designItemName().isEmpty());
        QVERIFY(goal.extraParameterNames().isEmpty());
    }

    void limitValuesAndBounds_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::newRow("GreaterThan") << 0 << "1" << "";
        QTest::newRow("LessThan") << 1 << "" << "1";
        QTest::newRow("EqualTo") << 2 << "1" << "1";
        QTest::newRow("Inside") << 3 << "1" << "2";
        QTest::newRow("Outside") << 4 << "1" << "2";
    }
    void limitValuesAndBounds()
    {
        QFETCH(int, type);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        OptimGoalLimitInput limit;
        limit.setLimit(type, QStringLiteral("1"), QStringLiteral("2"));
        QCOMPARE(limit.lowerBoundText(), lower);
        QCOMPARE(limit.upperBoundText(), upper);
        QCOMPARE(optimLimitTypeFromText(optimLimitTypeText(type)), type);
        // A one-value type keeps no second value.
        QCOMPARE(limit.secondValueValid(), type >= LimitInside);
        QCOMPARE(limit.secondValue(), type >= LimitInside ? 2.0 : 0.0);
        limit.setLimit(type, QStringLiteral("abc"), QString());
        QVERIFY(!limit.firstValueValid() && !limit.secondValueValid());
        QCOMPARE(limit.firstValueText(), QStringLiteral("abc"));
        QCOMPARE(limit.firstValue(), 0.0);
    }

    void rangesAndIndependentVariables()
    {
        const OptimGoalRange open;
        QVERIFY(open.lowerValue() == -1e300 && open.upperValue() == 1e300 && !open.hasLowerBound());
        const OptimGoalRange bad(0, QStringLiteral("x"), QStringLiteral("3"));
        QVERIFY(bad.lowerValue() == 0.0 && bad.upperValue() == 3.0);
        OptimGoalInput goal;
        for (const char *name : {"freq", "temp", "vdd"})
            goal.addIndepVar(QString::fromLatin1(name));
        goal.setIndepVarUnit(2, QStringLiteral("V"));
        OptimGoalLimitInput limit;
        for (int i = 0; i < 3; ++i)
            limit.ranges().append(OptimGoalRange(i, QString::number(i), QString()));
        goal.limits().append(limit);
        goal.limits().append(limit);
        goal.removeIndepVar(0);
        QCOMPARE(goal.indepVarNames(), (QStringList{QStringLiteral("temp"), QStringLiteral("vdd")}));
        QCOMPARE(goal.indepVarUnits(), (QStringList{QString(), QStringLiteral("V")}));
        for (const OptimGoalLimitInput &l : goal.limits()) {
            QCOMPARE(l.ranges().count(), 2);
            QCOMPARE(l.ranges().at(1), OptimGoalRange(1, QStringLiteral("2"), QString()));
        }
        QVERIFY(!goal.limits().at(0).rangeForIndex(2).has_value());
    }

    void limitAppliesAtChecksOtherVariablesOnly()
    {
        OptimGoalInput goal;
        goal.addIndepVar(QStringLiteral("temp"));
        goal.addIndepVar(QStringLiteral("freq"));
        OptimGoalLimitInput limit;
        limit.ranges().append(OptimGoalRange(0, QStringLiteral("0"), QStringLiteral("50"))); // temp
        limit.ranges().append(OptimGoalRange(1, QStringLiteral("1"), QStringLiteral("2")));  // freq: swept axis
        goal.limits().append(limit);
        OptimTraceFamily family;
        family.otherIndepVars().append(OptimTraceVar(QStringLiteral("temp"), QString()));
        family.otherIndepVars().append(OptimTraceVar(QStringLiteral("freq"), QString()));
        QVERIFY(goal.limitAppliesAt(0, family, {25.0, 100.0})); // freq outside its range is ignored
        QVERIFY(!goal.limitAppliesAt(0, family, {85.0, 1.5}));
        QVERIFY(goal.limitAppliesAt(0, family, {50.0, 1.5})); // bounds are inclusive
        QVERIFY(goal.limitAppliesAt(0, family, {}));          // missing data is skipped, not read past
        QVERIFY(goal.limitAppliesAt(5, family, {85.0, 1.5}));
    }

    void traceFamilyBounds()
    {
        OptimTraceFamily family;
        QCOMPARE(family.maxPoint(), QPointF());
        family.traces().append(makeTrace({1.0, 3.0}, {-2.0, 5.0}));
        family.traces().append(makeTrace({0.5, 2.0, 9.0}, {1.0, 7.0})); // shorter: the third x has no y
        QCOMPARE(family.minPoint(), QPointF(0.5, -2.0));
        QCOMPARE(family.maxPoint(), QPointF(3.0, 7.0));
        family.traces().removeAt(1); // changing the traces recomputes the bounds
        QCOMPARE(family.maxPoint(), QPointF(3.0, 5.0));
    }
};

QTEST_APPLESS_MAIN(TestOptimRecords)
#include "tst_optimrecords.moc"
