// The one walk over the facts of a session: every fact that the summary and
// the report show, in their order, with its label and its key.
#include <algorithm>
#include <array>
#include <span>

#include "output/summary/fact_printer.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// The facts of each update, in their order.
constexpr Field kUpdateWrites{"flash writes", "writes"};
constexpr Field kUpdateBytes{"bytes", "bytes"};
constexpr Field kUpdateRanges{"addresses", "ranges"};
constexpr Field kUpdateRewritten{"rewritten", "rewritten_bytes"};
constexpr Field kUpdateMismatches{"length mismatches", "length_mismatches"};
constexpr Field kUpdateChecksums{"checksums", "checksums"};
constexpr Field kUpdateSerialNumbers{"serial numbers", "serial_numbers"};
constexpr Field kUpdateWrittenBy{"written by", ""};
constexpr Field kUpdateUnansweredWrites{"", "unanswered_writes"};
constexpr Field kUpdateRefusedWrites{"", "refused_writes"};
constexpr Field kUpdateReset{"reset", "reset"};
constexpr Field kUpdateErrors{"error replies", "errors"};
constexpr Field kUpdateRefused{"refused", "refused"};
constexpr Field kUpdateRecovered{"recovered", "recovered"};
constexpr Field kUpdateUnanswered{"unanswered", "unanswered"};
constexpr Field kUpdateOtherErrors{"other error replies", "other_errors"};
constexpr Field kUpdateResponses{"responses", "responses"};
constexpr Field kUpdateOutcome{"outcome", "outcome"};
// The columns of the page's table of updates: every fact but the bytes,
// which stand with the flash writes, and the recovered refusals, which
// stand with the refused ones.
constexpr std::array<Field, 14> kUpdateColumns{
    kUpdateWrites,     kUpdateRanges,        kUpdateRewritten, kUpdateWrittenBy, kUpdateMismatches,
    kUpdateChecksums,  kUpdateSerialNumbers, kUpdateReset,     kUpdateErrors,    kUpdateRefused,
    kUpdateUnanswered, kUpdateOtherErrors,   kUpdateResponses, kUpdateOutcome};

void describeTrace(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Trace", ""}, std::nullopt);
  p.traceFile({"file", "trace"}, facts);
  p.beginGroup("records");
  std::array<CountPart, kRecordTypes> types{};
  for (std::size_t i = 0; i < types.size(); ++i)
    types[i] = {{kRecordTypeRows[i].words, kRecordTypeRows[i].key}, facts.byType[i]};
  p.totalAndParts({"records", "total"}, "by_type", facts.records, types);
  p.count({"hidden by component", "hidden"}, facts.hidden);
  p.count({"fallback entries", "failed"}, facts.failed);
  p.endGroup();
  std::array<CountPart, kDiagnosticKinds> skipped{};
  for (std::size_t i = 0; i < skipped.size(); ++i) {
    skipped[i] = {{kDiagnosticRows[i].words, kDiagnosticRows[i].key}, facts.diagnostics[i]};
  }
  p.counts({"skipped", "diagnostics"}, skipped);
  p.formatVersions({"format versions", "versions"}, facts);
  p.timeSpan({"time", "time"}, facts);
  p.readFailure({"read to its end", "read_error"}, facts.readFailure);
  p.endSection();
}

void describeCommands(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Firmware commands", "commands"}, std::nullopt);
  for (std::size_t kind = 0; kind < facts.commands.size(); ++kind) {
    const Field field{kCommandKindRows[kind].words, kCommandKindRows[kind].key};
    if (static_cast<CommandKind>(kind) != CommandKind::System) {
      p.count(field, facts.commands[kind]);
      continue;
    }
    FixedList<CountPart, decltype(facts.systemCommands)::kCapacity> system;
    for (const auto& [code, count] : facts.systemCommands) {
      const CodedValue& row = kSystemCommandTable.at(code);
      system.push({{row.words, row.key}, count});
    }
    p.totalAndParts(field, "system_commands", facts.commands[kind], system);
  }
  p.endSection();
}

