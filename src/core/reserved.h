// Memory taken ahead, with malloc and without exceptions, for an object
// that is made in it later. When memory is short even a thrown
// std::bad_alloc may need memory that is not there; what the program needs
// before its first record is therefore taken this way, and want of it is
// reported through return values.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

namespace ovantrex {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

template <class T>
class Reserved {
 public:
  // Room for a T, or none (false) when the memory cannot be had.
  static Reserved take() noexcept {
    Reserved reserved;
    reserved.storage_.reset(std::malloc(sizeof(T)));
    return reserved;
  }

  Reserved() = default;
  Reserved(Reserved&& other) noexcept
      : storage_(std::move(other.storage_)), object_(std::exchange(other.object_, nullptr)) {}
  Reserved& operator=(Reserved&&) = delete;
  ~Reserved() { destroy(); }

  explicit operator bool() const { return storage_ != nullptr; }

  // Makes the T in the room (once); it lives as long as this.
  template <class... Args>
  T& make(Args&&... args) {
    static_assert(alignof(T) <= alignof(std::max_align_t));
    object_ = ::new (storage_.get()) T(std::forward<Args>(args)...);
    return *object_;
  }
  T* get() const { return object_; }
  // Ends the T made in the room; the room stays.
  void destroy() {
    if (object_ != nullptr) std::exchange(object_, nullptr)->~T();
  }

 private:
  std::unique_ptr<void, FreeDeleter> storage_;
  T* object_ = nullptr;
};

}  // namespace ovantrex
