// The walk over the lists of a session's facts: the updates, the exchanges
// (their kinds and the slowest), the error replies and the devices, each
// item fact by fact.
#include <algorithm>
#include <array>

#include "output/common/colours.h"
#include "output/summary/session_walk.h"

namespace ovantrex {

namespace {

// The columns of the page's table of updates: its heading's three, then
// every fact but the bytes, which stand with the flash writes, and the
// recovered refusals, which stand with the refused ones.
constexpr std::array<Column, 17> kUpdateColumns{{{"update"},
                                                 {"offset", true},
                                                 {"time (UTC)"},
                                                 {"flash writes"},
                                                 {"addresses"},
                                                 {"rewritten"},
                                                 {"written by"},
                                                 {"length mismatches"},
                                                 {"checksums"},
                                                 {"serial numbers"},
                                                 {"reset"},
                                                 {"error replies"},
                                                 {"refused"},
                                                 {"unanswered"},
                                                 {"other error replies"},
                                                 {"responses"},
                                                 {"outcome"}}};
constexpr std::array<Column, 6> kErrorColumns{
    {{"#", true}, {"offset", true}, {"time (UTC)"}, {"update"}, {"reply"}, {"after the command"}}};
constexpr std::array<Column, 4> kSlowestColumns{
    {{"response", true}, {"command"}, {"offset", true}, {"reply at", true}}};
constexpr std::array<Column, 5> kVersionRowColumns{{{kVersionRowNames[0]},
                                                    {kVersionRowNames[1]},
                                                    {kVersionRowNames[2]},
                                                    {kVersionRowNames[3]},
                                                    {kVersionRowNames[4]}}};

// A time, or null in JSON where there is none.
std::optional<Number> timeOrNone(const std::optional<TraceTime>& time) {
  return time ? std::optional(Number::at(*time)) : std::nullopt;
}

// The median and the slowest of some response times, for JSON.
void describeResponseTimes(FactPrinter& p, const ResponseSummary& times,
                           std::initializer_list<std::pair<std::string_view, double>> figures) {
  for (const auto& [key, value] : figures) {
    describeOptional(p, inJson(key),
                     times.count == 0 ? std::nullopt
                                      : std::optional(Number::measured(Unit::Milliseconds, value)));
  }
}

void describeUpdateCounts(const UpdateFacts& update, FactPrinter& p) {
  p.text(forPeople("flash writes"), Text::by(
                                        [&update](Writer& out, const WordStyle& style) {
                                          writeCountAndPart(out, update.writes, update.bytes,
                                                            "bytes", style);
                                        },
                                        true));
  p.number(inJson("writes"), Number::count(update.writes));
  p.number(inJson("bytes"), Number::count(update.bytes));
  p.text(forPeople("addresses"), Text::by([&update](Writer& out, const WordStyle& style) {
           writeRanges(out, update.ranges, update.rangesLeftOut, style);
         }));
  p.beginList({inJson("ranges")});
  for (const AddressRange& range : update.ranges) {
    p.beginObject({inJson()});
    p.number(inJson("first"), Number::count(range.first));
    p.number(inJson("last"), Number::count(range.last));
    p.endObject();
  }
  p.endList(update.rangesLeftOut);
  p.number({"rewritten", "rewritten_bytes"}, Number::count(update.rewrittenBytes, "byte", "bytes"));
  p.text(forPeople("written by"), Text::by([&update](Writer& out, const WordStyle& style) {
           writeWrittenBy(out, update, style);
         }));
  p.number(inJson("unanswered_writes"), Number::count(update.exchanges.unansweredWrites));
  p.number(inJson("refused_writes"), Number::count(update.exchanges.refusedWrites));
  p.number({"length mismatches", "length_mismatches"}, Number::count(update.lengthMismatches));
}

void describeUpdateLists(const UpdateFacts& update, FactPrinter& p) {
  p.text(forPeople("checksums"), Text::by([&update](Writer& out, const WordStyle& style) {
           for (std::size_t i = 0; i < update.checksums.size(); ++i) {
             if (i != 0) out.put(", ");
             writeChecksum(out, update.checksums[i]);
           }
           writeListEnd(out, update.checksums.empty(), update.checksumsLeftOut, style);
         }));
  describeNumbers(p, "checksums", update.checksums, update.checksumsLeftOut);
  p.text(forPeople("serial numbers"), Text::by([&update](Writer& out, const WordStyle& style) {
           for (std::size_t i = 0; i < update.serialNumbers.size(); ++i) {
             if (i != 0) out.put(", ");
             // The characters come from the trace: a line end among them
             // must not start a line of the summary.
             style.traceWords(out, update.serialNumbers[i]);
           }
           writeListEnd(out, update.serialNumbers.empty(), update.serialNumbersLeftOut, style);
           writeSerialNumberWrites(out, update, style);
         }));
  p.beginList({inJson("serial_numbers")});
  for (const std::string_view serial : update.serialNumbers) p.text(inJson(), Text::trace(serial));
  p.endList(update.serialNumbersLeftOut);
  p.number(inJson("serial_number_writes"), Number::count(update.serialNumberWrites));
}

void describeUpdateEnd(const UpdateFacts& update, FactPrinter& p) {
  p.flag({"reset", "reset"}, update.reset);
  p.number({"error replies", "errors"}, Number::count(update.errors));
  p.text(forPeople("refused"), Text::by(
                                   [&update](Writer& out, const WordStyle& style) {
                                     writeCountAndPart(out, update.exchanges.refused,
                                                       update.exchanges.recovered, "recovered",
                                                       style);
                                   },
                                   true));
  p.number(inJson("refused"), Number::count(update.exchanges.refused));
  p.number(inJson("recovered"), Number::count(update.exchanges.recovered));
  p.number({"unanswered", "unanswered"},
           Number::count(update.exchanges.unanswered, "command", "commands"));
  p.number({"other error replies", "other_errors"}, Number::count(update.otherErrors));
  p.text(forPeople("responses"), Text::by([&update](Writer& out, const WordStyle& /*style*/) {
           writeUpdateResponses(out, update.responses);
         }));
  p.beginObject({inJson("responses")});
  describeResponseTimes(
      p, update.responses,
      {{"median_ms", update.responses.median}, {"slowest_ms", update.responses.slowest}});
  p.flag(inJson("exact"), update.responses.exact);
  p.endObject();
  p.coded({"outcome", "outcome"}, coded(update.outcome));
}

void describeUpdate(const UpdateFacts& update, std::size_t number, FactPrinter& p) {
  p.beginObject({.fact = {{}, {}, kEveryone},
                 .heading =
                     [&update, number](Writer& out, const WordStyle& style) {
                       writeUpdateHeading(out, "update", number, update, style);
                     },
                 .marked = update.outcome == UpdateOutcome::Failed,
                 .number = number});
  p.number(onPage("update"), Number::of(Unit::Update, number));
  p.number({"offset", "offset", kPage | kJson}, Number::of(Unit::Offset, update.offset));
  describeOptional(p, {"time (UTC)", "time", kPage | kJson}, timeOrNone(update.time));
  describeUpdateCounts(update, p);
  describeUpdateLists(update, p);
  describeUpdateEnd(update, p);
  p.endObject();
}

void describeKindExchanges(const SessionFacts& facts, FactPrinter& p) {
  p.beginObject({inJson("by_kind")});
  for (std::size_t kind = 0; kind < kCommandKinds; ++kind) {
    const CodedValue& row = kCommandKindRows[kind];
    const std::uint64_t commands = facts.commands[kind];
    const KindExchanges& exchanges = facts.exchanges[kind];
    if (commands != 0) {
      p.text(forPeople(row.words), Text::by([&](Writer& out, const WordStyle& style) {
               writeKindExchanges(out, commands, exchanges, style);
             }));
    }
    p.beginObject({inJson(row.key)});
    p.number(inJson("commands"), Number::count(commands));
    p.number(inJson("answered"), Number::count(exchanges.answered));
    p.number(inJson("unanswered"), Number::count(exchanges.unanswered));
    p.number(inJson("refused"), Number::count(exchanges.refused));
    const ResponseSummary& times = exchanges.responses;
    p.number(inJson("timed"), Number::count(times.count));
    describeResponseTimes(p, times,
                          {{"fastest_ms", times.fastest},
                           {"median_ms", times.median},
                           {"p95_ms", times.p95},
                           {"slowest_ms", times.slowest}});
    p.flag(inJson("exact"), times.exact);
    p.endObject();
  }
  p.endObject();
}

void describeUnanswered(const SessionFacts& facts, FactPrinter& p) {
  std::uint64_t all = 0;
  for (const KindExchanges& kind : facts.exchanges) all += kind.unanswered;
  p.text(forPeople("unanswered commands"), Text::by([&](Writer& out, const WordStyle& style) {
           style.count(out, all);
           const char* separator = ", at offsets ";
           for (const UnansweredCommand& command : facts.firstUnanswered) {
             out.put(separator);
             separator = ", ";
             style.entry(out, command.offset);
           }
           writeListEnd(out, false, all - facts.firstUnanswered.size(), style);
         }));
  p.number(inJson("unanswered"), Number::count(all));
  p.beginList({inJson("first_unanswered")});
  for (const UnansweredCommand& command : facts.firstUnanswered) {
    p.beginObject({inJson()});
    p.number(inJson("offset"), Number::of(Unit::Entry, command.offset));
    p.coded(inJson("kind"), coded(command.kind));
    p.endObject();
  }
  p.endList(std::nullopt);
}

// The slowest exchanges, slowest first. scratch: for the text's labels,
// their response times.
void describeSlowest(const SessionFacts& facts, FactPrinter& p, Writer& scratch) {
  constexpr std::string_view kLabel = "slowest exchanges";
  p.number(inText(kLabel), Number::count(facts.slowest.size()));
  p.beginList({{kLabel, "slowest", kEveryone}, ListKind::SlowestExchanges, kSlowestColumns});
  for (const Exchange& exchange : facts.slowest) {
    p.beginObject({{{}, {}, kEveryone}});
    p.number(inJson("command"), Number::of(Unit::Entry, exchange.command));
    p.number(inJson("reply"), Number::of(Unit::Entry, exchange.reply));
    p.coded(inJson("kind"), coded(exchange.kind));
    p.number(inJson("response_ms"), Number::measured(Unit::Milliseconds, exchange.milliseconds));
    scratch.clear();
    writeMilliseconds(scratch, exchange.milliseconds);
    p.text(inText(scratch.text()), Text::by([&exchange](Writer& out, const WordStyle& style) {
             writeExchange(out, exchange, style);
           }));
    p.number(onPage("response"), Number::measured(Unit::Milliseconds, exchange.milliseconds));
    p.coded(onPage("command"), coded(exchange.kind));
    p.number(onPage("offset"), Number::of(Unit::Entry, exchange.command));
    p.number(onPage("reply at"), Number::of(Unit::Entry, exchange.reply));
    p.endObject();
  }
  p.endList(std::nullopt);
}

// The firmware command before an error reply: a line of the text, a cell
// of the page, and an object in JSON.
void describeErrorCommand(const KeptCommand& kept, FactPrinter& p, Writer& scratch) {
  const auto notes = [&kept](NoteSink& sink) { writeCommandNotes(sink, kept.command()); };
  const auto commandNotes = [&](Writer& out, const WordStyle& style) {
    style.entry(out, kept.offset());
    out.put(": ");
    writeFirstNotes(out, style, notes);
  };
  p.text(inText(), Text::by([&commandNotes](Writer& out, const WordStyle& style) {
           out.put("after the command at offset ");
           commandNotes(out, style);
         }));
  p.text(onPage("after the command"),
         Text::by([&commandNotes](Writer& out, const WordStyle& style) {
           out.put("offset ");
           commandNotes(out, style);
         }));
  p.beginObject({inJson("command")});
  p.number(inJson("offset"), Number::of(Unit::Entry, kept.offset()));
  describeNotes(p, scratch, notes);
  p.beginObject({inJson("decoded")});
  DecodedFacts decoded(p);
  describeDecoded(decoded, FirmwareBody(kept.command()));
  p.endObject();
  p.endObject();
}

void describeErrorReply(const ErrorReply& error, std::size_t number, FactPrinter& p,
                        Writer& scratch) {
  const auto notes = [&error](NoteSink& sink) { writeStatusNotes(sink, error.reply); };
  p.beginObject({.fact = {{}, {}, kEveryone},
                 .heading =
                     [&](Writer& out, const WordStyle& style) {
                       out.put("offset ");
                       style.count(out, error.offset);
                       if (error.time) {
                         out.put(", ");
                         style.time(out, *error.time);
                       }
                       if (error.update != 0) {
                         out.put(", update ");
                         style.count(out, error.update);
                       }
                       out.put(": ");
                       // The notes stand out on a terminal that colours.
                       painted(out, Hue::Error, [&] { writeFirstNotes(out, style, notes); });
                     },
                 .number = number});
  p.number(onPage("#"), Number::count(number));
  p.number({"offset", "offset", kPage | kJson}, Number::of(Unit::Entry, error.offset));
  describeOptional(p, {"time (UTC)", "time", kPage | kJson}, timeOrNone(error.time));
  describeNotes(p, scratch, notes);
  describeOptional(p, inJson("update"),
                   error.update != 0 ? std::optional(Number::count(error.update)) : std::nullopt);
  if (error.update != 0) {
    p.number(onPage("update"), Number::of(Unit::Update, error.update));
  } else {
    p.text(onPage("update"), Text::of("before any"));
  }
  p.text(onPage("reply"), Text::by([&notes](Writer& out, const WordStyle& style) {
           writeFirstNotes(out, style, notes);
         }));
  p.beginObject({inJson("decoded")});
  DecodedFacts decoded(p);
  describeDecoded(decoded, FirmwareBody(error.reply));
  p.endObject();
  if (error.command) {
    describeErrorCommand(*error.command, p, scratch);
  } else {
    p.text(onPage("after the command"), Text::of("none before it"));
    p.none(inJson("command"));
  }
  p.endObject();
}

void describeVersionList(const SessionFacts& facts, FactPrinter& p) {
  if (!facts.hasVersionList) {
    p.none(inJson("version_list"));
    return;
  }
  const auto name = [&facts](Writer& out, const WordStyle& /*style*/) {
    writeVersionListName(out, facts);
  };
  p.text(inText("extended version list"), Text::by(name));
  p.text(onPage(), Text::by([&name](Writer& out, const WordStyle& style) {
           out.put("Extended version list ");
           name(out, style);
           out.put(':');
         }));
  p.beginObject({inJson("version_list")});
  DecodedFacts decoded(p);
  describeRecordId(decoded, RecordKey::DecodedRecordId, facts.versionListId);
  p.number(inJson("data_count"), Number::count(facts.versionListCount));
  p.beginList({{{}, "rows", kEveryone},
               ListKind::VersionRows,
               kVersionRowColumns,
               [](Writer& out, const WordStyle& /*style*/) { writeVersionRowHeading(out); }});
  for (const auto& row : facts.versionRows) {
    p.beginObject({{{}, {}, kEveryone}});
    describeVersionRowColumns(decoded, row);
    p.text(inText(), Text::by([&row](Writer& out, const WordStyle& /*style*/) {
             writeVersionRow(out, row);
           }));
    for (std::size_t i = 0; i < row.size(); ++i) {
      p.text(onPage(kVersionRowNames[i]),
             Text::by(
                 [byte = row[i]](Writer& out, const WordStyle& /*style*/) { out.hexByte(byte); }));
    }
    p.endObject();
  }
  p.endList(std::nullopt);
  p.endObject();
}

void describeDeviceClass(std::uint8_t deviceClass, const DeviceReport& report, FactPrinter& p) {
  std::size_t widest = 0;
  forEachDeviceFact(
      report, [&widest](const DeviceFact& fact) { widest = std::max(widest, fact.label.size()); });
  p.beginObject({.fact = {{}, {}, kEveryone},
                 .heading =
                     [deviceClass](Writer& out, const WordStyle& /*style*/) {
                       writeDeviceClassName(out, deviceClass);
                     },
                 .widestLabel = widest});
  DecodedFacts decoded(p);
  decoded.codedValue("device_class", deviceClass, kDeviceClassTable.words(deviceClass));
  p.beginList({inJson("inventory")});
  for (const InventoryItem& item : report.inventory) describeInventoryItem(decoded, item);
  p.endList(std::nullopt);
  p.beginList({inJson("counters")});
  for (const UsageCounter& counter : report.counters) describeUsageCounter(decoded, counter, false);
  p.endList(std::nullopt);
  forEachDeviceFact(report, [&p](const DeviceFact& fact) {
    p.text(
        forPeople(fact.label),
        Text::by([&fact](Writer& out, const WordStyle& /*style*/) { fact.write(out, fact.value); },
                 true));
  });
  p.endObject();
}

}  // namespace

void describeUpdates(const SessionFacts& facts, FactPrinter& p) {
  p.beginObject({forPeople("Updates"), facts.updates.size() + facts.updatesLeftOut});
  p.text({"outcome rule", "outcome_rule"}, Text::of(kOutcomeRule));
  p.number({"outside any update", "writes_outside_updates"},
           Number::count(facts.writesOutsideUpdates, "flash write", "flash writes"));
  p.beginList({{{}, "updates", kEveryone}, ListKind::Updates, kUpdateColumns});
  for (std::size_t i = 0; i < facts.updates.size(); ++i) describeUpdate(facts.updates[i], i + 1, p);
  p.endList(facts.updatesLeftOut);
  p.endObject();
}

void describeExchanges(const SessionFacts& facts, FactPrinter& p, Writer& scratch) {
  p.beginObject({{"Exchanges", "exchanges"}});
  p.text({"pairing rule", "pairing_rule"}, Text::of(kPairingRule));
  p.text({"percentiles", "percentiles"}, Text::of(kPercentileRule));
  describeKindExchanges(facts, p);
  describeUnanswered(facts, p);
  p.number({"unsolicited replies", "unsolicited"}, Number::count(facts.unsolicited));
  p.number({"without a response time", "untimed"}, Number::count(facts.untimed));
  describeSlowest(facts, p, scratch);
  p.endObject();
}

void describeErrors(const SessionFacts& facts, FactPrinter& p, Writer& scratch) {
  p.beginObject({forPeople("Error replies"), facts.errors.size() + facts.errorsLeftOut});
  p.beginList({{{}, "errors", kEveryone}, ListKind::ErrorReplies, kErrorColumns});
  for (std::size_t i = 0; i < facts.errors.size(); ++i)
    describeErrorReply(facts.errors[i], i + 1, p, scratch);
  p.endList(facts.errorsLeftOut);
  p.number(inJson("errors_outside_updates"), Number::count(facts.errorsOutsideUpdates));
  p.endObject();
}

void describeDevices(const SessionFacts& facts, FactPrinter& p) {
  p.beginObject({{"Devices", "devices"}});
  describeVersionList(facts, p);
  p.beginList({{{}, "classes", kEveryone}, ListKind::DeviceClasses});
  bool any = facts.hasVersionList;
  for (std::size_t deviceClass = 0; deviceClass < facts.devices.size(); ++deviceClass) {
    const DeviceReport& device = facts.devices[deviceClass];
    if (!device.hasInventory && !device.hasCounters) continue;
    any = true;
    describeDeviceClass(static_cast<std::uint8_t>(deviceClass), device, p);
  }
  p.endList(std::nullopt);
  if (!any) {
    p.text(inText(), Text::of("none reported"));
    p.text(onPage(), Text::of("None reported."));
  }
  p.endObject();
}

}  // namespace ovantrex
