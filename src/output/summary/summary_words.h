// The words of the session summary's facts, without their layout: the text
// summary writes each behind its label, the HTML report in a table cell or
// a sentence, each in its style (word_style.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "analysis/session_facts.h"
#include "core/device_codes.h"
#include "output/common/figures.h"
#include "output/common/notes.h"
#include "output/common/writer.h"
#include "output/summary/word_style.h"

namespace ovantrex {

// Of the notes of an error reply, and of those of the command before it.
inline constexpr std::size_t kMaxNotesPerList = 16;
// Room for the words of one note (a serial number's note, the longest, has
// under 300 bytes).
inline constexpr std::size_t kLongestNote = 1024;

// Room for the words of the verdict (a command's note and the counts).
inline constexpr std::size_t kLongestVerdict = 4096;

// A count with a comma between thousands: 1,000,000.
void writeGrouped(Writer& out, std::uint64_t value);
// A count as it is: 1000000.
void writePlainCount(Writer& out, std::uint64_t value);
// Words as they are: how the text puts words from the trace.
inline void plainWords(Writer& out, std::string_view words) { out.put(words); }
// "2025-12-08T10:40:00.148Z".
void writeTraceTime(Writer& out, const TraceTime& time);

// The text summary's words, and the JSON summary's (its verdict).
inline constexpr WordStyle kTextWords{writePlainCount, writeOnOneLine, plainWords, writeTraceTime,
                                      "-"};
inline constexpr WordStyle kPlainWords{writePlainCount, plainWords, plainWords, writeTraceTime,
                                       "-"};

// One count of a set, under its words: "Text 5", "invalid minor code 0".
struct CountPart {
  std::string_view words;
  std::uint64_t count = 0;
};

// "1 flash write", "2 resets".
void writeCountOf(Writer& out, std::uint64_t value, std::string_view one, std::string_view many,
                  const WordStyle& style);
// "4, 32 bytes", "1, 1 recovered": a count, and a count of part of it
// under the part's words.
void writeCountAndPart(Writer& out, std::uint64_t number, std::uint64_t part,
                       std::string_view words, const WordStyle& style);
// "47: Text 5, Hex 1": the total, then each part that is not 0.
void writeTotalAndParts(Writer& out, std::uint64_t total, std::span<const CountPart> parts,
                        const WordStyle& style);
// "invalid minor code 0, over-long length 0": every part.
void writeCountParts(Writer& out, std::span<const CountPart> parts, const WordStyle& style);
// After the items of a list: " and 3 more"; in place of an empty list
// "none", or "3 not listed" when all of its items were left out.
void writeListEnd(Writer& out, bool empty, std::uint64_t leftOut, const WordStyle& style);
// In place of an empty list: "none", or, when all of its items were left
// out, "3 not listed" (what: a noun after the count, as in "3 notes not
// listed", or empty).
void writeEmptyList(Writer& out, std::uint64_t leftOut, const WordStyle& style,
                    std::string_view what = {});
// "0x018000-0x018017" (the style's dash between the two).
void writeRange(Writer& out, const AddressRange& range, const WordStyle& style);
// The ranges, as many as the style shows, and how many more.
void writeRanges(Writer& out, std::span<const AddressRange> ranges, std::uint64_t leftOut,
                 const WordStyle& style);

// The rules of the summary, in the words that every output gives them.
// How the outcome of an update is decided:
inline constexpr std::string_view kOutcomeRule =
    "failed when the device refused a flash write, checksum write or reset of the update and "
    "no later one was accepted (a flash write to the same address with the same bytes, a "
    "checksum write, a reset); otherwise completed when a checksum write was accepted and the "
    "device was reset (a reset needs no reply); otherwise unfinished. Other error replies do "
    "not fail an update.";
// How commands and replies are paired:
inline constexpr std::string_view kPairingRule =
    "each firmware command is paired with the next reply of the device (a read or feature read "
    "of the firmware report) before the next command; a command with none is unanswered, a "
    "reply with no command since the last reply is unsolicited; a command is refused when its "
    "reply is an error reply, accepted otherwise.";
// How the percentiles of the response times are taken:
inline constexpr std::string_view kPercentileRule =
    "by nearest rank; exact while a kind of command has at most 1024 response times, past that "
    "from a histogram, within 0.5%";
static_assert(kExactResponseTimes == 1024 && kHistogramPrecision == 0.005);

// The verdict on the updates: "update 1 completed: checksum written and
// device reset; 1 refused flash write retried; 2 other error replies", or
// "update 1 failed: the device refused '...' 4 times; no checksum, no
// reset"; with several updates, how many ended in each outcome first ("3
// updates: 2 completed, 1 failed; update 3 (the last) failed: ..."); or
// that the trace holds no update (or no data record at all); and where the
// trace ends inside a record. From the counters: every update counts. The
// style's scratch takes the words of a note.
void writeVerdict(Writer& out, const SessionFacts& data, const WordStyle& style);
// A response time: "40 ms", "2.5 ms".
void writeMilliseconds(Writer& out, double milliseconds);
// "median 2 ms, slowest 40 ms", or "none"; from the histogram, its precision.
void writeUpdateResponses(Writer& out, const ResponseSummary& responses);
// "6 commands, 5 answered, 1 unanswered, 1 refused; fastest 3 ms, median 3
// ms, 95th percentile 4 ms, slowest 4 ms (exact)".
void writeKindExchanges(Writer& out, std::uint64_t commands, const KindExchanges& exchanges,
                        const WordStyle& style);
// How to find a record that the summary names by its offset: a command
// line that lists it with the records before it, for the trace by its name
// as a POSIX shell takes it.
void writeFindingByOffset(Writer& out, std::string_view traceName, const WordStyle& style);

// "start flash update at offset 1539, reply at offset 1587".
void writeExchange(Writer& out, const Exchange& exchange, const WordStyle& style);
// "3 accepted and 0 unanswered flash writes (1 refused left out)".
void writeWrittenBy(Writer& out, const UpdateFacts& update, const WordStyle& style);
// "update 2 at offset 1539, 2025-12-08T10:40:00.148Z" (word: "update" or
// "Update"); the time where the update has one.
void writeUpdateHeading(Writer& out, std::string_view word, std::size_t number,
                        const UpdateFacts& update, const WordStyle& style);

// "2458 bytes", "1 byte".
void writeTraceBytes(Writer& out, std::uint64_t bytes, const WordStyle& style);
// "1, 3", or "none".
void writeFormatVersions(Writer& out, const SessionFacts& data);
// "a read failed at offset 52428800 (Input/output error)".
void writeFailedRead(Writer& out, const ReadFailure& failure, const WordStyle& style);
// "earliest to latest, 0.489 s", or why there is no time; then the words
// of writeTimeOrder().
void writeTimeSpan(Writer& out, const SessionFacts& data, const WordStyle& style);
// " (earliest to latest: times not in order)" when a record's time is
// before the one of the record before it; nothing otherwise.
void writeTimeOrder(Writer& out, const SessionFacts& data);
// " (3 writes)" behind an update's serial numbers when some of its writes
// repeated a listed one (each is listed once); nothing otherwise.
void writeSerialNumberWrites(Writer& out, const UpdateFacts& update, const WordStyle& style);
// "current 02.03, previous 02.01", or "none".
void writeEcLevels(Writer& out, const SessionFacts& data);
// "ff.00.02, data count 15".
void writeVersionListName(Writer& out, const SessionFacts& data);
// The class's name, or "class 0x" and its number.
void writeDeviceClassName(Writer& out, std::size_t deviceClass);

// A fact of a device class as the summary shows it: the label, and how its
// value is written.
struct DeviceFact {
  std::string_view label;
  void (*write)(Writer& out, std::uint32_t value);
  std::uint32_t value = 0;
};

// Calls each(fact) for the facts of a device class, in the summary's order:
// the inventory items that have words, then the named usage counters.
template <typename Each>
void forEachDeviceFact(const DeviceReport& device, Each each) {
  for (const InventoryItem& item : device.inventory) {
    if (item.tag == code(InventoryTag::ManufactureDate)) {
      each(DeviceFact{summaryLabel(InventoryTag::ManufactureDate), writeManufactureDate,
                      item.value});
    } else if (item.tag == code(InventoryTag::LogicalDeviceList)) {
      each(DeviceFact{summaryLabel(InventoryTag::LogicalDeviceList),
                      [](Writer& out, std::uint32_t) { out.put("not decoded"); }});
    }
  }
  for (const UsageCounter& counter : device.counters) {
    const std::string_view name = usageCounterName(counter.deviceClass, counter.tag);
    if (name.empty()) continue;
    each(DeviceFact{name, [](Writer& out, std::uint32_t value) { out.decimal(value); },
                    counter.value});
  }
}

// The first kMaxNotesPerList notes that writeNotes(sink) writes, "; "
// between them, each put as the style puts words from the trace; then how
// many more there were (" and 3 more notes", or "3 notes not listed"). The
// style's scratch takes each note's words.
template <typename WriteNotes>
void writeFirstNotes(Writer& out, const WordStyle& style, WriteNotes writeNotes) {
  bool first = true;
  FirstNotes notes(*style.scratch, kMaxNotesPerList,
                   [&out, &first, &style](std::string_view words) {
                     if (!first) out.put("; ");
                     first = false;
                     style.traceWords(out, words);
                   });
  writeNotes(notes);
  const std::uint64_t leftOut = notes.leftOut();
  if (leftOut == 0) return;
  const std::string_view noun = leftOut == 1 ? "note" : "notes";
  if (notes.taken() == 0) {
    writeEmptyList(out, leftOut, style, noun);
    return;
  }
  out.put(" and ");
  style.count(out, leftOut);
  out.put(" more ");
  out.put(noun);
}

}  // namespace ovantrex
