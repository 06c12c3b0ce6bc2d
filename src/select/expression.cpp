#include "select/expression.h"

#include <array>
#include <cstdlib>

#include "select/iso_time.h"
#include "select/selection_fields.h"

namespace ovantrex {

namespace {

enum class TokenKind : std::uint8_t { Word, Number, Text, Operator, Open, Close, End, Bad };

struct Token {
  TokenKind kind = TokenKind::End;
  std::size_t start = 0;
  std::string_view raw;
};

struct OperatorWords {
  std::string_view text;
  NodeOp op;
};
constexpr std::array<OperatorWords, 7> kOperators{{{"==", NodeOp::Equal},
                                                   {"!=", NodeOp::NotEqual},
                                                   {"<=", NodeOp::LessOrEqual},
                                                   {">=", NodeOp::GreaterOrEqual},
                                                   {"<", NodeOp::Less},
                                                   {">", NodeOp::Greater},
                                                   {"contains", NodeOp::Contains}}};

constexpr std::string_view kValueExpected = "expected a number, a \"text\", true or false";

bool isWordStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWordPart(char c) { return isWordStart(c) || isDigit(c) || c == '.'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// The text of a quoted literal, its escapes (\" and \\) undone.
std::string unquote(std::string_view raw) {
  std::string text;
  for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
    if (raw[i] == '\\') ++i;
    text += raw[i];
  }
  return text;
}

// What a field of each kind takes, for the message that refuses another.
std::string_view takes(const RecordField& field) {
  switch (field.type) {
    case FieldType::Number: return "a number after == != < <= > >=";
    case FieldType::Flag: return "true or false after == or !=";
    case FieldType::Text: return "a \"text\" after ==, != or contains";
    case FieldType::Hex:
    case FieldType::TextBytes:
      return "0x bytes after == or !=, or a \"text\" or 0x bytes after contains";
    case FieldType::Words:
    case FieldType::Key: return "the \"words\" or key of one of its values after == or !=";
    case FieldType::Coded:
      return "a number after == != < <= > >=, or its value's \"words\" or key after == or !=";
    case FieldType::List:
      return field.table != nullptr ? "the \"words\" or key of one of its values after contains"
                                    : "nothing: it stands alone, true when the record has it";
    case FieldType::Time:
      return "a \"YYYY-MM-DDThh:mm:ss[.mmm][Z|+hh:mm]\" time after == != < <= > >=";
    case FieldType::Object: return "nothing: it stands alone, true when the record has it";
  }
  return "";
}

Node joined(NodeOp op, std::vector<std::size_t> operands) {
  Node node;
  node.op = op;
  node.operands = std::move(operands);
  return node;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) { advance(); }

  std::variant<Expression, ExpressionError> parse() {
    const std::size_t root = expression(0);
    if (!error_ && token_.kind != TokenKind::End)
      fail(token_.start, "expected 'and', 'or' or the end of the expression");
    if (error_) return *error_;
    expression_.root = root;
    return std::move(expression_);
  }

 private:
  // The parser descends once for each parenthesis and "not", at most
  // kMostNesting deep.
  std::size_t expression(std::size_t depth) {  // NOLINT(misc-no-recursion)
    std::vector<std::size_t> operands{term(depth)};
    while (!error_ && isWord("or")) {
      advance();
      operands.push_back(term(depth));
    }
    return operands.size() == 1 ? operands[0] : add(joined(NodeOp::Or, std::move(operands)));
  }

  std::size_t term(std::size_t depth) {  // NOLINT(misc-no-recursion)
    std::vector<std::size_t> operands{factor(depth)};
    while (!error_ && isWord("and")) {
      advance();
      operands.push_back(factor(depth));
    }
    return operands.size() == 1 ? operands[0] : add(joined(NodeOp::And, std::move(operands)));
  }

