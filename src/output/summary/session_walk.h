// The parts of the one walk over a session's facts (describeSession(), in
// fact_printer.h), and what they share: the decoded values as facts for
// JSON, and the notes of a record as a list for JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "analysis/session_facts.h"
#include "core/record_fields.h"
#include "output/common/notes.h"
#include "output/json/json_decoded.h"
#include "output/summary/fact_printer.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

// The sink of describeDecoded() that hands the decoded values to a fact
// printer as facts for JSON alone.
class DecodedFacts {
 public:
  explicit DecodedFacts(FactPrinter& printer) : p_(printer) {}

  void begin(RecordKey key) { p_.beginObject({inJson(field(key).name())}); }
  void end() { p_.endObject(); }
  void beginList(RecordKey key) { p_.beginList({inJson(field(key).name())}); }
  void endList() { p_.endList(std::nullopt); }
  void item() { p_.beginObject({inJson()}); }
  void endItem() { p_.endObject(); }
  void number(RecordKey key, std::int64_t value) {
    p_.number(inJson(field(key).name()), Number::count(static_cast<std::uint64_t>(value)));
  }
  void flag(RecordKey key, bool value) { p_.flag(inJson(field(key).name()), value); }
  void words(RecordKey key, std::string_view words) {
    p_.text(inJson(field(key).name()), Text::of(words));
  }
  void coded(RecordKey key, std::uint32_t value, std::string_view words) {
    codedValue(field(key).name(), value, words);
  }
  void element(std::string_view words) { p_.text(inJson(), Text::of(words)); }
  void textBytes(RecordKey key, Bytes bytes);
  template <typename Write>
  void figure(RecordKey key, Write write) {
    p_.text(inJson(field(key).name()),
            Text::by([&write](Writer& out, const WordStyle& /*style*/) { write(out); }));
  }
  // {"value": ..., "name": ...} under key.
  void codedValue(std::string_view key, std::uint32_t value, std::string_view words);

 private:
  FactPrinter& p_;
};

// "notes": the first notes that writeNotes(sink) writes, for JSON, and
// "notes_left_out": how many more. scratch: a memory writer for one note.
template <typename WriteNotes>
void describeNotes(FactPrinter& p, Writer& scratch, WriteNotes writeNotes) {
  constexpr Fact kNotes = inJson("notes");
  p.beginList({kNotes});
  FirstNotes notes(scratch, kMaxNotesPerList,
                   [&p](std::string_view words) { p.text(inJson(), Text::trace(words)); });
  writeNotes(notes);
  p.endList(notes.leftOut());
}

// "name": the values of a list of numbers, for JSON, and the count of
// those left out.
template <typename Values>
void describeNumbers(FactPrinter& p, std::string_view name, const Values& values,
                     std::optional<std::uint64_t> leftOut) {
  p.beginList({inJson(name)});
  for (const auto value : values) p.number(inJson(), Number::count(value));
  p.endList(leftOut);
}

// A number, or null in JSON where there is none.
void describeOptional(FactPrinter& p, Fact fact, const std::optional<Number>& value);

void describeUpdates(const SessionFacts& facts, FactPrinter& p);
void describeExchanges(const SessionFacts& facts, FactPrinter& p, Writer& scratch);
void describeErrors(const SessionFacts& facts, FactPrinter& p, Writer& scratch);
void describeDevices(const SessionFacts& facts, FactPrinter& p);

}  // namespace ovantrex
