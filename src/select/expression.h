// The expression of --where: a hand-written parser from its text to a tree
// of nodes, each field checked against the registry and each comparison
// against its field's kind before a record is read.
//
//   expression := term ("or" term)*
//   term       := factor ("and" factor)*
//   factor     := "not" factor | "(" expression ")" | field [operator value]
//   operator   := == != < <= > >= contains
//   value      := number (decimal, or 0x hex) | "text" | true | false
//                 | "time" (ISO 8601, for the field time: select/iso_time.h)
//
// A field alone is true when the record has it and it is not false or 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/record_fields.h"

namespace ovantrex {

enum class NodeOp : std::uint8_t {
  Present,  // the field alone
  Equal,
  NotEqual,
  Less,
  LessOrEqual,
  Greater,
  GreaterOrEqual,
  Contains,
  And,
  Or,
  Not,
};

// What a comparison compares a field's value with, made ready for its kind.
enum class LiteralKind : std::uint8_t {
  Number,      // number
  Flag,        // flag
  Text,        // text: a text, or words of a coded value (resolved to the table's row)
  ByteString,  // text: the bytes of a 0x literal, or of a quoted text, for hex fields
  Coded,       // number: a coded value's number, named by its key or words
  Time,        // number: milliseconds since 1970-01-01 00:00:00 UTC
};

struct Literal {
  LiteralKind kind = LiteralKind::Number;
  double number = 0;
  bool flag = false;
  std::string text;
};

struct Node {
  NodeOp op = NodeOp::Present;
  const RecordField* field = nullptr;  // a comparison's or a field alone's
  Literal value;
  // And, Or: the operands' nodes, two or more (a chain is one node, so that
  // the depth of the tree is that of the nesting); Not: its one operand.
  std::vector<std::size_t> operands;
};

// Where an expression went wrong, and what was expected there.
struct ExpressionError {
  std::size_t position = 0;  // a byte of the expression; its size at its end
  std::string message;
};

struct Expression {
  std::vector<Node> nodes;
  std::size_t root = 0;
  // Whether a field of the pairing stage is named (update, reply_to,
  // response_ms): the selection then needs the stage. Whether a record is
  // an error reply is its own.
  bool needsFacts = false;
};

// The deepest nesting of parentheses and "not" that an expression may have.
inline constexpr std::size_t kMostNesting = 64;

std::variant<Expression, ExpressionError> parseExpression(std::string_view text);

// The message of a bad expression: what went wrong, the expression, and a
// caret under the place, each on a line of its own.
std::string describeError(std::string_view text, const ExpressionError& error);

}  // namespace ovantrex
