// How the words of the summary are written in each output: counts plain
// ("100000") or grouped ("100,000"), words from the trace on one line of
// the text or escaped for a page, times as the summary writes them or in a
// page's time element, and a record's offset linked to its entry where a
// page holds it. A style is data: the text summary, the JSON summary's
// words and the page each have one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "analysis/session_facts.h"
#include "analysis/trace_time.h"
#include "output/common/writer.h"

namespace ovantrex {

// The entries of the records that an output holds (the page's listing),
// which a record's offset links to.
class EntryLinks {
 public:
  virtual void entry(Writer& out, std::uint64_t offset) const = 0;

 protected:
  EntryLinks() = default;
  EntryLinks(const EntryLinks&) = default;
  EntryLinks& operator=(const EntryLinks&) = default;
  ~EntryLinks() = default;
};

struct WordStyle {
  void (*count)(Writer& out, std::uint64_t value);
  void (*traceWords)(Writer& out, std::string_view words);  // words from the trace
  void (*words)(Writer& out, std::string_view words);       // the program's and the system's
  void (*time)(Writer& out, const TraceTime& time);
  std::string_view rangeDash;  // between a range's first and last address
  // The address ranges that a list of them shows; the rest are counted.
  std::size_t mostRanges = std::numeric_limits<std::size_t>::max();
  const EntryLinks* links = nullptr;
  Writer* scratch = nullptr;  // a memory writer for one note's words, where notes are written

  // A record's offset, linked to its entry where the output holds one.
  void entry(Writer& out, std::uint64_t offset) const {
    if (links != nullptr) {
      links->entry(out, offset);
    } else {
      count(out, offset);
    }
  }
  // The same style, writing notes through scratch.
  WordStyle withScratch(Writer& notes) const {
    WordStyle style = *this;
    style.scratch = &notes;
    return style;
  }
};

// A function that writes words in a style; it views the callable, which
// must outlive it.
class Words {
 public:
  Words() = default;
  template <typename Write>
  Words(const Write& write)  // NOLINT(google-explicit-constructor): a lambda stands for its words
      : callable_(&write), call_([](const void* callable, Writer& out, const WordStyle& style) {
          (*static_cast<const Write*>(callable))(out, style);
        }) {}

  explicit operator bool() const { return call_ != nullptr; }
  void operator()(Writer& out, const WordStyle& style) const { call_(callable_, out, style); }

 private:
  const void* callable_ = nullptr;
  void (*call_)(const void*, Writer&, const WordStyle&) = nullptr;
};

}  // namespace ovantrex
