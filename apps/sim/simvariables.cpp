#include "simvariables.h"

#include "simvalue.h"

#include <algorithm>
#include <cmath>

void SimVariables::setDefinitions(const OptimItemList<OptimVarInput> &definitions, QStringList *problems)
{
    QHash<QString, double> previous;
    for (qsizetype k = 0; k < m_defs.size(); ++k)
        previous.insert(m_defs.at(k).netlistName(), m_values.at(k));

    m_defs = definitions;
    m_values.clear();
    m_anchor.clear();
    m_lower.clear();
    m_upper.clear();
    m_grids.clear();
    for (int k = 0; k < count(); ++k) {
        const QString name = m_defs.at(k).netlistName();
        if (m_lists.contains(name))
            m_defs[k].setDesignValues(m_lists.value(name));
        const OptimVarInput &var = m_defs.at(k);
        double value = 0;
        if (!parseText(k, var.value(), value)) {
            value = previous.value(var.netlistName(), 0.0);
            if (problems)
                problems->append(QStringLiteral("variable %1: \"%2\" is not a value").arg(var.netlistName(), var.value()));
        }
        m_values.append(value);
        m_anchor.append(value);
        m_lower.append(value);
        m_upper.append(value);
        m_grids.append(QList<double>());
        computeBounds(k);
    }
}

void SimVariables::setValues(const QList<double> &values)
{
    for (qsizetype k = 0; k < values.size() && k < m_values.size(); ++k)
        m_values[k] = values.at(k);
}

bool SimVariables::parseText(int k, const QString &text, double &value) const
{
    const OptimVarInput &var = m_defs.at(k);
    if (hasValueList(k)) {
        const QStringList &list = m_defs.at(k).designValues();
        bool ok = false;
        const int position = text.trimmed().toInt(&ok);
        if (ok && position >= 0 && position < list.size()) {
            value = position;
            return true;
        }
        // Also accept one of the list's own texts.
        double wanted = 0;
        if (!simvalue::parse(text, var.unit(), wanted))
            return false;
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (std::fabs(simvalue::parseOr(list.at(i), var.unit(), 0) - wanted) <= 1e-9 * std::fabs(wanted)) {
                value = double(i);
                return true;
            }
        }
        return false;
    }
    return simvalue::parse(text, var.unit(), value);
}

bool SimVariables::setValueText(int k, const QString &text)
{
    double value = 0;
    if (k < 0 || k >= count() || !parseText(k, text, value))
        return false;
    m_values[k] = value;
    return true;
}

QString SimVariables::valueText(int k, double value) const
{
    if (hasValueList(k))
        return QString::number(qRound(value));
    return simvalue::format(value, m_defs.at(k).unit());
}

QStringList SimVariables::valueTexts(const QList<double> &values) const
{
    QStringList texts;
    for (int k = 0; k < count() && k < values.size(); ++k)
        texts.append(valueText(k, values.at(k)));
    return texts;
}

bool SimVariables::isEnabled(int k) const
{
    const OptimVarInput &var = m_defs.at(k);
    return var.optimizeFlagSet() && var.optimize();
}

bool SimVariables::isDiscrete(int k) const
{
    return m_defs.at(k).constraintType() == ConstraintDiscrete;
}

bool SimVariables::hasValueList(int k) const
{
    return isDiscrete(k) && !m_defs.at(k).designValues().isEmpty();
}

double SimVariables::physical(int k, double value) const
{
    if (!hasValueList(k))
        return value;
    const QStringList &list = m_defs.at(k).designValues();
    const int position = std::clamp(int(std::lround(value)), 0, int(list.size()) - 1);
    return simvalue::parseOr(list.at(position), m_defs.at(k).unit(), 0.0);
}

SimParameterValues SimVariables::parameterValues(const QList<double> &values) const
{
    SimParameterValues result;
    for (int k = 0; k < count() && k < values.size(); ++k)
        result.append({m_defs.at(k).netlistName(), physical(k, values.at(k))});
    return result;
}

