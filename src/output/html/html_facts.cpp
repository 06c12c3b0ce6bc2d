// The HTML back end of the walk over a session's facts: the summary of the
// report's page, a table of facts for each section, a table of the updates
// and one of the error replies (whose filter box the page's script works),
// of the slowest exchanges and of the version list's rows, and a table of
// facts under each device class's heading; offsets and updates linked to
// where the page shows them.
#include <array>

#include "output/html/html_text.h"
#include "output/html/link_ids.h"
#include "output/html/page.h"
#include "output/html/svg_shapes.h"
#include "output/summary/fact_printer.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// A label longer than this may wrap in its facts table ("Serial Number can
// only be written once for this device"), leaving room for the values;
// shorter labels stay on one line.
constexpr std::size_t kLongestUnwrappedLabel = 30;
// The ranges shown in a cell of the table of updates; the rest are counted.
constexpr std::size_t kRangesInACell = 4;

// The head of a row of a facts table.
void rowHead(Writer& out, std::string_view label) {
  out.put(label.size() > kLongestUnwrappedLabel ? "<tr><th scope=\"row\" class=\"long\">"
                                                : "<tr><th scope=\"row\">");
  out.put(label);
  out.put("</th>");
}

// What stands before the table of a list, and the table's opening tag.
void tableOpening(Writer& out, const ListScope& list) {
  switch (list.kind) {
    case ListKind::Updates: out.put("<table class=\"updates\">\n"); return;
    case ListKind::ErrorReplies:
      out.put(
          "<p class=\"note\">Every status reply with \"Operation in Error\", \"Command reject\" or "
          "the serial-number bit, and the firmware command before it: the command that the "
          "device refused. Offsets link to the entries in the listing.</p>\n"
          "<p id=\"error-filter\" hidden><label>Show the rows that contain "
          "<input type=\"search\" placeholder=\"for instance 0x018010\"></label></p>\n"
          "<table id=\"error-table\">\n");
      return;
    case ListKind::SlowestExchanges:
      out.put("<p>");
      out.put(list.fact.label);
      out.put(", the slowest first (offsets link to the entries in the listing):</p>\n");
      break;
    default: break;
  }
  out.put("<table>\n");
}

void tableHead(Writer& out, const ListScope& list) {
  tableOpening(out, list);
  out.put("<thead><tr>");
  for (const Column& column : list.columns) {
    out.put(column.numeric ? "<th class=\"n\">" : "<th>");
    out.put(column.label);
    out.put("</th>");
  }
  out.put("</tr></thead>\n<tbody>\n");
}

// The end of a list's table, or what stands in place of an empty one, and
// how many items the table leaves out.
void listEnd(Writer& out, ListKind kind, std::size_t items, std::uint64_t more) {
  if (kind == ListKind::Updates) {
    out.put(items == 0 ? "<p>None: the trace holds no \"Start flash update\" command.</p>\n"
                       : "</tbody>\n</table>\n");
    if (more == 0) return;
    out.put("<p class=\"note\">");
    writeCounted(out, more, "more update is", "more updates are");
    out.put(" counted but not listed.</p>\n");
  } else if (kind == ListKind::ErrorReplies) {
    out.put(items == 0 ? "<p>No status reply reported an error.</p>\n" : "</tbody>\n</table>\n");
    if (more == 0) return;
    out.put("<p class=\"note\">The table holds the first ");
    writeGrouped(out, items);
    out.put("; ");
    writeCounted(out, more, "more is", "more are");
    out.put(" counted.</p>\n");
  } else if (items != 0 || kind == ListKind::VersionRows) {
    out.put("</tbody>\n</table>\n");
  }
}

bool tabled(ListKind kind) { return kind != ListKind::Values && kind != ListKind::DeviceClasses; }

class HtmlFacts final : public FactPrinter {
 public:
  HtmlFacts(Writer& out, Writer& scratch, const PageLinks& links)
      : out_(out), links_(links), style_(pageWords(kRangesInACell, &links).withScratch(scratch)) {}

  void beginObject(const Scope& scope) override {
    Level level{Level::Other};
    if (!scope.fact.shownIn(kPage)) {
      level.kind = Level::Ignored;
    } else if (depth_ == 0) {
      level.kind = Level::Section;
      pendingSection_ = scope;
    } else if (levels_[depth_].kind == Level::List) {
      level.kind = Level::Item;
      beginItem(scope);
    }
    levels_[++depth_] = level;
  }
  void endObject() override {
    const Level& level = levels_[depth_--];
    if (level.kind == Level::Section) {
      startSection();
      endFacts();
      out_.put("</div>\n");
    } else if (level.kind == Level::Item && list_.kind == ListKind::DeviceClasses) {
      endFacts();
    } else if (level.kind == Level::Item && tabled(list_.kind)) {
      out_.put("</tr>\n");
      inRow_ = false;
    }
  }

  void beginList(const ListScope& list) override {
    if (!list.fact.shownIn(kPage)) {
      levels_[++depth_] = {Level::Ignored};
      return;
    }
    startSection(list.kind == ListKind::ErrorReplies ? kErrorsId : std::string_view{});
    endFacts();
    list_ = list;
    items_ = 0;
    if (list.kind == ListKind::VersionRows) tableHead(out_, list_);
    levels_[++depth_] = {Level::List};
  }
  void endList(std::optional<std::uint64_t> leftOut) override {
    if (levels_[depth_--].kind == Level::List)
      listEnd(out_, list_.kind, items_, leftOut.value_or(0));
  }

