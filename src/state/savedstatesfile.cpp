#include "savedstatesfile.h"

#include "state/helmdecksettings.h"

#include "model/optimitemlist.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <type_traits>

namespace {

// Version 1 carried Latin-1 texts (other characters became '?'); version 2
// carries UTF-8 and each state's listed design values.
constexpr int formatVersion = 2;
// How long a store waits for another helmdeck's store of the same file.
constexpr int lockWaitMs = 3000;

// One state in the file: name, comment, timestamp (ISO 8601 with
// milliseconds, local time), the model and (version 2) the listed design
// values, four texts per variable: netlist name, value, minimum, maximum.
template <int Version>
class OptimSavedStateRecord : public OptimSerializationIFC
{
public:
    static constexpr const char *listName = "OPTIM_SAVED_STATES";
    OptimSavedStateRecord() : OptimSerializationIFC("OPTIM_SAVED_STATE") {}
    void serialize(OptimSerialWriter &writer) const override { optimWriteRecord(*this, writer); }
    void deserialize(OptimSerialReader &reader) override { optimReadRecord(*this, reader); }

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.name);
        io.field(self.comment);
        io.field(self.timestamp);
        io.field(self.model);
        if constexpr (Version >= 2)
            io.field(self.listedValues);
    }

    QString name;
    QString comment;
    QString timestamp;
    OptimizationModel model;
    QStringList listedValues;
};

// The whole file: format version, the design it belongs to, the states.
template <int Version>
class OptimSavedStatesFileRecord : public OptimSerializationIFC
{
public:
    OptimSavedStatesFileRecord() : OptimSerializationIFC("OPTIM_SAVED_STATES_FILE") {}
    void serialize(OptimSerialWriter &writer) const override { optimWriteRecord(*this, writer); }
    void deserialize(OptimSerialReader &reader) override { optimReadRecord(*this, reader); }

    template <typename Self, typename Io>
    static void fields(Self &self, Io &io)
    {
        io.field(self.version);
        io.field(self.designName);
        io.field(self.states);
    }

    int version = Version;
    QString designName;
    OptimItemList<OptimSavedStateRecord<Version>> states;
};

// The record text writes one byte per character. A text is carried as UTF-8
// by handing the writer one character per UTF-8 byte, and read back the
// other way; quotes and backslashes stay single bytes, so the grammar holds.
QString toBytes(const QString &text)
{
    return QString::fromLatin1(text.toUtf8());
}

QString fromBytes(const QString &text)
{
    return QString::fromUtf8(text.toLatin1());
}

// Applies Recode to every text of a record, following the record's own
// field list, so that a field added to a record is not missed.
template <QString (*Recode)(const QString &)>
struct TextRecoder
{
    void field(QString &text) { text = Recode(text); }
    void field(QStringList &texts)
    {
        for (QString &text : texts)
            text = Recode(text);
    }
    void field(QList<double> &) {}
    template <typename Number>
        requires std::is_arithmetic_v<Number>
    void field(Number &)
    {
    }
    template <typename T>
    void field(OptimItemList<T> &list)
    {
        for (T &item : list)
            field(item);
    }
    template <typename Record>
        requires requires(Record &record, TextRecoder &io) { Record::fields(record, io); }
    void field(Record &record)
    {
        Record::fields(record, *this);
    }
};

// The parts of a state's model the file keeps, recoded.
template <QString (*Recode)(const QString &)>
void recodeModel(OptimizationModel &model)
{
    TextRecoder<Recode> recoder;
    recoder.field(model.input());
    recoder.field(model.output().algorithm());
}

OptimSavedStateRecord<formatVersion> toRecord(const SavedState &state)
{
    OptimSavedStateRecord<formatVersion> record;
    record.name = toBytes(state.name);
    record.comment = toBytes(state.comment);
    record.timestamp = state.timestamp.toString(Qt::ISODateWithMs);
    record.model = SavedStatesFile::modelToKeep(state.model);
    recodeModel<toBytes>(record.model);
    for (auto it = state.listedValues.cbegin(); it != state.listedValues.cend(); ++it) {
        record.listedValues << toBytes(it.key());
        for (int i = 0; i < 3; ++i)
            record.listedValues << toBytes(it.value().value(i));
    }
    return record;
}

QByteArray textOf(const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.joinedText();
}

