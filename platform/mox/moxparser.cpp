#include "moxparser.h"

#include <limits>

namespace mox {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWordStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isWordChar(char c)
{
    return isWordStart(c) || isDigit(c);
}

QString describe(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7f)
        return QStringLiteral("'%1'").arg(QChar(u));
    return QStringLiteral("byte 0x%1").arg(u, 2, 16, QChar('0'));
}

class Parser
{
public:
    Parser(const QByteArray &text, int maxNesting) : m_text(text), m_maxNesting(maxNesting) {}

    ParseResult run()
    {
        ParseResult result;
        skipSpace();
        if (atEnd()) {
            fail(m_pos, QStringLiteral("empty expression"));
        } else {
            NodePtr root = expression(1);
            if (root) {
                skipSpace();
                if (!atEnd() && peek() == ';') {
                    ++m_pos;
                    skipSpace();
                }
                if (!atEnd())
                    fail(m_pos, QStringLiteral("unexpected %1 after the expression").arg(describe(peek())));
                else
                    result.root = std::move(root);
            }
        }
        if (!m_error.isEmpty())
            result.error = QStringLiteral("position %1: %2").arg(m_errorPos + 1).arg(m_error);
        return result;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text.at(m_pos); }

    void skipSpace()
    {
        while (!atEnd() && isSpace(peek()))
            ++m_pos;
    }

    // Keeps the first error: it is the one nearest to the cause.
    NodePtr fail(qsizetype pos, const QString &message)
    {
        if (m_error.isEmpty()) {
            m_error = message;
            m_errorPos = pos;
        }
        return nullptr;
    }

    NodePtr newNode(Node::Kind kind, qsizetype pos)
    {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->position = int(pos) + 1;
        return node;
    }

    NodePtr expression(int depth)
    {
        skipSpace();
        if (atEnd())
            return fail(m_pos, QStringLiteral("expected an expression, found the end of the text"));
        const char c = peek();
        if (c == '"')
            return string();
        if (isDigit(c) || c == '-')
            return integer();
        if (isWordStart(c))
            return word(depth);
        return fail(m_pos, QStringLiteral("expected an expression, found %1").arg(describe(c)));
    }

    NodePtr string()
    {
        const qsizetype start = m_pos++;
        QByteArray bytes;
        for (;;) {
            if (atEnd())
                return fail(start, QStringLiteral("unterminated string"));
            char c = m_text.at(m_pos++);
            if (c == '"')
                break;
            if (c == '\\') {
                if (atEnd())
                    return fail(start, QStringLiteral("unterminated string"));
                c = m_text.at(m_pos++);
            }
            bytes += c;
        }
        auto node = newNode(Node::Kind::Literal, start);
        node->literal = Datum::string(bytes);
        return node;
    }

    NodePtr integer()
    {
        const qsizetype start = m_pos;
        const bool negative = peek() == '-';
        if (negative)
            ++m_pos;
        if (atEnd() || !isDigit(peek()))
            return fail(start, QStringLiteral("expected digits after '-'"));
        // Accumulated as a negative number so that the most negative value fits.
        constexpr qint64 lowest = std::numeric_limits<qint64>::min();
        qint64 value = 0;
        bool overflow = false;
        while (!atEnd() && isDigit(peek())) {
            const int digit = peek() - '0';
            if (value < (lowest + digit) / 10)
                overflow = true;
            else
                value = value * 10 - digit;
            ++m_pos;
        }
        if (!atEnd() && isWordChar(peek()))
            return fail(start, QStringLiteral("malformed number"));
        if (!negative) {
            if (value == lowest)
                overflow = true;
            else
                value = -value;
        }
        if (overflow)
            return fail(start, QStringLiteral("integer out of range"));
        auto node = newNode(Node::Kind::Literal, start);
        node->literal = Datum::number(value);
        return node;
    }

    NodePtr word(int depth)
    {
        const qsizetype start = m_pos;
        while (!atEnd() && isWordChar(peek()))
            ++m_pos;
        const QByteArray name = m_text.mid(start, m_pos - start);
        const qsizetype afterName = m_pos;
        skipSpace();
        const bool isCall = !atEnd() && peek() == '(';
        if (isKeyword(name)) {
            if (isCall)
                return fail(start, QStringLiteral("%1 cannot be called").arg(QString::fromLatin1(name)));
            m_pos = afterName;
            auto node = newNode(Node::Kind::Literal, start);
            if (name != "NULL")
                node->literal = Datum::boolean(name == "TRUE");
            return node;
        }
        if (!isCall) {
            m_pos = afterName;
            auto node = newNode(Node::Kind::Word, start);
            node->name = name;
            return node;
        }
        if (depth > m_maxNesting)
            return fail(start, QStringLiteral("calls nested deeper than %1 levels").arg(m_maxNesting));
        const qsizetype open = m_pos++;
        auto node = newNode(Node::Kind::Call, start);
        node->name = name;
        skipSpace();
        if (!atEnd() && peek() == ')') {
            ++m_pos;
            return node;
        }
        for (;;) {
            NodePtr arg = expression(depth + 1);
            if (!arg)
                return nullptr;
            node->args.push_back(std::move(arg));
            skipSpace();
            if (atEnd())
                return fail(open, QStringLiteral("missing ')' for the call of %1").arg(QString::fromLatin1(name)));
            const char c = m_text.at(m_pos++);
            if (c == ')')
                return node;
            if (c != ',')
                return fail(m_pos - 1, QStringLiteral("expected ',' or ')', found %1").arg(describe(c)));
        }
    }

    const QByteArray &m_text;
    const int m_maxNesting;
    qsizetype m_pos = 0;
    QString m_error;
    qsizetype m_errorPos = 0;
};

} // namespace

ParseResult parse(const QByteArray &text, int maxNesting)
{
    return Parser(text, maxNesting).run();
}

} // namespace mox
