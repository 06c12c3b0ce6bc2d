// The words that the sections of the page share.
#include <algorithm>
#include <ctime>
#include <optional>

#include "output/html/html_text.h"
#include "output/html/page.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// A word or a file name for a shell command line, quoted where needed.
void writeShellWord(Writer& out, std::string_view word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._/+-,:@%=").find(c) != std::string_view::npos;
  });
  if (plain) {
    writeHtmlText(out, word);
    return;
  }
  out.put("&#39;");
  for (std::size_t start = 0; start <= word.size();) {
    const std::size_t quote = std::min(word.find('\'', start), word.size());
    writeHtmlText(out, word.substr(start, quote - start));
    if (quote == word.size()) break;
    out.put("&#39;\\&#39;&#39;");
    start = quote + 1;
  }
  out.put("&#39;");
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// How far the local time is ahead of UTC at seconds (since 1970, UTC), in
// seconds; none when the system cannot say.
std::optional<std::int64_t> localOffset(const ListingOptions& options, std::int64_t seconds) {
  std::tm local{};
  if (options.localTime == nullptr || !options.localTime(seconds, local)) return std::nullopt;
  const std::int64_t days =
      daysFromCivil(std::int64_t{local.tm_year} + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday));
  return days * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec - seconds;
}

// "UTC+01:00", "UTC-05:30".
void writeUtcOffset(Writer& out, std::int64_t offset) {
  out.put(offset < 0 ? "UTC-" : "UTC+");
  const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  const auto two = [&out](std::int64_t value) {
    out.put(static_cast<char>('0' + value / 10 % 10));
    out.put(static_cast<char>('0' + value % 10));
  };
  two(minutes / 60);
  out.put(':');
  two(minutes % 60);
}

// The local time of the listing's time column: its distance from UTC at
// the first and the last record (the column's times, moved by -h).
void writeLocalTimeBasis(Writer& out, const ReportInputs& inputs) {
  const ListingOptions& options = inputs.options;
  const SessionFacts& data = inputs.facts;
  const std::int64_t moved = std::int64_t{options.hourOffset} * 3600;
  const auto first = localOffset(options, data.earliestTime->seconds + moved);
  const auto last = localOffset(options, data.latestTime->seconds + moved);
  out.put(" The listing&#8217;s time column (<code>-t</code>) shows local time");
  if (first && last) {
    out.put(", ");
    writeUtcOffset(out, *first);
    if (*last != *first) {
      out.put(" at the first record and ");
      writeUtcOffset(out, *last);
      out.put(" at the last");
    }
  }
  if (options.hourOffset != 0) {
    out.put(", moved by <code>-h ");
    out.decimal(options.hourOffset);
    out.put("</code> hours");
  }
  out.put(", as month/day-hour:minute:second.milliseconds without the year.");
}

}  // namespace

void writeListingCommand(Writer& out, const ReportInputs& inputs) {
  out.put("<code>ovantrex");
  for (const std::string& word : inputs.listingCommand) {
    out.put(' ');
    writeShellWord(out, word);
  }
  out.put("</code>");
}

WordStyle pageWords(std::size_t mostRanges, const PageLinks* links) {
  return {writeGrouped, writeHtmlText, writeHtmlText, writePageTime, "&#8211;", mostRanges, links};
}

void writeCounted(Writer& out, std::uint64_t value, std::string_view one, std::string_view many) {
  writeGrouped(out, value);
  out.put(' ');
  out.put(value == 1 ? one : many);
}

void writeOrdinal(Writer& out, std::uint64_t value) {
  writeGrouped(out, value);
  const std::uint64_t tens = value % 100;
  const std::uint64_t ones = value % 10;
  if (tens >= 11 && tens <= 13) {
    out.put("th");
  } else {
    out.put(ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th");
  }
}

void writeUpdateSentence(Writer& out, const UpdateFacts& update) {
  writeCounted(out, update.writes, "flash write", "flash writes");
  out.put(" (");
  writeCounted(out, update.bytes, "byte", "bytes");
  out.put(")");
  if (!update.ranges.empty()) {
    out.put(" to ");
    writeRanges(out, update.ranges, update.rangesLeftOut, pageWords(3));
  } else if (update.rangesLeftOut != 0) {
    out.put(" to ");
    writeCounted(out, update.rangesLeftOut, "address range", "address ranges");
    out.put(" (not listed)");
  }
  out.put("; ");
  if (update.errors == 0) {
    out.put("no error replies");
  } else {
    out.put("<span class=\"verdict\">");
    writeCounted(out, update.errors, "error reply", "error replies");
    out.put("</span>");
    if (update.exchanges.refused != 0) {
      out.put(" (");
      writeGrouped(out, update.exchanges.refused);
      out.put(" refusing a flash write, checksum write or reset, ");
      writeGrouped(out, update.exchanges.recovered);
      out.put(" of them recovered)");
    }
  }
  if (update.rewrittenBytes != 0) {
    out.put("; ");
    writeCounted(out, update.rewrittenBytes, "byte", "bytes");
    out.put(" rewritten");
  }
  out.put("; ");
  if (update.checksums.empty() && update.checksumsLeftOut != 0) {
    writeCounted(out, update.checksumsLeftOut, "checksum", "checksums");
    out.put(" written (not listed)");
  } else if (update.checksums.empty()) {
    out.put("no checksum written");
  } else {
    out.put("checksum ");
    for (std::size_t i = 0; i < update.checksums.size(); ++i) {
      if (i != 0) out.put(", ");
      writeChecksum(out, update.checksums[i]);
    }
    writeListEnd(out, false, update.checksumsLeftOut, pageWords());
    out.put(" written");
  }
  out.put(update.reset ? "; then the device was reset." : "; the device was not reset.");
  out.put(" Outcome: <span class=\"verdict\">");
  out.put(coded(update.outcome).words);
  out.put("</span>.");
}

void writePageTime(Writer& out, const TraceTime& time) {
  out.put("<time>");
  writeTraceTime(out, time);
  out.put("</time>");
}

void writeTimeBasis(Writer& out, const ReportInputs& inputs) {
  const SessionFacts& data = inputs.facts;
  if (!data.earliestTime || !data.latestTime) return;
  out.put(
      "<p class=\"meta\">Times are in UTC (ISO 8601, the &#8220;Z&#8221;) in the summary, the "
      "tables and the pictures.");
  if (inputs.options.timeColumn) writeLocalTimeBasis(out, inputs);
  out.put("</p>\n");
}

void writeWritesOutside(Writer& out, std::uint64_t writes) {
  writeCounted(out, writes, "flash write falls", "flash writes fall");
  out.put(" outside any update (no \"Start flash update\" before them)");
}

}  // namespace ovantrex
