#pragma once

// The definitions of an optimization: variables, goals with their limits and
// independent-variable ranges, and the algorithm. Values the user types
// (numbers with units, expressions) are kept as text exactly as entered; only
// goal limits keep a parsed copy of their values beside the text.

#include "optimitemlist.h"
#include "optimserialization.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class OptimTraceFamily;

enum OptimLimitType { LimitGreaterThan = 0, LimitLessThan = 1, LimitEqualTo = 2, LimitInside = 3, LimitOutside = 4 };

// "GreaterThan", "LessThan", "EqualTo", "Inside", "Outside"; empty for other codes.
QString optimLimitTypeText(int limitType);
// The code of a limit type text, or -1.
int optimLimitTypeFromText(const QString &text);
// Whether a limit type uses a second value (Inside, Outside).
bool optimLimitTypeHasSecondValue(int limitType);

// Algorithm codes (OptimAlgInput::algorithmType); 0 chooses none.
enum OptimAlgorithmCode {
    AlgorithmNone = 0,
    AlgorithmRandom = 1,
    AlgorithmGradient = 2,
    AlgorithmRandomMinimax = 3,
    AlgorithmGradientMinimax = 4,
    AlgorithmQuasiNewton = 5,
    AlgorithmLeastPth = 6,
    AlgorithmMinimax = 7,
    AlgorithmRandomMax = 8,
    AlgorithmHybrid = 9,
    AlgorithmDiscrete = 10,
    AlgorithmGenetic = 11,
    AlgorithmSimulatedAnnealing = 12,
    LastAlgorithm = AlgorithmSimulatedAnnealing,
};

// Display name of an algorithm code 1..12; empty for any other code.
QString optimAlgorithmName(int algorithmType);

class OptimGoalRange : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_RANGES";
    OptimGoalRange() : OptimSerializationIFC("GOAL_RANGE") {}
    OptimGoalRange(int index, const QString &lower, const QString &upper)
        : OptimSerializationIFC("GOAL_RANGE"), m_index(index), m_lowerBound(lower), m_upperBound(upper) {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalRange)

    int index() const { return m_index; }
    void setIndex(int index) { m_index = index; }
    const QString &lowerBound() const { return m_lowerBound; }
    void setLowerBound(const QString &text) { m_lowerBound = text; }
    const QString &upperBound() const { return m_upperBound; }
    void setUpperBound(const QString &text) { m_upperBound = text; }

    bool hasLowerBound() const { return !m_lowerBound.isEmpty(); }
    bool hasUpperBound() const { return !m_upperBound.isEmpty(); }
    // The bound parsed as a number (0 when it does not parse); an empty bound
    // is open: -1e300 below, 1e300 above.
    double lowerValue() const;
    double upperValue() const;

    bool operator==(const OptimGoalRange &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_index);
        io.field(self.m_lowerBound);
        io.field(self.m_upperBound);
    }

private:
    int m_index = -1;
    QString m_lowerBound;
    QString m_upperBound;
};
OPTIM_EXTERN_ITEM_LIST(OptimGoalRange)

