// The facts of a session are described once, by one walk over them
// (describeSession()), as calls on a fact printer; the text summary, the
// JSON summary and the HTML report's tables are its back ends. Every fact
// carries a label, which people read, and a key, which programs read: the
// two never stand in for each other, so a label can change without the
// JSON changing. A fact without a label is for programs alone, and a
// section or list without a key stands at the level of its parent in JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "analysis/session_facts.h"

namespace ovantrex {

struct Field {
  std::string_view label;
  std::string_view key;
};

// One count of a set: "Text 5", "invalid minor code 0".
struct CountPart {
  Field field;
  std::uint64_t count = 0;
};

class FactPrinter {
 public:
  virtual ~FactPrinter() = default;

  // A section: a heading (with a count, when given) in text and on the
  // page; a JSON object when it has a key.
  // The verdict on the trace's updates, which opens the text summary: in
  // JSON, its words (under words), how many updates ended in each outcome
  // (under counts) and the end of the last update (under last). The page's
  // glance opens with it.
  virtual void verdict(Field words, Field counts, Field last, const SessionFacts& facts) = 0;

  virtual void beginSection(Field section, std::optional<std::uint64_t> count) = 0;
  // The widest label of the section's lines, when one is wider than most:
  // the text summary then puts the section's values in a column past it.
  virtual void widestLabel(std::size_t /*width*/) {}
  virtual void endSection() = 0;
  // A JSON object around some facts of a section; nothing in text and page.
  virtual void beginGroup(std::string_view key) = 0;
  virtual void endGroup() = 0;

  virtual void count(Field field, std::uint64_t value) = 0;
  // A count and its noun: "0 flash writes" (one: the noun for 1).
  virtual void countOf(Field field, std::uint64_t value, std::string_view one,
                       std::string_view many) = 0;
  // A count and a count of part of it, under the part's label: "4, 32
  // bytes", "1, 1 recovered".
  virtual void countAndPart(Field field, std::uint64_t number, Field partField,
                            std::uint64_t part) = 0;
  // A total and its parts: "47: Text 5, Hex 1" (parts of 0 left out of the
  // words); in JSON the total and an object of every part under partsKey.
  virtual void totalAndParts(Field total, std::string_view partsKey, std::uint64_t value,
                             std::span<const CountPart> parts) = 0;
  // Counts side by side: "invalid minor code 0, over-long length 0".
  virtual void counts(Field field, std::span<const CountPart> parts) = 0;
  virtual void flag(Field field, bool value) = 0;  // "yes" / "no"
  // An update's outcome: its words, or its key in JSON.
  virtual void outcome(Field field, UpdateOutcome outcome) = 0;
  // A rule of the summary, in its words (a JSON string).
  virtual void rule(Field field, std::string_view words) = 0;

  // Facts of their own form.
  // The trace's name and the bytes read of it.
  virtual void traceFile(Field field, const SessionFacts& facts) = 0;
  virtual void formatVersions(Field field, const SessionFacts& facts) = 0;
  virtual void timeSpan(Field field, const SessionFacts& facts) = 0;
  // Only when the trace could not be read to its end (JSON: null otherwise).
  virtual void readFailure(Field field, const std::optional<ReadFailure>& failure) = 0;
  virtual void ecLevels(Field field, const SessionFacts& facts) = 0;
  virtual void ranges(Field field, std::span<const AddressRange> ranges, std::uint64_t leftOut) = 0;
  virtual void checksums(Field field, std::span<const std::uint16_t> checksums,
                         std::uint64_t leftOut) = 0;
  // The serial numbers of an update; writes: the key of the count of every
  // write, repeats too.
  virtual void serialNumbers(Field field, std::string_view writes, const UpdateFacts& update) = 0;
  virtual void versionList(Field field, const SessionFacts& facts) = 0;
  // The flash writes that an update's ranges count: accepted and
  // unanswered ones, and the refused ones left out (under the keys of
  // unanswered and refused).
  virtual void writtenBy(Field field, Field unanswered, Field refused,
                         const UpdateFacts& update) = 0;
  // The median and slowest response of an update.
  virtual void responses(Field field, const ResponseSummary& responses) = 0;
  // The exchanges of one kind of command, of which there were commands.
  virtual void kindExchanges(Field field, std::uint64_t commands,
                             const KindExchanges& exchanges) = 0;
  // The commands that no reply answered: all of them counted, the first
  // listed (first: the list's key).
  virtual void unanswered(Field field, std::string_view first, const SessionFacts& facts) = 0;
  // The slowest exchanges, slowest first.
  virtual void slowest(Field field, std::span<const Exchange> exchanges) = 0;

  // A list: a JSON array under the field's key; on the page a table whose
  // columns are the fields of its items (none: the back end's own). Its
  // end says how many items were left out, when the list has a cap.
  virtual void beginList(Field list, std::span<const Field> columns) = 0;
  virtual void endList(Field list, std::optional<std::uint64_t> leftOut) = 0;
  // An item of the list of updates, with its heading.
  virtual void beginUpdate(std::size_t number, const UpdateFacts& update) = 0;
  virtual void endUpdate() = 0;
  virtual void errorReply(std::size_t number, const ErrorReply& error) = 0;
  virtual void deviceClass(std::uint8_t deviceClass, const DeviceReport& report) = 0;
  // A section that has nothing to show.
  virtual void nothingReported() = 0;

 protected:
  FactPrinter() = default;
  FactPrinter(const FactPrinter&) = default;
  FactPrinter& operator=(const FactPrinter&) = default;
};

// The one walk over the facts of a session, in the order in which every
// output shows them.
void describeSession(const SessionFacts& facts, FactPrinter& printer);

}  // namespace ovantrex
