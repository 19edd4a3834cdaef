#include "savedstatesfile.h"

#include "state/helmdecksettings.h"

#include "model/optimitemlist.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>

namespace {

constexpr int formatVersion = 1;

// One state in the file: name, comment, timestamp (ISO 8601 with
// milliseconds, local time) and the model.
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
    }

    QString name;
    QString comment;
    QString timestamp;
    OptimizationModel model;
};

// The whole file: format version, the design it belongs to, the states.
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

    int version = formatVersion;
    QString designName;
    OptimItemList<OptimSavedStateRecord> states;
};

// The record text carries Latin-1; a design name is compared as it comes
// back from a file.
QString asWritten(const QString &text)
{
    return QString::fromLatin1(text.toLatin1());
}

OptimSavedStateRecord toRecord(const SavedState &state)
{
    OptimSavedStateRecord record;
    record.name = state.name;
    record.comment = state.comment;
    record.timestamp = state.timestamp.toString(Qt::ISODateWithMs);
    record.model = SavedStatesFile::modelToKeep(state.model);
    return record;
}

QByteArray textOf(const OptimSerializationIFC &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.joinedText();
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

QByteArray fileText(const QString &designName, const QList<SavedState> &states, qint64 maxBytes)
{
    OptimSavedStatesFileRecord file;
    file.designName = designName;
    // Each state's text is as long alone as within the file (tokens are
    // joined by single spaces), so the states that fit are known before the
    // file is written; the slack covers the digits of the count.
    qint64 size = textOf(file).size() + 16;
    QList<OptimSavedStateRecord> records;
    for (const SavedState &state : states) {
        const OptimSavedStateRecord record = toRecord(state);
        const qint64 length = textOf(record).size();
        if (size + length > maxBytes)
            break;
        size += length;
        records.append(record);
    }
    QByteArray text;
    for (;;) {
        file.states.clear();
        for (const OptimSavedStateRecord &record : records)
            file.states.append(record);
        text = textOf(file);
        if (text.size() <= maxBytes || records.isEmpty())
            break;
        records.removeLast();
    }
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
    OptimSerialReader reader(file.readAll());
    OptimSavedStatesFileRecord record;
    record.version = 0;
    record.deserialize(reader);
    if (!reader.hasError() && !reader.atEnd())
        reader.setError();
    if (reader.hasError()) {
        result.problem = QStringLiteral("it is damaged (unreadable from byte %1)").arg(reader.errorOffset());
        return result;
    }
    if (record.version != formatVersion) {
        result.problem = QStringLiteral("it was written in another format (version %1)").arg(record.version);
        return result;
    }
    if (record.designName != asWritten(designName)) {
        result.problem = QStringLiteral("it belongs to another design (\"%1\")").arg(record.designName);
        return result;
    }
    for (const OptimSavedStateRecord &stored : record.states) {
        SavedState state;
        state.name = stored.name;
        state.comment = stored.comment;
        state.timestamp = QDateTime::fromString(stored.timestamp, Qt::ISODateWithMs);
        state.model = stored.model;
        state.fromEarlierSession = true;
        if (state.name.trimmed().isEmpty() || !state.timestamp.isValid()) {
            result.states.clear();
            result.problem = QStringLiteral("it holds a state without a name or a valid time");
            return result;
        }
        result.states.append(state);
    }
    return result;
}

bool write(const QString &path, const QString &designName, const QList<SavedState> &states, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fileText(designName, states)) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString setAside(const QString &path)
{
    const QString aside = path + QStringLiteral(".unreadable");
    QFile::remove(aside);
    return QFile::rename(path, aside) ? aside : QString();
}

} // namespace SavedStatesFile
