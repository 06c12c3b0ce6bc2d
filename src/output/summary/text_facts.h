// The text back end of the walk over a session's facts: the summary as
// sections of labelled lines.
#pragma once

#include <cstddef>

#include "output/common/writer.h"
#include "output/summary/fact_printer.h"

namespace ovantrex {

class TextFacts final : public FactPrinter {
 public:
  // scratch: a memory writer for the words of one note.
  TextFacts(Writer& out, Writer& scratch);

  void verdict(Field words, Field counts, Field last, const SessionFacts& facts) override;
  void beginSection(Field section, std::optional<std::uint64_t> count) override;
  void widestLabel(std::size_t width) override;
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
  // A line: the indent, the label padded to the column; the caller writes
  // the words.
  Writer& line(std::size_t indent, std::string_view label);
  Writer& line(Field field);
  // The column that fits a label of width at the indent, and the usual
  // labels.
  static std::size_t columnFor(std::size_t indent, std::size_t width);

  Writer& out_;
  Writer& scratch_;
  std::size_t indent_ = 0;
  std::size_t column_;  // of the values of the lines
  std::size_t sections_ = 0;
};

}  // namespace ovantrex