void SimVariables::computeBounds(int k)
{
    const OptimVarInput &var = m_defs.at(k);
    const QString &unit = var.unit();
    const double nominal = m_anchor.at(k);
    double lo = nominal;
    double hi = nominal;
    QList<double> grid;
    switch (var.constraintType()) {
    case ConstraintNone: {
        const double c = simvalue::parseOr(var.param1(), unit, nominal);
        if (c > 0) {
            lo = c / 10;
            hi = c * 10;
        } else if (c < 0) {
            lo = c * 10;
            hi = c / 10;
        } else {
            lo = -1;
            hi = 1;
        }
        break;
    }
    case ConstraintRange:
        lo = simvalue::parseOr(var.param1(), unit, nominal);
        hi = simvalue::parseOr(var.param2(), unit, nominal);
        break;
    case ConstraintDiscrete:
        if (hasValueList(k)) {
            const int last = int(var.designValues().size()) - 1;
            bool ok1 = false;
            bool ok2 = false;
            int from = var.param1().trimmed().toInt(&ok1);
            int to = var.param2().trimmed().toInt(&ok2);
            from = std::clamp(ok1 ? from : 0, 0, last);
            to = std::clamp(ok2 ? to : last, 0, last);
            if (from > to)
                std::swap(from, to);
            for (int i = from; i <= to; ++i)
                grid.append(i);
        } else {
            const double first = simvalue::parseOr(var.param1(), unit, nominal);
            const double end = simvalue::parseOr(var.param2(), unit, nominal);
            const double step = simvalue::parseOr(var.param3(), unit, 0);
            if (step != 0 && (end - first) / step >= 0) {
                const long n = std::lround(std::floor((end - first) / step + 1e-9));
                for (long i = 0; i <= std::min(n, 100000L); ++i) {
                    // Rounded to 12 digits so that 0.1 steps stay 0.3, not 0.30000000000000004.
                    grid.append(simvalue::plain(first + double(i) * step, 12).toDouble());
                }
            } else {
                grid.append(first);
            }
            std::sort(grid.begin(), grid.end());
        }
        lo = grid.first();
        hi = grid.last();
        break;
    case ConstraintDeviation:
    case ConstraintPercentage: {
        // An empty or unreadable centre is the value itself, as in the
        // netlist's "+/- d" form; an unreadable d holds the variable there.
        // A percentage is a plain number, whatever the variable's unit.
        const double c = simvalue::parseOr(var.param1(), unit, nominal);
        const double d = simvalue::parseOr(var.param2(), var.constraintType() == ConstraintPercentage ? QString() : unit, 0);
        if (const auto bounds = optimPlusMinusBounds(var.constraintType(), c, d)) {
            lo = bounds->lower;
            hi = bounds->upper;
        }
        break;
    }
    default:
        break;
    }
    if (lo > hi)
        std::swap(lo, hi);
    m_lower[k] = lo;
    m_upper[k] = hi;
    m_grids[k] = grid;
}

SimSpace::SimSpace(const SimVariables &variables, bool acceptContinuous, bool acceptDiscrete)
{
    for (int k = 0; k < variables.count(); ++k) {
        if (!variables.isEnabled(k))
            continue;
        const bool discrete = variables.isDiscrete(k);
        if ((discrete && !acceptDiscrete) || (!discrete && !acceptContinuous))
            continue;
        Axis axis;
        axis.var = k;
        axis.lower = variables.lower(k);
        axis.upper = variables.upper(k);
        if (discrete)
            axis.grid = variables.grid(k);
        else
            axis.logarithmic = false;
        const bool fixed = discrete ? axis.grid.size() < 2 : !(axis.upper > axis.lower);
        if (!fixed)
            m_axes.append(axis);
    }
}

bool SimSpace::hasDiscrete() const
{
    return std::any_of(m_axes.begin(), m_axes.end(), [](const Axis &a) { return !a.grid.isEmpty(); });
}

bool SimSpace::hasContinuous() const
{
    return std::any_of(m_axes.begin(), m_axes.end(), [](const Axis &a) { return a.grid.isEmpty(); });
}

std::vector<double> SimSpace::encode(const QList<double> &values) const
{
    std::vector<double> x(m_axes.size());
    for (qsizetype i = 0; i < m_axes.size(); ++i) {
        const Axis &a = m_axes.at(i);
        const double v = values.value(a.var);
        if (!a.grid.isEmpty()) {
            qsizetype best = 0;
            for (qsizetype g = 1; g < a.grid.size(); ++g) {
                if (std::fabs(a.grid.at(g) - v) < std::fabs(a.grid.at(best) - v))
                    best = g;
            }
            x[size_t(i)] = double(best) / double(a.grid.size() - 1);
        } else if (a.logarithmic) {
            x[size_t(i)] = v > 0 ? std::clamp(std::log(v / a.lower) / std::log(a.upper / a.lower), 0.0, 1.0) : 0.0;
        } else {
            x[size_t(i)] = std::clamp((v - a.lower) / (a.upper - a.lower), 0.0, 1.0);
        }
    }
    return x;
}

QList<double> SimSpace::decode(const std::vector<double> &x, const QList<double> &base) const
{
    QList<double> values = base;
    for (qsizetype i = 0; i < m_axes.size() && size_t(i) < x.size(); ++i) {
        const Axis &a = m_axes.at(i);
        if (a.var >= values.size())
            continue;  // a space built for other variables: leave base as it is
        const double u = std::clamp(x[size_t(i)], 0.0, 1.0);
        if (!a.grid.isEmpty()) {
            const auto g = qsizetype(std::lround(u * double(a.grid.size() - 1)));
            values[a.var] = a.grid.at(std::clamp<qsizetype>(g, 0, a.grid.size() - 1));
        } else if (a.logarithmic) {
            values[a.var] = a.lower * std::pow(a.upper / a.lower, u);
        } else {
            values[a.var] = a.lower + u * (a.upper - a.lower);
        }
    }
    return values;
}

std::vector<double> SimSpace::snap(const std::vector<double> &x) const
{
    std::vector<double> out = x;
    for (qsizetype i = 0; i < m_axes.size() && size_t(i) < out.size(); ++i) {
        const Axis &a = m_axes.at(i);
        const double u = std::clamp(out[size_t(i)], 0.0, 1.0);
        if (!a.grid.isEmpty()) {
            const double n = double(a.grid.size() - 1);
            out[size_t(i)] = double(std::lround(u * n)) / n;
        } else {
            out[size_t(i)] = u;
        }
    }
    return out;
}
