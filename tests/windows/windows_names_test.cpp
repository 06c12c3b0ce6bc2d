// Names on Windows: a name whose absolute form is long is given to the
// system with the "\\?\" prefix, however short the name itself; an argument
// that is not valid UTF-16 opens no file.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/platform.h"
#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"
#include "windows_child.h"

namespace ovantrex::test {
namespace {

// The system keeps a current folder shorter than 260 characters: in one of
// 240 the absolute form of a short name is past the 248 of the limit.
TEST(WindowsNamesLongAbsolute, AShortNameInADeepFolderIsGivenWithThePrefix) {
  TempDir dir;
  std::wstring deep = std::filesystem::absolute(dir.path()).wstring();
  while (deep.size() + 1 < 240)
    deep += L"\\" + std::wstring(std::min<std::size_t>(60, 240 - deep.size() - 1), L'd');
  std::filesystem::create_directories(deep);
  std::wstring before(MAX_PATH, L'\0');
  before.resize(GetCurrentDirectoryW(MAX_PATH, before.data()));
  ASSERT_NE(SetCurrentDirectoryW(deep.c_str()), 0);

  const std::string tail(250, 'x');
  const std::wstring wideTail(250, L'x');
  const struct {
    const char* name;
    std::optional<std::wstring> expected;
  } cases[] = {
      {"trace.trc", LR"(\\?\)" + deep + L"\\trace.trc"},
      {"sub/../trace.trc", LR"(\\?\)" + deep + L"\\trace.trc"},
      {"C:\\t.trc", L"C:\\t.trc"},
      {"\\\\?\\C:\\t.trc", LR"(\\?\C:\t.trc)"},
      {"t\xed\xa0\x80.trc", std::nullopt},  // a lone surrogate, as the command line gives it
  };
  for (const auto& c : cases) EXPECT_EQ(platform::systemName(c.name), c.expected) << c.name;
  EXPECT_EQ(platform::systemName("\\\\host\\share\\" + tail), LR"(\\?\UNC\host\share\)" + wideTail);
  EXPECT_EQ(platform::systemName("\\\\.\\pipe\\" + tail), LR"(\\.\pipe\)" + wideTail);

  // And they open, as trace and as output.
  TraceBuilder t;
  t.text(1500.0, "hi\n");
  t.writeTo(deep + L"\\trace.trc");
  const RunResult r = run({"-f", "trace.trc", "-w", "listing.txt"});
  SetCurrentDirectoryW(before.c_str());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readTextOutput(deep + L"\\listing.txt"), textEntry("1.500", "hi"));
}

// A lone surrogate in an argument: the name that the system would make of
// it (U+FFFD in its place) is another file, which must not be opened. The
// message is text, with CR LF.
struct LoneSurrogateCase {
  const char* label;
  const wchar_t* arguments;
  int status;
  const char* err;
};

class WindowsNamesLoneSurrogate : public ::testing::TestWithParam<LoneSurrogateCase> {};

TEST_P(WindowsNamesLoneSurrogate, IsRefusedAndOpensNoOtherFile) {
  TempDir dir;
  TraceBuilder t;
  t.text(1500.0, "hi\n");
  // The trace, and the files that a conversion of the names would open.
  for (const wchar_t* name : {L"trace.trc", L"t\ufffd.trc", L"out\ufffd.txt"})
    t.writeTo(dir.path() / name);

  const WindowsChild child(dir, GetParam().arguments);
  EXPECT_EQ(child.end(), GetParam().status);
  EXPECT_EQ(child.out(), "");
  EXPECT_EQ(child.err(), GetParam().err + std::string(": the name is not valid Unicode (a lone "
                                                      "UTF-16 surrogate)\r\n"));
  EXPECT_EQ(readFile(dir.path() / L"out\ufffd.txt"), t.str());
  const auto files = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  EXPECT_EQ(files, 5) << "the three, standard output and error";
}

INSTANTIATE_TEST_SUITE_P(
    Names, WindowsNamesLoneSurrogate,
    ::testing::Values(LoneSurrogateCase{"HighSurrogateInTheTrace", L"-f t\xd800.trc", 2,
                                        "Could not open 't\xed\xa0\x80.trc' for reading"},
                      LoneSurrogateCase{"LowSurrogateInTheOutput", L"-f trace.trc -w out\xdc00.txt",
                                        3, "Could not open 'out\xed\xb0\x80.txt' for writing"},
                      LoneSurrogateCase{"HighSurrogateEndingTheOutput",
                                        L"--summary -f trace.trc -w out\xd83d", 3,
                                        "Could not open 'out\xed\xa0\xbd' for writing"}),
    [](const ::testing::TestParamInfo<LoneSurrogateCase>& param) { return param.param.label; });

}  // namespace
}  // namespace ovantrex::test
