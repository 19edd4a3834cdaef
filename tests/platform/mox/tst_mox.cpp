// The MOX stand-in at its contract: what a text evaluates to and its printed
// form, the error for each malformed text, vocabularies and their lookup,
// argument access, host objects, words that misbehave, and the count of
// handles handed out and not yet given back.

#include "moxinterpreter.h"

#include <QTest>

#include <memory>
#include <stdexcept>

namespace {

// Evaluates and answers the printed form, or "ERROR " and the message.
QByteArray run(MoxInterpreter &mox, const QByteArray &module, const QByteArray &text)
{
    QString error;
    const QByteArray out = mox.evaluateToText(module, text, &error);
    return error.isEmpty() ? out : "ERROR " + error.toUtf8();
}

MoxWord answering(MoxInterpreter &mox, const QByteArray &name, const QByteArray &answer)
{
    return MoxWord::functionWord(name, [&mox, answer](const MoxArgs *) { return mox.makeString(answer); });
}

QByteArray nestedLists(int depth)
{
    return QByteArray("list(").repeated(depth) + "7" + QByteArray(")").repeated(depth);
}

} // namespace

class TestMox : public QObject
{
    Q_OBJECT

    std::unique_ptr<MoxInterpreter> mox;

private Q_SLOTS:
    // A fresh interpreter per test; every handle must be given back by its end.
    void init() { mox = std::make_unique<MoxInterpreter>(); }
    void cleanup() { QCOMPARE(mox->liveValues(), 0); }

