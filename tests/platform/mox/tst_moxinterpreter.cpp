// The MOX stand-in behind MoxIFC: vocabularies and module lookup, argument
// access, making and reading values, host objects, and the count of handles
// handed out and not yet given back.

#include "moxinterpreter.h"

#include <QTest>

#include <stdexcept>

namespace {

// Evaluates and answers the printed form; fails the test on an error.
QByteArray run(MoxInterpreter &mox, const QByteArray &module, const QByteArray &text)
{
    QString error;
    const QByteArray out = mox.evaluateToText(module, text, &error);
    if (!error.isEmpty())
        return "ERROR " + error.toUtf8();
    return out;
}

MoxWord answering(MoxInterpreter &mox, const QByteArray &name, const QByteArray &answer)
{
    return MoxWord::functionWord(name, [&mox, answer](const MoxArgs *) { return mox.makeString(answer); });
}

} // namespace

class TestMoxInterpreter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionInAcceptedRange();
    void constantAndFunctionWords();
    void lookupOrder();
    void reregistrationReplaces();
    void malformedTablesRegisterNothing_data();
    void malformedTablesRegisterNothing();
    void staleConstantIsRefused();
    void argumentTypes();
    void argumentAsType();
    void readersAreStrict();
    void makeAndPrint();
    void listElements();
    void hostObjects();
    void wordAnsweringNothing();
    void wordAnsweringStaleHandle();
    void wordThrowing();
    void reentrantEvaluation();
    void runawayRecursionStops();
    void wordReplacingItselfWhileRunning();
    void closeCallbackScenario();
    void liveCountAndMisuse();
};

void TestMoxInterpreter::versionInAcceptedRange()
{
    MoxInterpreter mox;
    QVERIFY(mox.version() >= 1001 && mox.version() <= 1999);
    mox.setVersion(2000);
    QCOMPARE(mox.version(), 2000);
}

