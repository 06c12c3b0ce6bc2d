// Room for the items of many lists that are filled one after another (the
// lists of each flash update, of each error reply, ...), taken whole when it
// is made: adding an item never allocates, so that once a run has begun no
// record can fail for want of memory, and a list that input can grow costs
// at most the room. Each list is a span of the room; the room never moves,
// so the spans stay valid as later lists are added.
//
// A share of the room is kept back for every list that may still come: a
// list late in a trace keeps its first items even when the early lists
// were long.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ovantrex {

template <typename T>
class SharedRoom {
 public:
  // No room at all.
  SharedRoom() = default;
  // Room for capacity items; share: the items kept back for each list to come.
  SharedRoom(std::size_t capacity, std::size_t share) : capacity_(capacity), share_(share) {
    items_.reserve(capacity);
  }

  // How many more items fit while a share stays free for each of toCome
  // later lists.
  std::size_t available(std::size_t toCome) const {
    const std::size_t left = capacity_ - items_.size();
    const std::size_t keptBack = share_ * toCome;
    return keptBack <= left ? left - keptBack : 0;
  }
  bool fits(std::size_t count, std::size_t toCome) const { return count <= available(toCome); }

  // An empty list at the end of the room, to be grown with append().
  std::span<const T> startList() const { return {items_.data() + items_.size(), 0}; }
  // Appends item to list, the last list of the room (it must fit); returns
  // the longer list.
  std::span<const T> append(std::span<const T> list, const T& item) {
    if (items_.size() == capacity_) return list;  // never grown, so that no span moves
    items_.push_back(item);
    return {items_.data() + (items_.size() - 1 - list.size()), list.size() + 1};
  }
  // Removes the items of list, the last list of the room, for which
  // drop(item) holds; returns what is left of it, in order.
  template <typename Drop>
  std::span<const T> removeIf(std::span<const T> list, Drop drop) {
    const std::size_t start = items_.size() - list.size();
    const auto first = items_.begin() + static_cast<std::ptrdiff_t>(start);
    items_.erase(std::remove_if(first, items_.end(), drop), items_.end());
    return {items_.data() + start, items_.size() - start};
  }

  // Room of characters: copies text (it must fit) and returns the copy.
  std::string_view copy(std::string_view text) requires std::is_same_v<T, char> {
    const std::size_t first = items_.size();
    if (capacity_ - first < text.size()) return {};  // never grown, so that no span moves
    items_.insert(items_.end(), text.begin(), text.end());
    return {items_.data() + first, text.size()};
  }

  // Every item of every list, in the order added.
  std::span<const T> items() const { return items_; }
  // Forgets every list, keeping the room (the next trace's lists take it).
  void clear() { items_.clear(); }
  // Gives the room back (nothing may be added after).
  void release() {
    std::vector<T>().swap(items_);
    capacity_ = 0;
  }

 private:
  std::vector<T> items_;
  std::size_t capacity_ = 0;
  std::size_t share_ = 0;
};

}  // namespace ovantrex
