// The selection of records (--where): a stage between the analysis and the
// printer that tells, record by record, whether the printer writes the
// record's entry. Each field that the expression names is taken from the
// record, its decoded values (as JSON Lines names them) or the pairing
// stage's facts; nothing else of the session is kept.
#pragma once

#include <string_view>
#include <vector>

#include "analysis/reply_pairing.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"
#include "output/common/writer.h"
#include "select/expression.h"

namespace ovantrex {

// A value of a field, as a comparison sees it.
struct FieldValue {
  enum class Kind : std::uint8_t { Present, Number, Flag, Text } kind = Kind::Present;
  double number = 0;      // Number; a coded value's number; a time's milliseconds
  bool flag = false;      // Flag
  std::string_view text;  // Text: a text, the words of a coded value, or bytes
};

class Selection {
 public:
  explicit Selection(Expression expression);

  // Whether it needs the facts of the pairing stage (update, reply_to,
  // response_ms).
  bool needsFacts() const { return expression_.needsFacts; }
  // Whether it looks at a firmware command's values: a decoded field, or a
  // fact that the pairing takes from the commands. Else a record decoded to
  // DecodeDepth::Replies is enough.
  bool looksAtCommands() const { return looksAtCommands_; }
  // Whether the record is selected. Every data record of the trace comes
  // here, in order, hidden ones too: the elapsed time counts from the one
  // before. facts: the pairing stage's, when needsFacts().
  bool selects(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts) {
    // The commonest question, the error replies, is answered here.
    const bool selected =
        errorAlone_ ? ReplyPairing::errorReplyOf(decoded) : evaluateRoot(record, decoded, facts);
    previousStamp_ = record.header.timeStamp;
    return selected;
  }

 private:
  struct Context {
    const Record& record;
    const DecodedRecord& decoded;
    const RecordFacts& facts;
  };
  bool evaluateRoot(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts);
  bool evaluate(std::size_t node, const Context& context);
  bool compare(std::size_t index, const Context& context);
  bool searchDecoded(const Node& node, const Context& context);
  bool compareValue(std::size_t index, const Context& context) const;

  // Where a comparison's field is found, worked out once for each node.
  enum class Source : std::uint8_t { Decoded, Record, Error, Fact };
  struct Resolved {
    Source source = Source::Fact;
    RecordKey key{};  // Record: the field's key
  };

  Expression expression_;
  std::vector<Resolved> resolved_;  // one for each node
  double previousStamp_ = 0;
  bool errorAlone_ = false;  // the expression is the field error alone
  bool looksAtCommands_ = false;
  Writer scratch_;  // a figure's text (an EC level, a date)
};

}  // namespace ovantrex
