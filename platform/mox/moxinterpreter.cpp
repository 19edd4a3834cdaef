#include "moxinterpreter.h"

#include "moxdatum.h"
#include "moxparser.h"

#include <QHash>

using mox::Datum;
using mox::DatumPtr;
using mox::Kind;

struct MoxInterpreter::Word
{
    QByteArray name;
    DatumPtr constant;  // set for a constant word
    MoxFunction function;
};

struct MoxInterpreter::Module
{
    QByteArray name;
    QHash<QByteArray, std::shared_ptr<const Word>> words;
};

struct MoxInterpreter::Found
{
    std::shared_ptr<const Word> word;
    QByteArray module;
};

namespace {

const char *const kBuiltinTypeNames[] = {"", "string", "integer", "bool", "list", "function"};

QString withPosition(int position, const QString &message)
{
    return QStringLiteral("position %1: %2").arg(position).arg(message);
}

QString quotedName(const QByteArray &name)
{
    return QLatin1Char('\'') + QString::fromLatin1(name) + QLatin1Char('\'');
}

} // namespace

MoxInterpreter::MoxInterpreter()
{
    registerBuiltins();
}

MoxInterpreter::~MoxInterpreter()
{
    // Handles nobody gave back die with the interpreter; anyone still holding
    // one holds a dangling pointer, as with any interpreter that went away.
    qDeleteAll(m_handedOut);
}

void MoxInterpreter::registerBuiltins()
{
    const QList<MoxWord> builtins = {
        MoxWord::functionWord("list", [this](const MoxArgs *args) {
            return handOut(Datum::list(args->values));
        }),
        MoxWord::functionWord("find_word", [this](const MoxArgs *args) -> MoxValue * {
            if (args->values.isEmpty() || mox::typeOf(args->values.front()) != mox::StringType)
                return nullptr;
            const QByteArray context = m_moduleStack.isEmpty() ? QByteArray() : m_moduleStack.back();
            Found found;
            if (!lookup(context, args->values.front()->text, found))
                return nullptr;
            if (found.word->constant)
                return handOut(found.word->constant);
            return handOut(Datum::function(found.module, found.word->name));
        }),
    };
    registerVocabulary(QByteArray(), builtins);
}

// ---- handles -------------------------------------------------------------

MoxValue *MoxInterpreter::handOut(const DatumPtr &datum)
{
    if (!datum)
        return nullptr;
    auto *value = new MoxValue{datum};
    m_handedOut.insert(value);
    return value;
}

bool MoxInterpreter::takeBack(MoxValue *value, DatumPtr &datum)
{
    datum.reset();
    if (!value)
        return true;
    if (!m_handedOut.remove(value)) {
        ++m_misuse;
        return false;
    }
    datum = std::move(value->datum);
    delete value;
    return true;
}

DatumPtr MoxInterpreter::datumOf(const MoxValue *value) const
{
    if (!value)
        return nullptr;
    if (!m_handedOut.contains(const_cast<MoxValue *>(value))) {
        ++m_misuse;
        return nullptr;
    }
    return value->datum;
}

void MoxInterpreter::release(MoxValue *value)
{
    DatumPtr dropped;
    takeBack(value, dropped);
}

// ---- modules and words ---------------------------------------------------

MoxInterpreter::Module *MoxInterpreter::module(const QByteArray &name)
{
    for (const auto &module : m_modules) {
        if (module->name == name)
            return module.get();
    }
    m_modules.push_back(std::make_unique<Module>());
    m_modules.back()->name = name;
    return m_modules.back().get();
}

bool MoxInterpreter::lookup(const QByteArray &module, const QByteArray &name, Found &found) const
{
    auto search = [&](const Module &m) {
        const auto it = m.words.constFind(name);
        if (it == m.words.constEnd())
            return false;
        found.word = it.value();
        found.module = m.name;
        return true;
    };
    const Module *first = nullptr;
    const Module *global = nullptr;
    for (const auto &m : m_modules) {
        if (m->name == module)
            first = m.get();
        if (m->name.isEmpty())
            global = m.get();
    }
    if (first && search(*first))
        return true;
    if (global && global != first && search(*global))
        return true;
    for (const auto &m : m_modules) {
        if (m.get() != first && m.get() != global && search(*m))
            return true;
    }
    return false;
}

bool MoxInterpreter::hasWord(const QByteArray &module, const QByteArray &name) const
{
    Found found;
    return lookup(module, name, found);
}

bool MoxInterpreter::registerVocabulary(const QByteArray &moduleName, const QList<MoxWord> &words)
{
    // Every constant handle is ours from here on, whatever the outcome.
    QList<std::shared_ptr<const Word>> table;
    QSet<QByteArray> names;
    bool ok = true;
    for (const MoxWord &entry : words) {
        auto word = std::make_shared<Word>();
        word->name = entry.name;
        word->function = entry.function;
        if (entry.constant && !takeBack(entry.constant, word->constant))
            ok = false;
        if (!mox::isIdentifier(entry.name) || mox::isKeyword(entry.name) || names.contains(entry.name))
            ok = false;
        if (bool(entry.constant) == bool(entry.function))
            ok = false;
        names.insert(entry.name);
        table.append(word);
    }
    if (!ok)
        return false;
    Module *target = module(moduleName);
    for (const auto &word : table)
        target->words.insert(word->name, word);
    return true;
}