class OptimGoalLimitInput : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_LIMIT_INPUTS";
    OptimGoalLimitInput() : OptimSerializationIFC("GOAL_LIMIT") {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalLimitInput)

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    int limitType() const { return m_limitType; }
    const QString &firstValueText() const { return m_firstValueText; }
    const QString &secondValueText() const { return m_secondValueText; }
    bool firstValueValid() const { return m_firstValueValid; }
    double firstValue() const { return m_firstValue; }
    bool secondValueValid() const { return m_secondValueValid; }
    double secondValue() const { return m_secondValue; }
    const QString &weight() const { return m_weight; }
    void setWeight(const QString &weight) { m_weight = weight; }
    const OptimItemList<OptimGoalRange> &ranges() const { return m_ranges; }
    OptimItemList<OptimGoalRange> &ranges() { return m_ranges; }
    void setRanges(const OptimItemList<OptimGoalRange> &ranges) { m_ranges = ranges; }

    // One setter per type. A one-value type stores the text as first value
    // with its parsed value and validity and clears the second value.
    void setGreaterThan(const QString &value) { setOneValue(LimitGreaterThan, value); }
    void setLessThan(const QString &value) { setOneValue(LimitLessThan, value); }
    void setEqualTo(const QString &value) { setOneValue(LimitEqualTo, value); }
    void setInside(const QString &first, const QString &second) { setTwoValues(LimitInside, first, second); }
    void setOutside(const QString &first, const QString &second) { setTwoValues(LimitOutside, first, second); }
    // Any type by code; second is ignored for one-value types.
    void setLimit(int limitType, const QString &first, const QString &second = QString());

    QString lowerBoundText() const;
    QString upperBoundText() const;
    void clearFirstValue();
    void clearSecondValue();

    // The first range whose index is k.
    std::optional<OptimGoalRange> rangeForIndex(int k) const;
    // Removes range position i and renumbers the ranges after it.
    void removeRangeAt(qsizetype i);

    bool operator==(const OptimGoalLimitInput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_name);
        io.field(self.m_limitType);
        io.field(self.m_firstValueText);
        io.field(self.m_secondValueText);
        io.field(self.m_firstValueValid);
        io.field(self.m_firstValue);
        io.field(self.m_secondValueValid);
        io.field(self.m_secondValue);
        io.field(self.m_weight);
        io.field(self.m_ranges);
    }

private:
    void setOneValue(int limitType, const QString &value);
    void setTwoValues(int limitType, const QString &first, const QString &second);

    QString m_name;
    int m_limitType = LimitGreaterThan;
    QString m_firstValueText = QStringLiteral("0.0");
    QString m_secondValueText;
    bool m_firstValueValid = true;
    double m_firstValue = 0.0;
    bool m_secondValueValid = false;
    double m_secondValue = 0.0;
    QString m_weight;
    OptimItemList<OptimGoalRange> m_ranges;
};
OPTIM_EXTERN_ITEM_LIST(OptimGoalLimitInput)

class OptimGoalInput : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_GOAL_INPUTS";
    OptimGoalInput() : OptimSerializationIFC("GOAL_INPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimGoalInput)

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &itemTypeName() const { return m_itemTypeName; }
    void setItemTypeName(const QString &name) { m_itemTypeName = name; }
    const QString &expression() const { return m_expression; }
    void setExpression(const QString &expression) { m_expression = expression; }
    const QString &simInstanceName() const { return m_simInstanceName; }
    void setSimInstanceName(const QString &name) { m_simInstanceName = name; }
    const QString &weight() const { return m_weight; }
    void setWeight(const QString &weight) { m_weight = weight; }
    const QStringList &indepVarNames() const { return m_indepVarNames; }
    const QStringList &indepVarUnits() const { return m_indepVarUnits; }
    const OptimItemList<OptimGoalLimitInput> &limits() const { return m_limits; }
    OptimItemList<OptimGoalLimitInput> &limits() { return m_limits; }
    void setLimits(const OptimItemList<OptimGoalLimitInput> &limits) { m_limits = limits; }
    const QString &designItemName() const { return m_designItemName; }
    const QString &designItemType() const { return m_designItemType; }
    void setDesignItem(const QString &name, const QString &type) { m_designItemName = name; m_designItemType = type; }
    const QStringList &extraParameterNames() const { return m_extraParameterNames; }
    void setExtraParameterNames(const QStringList &names) { m_extraParameterNames = names; }
    bool inDesign() const { return m_inDesign; }
    void setInDesign(bool inDesign) { m_inDesign = inDesign; }

    // Independent variables: names with a parallel list of units.
    void addIndepVar(const QString &name);
    void setIndepVarUnit(qsizetype i, const QString &unit);
    // Removes entry i from both lists and the range at position i from every
    // limit, renumbering the ranges after it.
    void removeIndepVar(qsizetype i);

    // Whether limit limitIndex holds at the point of family given by values
    // (one per entry of the family's otherIndepVars), ignoring the family's
    // last independent variable, which the graph sweeps along its axis.
    bool limitAppliesAt(int limitIndex, const OptimTraceFamily &family, const QList<double> &values) const;

    bool operator==(const OptimGoalInput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_name);
        io.field(self.m_expression);
        io.field(self.m_simInstanceName);
        io.field(self.m_weight);
        io.field(self.m_indepVarNames);
        io.field(self.m_indepVarUnits);
        io.field(self.m_limits);
    }