  std::size_t factor(std::size_t depth) {  // NOLINT(misc-no-recursion)
    if (error_) return 0;
    if (depth == kMostNesting) return fail(token_.start, "the expression is nested too deeply");
    if (isWord("not")) {
      advance();
      return add(joined(NodeOp::Not, {factor(depth + 1)}));
    }
    if (token_.kind == TokenKind::Open) {
      const std::size_t open = token_.start;
      advance();
      const std::size_t inner = expression(depth + 1);
      if (error_) return 0;
      if (token_.kind != TokenKind::Close)
        return fail(token_.start, "expected ')' to close the '(' at " + std::to_string(open + 1));
      advance();
      return inner;
    }
    if (token_.kind != TokenKind::Word || isKeyword(token_.raw))
      return fail(token_.start, "expected a field, 'not' or '('");
    return comparison();
  }

  std::size_t comparison() {
    Node node;
    node.field = findSelectionField(token_.raw);
    if (node.field == nullptr) return unknownField();
    noteFacts(*node.field);
    advance();
    const std::optional<NodeOp> op = operatorHere();
    if (!op) return presence(node);
    const Token opToken = token_;
    node.op = *op;
    advance();
    if (!literal(node, opToken)) return 0;
    advance();
    return add(std::move(node));
  }

  std::size_t presence(Node& node) {
    if (token_.kind != TokenKind::End && token_.kind != TokenKind::Close && !isWord("and") &&
        !isWord("or")) {
      return fail(token_.start,
                  "expected == != < <= > >= contains, 'and', 'or', ')' or the end of the "
                  "expression");
    }
    return add(std::move(node));
  }

  std::size_t unknownField() {
    std::string message = "unknown field '" + std::string(token_.raw) + "'; the nearest known: ";
    bool first = true;
    for (const RecordField* near : nearestFields(token_.raw)) {
      if (!first) message += ", ";
      message += near->key;
      first = false;
    }
    return fail(token_.start, message + " (--fields lists them all)");
  }

  // Reads the value of node's comparison into node.value, as its field's
  // kind takes it; false (and the error set) when it does not.
  bool literal(Node& node, const Token& op) {
    const RecordField& field = *node.field;
    if (!takesOperator(field, node.op)) return wrongKind(field, op.start);
    Literal& value = node.value;
    if (token_.kind == TokenKind::Number) return number(node);
    if (token_.kind == TokenKind::Text) {
      value.text = unquote(token_.raw);
      value.kind = LiteralKind::Text;
      return text(node);
    }
    if (isWord("true") || isWord("false")) {
      if (field.type != FieldType::Flag) return wrongKind(field, token_.start);
      value.kind = LiteralKind::Flag;
      value.flag = isWord("true");
      return true;
    }
    fail(token_.start, std::string(kValueExpected));
    return false;
  }

  static bool takesOperator(const RecordField& field, NodeOp op) {
    const bool equality = op == NodeOp::Equal || op == NodeOp::NotEqual;
    switch (field.type) {
      case FieldType::Number:
      case FieldType::Coded: return op != NodeOp::Contains;
      case FieldType::Flag:
      case FieldType::Words:
      case FieldType::Key: return equality;
      case FieldType::Text:
      case FieldType::Hex:
      case FieldType::TextBytes: return equality || op == NodeOp::Contains;
      case FieldType::List: return field.table != nullptr && op == NodeOp::Contains;
      case FieldType::Time: return op != NodeOp::Contains;
      case FieldType::Object: return false;
    }
    return false;
  }

  bool number(Node& node) {
    const RecordField& field = *node.field;
    Literal& value = node.value;
    const std::string_view raw = token_.raw;
    const bool hex = raw.starts_with("0x") || raw.starts_with("0X");
    if (field.type == FieldType::Hex || field.type == FieldType::TextBytes) {
      if (!hex) return wrongKind(field, token_.start);
      if (raw.size() % 2 != 0) {
        fail(token_.start, "expected an even number of hex digits, two for each byte");
        return false;
      }
      for (std::size_t i = 2; i < raw.size(); i += 2)
        value.text += static_cast<char>(hexValue(raw[i]) * 16 + hexValue(raw[i + 1]));
      value.kind = LiteralKind::ByteString;
      return true;
    }
    if (field.type != FieldType::Number && field.type != FieldType::Coded)
      return wrongKind(field, token_.start);
    value.kind = LiteralKind::Number;
    if (hex) {
      for (std::size_t i = 2; i < raw.size(); ++i)
        value.number = value.number * 16 + hexValue(raw[i]);
    } else {
      value.number = std::strtod(std::string(raw).c_str(), nullptr);
    }
    return true;
  }