void TestMoxInterpreter::constantAndFunctionWords()
{
    MoxInterpreter mox;
    const QList<MoxWord> table = {
        MoxWord::constantWord("optimHelmdeck_pluginLoaded", mox.makeInteger(1)),
        MoxWord::functionWord("twice", [&mox](const MoxArgs *args) -> MoxValue * {
            MoxValue *arg = nullptr;
            if (!mox.argumentAs(args, 0, mox.integerType(), arg))
                return nullptr;
            qint64 n = 0;
            mox.readInt(arg, n);
            mox.release(arg);
            return mox.makeInteger(2 * n);
        }),
    };
    QVERIFY(mox.registerVocabulary("CmdOp", table));
    QCOMPARE(mox.liveValues(), 0);  // the constant went to the interpreter

    QCOMPARE(run(mox, "CmdOp", "optimHelmdeck_pluginLoaded"), QByteArray("1"));
    QCOMPARE(run(mox, "Host", R"(find_word("optimHelmdeck_pluginLoaded"))"), QByteArray("1"));
    QCOMPARE(run(mox, "CmdOp", "twice(21)"), QByteArray("42"));
    QCOMPARE(run(mox, "CmdOp", "twice(twice(-3));"), QByteArray("-12"));
    QCOMPARE(run(mox, "CmdOp", R"(twice("x"))"), QByteArray("NULL"));
    QCOMPARE(run(mox, "CmdOp", "list(optimHelmdeck_pluginLoaded, twice)"),
             QByteArray("list(1, twice)"));
    QCOMPARE(run(mox, "CmdOp", "optimHelmdeck_pluginLoaded()"),
             QByteArray("ERROR position 1: 'optimHelmdeck_pluginLoaded' is not a function"));
    QVERIFY(mox.hasWord("CmdOp", "twice"));
    QVERIFY(!mox.hasWord("CmdOp", "thrice"));
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::lookupOrder()
{
    MoxInterpreter mox;
    QVERIFY(mox.registerVocabulary("Host", {answering(mox, "who", "host"), answering(mox, "host_only", "h")}));
    QVERIFY(mox.registerVocabulary("CmdOp", {answering(mox, "who", "plugin"), answering(mox, "list", "shadow")}));

    // The evaluation's module first.
    QCOMPARE(run(mox, "Host", "who()"), QByteArray(R"("host")"));
    QCOMPARE(run(mox, "CmdOp", "who()"), QByteArray(R"("plugin")"));
    // A module's word shadows the global one in that module only.
    QCOMPARE(run(mox, "CmdOp", "list(1)"), QByteArray(R"("shadow")"));
    QCOMPARE(run(mox, "Host", "list(1)"), QByteArray("list(1)"));
    // Then the global module, then the others in order of registration.
    QCOMPARE(run(mox, "Elsewhere", "who()"), QByteArray(R"("host")"));
    QCOMPARE(run(mox, "Elsewhere", "list(1)"), QByteArray("list(1)"));
    QCOMPARE(run(mox, "CmdOp", "host_only()"), QByteArray(R"("h")"));
    // A function word's value remembers the module it came from.
    QCOMPARE(run(mox, "CmdOp", R"(find_word("who"))"), QByteArray("who"));
    MoxValue *ref = mox.evaluate("CmdOp", "who");
    MoxValue *answer = mox.invoke(ref, {});
    QCOMPARE(mox.printed(answer), QByteArray(R"("plugin")"));
    mox.release(answer);
    mox.release(ref);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::reregistrationReplaces()
{
    MoxInterpreter mox;
    QVERIFY(mox.registerVocabulary("CmdOp", {answering(mox, "a", "first"), answering(mox, "b", "kept")}));
    QVERIFY(mox.registerVocabulary("CmdOp", {answering(mox, "a", "second")}));
    QCOMPARE(run(mox, "CmdOp", "a()"), QByteArray(R"("second")"));
    QCOMPARE(run(mox, "CmdOp", "b()"), QByteArray(R"("kept")"));
}

void TestMoxInterpreter::malformedTablesRegisterNothing_data()
{
    QTest::addColumn<QByteArray>("badName");
    QTest::addColumn<int>("shape");  // 0 good function, 1 neither, 2 both

    QTest::newRow("duplicate name") << QByteArray("good") << 0;
    QTest::newRow("empty name") << QByteArray("") << 0;
    QTest::newRow("name with blank") << QByteArray("bad name") << 0;
    QTest::newRow("name starting with digit") << QByteArray("1word") << 0;
    QTest::newRow("keyword as name") << QByteArray("TRUE") << 0;
    QTest::newRow("neither constant nor function") << QByteArray("empty") << 1;
    QTest::newRow("both constant and function") << QByteArray("both") << 2;
}

void TestMoxInterpreter::malformedTablesRegisterNothing()
{
    QFETCH(QByteArray, badName);
    QFETCH(int, shape);

    MoxInterpreter mox;
    MoxWord bad = answering(mox, badName, "x");
    if (shape == 1)
        bad.function = nullptr;
    if (shape == 2)
        bad.constant = mox.makeInteger(5);
    const QList<MoxWord> table = {
        MoxWord::constantWord("constant", mox.makeString("c")),
        answering(mox, "good", "g"),
        bad,
    };
    QVERIFY(!mox.registerVocabulary("CmdOp", table));
    QVERIFY(!mox.hasWord("CmdOp", "good"));
    QVERIFY(!mox.hasWord("CmdOp", "constant"));
    QCOMPARE(run(mox, "CmdOp", "constant"), QByteArray("NULL"));
    // The constants were handed over even though the registration failed.
    QCOMPARE(mox.liveValues(), 0);
    QCOMPARE(mox.misuseCount(), 0);
}

void TestMoxInterpreter::staleConstantIsRefused()
{
    MoxInterpreter mox;
    MoxValue *value = mox.makeInteger(1);
    mox.release(value);
    QVERIFY(!mox.registerVocabulary("CmdOp", {MoxWord::constantWord("loaded", value)}));
    QCOMPARE(mox.misuseCount(), 1);
    QVERIFY(!mox.hasWord("CmdOp", "loaded"));
}

void TestMoxInterpreter::argumentTypes()
{
    MoxInterpreter mox;
    const MoxTypeId widget = mox.registerObjectType("QtWidget");
    int dummy = 0;
    QList<MoxTypeId> seen;
    QVERIFY(mox.registerVocabulary("Host", {MoxWord::functionWord("widget", [&](const MoxArgs *) {
        return mox.makeObject(widget, &dummy);
    })}));
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("probe", [&](const MoxArgs *args) {
        for (int i = -1; i <= 6; ++i)
            seen.append(mox.argumentType(args, i));
        return nullptr;
    })}));
    QCOMPARE(run(mox, "CmdOp", R"(probe("s", 5, TRUE, NULL, list(1), widget()))"), QByteArray("NULL"));
    const QList<MoxTypeId> expected = {0, mox.stringType(), mox.integerType(), mox.boolType(), 0,
                                       mox.parameterListType(), widget, 0};
    QCOMPARE(seen, expected);
    QVERIFY(mox.argumentType(nullptr, 0) == 0);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::argumentAsType()
{
    MoxInterpreter mox;
    QStringList log;
    auto probe = [&](const MoxArgs *args) -> MoxValue * {
        const QList<std::pair<const char *, MoxTypeId>> types = {
            {"string", mox.stringType()}, {"integer", mox.integerType()},
            {"bool", mox.boolType()}, {"list", mox.parameterListType()}};
        for (int i = 0; i < 5; ++i) {
            for (const auto &[name, type] : types) {
                MoxValue *value = reinterpret_cast<MoxValue *>(0x1);  // must be cleared on failure
                const bool ok = mox.argumentAs(args, i, type, value);
                if (!ok) {
                    if (value)
                        log << QStringLiteral("%1 as %2: failed but left a value").arg(i).arg(name);
                    continue;
                }
                log << QStringLiteral("%1 as %2: %3").arg(i).arg(name).arg(QString::fromUtf8(mox.printed(value)));
                mox.release(value);
            }
        }
        return mox.makeTrue();
    };
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("probe", probe)}));
    QCOMPARE(run(mox, "CmdOp", R"(probe("s", 5, 0, FALSE, list("a")))"), QByteArray("TRUE"));
    const QStringList expected = {
        QStringLiteral("0 as string: \"s\""),
        QStringLiteral("1 as integer: 5"),
        QStringLiteral("1 as bool: TRUE"),
        QStringLiteral("2 as integer: 0"),
        QStringLiteral("2 as bool: FALSE"),
        QStringLiteral("3 as bool: FALSE"),
        QStringLiteral("4 as list: list(\"a\")"),
    };
    QCOMPARE(log, expected);
    QCOMPARE(mox.liveValues(), 0);
    QCOMPARE(mox.misuseCount(), 0);
}

