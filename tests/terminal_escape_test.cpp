// The writer's escaping of terminal controls, on a memory writer: which
// bytes pass, which are escaped, and UTF-8 sequences cut by the end of the
// writer's buffer.
#include <gtest/gtest.h>

#include <string>

#include "expected_text.h"
#include "output/common/writer.h"

namespace ovantrex {
namespace {

using test::utf8;

std::string escaped(const std::string& bytes) {
  Writer out;
  out.escapeControls(true);
  out.put(bytes);
  return out.text();
}

struct EscapeCase {
  const char* name;
  std::string bytes;
  std::string shown;
};

class TerminalEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(TerminalEscape, ShowsTheBytesAsATerminalMaySeeThem) {
  EXPECT_EQ(escaped(GetParam().bytes), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, TerminalEscape,
    ::testing::Values(
        EscapeCase{"PrintableAsciiTabAndLineFeedPass", " az~!\\\t\n", " az~!\\\t\n"},
        EscapeCase{"OtherC0ControlsAndDel",
                   std::string("\x00\x01\x07\x08\x0b\x0c\x0d\x1b\x1f\x7f", 10),
                   "\\x00\\x01\\x07\\x08\\x0b\\x0c\\x0d\\x1b\\x1f\\x7f"},
        EscapeCase{"EscapeSequenceKeepsItsPrintableTail", "\x1b]0;title\x07", "\\x1b]0;title\\x07"},
        EscapeCase{"RawC1Controls", "\x80\x85\x9b\x9d\x9f", "\\x80\\x85\\x9b\\x9d\\x9f"},
        EscapeCase{"Utf8EncodedC1ControlsBothBytes", "\xc2\x80\xc2\x9b\xc2\x9f",
                   "\\xc2\\x80\\xc2\\x9b\\xc2\\x9f"},
        EscapeCase{"BidirectionalControlsEveryByte",
                   utf8({0x202a, 0x202b, 0x202c, 0x202d, 0x202e, 0x2066, 0x2067, 0x2068, 0x2069,
                         0x200e, 0x200f, 0x061c}),
                   "\\xe2\\x80\\xaa\\xe2\\x80\\xab\\xe2\\x80\\xac\\xe2\\x80\\xad"
                   "\\xe2\\x80\\xae\\xe2\\x81\\xa6\\xe2\\x81\\xa7\\xe2\\x81\\xa8"
                   "\\xe2\\x81\\xa9\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xd8\\x9c"},
        EscapeCase{"LineAndParagraphSeparatorsEveryByte", utf8({'a', 0x2028, 'b', 0x2029}),
                   "a\\xe2\\x80\\xa8"
                   "b\\xe2\\x80\\xa9"},
        // The neighbours of those ranges are characters: U+200D, U+2027,
        // U+202F, U+2065, U+206A, U+20A6, U+302E, U+061B and U+061D.
        EscapeCase{"NeighboursOfTheBidirectionalControlsPass",
                   utf8({0x200d, 0x2027, 0x202f, 0x2065, 0x206a, 0x20a6, 0x302e, 0x061b, 0x061d}),
                   "\xe2\x80\x8d\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa"
                   "\xe2\x82\xa6\xe3\x80\xae\xd8\x9b\xd8\x9d"},
        EscapeCase{"WellFormedUtf8AtTheEdgesOfEachForm",
                   "\xc2\xa0\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf"
                   "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
                   "\xc2\xa0\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf"
                   "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"},
        EscapeCase{"OverlongForms", "\xc0\xaf\xc1\xbf\xe0\x9f\xbf\xf0\x8f\xbf\xbf",
                   "\\xc0\\xaf\\xc1\\xbf\\xe0\\x9f\\xbf\\xf0\\x8f\\xbf\\xbf"},
        EscapeCase{"Surrogates", "\xed\xa0\x80\xed\xbf\xbf", "\\xed\\xa0\\x80\\xed\\xbf\\xbf"},
        EscapeCase{"AboveTheLastCodePoint", "\xf4\x90\x80\x80\xf5\x80\xff",
                   "\\xf4\\x90\\x80\\x80\\xf5\\x80\\xff"},
        EscapeCase{"StrayContinuationBytes",
                   "a\xbf"
                   "b\xa0",
                   "a\\xbfb\\xa0"},
        EscapeCase{"SequenceBrokenOffByAByteThatStartsAnother",
                   "\xe2\x82"
                   "A\xe2\xc3\xa9\xf0\x9f\x98\x1b",
                   "\\xe2\\x82A\\xe2\xc3\xa9\\xf0\\x9f\\x98\\x1b"},
        EscapeCase{"SequenceCutShortAtTheEnd", "ok\xf0\x9f\x98", "ok\\xf0\\x9f\\x98"}),
    [](const ::testing::TestParamInfo<EscapeCase>& param) {
      return std::string(param.param.name);
    });

TEST(TerminalEscapeAcrossBlocks, SequenceCutByTheBufferEndPassesWhole) {
  // Each UTF-8 form, an escape sequence and a right-to-left override,
  // started at every offset around the end of the writer's buffer.
  const std::string pieces[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80",
                                "\xc2\x9b", "\x1b[2J",      utf8({0x202e})};
  const std::string shown[] = {"\xc3\xa9",   "\xe2\x82\xac", "\xf0\x9f\x98\x80",
                               "\\xc2\\x9b", "\\x1b[2J",     "\\xe2\\x80\\xae"};
  for (std::size_t i = 0; i < std::size(pieces); ++i) {
    for (std::size_t before = Writer::kCapacity - 4; before <= Writer::kCapacity; ++before) {
      Writer out;
      out.escapeControls(true);
      out.repeat('x', before);
      out.put(pieces[i]);
      out.put('\n');
      ASSERT_EQ(out.text(), std::string(before, 'x') + shown[i] + "\n")
          << "piece " << i << " after " << before << " bytes";
    }
  }
}

}  // namespace
}  // namespace ovantrex
