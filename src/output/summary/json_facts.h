// The JSON back end of the walk over a session's facts: the summary as one
// JSON object on one line, keyed by the facts' keys.
#pragma once

#include <cstddef>
#include <vector>

#include "output/common/writer.h"
#include "output/summary/fact_printer.h"
#include "output/summary/summary_row.h"

namespace ovantrex {

class JsonFacts final : public FactPrinter {
 public:
  // scratch: a memory writer for the words of one note; words: one for the
  // verdict's words before they are escaped. The object opens here and
  // closes with close(). rowHead: the object is a batch run's row, which
  // opens with the head and names the trace there alone.
  JsonFacts(Writer& out, Writer& scratch, Writer& words, const SummaryRowHead* rowHead = nullptr);
  // Closes the object and its line.
  void close();

  void verdict(Field words, Field counts, Field last, const SessionFacts& facts) override;
  void beginSection(Field section, std::optional<std::uint64_t> count) override;
  void endSection() override;
  void beginGroup(std::string_view key) override;
  void endGroup() override;
  void count(Field field, std::uint64_t value) override;
  void countOf(Field field, std::uint64_t value, std::string_view one,
               std::string_view many) override;
  void countAndPart(Field field, std::uint64_t number, Field partField,
                    std::uint64_t part) override;
  void totalAndParts(Field total, std::string_view partsKey, std::uint64_t value,
                     std::span<const CountPart> parts) override;
  void counts(Field field, std::span<const CountPart> parts) override;
  void flag(Field field, bool value) override;
  void outcome(Field field, UpdateOutcome outcome) override;
  void rule(Field field, std::string_view words) override;
  void traceFile(Field field, const SessionFacts& facts) override;
  void formatVersions(Field field, const SessionFacts& facts) override;
  void timeSpan(Field field, const SessionFacts& facts) override;
  void readFailure(Field field, const std::optional<ReadFailure>& failure) override;
  void ecLevels(Field field, const SessionFacts& facts) override;
  void ranges(Field field, std::span<const AddressRange> ranges, std::uint64_t leftOut) override;
  void checksums(Field field, std::span<const std::uint16_t> checksums,
                 std::uint64_t leftOut) override;
  void serialNumbers(Field field, std::string_view writes, const UpdateFacts& update) override;
  void versionList(Field field, const SessionFacts& facts) override;
  void writtenBy(Field field, Field unanswered, Field refused, const UpdateFacts& update) override;
  void responses(Field field, const ResponseSummary& responses) override;
  void kindExchanges(Field field, std::uint64_t commands, const KindExchanges& exchanges) override;
  void unanswered(Field field, std::string_view first, const SessionFacts& facts) override;
  void slowest(Field field, std::span<const Exchange> exchanges) override;
  void beginList(Field list, std::span<const Field> columns) override;
  void endList(Field list, std::optional<std::uint64_t> leftOut) override;
  void beginUpdate(std::size_t number, const UpdateFacts& update) override;
  void endUpdate() override;
  void errorReply(std::size_t number, const ErrorReply& error) override;
  void deviceClass(std::uint8_t deviceClass, const DeviceReport& report) override;
  void nothingReported() override;

 private:
  // The key of a member of the open object ("key": and a comma before it
  // when it is not the first); the caller writes the value.
  Writer& key(std::string_view name);
  // "<name>_left_out": count, the count of a list's items left out.
  void writeLeftOut(std::string_view name, std::uint64_t count);
  // The next element of the open array.
  Writer& element();
  void open(char bracket);
  void closeScope(char bracket);

  Writer& out_;
  Writer& scratch_;
  Writer& words_;
  bool row_;
  // Whether the open object or array has no member yet, and the sections
  // that opened an object.
  std::vector<bool> first_;
  std::vector<bool> sectionObjects_;
};

}  // namespace ovantrex
