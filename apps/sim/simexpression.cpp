#include "simexpression.h"

#include <QRegularExpression>

#include <cmath>
#include <numbers>

namespace {

bool parseQuantity(const QString &text, SimExpression::Quantity &quantity, int &row, int &column, QString &node)
{
    static const QRegularExpression sShort(QStringLiteral("^[sS]([12])([12])$"));
    static const QRegularExpression sLong(QStringLiteral("^[sS]\\s*\\(\\s*([12])\\s*,\\s*([12])\\s*\\)$"));
    static const QRegularExpression voltage(QStringLiteral("^[vV]\\s*\\(\\s*([A-Za-z0-9_.#]+)\\s*\\)$"));
    QRegularExpressionMatch m = sShort.match(text);
    if (!m.hasMatch())
        m = sLong.match(text);
    if (m.hasMatch()) {
        quantity = SimExpression::SParameter;
        row = m.captured(1).toInt();
        column = m.captured(2).toInt();
        return true;
    }
    m = voltage.match(text);
    if (m.hasMatch()) {
        quantity = SimExpression::NodeVoltage;
        node = m.captured(1).toLower();
        return true;
    }
    return false;
}

}  // namespace

bool SimExpression::parse(const QString &text, SimExpression &out, QString *error)
{
    const QString t = text.trimmed();
    SimExpression e;
    QString inner = t;
    static const QRegularExpression call(QStringLiteral("^([A-Za-z]+)\\s*\\((.*)\\)$"));
    const QRegularExpressionMatch m = call.match(t);
    if (m.hasMatch()) {
        const QString name = m.captured(1).toLower();
        bool isFunction = true;
        if (name == QLatin1String("db"))
            e.m_function = Decibel;
        else if (name == QLatin1String("mag") || name == QLatin1String("abs"))
            e.m_function = Magnitude;
        else if (name == QLatin1String("phase") || name == QLatin1String("ang"))
            e.m_function = Phase;
        else if (name == QLatin1String("re") || name == QLatin1String("real"))
            e.m_function = Real;
        else if (name == QLatin1String("im") || name == QLatin1String("imag"))
            e.m_function = Imaginary;
        else
            isFunction = false;  // "S(2,1)" or "V(out)" on their own
        if (isFunction)
            inner = m.captured(2).trimmed();
    }
    if (!parseQuantity(inner, e.m_quantity, e.m_row, e.m_column, e.m_node)) {
        if (error)
            *error = QStringLiteral("unknown expression \"%1\" (expected e.g. dB(S21), mag(S11), phase(S21), V(out))").arg(t);
        return false;
    }
    out = e;
    return true;
}

double SimExpression::apply(std::complex<double> z) const
{
    switch (m_function) {
    case Decibel: {
        const double magnitude = std::abs(z);
        return magnitude > 1e-20 ? std::max(-400.0, 20.0 * std::log10(magnitude)) : -400.0;
    }
    case Phase:
        return std::arg(z) * 180.0 / std::numbers::pi;
    case Real:
        return z.real();
    case Imaginary:
        return z.imag();
    case Magnitude:
        break;
    }
    return std::abs(z);
}

QString SimExpression::text() const
{
    const QString quantity = m_quantity == SParameter ? QStringLiteral("S%1%2").arg(m_row).arg(m_column)
                                                      : QStringLiteral("V(%1)").arg(m_node);
    switch (m_function) {
    case Decibel: return QStringLiteral("dB(%1)").arg(quantity);
    case Phase: return QStringLiteral("phase(%1)").arg(quantity);
    case Real: return QStringLiteral("re(%1)").arg(quantity);
    case Imaginary: return QStringLiteral("im(%1)").arg(quantity);
    case Magnitude: break;
    }
    return QStringLiteral("mag(%1)").arg(quantity);
}

SimExpressionKind simExpressionKind(const QString &text, bool bench, QString *measure)
{
    static const QRegularExpression meas(QStringLiteral("^meas\\s+(.*)$"), QRegularExpression::CaseInsensitiveOption);
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = meas.match(t);
    if (m.hasMatch() || t.compare(QLatin1String("meas"), Qt::CaseInsensitive) == 0) {
        if (measure)
            *measure = m.captured(1).trimmed();
        return SimExpressionKind::Measure;
    }
    SimExpression e;
    if (SimExpression::parse(t, e) && (bench || e.quantity() == SimExpression::SParameter))
        return SimExpressionKind::Bench;
    return SimExpressionKind::Vector;
}

QString simNgspiceTextProblem(const QString &text)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("empty");
    for (const QChar c : text) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\t'))
            return QStringLiteral("a line break or control character is not allowed");
        if (c == QLatin1Char('`'))
            return QStringLiteral("a backquote (`) is not allowed");
        // ngspice's command line would split the text at ; and redirect its
        // output to a file at > or <: the comparisons are gt, lt, ge, le.
        if (c == QLatin1Char(';'))
            return QStringLiteral("a semicolon (;) is not allowed");
        if (c == QLatin1Char('<') || c == QLatin1Char('>'))
            return QStringLiteral("%1 is not allowed (compare with gt, lt, ge, le)").arg(c);
    }
    return QString();
}
