// Notes of the device status reply (an HIDRead of the firmware report).

#include "decode/status_reply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "decoder_indents.h"
#include "guarded_bytes.h"
#include "output/text/firmware_text.h"

namespace ovantrex {
namespace {

using test::kDecoderIndents;

// A read record's payload: the transfer header of report 0xA0, the given
// transfer data bytes and, after them, flash contents given as text.
std::vector<std::uint8_t> readPayload(std::initializer_list<std::uint8_t> transfer,
                                      std::string_view contents = {}) {
  std::vector<std::uint8_t> payload{0x00, 0x01, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00};
  payload.insert(payload.end(), transfer);
  for (char c : contents) payload.push_back(static_cast<std::uint8_t>(c));
  return payload;
}

// The notes of one reply. The decoder sees a view of exactly the payload
// inside a larger buffer whose next bytes are not zero.
std::string decode(const std::vector<std::uint8_t>& payload) {
  const test::GuardedBytes buffer(payload);
  Writer w;
  writeStatusReplyText(EntryOut{w, kDecoderIndents},
                       decodeStatusReply(bytesFrom(buffer.view(), 8)));
  return w.text();
}

TEST(StatusReply, StatusBitsEachWriteTheirNoteInBitOrder) {
  // Every bit set: six notes and no flash read, although byte 2 is not 0.
  EXPECT_EQ(decode(readPayload({0xFF, 0x01, 0x02, 0x03, 0x04, 0x05}, "flash")),
            "\n   Command complete"
            "\n   Flash load in progress"
            "\n   EC information available (current=01.02, previous=03.04)"
            "\n   Serial Number can only be written once for this device"
            "\n   Operation in Error"
            "\n   Command reject");
  EXPECT_EQ(decode(readPayload({0x81, 0x00, 0x00, 0x00, 0x00, 0x00})),
            "\n   Command complete\n   Command reject");
  EXPECT_EQ(decode(readPayload({0x42, 0x00, 0x00, 0x00, 0x00, 0x00})),
            "\n   Flash load in progress\n   Operation in Error");
  // Bits 3 and 4 have no note.
  EXPECT_EQ(decode(readPayload({0x18, 0x00, 0x00, 0x00, 0x00, 0x00})), "");
  EXPECT_EQ(decode(readPayload({0x00, 0x00, 0x00, 0x00, 0x00, 0x00})), "");
}

TEST(StatusReply, EcLevelsAreTwoHexPairsEach) {
  EXPECT_EQ(decode(readPayload({0x04, 0x01, 0x02, 0x03, 0x04, 0x00})),
            "\n   EC information available (current=01.02, previous=03.04)");
  // Lowercase digits; byte 5 and the bytes after it are not read.
  EXPECT_EQ(decode(readPayload({0x24, 0x0A, 0xBC, 0xD0, 0xFF, 0x33}, "zz")),
            "\n   EC information available (current=0a.bc, previous=d0.ff)"
            "\n   Serial Number can only be written once for this device");
}

TEST(StatusReply, FlashReadHeadingAndContents) {
  // The note indent before the heading, the dump indent before the characters.
  EXPECT_EQ(decode(readPayload({0x01, 0x00, 0x10, 0x00, 0x20, 0x00}, "0123456789abcdef")),
            "\n   Command complete"
            "\n   Flash Read (length=16, address=00.20.00)\n"
            "     0123456789abcdef");
  EXPECT_EQ(decode(readPayload({0x00, 0x99, 0x20, 0x01, 0xAB, 0x0F}, "A\x01 ~\x7f")),
            "\n   Flash Read (length=32, address=01.ab.0f)\n"
            "     A. ~.");
  // The length is shown in unsigned decimal.
  EXPECT_EQ(decode(readPayload({0x00, 0x00, 0xFF, 0x00, 0x00, 0x00}, "x")),
            "\n   Flash Read (length=255, address=00.00.00)\n"
            "     x");
}

TEST(StatusReply, FlashReadDumpsEveryRemainingByte) {
  // Payload ends at byte 14: heading and dump indent, no characters.
  EXPECT_EQ(decode(readPayload({0x01, 0x00, 0x04, 0x00, 0x20, 0x00})),
            "\n   Command complete"
            "\n   Flash Read (length=4, address=00.20.00)\n"
            "     ");
  // The length byte says 4, yet all 40 bytes after it are dumped.
  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
  ASSERT_EQ(forty.size(), 40u);
  EXPECT_EQ(decode(readPayload({0x00, 0x00, 0x04, 0x12, 0x34, 0x56}, forty)),
            "\n   Flash Read (length=4, address=12.34.56)\n"
            "     " +
                forty);
}

TEST(StatusReply, FlashReadOfEightyBytesOrMoreIsThePlainCharacterDump) {
  // A break after every 80th character, the last one included, with no
  // indent and no bar after it.
  const std::string eighty(80, 'e');
  EXPECT_EQ(decode(readPayload({0x00, 0x00, 0x50, 0x00, 0x00, 0x00}, eighty)),
            "\n   Flash Read (length=80, address=00.00.00)\n"
            "     " +
                eighty + "\n");
  EXPECT_EQ(decode(readPayload({0x00, 0x00, 0xA1, 0x00, 0x01, 0x00}, eighty + eighty + "z")),
            "\n   Flash Read (length=161, address=00.01.00)\n"
            "     " +
                eighty + "\n" + eighty + "\nz");
}

TEST(StatusReply, OneByteReplyReadsNothingPastItsView) {
  // The bytes after the view are not zero: read as the missing fields they
  // would add EC digits or a flash read.
  EXPECT_EQ(decode(readPayload({0x05})),
            "\n   Command complete"
            "\n   EC information available (current=00.00, previous=00.00)");
  EXPECT_EQ(decode(readPayload({0x80})), "\n   Command reject");
  EXPECT_EQ(decode(readPayload({0x00})), "");
}

TEST(StatusReply, MissingTransferBytesReadAsZero) {
  // No transfer data at all, or a payload shorter than its header.
  EXPECT_EQ(decode(readPayload({})), "");
  EXPECT_EQ(decode({0xFF, 0xFF, 0xFF}), "");
  EXPECT_EQ(decode(readPayload({0x04, 0x01, 0x02})),
            "\n   EC information available (current=01.02, previous=00.00)");
  // Byte 2 missing: no flash read.
  EXPECT_EQ(decode(readPayload({0x80, 0x00})), "\n   Command reject");
  // A flash read cut inside the address: the missing address bytes are 0
  // and there is nothing to dump.
  EXPECT_EQ(decode(readPayload({0x00, 0x00, 0x07, 0xAB})),
            "\n   Flash Read (length=7, address=ab.00.00)\n"
            "     ");
}

}  // namespace
}  // namespace ovantrex
