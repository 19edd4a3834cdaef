#include "model/optiminputrecords.h"
#include "model/optimserialization.h"

#include <QTest>

class TestOptimSerialization : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesDoublesInShortestSixDigitForm_data();
    void writesDoublesInShortestSixDigitForm();
    void writesIntegersAndBooleans();
    void escapesOnlyQuoteAndBackslash_data();
    void escapesOnlyQuoteAndBackslash();
    void replacesCharactersOutsideLatin1();
    void writesWorkedExampleByteForByte();
    void writesEmptyArrayAsStartAndEnd();

    void readsIntegers_data();
    void readsIntegers();
    void readsDoubles_data();
    void readsDoubles();
    void readsBooleansExactly();
    void readsStrings_data();
    void readsStrings();
    void stringsSurviveRoundTrip_data();
    void stringsSurviveRoundTrip();
    void failedReadConsumesNothingAndSticks();
    void treatsNoBreakSpaceAsWhitespace();
    void recordWithWrongEndTagLeavesTargetUnchanged();
    void listWithHugeCountFailsWithoutAllocating();
    void readerJoinsBlocksAndStopsAtNul();

    void chunksBreakBetweenTokens();
    void chunksKeepOversizedTokenAlone();
    void chunksOfEmptyWriterAreNone();
};

void TestOptimSerialization::writesDoublesInShortestSixDigitForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("tenth") << 0.1 << QByteArray("0.1");
    QTest::newRow("two thirds") << 2.0 / 3.0 << QByteArray("0.666667");
    QTest::newRow("million") << 1e6 << QByteArray("1e+06");
    QTest::newRow("small") << 0.00001 << QByteArray("1e-05");
    QTest::newRow("limit of fixed") << 0.0001 << QByteArray("0.0001");
    QTest::newRow("six digits") << 123456.0 << QByteArray("123456");
    QTest::newRow("rounded to six") << 1234567.0 << QByteArray("1.23457e+06");
    QTest::newRow("negative fraction") << -0.001 << QByteArray("-0.001");
    QTest::newRow("huge") << 1e300 << QByteArray("1e+300");
    QTest::newRow("zero") << 0.0 << QByteArray("0");
    QTest::newRow("integral") << 100.0 << QByteArray("100");
    QTest::newRow("trailing zeros dropped") << 2.5 << QByteArray("2.5");
}

void TestOptimSerialization::writesDoublesInShortestSixDigitForm()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    OptimSerialWriter writer;
    writer.writeDouble(value);
    QCOMPARE(writer.tokenCount(), 1);
    QCOMPARE(writer.token(0).toByteArray(), text);
}

void TestOptimSerialization::writesIntegersAndBooleans()
{
    OptimSerialWriter writer;
    writer.writeInt(0);
    writer.writeInt(-42);
    writer.writeInt(2147483647);
    writer.writeInt(-2147483647 - 1);
    writer.writeBool(true);
    writer.writeBool(false);
    QCOMPARE(writer.joinedText(), QByteArray("0 -42 2147483647 -2147483648 YES NO "));
}

void TestOptimSerialization::escapesOnlyQuoteAndBackslash_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("token");
    QTest::newRow("empty") << QString() << QByteArray("\"\"");
    QTest::newRow("quote") << QStringLiteral("a\"b") << QByteArray("\"a\\\"b\"");
    QTest::newRow("trailing backslash") << QStringLiteral("ab\\") << QByteArray("\"ab\\\\\"");
    QTest::newRow("spaces and newline unchanged") << QStringLiteral("a b\n\tc") << QByteArray("\"a b\n\tc\"");
    QTest::newRow("latin1 byte") << QStringLiteral("5 \u00b5H") << QByteArray("\"5 \xb5H\"");
}

void TestOptimSerialization::escapesOnlyQuoteAndBackslash()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, token);
    OptimSerialWriter writer;
    writer.writeString(value);
    QCOMPARE(writer.token(0).toByteArray(), token);
}

