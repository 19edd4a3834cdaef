#pragma once

// The host's script interpreter stand-in: a real interpreter of the small
// MOX language (see moxparser.h and docs/mox.md) behind the plug-in's MoxIFC.
//
// Words live in modules. A name is looked up in the module of the evaluation
// first, then in the global module (named ""), then in every other module in
// the order the modules were first registered; the first match wins. The
// global module holds the built-in functions list(...) and find_word("name").
//
// The interpreter keeps the set of handles it has handed out and not yet got
// back, so a test can assert that a caller released everything
// (liveValues() back to where it was). Releasing or reading a handle that is
// not in that set is refused and counted in misuseCount() instead of
// touching freed memory.
//
// Single-threaded. Words may evaluate further expressions while they run (up
// to kMaxReentry nested evaluations).

#include "hostifc/moxifc.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

namespace mox {
struct Node;
struct Datum;
using DatumPtr = std::shared_ptr<const Datum>;
}

class MoxInterpreter : public MoxIFC
{
public:
    static constexpr int kDefaultVersion = 1100;
    static constexpr int kMaxReentry = 32;

    MoxInterpreter();
    ~MoxInterpreter() override;
    MoxInterpreter(const MoxInterpreter &) = delete;
    MoxInterpreter &operator=(const MoxInterpreter &) = delete;

    // MoxIFC
    int version() const override;
    bool registerVocabulary(const QByteArray &module, const QList<MoxWord> &words) override;
    MoxValue *evaluate(const QByteArray &module, const QByteArray &text) override;
    MoxTypeId argumentType(const MoxArgs *args, int index) const override;
    bool argumentAs(const MoxArgs *args, int index, MoxTypeId type, MoxValue *&value) override;
    MoxTypeId stringType() const override;
    MoxTypeId integerType() const override;
    MoxTypeId boolType() const override;
    MoxTypeId parameterListType() const override;
    MoxTypeId findType(const QByteArray &name) const override;
    MoxTypeId typeOf(const MoxValue *value) const override;
    bool readText(const MoxValue *value, QByteArray &text) const override;
    bool readInt(const MoxValue *value, qint64 &number) const override;
    bool readBool(const MoxValue *value, bool &flag) const override;
    MoxValue *makeString(const QByteArray &text) override;
    MoxValue *makeInteger(qint64 number) override;
    MoxValue *makeTrue() override;
    MoxValue *makeFalse() override;
    MoxValue *makeList(const QList<MoxValue *> &elements) override;
    MoxValue *makeObject(MoxTypeId type, void *pointer) override;
    int listSize(const MoxValue *value) const override;
    MoxValue *listElement(const MoxValue *value, int index) override;
    void *objectPointer(const MoxValue *value, MoxTypeId type) const override;
    void release(MoxValue *value) override;

    // Host side.

    // For testing a caller's version check.
    void setVersion(int version) { m_version = version; }

    // Adds a host object type (for example "QtWidget") and answers its id; the
    // id of the existing type when the name is taken by an object type; 0 for
    // a name that is no identifier or names a built-in type.
    MoxTypeId registerObjectType(const QByteArray &name);
    MoxTypeId functionType() const;
    QByteArray typeName(MoxTypeId type) const;

    // Whether a word of that name is visible from module.
    bool hasWord(const QByteArray &module, const QByteArray &name) const;

    // Calls the function a function value refers to, with the given argument
    // handles (all taken, as by makeList). Null on failure (see lastError) or
    // when the function answers no value.
    MoxValue *invoke(const MoxValue *function, const QList<MoxValue *> &args);

    // Evaluates and answers the printed form of the result, releasing it.
    // On failure answers an empty text and sets *error (when given).
    QByteArray evaluateToText(const QByteArray &module, const QByteArray &text, QString *error = nullptr);

    // Why the last evaluate or invoke failed; empty when it succeeded, also
    // when it succeeded with no value.
    QString lastError() const { return m_lastError; }

    // The printed form of a value (NULL for a null handle).
    QByteArray printed(const MoxValue *value) const;

    int liveValues() const { return int(m_handedOut.size()); }
    int misuseCount() const { return m_misuse; }

private:
    struct Word;
    struct Module;
    struct Found;

    MoxValue *handOut(const mox::DatumPtr &datum);
    // Takes a handle back; false (and counted as misuse) for a handle that
    // was not handed out.
    bool takeBack(MoxValue *value, mox::DatumPtr &datum);
    // The datum behind a live handle; null (and counted) for a stale one.
    mox::DatumPtr datumOf(const MoxValue *value) const;

    Module *module(const QByteArray &name);
    bool lookup(const QByteArray &module, const QByteArray &name, Found &found) const;
    bool evaluateNode(const mox::Node &node, mox::DatumPtr &result, QString &error);
    bool call(const Found &found, const QList<mox::DatumPtr> &args, mox::DatumPtr &result, QString &error);
    void registerBuiltins();

    int m_version = kDefaultVersion;
    std::vector<std::unique_ptr<Module>> m_modules;  // in order of first registration
    QList<QByteArray> m_objectTypes;                 // index + FirstObjectType is the id
    QSet<MoxValue *> m_handedOut;
    mutable int m_misuse = 0;
    QList<QByteArray> m_moduleStack;                 // modules of the running evaluations
    QString m_lastError;
};
