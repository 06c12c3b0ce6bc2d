// Systems-management request bodies (marker, entry-byte count, entries) and
// the notes expected behind a note indent of 3 blanks.

#include "decode/sm_request.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "guarded_bytes.h"
#include "output/common/notes.h"

namespace ovantrex {
namespace {

// The notes of one request body. The decoder sees a view of exactly the
// body inside a larger buffer whose next bytes are not zero.
std::string listed(const std::vector<std::uint8_t>& body) {
  const test::GuardedBytes buffer(body);
  Writer w;
  IndentedNotes notes(w, 3);
  writeSmRequestEntryNotes(notes, decodeSmRequest(buffer.view()));
  return w.text();
}

struct RequestCase {
  const char* what;
  std::vector<std::uint8_t> body;
  std::string expected;
};

void expectAll(const std::vector<RequestCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(listed(c.body), c.expected);
  }
}

TEST(SmRequest, EntryCounts) {
  expectAll({
      {"two entries",
       {0x41, 0x04, 0x60, 0x10, 0x61, 0x40},
       "\n       Inventory Report for Keyboard\n       Usage Report for MSR"},
      {"count 2 of 4 entry bytes",
       {0x41, 0x02, 0x60, 0x11, 0x61, 0x12},
       "\n       Inventory Report for Keylock"},
      {"odd count takes the byte after the list",
       {0x41, 0x01, 0x60, 0x12},
       "\n       Inventory Report for Tone"},
      {"odd count 3",
       {0x41, 0x03, 0x61, 0x00, 0x60, 0x01},
       "\n       Usage Report for Physical Device\n       Inventory Report for All Devices"},
      {"zero count", {0x41, 0x00, 0x60, 0x10}, ""},
      {"other marker", {0x42, 0x04, 0x60, 0x10, 0x61, 0x40}, ""},
  });
}

TEST(SmRequest, Names) {
  expectAll({
      {"every device class and unknown codes",
       {0x41, 0x12, 0x60, 0x00, 0x61, 0x01, 0x60, 0x10, 0x61, 0x11,
        0x60, 0x12, 0x61, 0x20, 0x60, 0x40, 0x61, 0x02, 0x62, 0x13},
       "\n       Inventory Report for Physical Device"
       "\n       Usage Report for All Devices"
       "\n       Inventory Report for Keyboard"
       "\n       Usage Report for Keylock"
       "\n       Inventory Report for Tone"
       "\n       Usage Report for Character Display"
       "\n       Inventory Report for MSR"
       "\n       Usage Report for "
       "\n        for "},
  });
}

TEST(SmRequest, TruncatedBodies) {
  expectAll({
      {"empty", {}, ""},
      {"marker only", {0x41}, ""},
      {"count without entries", {0x41, 0x04}, ""},
      {"entry without its device class", {0x41, 0x02, 0x60}, ""},
      {"second entry cut",
       {0x41, 0x04, 0x60, 0x20, 0x61},
       "\n       Inventory Report for Character Display"},
      {"odd count without the byte after the list",
       {0x41, 0x03, 0x60, 0x10, 0x61},
       "\n       Inventory Report for Keyboard"},
  });
}

TEST(SmRequest, LargestCountGivesAtMost128Entries) {
  std::vector<std::uint8_t> body = {0x41, 0xFF};
  for (int i = 0; i < 140; ++i) {
    body.push_back(0x61);
    body.push_back(0x40);
  }
  std::string expected;
  for (int i = 0; i < 128; ++i) expected += "\n       Usage Report for MSR";
  EXPECT_EQ(listed(body), expected);
}

}  // namespace
}  // namespace ovantrex
