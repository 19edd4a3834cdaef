#include "variabletablewidget.h"

#include "design/optimvariablenetlist.h"
#include "editors/algorithmtypewarning.h"
#include "units/realstring.h"
#include "units/realstringparser.h"
#include "units/unitsparser.h"

#include <QHeaderView>
#include <QPointer>

#include <cmath>
#include <optional>

namespace {

constexpr int kDigits = 6;
const QColor kFaultColour(Qt::yellow);

// The units numbers of the variable are read and shown in; a unit text the
// parser does not know is left out, as the variable check does.
QString editorUnits(const OptimVarInput &variable)
{
    return UnitsParser(variable.unit()).isAcceptable() ? variable.unit() : QString();
}

// The units of one number cell: the percentage of a +/- Delta% variable is
// a plain percentage, everything else is in the variable's units.
QString cellUnits(const OptimVarInput &variable, int column)
{
    if (column == VariableTableWidget::MinColumn && variable.constraintType() == ConstraintPercentage)
        return QStringLiteral("%");
    return editorUnits(variable);
}

struct NumberAndUnits
{
    QString number;
    QString units;
};

// A stored text as the table shows it: scaled, six significant digits. A
// text that does not read as a value is shown as it is; an empty one shows
// the units a bare number typed into it is read in.
NumberAndUnits split(const QString &text, const QString &units)
{
    if (text.trimmed().isEmpty())
        return {QString(), units};
    RealString value(text, units);
    value.setDesiredUnits(units);
    value.setAllowScaling(true);
    if (!value.isAcceptable())
        return {text, QString()};
    return {value.scaledValue(kDigits), value.scaledUnits(kDigits)};
}

std::optional<double> baseNumber(const QString &text, const QString &units)
{
    const RealStringParser parser(text, units);
    if (!parser.isAcceptable())
        return std::nullopt;
    return parser.value();
}

QString baseText(double value)
{
    return RealStringParser::formatNumber(value, kDigits);
}

int key(int row, int column)
{
    return row * VariableTableWidget::ColumnCount + column;
}

bool isNumberColumn(int column)
{
    return column == VariableTableWidget::ValueColumn || column == VariableTableWidget::MinColumn
        || column == VariableTableWidget::MaxColumn || column == VariableTableWidget::StepColumn;
}

// The number columns that hold a design-value pull-down for a variable
// whose values are positions in its design value list.
bool isDesignValueColumn(int column)
{
    return column == VariableTableWidget::ValueColumn || column == VariableTableWidget::MinColumn
        || column == VariableTableWidget::MaxColumn;
}

} // namespace

DiscreteVarComboBox::DiscreteVarComboBox(int row, int column, VariableTableWidget *table)
    : QComboBox(table)
    , m_row(row)
    , m_column(column)
    , m_table(table)
{
    setObjectName(QStringLiteral("designValueBox_%1_%2").arg(row).arg(column));
    // By index: a design value list may repeat a value, and choosing the
    // second of two equal entries changes the position, not the text.
    connect(this, &QComboBox::currentIndexChanged, this, [this] { updateUnderyingItem(currentText()); });
}

void DiscreteVarComboBox::setEntries(const QStringList &values, const QString &position)
{
    const QSignalBlocker blocker(this);
    QStringList listed;
    for (int i = 0; i < count(); ++i)
        listed << itemText(i);
    if (listed != values) {
        clear();
        addItems(values);
    }
    bool ok = false;
    const int at = position.trimmed().toInt(&ok);
    setCurrentIndex(ok && at >= 0 && at < count() ? at : -1);
}

void DiscreteVarComboBox::updateUnderyingItem(const QString &)
{
    // The position, not the text: a design value list may repeat a value,
    // and a value may itself read as a position ("2" in {"1", "2", "5"}).
    if (currentIndex() >= 0)
        m_table->storeDesignValuePosition(m_row, m_column, currentIndex());
}

