// The bundled sample trace (and the two example lanes) are made from their
// readable descriptions by make_trace; it must stay exactly what make_trace makes of it, so that a
// change to the description (or to make_trace) comes with the rebuilt trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

TEST(SampleTrace, IsWhatMakeTraceMakesOfItsDescription) {
  const std::string source = OVANTREX_SOURCE_DIR;
  test::TempDir dir;
  // The sample, and the two lanes that the README compares.
  for (const std::string name : {"sample", "lane-good", "lane-failed"}) {
    SCOPED_TRACE(name);
    const std::string made = dir.file(name + ".trc");
    const std::string command = std::string("'") + OVANTREX_MAKE_TRACE + "' '" + source +
                                "/examples/" + name + ".txt' '" + made + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::string bundled = test::readFile(source + "/examples/" + name + ".trc");
    const std::string rebuilt = test::readFile(made);
    std::size_t same = 0;
    while (same < bundled.size() && same < rebuilt.size() && bundled[same] == rebuilt[same]) ++same;
    EXPECT_TRUE(bundled == rebuilt)
        << "examples/" << name << ".trc (" << bundled.size()
        << " bytes) is not what make_trace makes of examples/" << name << ".txt (" << rebuilt.size()
        << " bytes); they differ from byte " << same
        << " on. Rebuild it: cmake --build build/release --target sample-trace";
  }
}

// An escape that make_trace does not know ("\x1b", as C writes ESC) is
// refused with its line, and no trace is written; the known escapes and
// the bytes around them are kept.
TEST(SampleTraceMakeTrace, RefusesAnUnknownEscapeWithItsLineAndKeepsTheKnownOnes) {
  test::TempDir dir;
  const std::string description = dir.file("description.txt");
  const std::string made = dir.file("made.trc");
  const auto makeTrace = [&](const std::string& lines) {
    std::ofstream(description, std::ios::binary) << lines;
    return test::runCommand(std::string("'") + OVANTREX_MAKE_TRACE + "' '" + description + "' '" +
                            made + "' 2>&1");
  };

  test::CommandResult r = makeTrace("# a comment\ntext +0 \"ok\"\ntext +5 \"\\x1b[2J\"\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "make_trace: " + description +
                       ": line 3: unknown escape \"\\x\" in text (known: \\n \\r \\t \\0 "
                       "\\\\ \\\")\n");
  EXPECT_FALSE(std::filesystem::exists(made));

  r = makeTrace("text +0 \"a\\tb\\\\c\\\"d\\0\\r\\n\"\n");
  ASSERT_EQ(r.status, 0) << r.out;
  test::TraceBuilder expected;
  expected.record(42, 0.0, test::Payload(std::string("a\tb\\c\"d") + '\0' + "\r\n"),
                  test::ExtHeader{});
  EXPECT_TRUE(test::readFile(made) == expected.str());
}

// The sample's update: the device refused one flash write (a malformed
// command), which the utility sent again with the same bytes and the device
// took; the checksum was written and the device reset. A serial number it
// already has and a rejected invalid command fail nothing.
TEST(SampleTrace, TheVerdictIsThatTheUpdateCompletedAfterARetry) {
  const test::RunResult result =
      test::run({"--summary", "-f", std::string(OVANTREX_SOURCE_DIR) + "/examples/sample.trc"});
  ASSERT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with(
      "update 1 completed: checksum written and device reset; 1 refused flash write retried; 2 "
      "other error replies\n"))
      << result.out.substr(0, result.out.find('\n'));
}

}  // namespace
}  // namespace ovantrex