    void printedForm_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("printed");
        QTest::newRow("string") << QByteArray("\"abc\"") << QByteArray("\"abc\"");
        QTest::newRow("escapes") << QByteArray("\"a\\\"b\\\\c\"") << QByteArray("\"a\\\"b\\\\c\"");
        QTest::newRow("backslash takes next byte as is") << QByteArray("\"\\n\\t\\q\"") << QByteArray("\"ntq\"");
        QTest::newRow("raw line feed") << QByteArray("\"a\nb\"") << QByteArray("\"a\nb\"");
        QTest::newRow("call text in string") << QByteArray("\"f(a, b);\"") << QByteArray("\"f(a, b);\"");
        QTest::newRow("leading zeros") << QByteArray("007") << QByteArray("7");
        QTest::newRow("minus zero") << QByteArray("-0") << QByteArray("0");
        QTest::newRow("extreme integers") << QByteArray("list(-9223372036854775808, 9223372036854775807)")
                                          << QByteArray("list(-9223372036854775808, 9223372036854775807)");
        QTest::newRow("unknown word is NULL") << QByteArray("nothing_here") << QByteArray("NULL");
        QTest::newRow("keywords are case-sensitive") << QByteArray("true") << QByteArray("NULL");
        QTest::newRow("mixed list") << QByteArray("list(1,\"a\" , TRUE,NULL,FALSE, list(  ))")
                                    << QByteArray("list(1, \"a\", TRUE, NULL, FALSE, list())");
        QTest::newRow("parameter entry") << QByteArray("list(\"Expr\", 1, list(\"\\\"dB(S21)\\\"\"))")
                                         << QByteArray("list(\"Expr\", 1, list(\"\\\"dB(S21)\\\"\"))");
        QTest::newRow("trailing semicolon") << QByteArray("  42 ;  ") << QByteArray("42");
        QTest::newRow("line breaks, blank before parenthesis") << QByteArray("list (\n1,\t2\r\n);") << QByteArray("list(1, 2)");
        QTest::newRow("function word") << QByteArray("list(list, find_word(\"list\"))") << QByteArray("list(list, list)");
        QTest::newRow("find_word finds nothing") << QByteArray("list(find_word(\"no_such\"), find_word(3))")
                                                 << QByteArray("list(NULL, NULL)");
        QTest::newRow("200 levels") << nestedLists(200) << nestedLists(200);
    }
    void printedForm()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, printed);
        QCOMPARE(run(*mox, "CmdOp", text), printed);
        // The printed form reads back as itself.
        QCOMPARE(run(*mox, "CmdOp", printed), printed);
        QCOMPARE(mox->misuseCount(), 0);
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray("") << "position 1: empty expression";
        QTest::newRow("only blanks") << QByteArray(" \n\t") << "position 4: empty expression";
        QTest::newRow("only semicolon") << QByteArray(" ;") << "position 2: expected an expression, found ';'";
        QTest::newRow("unterminated string") << QByteArray("list(\"abc") << "position 6: unterminated string";
        QTest::newRow("escaped closing quote") << QByteArray("\"abc\\\"") << "position 1: unterminated string";
        QTest::newRow("missing parenthesis") << QByteArray("list(list(1)") << "position 5: missing ')' for the call of list";
        QTest::newRow("missing comma") << QByteArray("list(1 2)") << "position 8: expected ',' or ')', found '2'";
        QTest::newRow("trailing comma") << QByteArray("list(1,)") << "position 8: expected an expression, found ')'";
        QTest::newRow("comma at end") << QByteArray("list(1,") << "position 8: expected an expression, found the end of the text";
        QTest::newRow("two expressions") << QByteArray("42 43") << "position 4: unexpected '4' after the expression";
        QTest::newRow("two semicolons") << QByteArray("42;;") << "position 4: unexpected ';' after the expression";
        QTest::newRow("stray parenthesis") << QByteArray("list())") << "position 7: unexpected ')' after the expression";
        QTest::newRow("NULL called") << QByteArray("list(NULL (1))") << "position 6: NULL cannot be called";
        QTest::newRow("too large") << QByteArray("9223372036854775808") << "position 1: integer out of range";
        QTest::newRow("too small") << QByteArray("list(-9223372036854775809)") << "position 6: integer out of range";
        QTest::newRow("malformed number") << QByteArray("12abc") << "position 1: malformed number";
        QTest::newRow("minus word") << QByteArray("-x") << "position 1: expected digits after '-'";
        QTest::newRow("single quotes") << QByteArray("'a'") << "position 1: expected an expression, found '''";
        QTest::newRow("zero byte") << QByteArray("list(1,\0)", 9) << "position 8: expected an expression, found byte 0x00";
        QTest::newRow("unknown function") << QByteArray("list(1, undefined_fn())") << "position 9: unknown function 'undefined_fn'";
        QTest::newRow("too deep") << nestedLists(201) << "position 1001: calls nested deeper than 200 levels";
        QTest::newRow("a million open parentheses") << QByteArray("list(").repeated(1000000) << QString();
        QTest::newRow("long unterminated string") << QByteArray("\"") + QByteArray(100000, 'a') << QString();
        QTest::newRow("binary noise") << QByteArray("\x01\xff(\"\\", 5) << QString();
    }
    void errors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QVERIFY(mox->evaluate("CmdOp", text) == nullptr);
        QVERIFY(!mox->lastError().isEmpty());
        if (!error.isNull())
            QCOMPARE(mox->lastError(), error);
        // The next good evaluation clears the error.
        QCOMPARE(run(*mox, "CmdOp", "1"), QByteArray("1"));
        QCOMPARE(mox->lastError(), QString());
    }

    void typesAndBytes()
    {
        const QList<std::pair<const char *, MoxTypeId>> rows{{"\"s\"", mox->stringType()}, {"1", mox->integerType()},
                                                             {"FALSE", mox->boolType()}, {"list()", mox->parameterListType()},
                                                             {"list", mox->functionType()}};
        QSet<MoxTypeId> distinct;
        for (const auto &[text, type] : rows) {
            MoxValue *value = mox->evaluate("CmdOp", text);
            QCOMPARE(mox->typeOf(value), type);
            QCOMPARE(mox->findType(mox->typeName(type)), type);
            distinct.insert(type);
            mox->release(value);
        }
        QCOMPARE(distinct.size(), 5);
        QVERIFY(!distinct.contains(0));
        QCOMPARE(mox->findType("String"), 0);
        QVERIFY(mox->evaluate("CmdOp", "NULL") == nullptr);
        QCOMPARE(mox->lastError(), QString());
        // Any bytes survive being printed and read back.
        const QByteArray bytes("caf\xc3\xa9 \"quoted\" back\\slash\nline\x01");
        MoxValue *made = mox->makeString(bytes);
        const QByteArray printed = mox->printed(made);
        QCOMPARE(printed, QByteArray("\"caf\xc3\xa9 \\\"quoted\\\" back\\\\slash\nline\x01\""));
        mox->release(made);
        MoxValue *parsed = mox->evaluate("CmdOp", printed);
        QByteArray text;
        QVERIFY(mox->readText(parsed, text));
        QCOMPARE(text, bytes);
        mox->release(parsed);
    }

    void constantAndFunctionWords()
    {
        QVERIFY(mox->version() >= 1001 && mox->version() <= 1999);
        QVERIFY(mox->registerVocabulary("CmdOp", {
            MoxWord::constantWord("optimHelmdeck_pluginLoaded", mox->makeInteger(1)),
            MoxWord::functionWord("twice", [this](const MoxArgs *args) -> MoxValue * {
                MoxValue *arg = nullptr;
                if (!mox->argumentAs(args, 0, mox->integerType(), arg))
                    return nullptr;
                qint64 n = 0;
                mox->readInt(arg, n);
                mox->release(arg);
                return mox->makeInteger(2 * n);
            }),
        }));
        QCOMPARE(mox->liveValues(), 0); // the constant went to the interpreter
        QCOMPARE(run(*mox, "Host", "find_word(\"optimHelmdeck_pluginLoaded\")"), QByteArray("1"));
        QCOMPARE(run(*mox, "CmdOp", "twice(twice(-3));"), QByteArray("-12"));
        QCOMPARE(run(*mox, "CmdOp", "twice(\"x\")"), QByteArray("NULL"));
        QCOMPARE(run(*mox, "CmdOp", "list(optimHelmdeck_pluginLoaded, twice)"), QByteArray("list(1, twice)"));
        QCOMPARE(run(*mox, "CmdOp", "optimHelmdeck_pluginLoaded()"),
                 QByteArray("ERROR position 1: 'optimHelmdeck_pluginLoaded' is not a function"));
        QCOMPARE(run(*mox, "CmdOp", "TRUE()"), QByteArray("ERROR position 1: TRUE cannot be called"));
        QVERIFY(!mox->hasWord("CmdOp", "thrice"));
    }

    void lookupOrder()
    {
        QVERIFY(mox->registerVocabulary("Host", {answering(*mox, "who", "host"), answering(*mox, "host_only", "h")}));
        QVERIFY(mox->registerVocabulary("CmdOp", {answering(*mox, "who", "plugin"), answering(*mox, "list", "shadow"),
                                                 answering(*mox, "kept", "k")}));
        QVERIFY(mox->registerVocabulary("CmdOp", {answering(*mox, "who", "plugin"), answering(*mox, "list", "shadow")}));
        // The evaluation's module first; a module's word shadows a global
        // one in that module only; then the global module, then the others.
        QCOMPARE(run(*mox, "Host", "who()"), QByteArray("\"host\""));
        QCOMPARE(run(*mox, "CmdOp", "who()"), QByteArray("\"plugin\""));
        QCOMPARE(run(*mox, "CmdOp", "list(1)"), QByteArray("\"shadow\""));
        QCOMPARE(run(*mox, "Host", "list(1)"), QByteArray("list(1)"));
        QCOMPARE(run(*mox, "Elsewhere", "who()"), QByteArray("\"host\""));
        QCOMPARE(run(*mox, "CmdOp", "host_only()"), QByteArray("\"h\""));
        // Registering again replaces words and keeps the others.
        QCOMPARE(run(*mox, "CmdOp", "kept()"), QByteArray("\"k\""));
        // A function value remembers the module it came from.
        MoxValue *ref = mox->evaluate("CmdOp", "who");
        MoxValue *answer = mox->invoke(ref, {});
        QCOMPARE(mox->printed(answer), QByteArray("\"plugin\""));
        mox->release(answer);
        mox->release(ref);
    }

    void malformedTablesRegisterNothing_data()
    {
        QTest::addColumn<QByteArray>("badName");
        QTest::addColumn<int>("shape"); // 0 good function, 1 neither, 2 both
        QTest::newRow("duplicate name") << QByteArray("good") << 0;
        QTest::newRow("empty name") << QByteArray("") << 0;
        QTest::newRow("name with blank") << QByteArray("bad name") << 0;
        QTest::newRow("name starting with digit") << QByteArray("1word") << 0;
        QTest::newRow("keyword as name") << QByteArray("TRUE") << 0;
        QTest::newRow("neither constant nor function") << QByteArray("empty") << 1;
        QTest::newRow("both constant and function") << QByteArray("both") << 2;
    }
    void malformedTablesRegisterNothing()
    {
        QFETCH(QByteArray, badName);
        QFETCH(int, shape);
        MoxWord bad = answering(*mox, badName, "x");
        if (shape == 1)
            bad.function = nullptr;
        if (shape == 2)
            bad.constant = mox->makeInteger(5);
        QVERIFY(!mox->registerVocabulary("CmdOp", {MoxWord::constantWord("constant", mox->makeString("c")),
                                                  answering(*mox, "good", "g"), bad}));
        QVERIFY(!mox->hasWord("CmdOp", "good"));
        QCOMPARE(run(*mox, "CmdOp", "constant"), QByteArray("NULL"));
        // The constants were handed over even though the registration failed.
        QCOMPARE(mox->misuseCount(), 0);
        MoxValue *stale = mox->makeInteger(1);
        mox->release(stale);
        QVERIFY(!mox->registerVocabulary("CmdOp", {MoxWord::constantWord("loaded", stale)}));
        QCOMPARE(mox->misuseCount(), 1);
    }

    void argumentAccess()
    {
        const MoxTypeId widget = mox->registerObjectType("QtWidget");
        int dummy = 0;
        QList<MoxTypeId> seen;
        QStringList log;
        QVERIFY(mox->registerVocabulary("Host", {MoxWord::functionWord("widget", [&](const MoxArgs *) {
            return mox->makeObject(widget, &dummy);
        })}));
        QVERIFY(mox->registerVocabulary("CmdOp", {MoxWord::functionWord("probe", [&](const MoxArgs *args) {
            for (int i = -1; i <= 7; ++i)
                seen.append(mox->argumentType(args, i));
            const QList<std::pair<const char *, MoxTypeId>> types{{"string", mox->stringType()}, {"integer", mox->integerType()},
                                                                  {"bool", mox->boolType()}, {"list", mox->parameterListType()}};
            for (int i = 0; i < 7; ++i) {
                for (const auto &[name, type] : types) {
                    MoxValue *value = reinterpret_cast<MoxValue *>(0x1); // must be cleared on failure
                    if (!mox->argumentAs(args, i, type, value)) {
                        if (value)
                            log << QStringLiteral("%1 as %2 failed but left a value").arg(i).arg(name);
                        continue;
                    }
                    log << QStringLiteral("%1 as %2: %3").arg(i).arg(name).arg(QString::fromUtf8(mox->printed(value)));
                    mox->release(value);
                }
            }
            return mox->makeTrue();
        })}));
        QCOMPARE(run(*mox, "CmdOp", "probe(\"s\", 5, 0, FALSE, list(\"a\"), widget(), NULL)"), QByteArray("TRUE"));
        QCOMPARE(seen, (QList<MoxTypeId>{0, mox->stringType(), mox->integerType(), mox->integerType(), mox->boolType(),
                                         mox->parameterListType(), widget, 0, 0}));
        QCOMPARE(log, (QStringList{"0 as string: \"s\"", "1 as integer: 5", "1 as bool: TRUE", "2 as integer: 0",
                                   "2 as bool: FALSE", "3 as bool: FALSE", "4 as list: list(\"a\")"}));
        QVERIFY(mox->argumentType(nullptr, 0) == 0);
        QCOMPARE(mox->misuseCount(), 0);
    }

    void readersAreStrict()
    {
        MoxValue *text = mox->makeString("12");
        MoxValue *number = mox->makeInteger(12);
        MoxValue *no = mox->makeFalse();
        MoxValue *list = mox->makeList({mox->makeString("a\"b\\c"), mox->makeInteger(-3), nullptr, mox->makeList({})});
        QCOMPARE(mox->printed(list), QByteArray("list(\"a\\\"b\\\\c\", -3, NULL, list())"));
        // Values of another type leave the output untouched.
        QByteArray bytes = "untouched";
        qint64 n = -1;
        bool flag = true;
        QVERIFY(!mox->readText(number, bytes) && !mox->readText(list, bytes) && !mox->readText(nullptr, bytes));
        QVERIFY(!mox->readInt(text, n) && !mox->readInt(no, n));
        QVERIFY(!mox->readBool(text, flag) && !mox->readBool(list, flag));
        QVERIFY(bytes == "untouched" && n == -1 && flag);
        QVERIFY(mox->readBool(number, flag) && flag);
        QVERIFY(mox->readBool(no, flag) && !flag);
        // Elements outlive their list; NULL entries, indices outside and
        // non-lists give nothing.
        MoxValue *inner = mox->listElement(list, 3);
        MoxValue *first = mox->listElement(list, 1);
        QVERIFY(mox->listElement(list, 2) == nullptr && mox->listElement(list, 4) == nullptr && mox->listElement(list, -1) == nullptr);
        QVERIFY(mox->listElement(first, 0) == nullptr);
        QCOMPARE(mox->listSize(first), -1);
        QCOMPARE(mox->listSize(list), 4);
        for (MoxValue *v : {text, number, no, list})
            mox->release(v);
        QVERIFY(mox->readInt(first, n) && n == -3);
        QCOMPARE(mox->listSize(inner), 0);
        mox->release(inner);
        mox->release(first);
        QCOMPARE(mox->misuseCount(), 0);
    }

    void hostObjects()
    {
        const MoxTypeId widget = mox->registerObjectType("QtWidget");
        QVERIFY(widget != 0);
        QCOMPARE(mox->registerObjectType("QtWidget"), widget);
        const MoxTypeId other = mox->registerObjectType("Design");
        QVERIFY(other != 0 && other != widget);
        for (const char *bad : {"string", "NULL", "bad name"})
            QCOMPARE(mox->registerObjectType(bad), 0);
        int target = 0;
        QVERIFY(!mox->makeObject(widget, nullptr) && !mox->makeObject(mox->stringType(), &target) && !mox->makeObject(999, &target));
        MoxValue *object = mox->makeObject(widget, &target);
        QCOMPARE(mox->objectPointer(object, widget), static_cast<void *>(&target));
        QVERIFY(mox->objectPointer(object, other) == nullptr);
        mox->release(object);
        // Through a plug-in word and back: the word checks the type before use.
        void *received = nullptr;
        QVERIFY(mox->registerVocabulary("CmdOp", {MoxWord::functionWord("take", [&](const MoxArgs *args) -> MoxValue * {
            MoxValue *arg = nullptr;
            if (!mox->argumentAs(args, 0, widget, arg))
                return mox->makeFalse();
            received = mox->objectPointer(arg, widget);
            return arg;
        })}));
        QVERIFY(mox->registerVocabulary("Host", {MoxWord::functionWord("the_widget", [&](const MoxArgs *) {
            return mox->makeObject(widget, &target);
        })}));
        QCOMPARE(run(*mox, "Host", "list(take(the_widget()), take(list(the_widget())))"), QByteArray("list(<QtWidget>, FALSE)"));
        QCOMPARE(received, static_cast<void *>(&target));
    }

    void misbehavingWords()
    {
        int depth = 0;
        QVERIFY(mox->registerVocabulary("CmdOp", {
            MoxWord::functionWord("nothing", [](const MoxArgs *) { return nullptr; }),
            MoxWord::functionWord("sloppy", [&](const MoxArgs *) {
                MoxValue *value = mox->makeString("gone");
                mox->release(value);
                return value; // already given back
            }),
            MoxWord::functionWord("boom", [](const MoxArgs *) -> MoxValue * { throw std::runtime_error("no"); }),
            MoxWord::functionWord("again", [&](const MoxArgs *) {
                ++depth;
                return mox->evaluate("CmdOp", "again()");
            }),
            MoxWord::functionWord("once", [this](const MoxArgs *) {
                QByteArray captured(4096, 'x'); // freed with the old function if it were destroyed now
                mox->registerVocabulary("CmdOp", {answering(*mox, "once", "replaced")});
                return mox->makeInteger(captured.size());
            }),
        }));
        QCOMPARE(run(*mox, "CmdOp", "list(nothing(), nothing())"), QByteArray("list(NULL, NULL)"));
        QCOMPARE(run(*mox, "CmdOp", "list(sloppy())"),
                 QByteArray("ERROR position 6: 'sloppy' answered a value that was not handed out"));
        QCOMPARE(mox->misuseCount(), 1);
        QCOMPARE(run(*mox, "CmdOp", "boom()"), QByteArray("ERROR position 1: 'boom' failed"));
        QVERIFY(mox->evaluate("CmdOp", "again()") == nullptr);
        QCOMPARE(depth, MoxInterpreter::kMaxReentry);
        QCOMPARE(run(*mox, "CmdOp", "once()"), QByteArray("4096"));
        QCOMPARE(run(*mox, "CmdOp", "once()"), QByteArray("\"replaced\""));
    }

    void reentrantEvaluation()
    {
        QVERIFY(mox->registerVocabulary("Host", {answering(*mox, "desim_get_current_simulator_id", "sim-42")}));
        QVERIFY(mox->registerVocabulary("CmdOp", {MoxWord::functionWord("ask_host", [&](const MoxArgs *) {
            // A word that calls back into the host, as the plug-in's words do.
            MoxValue *id = mox->evaluate("CmdOp", "desim_get_current_simulator_id()");
            mox->release(mox->evaluate("CmdOp", "list("));
            return mox->makeList({id});
        })}));
        // The inner failure does not leak into the outer evaluation.
        QCOMPARE(run(*mox, "Host", "ask_host()"), QByteArray("list(\"sim-42\")"));
        QCOMPARE(mox->lastError(), QString());
    }

    void liveCountAndMisuse()
    {
        MoxValue *a = mox->evaluate("CmdOp", "list(1, 2)");
        MoxValue *b = mox->makeString("b");
        MoxValue *c = mox->listElement(a, 1);
        QCOMPARE(mox->liveValues(), 3);
        mox->release(a);
        mox->release(nullptr);
        QCOMPARE(mox->liveValues(), 2);
        QCOMPARE(mox->misuseCount(), 0);
        mox->release(a); // a second release of the same handle
        QByteArray text;
        QVERIFY(!mox->readText(a, text)); // reading a released handle is refused
        QCOMPARE(mox->typeOf(a), 0);
        QCOMPARE(mox->misuseCount(), 3);
        QCOMPARE(mox->liveValues(), 2);
        // Handles given to makeList are given back; the list is the one left.
        MoxValue *list = mox->makeList({b, c});
        QCOMPARE(mox->liveValues(), 1);
        mox->release(list);
        mox->release(b); // already consumed by makeList
        QCOMPARE(mox->misuseCount(), 4);
    }
};

QTEST_GUILESS_MAIN(TestMox)
#include "tst_mox.moc"