VariableTableWidget::VariableTableWidget(const OptimItemList<OptimVarInput> &variables,
                                         const OptimAlgInput &algorithm, QWidget *parent)
    : QTableWidget(variables.count(), ColumnCount, parent)
    , m_variables(variables)
    , m_algorithm(algorithm)
{
    setObjectName(QStringLiteral("variableTable"));
    setHorizontalHeaderLabels({QString(), QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Units"),
                               QStringLiteral("        Format        "), QStringLiteral("Min \n+/- \n +/-%"),
                               QStringLiteral("Units"), QStringLiteral("Max"), QStringLiteral("Units"),
                               QStringLiteral("Step"), QStringLiteral("Units")});
    horizontalHeader()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    verticalHeader()->setVisible(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);

    // A variable is locked by what it was when the table was made: un-ticking
    // one that is not in the design must not lock it against ticking again.
    for (const OptimVarInput &variable : variables)
        m_locked.append(!variable.inDesign() && (!variable.optimizeFlagSet() || !variable.optimize()));

    for (int row = 0; row < rowCount(); ++row) {
        auto *format = new QComboBox(this);
        format->setObjectName(QStringLiteral("formatBox_%1").arg(row));
        for (int code = ConstraintNone; code <= ConstraintPercentage; ++code)
            format->addItem(formatText(code));
        connect(format, &QComboBox::currentIndexChanged, this, [this, row](int code) {
            if (!m_filling && code >= 0)
                setFormat(row, code);
        });
        setCellWidget(row, FormatColumn, format);
        fillRow(row);
    }
    resizeColumnsToContents();
    resizeRowsToContents();
    updateMarks();

    connect(this, &QTableWidget::itemChanged, this, &VariableTableWidget::handleItemChanged);
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            Q_EMIT rowSelected(row);
    });
}

QString VariableTableWidget::formatText(int constraintType)
{
    switch (constraintType) {
    case ConstraintNone: return QStringLiteral("Unconstrained");
    case ConstraintRange: return QStringLiteral("Min/Max");
    case ConstraintDiscrete: return QStringLiteral("Min/Max/Step");
    case ConstraintDeviation: return QStringLiteral("+/- Delta");
    case ConstraintPercentage: return QStringLiteral("+/- Delta%");
    default: return QString();
    }
}

QComboBox *VariableTableWidget::formatBox(int row) const
{
    return qobject_cast<QComboBox *>(cellWidget(row, FormatColumn));
}

bool VariableTableWidget::isLocked(int row) const
{
    return m_locked.value(row, true);
}

bool VariableTableWidget::isEnabled(int row) const
{
    const OptimVarInput &variable = m_variables.at(row);
    return variable.optimizeFlagSet() && variable.optimize() && !isLocked(row);
}

bool VariableTableWidget::isCellEditable(int row, int column) const
{
    if (row < 0 || row >= m_variables.count())
        return false;
    if (column == EnableColumn)
        return !isLocked(row);
    if (!isEnabled(row))
        return false;
    const OptimVarInput &variable = m_variables.at(row);
    const bool designList = optimUsesDesignValues(variable);
    switch (column) {
    case ValueColumn:
        return true;
    case FormatColumn:
        return !designList;
    case MinColumn:
        return variable.constraintType() != ConstraintNone;
    case MaxColumn:
        return variable.constraintType() == ConstraintRange || variable.constraintType() == ConstraintDiscrete;
    case StepColumn:
        return variable.constraintType() == ConstraintDiscrete && !designList;
    default:
        return false;
    }
}

