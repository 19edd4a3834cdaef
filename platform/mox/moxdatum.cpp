#include "moxdatum.h"

namespace mox {

namespace {

std::shared_ptr<Datum> make(Kind kind)
{
    auto datum = std::make_shared<Datum>();
    datum->kind = kind;
    return datum;
}

void print(const DatumPtr &datum, QByteArray &out)
{
    if (!datum) {
        out += "NULL";
        return;
    }
    switch (datum->kind) {
    case Kind::String:
        out += quoted(datum->text);
        break;
    case Kind::Integer:
        out += QByteArray::number(datum->integer);
        break;
    case Kind::Bool:
        out += datum->flag ? "TRUE" : "FALSE";
        break;
    case Kind::List:
        out += "list(";
        for (qsizetype i = 0; i < datum->items.size(); ++i) {
            if (i > 0)
                out += ", ";
            print(datum->items.at(i), out);
        }
        out += ')';
        break;
    case Kind::Function:
        out += datum->text;
        break;
    case Kind::Object:
        out += '<' + datum->text + '>';
        break;
    }
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

} // namespace

DatumPtr Datum::string(const QByteArray &text)
{
    auto datum = make(Kind::String);
    datum->text = text;
    return datum;
}

DatumPtr Datum::number(qint64 value)
{
    auto datum = make(Kind::Integer);
    datum->integer = value;
    return datum;
}

DatumPtr Datum::boolean(bool value)
{
    auto datum = make(Kind::Bool);
    datum->flag = value;
    return datum;
}

DatumPtr Datum::list(const QList<DatumPtr> &items)
{
    auto datum = make(Kind::List);
    datum->items = items;
    return datum;
}

DatumPtr Datum::function(const QByteArray &module, const QByteArray &name)
{
    auto datum = make(Kind::Function);
    datum->module = module;
    datum->text = name;
    return datum;
}

DatumPtr Datum::object(MoxTypeId type, const QByteArray &typeName, void *pointer)
{
    auto datum = make(Kind::Object);
    datum->objectType = type;
    datum->text = typeName;
    datum->pointer = pointer;
    return datum;
}

MoxTypeId typeOf(const DatumPtr &datum)
{
    if (!datum)
        return NoType;
    switch (datum->kind) {
    case Kind::String:
        return StringType;
    case Kind::Integer:
        return IntegerType;
    case Kind::Bool:
        return BoolType;
    case Kind::List:
        return ListType;
    case Kind::Function:
        return FunctionType;
    case Kind::Object:
        return datum->objectType;
    }
    return NoType;
}

QByteArray printed(const DatumPtr &datum)
{
    QByteArray out;
    print(datum, out);
    return out;
}

QByteArray quoted(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool isIdentifier(const QByteArray &name)
{
    if (name.isEmpty() || !isLetter(name.front()))
        return false;
    for (char c : name) {
        if (!isLetter(c) && !(c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

bool isKeyword(const QByteArray &name)
{
    return name == "TRUE" || name == "FALSE" || name == "NULL";
}

} // namespace mox
