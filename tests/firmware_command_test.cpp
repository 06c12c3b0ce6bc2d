// The command decoder's notes for firmware-report writes. Each case is the
// transfer data laid out as
//   length (lo, hi) | class | sub-command | data_count | address (3) | data...
// and the notes expected behind a note indent of 3 blanks.

#include "decode/firmware_command.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "guarded_bytes.h"
#include "output/text/firmware_text.h"

namespace ovantrex {
namespace {

constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

struct CommandCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  std::string expected;
  // Transfer data handed to the decoder: the first `size` bytes. The bytes
  // behind them must not influence the notes.
  std::size_t size = kWhole;
};

// The notes of one case. The decoder sees a view of exactly the case's
// transfer data inside a larger buffer: the rest of the case's bytes, then
// guard bytes, follow it.
std::string decode(const CommandCase& c) {
  const test::GuardedBytes buffer(c.bytes);
  Bytes data = buffer.view();
  if (c.size != kWhole) data = data.first(c.size);
  Writer w;
  const EntryOut entry{w, Indents{.note = 3}};
  writeCommandText(entry, decodeFirmwareCommand(data));
  return w.text();
}

void expectAll(const std::vector<CommandCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(decode(c), c.expected);
  }
}

TEST(FirmwareCommand, SystemCommands) {
  expectAll({
      {"device information at data length 5",
       {0x03, 0x00, 0x00, 0x00, 0x01},
       "\n   Request device information\n   Test command"},
      {"device information count beyond data length 4",
       {0x03, 0x00, 0x00, 0x00, 0x01},
       "\n   Invalid system command\n   Test command",
       4},
      {"device information with count 2",
       {0x03, 0x00, 0x00, 0x00, 0x02},
       "\n   Invalid system command\n   Test command"},
      {"test", {0x02, 0x00, 0x00, 0x10}, "\n   Test command"},
      {"status", {0x02, 0x00, 0x00, 0x20}, "\n   Status request"},
      {"reset", {0x02, 0x00, 0x00, 0x40}, "\n   Reset USB device and reenumerate"},
      {"EC levels", {0x02, 0x00, 0x00, 0x80}, "\n   Read EC levels"},
      {"sub-command 0x01", {0x02, 0x00, 0x00, 0x01}, "\n   Invalid system command"},
      {"sub-command 0x11", {0x02, 0x00, 0x00, 0x11}, "\n   Invalid system command"},
      {"sub-command 0xff", {0x02, 0x00, 0x00, 0xFF}, "\n   Invalid system command"},
  });
}

TEST(FirmwareCommand, FlashUpdate) {
  expectAll({
      {"start", {0x02, 0x00, 0x01, 0x00}, "\n   Start flash update"},
      {"consistent write, big-endian address",
       {0x0E, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 1, 2, 3, 4, 5, 6, 7, 8},
       "\n   Flash write 8 bytes to address=0x018000"},
      {"length one too large",
       {0x0F, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 1, 2, 3, 4, 5, 6, 7, 8},
       "\n   Flash write 8 bytes to address=0x018000"
       "\n   Invalid command, data_count=8 + 6 note equal to 15"},
      {"little-endian length 256 agrees with 250",
       {0x00, 0x01, 0x02, 0x00, 0xFA, 0x00, 0x00, 0x10},
       "\n   Flash write 250 bytes to address=0x000010"},
      {"high length byte counts",
       {0x0E, 0x01, 0x02, 0x00, 0x08, 0xFF, 0xFF, 0xFF},
       "\n   Flash write 8 bytes to address=0xffffff"
       "\n   Invalid command, data_count=8 + 6 note equal to 270"},
      {"checksum, length not checked",
       {0x55, 0x55, 0x02, 0x00, 0x00, 0xAB, 0xCD, 0x99},
       "\n   Write checksum 0xabcd to flash memory"},
      {"small checksum keeps four digits",
       {0x06, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0F, 0x00},
       "\n   Write checksum 0x000f to flash memory"},
  });
}

TEST(FirmwareCommand, SerialNumber) {
  expectAll({
      {"empty", {0x06, 0x00, 0x10, 0x00, 0x00, 0, 0, 0}, "\n   Write serial number (S/N: )"},
      {"second byte of each pair hidden",
       {0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 'x', 'B', 'y', 'C', 'z'},
       "\n   Write serial number (S/N: ABC)"},
      {"raw bytes",
       {0x0A, 0x00, 0x10, 0x00, 0x02, 0, 0, 0, 0x01, 'x', 0xE9, 'y'},
       "\n   Write serial number (S/N: \x01\xE9)"},
  });
}