void VariableTableWidget::fillRow(int row, bool keepTyped)
{
    const bool wasFilling = m_filling;
    m_filling = true;
    const OptimVarInput &variable = m_variables.at(row);
    const int type = variable.constraintType();
    const bool designList = optimUsesDesignValues(variable);
    for (int column = 0; column < ColumnCount; ++column) {
        if (!keepTyped)
            m_typedProblems.remove(key(row, column));
        if (!item(row, column))
            setItem(row, column, new QTableWidgetItem);
    }

    QTableWidgetItem *check = item(row, EnableColumn);
    check->setFlags(isLocked(row) ? Qt::ItemIsSelectable
                                  : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    check->setCheckState(variable.optimizeFlagSet() && variable.optimize() ? Qt::Checked : Qt::Unchecked);
    check->setToolTip(isLocked(row) ? QStringLiteral("The variable is not in the design; it cannot be enabled.")
                                    : QString());
    item(row, NameColumn)->setText(variable.displayName());

    // The texts behind the number columns for this format.
    QString texts[ColumnCount];
    texts[ValueColumn] = variable.value();
    if (type == ConstraintRange || type == ConstraintDiscrete) {
        texts[MinColumn] = variable.param1();
        texts[MaxColumn] = variable.param2();
    } else if (type == ConstraintDeviation || type == ConstraintPercentage) {
        texts[MinColumn] = variable.param2();
    }
    if (type == ConstraintDiscrete)
        texts[StepColumn] = variable.param3();
    for (int column : {int(ValueColumn), int(MinColumn), int(MaxColumn), int(StepColumn)}) {
        const bool shown = column == ValueColumn || (column == MinColumn && type != ConstraintNone)
            || (column == MaxColumn && (type == ConstraintRange || type == ConstraintDiscrete))
            || (column == StepColumn && type == ConstraintDiscrete);
        NumberAndUnits cell;
        if (shown && designList && (isDesignValueColumn(column) || column == StepColumn))
            cell = {texts[column], QString()}; // positions and position steps have no units
        else if (shown)
            cell = split(texts[column], cellUnits(variable, column));
        // A text typed wrong stays in its cell, marked, until it is corrected.
        if (!m_typedProblems.contains(key(row, column)))
            item(row, column)->setText(cell.number);
        item(row, column + 1)->setText(cell.units);

        auto *box = qobject_cast<DiscreteVarComboBox *>(cellWidget(row, column));
        if (designList && shown && isDesignValueColumn(column)) {
            if (!box) {
                box = new DiscreteVarComboBox(row, column, this);
                setCellWidget(row, column, box);
            }
            box->setEntries(variable.designValues(), texts[column]);
            box->setEnabled(isCellEditable(row, column));
        } else if (box) {
            removeCellWidget(row, column);
        }
    }
    item(row, FormatColumn)->setText(formatText(type));
    if (QComboBox *format = formatBox(row)) {
        format->setCurrentIndex(type >= ConstraintNone && type <= ConstraintPercentage ? type : -1);
        format->setEnabled(isCellEditable(row, FormatColumn));
    }

    for (int column = NameColumn; column < ColumnCount; ++column) {
        QTableWidgetItem *cell = item(row, column);
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (isNumberColumn(column) && isCellEditable(row, column))
            flags |= Qt::ItemIsEditable;
        cell->setFlags(flags);
        if (column != NameColumn)
            cell->setTextAlignment(Qt::AlignCenter);
        if (!isEnabled(row))
            cell->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        else
            cell->setData(Qt::ForegroundRole, QVariant());
    }
    m_filling = wasFilling;
}

void VariableTableWidget::handleItemChanged(QTableWidgetItem *changed)
{
    if (m_filling || !changed)
        return;
    const int row = changed->row();
    const int column = changed->column();
    if (row < 0 || row >= m_variables.count())
        return;
    if (column == EnableColumn) {
        // A locked variable keeps its state whatever the item was told.
        if (!isLocked(row)) {
            OptimVarInput &variable = m_variables[row];
            variable.setOptimizeFlagSet(true);
            variable.setOptimize(changed->checkState() == Qt::Checked);
        }
        fillRow(row, false);
    } else if (isNumberColumn(column) && isCellEditable(row, column)) {
        storeNumber(row, column);
    } else {
        fillRow(row);
    }
    updateMarks();
}

void VariableTableWidget::storeDesignValuePosition(int row, int column, int position)
{
    if (row < 0 || row >= m_variables.count() || !isDesignValueColumn(column) || !isCellEditable(row, column)
        || !optimUsesDesignValues(m_variables.at(row)) || position < 0
        || position >= m_variables.at(row).designValues().size())
        return;
    m_typedProblems.remove(key(row, column));
    storeText(row, column, QString::number(position));
    updateMarks();
}

void VariableTableWidget::storeNumber(int row, int column)
{
    OptimVarInput &variable = m_variables[row];
    const QString number = item(row, column)->text().trimmed();
    QString stored;
    if (optimUsesDesignValues(variable) && isDesignValueColumn(column)) {
        // The cell under the pull-down holds a position in the design value list.
        bool ok = false;
        const int position = number.toInt(&ok);
        if (!ok || position < 0 || position >= variable.designValues().size()) {
            m_typedProblems.insert(key(row, column), QStringLiteral("Not one of the design values"));
            return;
        }
        stored = QString::number(position);
        m_typedProblems.remove(key(row, column));
    } else {
        const QString units = item(row, column + 1) ? item(row, column + 1)->text().trimmed() : QString();
        const QString expected = cellUnits(variable, column);
        RealString value(units.isEmpty() ? number : number + QLatin1Char(' ') + units, expected);
        // A number typed with its own suffix ("6n" beside "pF") stands alone.
        if (!value.isAcceptable() && RealStringParser(number, expected).hasOwnUnits())
            value = RealString(number, expected);
        if (!value.isAcceptable()) {
            m_typedProblems.insert(key(row, column),
                                   QStringLiteral("Not a valid value: ") + RealStringParser::problemText(value.problem()));
            return;
        }
        stored = units == QLatin1String("%") || expected == QLatin1String("%")
            ? baseText(value.value())
            : value.unscaledValue(kDigits);
        m_typedProblems.remove(key(row, column));
    }
    storeText(row, column, stored);
}

void VariableTableWidget::storeText(int row, int column, const QString &stored)
{
    OptimVarInput &variable = m_variables[row];
    const int type = variable.constraintType();
    QString p1 = variable.param1();
    QString p2 = variable.param2();
    QString p3 = variable.param3();
    switch (column) {
    case ValueColumn:
        variable.setValue(stored);
        // The reference value of an unconstrained variable is its value; a
        // +/- range without a centre takes the value as its centre.
        if (type == ConstraintNone || ((type == ConstraintDeviation || type == ConstraintPercentage) && p1.isEmpty()))
            p1 = stored;
        break;
    case MinColumn:
        (type == ConstraintDeviation || type == ConstraintPercentage ? p2 : p1) = stored;
        break;
    case MaxColumn:
        p2 = stored;
        break;
    case StepColumn:
        p3 = stored;
        break;
    default:
        break;
    }
    variable.setConstraint(type, p1, p2, p3);
    fillRow(row);
}

void VariableTableWidget::setFormat(int row, int constraintType)
{
    OptimVarInput &variable = m_variables[row];
    const int old = variable.constraintType();
    if (constraintType == old || !isCellEditable(row, FormatColumn))
        return;
    const QString units = editorUnits(variable);
    const auto p1 = baseNumber(variable.param1(), units);
    const auto p2 = baseNumber(variable.param2(), old == ConstraintPercentage ? QString() : units);

    // The interval the old format allowed, kept where the new one has room for it.
    QString low;
    QString high;
    if (old == ConstraintRange || old == ConstraintDiscrete) {
        low = variable.param1();
        high = variable.param2();
    } else if (const auto bounds = optimPlusMinusBounds(old, p1, p2)) {
        low = baseText(bounds->lower);
        high = baseText(bounds->upper);
    }
    const QString centre = variable.value();
    switch (constraintType) {
    case ConstraintNone:
        variable.setUnconstrained(centre);
        break;
    case ConstraintRange:
        variable.setRange(low, high);
        break;
    case ConstraintDiscrete:
        variable.setDiscrete(low, high, old == ConstraintDiscrete ? variable.param3() : QString());
        break;
    case ConstraintDeviation: {
        QString delta = old == ConstraintDeviation ? variable.param2() : QString();
        if ((old == ConstraintRange || old == ConstraintDiscrete) && p1 && p2)
            delta = baseText(std::fabs(*p2 - *p1) / 2);
        variable.setDeviation(centre, delta);
        break;
    }
    case ConstraintPercentage: {
        QString percent;
        if (old == ConstraintPercentage)
            percent = variable.param2();
        else if (old == ConstraintDeviation && p1 && p2 && *p1 != 0)
            percent = baseText(std::fabs(*p2 / *p1) * 100);
        variable.setPercentage(centre, percent);
        break;
    }
    default:
        return;
    }
    // A discrete variable with a design value list keeps positions in it.
    if (optimUsesDesignValues(variable)) {
        const auto position = [&variable](const QString &text) {
            const auto at = optimDesignValuePosition(variable, text);
            return at ? QString::number(*at) : QString();
        };
        const QString step = variable.param3().isEmpty() ? QStringLiteral("1") : variable.param3();
        variable.setValue(position(variable.value()));
        variable.setDiscrete(position(variable.param1()), position(variable.param2()), step);
    }
    fillRow(row, false);
    updateMarks();
}

QString VariableTableWidget::cellMessage(int row, int column, int problems) const
{
    const QString typed = m_typedProblems.value(key(row, column));
    if (!typed.isEmpty())
        return typed;
    const QString none = QStringLiteral("No value specified");
    const QString minAboveMax = QStringLiteral("Min is greater than max");
    switch (column) {
    case ValueColumn:
        if (problems & VarNoValue)
            return none;
        if (problems & VarValueOutOfRange)
            return QStringLiteral("Nominal value out of range");
        break;
    case MinColumn:
        if (problems & (VarNoMin | VarNoDelta | VarNoPercent))
            return none;
        if (problems & VarMinAboveMax)
            return minAboveMax;
        break;
    case MaxColumn:
        if (problems & VarNoMax)
            return none;
        if (problems & VarMinAboveMax)
            return minAboveMax;
        break;
    case StepColumn:
        if (problems & VarNoStep)
            return none;
        if (problems & VarStepSignWrong)
            return QStringLiteral("The sign is not consistent with min and max");
        if (problems & VarStepZero)
            return QStringLiteral("The step is zero");
        break;
    default:
        break;
    }
    return QString();
}

void VariableTableWidget::updateMarks()
{
    const bool wasFilling = m_filling;
    m_filling = true;
    int count = 0;
    for (int row = 0; row < m_variables.count(); ++row) {
        const int problems = optimVariableProblems(m_variables.at(row));
        for (int column : {int(ValueColumn), int(MinColumn), int(MaxColumn), int(StepColumn)}) {
            QTableWidgetItem *cell = item(row, column);
            const bool editable = isCellEditable(row, column);
            const QString message = editable ? cellMessage(row, column, problems) : QString();
            if (!message.isEmpty()) {
                cell->setBackground(kFaultColour);
                ++count;
            } else {
                cell->setData(Qt::BackgroundRole, QVariant());
            }
            cell->setToolTip(message);
            if (QWidget *box = cellWidget(row, column)) {
                box->setToolTip(message);
                box->setStyleSheet(message.isEmpty() ? QString() : QStringLiteral("QComboBox { background: yellow; }"));
            }
        }
    }
    m_filling = wasFilling;
    m_errorCount = count;
    Q_EMIT numErrors(count);
}

bool VariableTableWidget::verifyAndWarn()
{
    if (m_errorCount > 0 || !m_typedProblems.isEmpty())
        return false;
    // Variables that are not optimized never block.
    for (int k = 0; k < m_variables.count(); ++k) {
        const OptimVarInput &variable = m_variables.at(k);
        if (variable.optimizeFlagSet() && variable.optimize() && optimVariableProblems(variable) != 0)
            return false;
    }
    // The warning box runs a nested event loop; the table may be gone after it.
    const QPointer<VariableTableWidget> self(this);
    AlgorithmTypeWarning(m_algorithm, m_variables, this).checkAndWarn();
    return bool(self);
}

void VariableTableWidget::verifyAndEmitVariables()
{
    if (verifyAndWarn())
        Q_EMIT variablesEdited(m_variables);
}

void VariableTableWidget::verifyAndEmitVariablesAccept()
{
    if (verifyAndWarn())
        Q_EMIT variablesEditedAccept(m_variables);
}
