// Runs the real helmdeck-codec executable: valid texts come back byte for
// byte, malformed ones are refused with exit status 1 and nothing written.

#include "model/optimizationmodel.h"
#include "samplemessages.h"

#include <QProcess>
#include <QTest>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result runCodec(const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    process.start(QStringLiteral(CODEC_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    Result r;
    if (!process.waitForFinished(30000))
        return r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

template <typename Record>
QByteArray textOf(const Record &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.joinedText();
}

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripReproducesValidText_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QByteArray>("text");
        OptimIter iter = sampleIteration({3, 2, 21, 4}, 5);
        iter.setCommandId(17);
        QTest::newRow("OPTIM_ITER") << "OPTIM_ITER" << textOf(iter);
        OptimIterSimResult result;
        result.iteration() = iter;
        QTest::newRow("SIM_RESULT") << "SIM_RESULT" << textOf(result);
        QTest::newRow("STATUS") << "STATUS" << textOf(OptimStatus(3, QStringLiteral("paused \"now\"\\")));
        const OptimModelInput input = sampleModelInput({2, 1, 1, 3});
        QTest::newRow("GOAL_RANGE") << "GOAL_RANGE" << QByteArray("START_GOAL_RANGE 1 \"0.5\" \"2\" END_GOAL_RANGE ");
        QTest::newRow("list") << "OPT_VAR_INPUTS" << textOf(input.variables());
        OptimIterCollapsedIterations batch;
        batch.setFirstIteration(2);
        batch.algorithmHistory().values() = QStringList{QStringLiteral("1")};
        QTest::newRow("OPTIM_COMPACT_ITERS") << "OPTIM_COMPACT_ITERS" << textOf(batch);
        OptimizationModel model;
        model.input() = input;
        QTest::newRow("OPTIM_MODEL") << "OPTIM_MODEL" << textOf(model);
    }

    void roundTripReproducesValidText()
    {
        QFETCH(QString, word);
        QFETCH(QByteArray, text);
        const Result r = runCodec({"roundtrip", word}, text);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, text);
        QVERIFY(r.err.isEmpty());
    }

    void rejectsMalformedText_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QByteArray>("text");
        const QByteArray status = textOf(OptimStatus(2, QStringLiteral("running")));
        QTest::newRow("wrong tag") << "STATUS" << QByteArray(status).replace("START_STATUS", "START_STATUX");
        QTest::newRow("other record") << "OPTIM_ITER" << status;
        QTest::newRow("trailing letters") << "STATUS" << QByteArray(status).replace(" 2 ", " 2x ");
        QTest::newRow("truncated") << "OPTIM_ITER" << textOf(sampleIteration({2, 1, 11, 2}, 1)).left(700);
        QTest::newRow("text after end") << "STATUS" << status + "START_STATUS";
        QTest::newRow("empty") << "STATUS" << QByteArray();
        QTest::newRow("huge count") << "OPT_VAR_INPUTS" << QByteArray("START_ARRAY_OPT_VAR_INPUTS 2000000000 garbage");
    }

    void rejectsMalformedText()
    {
        QFETCH(QString, word);
        QFETCH(QByteArray, text);
        const Result r = runCodec({"roundtrip", word}, text);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.startsWith("helmdeck-codec: the text is not a valid " + word.toLatin1()));
        QCOMPARE(r.err.count('\n'), 1);
    }

    void unknownWordAndUsage()
    {
        QCOMPARE(runCodec({"roundtrip", "NOT_A_RECORD"}, "x").exitCode, 2);
        QCOMPARE(runCodec({"frobnicate", "STATUS"}, "").exitCode, 2);
        QCOMPARE(runCodec({"chunks", "STATUS", "0"}, "").exitCode, 2);
        const Result help = runCodec({"--help"}, "");
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("roundtrip WORD"));
        QVERIFY(help.out.contains("chunks WORD [LIMIT]"));
    }

    void printsChunks()
    {
        const QByteArray text = textOf(OptimStatus(2, QStringLiteral("a b")));
        // "START_STATUS " (13) and "2 " (2) fit in 20; the string (6) would exceed it.
        const Result r = runCodec({"chunks", "STATUS", "20"}, text);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("1/2 15: START_STATUS 2 \n2/2 17: \"a b\" END_STATUS \n"));
        const Result whole = runCodec({"chunks", "STATUS"}, text);
        QCOMPARE(whole.out, "1/1 " + QByteArray::number(text.size()) + ": " + text + "\n");
    }
};

QTEST_APPLESS_MAIN(TestCodec)
#include "tst_codec.moc"