  bool text(Node& node) {
    const RecordField& field = *node.field;
    Literal& value = node.value;
    switch (field.type) {
      case FieldType::Text: return true;
      case FieldType::Hex:
      case FieldType::TextBytes:
        if (node.op != NodeOp::Contains) return wrongKind(field, token_.start);
        value.kind = LiteralKind::ByteString;
        return true;
      case FieldType::Coded:
        if (node.op != NodeOp::Equal && node.op != NodeOp::NotEqual)
          return wrongKind(field, token_.start);
        if (field.table == nullptr) return true;  // named by a rule: compared by its words
        value.kind = LiteralKind::Coded;
        return codedValue(node);
      case FieldType::Words:
      case FieldType::Key:
      case FieldType::List: return codedValue(node);
      case FieldType::Time: return time(node);
      default: return wrongKind(field, token_.start);
    }
  }

  // A time, read from the text between the quotes as it was typed: the
  // caret of a bad one goes under the place inside it.
  bool time(Node& node) {
    const std::string_view inside = token_.raw.substr(1, token_.raw.size() - 2);
    auto read = readIsoTime(inside);
    if (auto* bad = std::get_if<TimeError>(&read)) {
      fail(token_.start + 1 + bad->position, std::move(bad->message));
      return false;
    }
    node.value.kind = LiteralKind::Time;
    node.value.number = std::get<double>(read);
    return true;
  }

  // A coded value named by its key or by its words: value.text becomes its
  // words, and value.number its number.
  bool codedValue(Node& node) {
    const CodedTable& table = *node.field->table;
    Literal& value = node.value;
    const CodedValue* row = table.byWords(value.text);
    if (row == nullptr) row = table.byKey(value.text);
    if (row == nullptr) {
      std::string message = "'" + value.text + "' is not a value of " +
                            std::string(node.field->key) + "; the nearest: ";
      bool first = true;
      for (const std::string_view near : nearestWords(table, value.text)) {
        if (!first) message += ", ";
        message += '"';
        message += near;
        message += '"';
        first = false;
      }
      fail(token_.start, message);
      return false;
    }
    value.text = std::string(row->words);
    value.number = row->value;
    return true;
  }

  bool wrongKind(const RecordField& field, std::size_t position) {
    fail(position, std::string(field.key) + " takes " + std::string(takes(field)));
    return false;
  }

  void noteFacts(const RecordField& field) {
    if (&field == &kUpdateFact || &field == &::ovantrex::field(RecordKey::ReplyTo) ||
        &field == &::ovantrex::field(RecordKey::ResponseMs))
      expression_.needsFacts = true;
  }

  std::optional<NodeOp> operatorHere() const {
    if (token_.kind != TokenKind::Operator && !isWord("contains")) return std::nullopt;
    for (const OperatorWords& row : kOperators) {
      if (row.text == token_.raw) return row.op;
    }
    return std::nullopt;
  }

  static bool isKeyword(std::string_view word) {
    return word == "and" || word == "or" || word == "not" || word == "contains" || word == "true" ||
           word == "false";
  }
  bool isWord(std::string_view word) const {
    return token_.kind == TokenKind::Word && token_.raw == word;
  }

  std::size_t add(Node node) {
    if (error_) return 0;
    expression_.nodes.push_back(std::move(node));
    return expression_.nodes.size() - 1;
  }

  std::size_t fail(std::size_t position, std::string message) {
    if (!error_) error_ = ExpressionError{position, std::move(message)};
    return 0;
  }