void TestMoxInterpreter::readersAreStrict()
{
    MoxInterpreter mox;
    MoxValue *text = mox.makeString("12");
    MoxValue *number = mox.makeInteger(12);
    MoxValue *zero = mox.makeInteger(0);
    MoxValue *no = mox.makeFalse();
    MoxValue *list = mox.makeList({});

    // Values of another type leave the output untouched.
    QByteArray bytes = "untouched";
    qint64 n = -1;
    bool flag = true;
    QVERIFY(!mox.readText(number, bytes) && !mox.readText(list, bytes) && !mox.readText(nullptr, bytes));
    QVERIFY(!mox.readInt(text, n) && !mox.readInt(no, n));
    QVERIFY(!mox.readBool(text, flag) && !mox.readBool(list, flag));
    QCOMPARE(bytes, QByteArray("untouched"));
    QCOMPARE(n, qint64(-1));
    QCOMPARE(flag, true);

    QVERIFY(mox.readText(text, bytes));
    QCOMPARE(bytes, QByteArray("12"));
    QVERIFY(mox.readInt(number, n));
    QCOMPARE(n, qint64(12));
    QVERIFY(mox.readBool(zero, flag));
    QCOMPARE(flag, false);
    QVERIFY(mox.readBool(number, flag));
    QCOMPARE(flag, true);
    QVERIFY(mox.readBool(no, flag));
    QCOMPARE(flag, false);

    for (MoxValue *v : {text, number, zero, no, list})
        mox.release(v);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::makeAndPrint()
{
    MoxInterpreter mox;
    MoxValue *list = mox.makeList({mox.makeString("a\"b\\c"), mox.makeInteger(-3), mox.makeTrue(), mox.makeFalse(),
                                   nullptr, mox.makeList({}), mox.makeList({mox.makeString("")})});
    QCOMPARE(mox.liveValues(), 1);
    QCOMPARE(mox.printed(list), QByteArray(R"(list("a\"b\\c", -3, TRUE, FALSE, NULL, list(), list("")))"));
    QCOMPARE(mox.printed(nullptr), QByteArray("NULL"));
    mox.release(list);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::listElements()
{
    MoxInterpreter mox;
    MoxValue *info = mox.evaluate("CmdOp", R"(list(list(2, "g1"), list("Expr", 1, list("e")), NULL))");
    QVERIFY(info);
    QCOMPARE(mox.typeOf(info), mox.parameterListType());
    QCOMPARE(mox.listSize(info), 3);

    MoxValue *header = mox.listElement(info, 0);
    QCOMPARE(mox.listSize(header), 2);
    MoxValue *count = mox.listElement(header, 0);
    qint64 n = 0;
    QVERIFY(mox.readInt(count, n));
    QCOMPARE(n, qint64(2));
    QCOMPARE(mox.liveValues(), 3);

    QVERIFY(mox.listElement(info, 2) == nullptr);   // a NULL entry
    QVERIFY(mox.listElement(info, 3) == nullptr);   // past the end
    QVERIFY(mox.listElement(info, -1) == nullptr);
    QVERIFY(mox.listElement(count, 0) == nullptr);  // not a list
    QCOMPARE(mox.listSize(count), -1);
    QCOMPARE(mox.listSize(nullptr), -1);

    // Elements outlive the list they came from.
    mox.release(info);
    mox.release(header);
    QVERIFY(mox.readInt(count, n));
    mox.release(count);
    QCOMPARE(mox.liveValues(), 0);

    // A list made by the caller reads back the same way.
    MoxValue *made = mox.makeList({mox.makeString("Weight"), mox.makeInteger(1), mox.makeList({mox.makeString("1.0")})});
    MoxValue *values = mox.listElement(made, 2);
    MoxValue *first = mox.listElement(values, 0);
    QByteArray text;
    QVERIFY(mox.readText(first, text));
    QCOMPARE(text, QByteArray("1.0"));
    for (MoxValue *v : {made, values, first})
        mox.release(v);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::hostObjects()
{
    MoxInterpreter mox;
    QCOMPARE(mox.findType("QtWidget"), 0);
    const MoxTypeId widget = mox.registerObjectType("QtWidget");
    QVERIFY(widget != 0);
    QCOMPARE(mox.findType("QtWidget"), widget);
    QCOMPARE(mox.registerObjectType("QtWidget"), widget);
    const MoxTypeId other = mox.registerObjectType("Design");
    QVERIFY(other != 0 && other != widget);
    QCOMPARE(mox.registerObjectType("string"), 0);
    QCOMPARE(mox.registerObjectType("NULL"), 0);
    QCOMPARE(mox.registerObjectType("bad name"), 0);
    QCOMPARE(mox.typeName(widget), QByteArray("QtWidget"));

    int target = 0;
    QVERIFY(mox.makeObject(widget, nullptr) == nullptr);
    QVERIFY(mox.makeObject(mox.stringType(), &target) == nullptr);
    QVERIFY(mox.makeObject(999, &target) == nullptr);

    MoxValue *object = mox.makeObject(widget, &target);
    QCOMPARE(mox.typeOf(object), widget);
    QCOMPARE(mox.printed(object), QByteArray("<QtWidget>"));
    QCOMPARE(mox.objectPointer(object, widget), static_cast<void *>(&target));
    QVERIFY(mox.objectPointer(object, other) == nullptr);
    MoxValue *text = mox.makeString("x");
    QVERIFY(mox.objectPointer(text, widget) == nullptr);
    mox.release(text);

    // Through a plug-in word and back: the word checks the type before use.
    void *received = nullptr;
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("take", [&](const MoxArgs *args) -> MoxValue * {
        MoxValue *arg = nullptr;
        if (!mox.argumentAs(args, 0, widget, arg))
            return mox.makeFalse();
        received = mox.objectPointer(arg, widget);
        return arg;
    })}));
    QVERIFY(mox.registerVocabulary("Host", {MoxWord::functionWord("the_widget", [&](const MoxArgs *) {
        return mox.makeObject(widget, &target);
    })}));
    QCOMPARE(run(mox, "Host", "take(the_widget())"), QByteArray("<QtWidget>"));
    QCOMPARE(received, static_cast<void *>(&target));
    QCOMPARE(run(mox, "Host", "take(list(the_widget()))"), QByteArray("FALSE"));
    QCOMPARE(run(mox, "Host", "list(the_widget(), 1)"), QByteArray("list(<QtWidget>, 1)"));
    mox.release(object);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::wordAnsweringNothing()
{
    MoxInterpreter mox;
    int calls = 0;
    QVERIFY(mox.registerVocabulary("Host", {MoxWord::functionWord("nothing", [&](const MoxArgs *) {
        ++calls;
        return nullptr;
    })}));
    QVERIFY(mox.evaluate("CmdOp", "desim_unknown_anyway") == nullptr);
    QVERIFY(mox.evaluate("CmdOp", "nothing()") == nullptr);
    QCOMPARE(mox.lastError(), QString());
    QCOMPARE(calls, 1);
    QCOMPARE(run(mox, "CmdOp", "list(nothing(), nothing())"), QByteArray("list(NULL, NULL)"));
    QCOMPARE(calls, 3);
}

void TestMoxInterpreter::wordAnsweringStaleHandle()
{
    MoxInterpreter mox;
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("sloppy", [&](const MoxArgs *) {
        MoxValue *value = mox.makeString("gone");
        mox.release(value);
        return value;  // already given back
    })}));
    QVERIFY(mox.evaluate("CmdOp", "list(sloppy())") == nullptr);
    QCOMPARE(mox.lastError(), QStringLiteral("position 6: 'sloppy' answered a value that was not handed out"));
    QCOMPARE(mox.misuseCount(), 1);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::wordThrowing()
{
    MoxInterpreter mox;
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("boom", [](const MoxArgs *) -> MoxValue * {
        throw std::runtime_error("no");
    })}));
    QVERIFY(mox.evaluate("CmdOp", "boom()") == nullptr);
    QCOMPARE(mox.lastError(), QStringLiteral("position 1: 'boom' failed"));
}

