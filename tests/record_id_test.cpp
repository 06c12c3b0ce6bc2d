#include "decode/record_id.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "guarded_bytes.h"

namespace ovantrex {
namespace {

// The name of one RecordID, handed over as a view of exactly its three
// bytes inside a larger buffer whose next bytes are not zero.
std::string named(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  const std::array<std::uint8_t, 3> id = {b0, b1, b2};
  const test::GuardedBytes buffer(id);
  return std::string(nameRecordId(buffer.view().first<3>()).view());
}

TEST(RecordId, DeviceLevelLists) {
  EXPECT_EQ(named(0xFF, 0x00, 0x00), "ff.00.00 Information,Device ID List");
  EXPECT_EQ(named(0xFF, 0x00, 0x01), "ff.00.01 Information,Device Version List");
  EXPECT_EQ(named(0xFF, 0x00, 0x02), "ff.00.02 Information,Device Extended Version List");
  EXPECT_EQ(named(0xFF, 0x00, 0x03), "ff.00.03 Information,Device Unknown List");
  // Record kind 0x0100 is not kind 0 or 1.
  EXPECT_EQ(named(0xFF, 0x01, 0x00), "ff.01.00 Information,Device Unknown List");
}

TEST(RecordId, ComponentRecords) {
  EXPECT_EQ(named(0xF0, 0x00, 0x00), "f0.00.00 Information,Component=0 ID String");
  EXPECT_EQ(named(0xF3, 0x00, 0x01), "f3.00.01 Information,Component=3 Version");
  EXPECT_EQ(named(0xFE, 0x00, 0x02), "fe.00.02 Information,Component=14 Extended Version");
  EXPECT_EQ(named(0xFA, 0x00, 0x03), "fa.00.03 Information,Component=10 Unknown Record");
  EXPECT_EQ(named(0xF0, 0x01, 0x00), "f0.01.00 Information,Component=0 Unknown Record");
  EXPECT_EQ(named(0xF1, 0x01, 0x02), "f1.01.02 Information,Component=1 Unknown Record");
}

TEST(RecordId, UnknownRecords) {
  EXPECT_EQ(named(0x12, 0x34, 0x56), "12.34.56 Unknown Record");
  EXPECT_EQ(named(0xE5, 0x00, 0x00), "e5.00.00 Unknown Record");
  EXPECT_EQ(named(0x0F, 0x00, 0x01), "0f.00.01 Unknown Record");
}

}  // namespace
}  // namespace ovantrex