  // The next token; a bad one sets the error.
  void advance() {
    std::size_t i = end_;
    while (i < text_.size() && (text_[i] == ' ' || text_[i] == '\t' || text_[i] == '\n')) ++i;
    token_ = Token{TokenKind::End, i, {}};
    if (i == text_.size()) {
      end_ = i;
      return;
    }
    const std::size_t j = tokenEnd(i);
    if (token_.kind == TokenKind::Bad) {
      end_ = text_.size();
      token_.raw = text_.substr(i);
      return;
    }
    token_.raw = text_.substr(i, j - i);
    end_ = j;
  }

  // The end of the token that begins at i; its kind is set in token_.
  std::size_t tokenEnd(std::size_t i) {
    std::size_t j = i + 1;
    const char c = text_[i];
    if (isWordStart(c)) {
      while (j < text_.size() && isWordPart(text_[j])) ++j;
      token_.kind = TokenKind::Word;
    } else if (isDigit(c) || c == '-') {
      j = numberEnd(i);
      token_.kind = j == i ? TokenKind::Bad : TokenKind::Number;
      if (j == i) fail(i, "expected a number");
    } else if (c == '"') {
      j = textEnd(i);
      token_.kind = TokenKind::Text;
    } else if (c == '(' || c == ')') {
      token_.kind = c == '(' ? TokenKind::Open : TokenKind::Close;
    } else if (c == '=' || c == '!' || c == '<' || c == '>') {
      if (j < text_.size() && text_[j] == '=') ++j;
      token_.kind = TokenKind::Operator;
      if (std::string_view(text_.substr(i, j - i)) == "=" ||
          std::string_view(text_.substr(i, j - i)) == "!")
        fail(i, "expected == != < <= > >= or contains");
    } else {
      fail(i, "expected a field, a value, an operator or a parenthesis");
      token_.kind = TokenKind::Bad;
    }
    return j;
  }

  // The end of a number from i: -?digits[.digits] or 0xhex; i where there is none.
  std::size_t numberEnd(std::size_t i) const {
    std::size_t j = i;
    if (text_[j] == '-') ++j;
    if (j + 1 < text_.size() && text_[j] == '0' && (text_[j + 1] | 0x20) == 'x' && j == i) {
      std::size_t k = j + 2;
      while (k < text_.size() && isHexDigit(text_[k])) ++k;
      return k == j + 2 || (k < text_.size() && isWordPart(text_[k])) ? i : k;
    }
    const std::size_t digits = j;
    while (j < text_.size() && isDigit(text_[j])) ++j;
    if (j == digits) return i;
    if (j + 1 < text_.size() && text_[j] == '.' && isDigit(text_[j + 1])) {
      ++j;
      while (j < text_.size() && isDigit(text_[j])) ++j;
    }
    return j < text_.size() && isWordPart(text_[j]) ? i : j;
  }

  // The end of a quoted text from its quote at i, past its closing quote.
  std::size_t textEnd(std::size_t i) {
    for (std::size_t j = i + 1; j < text_.size(); ++j) {
      if (text_[j] == '\\' && j + 1 < text_.size()) {
        ++j;
      } else if (text_[j] == '"') {
        return j + 1;
      }
    }
    fail(text_.size(), "expected the '\"' that closes the text begun at " + std::to_string(i + 1));
    return text_.size();
  }

  std::string_view text_;
  std::size_t end_ = 0;  // of the current token
  Token token_;
  Expression expression_;
  std::optional<ExpressionError> error_;
};

}  // namespace

std::variant<Expression, ExpressionError> parseExpression(std::string_view text) {
  return Parser(text).parse();
}

std::string describeError(std::string_view text, const ExpressionError& error) {
  std::string message = "--where: " + error.message + "\n  ";
  // The expression on one line: its line ends as blanks, as the caret line
  // counts them; a character of several bytes is one column.
  std::string caret = "  ";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool blank = c == '\n' || c == '\r';
    message += blank ? ' ' : c;
    const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (i < error.position && !continuation) caret += c == '\t' ? '\t' : ' ';
  }
  return message + "\n" + caret + "^\n";
}

}  // namespace ovantrex