  void number(Fact fact, const Number& value) override {
    if (!fact.shownIn(kPage)) return;
    const bool whole = value.unit != Unit::Update && value.unit != Unit::Time;
    Writer& out = cell(fact, whole);
    switch (value.unit) {
      case Unit::Entry: style_.entry(out, value.whole); break;
      case Unit::Update: links_.update(out, value.whole, ""); break;
      case Unit::Milliseconds: writeMilliseconds(out, value.real); break;
      case Unit::Time: writePageTime(out, value.time); break;
      default:
        writeGrouped(out, value.whole);
        if (!value.one.empty()) {
          out.put(' ');
          out.put(value.whole == 1 ? value.one : value.many);
        }
        break;
    }
    endCell();
  }
  void flag(Fact fact, bool value) override {
    if (!fact.shownIn(kPage)) return;
    cell(fact).put(value ? "yes" : "no");
    endCell();
  }
  void coded(Fact fact, const CodedValue& value) override {
    if (!fact.shownIn(kPage)) return;
    cell(fact).put(value.words);
    endCell();
  }
  void text(Fact fact, const Text& text) override {
    if (!fact.shownIn(kPage)) return;
    // Without a label: a paragraph of the section.
    const bool paragraph = fact.label.empty() && !inRow_;
    if (paragraph) {
      startSection();
      endFacts();
      out_.put("<p>");
    }
    Writer& out = paragraph ? out_ : cell(fact, text.figure);
    if (text.written) {
      text.written(out, style_);
    } else {
      writeHtmlText(out, text.words);
    }
    if (paragraph) {
      out_.put("</p>\n");
    } else {
      endCell();
    }
  }
  void none(Fact fact) override {
    if (fact.shownIn(kPage) && inRow_) out_.put("<td></td>");
  }

 private:
  struct Level {
    enum Kind { Ignored, Section, List, Item, Other } kind = Other;
  };

  void beginItem(const Scope& scope) {
    if (list_.kind == ListKind::DeviceClasses) {
      startSection();
      endFacts();
      out_.put("<h4>");
      scope.heading(out_, style_);
      out_.put("</h4>\n<table class=\"facts\">\n");
      factsOpen_ = true;
      return;
    }
    if (items_++ == 0 && list_.kind != ListKind::VersionRows) tableHead(out_, list_);
    if (list_.kind == ListKind::ErrorReplies) {
      out_.put("<tr id=\"");
      writeErrorRowId(out_, scope.number);
      out_.put("\">");
    } else {
      out_.put(scope.marked ? "<tr class=\"bad\">" : "<tr>");
    }
    inRow_ = true;
  }

  // The section's heading waits for its first content, which may give the
  // section an id (the error replies are a link's target).
  void startSection(std::string_view id = {}) {
    if (!pendingSection_) return;
    out_.put("<div");
    if (!id.empty()) {
      out_.put(" id=\"");
      out_.put(id);
      out_.put('"');
    }
    out_.put(">\n<h3>");
    out_.put(pendingSection_->fact.label);
    if (pendingSection_->count) {
      out_.put(" (");
      writeGrouped(out_, *pendingSection_->count);
      out_.put(')');
    }
    out_.put("</h3>\n");
    pendingSection_.reset();
  }
  void endFacts() {
    if (!factsOpen_) return;
    out_.put("</table>\n");
    factsOpen_ = false;
  }

  // A fact's cell: a row of the facts table in a section, or a cell of a
  // table's row. whole: the cell holds a figure that stays on one line; in
  // a row it is a number, set right.
  Writer& cell(const Fact& fact, bool whole = false) {
    if (inRow_) {
      out_.put(whole ? "<td class=\"n\">" : "<td>");
      return out_;
    }
    startSection();
    if (!factsOpen_) {
      out_.put("<table class=\"facts\">\n");
      factsOpen_ = true;
    }
    rowHead(out_, fact.label);
    out_.put(whole ? "<td class=\"nw\">" : "<td>");
    return out_;
  }
  void endCell() { out_.put(inRow_ ? "</td>" : "</td></tr>\n"); }

  Writer& out_;
  const PageLinks& links_;
  WordStyle style_;
  std::array<Level, 16> levels_{};
  std::size_t depth_ = 0;
  std::optional<Scope> pendingSection_;
  bool factsOpen_ = false;
  bool inRow_ = false;
  ListScope list_{inJson()};  // the open list
  std::size_t items_ = 0;
};

}  // namespace

void writeSummarySection(Writer& out, Writer& scratch, const ReportInputs& inputs,
                         const PageLinks& links) {
  out.put("<section id=\"");
  out.put(kSummaryId);
  out.put("\">\n<h2>Summary</h2>\n<div class=\"grid\">\n");
  HtmlFacts facts(out, scratch, links);
  // The walk makes in scratch only the words of facts that the page does
  // not show (the notes of JSON, the labels of the text), so that it shares
  // the page's.
  describeSession(inputs.facts, facts, scratch);
  out.put("</div>\n</section>\n");
}

}  // namespace ovantrex