void TestMoxInterpreter::reentrantEvaluation()
{
    MoxInterpreter mox;
    QVERIFY(mox.registerVocabulary("Host", {answering(mox, "desim_get_current_simulator_id", "sim-42")}));
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("ask_host", [&](const MoxArgs *) {
        // A word that calls back into the host, as the plug-in's words do.
        MoxValue *id = mox.evaluate("CmdOp", "desim_get_current_simulator_id()");
        MoxValue *bad = mox.evaluate("CmdOp", "list(");
        mox.release(bad);
        return mox.makeList({id});
    })}));
    QCOMPARE(run(mox, "Host", "ask_host()"), QByteArray(R"(list("sim-42"))"));
    // The inner failure does not leak into the outer evaluation's result.
    MoxValue *value = mox.evaluate("Host", "ask_host()");
    QVERIFY(value);
    QCOMPARE(mox.lastError(), QString());
    mox.release(value);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::runawayRecursionStops()
{
    MoxInterpreter mox;
    int depth = 0;
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("again", [&](const MoxArgs *) {
        ++depth;
        return mox.evaluate("CmdOp", "again()");
    })}));
    QVERIFY(mox.evaluate("CmdOp", "again()") == nullptr);
    QCOMPARE(depth, MoxInterpreter::kMaxReentry);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::wordReplacingItselfWhileRunning()
{
    MoxInterpreter mox;
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("once", [&mox](const MoxArgs *) {
        QByteArray captured(4096, 'x');  // state that would be freed with the old function
        mox.registerVocabulary("CmdOp", {answering(mox, "once", "replaced")});
        return mox.makeInteger(captured.size());
    })}));
    QCOMPARE(run(mox, "CmdOp", "once()"), QByteArray("4096"));
    QCOMPARE(run(mox, "CmdOp", "once()"), QByteArray(R"("replaced")"));
}

