#include "render/byte_dumps.h"

#include <array>

namespace ovantrex {

namespace {

constexpr std::size_t kHexPerLine = 25;
constexpr std::size_t kCharsPerLine = 80;

// The character that a byte shows as: itself when printable in the "C"
// locale (0x20 to 0x7e), "." otherwise.
constexpr std::array<char, 256> makeCharTable() {
  std::array<char, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = (i >= 0x20 && i <= 0x7e) ? static_cast<char>(i) : '.';
  return table;
}
constexpr std::array<char, 256> kShown = makeCharTable();

// One run of at most 25 bytes as "xx.xx...xx"; a trailing "." when more
// bytes follow the run.
char* hexRun(char* p, const std::uint8_t* bytes, std::size_t count, bool more) {
  for (std::size_t i = 0; i < count; ++i) {
    p[0] = kHexPairs.text[2 * bytes[i]];
    p[1] = kHexPairs.text[2 * bytes[i] + 1];
    p[2] = '.';
    p += 3;
  }
  return more ? p : p - 1;
}

void hexDump(Writer& out, Bytes bytes, bool wrap, std::size_t wrapIndent) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t count = std::min(kHexPerLine, bytes.size() - done);
    const bool more = done + count < bytes.size();
    char* p = out.reserve(3 * kHexPerLine + 1);
    p = hexRun(p, bytes.data() + done, count, more);
    if (more) *p++ = '\n';
    out.commit(p);
    done += count;
    if (more && wrap) out.blanks(wrapIndent);
  }
}

void charDump(Writer& out, Bytes bytes, bool wrap, std::size_t wrapIndent) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t count = std::min(kCharsPerLine, bytes.size() - done);
    char* p = out.reserve(kCharsPerLine + 1);
    for (std::size_t i = 0; i < count; ++i) p[i] = kShown[bytes[done + i]];
    p += count;
    done += count;
    if (count < kCharsPerLine) {
      out.commit(p);
      break;
    }
    // The break follows every 80th character, the very last one included.
    *p++ = '\n';
    out.commit(p);
    if (wrap) {
      out.blanks(wrapIndent);
      out.put(" |");
    }
  }
}

}  // namespace

void dumpHex(Writer& out, Bytes bytes) { hexDump(out, bytes, false, 0); }

void dumpHexWrapped(Writer& out, Bytes bytes, std::size_t wrapIndent) {
  hexDump(out, bytes, true, wrapIndent);
}

void dumpChars(Writer& out, Bytes bytes) { charDump(out, bytes, false, 0); }

void dumpCharsWrapped(Writer& out, Bytes bytes, std::size_t wrapIndent) {
  charDump(out, bytes, true, wrapIndent);
}

}  // namespace ovantrex