void TestOptimSerialization::replacesCharactersOutsideLatin1()
{
    OptimSerialWriter writer;
    // A Greek omega and an emoji (a surrogate pair) cannot travel; each UTF-16
    // unit becomes '?', and the quotes still bracket the token.
    writer.writeString(QStringLiteral("1 k\u03a9 \U0001F600\""));
    QCOMPARE(writer.token(0).toByteArray(), QByteArray("\"1 k? ??\\\"\""));
    OptimSerialReader reader(writer.joinedText());
    QCOMPARE(reader.readString(), QStringLiteral("1 k? ??\""));
    QVERIFY(!reader.hasError());
}

void TestOptimSerialization::writesWorkedExampleByteForByte()
{
    OptimItemList<OptimGoalRange> list;
    list.append(OptimGoalRange(1, QStringLiteral("0.5"), QStringLiteral("2")));
    OptimSerialWriter writer;
    list.serialize(writer);
    QCOMPARE(writer.tokenCount(), 7);
    QCOMPARE(writer.token(0).toByteArray(), QByteArray("START_ARRAY_OPT_GOAL_RANGES 1"));
    QCOMPARE(writer.joinedText(),
             QByteArray("START_ARRAY_OPT_GOAL_RANGES 1 START_GOAL_RANGE 1 \"0.5\" \"2\" END_GOAL_RANGE "
                        "END_ARRAY_OPT_GOAL_RANGES "));
}

void TestOptimSerialization::writesEmptyArrayAsStartAndEnd()
{
    OptimSerialWriter writer;
    writer.writeStringList({});
    writer.writeDoubles({});
    QCOMPARE(writer.joinedText(), QByteArray("START_ARRAY_STRING 0 END_ARRAY_STRING START_ARRAY_VALUES 0 END_ARRAY_VALUES "));
    OptimSerialReader reader(writer.joinedText());
    QStringList strings{QStringLiteral("kept")};
    QList<double> values;
    reader.readStringList(strings);
    reader.readDoubles(values);
    QVERIFY(!reader.hasError());
    QCOMPARE(strings, QStringList{QStringLiteral("kept")});  // elements are appended
    QVERIFY(values.isEmpty());
    QVERIFY(reader.atEnd());
}

void TestOptimSerialization::readsIntegers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QByteArray("  12  ") << true << 12;
    QTest::newRow("negative") << QByteArray("-7") << true << -7;
    QTest::newRow("plus sign") << QByteArray("+7") << true << 7;
    QTest::newRow("minimum") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("overflow") << QByteArray("2147483648") << false << 0;
    QTest::newRow("fraction") << QByteArray("1.5") << false << 0;
    QTest::newRow("trailing letters") << QByteArray("12abc") << false << 0;
    QTest::newRow("double sign") << QByteArray("+-3") << false << 0;
    QTest::newRow("empty") << QByteArray("   ") << false << 0;
    QTest::newRow("hex") << QByteArray("0x10") << false << 0;
}

void TestOptimSerialization::readsIntegers()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    OptimSerialReader reader(text);
    QCOMPARE(reader.readInt(), value);
    QCOMPARE(reader.hasError(), !ok);
}

void TestOptimSerialization::readsDoubles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("exponent") << QByteArray("1e+300") << true << 1e300;
    QTest::newRow("negative fraction") << QByteArray("-0.001") << true << -0.001;
    QTest::newRow("integer form") << QByteArray("42") << true << 42.0;
    QTest::newRow("trailing letters") << QByteArray("1.5abc") << false << 0.0;
    QTest::newRow("comma decimal") << QByteArray("1,5") << false << 0.0;
    QTest::newRow("overflow") << QByteArray("1e400") << false << 0.0;
    QTest::newRow("lone exponent") << QByteArray("1e") << false << 0.0;
    QTest::newRow("word") << QByteArray("YES") << false << 0.0;
}

void TestOptimSerialization::readsDoubles()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    OptimSerialReader reader(text);
    QCOMPARE(reader.readDouble(), value);
    QCOMPARE(reader.hasError(), !ok);
}