// ---- evaluation ------------------------------------------------------------

MoxValue *MoxInterpreter::evaluate(const QByteArray &moduleName, const QByteArray &text)
{
    if (m_moduleStack.size() >= kMaxReentry) {
        m_lastError = QStringLiteral("evaluations nested deeper than %1 levels").arg(kMaxReentry);
        return nullptr;
    }
    const mox::ParseResult parsed = mox::parse(text);
    if (!parsed.root) {
        m_lastError = parsed.error;
        return nullptr;
    }
    m_moduleStack.append(moduleName);
    DatumPtr result;
    QString error;
    const bool ok = evaluateNode(*parsed.root, result, error);
    m_moduleStack.removeLast();
    m_lastError = error;
    return ok ? handOut(result) : nullptr;
}

bool MoxInterpreter::evaluateNode(const mox::Node &node, DatumPtr &result, QString &error)
{
    const QByteArray context = m_moduleStack.back();
    switch (node.kind) {
    case mox::Node::Kind::Literal:
        result = node.literal;
        return true;
    case mox::Node::Kind::Word: {
        Found found;
        if (!lookup(context, node.name, found))
            result.reset();
        else if (found.word->constant)
            result = found.word->constant;
        else
            result = Datum::function(found.module, found.word->name);
        return true;
    }
    case mox::Node::Kind::Call: {
        Found found;
        if (!lookup(context, node.name, found)) {
            error = withPosition(node.position, QStringLiteral("unknown function %1").arg(quotedName(node.name)));
            return false;
        }
        if (found.word->constant) {
            error = withPosition(node.position, QStringLiteral("%1 is not a function").arg(quotedName(node.name)));
            return false;
        }
        QList<DatumPtr> args;
        args.reserve(qsizetype(node.args.size()));
        for (const auto &arg : node.args) {
            DatumPtr value;
            if (!evaluateNode(*arg, value, error))
                return false;
            args.append(value);
        }
        if (!call(found, args, result, error)) {
            error = withPosition(node.position, error);
            return false;
        }
        return true;
    }
    }
    return false;
}

bool MoxInterpreter::call(const Found &found, const QList<DatumPtr> &values, DatumPtr &result, QString &error)
{
    // found holds the word, so a word that replaces itself while it runs
    // finishes as it started.
    const MoxArgs args{values};
    MoxValue *answer = nullptr;
    try {
        answer = found.word->function(&args);
    } catch (...) {
        error = QStringLiteral("%1 failed").arg(quotedName(found.word->name));
        return false;
    }
    if (!takeBack(answer, result)) {
        error = QStringLiteral("%1 answered a value that was not handed out").arg(quotedName(found.word->name));
        return false;
    }
    return true;
}

MoxValue *MoxInterpreter::invoke(const MoxValue *function, const QList<MoxValue *> &handles)
{
    QList<DatumPtr> args;
    for (MoxValue *handle : handles) {
        DatumPtr datum;
        takeBack(handle, datum);
        args.append(datum);
    }
    const DatumPtr target = datumOf(function);
    if (!target || target->kind != Kind::Function) {
        m_lastError = QStringLiteral("invoke: not a function value");
        return nullptr;
    }
    if (m_moduleStack.size() >= kMaxReentry) {
        m_lastError = QStringLiteral("evaluations nested deeper than %1 levels").arg(kMaxReentry);
        return nullptr;
    }
    Found found;
    if (!lookup(target->module, target->text, found) || found.word->constant) {
        m_lastError = QStringLiteral("unknown function %1").arg(quotedName(target->text));
        return nullptr;
    }
    m_moduleStack.append(target->module);
    DatumPtr result;
    QString error;
    const bool ok = call(found, args, result, error);
    m_moduleStack.removeLast();
    m_lastError = error;
    return ok ? handOut(result) : nullptr;
}

QByteArray MoxInterpreter::evaluateToText(const QByteArray &moduleName, const QByteArray &text, QString *error)
{
    MoxValue *value = evaluate(moduleName, text);
    if (!m_lastError.isEmpty()) {
        if (error)
            *error = m_lastError;
        return QByteArray();
    }
    const QByteArray out = printed(value);
    release(value);
    return out;
}

// ---- types -----------------------------------------------------------------

int MoxInterpreter::version() const
{
    return m_version;
}

MoxTypeId MoxInterpreter::stringType() const
{
    return mox::StringType;
}

MoxTypeId MoxInterpreter::integerType() const
{
    return mox::IntegerType;
}

MoxTypeId MoxInterpreter::boolType() const
{
    return mox::BoolType;
}

MoxTypeId MoxInterpreter::parameterListType() const
{
    return mox::ListType;
}

MoxTypeId MoxInterpreter::functionType() const
{
    return mox::FunctionType;
}