TEST(FirmwareCommand, RecordReads) {
  expectAll({
      {"one record",
       {0x06, 0x00, 0x20, 0x00, 0x40, 0xF3, 0x00, 0x01},
       "\n   Read (One Record) 64 bytes from address 0xf30001"
       " (RecordID=f3.00.01 Information,Component=3 Version)"},
      {"all records",
       {0x06, 0x00, 0x21, 0x00, 0xFF, 0xFF, 0x00, 0x02},
       "\n   Read (All Records) 255 bytes from address 0xff0002"
       " (RecordID=ff.00.02 Information,Device Extended Version List)"},
      {"unknown record",
       {0x06, 0x00, 0x20, 0x00, 0x00, 0x12, 0x34, 0x56},
       "\n   Read (One Record) 0 bytes from address 0x123456 (RecordID=12.34.56 Unknown Record)"},
  });
}

TEST(FirmwareCommand, SystemsManagementRequest) {
  expectAll({
      {"two entries",
       {0x0C, 0x00, 0x40, 0x00, 0x00, 0, 0, 0, 0x41, 0x04, 0x60, 0x10, 0x61, 0x40},
       "\n   Systems Management Request:"
       "\n       Inventory Report for Keyboard"
       "\n       Usage Report for MSR"},
      {"no marker",
       {0x0C, 0x00, 0x40, 0x00, 0x00, 0, 0, 0, 0x42, 0x04, 0x60, 0x10, 0x61, 0x40},
       "\n   Systems Management Request:"},
  });
}

TEST(FirmwareCommand, InvalidClasses) {
  const std::initializer_list<std::uint8_t> kUnlisted = {0x03, 0x11, 0x22, 0x41, 0xFF};
  for (const std::uint8_t commandClass : kUnlisted) {
    SCOPED_TRACE(static_cast<int>(commandClass));
    EXPECT_EQ(decode({"", {0x06, 0x00, commandClass, 0x00, 0x01, 0, 0, 0}, ""}),
              "\n   Invalid flash command");
  }
}

// Short transfer data: fields beyond it read as 0, characters beyond it are
// left out, and the request body is what lies from offset 8 on.
TEST(FirmwareCommand, ShortTransferData) {
  expectAll({
      {"empty data is system sub-command 0", {}, "\n   Invalid system command\n   Test command"},
      {"flash write without count is the checksum form",
       {0x0E, 0x00, 0x02, 0x00, 0x08, 0xAB, 0xCD, 0x00},
       "\n   Write checksum 0x0000 to flash memory",
       4},
      {"flash write with the last address byte missing",
       {0x0E, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x77},
       "\n   Flash write 8 bytes to address=0x018000",
       7},
      {"one byte", {0x0E, 0x01}, "\n   Invalid system command\n   Test command", 1},
      {"serial number cut after a second byte",
       {0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 'x', 'B', 'y', 'C', 'z'},
       "\n   Write serial number (S/N: AB)",
       11},
      {"serial number cut after a first byte",
       {0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 'x', 'B', 'y', 'C', 'z'},
       "\n   Write serial number (S/N: AB)",
       12},
      {"serial number whose characters end the data",
       {0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 'x'},
       "\n   Write serial number (S/N: A)"},
      {"serial number without characters",
       {0x0C, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 'x'},
       "\n   Write serial number (S/N: )",
       8},
      {"record id cut after its first byte",
       {0x06, 0x00, 0x20, 0x00, 0x40, 0xF3, 0x00, 0x01},
       "\n   Read (One Record) 64 bytes from address 0xf30000"
       " (RecordID=f3.00.00 Information,Component=3 ID String)",
       6},
      {"request without body",
       {0x0C, 0x00, 0x40, 0x00, 0x00, 0, 0, 0, 0x41, 0x04, 0x60, 0x10},
       "\n   Systems Management Request:",
       8},
      {"request whose count runs past the data",
       {0x0C, 0x00, 0x40, 0x00, 0x00, 0, 0, 0, 0x41, 0x04, 0x60, 0x10},
       "\n   Systems Management Request:\n       Inventory Report for Keyboard"},
      {"request cut inside its second entry",
       {0x0C, 0x00, 0x40, 0x00, 0x00, 0, 0, 0, 0x41, 0x04, 0x60, 0x10, 0x61, 0x40},
       "\n   Systems Management Request:\n       Inventory Report for Keyboard",
       13},
  });
}

}  // namespace
}  // namespace ovantrex