void TestOptimSerialization::readsBooleansExactly()
{
    OptimSerialReader reader("YES NO");
    QCOMPARE(reader.readBool(), true);
    QCOMPARE(reader.readBool(), false);
    QVERIFY(!reader.hasError());
    OptimSerialReader lower("yes");
    lower.readBool();
    QVERIFY(lower.hasError());
    OptimSerialReader one("1");
    one.readBool();
    QVERIFY(one.hasError());
}

void TestOptimSerialization::readsStrings_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("rest");
    QTest::newRow("simple") << QByteArray("  \"abc\"  next") << true << QStringLiteral("abc") << QByteArray("next");
    QTest::newRow("empty") << QByteArray("\"\"") << true << QString() << QByteArray();
    QTest::newRow("no escape letters") << QByteArray("\"a\\nb\"") << true << QStringLiteral("anb") << QByteArray();
    QTest::newRow("escaped quote") << QByteArray("\"a\\\"b\" x") << true << QStringLiteral("a\"b") << QByteArray("x");
    QTest::newRow("spaces inside") << QByteArray("\"a  b\"") << true << QStringLiteral("a  b") << QByteArray();
    QTest::newRow("latin1") << QByteArray("\"\xe9t\xe9\"") << true << QStringLiteral("\u00e9t\u00e9") << QByteArray();
    QTest::newRow("unterminated") << QByteArray("\"abc") << false << QString() << QByteArray("\"abc");
    QTest::newRow("backslash at end") << QByteArray("\"ab\\") << false << QString() << QByteArray("\"ab\\");
    QTest::newRow("no quote") << QByteArray("abc") << false << QString() << QByteArray("abc");
    QTest::newRow("empty buffer") << QByteArray() << false << QString() << QByteArray();
    QTest::newRow("whitespace only") << QByteArray(" \t\n") << false << QString() << QByteArray(" \t\n");
}

void TestOptimSerialization::readsStrings()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(QString, value);
    QFETCH(QByteArray, rest);
    OptimSerialReader reader(text);
    QCOMPARE(reader.readString(), value);
    QCOMPARE(reader.hasError(), !ok);
    QCOMPARE(reader.remaining().toByteArray(), rest);
}

void TestOptimSerialization::stringsSurviveRoundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << QString();
    QTest::newRow("lone backslash") << QStringLiteral("\\");
    QTest::newRow("line feeds") << QStringLiteral("first\nsecond\n");
    QTest::newRow("quotes and escapes") << QStringLiteral("say \"\\n\" twice");
    QTest::newRow("all latin1") << [] {
        QString s;
        for (int c = 1; c < 256; ++c)
            s.append(QChar(c));
        return s;
    }();
}

void TestOptimSerialization::stringsSurviveRoundTrip()
{
    QFETCH(QString, value);
    OptimSerialWriter writer;
    writer.writeString(value);
    writer.writeString(value);
    OptimSerialReader reader(writer.joinedText());
    QCOMPARE(reader.readString(), value);
    QCOMPARE(reader.readString(), value);
    QVERIFY(!reader.hasError());
    QVERIFY(reader.atEnd());
}

void TestOptimSerialization::failedReadConsumesNothingAndSticks()
{
    OptimSerialReader reader("START_A abc 5 END_A");
    QVERIFY(reader.readStart("A"));
    QCOMPARE(reader.readInt(), 0);
    QVERIFY(reader.hasError());
    QCOMPARE(reader.remaining().toByteArray(), QByteArray("abc 5 END_A"));
    // Every later read fails without consuming, even one that would match.
    QCOMPARE(reader.readString(), QString());
    QVERIFY(!reader.readStart("abc"));
    QCOMPARE(reader.remaining().toByteArray(), QByteArray("abc 5 END_A"));
}

void TestOptimSerialization::treatsNoBreakSpaceAsWhitespace()
{
    OptimSerialReader reader(QByteArray("START_A\xa0" "7\x0b" "END_A"));
    QVERIFY(reader.readStart("A"));
    QCOMPARE(reader.readInt(), 7);
    QVERIFY(reader.readEnd("A"));
    QVERIFY(!reader.hasError());
}