MoxTypeId MoxInterpreter::findType(const QByteArray &name) const
{
    for (MoxTypeId id = mox::StringType; id < mox::FirstObjectType; ++id) {
        if (name == kBuiltinTypeNames[id])
            return id;
    }
    const qsizetype index = m_objectTypes.indexOf(name);
    return index < 0 ? mox::NoType : MoxTypeId(index) + mox::FirstObjectType;
}

QByteArray MoxInterpreter::typeName(MoxTypeId type) const
{
    if (type > mox::NoType && type < mox::FirstObjectType)
        return kBuiltinTypeNames[type];
    const qsizetype index = qsizetype(type) - mox::FirstObjectType;
    return index >= 0 && index < m_objectTypes.size() ? m_objectTypes.at(index) : QByteArray();
}

MoxTypeId MoxInterpreter::registerObjectType(const QByteArray &name)
{
    if (!mox::isIdentifier(name) || mox::isKeyword(name))
        return mox::NoType;
    const MoxTypeId existing = findType(name);
    if (existing >= mox::FirstObjectType)
        return existing;
    if (existing != mox::NoType)
        return mox::NoType;  // a built-in type's name
    m_objectTypes.append(name);
    return MoxTypeId(m_objectTypes.size() - 1) + mox::FirstObjectType;
}

MoxTypeId MoxInterpreter::typeOf(const MoxValue *value) const
{
    return mox::typeOf(datumOf(value));
}

// ---- arguments -------------------------------------------------------------

MoxTypeId MoxInterpreter::argumentType(const MoxArgs *args, int index) const
{
    if (!args || index < 0 || index >= args->values.size())
        return mox::NoType;
    return mox::typeOf(args->values.at(index));
}

bool MoxInterpreter::argumentAs(const MoxArgs *args, int index, MoxTypeId type, MoxValue *&value)
{
    value = nullptr;
    if (!args || index < 0 || index >= args->values.size())
        return false;
    const DatumPtr &datum = args->values.at(index);
    const MoxTypeId actual = mox::typeOf(datum);
    if (actual == mox::NoType)
        return false;
    if (actual == type)
        value = handOut(datum);
    else if (type == mox::BoolType && actual == mox::IntegerType)
        value = handOut(Datum::boolean(datum->integer != 0));
    return value != nullptr;
}

// ---- reading -----------------------------------------------------------------

bool MoxInterpreter::readText(const MoxValue *value, QByteArray &text) const
{
    const DatumPtr datum = datumOf(value);
    if (!datum || datum->kind != Kind::String)
        return false;
    text = datum->text;
    return true;
}

bool MoxInterpreter::readInt(const MoxValue *value, qint64 &number) const
{
    const DatumPtr datum = datumOf(value);
    if (!datum || datum->kind != Kind::Integer)
        return false;
    number = datum->integer;
    return true;
}

bool MoxInterpreter::readBool(const MoxValue *value, bool &flag) const
{
    const DatumPtr datum = datumOf(value);
    if (!datum)
        return false;
    if (datum->kind == Kind::Bool)
        flag = datum->flag;
    else if (datum->kind == Kind::Integer)
        flag = datum->integer != 0;
    else
        return false;
    return true;
}

int MoxInterpreter::listSize(const MoxValue *value) const
{
    const DatumPtr datum = datumOf(value);
    if (!datum || datum->kind != Kind::List)
        return -1;
    return int(datum->items.size());
}

MoxValue *MoxInterpreter::listElement(const MoxValue *value, int index)
{
    const DatumPtr datum = datumOf(value);
    if (!datum || datum->kind != Kind::List || index < 0 || index >= datum->items.size())
        return nullptr;
    return handOut(datum->items.at(index));
}

void *MoxInterpreter::objectPointer(const MoxValue *value, MoxTypeId type) const
{
    const DatumPtr datum = datumOf(value);
    if (!datum || datum->kind != Kind::Object || datum->objectType != type)
        return nullptr;
    return datum->pointer;
}

QByteArray MoxInterpreter::printed(const MoxValue *value) const
{
    return mox::printed(datumOf(value));
}

// ---- making ------------------------------------------------------------------

MoxValue *MoxInterpreter::makeString(const QByteArray &text)
{
    return handOut(Datum::string(text));
}

MoxValue *MoxInterpreter::makeInteger(qint64 number)
{
    return handOut(Datum::number(number));
}

MoxValue *MoxInterpreter::makeTrue()
{
    return handOut(Datum::boolean(true));
}

MoxValue *MoxInterpreter::makeFalse()
{
    return handOut(Datum::boolean(false));
}

MoxValue *MoxInterpreter::makeList(const QList<MoxValue *> &elements)
{
    QList<DatumPtr> items;
    items.reserve(elements.size());
    for (MoxValue *element : elements) {
        DatumPtr datum;
        takeBack(element, datum);  // a stale handle becomes a NULL entry
        items.append(datum);
    }
    return handOut(Datum::list(items));
}

MoxValue *MoxInterpreter::makeObject(MoxTypeId type, void *pointer)
{
    const QByteArray name = typeName(type);
    if (type < mox::FirstObjectType || name.isEmpty() || !pointer)
        return nullptr;
    return handOut(Datum::object(type, name, pointer));
}
