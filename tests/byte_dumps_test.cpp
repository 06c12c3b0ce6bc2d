#include "output/common/byte_dumps.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "expected_text.h"

namespace ovantrex {
namespace {

using test::blanks;

// count bytes 0x00, 0x01, ...
std::vector<std::uint8_t> counting(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

// "00.01.02...": the dotted pairs of bytes first..last-1 of counting(), with
// a trailing "." after each of them.
std::string dottedRun(std::size_t first, std::size_t last) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = first; i < last; ++i) {
    text += digits[(i >> 4) & 15];
    text += digits[i & 15];
    text += '.';
  }
  return text;
}

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
  Writer out;
  dumpHex(out, bytes);
  return out.text();
}
std::string hexWrappedOf(const std::vector<std::uint8_t>& bytes, std::size_t indent) {
  Writer out;
  dumpHexWrapped(out, bytes, indent);
  return out.text();
}
std::string charsOf(const std::vector<std::uint8_t>& bytes) {
  Writer out;
  dumpChars(out, bytes);
  return out.text();
}
std::string charsWrappedOf(const std::vector<std::uint8_t>& bytes, std::size_t indent) {
  Writer out;
  dumpCharsWrapped(out, bytes, indent);
  return out.text();
}

TEST(ByteDumpsDottedHex, JoinsLowercasePairsWithDots) {
  EXPECT_EQ(hexOf({0x01, 0xAB, 0xFF}), "01.ab.ff");
  EXPECT_EQ(hexOf({0x00}), "00");
  EXPECT_EQ(hexWrappedOf({0x0a, 0xb0}, 7), "0a.b0");
}

TEST(ByteDumpsDottedHex, EmptyRunWritesNothing) {
  EXPECT_EQ(hexOf({}), "");
  EXPECT_EQ(hexWrappedOf({}, 12), "");
}

TEST(ByteDumpsDottedHex, BreaksAfterEveryTwentyFifthByteButTheLast) {
  // 25 bytes: one full line, no break.
  EXPECT_EQ(hexOf(counting(25)), dottedRun(0, 24) + "18");
  // 26 bytes: the "." after the 25th byte, then the break, then the 26th.
  EXPECT_EQ(hexOf(counting(26)), dottedRun(0, 25) + "\n" + "19");
  // 50 bytes: one break only.
  EXPECT_EQ(hexOf(counting(50)), dottedRun(0, 25) + "\n" + dottedRun(25, 49) + "31");
  // 76 bytes: three breaks.
  EXPECT_EQ(hexOf(counting(76)),
            dottedRun(0, 25) + "\n" + dottedRun(25, 50) + "\n" + dottedRun(50, 75) + "\n" + "4b");
}

TEST(ByteDumpsDottedHex, WrappingFormIndentsContinuationLines) {
  EXPECT_EQ(hexWrappedOf(counting(26), 45), dottedRun(0, 25) + "\n" + blanks(45) + "19");
  EXPECT_EQ(hexWrappedOf(counting(51), 3),
            dottedRun(0, 25) + "\n   " + dottedRun(25, 50) + "\n   " + "32");
  EXPECT_EQ(hexWrappedOf(counting(50), 31),
            dottedRun(0, 25) + "\n" + blanks(31) + dottedRun(25, 49) + "31");
}

TEST(ByteDumpsCharacters, ShowsPrintableAsciiAndDotsForTheRest) {
  EXPECT_EQ(charsOf({0x41, 0x00, 0x20, 0x7F, 0x7E, 0xE9}), "A. .~.");
  EXPECT_EQ(charsOf({0x1F, 0x0a, 0x0d, 0x09, 0x80, 0xFF, 0x21}), "......!");
  EXPECT_EQ(charsWrappedOf({0x41, 0x00, 0x20, 0x7F, 0x7E, 0xE9}, 9), "A. .~.");
}

TEST(ByteDumpsCharacters, EveryByteValueMapsAsInTheCLocale) {
  std::vector<std::uint8_t> all = counting(256);
  const std::string shown =
      charsOf(std::vector<std::uint8_t>(all.begin(), all.begin() + 80)) +
      charsOf(std::vector<std::uint8_t>(all.begin() + 80, all.begin() + 160)) +
      charsOf(std::vector<std::uint8_t>(all.begin() + 160, all.begin() + 240)) +
      charsOf(std::vector<std::uint8_t>(all.begin() + 240, all.end()));
  std::string expected;
  for (int c = 0; c < 256; ++c) {
    expected += (c >= 0x20 && c <= 0x7e) ? static_cast<char>(c) : '.';
    if (c == 79 || c == 159 || c == 239) expected += '\n';
  }
  EXPECT_EQ(shown, expected);
}

TEST(ByteDumpsCharacters, EmptyRunWritesNothing) {
  EXPECT_EQ(charsOf({}), "");
  EXPECT_EQ(charsWrappedOf({}, 20), "");
}

TEST(ByteDumpsCharacters, BreaksAfterEveryEightiethCharacterTheLastIncluded) {
  const std::string a79(79, 'a');
  const std::string a80(80, 'a');
  EXPECT_EQ(charsOf(std::vector<std::uint8_t>(79, 'a')), a79);
  EXPECT_EQ(charsOf(std::vector<std::uint8_t>(80, 'a')), a80 + "\n");
  EXPECT_EQ(charsOf(std::vector<std::uint8_t>(81, 'a')), a80 + "\n" + "a");
  EXPECT_EQ(charsOf(std::vector<std::uint8_t>(160, 'a')), a80 + "\n" + a80 + "\n");
}

TEST(ByteDumpsCharacters, WrappingFormAddsIndentAndBarAfterEachBreak) {
  const std::string a80(80, 'a');
  EXPECT_EQ(charsWrappedOf(std::vector<std::uint8_t>(80, 'a'), 45), a80 + "\n" + blanks(45) + " |");
  EXPECT_EQ(charsWrappedOf(std::vector<std::uint8_t>(81, 'a'), 45),
            a80 + "\n" + blanks(45) + " |" + "a");
  EXPECT_EQ(charsWrappedOf(std::vector<std::uint8_t>(165, 'a'), 2),
            a80 + "\n   |" + a80 + "\n   |" + "aaaaa");
}

TEST(ByteDumps, LargeRunsPassTheWriterBufferIntact) {
  // More than one writer block of output.
  std::vector<std::uint8_t> bytes(30000, 0x5a);
  const std::string hex = hexWrappedOf(bytes, 100);
  std::size_t breaks = 0;
  for (char c : hex) breaks += (c == '\n');
  EXPECT_EQ(breaks, 30000u / 25 - 1);
  EXPECT_EQ(hex.size(), 30000u * 3 - 1 + breaks * 101);
  std::string firstLine;
  for (int i = 0; i < 25; ++i) firstLine += "5a.";
  EXPECT_EQ(hex.substr(0, 78), firstLine + "\n" + "  ");
  const std::string chars = charsWrappedOf(bytes, 4);
  EXPECT_EQ(chars.size(), 30000u + (30000u / 80) * 7);
  EXPECT_EQ(chars.substr(chars.size() - 7 - 80, 80 + 7),
            std::string(80, 'Z') + "\n" + blanks(4) + " |");
}

}  // namespace
}  // namespace ovantrex
