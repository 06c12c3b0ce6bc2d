// The line ends of the text outputs on Windows. The C runtime's text mode
// writes each "\n" as "\r\n" and every other byte as it is: a lone "\r"
// stays one, a "\r\n" becomes "\r\r\n". The writer does the same itself, in
// binary mode, piece by piece: a line end at the edge of a piece or of the
// writer's block must come out as anywhere else.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "app/platform.h"
#include "output/common/writer.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

constexpr std::size_t kPiece = Writer::kLineEndsPiece;
constexpr std::size_t kBlock = Writer::kCapacity;

// count places of "x", those from first on, every so many, holding lineEnd
// instead: with "\n", place i is byte i.
std::string lines(std::size_t count, std::size_t first, std::size_t every,
                  std::string_view lineEnd) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i >= first && (i - first) % every == 0) {
      text += lineEnd;
    } else {
      text += 'x';
    }
  }
  return text;
}

// Empty when both are the same, else where they part.
std::string difference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return {};
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at byte " + std::to_string(at);
}

// What a writer over a file of the given line ends leaves in it.
template <typename Write>
std::string written(platform::LineEnds lineEnds, Write write) {
  TempDir dir;
  const std::string name = (dir.path() / "out.txt").string();
  std::FILE* const file = platform::openForWriting(name);
  if (file == nullptr) throw std::runtime_error("cannot open " + name);
  platform::setLineEnds(file, lineEnds);
  {
    Writer out(file);
    write(out, file);
    out.close();
  }
  return readFile(name);
}

struct LineEndsCase {
  const char* label;
  std::string text;
  std::string expected;
};

class LineEndsTextMode : public ::testing::TestWithParam<LineEndsCase> {};

TEST_P(LineEndsTextMode, AreWrittenAsTheRuntimesTextModeWritesThem) {
  const std::string out =
      written(platform::LineEnds::Text, [](Writer& w, std::FILE*) { w.put(GetParam().text); });
  EXPECT_EQ(difference(out, GetParam().expected), "");
}

const std::string kXs(kBlock - 1, 'x');

INSTANTIATE_TEST_SUITE_P(
    Writer, LineEndsTextMode,
    ::testing::Values(
        LineEndsCase{"LoneCrAndCrLfAndControls", std::string("a\rb\r\nc\n\n\x1a\0z", 11),
                     std::string("a\rb\r\r\nc\r\n\r\n\x1a\0z", 14)},
        LineEndsCase{"LineEndLastInAPiece", lines(kPiece + 9, kPiece - 1, kPiece, "\n"),
                     lines(kPiece + 9, kPiece - 1, kPiece, "\r\n")},
        LineEndsCase{"LineEndFirstInAPiece", lines(kPiece + 9, kPiece, kPiece, "\n"),
                     lines(kPiece + 9, kPiece, kPiece, "\r\n")},
        LineEndsCase{"LineEndLastInABlock", lines(kBlock + 9, kBlock - 1, kBlock, "\n"),
                     lines(kBlock + 9, kBlock - 1, kBlock, "\r\n")},
        LineEndsCase{"LineEndFirstInABlock", lines(kBlock + 9, kBlock, kBlock, "\n"),
                     lines(kBlock + 9, kBlock, kBlock, "\r\n")},
        LineEndsCase{"CrLastInABlockItsLfFirstInTheNext", kXs + "\r\ny", kXs + "\r\r\ny"},
        // A line end in every third byte from the second: at every offset
        // of a 16-byte step, last in the first piece, first in the second block.
        LineEndsCase{"EveryThirdByte", lines(3 * kBlock + 5, 1, 3, "\n"),
                     lines(3 * kBlock + 5, 1, 3, "\r\n")},
        LineEndsCase{"EveryByteALineEnd", std::string(3 * kBlock + 5, '\n'),
                     lines(3 * kBlock + 5, 0, 1, "\r\n")},
        LineEndsCase{"NoLineEnd", std::string(kBlock + 40, 'x'), std::string(kBlock + 40, 'x')}),
    [](const ::testing::TestParamInfo<LineEndsCase>& param) {
      return std::string(param.param.label);
    });

// A binary output (the page) gets its bytes as they are; standard output
// is put in text mode after its writer is made, and the writer follows.
TEST(LineEndsWriter, FollowTheStreamsModeWhenItIsWritten) {
  EXPECT_EQ(written(platform::LineEnds::Bytes, [](Writer& w, std::FILE*) { w.put("a\r\nb\n"); }),
            "a\r\nb\n");
  EXPECT_EQ(written(platform::LineEnds::Bytes,
                    [](Writer& w, std::FILE* file) {
                      w.put("a\n");
                      w.flush();
                      platform::setLineEnds(file, platform::LineEnds::Text);
                      w.put("b\n");
                    }),
            "a\nb\r\n");
}

// The stream stays in text mode for what else writes to it, and a "\r"
// written before a flush and its "\n" after it come out as the runtime
// writes them.
TEST(LineEndsWriter, LeaveTheStreamInTextMode) {
  EXPECT_EQ(written(platform::LineEnds::Text,
                    [](Writer& w, std::FILE* file) {
                      w.put("a\r");
                      w.flush();
                      w.put("\nb\n");
                      w.flush();
                      std::fputs("c\n", file);
                    }),
            "a\r\r\nb\r\nc\r\n");
}

}  // namespace
}  // namespace ovantrex::test