private:
    QString m_name;
    QString m_itemTypeName = QStringLiteral("zeb_simulation:Goal");
    QString m_expression;
    QString m_simInstanceName;
    QString m_weight;
    QStringList m_indepVarNames;
    QStringList m_indepVarUnits;
    OptimItemList<OptimGoalLimitInput> m_limits;
    QString m_designItemName;
    QString m_designItemType;
    QStringList m_extraParameterNames;
    bool m_inDesign = true;
};
OPTIM_EXTERN_ITEM_LIST(OptimGoalInput)

enum OptimConstraintType {
    ConstraintNone = 0,        // param1: reference value
    ConstraintRange = 1,       // param1: minimum, param2: maximum
    ConstraintDiscrete = 2,    // param1: minimum, param2: maximum, param3: step
    ConstraintDeviation = 3,   // param1: centre, param2: absolute deviation
    ConstraintPercentage = 4,  // param1: centre, param2: percentage
};

// The interval a variable of type 3 or 4 may take, from its centre value and
// its deviation or percentage d (absolute value taken): centre -/+ |d|, or
// (1 -/+ |d|/100) x centre; lower bound first, also for a negative centre.
// Nothing for other types, or when the centre or d is missing (did not read
// as a number); a caller that has a fallback for either passes it in.
struct OptimVarBounds
{
    double lower = 0.0;
    double upper = 0.0;
};
std::optional<OptimVarBounds> optimPlusMinusBounds(int constraintType, std::optional<double> centre, std::optional<double> d);

class OptimVarInput : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPT_VAR_INPUTS";
    OptimVarInput() : OptimSerializationIFC("VAR_INPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimVarInput)

    const QString &netlistName() const { return m_netlistName; }
    void setNetlistName(const QString &name) { m_netlistName = name; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString displayName() const { return m_name.isEmpty() ? m_netlistName : m_name; }
    bool optimizeFlagSet() const { return m_optimizeFlagSet; }
    void setOptimizeFlagSet(bool set) { m_optimizeFlagSet = set; }
    bool optimize() const { return m_optimize; }
    void setOptimize(bool optimize) { m_optimize = optimize; }
    const QString &value() const { return m_value; }
    void setValue(const QString &value) { m_value = value; }
    const QString &unit() const { return m_unit; }
    void setUnit(const QString &unit) { m_unit = unit; }
    int constraintType() const { return m_constraintType; }
    const QString &param1() const { return m_param1; }
    const QString &param2() const { return m_param2; }
    const QString &param3() const { return m_param3; }
    bool inDesign() const { return m_inDesign; }
    void setInDesign(bool inDesign) { m_inDesign = inDesign; }
    const QStringList &designValues() const { return m_designValues; }
    void setDesignValues(const QStringList &values) { m_designValues = values; }

    // One setter per constraint code; each stores the parameters its code
    // uses and clears the others.
    void setUnconstrained(const QString &reference);
    void setRange(const QString &minimum, const QString &maximum);
    void setDiscrete(const QString &minimum, const QString &maximum, const QString &step);
    void setDeviation(const QString &centre, const QString &deviation);
    void setPercentage(const QString &centre, const QString &percentage);
    // Any code with all three parameters; those the code does not use are cleared.
    void setConstraint(int constraintType, const QString &p1, const QString &p2 = QString(), const QString &p3 = QString());

    bool operator==(const OptimVarInput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_netlistName);
        io.field(self.m_name);
        io.field(self.m_optimizeFlagSet);
        io.field(self.m_optimize);
        io.field(self.m_value);
        io.field(self.m_unit);
        io.field(self.m_constraintType);
        io.field(self.m_param1);
        io.field(self.m_param2);
        io.field(self.m_param3);
    }

private:
    QString m_netlistName;
    QString m_name;
    bool m_optimizeFlagSet = true;
    bool m_optimize = true;
    QString m_value;
    QString m_unit;
    int m_constraintType = ConstraintNone;
    QString m_param1;
    QString m_param2;
    QString m_param3;
    bool m_inDesign = true;
    QStringList m_designValues;
};
OPTIM_EXTERN_ITEM_LIST(OptimVarInput)