// Reads a file of one version; false when the text does not read whole.
template <int Version>
bool readVersion(const QByteArray &text, const QString &designName, SavedStatesFile::ReadResult &result)
{
    OptimSerialReader reader(text);
    OptimSavedStatesFileRecord<Version> record;
    record.deserialize(reader);
    if (!reader.hasError() && !reader.atEnd())
        reader.setError();
    if (reader.hasError()) {
        result.problem = QStringLiteral("it is damaged (unreadable from byte %1)").arg(reader.errorOffset());
        return false;
    }
    // Version 1 wrote the design name with '?' for characters outside Latin-1.
    const QString inFile = Version >= 2 ? fromBytes(record.designName) : record.designName;
    if (inFile != (Version >= 2 ? designName : QString::fromLatin1(designName.toLatin1()))) {
        result.problem = QStringLiteral("it belongs to another design (\"%1\")").arg(inFile);
        return false;
    }
    for (OptimSavedStateRecord<Version> &stored : record.states) {
        SavedState state;
        state.timestamp = QDateTime::fromString(stored.timestamp, Qt::ISODateWithMs);
        state.model = stored.model;
        state.fromEarlierSession = true;
        if constexpr (Version >= 2) {
            state.name = fromBytes(stored.name);
            state.comment = fromBytes(stored.comment);
            recodeModel<fromBytes>(state.model);
            const QStringList &listed = stored.listedValues;
            for (qsizetype i = 0; i + 3 < listed.size(); i += 4)
                state.listedValues.insert(fromBytes(listed.at(i)),
                                          {fromBytes(listed.at(i + 1)), fromBytes(listed.at(i + 2)),
                                           fromBytes(listed.at(i + 3))});
        } else {
            state.name = stored.name;
            state.comment = stored.comment;
        }
        if (state.name.trimmed().isEmpty() || !state.timestamp.isValid()) {
            result.states.clear();
            result.problem = QStringLiteral("it holds a state without a name or a valid time");
            return false;
        }
        result.states.append(state);
    }
    return true;
}

