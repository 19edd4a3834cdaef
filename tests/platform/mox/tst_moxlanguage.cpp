// The language of the MOX stand-in: what a text evaluates to, the printed
// form of each value, and the error for each kind of malformed text.

#include "moxinterpreter.h"

#include <QTest>

class TestMoxLanguage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printedForm_data();
    void printedForm();
    void printedFormParsesBack_data();
    void printedFormParsesBack();
    void errors_data();
    void errors();
    void nestingLimit();
    void hostileInputDoesNotCrash_data();
    void hostileInputDoesNotCrash();
    void typesOfResults();
    void stringEscapesKeepBytes();

private:
    MoxInterpreter m_mox;
};

void TestMoxLanguage::printedForm_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("printed");

    QTest::newRow("string") << QByteArray(R"("abc")") << QByteArray(R"("abc")");
    QTest::newRow("empty string") << QByteArray(R"("")") << QByteArray(R"("")");
    QTest::newRow("escaped quote") << QByteArray(R"("a\"b")") << QByteArray(R"("a\"b")");
    QTest::newRow("escaped backslash") << QByteArray(R"("a\\b")") << QByteArray(R"("a\\b")");
    QTest::newRow("backslash takes next byte as is") << QByteArray(R"("\n\t\q")") << QByteArray(R"("ntq")");
    QTest::newRow("escaped line feed") << QByteArray("\"a\\\nb\"") << QByteArray("\"a\nb\"");
    QTest::newRow("raw line feed") << QByteArray("\"a\nb\"") << QByteArray("\"a\nb\"");
    QTest::newRow("parentheses and commas in string") << QByteArray(R"("f(a, b);")") << QByteArray(R"("f(a, b);")");
    QTest::newRow("integer") << QByteArray("42") << QByteArray("42");
    QTest::newRow("negative") << QByteArray("-7") << QByteArray("-7");
    QTest::newRow("leading zeros") << QByteArray("007") << QByteArray("7");
    QTest::newRow("minus zero") << QByteArray("-0") << QByteArray("0");
    QTest::newRow("largest") << QByteArray("9223372036854775807") << QByteArray("9223372036854775807");
    QTest::newRow("smallest") << QByteArray("-9223372036854775808") << QByteArray("-9223372036854775808");
    QTest::newRow("TRUE") << QByteArray("TRUE") << QByteArray("TRUE");
    QTest::newRow("FALSE") << QByteArray("FALSE") << QByteArray("FALSE");
    QTest::newRow("NULL") << QByteArray("NULL") << QByteArray("NULL");
    QTest::newRow("unknown word is NULL") << QByteArray("nothing_here") << QByteArray("NULL");
    QTest::newRow("keywords are case-sensitive") << QByteArray("true") << QByteArray("NULL");
    QTest::newRow("empty list") << QByteArray("list()") << QByteArray("list()");
    QTest::newRow("empty list with blanks") << QByteArray("list(  )") << QByteArray("list()");
    QTest::newRow("mixed list") << QByteArray(R"(list(1,"a" , TRUE,NULL,FALSE, list()))")
                                << QByteArray(R"(list(1, "a", TRUE, NULL, FALSE, list()))");
    QTest::newRow("nested lists") << QByteArray("list(list(list(-1)), 2)") << QByteArray("list(list(list(-1)), 2)");
    QTest::newRow("parameter entry") << QByteArray(R"(list("Expr", 1, list("\"dB(S21)\"")))")
                                     << QByteArray(R"(list("Expr", 1, list("\"dB(S21)\"")))");
    QTest::newRow("trailing semicolon") << QByteArray("  42 ;  ") << QByteArray("42");
    QTest::newRow("semicolon without blanks") << QByteArray("list(1);") << QByteArray("list(1)");
    QTest::newRow("line breaks and tabs") << QByteArray("list(\n1,\t2\r\n)") << QByteArray("list(1, 2)");
    QTest::newRow("blank before parenthesis") << QByteArray("list (3)") << QByteArray("list(3)");
    QTest::newRow("function word by name") << QByteArray("list") << QByteArray("list");
    QTest::newRow("find_word finds function") << QByteArray(R"(find_word("list"))") << QByteArray("list");
    QTest::newRow("find_word finds nothing") << QByteArray(R"(find_word("no_such_word"))") << QByteArray("NULL");
    QTest::newRow("find_word of no string") << QByteArray("find_word(3)") << QByteArray("NULL");
    QTest::newRow("function word in list") << QByteArray("list(find_word)") << QByteArray("list(find_word)");
}

void TestMoxLanguage::printedForm()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, printed);

    MoxValue *value = m_mox.evaluate("CmdOp", text);
    QCOMPARE(m_mox.lastError(), QString());
    QCOMPARE(m_mox.printed(value), printed);
    m_mox.release(value);
    QCOMPARE(m_mox.liveValues(), 0);
    QCOMPARE(m_mox.misuseCount(), 0);
}

