#include "output/common/byte_dumps.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace ovantrex {

namespace {

constexpr std::size_t kHexPerLine = 25;
constexpr std::size_t kCharsPerLine = 80;

// A line's indent is written into the same reservation as the line when it
// is at most this long; longer ones go through Writer::blanks.
constexpr std::size_t kInlineIndent = 512;

// The character that a byte shows as: itself when printable in the "C"
// locale (0x20 to 0x7e), "." otherwise.
constexpr std::array<char, 256> makeCharTable() {
  std::array<char, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = (i >= 0x20 && i <= 0x7e) ? static_cast<char>(i) : '.';
  return table;
}
constexpr std::array<char, 256> kShown = makeCharTable();

// "xx." for every byte value, padded to four bytes so that one 4-byte copy
// writes a byte's three characters (the fourth is overwritten by the next).
struct HexDotTable {
  char text[256][4];
};
constexpr HexDotTable makeHexDotTable() {
  HexDotTable table{};
  for (int i = 0; i < 256; ++i) {
    table.text[i][0] = kHexPairs.text[2 * i];
    table.text[i][1] = kHexPairs.text[2 * i + 1];
    table.text[i][2] = '.';
    table.text[i][3] = '.';
  }
  return table;
}
constexpr HexDotTable kHexDot = makeHexDotTable();

// "xx." of every byte value as a number whose bytes, lowest first, are the
// three characters and 0; only used where the machine is little-endian.
struct HexDotWords {
  std::uint32_t word[256];
};
constexpr HexDotWords makeHexDotWords() {
  HexDotWords table{};
  for (int i = 0; i < 256; ++i) {
    table.word[i] = static_cast<std::uint32_t>(static_cast<unsigned char>(kHexDot.text[i][0])) |
                    static_cast<std::uint32_t>(static_cast<unsigned char>(kHexDot.text[i][1]))
                        << 8 |
                    std::uint32_t{'.'} << 16;
  }
  return table;
}
constexpr HexDotWords kHexDotWords = makeHexDotWords();

// Writes count (at most 25) bytes as "xx.xx. ... xx." at p; the caller needs
// room for 3 * count + 1 bytes. Returns the end of the text, after the last
// ".".
char* hexRun(char* p, const std::uint8_t* bytes, std::size_t count) {
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four bytes at a time: twelve characters in one 8-byte and one 4-byte
    // store.
    for (; i + 4 <= count; i += 4) {
      const std::uint64_t a = kHexDotWords.word[bytes[i]];
      const std::uint64_t b = kHexDotWords.word[bytes[i + 1]];
      const std::uint64_t c = kHexDotWords.word[bytes[i + 2]];
      const std::uint32_t d = kHexDotWords.word[bytes[i + 3]];
      const std::uint64_t first = a | b << 24 | c << 48;
      const auto second = static_cast<std::uint32_t>(c >> 16) | d << 8;
      std::memcpy(p, &first, 8);
      std::memcpy(p + 8, &second, 4);
      p += 12;
    }
  }
  for (; i < count; ++i) {
    std::memcpy(p, kHexDot.text[bytes[i]], 4);
    p += 3;
  }
  return p;
}

void hexDump(Writer& out, Bytes bytes, bool wrap, std::size_t wrapIndent) {
  const std::uint8_t* next = bytes.data();
  std::size_t left = bytes.size();
  const std::size_t indent = wrap ? wrapIndent : 0;
  const bool inlineIndent = indent <= kInlineIndent;
  // A full line and its break: 75 characters, "\n", the indent when it is
  // written inline, and the slack byte of the last 4-byte copy.
  const std::size_t lineRoom = 3 * kHexPerLine + 1 + (inlineIndent ? indent : 0) + 1;
  while (left > kHexPerLine) {
    char* p = out.reserve(lineRoom);
    p = hexRun(p, next, kHexPerLine);
    *p++ = '\n';
    next += kHexPerLine;
    left -= kHexPerLine;
    if (inlineIndent) {
      std::memset(p, ' ', indent);
      out.commit(p + indent);
    } else {
      out.commit(p);
      out.blanks(indent);
    }
  }
  if (left == 0) return;
  // The last line: no "." after its last byte.
  char* p = out.reserve(3 * kHexPerLine + 1);
  p = hexRun(p, next, left);
  out.commit(p - 1);
}

// SWAR test of eight bytes at once: every byte that is not printable
// (outside 0x20..0x7e) becomes ".". Bytes are lanes of the 64-bit word and
// no step carries from one lane into the next, so the byte order of the
// machine does not matter.
std::uint64_t shownWord(std::uint64_t x) {
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t low = x & kLow7;
  // Bit 7 of each lane: low >= 0x20, low == 0x7f.
  const std::uint64_t atLeastBlank = low + 0x60 * kOnes;
  const std::uint64_t isDelete = low + kOnes;
  const std::uint64_t printable = atLeastBlank & ~isDelete & ~x & kHigh;
  const std::uint64_t hidden = (printable ^ kHigh) >> 7;  // 1 in every hidden lane
  const std::uint64_t mask = hidden * 0xff;
  return (x & ~mask) | (('.' * kOnes) & mask);
}

// Writes count bytes as characters at p.
void showRun(char* p, const std::uint8_t* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    word = shownWord(word);
    std::memcpy(p + i, &word, 8);
  }
  for (; i < count; ++i) p[i] = kShown[bytes[i]];
}

void charDump(Writer& out, Bytes bytes, bool wrap, std::size_t wrapIndent) {
  const std::uint8_t* next = bytes.data();
  std::size_t left = bytes.size();
  const bool inlineIndent = wrapIndent <= kInlineIndent;
  // A full line and its break: 80 characters, "\n" and, when wrapping,
  // the indent and " |" if the indent is written inline.
  const std::size_t lineRoom = kCharsPerLine + 1 + (wrap && inlineIndent ? wrapIndent + 2 : 0);
  // The break follows every 80th character, the very last one included.
  while (left >= kCharsPerLine) {
    char* p = out.reserve(lineRoom);
    showRun(p, next, kCharsPerLine);
    p += kCharsPerLine;
    *p++ = '\n';
    next += kCharsPerLine;
    left -= kCharsPerLine;
    if (!wrap) {
      out.commit(p);
    } else if (inlineIndent) {
      std::memset(p, ' ', wrapIndent);
      p += wrapIndent;
      *p++ = ' ';
      *p++ = '|';
      out.commit(p);
    } else {
      out.commit(p);
      out.blanks(wrapIndent);
      out.put(" |");
    }
  }
  if (left == 0) return;
  char* p = out.reserve(kCharsPerLine);
  showRun(p, next, left);
  out.commit(p + left);
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