// Writes all of text, taking short writes as "go on with the rest": the
// write after a short one reports the reason (a full disk, a file-size
// limit). False with the reason in error when not all was written.
bool writeAll(QSaveFile &file, const QByteArray &text, QString *error)
{
    qint64 done = 0;
    while (done < text.size()) {
        const qint64 written = file.write(text.constData() + done, text.size() - done);
        if (written <= 0) {
            *error = written < 0 ? file.errorString() : QStringLiteral("the disk took no more data");
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

namespace SavedStatesFile {

QString folder()
{
    const HelmdeckSettings settings;
    return QFileInfo(settings.fileName()).absolutePath() + QStringLiteral("/ZEB-saved-states");
}

QString pathFor(const QString &designName)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]+"));
    QString base = designName;
    base.replace(unsafe, QStringLiteral("_"));
    base = base.right(48);
    while (base.startsWith(QLatin1Char('.')))
        base.remove(0, 1);
    const QByteArray hash = QCryptographicHash::hash(designName.toUtf8(), QCryptographicHash::Sha1).toHex().left(10);
    return folder() + QLatin1Char('/') + base + QLatin1Char('-') + QString::fromLatin1(hash) + QStringLiteral(".states");
}

OptimizationModel modelToKeep(const OptimizationModel &model)
{
    OptimizationModel kept;
    kept.input() = model.input();
    kept.output().algorithm() = model.output().algorithm();
    return kept;
}

QMap<QString, QStringList> listedValuesOf(const OptimModelInput &input)
{
    QMap<QString, QStringList> listed;
    for (const OptimVarInput &variable : input.variables()) {
        const QStringList &values = variable.designValues();
        if (variable.constraintType() != ConstraintDiscrete || values.isEmpty())
            continue;
        const auto at = [&values](const QString &position) {
            bool ok = false;
            const double p = position.trimmed().toDouble(&ok);
            return ok && p == std::round(p) && p >= 0 && p < double(values.size()) ? values.at(qsizetype(p))
                                                                                   : QString();
        };
        listed.insert(variable.netlistName(), {at(variable.value()), at(variable.param1()), at(variable.param2())});
    }
    return listed;
}

QByteArray fileText(const QString &designName, const QList<SavedState> &states, qint64 maxBytes, qsizetype *kept)
{
    OptimSavedStatesFileRecord<formatVersion> file;
    file.designName = toBytes(designName);
    // Each state's text is as long alone as within the file (tokens are
    // joined by single spaces), so the states that fit are known before the
    // file is written; the slack covers the digits of the count.
    qint64 size = textOf(file).size() + 16;
    QList<OptimSavedStateRecord<formatVersion>> records;
    for (const SavedState &state : states) {
        const OptimSavedStateRecord<formatVersion> record = toRecord(state);
        const qint64 length = textOf(record).size();
        if (size + length > maxBytes)
            break;
        size += length;
        records.append(record);
    }
    QByteArray text;
    for (;;) {
        file.states.clear();
        for (const auto &record : records)
            file.states.append(record);
        text = textOf(file);
        if (text.size() <= maxBytes || records.isEmpty())
            break;
        records.removeLast();
    }
    if (kept)
        *kept = records.size();
    return text;
}

ReadResult read(const QString &path, const QString &designName)
{
    ReadResult result;
    QFile file(path);
    if (!file.exists())
        return result;
    if (file.size() > maxFileBytes) {
        result.problem = QStringLiteral("it is larger than %1 KiB").arg(maxFileBytes / 1024);
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = file.errorString();
        return result;
    }
    const QByteArray text = file.readAll();
    // The version decides the field list of the states.
    OptimSerialReader head(text);
    int version = 0;
    if (head.readStart("OPTIM_SAVED_STATES_FILE"))
        version = head.readInt();
    if (head.hasError()) {
        result.problem = QStringLiteral("it is damaged (unreadable from byte %1)").arg(head.errorOffset());
        return result;
    }
    if (version == 1)
        readVersion<1>(text, designName, result);
    else if (version == 2)
        readVersion<2>(text, designName, result);
    else
        result.problem = QStringLiteral("it was written in another format (version %1)").arg(version);
    return result;
}

WriteResult write(const QString &path, const QString &designName, const QList<SavedState> &states)
{
    WriteResult result;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return result;
    }
    // Another helmdeck on the same design may be storing at this moment; it
    // holds the lock only while it reads and replaces the file.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMs)) {
        result.error = lock.error() == QLockFile::LockFailedError
                           ? QStringLiteral("another helmdeck kept the file locked")
                           : QStringLiteral("the lock file %1.lock cannot be made").arg(path);
        return result;
    }

    // What the file holds now: the states of this helmdeck win over older
    // ones of the same name, the rest are kept.
    ReadResult onDisk = read(path, designName);
    if (!onDisk.problem.isEmpty()) {
        // Never replaced unread: what cannot be read is moved aside first.
        result.unreadableMovedTo = setAside(path);
        if (result.unreadableMovedTo.isEmpty()) {
            result.error = QStringLiteral("%1 cannot be read (%2) nor moved aside").arg(path, onDisk.problem);
            return result;
        }
        onDisk.states.clear();
    }
    QList<SavedState> merged = states;
    QList<bool> own(states.size(), true);
    for (const SavedState &other : std::as_const(onDisk.states)) {
        const auto same = std::find_if(merged.begin(), merged.end(),
                                       [&other](const SavedState &state) { return state.name == other.name; });
        if (same == merged.end()) {
            merged.append(other);
            own.append(false);
        } else if (other.timestamp > same->timestamp) {
            *same = other;
            own[same - merged.begin()] = false;
        }
    }
    // Newest first, so that the cap leaves out the oldest.
    QList<qsizetype> order(merged.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&merged](qsizetype a, qsizetype b) { return merged.at(a).timestamp > merged.at(b).timestamp; });
    QList<SavedState> newestFirst;
    for (const qsizetype i : std::as_const(order))
        newestFirst.append(merged.at(i));

    qsizetype kept = 0;
    const QByteArray text = fileText(designName, newestFirst, maxFileBytes, &kept);
    QSaveFile file(path);
    // Unbuffered, so that a short write is seen at the write that made it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.error = file.errorString();
        return result;
    }
    if (!writeAll(file, text, &result.error))
        return result;  // the unfinished copy is discarded with file
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.written = true;
    for (qsizetype i = kept; i < order.size(); ++i)
        if (own.at(order.at(i)))
            result.leftOut.append(merged.at(order.at(i)).name);
    return result;
}

QString setAside(const QString &path)
{
    // Only a file is a states file; anything else at the path stays.
    if (!QFileInfo(path).isFile())
        return {};
    const QString aside = path + QStringLiteral(".unreadable");
    QFile::remove(aside);
    return QFile::rename(path, aside) ? aside : QString();
}

} // namespace SavedStatesFile