void TestMoxLanguage::printedFormParsesBack_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("quotes and backslashes") << QByteArray(R"("\"\\\"\\")");
    QTest::newRow("netlist-like text") << QByteArray("\"OptimGoal:g1 Expr=\\\"dB(S21)\\\" \\\\\nIndepVar[1]=\\\"freq\\\"\n\"");
    QTest::newRow("nested list") << QByteArray(R"(list(list(2, "g\\1"), list("Weight", 1, list("1.0")), NULL, TRUE))");
    QTest::newRow("extreme integers") << QByteArray("list(-9223372036854775808, 9223372036854775807)");
}

void TestMoxLanguage::printedFormParsesBack()
{
    QFETCH(QByteArray, text);

    const QByteArray once = m_mox.evaluateToText("CmdOp", text);
    QVERIFY2(!once.isEmpty(), qPrintable(m_mox.lastError()));
    const QByteArray twice = m_mox.evaluateToText("CmdOp", once);
    QCOMPARE(twice, once);
    QCOMPARE(m_mox.liveValues(), 0);
}

void TestMoxLanguage::errors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty") << QByteArray("") << QStringLiteral("position 1: empty expression");
    QTest::newRow("only blanks") << QByteArray(" \n\t") << QStringLiteral("position 4: empty expression");
    QTest::newRow("only semicolon") << QByteArray(" ;") << QStringLiteral("position 2: expected an expression, found ';'");
    QTest::newRow("unterminated string") << QByteArray(R"(list("abc)") << QStringLiteral("position 6: unterminated string");
    QTest::newRow("string ends in backslash") << QByteArray(R"("abc\)") << QStringLiteral("position 1: unterminated string");
    QTest::newRow("escaped closing quote") << QByteArray(R"("abc\")") << QStringLiteral("position 1: unterminated string");
    QTest::newRow("missing parenthesis") << QByteArray("list(1, 2") << QStringLiteral("position 5: missing ')' for the call of list");
    QTest::newRow("missing parenthesis, nested") << QByteArray("list(list(1)") << QStringLiteral("position 5: missing ')' for the call of list");
    QTest::newRow("missing comma") << QByteArray("list(1 2)") << QStringLiteral("position 8: expected ',' or ')', found '2'");
    QTest::newRow("trailing comma") << QByteArray("list(1,)") << QStringLiteral("position 8: expected an expression, found ')'");
    QTest::newRow("leading comma") << QByteArray("list(,1)") << QStringLiteral("position 6: expected an expression, found ','");
    QTest::newRow("comma at end") << QByteArray("list(1,") << QStringLiteral("position 8: expected an expression, found the end of the text");
    QTest::newRow("two expressions") << QByteArray("42 43") << QStringLiteral("position 4: unexpected '4' after the expression");
    QTest::newRow("two semicolons") << QByteArray("42;;") << QStringLiteral("position 4: unexpected ';' after the expression");
    QTest::newRow("stray parenthesis") << QByteArray("list())") << QStringLiteral("position 7: unexpected ')' after the expression");
    QTest::newRow("closing parenthesis alone") << QByteArray(")") << QStringLiteral("position 1: expected an expression, found ')'");
    QTest::newRow("keyword called") << QByteArray("TRUE()") << QStringLiteral("position 1: TRUE cannot be called");
    QTest::newRow("NULL called") << QByteArray("list(NULL (1))") << QStringLiteral("position 6: NULL cannot be called");
    QTest::newRow("too large") << QByteArray("9223372036854775808") << QStringLiteral("position 1: integer out of range");
    QTest::newRow("too small") << QByteArray("list(-9223372036854775809)") << QStringLiteral("position 6: integer out of range");
    QTest::newRow("malformed number") << QByteArray("12abc") << QStringLiteral("position 1: malformed number");
    QTest::newRow("minus alone") << QByteArray("-") << QStringLiteral("position 1: expected digits after '-'");
    QTest::newRow("minus word") << QByteArray("-x") << QStringLiteral("position 1: expected digits after '-'");
    QTest::newRow("odd character") << QByteArray("@") << QStringLiteral("position 1: expected an expression, found '@'");
    QTest::newRow("single quotes") << QByteArray("'a'") << QStringLiteral("position 1: expected an expression, found '''");
    QTest::newRow("zero byte") << QByteArray("list(1,\0)", 9) << QStringLiteral("position 8: expected an expression, found byte 0x00");
    QTest::newRow("unknown function") << QByteArray("undefined_fn(1)") << QStringLiteral("position 1: unknown function 'undefined_fn'");
    QTest::newRow("unknown function inside") << QByteArray("list(1, undefined_fn())")
                                             << QStringLiteral("position 9: unknown function 'undefined_fn'");
}