void TestOptimSerialization::recordWithWrongEndTagLeavesTargetUnchanged()
{
    OptimGoalRange target(3, QStringLiteral("x"), QStringLiteral("y"));
    OptimSerialReader reader("START_GOAL_RANGE 1 \"0.5\" \"2\" END_GOAL_LIMIT START_GOAL_RANGE 2 \"\" \"\" END_GOAL_RANGE");
    target.deserialize(reader);
    QVERIFY(reader.hasError());
    QCOMPARE(target, OptimGoalRange(3, QStringLiteral("x"), QStringLiteral("y")));
    // A well-formed record behind the fault is not read either.
    target.deserialize(reader);
    QCOMPARE(target.index(), 3);
}

void TestOptimSerialization::listWithHugeCountFailsWithoutAllocating()
{
    OptimItemList<OptimVarInput> list;
    OptimVarInput kept;
    kept.setNetlistName(QStringLiteral("C1"));
    list.append(kept);
    OptimSerialReader reader("START_ARRAY_OPT_VAR_INPUTS 2000000000 garbage");
    list.deserialize(reader);
    QVERIFY(reader.hasError());
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.at(0).netlistName(), QStringLiteral("C1"));

    QStringList strings;
    OptimSerialReader stringReader("START_ARRAY_STRING 2147483647 \"a\" \"b\" END_ARRAY_STRING");
    stringReader.readStringList(strings);
    QVERIFY(stringReader.hasError());
    QList<double> values;
    OptimSerialReader valueReader("START_ARRAY_VALUES 2000000000 1 2 x");
    valueReader.readDoubles(values);
    QVERIFY(valueReader.hasError());
    QVERIFY(values.size() <= 2);
}

void TestOptimSerialization::readerJoinsBlocksAndStopsAtNul()
{
    const QList<QByteArray> blocks{QByteArray("START_GOAL_RANGE 4 "), QByteArray("\"1\" \"2\" ", 8),
                                   QByteArray("END_GOAL_RANGE \0ignored", 23)};
    OptimSerialReader reader(blocks);
    OptimGoalRange range;
    range.deserialize(reader);
    QVERIFY(!reader.hasError());
    QCOMPARE(range, OptimGoalRange(4, QStringLiteral("1"), QStringLiteral("2")));
    QVERIFY(reader.atEnd());
}

void TestOptimSerialization::chunksBreakBetweenTokens()
{
    OptimSerialWriter writer;
    writer.writeStart("AAA");      // 9 bytes + space = 10
    writer.writeString(QStringLiteral("x y"));  // 5 + 1 = 6
    writer.writeInt(12345);        // 5 + 1 = 6
    writer.writeEnd("AAA");        // 7 + 1 = 8
    const QList<QByteArray> chunks = writer.chunks(16);
    QCOMPARE(chunks, (QList<QByteArray>{"START_AAA \"x y\" ", "12345 END_AAA "}));
    QCOMPARE(chunks.join(), writer.joinedText());
    // A limit one byte short moves the string into the next chunk.
    QCOMPARE(writer.chunks(15), (QList<QByteArray>{"START_AAA ", "\"x y\" 12345 ", "END_AAA "}));
}

void TestOptimSerialization::chunksKeepOversizedTokenAlone()
{
    OptimSerialWriter writer;
    writer.writeInt(1);
    writer.writeString(QString(20, QLatin1Char('z')));
    writer.writeInt(2);
    const QList<QByteArray> chunks = writer.chunks(10);
    QCOMPARE(chunks.size(), 3);
    QCOMPARE(chunks.at(0), QByteArray("1 "));
    QCOMPARE(chunks.at(1).size(), 23);
    QCOMPARE(chunks.at(2), QByteArray("2 "));
}

void TestOptimSerialization::chunksOfEmptyWriterAreNone()
{
    OptimSerialWriter writer;
    QVERIFY(writer.chunks(5700).isEmpty());
    QVERIFY(writer.joinedText().isEmpty());
}

QTEST_APPLESS_MAIN(TestOptimSerialization)
#include "tst_optimserialization.moc"
