#pragma once

// Parser of the MOX stand-in language:
//
//   expr   := string | integer | TRUE | FALSE | NULL | identifier | call
//   string := '"' { char | '\' char } '"'      a backslash takes the next byte as is
//   call   := identifier '(' [ expr { ',' expr } ] ')'
//   integer:= [ '-' ] digit { digit }          within 64 bits
//
// One expression per text, optionally followed by ';'. Blanks, tabs and line
// breaks may stand between tokens. Calls nest at most maxNesting deep, so
// neither parsing nor evaluation can run out of stack on hostile input.

#include "moxdatum.h"

#include <QString>

#include <memory>
#include <vector>

namespace mox {

struct Node
{
    enum class Kind { Literal, Word, Call };
    Kind kind = Kind::Literal;
    int position = 0;           // 1-based byte position in the text
    DatumPtr literal;           // Literal; null for NULL
    QByteArray name;            // Word, Call
    std::vector<std::unique_ptr<Node>> args;  // Call
};
using NodePtr = std::unique_ptr<Node>;

constexpr int kMaxNesting = 200;

struct ParseResult
{
    NodePtr root;   // null exactly when error is set
    QString error;  // "position N: what went wrong"
};

ParseResult parse(const QByteArray &text, int maxNesting = kMaxNesting);

} // namespace mox
