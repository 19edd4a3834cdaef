#include "statemanager.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const char *const kHeaders[] = {"Name", "Comment", "Error", "Timestamp"};

QString errorOf(const SavedState &state)
{
    const OptimAlgOutput &algorithm = state.model.algorithmOutput();
    return algorithm.isBestError() ? algorithm.errorDetail() : algorithm.errorText();
}

// Definitions compared as the simulator sees them: fields that are not part
// of the record text (design links) do not count, so a state read from the
// design's file matches the definitions it was stored from.
QByteArray definitionText(const OptimModelInput &input)
{
    OptimSerialWriter writer;
    input.serialize(writer);
    return writer.joinedText();
}

// Newer first: by timestamp, then by the order of storing.
bool newer(const SavedState &a, const SavedState &b)
{
    if (a.timestamp != b.timestamp)
        return a.timestamp > b.timestamp;
    return a.storeNumber > b.storeNumber;
}

// The position of a listed text in a design value list (blanks and case
// ignored), or -1.
qsizetype listedPosition(const QStringList &values, const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QString wanted = QString(text).remove(blanks);
    for (qsizetype i = 0; i < values.size(); ++i)
        if (QString(values.at(i)).remove(blanks).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// Turns the recalled variable's value, minimum and maximum from positions in
// the list of the time of storing into positions in the current list
// (recalled carries the current list). A text that is no longer listed
// keeps the current variable's text; the answer names each such text.
QStringList mapListedValues(const QStringList &listed, const OptimVarInput &current, OptimVarInput &recalled)
{
    static const char *const what[] = {"value", "minimum", "maximum"};
    QStringList texts = {recalled.value(), recalled.param1(), recalled.param2()};
    const QStringList currentTexts = {current.value(), current.param1(), current.param2()};
    QStringList notes;
    for (int i = 0; i < 3; ++i) {
        const QString text = listed.value(i);
        if (text.isEmpty())
            continue;
        const qsizetype position = listedPosition(current.designValues(), text);
        if (position >= 0) {
            texts[i] = QString::number(position);
            continue;
        }
        texts[i] = currentTexts.at(i);
        notes << QStringLiteral("Variable \"%1\": the stored %2 \"%3\" is no longer in its design value list "
                                "and keeps its current value.")
                     .arg(recalled.displayName(), QLatin1String(what[i]), text);
    }
    recalled.setValue(texts.at(0));
    recalled.setConstraint(recalled.constraintType(), texts.at(1), texts.at(2), recalled.param3());
    return notes;
}

} // namespace

StateManager::StateManager(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void StateManager::setCurrentModel(OptimizationModelObject *model)
{
    m_currentModel = model;
}

int StateManager::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rowOrder.size());
}

int StateManager::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const SavedState *StateManager::stateAt(int row) const
{
    if (row < 0 || row >= m_rowOrder.size())
        return nullptr;
    const auto found = m_states.constFind(m_rowOrder.at(row));
    return found == m_states.constEnd() ? nullptr : &found.value();
}

QVariant StateManager::data(const QModelIndex &index, int role) const
{
    const SavedState *state = index.isValid() ? stateAt(index.row()) : nullptr;
    if (!state)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case NameColumn:
            return state->name;
        case CommentColumn:
            return state->comment;
        case ErrorColumn:
            return errorOf(*state);
        case TimestampColumn:
            // A state of an earlier session shows its day too, and says so.
            if (state->fromEarlierSession)
                return state->timestamp.toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                    + QStringLiteral(" (earlier session)");
            return state->timestamp.time().toString(QStringLiteral("hh:mm:ss"));
        default:
            return {};
        }
    case Qt::TextAlignmentRole:
        if (column == ErrorColumn || column == TimestampColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::ToolTipRole:
        if (state->fromEarlierSession)
            return QStringLiteral("Stored in an earlier session of this design on %1")
                .arg(state->timestamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        return {};
    default:
        return {};
    }
}

QVariant StateManager::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags StateManager::flags(const QModelIndex &index) const
{
    return index.isValid() ? QAbstractTableModel::flags(index) : Qt::ItemIsEnabled;
}

