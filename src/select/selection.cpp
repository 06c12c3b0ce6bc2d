#include "select/selection.h"

#include <cmath>
#include <optional>

#include "analysis/trace_time.h"
#include "output/json/json_decoded.h"
#include "select/selection_fields.h"

namespace ovantrex {

namespace {

std::string_view asText(Bytes bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

FieldValue number(double value) {
  FieldValue seen;
  seen.kind = FieldValue::Kind::Number;
  seen.number = value;
  return seen;
}
FieldValue flag(bool value) {
  FieldValue seen;
  seen.kind = FieldValue::Kind::Flag;
  seen.flag = value;
  return seen;
}
FieldValue text(std::string_view value) {
  FieldValue seen;
  seen.kind = FieldValue::Kind::Text;
  seen.text = value;
  return seen;
}

// A record's time as a comparison sees it: milliseconds since 1970 UTC (a
// count of 1000 or more carries into the seconds, as in JSON Lines); none
// before format version 3. Alone, it is true whatever the time.
std::optional<FieldValue> timeValue(const Record& record) {
  const std::optional<TraceTime> time = timeOf(record);
  if (!time) return std::nullopt;
  FieldValue seen;
  seen.number = static_cast<double>(time->inMilliseconds());
  return seen;
}

// Whether value meets node's comparison (or, alone, is true).
bool meets(const Node& node, const FieldValue& value) {
  const Literal& literal = node.value;
  if (node.op == NodeOp::Present) {
    if (value.kind == FieldValue::Kind::Number) return value.number != 0;
    if (value.kind == FieldValue::Kind::Flag) return value.flag;
    return true;
  }
  int order = 0;  // of the value against the literal
  switch (literal.kind) {
    case LiteralKind::Number:
    case LiteralKind::Coded:
    case LiteralKind::Time:
      order = value.number < literal.number ? -1 : (value.number > literal.number ? 1 : 0);
      break;
    case LiteralKind::Flag: order = value.flag == literal.flag ? 0 : 1; break;
    case LiteralKind::Text:
    case LiteralKind::ByteString:
      if (node.op == NodeOp::Contains && node.field->type != FieldType::List)
        return value.text.find(literal.text) != std::string_view::npos;
      order = value.text == literal.text ? 0 : 1;
      break;
  }
  switch (node.op) {
    case NodeOp::Equal:
    case NodeOp::Contains: return order == 0;
    case NodeOp::NotEqual: return order != 0;
    case NodeOp::Less: return order < 0;
    case NodeOp::LessOrEqual: return order <= 0;
    case NodeOp::Greater: return order > 0;
    case NodeOp::GreaterOrEqual: return order >= 0;
    default: return false;
  }
}

// The sink of the decoded values that looks for one field: it meets the
// node when one of the field's values does (an element of a list, or the
// field of one of a list's items).
class DecodedSearch {
 public:
  DecodedSearch(const Node& node, Writer& scratch) : node_(node), scratch_(scratch) {}
  bool met() const { return met_; }

  void begin(RecordKey key) { offer(key, FieldValue{}); }
  void end() {}
  void beginList(RecordKey key) { inList_ = is(key); }
  void endList() { inList_ = false; }
  void item() {
    if (inList_) see(FieldValue{});
  }
  void endItem() {}
  void number(RecordKey key, std::int64_t value) {
    offer(key, ovantrex::number(static_cast<double>(value)));
  }
  void flag(RecordKey key, bool value) { offer(key, ovantrex::flag(value)); }
  void words(RecordKey key, std::string_view words) { offer(key, text(words)); }
  void coded(RecordKey key, std::uint32_t value, std::string_view words) {
    FieldValue seen = text(words);
    seen.number = value;
    offer(key, seen);
  }
  void element(std::string_view words) {
    if (inList_) see(text(words));
  }
  void textBytes(RecordKey key, Bytes bytes) { offer(key, text(asText(bytes))); }
  template <typename Write>
  void figure(RecordKey key, Write write) {
    if (!is(key)) return;
    scratch_.clear();
    write(scratch_);
    see(text(scratch_.text()));
  }

 private:
  bool is(RecordKey key) const { return &field(key) == node_.field; }
  void offer(RecordKey key, const FieldValue& value) {
    if (is(key)) see(value);
  }
  void see(const FieldValue& value) { met_ = met_ || meets(node_, value); }

  const Node& node_;
  Writer& scratch_;
  bool inList_ = false;
  bool met_ = false;
};

// The record's value of a field that a JSON Lines record holds outside its
// decoded values, if it has one.
std::optional<FieldValue> bodyValue(RecordKey key, const Record& record,
                                    const DecodedRecord& decoded);

std::optional<FieldValue> headerValue(RecordKey key, const Record& record,
                                      const DecodedRecord& decoded, double previousStamp) {
  const double stamp = record.header.timeStamp;
  switch (key) {
    case RecordKey::Offset: return number(static_cast<double>(record.offset));
    case RecordKey::Version: return number(record.formatVersion);
    case RecordKey::Minor: return number(record.header.minorCode);
    case RecordKey::Type: return text(coded(decoded.type).words);
    case RecordKey::Length: return number(record.header.length);
    case RecordKey::Stamp:
      if (std::isfinite(stamp)) return number(stamp);
      return std::nullopt;
    case RecordKey::Elapsed:
      if (std::isfinite((stamp - previousStamp) / 1000))
        return number((stamp - previousStamp) / 1000);
      return std::nullopt;
    case RecordKey::Component:
      if (record.formatVersion >= 2) return number(record.ext.component);
      return std::nullopt;
    case RecordKey::Pid:
    case RecordKey::Tid:
      if (record.formatVersion != 3) return std::nullopt;
      return number(key == RecordKey::Pid ? record.ext.processId : record.ext.threadId);
    case RecordKey::Time: return timeValue(record);
    default: return bodyValue(key, record, decoded);
  }
}

// The same, of the fields that the payload gives.
std::optional<FieldValue> bodyValue(RecordKey key, const Record& record,
                                    const DecodedRecord& decoded) {
  const bool failed = decoded.failure != DecodeFailure::None;
  const bool transfer = !failed && isHidTransfer(decoded.type);
  switch (key) {
    case RecordKey::Hidden: return flag(decoded.hidden);
    case RecordKey::Failed: return flag(failed);
    case RecordKey::Reason:
      if (failed) return text(coded(decoded.failure).words);
      return std::nullopt;
    case RecordKey::Text:
      if (decoded.type == RecordType::Text) return text(asText(decoded.text.bytes));
      return std::nullopt;
    case RecordKey::Header:
      if (transfer) return text(asText(decoded.transfer.header.bytes));
      return std::nullopt;
    case RecordKey::Report:
      if (transfer) return number(decoded.transfer.reportId());
      return std::nullopt;
    case RecordKey::Data:
      if (transfer) return text(asText(decoded.transfer.data.bytes));
      if (decoded.type != RecordType::Text) return text(asText(record.payload));
      return std::nullopt;
    case RecordKey::Notes:
      if (decoded.firmware && !failed) return FieldValue{};
      return std::nullopt;
    case RecordKey::Decoded:
      if (decoded.firmware && !failed && hasDecodedJson(decoded.body)) return FieldValue{};
      return std::nullopt;
    default: return std::nullopt;
  }
}

// The value of a fact of the pairing stage, if the record has it.
std::optional<FieldValue> factValue(const RecordField& wanted, const RecordFacts& facts) {
  if (&wanted == &kUpdateFact) {
    if (facts.update > 0) return number(static_cast<double>(facts.update));
    return std::nullopt;
  }
  const PairedCommand* command = facts.answers();
  if (command == nullptr) return std::nullopt;
  if (&wanted == &field(RecordKey::ReplyTo)) return number(static_cast<double>(command->offset));
  if (std::isfinite(facts.responseMs)) return number(facts.responseMs);
  return std::nullopt;
}

bool isDecodedMember(const RecordField& wanted) {
  return wanted.key.starts_with(field(RecordKey::Decoded).key) &&
         wanted.key.size() > field(RecordKey::Decoded).key.size();
}

}  // namespace

Selection::Selection(Expression expression)
    : expression_(std::move(expression)), resolved_(expression_.nodes.size()) {
  const RecordField* first = kRecordFields.data();
  for (std::size_t i = 0; i < expression_.nodes.size(); ++i) {
    const RecordField* wanted = expression_.nodes[i].field;
    if (wanted == nullptr) continue;
    Resolved& resolved = resolved_[i];
    if (wanted == &kErrorFact) {
      resolved.source = Source::Error;
    } else if (isDecodedMember(*wanted)) {
      resolved.source = Source::Decoded;
    } else if (wanted >= first && wanted < first + kRecordFields.size() &&
               wanted != &field(RecordKey::ReplyTo) && wanted != &field(RecordKey::ResponseMs)) {
      resolved.source = Source::Record;
      resolved.key = static_cast<RecordKey>(wanted - first);
    }
    looksAtCommands_ = looksAtCommands_ || resolved.source == Source::Decoded ||
                       wanted == &field(RecordKey::Decoded);
  }
  looksAtCommands_ = looksAtCommands_ || expression_.needsFacts;
  errorAlone_ = resolved_[expression_.root].source == Source::Error &&
                expression_.nodes[expression_.root].op == NodeOp::Present;
}

bool Selection::evaluateRoot(const Record& record, const DecodedRecord& decoded,
                             const RecordFacts& facts) {
  return evaluate(expression_.root, Context{record, decoded, facts});
}

// The tree is as deep as the expression's nesting, at most kMostNesting.
bool Selection::evaluate(std::size_t node, const Context& context) {  // NOLINT(misc-no-recursion)
  const Node& at = expression_.nodes[node];
  switch (at.op) {
    case NodeOp::And:
      for (const std::size_t operand : at.operands) {
        if (!evaluate(operand, context)) return false;
      }
      return true;
    case NodeOp::Or:
      for (const std::size_t operand : at.operands) {
        if (evaluate(operand, context)) return true;
      }
      return false;
    case NodeOp::Not: return !evaluate(at.operands[0], context);
    default: return compare(node, context);
  }
}

bool Selection::compare(std::size_t index, const Context& context) {
  const Node& node = expression_.nodes[index];
  switch (resolved_[index].source) {
    case Source::Error: {
      // The commonest question, answered without a value.
      const bool errorReply = ReplyPairing::errorReplyOf(context.decoded);
      return node.op == NodeOp::Present ? errorReply : meets(node, flag(errorReply));
    }
    case Source::Decoded: return searchDecoded(node, context);
    default: return compareValue(index, context);
  }
}

bool Selection::searchDecoded(const Node& node, const Context& context) {
  const DecodedRecord& decoded = context.decoded;
  if (!decoded.firmware || decoded.failure != DecodeFailure::None) return false;
  DecodedSearch search(node, scratch_);
  describeDecoded(search, decoded.body);
  return search.met();
}

bool Selection::compareValue(std::size_t index, const Context& context) const {
  const Node& node = expression_.nodes[index];
  const Resolved& resolved = resolved_[index];
  const std::optional<FieldValue> value =
      resolved.source == Source::Record
          ? headerValue(resolved.key, context.record, context.decoded, previousStamp_)
          : factValue(*node.field, context.facts);
  return value && meets(node, *value);
}

}  // namespace ovantrex
