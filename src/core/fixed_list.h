// A list of at most N values held in place: decoded values that input can
// grow stay bounded and need no allocation.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

namespace ovantrex {

template <typename T, std::size_t N>
class FixedList {
 public:
  static constexpr std::size_t kCapacity = N;

  // Adds value; false (and nothing added) when the list is full.
  bool push(const T& value) {
    if (size_ == N) return false;
    items_[size_++] = value;
    return true;
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T& operator[](std::size_t i) const { return items_[i]; }
  T& operator[](std::size_t i) { return items_[i]; }
  const T* begin() const { return items_.data(); }
  const T* end() const { return items_.data() + size_; }
  T* begin() { return items_.data(); }
  T* end() { return items_.data() + size_; }

  friend bool operator==(const FixedList& a, const FixedList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  std::array<T, N> items_{};
  std::size_t size_ = 0;
};

}  // namespace ovantrex
