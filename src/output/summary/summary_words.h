// The words of the session summary's facts, without their layout: the text
// summary writes each behind its label, the HTML report in a table cell.
// Counts are written plain ("100000") or grouped ("100,000").
#pragma once

#include <cstdint>
#include <string_view>

#include "analysis/session_facts.h"
#include "core/protocol.h"
#include "output/common/notes.h"
#include "output/common/writer.h"
#include "output/summary/fact_printer.h"

namespace ovantrex {

enum class Counts { Plain, Grouped };

// Of the notes of an error reply, and of those of the command before it.
inline constexpr std::size_t kMaxNotesPerList = 16;
// Room for the words of one note (a serial number's note, the longest, has
// under 300 bytes).
inline constexpr std::size_t kLongestNote = 1024;

// The label of the line that says a trace could not be read to its end.
inline constexpr std::string_view kReadToItsEnd = "read to its end";

// A count with a comma between thousands: 1,000,000.
void writeGrouped(Writer& out, std::uint64_t value);

void writeCount(Writer& out, std::uint64_t value, Counts counts);
// "4, 32 bytes".
void writeCountAndBytes(Writer& out, std::uint64_t number, std::uint64_t bytes, Counts counts);
// "47: Text 5, Hex 1": the total, then each part that is not 0.
void writeTotalAndParts(Writer& out, std::uint64_t total, std::span<const CountPart> parts,
                        Counts counts);
// "invalid minor code 0, over-long length 0": every part.
void writeCountParts(Writer& out, std::span<const CountPart> parts, Counts counts);
// After the items of a list: " and 3 more"; in place of an empty list
// "none", or "3 not listed" when all of its items were left out.
void writeListEnd(Writer& out, bool empty, std::uint64_t leftOut, Counts counts);
// "0xabcd".
void writeChecksum(Writer& out, std::uint16_t checksum);
// "2025-12-08T10:40:00.148Z".
void writeTraceTime(Writer& out, const TraceTime& time);

// "47: Text 5, Hex 1, ...": all records, then each type that has any.
void writeRecordCounts(Writer& out, const SessionFacts& data, Counts counts);
// "invalid minor code 0, over-long length 0, ...".
void writeSkippedCounts(Writer& out, const SessionFacts& data, Counts counts);
// The verdict on the updates: "update 1 failed: 3 error replies, first at
// offset 1893"; with several updates, how many ended in each outcome first
// ("3 updates: 2 completed, 1 failed; update 3 (the last) failed: ..."); or
// that the trace holds no update. From the counters: every update counts.
void writeVerdict(Writer& out, const SessionFacts& data, Counts counts);
// "2458 bytes", "1 byte".
void writeTraceBytes(Writer& out, std::uint64_t bytes, Counts counts);
// "1, 3", or "none".
void writeFormatVersions(Writer& out, const SessionFacts& data);
// "no, a read failed at offset 52428800 (Input/output error)": written
// only for a trace that could not be read to its end.
void writeReadFailure(Writer& out, const ReadFailure& failure);
// "earliest to latest, 0.489 s", or why there is no time; then the words
// of writeTimeOrder(). writeTime: how each of the two times is written.
void writeTimeSpan(Writer& out, const SessionFacts& data,
                   void (*writeTime)(Writer& out, const TraceTime& time) = writeTraceTime);
// " (earliest to latest: times not in order)" when a record's time is
// before the one of the record before it; nothing otherwise.
void writeTimeOrder(Writer& out, const SessionFacts& data);
// The count of a kind of command and, for system commands, each by its words.
void writeCommandCount(Writer& out, const SessionFacts& data, std::size_t kind, Counts counts);
// In place of an empty list: "none", or, when all of its items were left
// out, "3 not listed" (what: a noun after the count, as in "3 notes not
// listed", or empty).
void writeEmptyList(Writer& out, std::uint64_t leftOut, Counts counts, std::string_view what = {});
// " (3 writes)" behind an update's serial numbers when some of its writes
// repeated a listed one (each is listed once); nothing otherwise.
void writeSerialNumberWrites(Writer& out, const UpdateFacts& update, Counts counts);
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
    if (item.tag == kItemManufactureDate) {
      each(DeviceFact{"ManufactureDate", writeManufactureDate, item.value});
    } else if (item.tag == kItemLogicalDeviceList) {
      each(DeviceFact{"logical device list",
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

// Words as they are, and words escaped for a page: how writeFirstNotes()
// puts each note.
inline void plainWords(Writer& out, std::string_view words) { out.put(words); }

// The first kMaxNotesPerList notes that writeNotes(sink) writes, "; "
// between them, each put with put(out, words); then how many more there
// were (" and 3 more notes", or "3 notes not listed").
template <typename Put, typename WriteNotes>
void writeFirstNotes(Writer& out, Writer& scratch, Counts counts, Put put, WriteNotes writeNotes) {
  bool first = true;
  FirstNotes notes(scratch, kMaxNotesPerList, [&out, &first, put](std::string_view words) {
    if (!first) out.put("; ");
    first = false;
    put(out, words);
  });
  writeNotes(notes);
  const std::uint64_t leftOut = notes.leftOut();
  if (leftOut == 0) return;
  const std::string_view noun = leftOut == 1 ? "note" : "notes";
  if (notes.taken() == 0) {
    writeEmptyList(out, leftOut, counts, noun);
    return;
  }
  out.put(" and ");
  writeCount(out, leftOut, counts);
  out.put(" more ");
  out.put(noun);
}

}  // namespace ovantrex
