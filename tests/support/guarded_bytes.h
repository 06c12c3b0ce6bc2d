// A copy of a test case's bytes that stands inside a larger buffer, between
// runs of guard bytes that are not zero. A decoder handed view() that reads
// one byte before or after it meets a guard, and its output changes, so an
// over-read fails the plain test run and not only a sanitizer build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace ovantrex::test {

class GuardedBytes {
 public:
  // Guard bytes on each side of the copy.
  static constexpr std::size_t kGuardBytes = 32;
  // 0xa5: odd, not 0xff, not a tag or marker of the firmware report.
  static constexpr std::uint8_t kGuard = 0xa5;

  explicit GuardedBytes(std::span<const std::uint8_t> bytes)
      : buffer_(kGuardBytes + bytes.size() + kGuardBytes, kGuard), size_(bytes.size()) {
    for (std::size_t i = 0; i < bytes.size(); ++i) buffer_[kGuardBytes + i] = bytes[i];
  }
  // A case's bytes written out: GuardedBytes{0x0E, 0x00, 0x02}.
  GuardedBytes(std::initializer_list<std::uint8_t> bytes)
      : GuardedBytes(std::span<const std::uint8_t>(bytes.begin(), bytes.size())) {}
  // The bytes of a text.
  explicit GuardedBytes(std::string_view text)
      : GuardedBytes(std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) {}

  // Exactly the bytes handed in.
  std::span<const std::uint8_t> view() const {
    return std::span<const std::uint8_t>(buffer_).subspan(kGuardBytes, size_);
  }

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t size_;
};

}  // namespace ovantrex::test
