// The flash map of an update: written ranges merged across words and pages
// of 4,096 addresses, rewritten bytes counted and placed, a page of an
// earlier update counting as empty, and writes at the top of the 24-bit
// space that reach past it.
#include "analysis/flash_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace ovantrex::test {
namespace {

// The runs of a map, "first-last" in hex, joined by blanks.
std::string rangesOf(FlashMap& map) {
  std::string text;
  map.forEachRange([&text](std::uint32_t first, std::uint32_t last) {
    char range[32];
    std::snprintf(range, sizeof range, "%s%x-%x", text.empty() ? "" : " ", first, last);
    text += range;
  });
  return text;
}

TEST(FlashMap, MergesRangesAcrossWordsAndPagesAndPlacesTheRewrittenBytes) {
  constexpr std::uint32_t kNextUpdate = 0;  // a count of 0: clear() both maps
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;  // address, count
    std::uint32_t rewritten;
    std::string ranges;
    std::string again;  // where the rewritten bytes lie
  } cases[] = {
      {"AcrossAPageBoundary", {{0xffa, 12}}, 0, "ffa-1005", ""},
      {"MeetingAtAPageBoundary", {{0xfc0, 64}, {0x1000, 64}}, 0, "fc0-103f", ""},
      {"LastByteOfAPageAndFirstOfTheNext", {{0x1fff, 1}, {0x2000, 1}}, 0, "1fff-2000", ""},
      {"AGapOfOneByteStays", {{10, 5}, {16, 5}}, 0, "a-e 10-14", ""},
      {"PagesWrittenOutOfOrder",
       {{0x5000, 4}, {0x1000, 4}, {0x4ffe, 2}},
       0,
       "1000-1003 4ffe-5003",
       ""},
      // 0xfa0-0x1067, then 0xffa-0x1005: its 12 bytes again, across the page.
      {"RewrittenAcrossAPage", {{0xfa0, 200}, {0xffa, 12}}, 12, "fa0-1067", "ffa-1005"},
      // A whole word again, and one byte on each side of it.
      {"RewrittenWholeWord", {{0x40, 64}, {0x3f, 66}}, 64, "3f-80", "40-7f"},
      {"RewrittenTwiceCountsTwice", {{0, 8}, {4, 8}, {0, 16}}, 4 + 12, "0-f", "0-b"},
      // 0xffffff and 254 more reach past 24 bits, onto the extra page.
      {"TopOfTheSpaceAndPastIt", {{0xffff00, 255}, {0xffffff, 255}}, 0, "ffff00-10000fd", ""},
      {"RewrittenPastTheTop",
       {{0xffffff, 255}, {0x1000000 - 2, 3}},
       2,
       "fffffe-10000fd",
       "ffffff-1000000"},
      // What the update before wrote on a page counts as not written.
      {"APageOfAnEarlierUpdateIsEmpty",
       {{0x1000, 16}, {0x2ff0, 32}, {0, kNextUpdate}, {0x1008, 16}, {0x1010, 4}},
       4,
       "1008-1017",
       "1010-1013"},
      {"NothingOfAnEarlierUpdateLeft",
       {{0x1000, 16}, {0, kNextUpdate}, {0x3000, 1}},
       0,
       "3000-3000",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FlashMap map;
    FlashMap again;
    std::uint32_t rewritten = 0;
    for (const auto& [address, count] : c.writes) {
      if (count == kNextUpdate) {
        map.clear();
        again.clear();
        rewritten = 0;
        continue;
      }
      rewritten += map.write(address, count, &again);
    }
    EXPECT_EQ(rewritten, c.rewritten);
    EXPECT_EQ(rangesOf(map), c.ranges);
    EXPECT_EQ(rangesOf(again), c.again);
  }
}

}  // namespace
}  // namespace ovantrex::test
