#pragma once

// Goal expressions. A goal's expression takes one of three forms:
//
//   meas <rest>   a scalar measurement in ngspice's own .meas syntax: <rest> is
//                 what follows the analysis kind and result name of a .meas
//                 line ("meas TRIG v(out) VAL=0.1 RISE=1 TARG v(out) VAL=0.9
//                 RISE=1"); over tran, ac and dc analyses
//   bench form    the forms below over an AC analysis with ports, computed
//                 from the S-parameter test bench
//   anything else an ngspice vector expression over the analysis' vectors
//                 ("db(v(out)/v(in))", "i(vdd)", "deriv(v(out))"), which
//                 ngspice itself evaluates
//
// The bench forms:
//
//   expression := [function "("] quantity [")"]
//   function   := dB | mag | phase | re | im        (case-insensitive; real, imag too)
//   quantity   := S11 | S21 | S12 | S22 | S(i,j) | V(node)
//
// dB(x) is 20 log10 |x| (floored at -400 dB), phase is in degrees, a bare
// quantity means its magnitude. S-parameters come from the two-port test
// bench (see SimNetlist); V(node) is the node voltage of the forward run
// (port 1 driven by a 2 V source behind its reference impedance, so a
// matched through connection shows 1 V).

#include <QString>

#include <complex>

enum class SimExpressionKind { Bench, Vector, Measure };

// The form of a goal expression. bench: the analysis has the S-parameter test
// bench (AC with ports). An S-parameter form is Bench also without one (so
// that it is reported as needing ports). measure receives the rest of a meas
// expression.
SimExpressionKind simExpressionKind(const QString &text, bool bench, QString *measure = nullptr);

// Why a text cannot go to ngspice as an expression or .meas rest, or empty
// when it can. Refused: line breaks and control characters, a backquote
// (ngspice would run the text as a shell command), ; (a command separator),
// < and > (file redirection).
QString simNgspiceTextProblem(const QString &text);

class SimExpression
{
public:
    enum Function { Magnitude, Decibel, Phase, Real, Imaginary };
    enum Quantity { SParameter, NodeVoltage };

    // False with a reason in error when text is not an expression.
    static bool parse(const QString &text, SimExpression &out, QString *error = nullptr);

    Function function() const { return m_function; }
    Quantity quantity() const { return m_quantity; }
    // S-parameter indices, 1-based (S21: row 2, column 1).
    int row() const { return m_row; }
    int column() const { return m_column; }
    const QString &node() const { return m_node; }

    // Needs the run with port 2 driven (S12, S22).
    bool needsReverseRun() const { return m_quantity == SParameter && m_column == 2; }

    double apply(std::complex<double> z) const;

    // The canonical text, e.g. "dB(S21)".
    QString text() const;

private:
    Function m_function = Magnitude;
    Quantity m_quantity = SParameter;
    int m_row = 1;
    int m_column = 1;
    QString m_node;
};