void TestMoxInterpreter::closeCallbackScenario()
{
    // The host keeps the function value a plug-in registers and calls it later.
    MoxInterpreter mox;
    MoxValue *callback = nullptr;
    QVERIFY(mox.registerVocabulary("Host", {MoxWord::functionWord("de_register_close_addon_callback",
                                                                  [&](const MoxArgs *args) -> MoxValue * {
        mox.release(callback);
        mox.argumentAs(args, 0, mox.functionType(), callback);
        return callback ? mox.makeTrue() : mox.makeFalse();
    })}));
    QList<bool> flags;
    QVERIFY(mox.registerVocabulary("CmdOp", {MoxWord::functionWord("optimHelmdeck_closeHelmdeck",
                                                                   [&](const MoxArgs *args) {
        MoxValue *a = nullptr;
        MoxValue *b = nullptr;
        bool x = false;
        bool y = false;
        if (mox.argumentAs(args, 0, mox.boolType(), a) && mox.argumentAs(args, 1, mox.boolType(), b)) {
            mox.readBool(a, x);
            mox.readBool(b, y);
            flags << x << y;
        }
        mox.release(a);
        mox.release(b);
        return mox.makeTrue();
    })}));

    QCOMPARE(run(mox, "CmdOp", R"(find_word("de_register_close_addon_callback"))"),
             QByteArray("de_register_close_addon_callback"));
    QCOMPARE(run(mox, "CmdOp", "de_register_close_addon_callback(optimHelmdeck_closeHelmdeck)"), QByteArray("TRUE"));
    QVERIFY(callback);
    QCOMPARE(mox.liveValues(), 1);  // the host holds the callback

    MoxValue *answer = mox.invoke(callback, {mox.makeFalse(), mox.makeInteger(1)});
    QCOMPARE(mox.printed(answer), QByteArray("TRUE"));
    QCOMPARE(flags, QList<bool>({false, true}));
    mox.release(answer);
    mox.release(callback);

    MoxValue *notFunction = mox.makeInteger(3);
    QVERIFY(mox.invoke(notFunction, {mox.makeInteger(1)}) == nullptr);
    QCOMPARE(mox.lastError(), QStringLiteral("invoke: not a function value"));
    mox.release(notFunction);
    QCOMPARE(mox.liveValues(), 0);
}