void describeUpdate(const UpdateFacts& update, std::size_t number, FactPrinter& p) {
  p.beginUpdate(number, update);
  p.countAndPart(kUpdateWrites, update.writes, kUpdateBytes, update.bytes);
  p.ranges(kUpdateRanges, update.ranges, update.rangesLeftOut);
  p.countOf(kUpdateRewritten, update.rewrittenBytes, "byte", "bytes");
  p.writtenBy(kUpdateWrittenBy, kUpdateUnansweredWrites, kUpdateRefusedWrites, update);
  p.count(kUpdateMismatches, update.lengthMismatches);
  p.checksums(kUpdateChecksums, update.checksums, update.checksumsLeftOut);
  p.serialNumbers(kUpdateSerialNumbers, "serial_number_writes", update);
  p.flag(kUpdateReset, update.reset);
  p.count(kUpdateErrors, update.errors);
  p.countAndPart(kUpdateRefused, update.exchanges.refused, kUpdateRecovered,
                 update.exchanges.recovered);
  p.countOf(kUpdateUnanswered, update.exchanges.unanswered, "command", "commands");
  p.count(kUpdateOtherErrors, update.otherErrors);
  p.responses(kUpdateResponses, update.responses);
  p.outcome(kUpdateOutcome, update.outcome);
  p.endUpdate();
}

void describeUpdates(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Updates", ""}, facts.updates.size() + facts.updatesLeftOut);
  p.rule({"outcome rule", "outcome_rule"}, kOutcomeRule);
  p.countOf({"outside any update", "writes_outside_updates"}, facts.writesOutsideUpdates,
            "flash write", "flash writes");
  const Field list{"", "updates"};
  p.beginList(list, kUpdateColumns);
  for (std::size_t i = 0; i < facts.updates.size(); ++i) describeUpdate(facts.updates[i], i + 1, p);
  p.endList(list, facts.updatesLeftOut);
  p.endSection();
}

void describeReplies(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Replies", "replies"}, std::nullopt);
  const Field flashReads{"flash reads", "flash_reads"};
  const Field ec{"last EC levels", "ec"};
  // "Serial Number can only be written once for this device" is wider
  // than the labels of the other sections.
  std::size_t widest = std::max(flashReads.label.size(), ec.label.size());
  for (const CodedValue& bit : kStatusBitRows) widest = std::max(widest, bit.words.size());
  p.widestLabel(widest);
  for (std::size_t i = 0; i < kStatusBits; ++i)
    p.count({kStatusBitRows[i].words, kStatusBitRows[i].key}, facts.statusBits[i]);
  p.count(flashReads, facts.flashReads);
  p.ecLevels(ec, facts);
  p.endSection();
}

void describeExchanges(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Exchanges", "exchanges"}, std::nullopt);
  p.rule({"pairing rule", "pairing_rule"}, kPairingRule);
  p.rule({"percentiles", "percentiles"}, kPercentileRule);
  p.beginGroup("by_kind");
  for (std::size_t kind = 0; kind < facts.exchanges.size(); ++kind) {
    const Field field{kCommandKindRows[kind].words, kCommandKindRows[kind].key};
    p.kindExchanges(field, facts.commands[kind], facts.exchanges[kind]);
  }
  p.endGroup();
  p.unanswered({"unanswered commands", "unanswered"}, "first_unanswered", facts);
  p.count({"unsolicited replies", "unsolicited"}, facts.unsolicited);
  p.count({"without a response time", "untimed"}, facts.untimed);
  p.slowest({"slowest exchanges", "slowest"}, facts.slowest);
  p.endSection();
}

void describeErrors(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Error replies", ""}, facts.errors.size() + facts.errorsLeftOut);
  const Field list{"", "errors"};
  p.beginList(list, {});
  for (std::size_t i = 0; i < facts.errors.size(); ++i) p.errorReply(i + 1, facts.errors[i]);
  p.endList(list, facts.errorsLeftOut);
  p.count({"", "errors_outside_updates"}, facts.errorsOutsideUpdates);
  p.endSection();
}

void describeDevices(const SessionFacts& facts, FactPrinter& p) {
  p.beginSection({"Devices", "devices"}, std::nullopt);
  p.versionList({"extended version list", "version_list"}, facts);
  const Field list{"", "classes"};
  p.beginList(list, {});
  bool any = facts.hasVersionList;
  for (std::size_t deviceClass = 0; deviceClass < facts.devices.size(); ++deviceClass) {
    const DeviceReport& device = facts.devices[deviceClass];
    if (!device.hasInventory && !device.hasCounters) continue;
    any = true;
    p.deviceClass(static_cast<std::uint8_t>(deviceClass), device);
  }
  p.endList(list, std::nullopt);
  if (!any) p.nothingReported();
  p.endSection();
}

}  // namespace

void describeSession(const SessionFacts& facts, FactPrinter& printer) {
  printer.verdict({"", "verdict"}, {"", "outcomes"}, {"", "last_update"}, facts);
  describeTrace(facts, printer);
  describeCommands(facts, printer);
  describeUpdates(facts, printer);
  describeReplies(facts, printer);
  describeExchanges(facts, printer);
  describeErrors(facts, printer);
  describeDevices(facts, printer);
}

}  // namespace ovantrex