void TestMoxLanguage::errors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);

    MoxValue *value = m_mox.evaluate("CmdOp", text);
    QVERIFY(value == nullptr);
    QCOMPARE(m_mox.lastError(), error);
    QCOMPARE(m_mox.liveValues(), 0);

    // The next good evaluation clears the error.
    value = m_mox.evaluate("CmdOp", "1");
    QVERIFY(value != nullptr);
    QCOMPARE(m_mox.lastError(), QString());
    m_mox.release(value);
}

static QByteArray nestedLists(int depth)
{
    return QByteArray("list(").repeated(depth) + "7" + QByteArray(")").repeated(depth);
}

void TestMoxLanguage::nestingLimit()
{
    QString error;
    const QByteArray deepest = m_mox.evaluateToText("CmdOp", nestedLists(200), &error);
    QCOMPARE(error, QString());
    QCOMPARE(deepest, nestedLists(200));

    QVERIFY(m_mox.evaluate("CmdOp", nestedLists(201)) == nullptr);
    QCOMPARE(m_mox.lastError(), QStringLiteral("position 1001: calls nested deeper than 200 levels"));
    QCOMPARE(m_mox.liveValues(), 0);
}

void TestMoxLanguage::hostileInputDoesNotCrash_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("a million open parentheses") << QByteArray("list(").repeated(1000000);
    QTest::newRow("deep without closing") << QByteArray("list(").repeated(150) + "\"x";
    QTest::newRow("long unterminated string") << QByteArray("\"") + QByteArray(100000, 'a');
    QTest::newRow("many arguments") << "list(" + QByteArray("1,").repeated(100000) + ")";
    QTest::newRow("binary noise") << QByteArray("\x01\xff(\"\\", 5);
}

void TestMoxLanguage::hostileInputDoesNotCrash()
{
    QFETCH(QByteArray, text);
    QVERIFY(m_mox.evaluate("CmdOp", text) == nullptr);
    QVERIFY(!m_mox.lastError().isEmpty());
    QCOMPARE(m_mox.liveValues(), 0);
}

void TestMoxLanguage::typesOfResults()
{
    const struct {
        const char *text;
        MoxTypeId type;
    } rows[] = {
        {R"("s")", m_mox.stringType()},
        {"1", m_mox.integerType()},
        {"TRUE", m_mox.boolType()},
        {"FALSE", m_mox.boolType()},
        {"list()", m_mox.parameterListType()},
        {"list", m_mox.functionType()},
    };
    for (const auto &row : rows) {
        MoxValue *value = m_mox.evaluate("CmdOp", row.text);
        QVERIFY2(value, row.text);
        QCOMPARE(m_mox.typeOf(value), row.type);
        m_mox.release(value);
    }
    // Distinct built-in types, each found by its name.
    const QList<MoxTypeId> types = {m_mox.stringType(), m_mox.integerType(), m_mox.boolType(),
                                    m_mox.parameterListType(), m_mox.functionType()};
    QCOMPARE(QSet<MoxTypeId>(types.begin(), types.end()).size(), 5);
    QVERIFY(!types.contains(0));
    QCOMPARE(m_mox.findType("string"), m_mox.stringType());
    QCOMPARE(m_mox.findType("integer"), m_mox.integerType());
    QCOMPARE(m_mox.findType("bool"), m_mox.boolType());
    QCOMPARE(m_mox.findType("list"), m_mox.parameterListType());
    QCOMPARE(m_mox.findType("function"), m_mox.functionType());
    QCOMPARE(m_mox.findType("String"), 0);
    QCOMPARE(m_mox.typeOf(nullptr), 0);

    QVERIFY(m_mox.evaluate("CmdOp", "NULL") == nullptr);
    QCOMPARE(m_mox.lastError(), QString());
    QCOMPARE(m_mox.liveValues(), 0);
}

void TestMoxLanguage::stringEscapesKeepBytes()
{
    const QByteArray bytes("caf\xc3\xa9 \"quoted\" back\\slash\nline\x01");
    MoxValue *made = m_mox.makeString(bytes);
    const QByteArray printed = m_mox.printed(made);
    QCOMPARE(printed, QByteArray("\"caf\xc3\xa9 \\\"quoted\\\" back\\\\slash\nline\x01\""));
    m_mox.release(made);

    MoxValue *parsed = m_mox.evaluate("CmdOp", printed);
    QByteArray text;
    QVERIFY(m_mox.readText(parsed, text));
    QCOMPARE(text, bytes);
    m_mox.release(parsed);
    QCOMPARE(m_mox.liveValues(), 0);
}

QTEST_GUILESS_MAIN(TestMoxLanguage)
#include "tst_moxlanguage.moc"