void TestMoxInterpreter::liveCountAndMisuse()
{
    MoxInterpreter mox;
    QCOMPARE(mox.liveValues(), 0);
    MoxValue *a = mox.evaluate("CmdOp", "list(1, 2)");
    MoxValue *b = mox.makeString("b");
    MoxValue *c = mox.listElement(a, 1);
    QCOMPARE(mox.liveValues(), 3);
    mox.release(a);
    QCOMPARE(mox.liveValues(), 2);
    mox.release(nullptr);
    QCOMPARE(mox.misuseCount(), 0);

    mox.release(a);  // a second release of the same handle
    QCOMPARE(mox.misuseCount(), 1);
    QCOMPARE(mox.liveValues(), 2);
    QByteArray text;
    QVERIFY(!mox.readText(a, text));  // reading a released handle is refused
    QCOMPARE(mox.misuseCount(), 2);
    QCOMPARE(mox.typeOf(a), 0);
    QCOMPARE(mox.misuseCount(), 3);

    // Handles given to makeList are given back; the list is the one left.
    MoxValue *list = mox.makeList({b, c});
    QCOMPARE(mox.liveValues(), 1);
    mox.release(list);
    mox.release(b);  // already consumed by makeList
    QCOMPARE(mox.misuseCount(), 4);
    QCOMPARE(mox.liveValues(), 0);
}

QTEST_GUILESS_MAIN(TestMoxInterpreter)
#include "tst_moxinterpreter.moc"