void StateManager::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    const auto text = [column](const SavedState &state) {
        return column == NameColumn ? state.name : column == CommentColumn ? state.comment : errorOf(state);
    };
    const auto before = [&](const QString &left, const QString &right) {
        const SavedState &a = *m_states.constFind(left);
        const SavedState &b = *m_states.constFind(right);
        if (column != TimestampColumn) {
            const int c = QString::compare(text(a), text(b), Qt::CaseInsensitive);
            if (c != 0)
                return order == Qt::AscendingOrder ? c < 0 : c > 0;
            return newer(a, b);
        }
        return order == Qt::AscendingOrder ? newer(b, a) : newer(a, b);
    };

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QStringList oldOrder = m_rowOrder;
    std::stable_sort(m_rowOrder.begin(), m_rowOrder.end(), before);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    for (const QModelIndex &index : from)
        to.append(this->index(int(m_rowOrder.indexOf(oldOrder.at(index.row()))), index.column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool StateManager::storeState(const QString &name, const QString &comment)
{
    if (!m_currentModel || name.isEmpty())
        return false;
    static quint64 storeCount = 0;
    SavedState state;
    state.name = name;
    state.comment = comment;
    state.timestamp = QDateTime::currentDateTime();
    state.model = m_currentModel->model();
    state.listedValues = SavedStatesFile::listedValuesOf(state.model.input());
    state.storeNumber = ++storeCount;

    const int row = rowOf(name);
    if (row >= 0) {
        // One name, one row: the record is replaced in place.
        m_states[name] = state;
        Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
    } else {
        beginInsertRows({}, int(m_rowOrder.size()), int(m_rowOrder.size()));
        m_states.insert(name, state);
        m_rowOrder.append(name);
        endInsertRows();
    }
    sort(TimestampColumn, Qt::DescendingOrder);
    writeFile();
    return true;
}

QString StateManager::defaultStateName()
{
    for (;;) {
        const QString name = QStringLiteral("State%1").arg(m_nextDefaultNumber, 2, 10, QLatin1Char('0'));
        if (!m_states.contains(name))
            return name;
        ++m_nextDefaultNumber;
    }
}

bool StateManager::currentStateIsSaved() const
{
    // Without an optimization there is nothing to lose.
    if (!m_currentModel)
        return true;
    const QByteArray current = definitionText(m_currentModel->model().input());
    return std::any_of(m_states.cbegin(), m_states.cend(), [&current](const SavedState &state) {
        return definitionText(state.model.input()) == current;
    });
}

OptimModelInput StateManager::matchedInput(const OptimModelInput &stored, const OptimModelInput &current,
                                           QStringList *leftOut, const QMap<QString, QStringList> &listedValues)
{
    OptimModelInput result = current;
    // The algorithm keeps the current optimization's name (a state may come
    // from another optimization or an earlier session); the state gives the
    // type and the iteration limit.
    result.algorithm().setAlgorithmType(stored.algorithm().algorithmType());
    result.algorithm().setMaxIterations(stored.algorithm().maxIterations());
    QStringList notes;

    QList<bool> used(stored.goals().count(), false);
    for (qsizetype k = 0; k < result.goals().count(); ++k) {
        OptimGoalInput &goal = result.goals()[k];
        qsizetype found = -1;
        for (qsizetype j = 0; j < stored.goals().count() && found < 0; ++j)
            if (!used[j] && stored.goals().at(j).name() == goal.name())
                found = j;
        if (found < 0) {
            notes << QStringLiteral("Goal \"%1\" is not in the stored state and keeps its definition.").arg(goal.name());
            continue;
        }
        used[found] = true;
        OptimGoalInput recalled = stored.goals().at(found);
        recalled.setItemTypeName(goal.itemTypeName());
        recalled.setDesignItem(goal.designItemName(), goal.designItemType());
        recalled.setExtraParameterNames(goal.extraParameterNames());
        recalled.setInDesign(goal.inDesign());
        goal = recalled;
    }
    for (qsizetype j = 0; j < stored.goals().count(); ++j)
        if (!used[j])
            notes << QStringLiteral("Goal \"%1\" of the stored state is not part of this optimization.")
                         .arg(stored.goals().at(j).name());

    used = QList<bool>(stored.variables().count(), false);
    for (qsizetype k = 0; k < result.variables().count(); ++k) {
        OptimVarInput &variable = result.variables()[k];
        qsizetype found = -1;
        for (qsizetype j = 0; j < stored.variables().count() && found < 0; ++j)
            if (!used[j] && stored.variables().at(j).netlistName() == variable.netlistName())
                found = j;
        if (found < 0) {
            notes << QStringLiteral("Variable \"%1\" is not in the stored state and keeps its definition.")
                         .arg(variable.displayName());
            continue;
        }
        used[found] = true;
        OptimVarInput recalled = stored.variables().at(found);
        recalled.setInDesign(variable.inDesign());
        recalled.setDesignValues(variable.designValues());
        const auto listed = listedValues.constFind(recalled.netlistName());
        if (listed != listedValues.cend()) {
            if (variable.designValues().isEmpty()) {
                notes << QStringLiteral("Variable \"%1\" no longer has a design value list and keeps its definition.")
                             .arg(variable.displayName());
                continue;
            }
            notes << mapListedValues(*listed, variable, recalled);
        }
        variable = recalled;
    }
    for (qsizetype j = 0; j < stored.variables().count(); ++j)
        if (!used[j])
            notes << QStringLiteral("Variable \"%1\" of the stored state is not part of this optimization.")
                         .arg(stored.variables().at(j).displayName());

    if (leftOut)
        *leftOut = notes;
    return result;
}

bool StateManager::recallRow(int row, QStringList *leftOut)
{
    const SavedState *state = stateAt(row);
    if (!state || !m_currentModel)
        return false;
    QStringList notes;
    const OptimModelInput input =
        matchedInput(state->model.input(), m_currentModel->model().input(), &notes, state->listedValues);
    if (leftOut)
        *leftOut = notes;
    // Sending the definitions waits for the simulator's answer; the helmdeck
    // may be closed meanwhile.
    const QPointer<StateManager> self(this);
    Q_EMIT modelInputReplaced(input);
    if (self)
        Q_EMIT stateWasRecalled();
    return true;
}

// ---------------------------------------------------------------- the file copy

void StateManager::setDesignName(const QString &designName)
{
    if (designName.isEmpty() || !m_designName.isEmpty())
        return;
    m_designName = designName;
    m_filePath = SavedStatesFile::pathFor(designName);
    const SavedStatesFile::ReadResult read = SavedStatesFile::read(m_filePath, designName);
    if (!read.problem.isEmpty()) {
        const QString aside = SavedStatesFile::setAside(m_filePath);
        Q_EMIT problemFound(
            QStringLiteral("The optimization states stored for this design in an earlier session cannot be "
                           "offered: %1.\n\n%2\n\nStates stored from now on are kept as usual.")
                .arg(read.problem,
                     aside.isEmpty() ? QStringLiteral("The file %1 will be replaced.").arg(m_filePath)
                                     : QStringLiteral("The file was moved to %1.").arg(aside)));
        return;
    }
    if (read.states.isEmpty())
        return;
    // States stored in this session keep their names; the file lists the
    // newest first, so of two states with one name the newer is kept.
    beginResetModel();
    for (const SavedState &state : read.states) {
        if (m_states.contains(state.name))
            continue;
        m_states.insert(state.name, state);
        m_rowOrder.append(state.name);
    }
    endResetModel();
    sort(TimestampColumn, Qt::DescendingOrder);
}

QList<SavedState> StateManager::statesNewestFirst() const
{
    QList<SavedState> states = m_states.values();
    std::stable_sort(states.begin(), states.end(), newer);
    return states;
}

void StateManager::writeFile()
{
    if (m_filePath.isEmpty())
        return;
    const SavedStatesFile::WriteResult result =
        SavedStatesFile::write(m_filePath, m_designName, statesNewestFirst());
    if (!result.unreadableMovedTo.isEmpty())
        Q_EMIT problemFound(QStringLiteral("The file of stored states %1 could no longer be read; it was moved to %2.")
                                .arg(m_filePath, result.unreadableMovedTo));
    if (!result.written) {
        if (m_writeProblemTold)
            return;
        m_writeProblemTold = true;
        Q_EMIT problemFound(QStringLiteral("The stored states could not be copied to disk: %1.\n\n"
                                           "They stay available until the helmdeck closes; the file %2 keeps "
                                           "what it held before.")
                                .arg(result.error, m_filePath));
        return;
    }
    m_writeProblemTold = false;
    if (result.leftOut.isEmpty() || m_leftOutTold)
        return;
    m_leftOutTold = true;
    const qsizetype count = result.leftOut.size();
    Q_EMIT problemFound((count == 1 ? QStringLiteral("1 older state is kept for this session only.")
                                    : QStringLiteral("%1 older states are kept for this session only.").arg(count))
                        + QStringLiteral("\n\nThe copy on disk holds at most %1 KiB; left out: \"%2\".")
                              .arg(SavedStatesFile::maxFileBytes / 1024)
                              .arg(result.leftOut.join(QStringLiteral("\", \""))));
}
