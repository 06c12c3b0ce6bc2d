// The values that the decoders make of a record's bytes. Each case hands the
// decoder a view of its bytes cut out of a longer buffer whose next bytes
// are not zero, so that a read past the view changes the value.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "decode/decoded_record.h"
#include "guarded_bytes.h"

namespace ovantrex {
namespace {

using test::GuardedBytes;

std::string text(const ByteView& view) { return std::string(view.bytes.begin(), view.bytes.end()); }

TEST(DecodedValuesCommand, FlashWritesAndChecksums) {
  // Length 14, class 2, sub-command 0, count 8, address 01 80 00, and the
  // eight data bytes.
  const GuardedBytes write{0x0E, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
  const FirmwareCommand flash = decodeFirmwareCommand(write.view());
  EXPECT_EQ(flash.kind, CommandKind::FlashWrite);
  EXPECT_EQ(flash.dataCount, 8);
  EXPECT_EQ(flash.address, 0x018000u);
  EXPECT_EQ(flash.lengthField, 14);
  EXPECT_TRUE(flash.lengthAgrees());
  EXPECT_FALSE(flash.truncated);

  const GuardedBytes disagreeing{0x0F, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00};
  EXPECT_FALSE(decodeFirmwareCommand(disagreeing.view()).lengthAgrees());

  const GuardedBytes checksum{0x03, 0x00, 0x02, 0x00, 0x00, 0xAB, 0xCD, 0x00};
  const FirmwareCommand sum = decodeFirmwareCommand(checksum.view());
  EXPECT_EQ(sum.kind, CommandKind::ChecksumWrite);
  EXPECT_EQ(sum.checksum, 0xABCD);
  EXPECT_FALSE(sum.truncated);
}

TEST(DecodedValuesCommand, ACommandCutShortIsMarkedTruncatedAndReadsZerosNotTheGuard) {
  // The data ends after the first address byte.
  const GuardedBytes cut{0x0E, 0x00, 0x02, 0x00, 0x08, 0x01};
  const FirmwareCommand flash = decodeFirmwareCommand(cut.view());
  EXPECT_EQ(flash.kind, CommandKind::FlashWrite);
  EXPECT_EQ(flash.address, 0x010000u);
  EXPECT_TRUE(flash.truncated);

  // Sub-command 0x00 whose count byte is missing: not a device-information
  // request.
  const GuardedBytes info{0x03, 0x00, 0x00, 0x00};
  const FirmwareCommand system = decodeFirmwareCommand(info.view());
  EXPECT_EQ(system.kind, CommandKind::System);
  EXPECT_FALSE(system.deviceInformation);
  EXPECT_TRUE(system.truncated);
  EXPECT_EQ(systemCommandName(system), "Invalid system command");

  // A whole command is not truncated.
  const GuardedBytes reset{0x02, 0x00, 0x00, 0x40};
  const FirmwareCommand whole = decodeFirmwareCommand(reset.view());
  EXPECT_EQ(systemCommandName(whole), "Reset USB device and reenumerate");
  EXPECT_FALSE(whole.truncated);
}

TEST(DecodedValuesCommand, SerialNumbersRecordReadsAndRequests) {
  const GuardedBytes serial{0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 0x00, 'B', 0x00, 'C', 0x00};
  const FirmwareCommand number = decodeFirmwareCommand(serial.view());
  EXPECT_EQ(number.kind, CommandKind::SerialNumber);
  ASSERT_EQ(number.serialLength, 3u);
  EXPECT_EQ(number.serialText().view(), "ABC");
  EXPECT_FALSE(number.truncated);
  // Three characters counted, two held: the last one's byte is missing.
  const GuardedBytes cutSerial{0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 0x00, 'B'};
  const FirmwareCommand cutNumber = decodeFirmwareCommand(cutSerial.view());
  EXPECT_EQ(cutNumber.serialLength, 2u);
  EXPECT_TRUE(cutNumber.truncated);

  const GuardedBytes read{0x06, 0x00, 0x20, 0x00, 0x40, 0xF3, 0x00, 0x01};
  const FirmwareCommand one = decodeFirmwareCommand(read.view());
  EXPECT_EQ(one.kind, CommandKind::ReadOneRecord);
  EXPECT_EQ(one.dataCount, 64);
  EXPECT_EQ(one.address, 0xF30001u);
  EXPECT_EQ(one.recordId, (RecordId{0xF3, 0x00, 0x01}));

  const GuardedBytes request{0x0A, 0x00, 0x40, 0, 0, 0, 0, 0, 0x41, 0x04, 0x60, 0x10, 0x61, 0x40};
  const FirmwareCommand sm = decodeFirmwareCommand(request.view());
  EXPECT_EQ(sm.kind, CommandKind::SmRequest);
  ASSERT_EQ(sm.request.count(), 2u);
  EXPECT_EQ(sm.request.entry(0), (SmRequestEntry{0x60, 0x10}));
  EXPECT_EQ(sm.request.entry(1), (SmRequestEntry{0x61, 0x40}));
  EXPECT_FALSE(sm.truncated);
  // Five entry bytes count three entries; only one is whole.
  const GuardedBytes cutRequest{0x0A, 0x00, 0x40, 0, 0, 0, 0, 0, 0x41, 0x05, 0x60, 0x10, 0x61};
  const FirmwareCommand cutSm = decodeFirmwareCommand(cutRequest.view());
  EXPECT_EQ(cutSm.request.count(), 1u);
  EXPECT_TRUE(cutSm.truncated);

  EXPECT_EQ(decodeFirmwareCommand(GuardedBytes{0x02, 0x00, 0x03}.view()).kind,
            CommandKind::Invalid);
  EXPECT_EQ(kCommandClassTable.words(0x03), "invalid");
  EXPECT_EQ(coded(CommandKind::ChecksumWrite).words, "checksum write");
}

TEST(DecodedValuesStatusReply, BitsLevelsAndFlashReads) {
  const StatusReply ec = decodeStatusReply(GuardedBytes{0x05, 0x01, 0x02, 0x03, 0x04, 0x00}.view());
  EXPECT_TRUE(ec.has(StatusBit::Complete));
  EXPECT_TRUE(ec.has(StatusBit::EcInformation));
  EXPECT_EQ(ec.ecCurrent, (std::array<std::uint8_t, 2>{0x01, 0x02}));
  EXPECT_EQ(ec.ecPrevious, (std::array<std::uint8_t, 2>{0x03, 0x04}));
  EXPECT_FALSE(ec.flashRead);

  const GuardedBytes read(
      std::string("\x00\x00\x10\x00\x20\x00"
                  "0123456789abcdef"
                  "tail",
                  26));
  const StatusReply flash = decodeStatusReply(read.view());
  EXPECT_TRUE(flash.flashRead);
  EXPECT_EQ(flash.flashLength, 16);
  EXPECT_EQ(flash.flashAddressValue(), 0x002000u);
  // Every byte after the fields is content, whatever the length says.
  EXPECT_EQ(text(flash.contents), "0123456789abcdeftail");
  EXPECT_FALSE(flash.truncated);

  // One byte, followed in the buffer by bytes that would make a flash read.
  const StatusReply oneByte = decodeStatusReply(GuardedBytes{0x01}.view());
  EXPECT_EQ(oneByte.status, 0x01);
  EXPECT_FALSE(oneByte.flashRead);
  EXPECT_TRUE(oneByte.truncated);
}

TEST(DecodedValuesComponentReport, VersionListRowsAndTheirCut) {
  // Status 01, marker ff, N = 10, RecordID ff 00 02 and two rows.
  const GuardedBytes list{0x01, 0xFF, 0x0A, 0xFF, 0x00, 0x02, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14};
  const ComponentReport report = decodeComponentReport(list.view());
  EXPECT_EQ(report.span.size(), 16u);
  const auto& versions = std::get<ExtendedVersionList>(report.body);
  EXPECT_TRUE(versions.listed);
  ASSERT_EQ(versions.rowCount(), 2u);
  EXPECT_EQ(versions.row(1), (std::array<std::uint8_t, 5>{10, 11, 12, 13, 14}));
  EXPECT_FALSE(versions.truncated);

  // The reply ends inside the second row.
  const GuardedBytes cut{0x01, 0xFF, 0x0A, 0xFF, 0x00, 0x02, 1, 2, 3, 4, 5, 10, 11};
  const ComponentReport cutReport = decodeComponentReport(cut.view());
  const auto& cutList = std::get<ExtendedVersionList>(cutReport.body);
  EXPECT_EQ(cutList.rowCount(), 1u);
  EXPECT_TRUE(cutList.truncated);

  // Another RecordID: no rows.
  const GuardedBytes other{0x01, 0xFF, 0x05, 0xFF, 0x00, 0x01, 1, 2, 3, 4, 5};
  const ComponentReport otherReport = decodeComponentReport(other.view());
  const auto& otherList = std::get<ExtendedVersionList>(otherReport.body);
  EXPECT_FALSE(otherList.listed);
  EXPECT_EQ(otherList.rowCount(), 0u);
}

TEST(DecodedValuesComponentReport, SystemsManagementItemsAndCountersWithTheirClasses) {
  const GuardedBytes bytes{0x60, 0x07, 0x40, 0x01, 0x10, 0x83, 0x02, 0x12, 0x05, 0x61, 0x0C, 0x40,
                           0x01, 0x10, 0x80, 0x04, 0x00, 0x00, 0x01, 0x00, 0x40, 0x01, 0x00, 0x00};
  const ComponentReport report = decodeComponentReport(bytes.view());
  const auto& sm = std::get<SmReport>(report.body);
  EXPECT_TRUE(sm.hasInventory);
  EXPECT_TRUE(sm.hasUsage);
  ASSERT_EQ(sm.inventory.size(), 2u);
  EXPECT_EQ(sm.inventory[0], (InventoryItem{0x40, 0x10}));
  EXPECT_EQ(sm.inventory[1], (InventoryItem{0x83, 0x1205}));
  ASSERT_EQ(sm.counters.size(), 1u);
  EXPECT_EQ(sm.counters[0], (UsageCounter{0x10, 0x80, 0x100}));
  EXPECT_EQ(usageCounterName(0x10, 0x80), "KeyPressedCount");
  EXPECT_FALSE(sm.truncated);

  // A usage section that claims more bytes than the report holds.
  const GuardedBytes cut{0x61, 0x06, 0x42, 0x04, 0x01, 0x02};
  const ComponentReport cutReport = decodeComponentReport(cut.view());
  const auto& cutSm = std::get<SmReport>(cutReport.body);
  ASSERT_EQ(cutSm.counters.size(), 1u);
  EXPECT_EQ(cutSm.counters[0].value, 0x01020000u);
  EXPECT_TRUE(cutSm.truncated);
}

// A record of the given minor code and payload, in the given format version.
Record recordOf(MinorCode minor, Bytes payload, int version = 1, std::uint8_t component = 0) {
  Record record;
  record.formatVersion = version;
  record.header.minorCode = minor;
  record.header.length = static_cast<std::int32_t>(payload.size());
  record.ext.component = component;
  record.payload = payload;
  return record;
}

TEST(DecodedValuesRecord, TypesFailuresAndTheComponentTest) {
  const GuardedBytes text(std::string("line one\n\n"));
  const DecodedRecord line = decodeRecord(recordOf(42, text.view()));
  EXPECT_EQ(line.type, RecordType::Text);
  EXPECT_EQ(coded(line.type).words, "Text");
  EXPECT_EQ(std::string(line.text.bytes.begin(), line.text.bytes.end()), "line one");

  const GuardedBytes shortHeader{0x00, 0x00, 0xA0, 0x00, 0x00};
  EXPECT_EQ(decodeRecord(recordOf(406, shortHeader.view())).failure,
            DecodeFailure::ShortTransferHeader);
  // A component report that ends before its count byte.
  const GuardedBytes shortReport{0x00, 0x00, 0xA0, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF};
  EXPECT_EQ(decodeRecord(recordOf(407, shortReport.view())).failure,
            DecodeFailure::ShortComponentReport);

  const GuardedBytes status{0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0, 0, 0, 0, 0};
  const DecodedRecord reply = decodeRecord(recordOf(406, status.view()));
  EXPECT_TRUE(reply.firmware);
  EXPECT_EQ(reply.transfer.reportId(), 0xA0);
  ASSERT_TRUE(std::holds_alternative<StatusReply>(reply.body));
  EXPECT_TRUE(std::get<StatusReply>(reply.body).has(StatusBit::Error));
  // A feature write of the firmware report is not decoded.
  const DecodedRecord setFeature = decodeRecord(recordOf(408, status.view()));
  EXPECT_FALSE(setFeature.firmware);
  EXPECT_TRUE(std::holds_alternative<NoBody>(setFeature.body));

  EXPECT_EQ(decodeRecord(recordOf(300, text.view())).type, RecordType::Unknown);
  // Only format version 3 hides components other than 0 and "e".
  EXPECT_TRUE(decodeRecord(recordOf(42, text.view(), 3, 1)).hidden);
  EXPECT_FALSE(decodeRecord(recordOf(42, text.view(), 3, 0x65)).hidden);
  EXPECT_FALSE(decodeRecord(recordOf(42, text.view(), 2, 1)).hidden);
}

// A record decoded to DecodeDepth::Replies lacks only a firmware command's
// values, and decodeTheRest() makes it the whole record.
TEST(DecodedValuesRecord, RepliesDepthLeavesOnlyCommandsValuesForTheRest) {
  const GuardedBytes command{0x00, 0x00, 0xA0, 0x00, 0,    0,    0,    0,   0x07,
                             0x00, 0x02, 0x00, 0x01, 0x01, 0x80, 0x00, 0x5a};
  const GuardedBytes reply{0x00, 0x00, 0xA0, 0x00, 0, 0, 0, 0, 0x44, 0x01, 0x02, 0x03, 0x04, 0};
  const GuardedBytes text(std::string("text\n"));
  const GuardedBytes shortHeader{0x00, 0x00, 0xA0};
  struct Case {
    MinorCode minor;
    const GuardedBytes& bytes;
    bool commandValues;  // what the depth leaves out
  };
  for (const Case& c :
       {Case{405, command, true}, Case{406, command, false}, Case{406, reply, false},
        Case{407, reply, false}, Case{42, text, false}, Case{405, shortHeader, false}}) {
    const Record record = recordOf(c.minor, c.bytes.view());
    const DecodedRecord whole = decodeRecord(record);
    DecodedRecord part = decodeRecord(record, DecodeDepth::Replies);
    EXPECT_EQ(part == whole, !c.commandValues) << c.minor;
    decodeTheRest(part);
    EXPECT_EQ(part, whole) << c.minor;
  }
}

}  // namespace
}  // namespace ovantrex
