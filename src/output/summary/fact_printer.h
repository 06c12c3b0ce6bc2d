// The facts of a session are described once, by one walk over them
// (describeSession()), as calls on a fact printer; the text summary, the
// JSON summary and the HTML report's tables are its back ends. A printer
// knows primitives only: a number, a flag, a coded value of the registry,
// a text, and the scopes of an object and of a list; the walk goes into the
// trace, the updates, the error replies and the devices itself.
//
// Every fact carries a label, which people read, and a key, which programs
// read, and says who reads it: the two faces of a fact may differ (people
// read "4, 32 bytes", programs "writes" and "bytes"), and each output
// shows only the facts meant for it. A scope without a key stands at the
// level of its parent in JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "analysis/session_facts.h"
#include "core/coded_value.h"
#include "output/common/writer.h"
#include "output/summary/word_style.h"

namespace ovantrex {

// Who reads a fact: the text summary, the page, JSON.
enum Audience : std::uint8_t { kText = 1, kPage = 2, kJson = 4 };
inline constexpr std::uint8_t kPeople = kText | kPage;
inline constexpr std::uint8_t kEveryone = kPeople | kJson;

struct Fact {
  std::string_view label;  // the text summary's label, the page's row or column
  std::string_view key;    // the JSON key
  std::uint8_t audience;

  // People read it where it has a label, programs where it has a key.
  constexpr Fact(std::string_view forPeople, std::string_view forJson)
      : label(forPeople),
        key(forJson),
        audience(static_cast<std::uint8_t>((forPeople.empty() ? 0 : kPeople) |
                                           (forJson.empty() ? 0 : kJson))) {}
  constexpr Fact(std::string_view forPeople, std::string_view forJson, std::uint8_t readers)
      : label(forPeople), key(forJson), audience(readers) {}

  constexpr bool shownIn(Audience output) const { return (audience & output) != 0; }
};

// A fact for people alone, for the text alone, for the page alone, for JSON alone.
constexpr Fact forPeople(std::string_view label) { return {label, {}, kPeople}; }
constexpr Fact inText(std::string_view label = {}) { return {label, {}, kText}; }
constexpr Fact onPage(std::string_view label = {}) { return {label, {}, kPage}; }
constexpr Fact inJson(std::string_view key = {}) { return {{}, key, kJson}; }

// ---- Values ----

enum class Unit : std::uint8_t {
  Count,         // a count: grouped on a page ("1,000")
  Offset,        // an offset in the trace
  Entry,         // the offset of a record, linked to its entry where a page holds it
  Update,        // an update's number, linked to its pictures where a page draws them
  Milliseconds,  // "40 ms" for people
  Seconds,
  Time,  // a record's time, in UTC
};

struct Number {
  Unit unit = Unit::Count;
  std::uint64_t whole = 0;  // Count, Offset, Entry, Update
  double real = 0;          // Milliseconds, Seconds
  TraceTime time;           // Time
  // The noun of a count, for people: "1 flash write", "2 flash writes".
  std::string_view one;
  std::string_view many;

  static Number count(std::uint64_t value, std::string_view one = {}, std::string_view many = {}) {
    return {Unit::Count, value, 0, {}, one, many};
  }
  static Number of(Unit unit, std::uint64_t value) { return {unit, value, 0, {}, {}, {}}; }
  static Number measured(Unit unit, double value) { return {unit, 0, value, {}, {}, {}}; }
  static Number at(const TraceTime& time) { return {Unit::Time, 0, 0, time, {}, {}}; }
};

// Words: the program's own, the trace's (which each output escapes as it
// must), or words written in the output's style. A figure (a count and a
// part of it, EC levels, a date) stays on one line of a page.
struct Text {
  std::string_view words;
  bool fromTrace = false;
  Words written;
  bool figure = false;

  static Text of(std::string_view words) { return {words, false, {}, false}; }
  static Text trace(std::string_view words) { return {words, true, {}, false}; }
  static Text by(Words written, bool figure = false) { return {{}, false, written, figure}; }
};

// ---- Scopes ----

struct Scope {
  // label: a section's heading; key: the JSON object's key.
  Fact fact;
  std::optional<std::uint64_t> count{};  // beside a section's heading
  // An item's heading, in the text summary and over a device class's facts.
  Words heading{};
  // The widest label of the scope's lines, when it is wider than most: the
  // text summary puts their values in a column past it.
  std::size_t widestLabel = 0;
  bool marked = false;     // an item that went wrong (a failed update): the page marks it
  std::size_t number = 0;  // an item's number in its list, from 1
};

// The lists that the walk describes. Each output lays a list out as it
// reads best (the page: a table, or a table of facts under each item's
// heading); Values are lists of plain values, shown to people in a fact's
// words.
enum class ListKind : std::uint8_t {
  Values,
  Updates,
  ErrorReplies,
  SlowestExchanges,
  VersionRows,
  DeviceClasses
};

// A column of the page's table of a list.
struct Column {
  std::string_view label;
  bool numeric = false;  // set right
};

struct ListScope {
  Fact fact;
  ListKind kind = ListKind::Values;
  std::span<const Column> columns{};
  Words heading{};  // the text summary's line above the items
};

class FactPrinter {
 public:
  virtual ~FactPrinter() = default;

  virtual void beginObject(const Scope& scope) = 0;
  virtual void endObject() = 0;
  virtual void beginList(const ListScope& list) = 0;
  // leftOut: how many items were left out, when the list has a cap.
  virtual void endList(std::optional<std::uint64_t> leftOut) = 0;

  virtual void number(Fact fact, const Number& value) = 0;
  virtual void flag(Fact fact, bool value) = 0;  // "yes" / "no"
  // Its words for people, its key in JSON.
  virtual void coded(Fact fact, const CodedValue& value) = 0;
  virtual void text(Fact fact, const Text& text) = 0;
  // A fact without a value: null in JSON.
  virtual void none(Fact fact) = 0;

 protected:
  FactPrinter() = default;
  FactPrinter(const FactPrinter&) = default;
  FactPrinter& operator=(const FactPrinter&) = default;
};

struct WalkOptions {
  // The JSON summary's "trace" object: not in a batch run's row, whose head
  // names the trace.
  bool traceObject = true;
};

// The one walk over the facts of a session, in the order in which every
// output shows them. scratch: a memory writer for one note's words.
void describeSession(const SessionFacts& facts, FactPrinter& printer, Writer& scratch,
                     WalkOptions options = {});

}  // namespace ovantrex
