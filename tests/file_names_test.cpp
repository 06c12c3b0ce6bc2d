// Names of the trace and of the output: any name that the system allows
// opens (on Windows through the wide-character calls, whatever the code
// page), and the output is refused when it is the trace under another name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

// A path as the program takes it on its command line: UTF-8.
std::string utf8Name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return {name.begin(), name.end()};
}

TraceBuilder oneText() {
  TraceBuilder t;
  t.text(1500.0, "hi\n");
  return t;
}

const std::string kListing = textEntry("1.500", "hi");

struct NameCase {
  const char* label;
  const char8_t* trace;
  const char8_t* output;
};

class FileNamesNonAscii : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNamesNonAscii, OpensAsTraceAndAsOutputAndIsShownWholeInMessages) {
  TempDir dir;
  const std::filesystem::path trace = dir.path() / GetParam().trace;
  const std::filesystem::path output = dir.path() / GetParam().output;
  oneText().writeTo(trace);

  RunResult r = run({"-f", utf8Name(trace)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kListing);

  r = run({"-f", utf8Name(trace), "-w", utf8Name(output)});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(std::filesystem::exists(output));
  EXPECT_EQ(readTextOutput(output), kListing);

  const std::string missing = utf8Name(dir.path() / (std::u8string(u8"not-") + GetParam().trace));
  r = run({"-f", missing});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Could not open '" + missing + "' for reading\n");
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNamesNonAscii,
    ::testing::Values(NameCase{"AccentedLatin", u8"\u00e9t\u00e9.trc", u8"r\u00e9sum\u00e9.txt"},
                      NameCase{"Cyrillic", u8"\u0442\u0440\u0430\u0441\u0441\u0430.trc",
                               u8"\u0441\u043f\u0438\u0441\u043e\u043a.txt"},
                      NameCase{"Chinese", u8"\u65e5\u5fd7.trc", u8"\u5217\u8868.txt"},
                      // Two UTF-16 code units each on Windows.
                      NameCase{"OutsideTheBasicPlane", u8"\U0001f600.trc", u8"\U0001f4c4.txt"},
                      NameCase{"BlanksAndAQuote", u8"a trace's name.trc", u8"the listing.txt"}),
    [](const ::testing::TestParamInfo<NameCase>& param) { return param.param.label; });

// A path past the 260 characters that Windows takes without its long-path
// prefix: five folders of 60 characters. (Wine takes such paths without the
// prefix too: only on Windows itself does this check the prefix.)
TEST(FileNamesLongPath, OpensAsTraceAndAsOutputAndTheOutputIsRefusedAsTheTrace) {
  TempDir dir;
  std::filesystem::path folder = dir.path();
  for (char c = 'a'; c != 'f'; ++c) folder /= std::string(60, c);
  std::filesystem::create_directories(folder);
  const std::string trace = utf8Name(folder / "trace.trc");
  const std::string output = utf8Name(folder / "listing.txt");
  ASSERT_GT(trace.size(), 300u);
  oneText().writeTo(trace);

  RunResult r = run({"-f", trace, "-w", output});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readTextOutput(output), kListing);

  r = run({"-f", trace, "-w", trace});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "Could not open '" + trace + "' for writing: it is the trace being read\n");
  EXPECT_EQ(readFile(trace), oneText().str());
}

// The output named as the trace, under the same or another name, is refused
// with status 3 before anything is written: the trace keeps its bytes.
struct SameFileCase {
  const char* label;
  // The name of the output, made in dir from the trace at dir/trace.trc;
  // empty when the system cannot make it.
  std::string (*name)(const TempDir& dir);
};

class FileNamesOutputThatIsTheTrace : public ::testing::TestWithParam<SameFileCase> {};

TEST_P(FileNamesOutputThatIsTheTrace, IsRefusedWithStatusThreeAndTheTraceKept) {
  TempDir dir;
  const std::string trace = utf8Name(dir.path() / "trace.trc");
  oneText().writeTo(trace);
  const std::string name = GetParam().name(dir);
  if (name.empty()) GTEST_SKIP() << "the file system makes no such name here";

  const RunResult r = run({"-f", trace, "-w", name});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '" + name + "' for writing: it is the trace being read\n");
  EXPECT_EQ(readFile(trace), oneText().str());
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNamesOutputThatIsTheTrace,
    ::testing::Values(
        SameFileCase{"TheSameName",
                     [](const TempDir& dir) { return utf8Name(dir.path()) + "/trace.trc"; }},
        SameFileCase{"ThroughTheCurrentFolderMark",
                     [](const TempDir& dir) { return utf8Name(dir.path() / "." / "trace.trc"); }},
        SameFileCase{"ThroughAFolderAndBack",
                     [](const TempDir& dir) {
                       std::filesystem::create_directory(dir.path() / "sub");
                       return utf8Name(dir.path() / "sub" / ".." / "trace.trc");
                     }},
        SameFileCase{"AHardLink",
                     [](const TempDir& dir) {
                       std::error_code failed;
                       std::filesystem::create_hard_link(dir.path() / "trace.trc",
                                                         dir.path() / "link.trc", failed);
                       return failed ? std::string() : utf8Name(dir.path() / "link.trc");
                     }},
        SameFileCase{"ANonAsciiHardLink",
                     [](const TempDir& dir) {
                       const std::filesystem::path link = dir.path() / u8"\u00fcber.trc";
                       std::error_code failed;
                       std::filesystem::create_hard_link(dir.path() / "trace.trc", link, failed);
                       return failed ? std::string() : utf8Name(link);
                     }}),
    [](const ::testing::TestParamInfo<SameFileCase>& param) { return param.param.label; });

}  // namespace
}  // namespace ovantrex::test
