#pragma once

// The optimization variables as the optimizer sees them.
//
// Every variable has a current value: its physical value in base units, or,
// for a discrete variable with a value list, its position in that list (the
// helmdeck keeps such variables as positions). The constraint code gives the
// search interval:
//   0 unconstrained  a decade either way of the reference value (param1, else
//                    the nominal value): [c/10, 10c]; [-1, 1] around 0
//   1 min/max        [param1, param2]
//   2 discrete       the grid param1, param1 + param3, ... up to param2; with
//                    a value list, the positions param1 to param2
//   3 +/- delta      [c - param2, c + param2], c = param1 or the nominal value
//   4 +/- percent    [c (1 - param2/100), c (1 + param2/100)]
// Bounded global searches need finite intervals, which is why code 0 has one.
//
// SimSpace maps the variables an algorithm works on to the unit cube [0,1]^n
// (so that nF and pH variables weigh alike); a discrete coordinate is
// rounded to the nearest grid point. A positive interval spanning a factor
// of ten or more is mapped logarithmically, as component values are: a step
// changes the value by a ratio, not by an amount.

#include "simnetlist.h"

#include "model/optiminputrecords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class SimVariables
{
public:
    // Value lists of discrete variables by netlist name (they do not travel
    // in the definitions the helmdeck sends back).
    void setValueLists(const QHash<QString, QStringList> &lists) { m_lists = lists; }

    // Takes new definitions; the current values become their nominal values.
    // Problems (values that do not parse) are listed; such a variable keeps
    // its earlier value when it had one, else 0.
    void setDefinitions(const OptimItemList<OptimVarInput> &definitions, QStringList *problems = nullptr);
    const OptimItemList<OptimVarInput> &definitions() const { return m_defs; }

    int count() const { return int(m_defs.size()); }
    const QList<double> &values() const { return m_values; }
    void setValues(const QList<double> &values);
    // Reads a value text for variable k (units, or a list position); false
    // when it does not read.
    bool setValueText(int k, const QString &text);
    QString valueText(int k, double value) const;
    QStringList valueTexts(const QList<double> &values) const;

    bool isEnabled(int k) const;
    bool isDiscrete(int k) const;
    bool hasValueList(int k) const;
    // The physical value the netlist gets.
    double physical(int k, double value) const;
    SimParameterValues parameterValues(const QList<double> &values) const;

    // The search interval; for discrete variables the grid (ascending).
    double lower(int k) const { return m_lower.value(k); }
    double upper(int k) const { return m_upper.value(k); }
    const QList<double> &grid(int k) const { return m_grids.at(k); }

private:
    bool parseText(int k, const QString &text, double &value) const;
    void computeBounds(int k);

    OptimItemList<OptimVarInput> m_defs;
    QHash<QString, QStringList> m_lists;
    QList<double> m_values;
    QList<double> m_anchor;
    QList<double> m_lower;
    QList<double> m_upper;
    QList<QList<double>> m_grids;
};

class SimSpace
{
public:
    SimSpace() = default;
    // The enabled variables of the kinds the algorithm accepts.
    SimSpace(const SimVariables &variables, bool acceptContinuous, bool acceptDiscrete);

    int dimension() const { return int(m_axes.size()); }
    // The variable an axis belongs to.
    int variable(int axis) const { return m_axes.at(axis).var; }
    // Number of grid points of a discrete axis, 0 for a continuous one.
    int gridSize(int axis) const { return int(m_axes.at(axis).grid.size()); }
    bool hasDiscrete() const;
    bool hasContinuous() const;

    std::vector<double> encode(const QList<double> &values) const;
    // The values with the axes set from x (discrete ones snapped to the
    // grid); variables outside the space keep their values in base.
    QList<double> decode(const std::vector<double> &x, const QList<double> &base) const;
    // x with its discrete coordinates snapped to grid points.
    std::vector<double> snap(const std::vector<double> &x) const;

private:
    struct Axis
    {
        int var = 0;
        double lower = 0;
        double upper = 0;
        bool logarithmic = false;
        QList<double> grid;
    };
    QList<Axis> m_axes;
};
