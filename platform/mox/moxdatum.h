#pragma once

// The interpreter's values. A datum is immutable and shared: lists share
// their elements, and every handle the interpreter hands out (MoxValue) is a
// separate small object pointing at a datum, so handing out an element of a
// list costs no copy. A null DatumPtr is "no value" (printed NULL).

#include "hostifc/moxifc.h"

#include <QByteArray>
#include <QList>

#include <memory>

namespace mox {

struct Datum;
using DatumPtr = std::shared_ptr<const Datum>;

enum class Kind { String, Integer, Bool, List, Function, Object };

// Fixed type ids of the built-in types; host object types follow.
enum BuiltinType : MoxTypeId {
    NoType = 0,
    StringType = 1,
    IntegerType = 2,
    BoolType = 3,
    ListType = 4,
    FunctionType = 5,
    FirstObjectType = 6,
};

struct Datum
{
    Kind kind = Kind::String;
    QByteArray text;        // String: its bytes; Function: word name; Object: type name
    QByteArray module;      // Function: the module the word was found in
    qint64 integer = 0;     // Integer
    bool flag = false;      // Bool
    QList<DatumPtr> items;  // List
    MoxTypeId objectType = NoType;
    void *pointer = nullptr;

    static DatumPtr string(const QByteArray &text);
    static DatumPtr number(qint64 value);
    static DatumPtr boolean(bool value);
    static DatumPtr list(const QList<DatumPtr> &items);
    static DatumPtr function(const QByteArray &module, const QByteArray &name);
    static DatumPtr object(MoxTypeId type, const QByteArray &typeName, void *pointer);
};

MoxTypeId typeOf(const DatumPtr &datum);

// The printed form: strings in double quotes with '"' and '\' escaped by a
// backslash, integers in decimal, TRUE, FALSE, NULL, lists as list(a, b),
// function words by name, host objects as <TypeName>. Parsing the printed
// form of a string, integer, truth value, NULL or list of those gives the
// same value again.
QByteArray printed(const DatumPtr &datum);
QByteArray quoted(const QByteArray &text);

bool isIdentifier(const QByteArray &name);
bool isKeyword(const QByteArray &name);

} // namespace mox

// The opaque types of the interface, as this interpreter makes them.
struct MoxValue
{
    mox::DatumPtr datum;
};

struct MoxArgs
{
    QList<mox::DatumPtr> values;
};
