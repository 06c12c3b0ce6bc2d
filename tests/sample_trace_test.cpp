// The bundled sample trace is made from its readable description by
// make_trace; it must stay exactly what make_trace makes of it, so that a
// change to the description (or to make_trace) comes with the rebuilt trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "trace_builder.h"

namespace ovantrex {
namespace {

TEST(SampleTrace, IsWhatMakeTraceMakesOfItsDescription) {
  const std::string source = OVANTREX_SOURCE_DIR;
  test::TempDir dir;
  const std::string made = dir.file("sample.trc");
  const std::string command = std::string("'") + OVANTREX_MAKE_TRACE + "' '" + source +
                              "/examples/sample.txt' '" + made + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const std::string bundled = test::readFile(source + "/examples/sample.trc");
  const std::string rebuilt = test::readFile(made);
  std::size_t same = 0;
  while (same < bundled.size() && same < rebuilt.size() && bundled[same] == rebuilt[same]) ++same;
  EXPECT_TRUE(bundled == rebuilt)
      << "examples/sample.trc (" << bundled.size() << " bytes) is not what make_trace makes of "
      << "examples/sample.txt (" << rebuilt.size() << " bytes); they differ from byte " << same
      << " on. Rebuild it: cmake --build build/release --target sample-trace";
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
