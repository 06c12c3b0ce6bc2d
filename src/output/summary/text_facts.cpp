// The session summary as text: the verdict, then sections of labelled
// lines, the labels in a column of their own; the items of a list under
// headings of their own.
#include "output/summary/text_facts.h"

#include <algorithm>
#include <array>

#include "output/common/json_values.h"
#include "output/summary/fact_printer.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// The column of the values; a scope with a wider label has its values two
// blanks past the widest.
constexpr std::size_t kLabelColumn = 30;
constexpr std::size_t kLeastGap = 2;
// A section's lines, and a list's, stand this much further in.
constexpr std::size_t kIndentStep = 2;

class TextFacts final : public FactPrinter {
 public:
  TextFacts(Writer& out, Writer& scratch) : out_(out), style_(kTextWords.withScratch(scratch)) {}

  void beginObject(const Scope& scope) override {
    Level level = levels_[depth_];
    level.list = false;
    level.shownList = false;
    if (scope.fact.shownIn(kText)) {
      if (depth_ == 0) {
        section(scope);
        level.indent = kIndentStep;
        level.column = kLabelColumn;
      } else if (levels_[depth_].list) {
        // An item: its heading stands where its list's lines would.
        if (scope.heading) {
          out_.blanks(level.indent - kIndentStep);
          scope.heading(out_, style_);
          out_.put('\n');
        }
      }
      if (scope.widestLabel != 0) level.column = columnFor(level.indent, scope.widestLabel);
    }
    push(level);
  }
  void endObject() override { --depth_; }

  void beginList(const ListScope& list) override {
    Level level = levels_[depth_];
    level.shownList = list.fact.shownIn(kText);
    if (level.shownList) {
      level.list = true;
      level.indent += kIndentStep;
      if (list.heading) {
        out_.blanks(level.indent);
        list.heading(out_, style_);
        out_.put('\n');
      }
    }
    push(level);
  }
  void endList(std::optional<std::uint64_t> leftOut) override {
    const Level& level = levels_[depth_--];
    if (!level.shownList || !leftOut || *leftOut == 0) return;
    out_.blanks(level.indent - kIndentStep);
    out_.put("and ");
    out_.decimal(static_cast<std::int64_t>(*leftOut));
    out_.put(" more\n");
  }

  void number(Fact fact, const Number& value) override {
    if (!fact.shownIn(kText)) return;
    Writer& out = line(fact.label);
    switch (value.unit) {
      case Unit::Milliseconds: writeMilliseconds(out, value.real); break;
      case Unit::Seconds: writeJsonNumber(out, value.real); break;
      case Unit::Time: writeTraceTime(out, value.time); break;
      default:
        out.decimal(static_cast<std::int64_t>(value.whole));
        if (!value.one.empty()) {
          out.put(' ');
          out.put(value.whole == 1 ? value.one : value.many);
        }
        break;
    }
    out.put('\n');
  }
  void flag(Fact fact, bool value) override {
    if (fact.shownIn(kText)) line(fact.label).put(value ? "yes\n" : "no\n");
  }
  void coded(Fact fact, const CodedValue& value) override {
    if (!fact.shownIn(kText)) return;
    line(fact.label).put(value.words);
    out_.put('\n');
  }
  void text(Fact fact, const Text& text) override {
    if (!fact.shownIn(kText)) return;
    // A paragraph (the verdict, the closing line) stands apart from the
    // sections before and after it.
    if (depth_ == 0 && sections_ != 0) out_.put('\n');
    Writer& out = fact.label.empty() ? out_ : line(fact.label);
    if (fact.label.empty()) out.blanks(levels_[depth_].indent);
    if (text.written) {
      text.written(out, style_);
    } else if (text.fromTrace) {
      writeOnOneLine(out, text.words);
    } else {
      out.put(text.words);
    }
    out.put('\n');
    // A paragraph before the sections (the verdict) stands apart from them.
    if (depth_ == 0) ++sections_;
  }
  void none(Fact /*fact*/) override {}

 private:
  struct Level {
    std::size_t indent = 0;  // of the labelled lines
    std::size_t column = kLabelColumn;
    bool list = false;       // a list whose items are shown
    bool shownList = false;  // the level of a list that the text shows
  };

  static std::size_t columnFor(std::size_t indent, std::size_t width) {
    return std::max(kLabelColumn, indent + width + kLeastGap);
  }

  // A section: its heading (with a count, when given), a blank line before
  // every one but the first block.
  void section(const Scope& scope) {
    if (sections_++ != 0) out_.put('\n');
    if (scope.count) {
      line(scope.fact.label, 0, kLabelColumn).decimal(static_cast<std::int64_t>(*scope.count));
    } else {
      out_.put(scope.fact.label);
    }
    out_.put('\n');
  }

  // A line: the indent, the label padded to the column; the caller writes
  // the words.
  Writer& line(std::string_view label) {
    return line(label, levels_[depth_].indent, levels_[depth_].column);
  }
  Writer& line(std::string_view label, std::size_t indent, std::size_t column) {
    out_.blanks(indent);
    out_.put(label);
    const std::size_t used = indent + label.size();
    out_.blanks(used < column ? column - used : 1);
    return out_;
  }

  void push(const Level& level) { levels_[++depth_] = level; }

  Writer& out_;
  WordStyle style_;
  std::array<Level, 16> levels_{};
  std::size_t depth_ = 0;
  std::size_t sections_ = 0;
};

}  // namespace

void writeTextSummary(Writer& out, Writer& scratch, Writer& walkScratch,
                      const SessionFacts& facts) {
  TextFacts text(out, scratch);
  describeSession(facts, text, walkScratch);
}

}  // namespace ovantrex
