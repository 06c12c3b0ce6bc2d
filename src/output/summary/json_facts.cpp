// The session summary as one JSON object: every fact that JSON reads, under
// its key; a scope without a key stands at the level of its parent.
#include "output/summary/json_facts.h"

#include <array>

#include "output/common/json_values.h"
#include "output/summary/fact_printer.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

class JsonFacts final : public FactPrinter {
 public:
  JsonFacts(Writer& out, Writer& scratch, Writer& words, const SummaryRowHead* rowHead)
      : out_(out), words_(words), style_(kPlainWords.withScratch(scratch)) {
    // The whole object is the bracket at the bottom.
    out_.put('{');
    if (rowHead != nullptr) {
      writeRowHead(out_, *rowHead);
      brackets_[open_].first = false;
    }
  }
  // Closes the object, after the members more writes, and its line.
  void close(const RowMembers& more) {
    if (more) {
      out_.put(',');
      more(out_);
    }
    out_.put('}');
    out_.put('\n');
  }

  void beginObject(const Scope& scope) override {
    const Fact& fact = scope.fact;
    if (!fact.shownIn(kJson) || (fact.key.empty() && !brackets_[open_].list)) {
      scopes_[++depth_] = false;  // its members stand in its parent
      return;
    }
    open('{', false, fact.key);
  }
  void endObject() override { closeScope('}'); }

  void beginList(const ListScope& list) override {
    if (!list.fact.shownIn(kJson)) {
      scopes_[++depth_] = false;
      return;
    }
    open('[', true, list.fact.key);
  }
  void endList(std::optional<std::uint64_t> leftOut) override {
    const std::string_view key = brackets_[open_].key;
    const bool opened = scopes_[depth_];
    closeScope(']');
    if (!opened || !leftOut) return;
    // "<key>_left_out": the count of the list's items left out.
    out_.put(",\"");
    out_.put(key);
    out_.put("_left_out\":");
    out_.decimal(static_cast<std::int64_t>(*leftOut));
  }

  void number(Fact fact, const Number& value) override {
    if (!fact.shownIn(kJson)) return;
    Writer& out = member(fact);
    switch (value.unit) {
      case Unit::Milliseconds:
      case Unit::Seconds: writeJsonNumber(out, value.real); break;
      case Unit::Time: writeJsonUtcTime(out, value.time.seconds, value.time.milliseconds); break;
      default: out.decimal(static_cast<std::int64_t>(value.whole)); break;
    }
  }
  void flag(Fact fact, bool value) override {
    if (fact.shownIn(kJson)) writeJsonBool(member(fact), value);
  }
  void coded(Fact fact, const CodedValue& value) override {
    if (fact.shownIn(kJson)) writeJsonString(member(fact), value.key);
  }
  void text(Fact fact, const Text& text) override {
    if (!fact.shownIn(kJson)) return;
    Writer& out = member(fact);
    if (!text.written) {
      writeJsonString(out, text.words);
      return;
    }
    // Words written in the plain style, then escaped.
    words_.clear();
    text.written(words_, style_);
    writeJsonString(out, words_.text());
  }
  void none(Fact fact) override {
    if (fact.shownIn(kJson)) member(fact).put("null");
  }

 private:
  // An open object or list: whether it has no member yet.
  struct Bracket {
    bool first = true;
    bool list = false;
    std::string_view key;
  };

  // The key of a member of the open object, or the next element of the
  // open list; the caller writes the value.
  Writer& member(const Fact& fact) {
    Bracket& bracket = brackets_[open_];
    if (bracket.list) {
      if (!bracket.first) out_.put(',');
    } else {
      out_.put(bracket.first ? "\"" : ",\"");
      out_.put(fact.key);
      out_.put("\":");
    }
    bracket.first = false;
    return out_;
  }
  void open(char opening, bool list, std::string_view key) {
    member({{}, key, kJson}).put(opening);
    brackets_[++open_] = {true, list, key};
    scopes_[++depth_] = true;
  }
  void closeScope(char closing) {
    if (scopes_[depth_--]) {
      out_.put(closing);
      --open_;
    }
  }

  Writer& out_;
  Writer& words_;
  WordStyle style_;
  std::array<Bracket, 16> brackets_{};
  std::size_t open_ = 0;
  std::array<bool, 16> scopes_{};  // whether each scope opened a bracket
  std::size_t depth_ = 0;
};

}  // namespace

void writeJsonSummary(Writer& out, Writer& scratch, Writer& words, Writer& walkScratch,
                      const SessionFacts& facts, const SummaryRowHead* rowHead,
                      const RowMembers& more) {
  JsonFacts json(out, scratch, words, rowHead);
  describeSession(facts, json, walkScratch, {.traceObject = rowHead == nullptr});
  json.close(more);
}

}  // namespace ovantrex