class OptimAlgInput : public OptimSerializationIFC
{
public:
    OptimAlgInput() : OptimSerializationIFC("ALG_INPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimAlgInput)

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &label() const { return m_label; }
    void setLabel(const QString &label) { m_label = label; }
    QString displayName() const { return m_label.isEmpty() ? m_name : m_label; }
    int algorithmType() const { return m_algorithmType; }
    void setAlgorithmType(int type) { m_algorithmType = type; }
    bool flag() const { return m_flag; }
    void setFlag(bool flag) { m_flag = flag; }
    const QStringList &firstList() const { return m_firstList; }
    void setFirstList(const QStringList &list) { m_firstList = list; }
    const QStringList &secondList() const { return m_secondList; }
    void setSecondList(const QStringList &list) { m_secondList = list; }
    const QString &maxIterations() const { return m_maxIterations; }
    void setMaxIterations(const QString &text) { m_maxIterations = text; }

    bool isEmpty() const { return m_name.isEmpty() && m_algorithmType == 0 && m_maxIterations.isEmpty(); }
    static bool acceptsDiscreteVariables(int algorithmType);
    static bool acceptsContinuousVariables(int algorithmType);

    bool operator==(const OptimAlgInput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_name);
        io.field(self.m_label);
        io.field(self.m_algorithmType);
        io.field(self.m_flag);
        io.field(self.m_firstList);
        io.field(self.m_secondList);
        io.field(self.m_maxIterations);
    }

private:
    QString m_name;
    QString m_label;
    int m_algorithmType = 0;
    bool m_flag = false;
    QStringList m_firstList;
    QStringList m_secondList;
    QString m_maxIterations;
};

class OptimModelInput : public OptimSerializationIFC
{
public:
    OptimModelInput() : OptimSerializationIFC("OPTIM_MODEL_INPUT") {}
    OPTIM_RECORD_SERIALIZATION(OptimModelInput)

    const OptimAlgInput &algorithm() const { return m_algorithm; }
    OptimAlgInput &algorithm() { return m_algorithm; }
    void setAlgorithm(const OptimAlgInput &algorithm) { m_algorithm = algorithm; }
    const OptimItemList<OptimGoalInput> &goals() const { return m_goals; }
    OptimItemList<OptimGoalInput> &goals() { return m_goals; }
    const OptimItemList<OptimVarInput> &variables() const { return m_variables; }
    OptimItemList<OptimVarInput> &variables() { return m_variables; }

    bool isEmpty() const { return m_algorithm.isEmpty() && m_goals.isEmpty() && m_variables.isEmpty(); }

    bool operator==(const OptimModelInput &) const = default;

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.m_algorithm);
        io.field(self.m_goals);
        io.field(self.m_variables);
    }

private:
    OptimAlgInput m_algorithm;
    OptimItemList<OptimGoalInput> m_goals;
    OptimItemList<OptimVarInput> m_variables;
};
