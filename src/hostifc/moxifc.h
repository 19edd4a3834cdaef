#pragma once

// The host's MOX script interpreter as the plug-in sees it.
//
// Values are opaque handles owned by whoever holds them. Every operation that
// answers a MoxValue* hands out a new handle; the receiver either gives it
// back to the interpreter (returns it from a word, passes it to makeList or
// registers it as a constant word) or releases it. A null MoxValue* means "no
// value"; release(nullptr) does nothing.
//
// A word is a constant value or a function registered under a module name.
// A function receives its call's arguments as an opaque MoxArgs, reads them
// with argumentType/argumentAs and answers a new value or null. Arguments
// belong to the interpreter and stay valid for the duration of the call only.
//
// A parameter list is an ordinary list: parameterListType() is the type id of
// every list value, and lists are built with makeList and taken apart with
// listSize/listElement.
//
// Nothing here throws; failures answer false, null or type id 0.

#include <QByteArray>
#include <QList>

#include <functional>
#include <utility>

struct MoxValue;
struct MoxArgs;

// Type ids are small positive integers; 0 means "no value" or "no such type".
using MoxTypeId = int;

using MoxFunction = std::function<MoxValue *(const MoxArgs *args)>;

struct MoxWord
{
    QByteArray name;
    // Exactly one of the two is set. A constant is handed to the interpreter
    // with the registration call, whether that call succeeds or not.
    MoxValue *constant = nullptr;
    MoxFunction function;

    static MoxWord constantWord(const QByteArray &name, MoxValue *value)
    {
        MoxWord word;
        word.name = name;
        word.constant = value;
        return word;
    }
    static MoxWord functionWord(const QByteArray &name, MoxFunction function)
    {
        MoxWord word;
        word.name = name;
        word.function = std::move(function);
        return word;
    }
};

class MoxIFC
{
public:
    virtual ~MoxIFC() = default;

    // Interface version; the plug-in accepts 1001 to 1999.
    virtual int version() const = 0;

    // Registers all words of the table under module, or none of them. A word
    // replaces an earlier word of the same name in that module, so a failed
    // plug-in registration can simply be repeated.
    virtual bool registerVocabulary(const QByteArray &module, const QList<MoxWord> &words) = 0;

    // Evaluates one expression with words looked up from module first.
    // Null when the text does not parse, evaluation fails, or the expression
    // has no value.
    virtual MoxValue *evaluate(const QByteArray &module, const QByteArray &text) = 0;

    // Type of argument index; 0 when the argument is missing or has no value.
    virtual MoxTypeId argumentType(const MoxArgs *args, int index) const = 0;
    // Argument index as a value of the given type (a new handle in value).
    // False, with value null, when the argument is missing or does not
    // convert; the only conversion is integer to bool (non-zero is true).
    virtual bool argumentAs(const MoxArgs *args, int index, MoxTypeId type, MoxValue *&value) = 0;

    virtual MoxTypeId stringType() const = 0;
    virtual MoxTypeId integerType() const = 0;
    virtual MoxTypeId boolType() const = 0;
    virtual MoxTypeId parameterListType() const = 0;
    // A type by name, host object types ("QtWidget") included; 0 if unknown.
    virtual MoxTypeId findType(const QByteArray &name) const = 0;
    virtual MoxTypeId typeOf(const MoxValue *value) const = 0;

    // Readers leave the output untouched and answer false for a value of
    // another type. readBool also takes an integer (non-zero is true).
    virtual bool readText(const MoxValue *value, QByteArray &text) const = 0;
    virtual bool readInt(const MoxValue *value, qint64 &number) const = 0;
    virtual bool readBool(const MoxValue *value, bool &flag) const = 0;

    virtual MoxValue *makeString(const QByteArray &text) = 0;
    virtual MoxValue *makeInteger(qint64 number) = 0;
    virtual MoxValue *makeTrue() = 0;
    virtual MoxValue *makeFalse() = 0;
    // Takes every element handle; a null element is a "no value" entry.
    virtual MoxValue *makeList(const QList<MoxValue *> &elements) = 0;
    // An object of a host object type around pointer; null when type is not
    // an object type or pointer is null. The value never owns the pointer.
    virtual MoxValue *makeObject(MoxTypeId type, void *pointer) = 0;

    // Number of elements; -1 when value is not a list.
    virtual int listSize(const MoxValue *value) const = 0;
    // Element index as a new handle; null when missing or a "no value" entry.
    virtual MoxValue *listElement(const MoxValue *value, int index) = 0;
    // The pointer inside an object value of the given type, else null.
    virtual void *objectPointer(const MoxValue *value, MoxTypeId type) const = 0;

    virtual void release(MoxValue *value) = 0;
};
