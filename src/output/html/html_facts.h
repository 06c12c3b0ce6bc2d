// The HTML back end of the walk over a session's facts: the summary of the
// report's page, a table of facts for each section, a table of the updates
// and a table of the error replies (whose filter box the page's script
// works), with offsets and updates linked to where the page shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "output/common/writer.h"
#include "output/html/page.h"
#include "output/summary/fact_printer.h"

namespace ovantrex {

class HtmlFacts final : public FactPrinter {
 public:
  // scratch: a memory writer for the words of one note.
  HtmlFacts(Writer& out, Writer& scratch, const PageLinks& links);

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
  enum class List { None, Updates, Errors, Other };

  // The section's heading waits for its first content, which may give the
  // section an id (the error replies are a link's target).
  void startSection(std::string_view id = {});
  // A fact's cell: a row of the facts table in a section, or a cell of the
  // row of an update. whole: the cell holds a count (or EC levels) that
  // stays on one line; in a row of an update it is a number, set right.
  Writer& cell(Field field, bool whole = false);
  void endCell();
  void endFacts();

  Writer& out_;
  Writer& scratch_;
  const PageLinks& links_;
  std::optional<Field> pendingSection_;
  std::optional<std::uint64_t> sectionCount_;
  bool factsOpen_ = false;
  bool inRow_ = false;
  List list_ = List::None;
  std::span<const Field> columns_;
  std::size_t items_ = 0;
};

}  // namespace ovantrex
