// Notes of the systems-management report: manufacture dates, logical device
// lists and usage counters by device class.

#include "decode/sm_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "decoder_indents.h"
#include "guarded_bytes.h"
#include "output/text/firmware_text.h"

namespace ovantrex {
namespace {

using test::kDecoderIndents;

using Data = std::vector<std::uint8_t>;

// A report built from its sections: each is a tag, a length byte and the
// content. section() computes the length byte from the content.
Data section(std::uint8_t tag, std::initializer_list<std::uint8_t> content) {
  Data bytes{tag, static_cast<std::uint8_t>(content.size())};
  bytes.insert(bytes.end(), content);
  return bytes;
}
Data report(std::initializer_list<Data> sections) {
  Data bytes;
  for (const Data& s : sections) bytes.insert(bytes.end(), s.begin(), s.end());
  return bytes;
}

// The notes of one report. The decoder sees a view of exactly the transfer
// data inside a larger buffer whose next bytes are not zero.
std::string decode(const Data& data, std::size_t walkBound) {
  const test::GuardedBytes buffer(data);
  Writer w;
  writeSmReportText(EntryOut{w, kDecoderIndents}, decodeSmReport(buffer.view(), walkBound));
  return w.text();
}

// The walk bound as the dispatcher hands it on: byte 2 + 6, cut at the end.
std::string decode(const Data& data) {
  const std::size_t bound = data.size() > 2 ? std::size_t{data[2]} + 6 : 6;
  return decode(data, std::min(bound, data.size()));
}

TEST(SmReport, InventoryAndUsageNotes) {
  const Data data{0x60, 0x07, 0x40, 0x01, 0x10, 0x83, 0x02, 0x12, 0x05, 0x61, 0x0c, 0x40,
                  0x01, 0x10, 0x80, 0x04, 0x00, 0x00, 0x01, 0x00, 0x40, 0x01, 0x00, 0x00};
  EXPECT_EQ(decode(data), "\n   ManufactureDate: 1205\n   KeyPressedCount: 0x100(256)");

  // Dates are padded to four digits and not cut; the logical device list is
  // only named.
  EXPECT_EQ(decode(report({section(
                0x60, {0x83, 0x01, 0x07, 0x84, 0x02, 0xAA, 0xBB, 0x83, 0x03, 0x01, 0x23, 0x45})})),
            "\n   ManufactureDate: 0007"
            "\n   Logical device list skipped"
            "\n   ManufactureDate: 12345");
}

TEST(SmReport, InventoryNotesComeFirstWhateverTheSectionOrder) {
  EXPECT_EQ(
      decode(report({section(0x61, {0x42, 0x01, 0x05}), section(0x60, {0x83, 0x02, 0x20, 0x24})})),
      "\n   ManufactureDate: 2024\n   PowerOnHours: 0x5(5)");
}

TEST(SmReport, UnknownInventoryTagEndsTheInventoryNotesOnly) {
  EXPECT_EQ(decode(report({section(0x60, {0x83, 0x01, 0x07, 0x50, 0x01, 0x00, 0x83, 0x01, 0x08}),
                           section(0x61, {0x40, 0x01, 0x12, 0x80, 0x01, 0x03})})),
            "\n   ManufactureDate: 0007\n   ToneCount: 0x3(3)");
}

TEST(SmReport, CountersByDeviceClass) {
  // Counters before any device class item count under Physical Device.
  EXPECT_EQ(decode(report({section(
                0x61, {0x42, 0x01, 0x05, 0x43, 0x01, 0x06, 0x44, 0x01, 0x07, 0x80, 0x01, 0x09})})),
            "\n   PowerOnHours: 0x5(5)"
            "\n   PowerCycles: 0x6(6)"
            "\n   UnexpectedResets: 0x7(7)");
  EXPECT_EQ(decode(report({section(0x61, {0x40, 0x01, 0x11, 0x80, 0x01, 0x01,  //
                                          0x40, 0x01, 0x40, 0x80, 0x01, 0x02,  //
                                          0x84, 0x01, 0x03, 0x8A, 0x01, 0x04,  //
                                          0x8B, 0x01, 0x05, 0x42, 0x01, 0x06})})),
            "\n   LockPositionChangeCounts: 0x1(1)"
            "\n   GoodReadCount: 0x2(2)"
            "\n   ParityLRCErrorTrack1Count: 0x3(3)"
            "\n   ParityLRCErrorTrack4Count: 0x4(4)");
  // Classes without counters: All Devices, Character Display.
  EXPECT_EQ(decode(report({section(0x61, {0x40, 0x01, 0x01, 0x80, 0x01, 0x01, 0x42, 0x00, 0x40,
                                          0x01, 0x20, 0x80, 0x01, 0x01, 0x81, 0x00})})),
            "");
}

// The usage counters as the protocol lists them: device class, item tag,
// name.
struct CounterName {
  std::uint8_t deviceClass;
  std::uint8_t tag;
  const char* name;
};
constexpr CounterName kProtocolCounters[] = {
    {0x00, 0x42, "PowerOnHours"},
    {0x00, 0x43, "PowerCycles"},
    {0x00, 0x44, "UnexpectedResets"},
    {0x10, 0x80, "KeyPressedCount"},
    {0x11, 0x80, "LockPositionChangeCounts"},
    {0x12, 0x80, "ToneCount"},
    {0x40, 0x80, "GoodReadCount"},
    {0x40, 0x81, "FailedReadCount"},
    {0x40, 0x82, "UnreadableCardCount"},
    {0x40, 0x83, "MissingStartSentinelTrack1Count"},
    {0x40, 0x84, "ParityLRCErrorTrack1Count"},
    {0x40, 0x85, "MissingStartSentinelTrack2Count"},
    {0x40, 0x86, "ParityLRCErrorTrack2Count"},
    {0x40, 0x87, "MissingStartSentinelTrack3Count"},
    {0x40, 0x88, "ParityLRCErrorTrack3Count"},
    {0x40, 0x89, "MissingStartSentinelTrack4Count"},
    {0x40, 0x8A, "ParityLRCErrorTrack4Count"},
};

TEST(SmReport, EveryCounterOfEveryDeviceClassHasItsProtocolName) {
  // Every device class code of the protocol and two it does not know, with
  // every counter tag and the tags next to them: a pair in the table gives
  // its name, any other pair no note.
  const std::uint8_t classes[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12, 0x13, 0x20, 0x40, 0x41};
  std::vector<std::uint8_t> tags = {0x41, 0x42, 0x43, 0x44, 0x45, 0x7F};
  for (std::uint8_t tag = 0x80; tag <= 0x8B; ++tag) tags.push_back(tag);
  std::size_t named = 0;
  for (const std::uint8_t deviceClass : classes) {
    for (const std::uint8_t tag : tags) {
      std::string expected;
      for (const CounterName& counter : kProtocolCounters) {
        if (counter.deviceClass == deviceClass && counter.tag == tag) {
          expected = std::string("\n   ") + counter.name + ": 0x7(7)";
          ++named;
        }
      }
      SCOPED_TRACE("device class " + std::to_string(deviceClass) + ", tag " + std::to_string(tag));
      EXPECT_EQ(decode(report({section(0x61, {0x40, 0x01, deviceClass, tag, 0x01, 0x07})})),
                expected);
    }
  }
  EXPECT_EQ(named, std::size(kProtocolCounters));
}

TEST(SmReport, CounterValues) {
  EXPECT_EQ(decode(report({section(0x61, {0x42, 0x00,                                //
                                          0x43, 0x04, 0x12, 0x34, 0x56, 0x78,        //
                                          0x44, 0x05, 0x01, 0x00, 0x00, 0x00, 0x02,  //
                                          0x42, 0x04, 0xFF, 0xFF, 0xFF, 0xFF,        //
                                          0x43, 0x04, 0x80, 0x00, 0x00, 0x00})})),
            "\n   PowerOnHours: 0x0(0)"
            "\n   PowerCycles: 0x12345678(305419896)"
            "\n   UnexpectedResets: 0x2(2)"
            "\n   PowerOnHours: 0xffffffff(-1)"
            "\n   PowerCycles: 0x80000000(-2147483648)");
}

TEST(SmReport, SectionsAtOrBeyondTheWalkBoundAreNotRead) {
  const Data data = report({section(0x61, {0x42, 0x01, 0x05}), section(0x61, {0x43, 0x01, 0x06})});
  EXPECT_EQ(decode(data, 5), "\n   PowerOnHours: 0x5(5)");
  EXPECT_EQ(decode(data, 6), "\n   PowerCycles: 0x6(6)");
  EXPECT_EQ(decode(data, 0), "");
  // Any other section tag ends the walk.
  EXPECT_EQ(decode(report({section(0x62, {}), section(0x61, {0x42, 0x01, 0x05})}), 7), "");
}

TEST(SmReport, SecondSectionWithTheSameTagKeepsTheFirstOnesTail) {
  // The second usage section is two bytes long; its item claims four content
  // bytes and reads 00 01 02 03 left by the first section.
  EXPECT_EQ(decode(report({section(0x61, {0x44, 0x00, 0x00, 0x01, 0x02, 0x03}),
                           section(0x61, {0x42, 0x04})})),
            "\n   PowerOnHours: 0x10203(66051)");
}

TEST(SmReport, SectionsCutByTheEndOfTheData) {
  // A length byte of 10 with three bytes present: the rest of the copy is
  // zero, and zero tags under Physical Device have no counter.
  EXPECT_EQ(decode({0x61, 0x0A, 0x42, 0x01, 0x05}, 5), "\n   PowerOnHours: 0x5(5)");
  // A cut section keeps its length byte: the walk goes on over what an
  // earlier section with the same tag left in the copy.
  EXPECT_EQ(decode({0x61, 0x05, 0x44, 0x00, 0x42, 0x01, 0x05, 0x61, 0x0A, 0x80, 0x00}, 11),
            "\n   PowerOnHours: 0x5(5)");
  // An item whose content is cut reads zeros for the missing bytes.
  EXPECT_EQ(decode({0x61, 0x06, 0x42, 0x04, 0x01, 0x02}, 6),
            "\n   PowerOnHours: 0x1020000(16908288)");
  // A section tag with no length byte: an empty section that replaces the
  // earlier one's length.
  EXPECT_EQ(decode({0x60, 0x03, 0x83, 0x01, 0x07, 0x60}, 6), "");
  EXPECT_EQ(decode({0x60, 0x03, 0x83, 0x01, 0x07}, 5), "\n   ManufactureDate: 0007");
  EXPECT_EQ(decode({0x61}, 1), "");
  EXPECT_EQ(decode({}, 0), "");
}

TEST(SmReport, NothingSurvivesFromOneReportToTheNext) {
  // Leaves the device class at Keyboard and 01 02 03 04 at bytes 5 to 8 of
  // the usage copy; no note (0x42 is no Keyboard counter).
  const Data first =
      report({section(0x61, {0x40, 0x01, 0x10, 0x42, 0x04, 0x01, 0x02, 0x03, 0x04})});
  EXPECT_EQ(decode(first, first.size()), "");
  // Counts under Physical Device again (0x80 is no counter there), and the
  // item that runs past its section reads zeros.
  const Data second = report({section(0x61, {0x80, 0x01, 0x07, 0x42, 0x04})});
  EXPECT_EQ(decode(second, second.size()), "\n   PowerOnHours: 0x0(0)");
}

}  // namespace
}  // namespace ovantrex
