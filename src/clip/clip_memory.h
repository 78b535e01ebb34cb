// Working storage of one clip.  Every list the clipper keeps during a call
// draws from one resource: requests are served from a buffer on the caller's
// stack while it lasts, then from the heap as usual.  Small clips thus make
// no heap allocation at all; large ones allocate (and free) like plain
// vectors, so memory is reused and returned as the lists grow.
#ifndef LUMETRA_CLIP_CLIP_MEMORY_H
#define LUMETRA_CLIP_CLIP_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <new>
#include <vector>

namespace lumetra {

template <class T>
using ClipVector = std::pmr::vector<T>;

using ClipMemory = std::pmr::memory_resource;

// A bump allocator over a caller's buffer with the heap behind it.  Blocks
// from the buffer are never reused (their release is a no-op); heap blocks
// are released to the heap.  REQUIRES: the buffer outlives the resource and
// everything allocated from it.
class StackFirstMemory : public ClipMemory {
 public:
  StackFirstMemory(void* buffer, std::size_t size)
      : begin_(static_cast<std::byte*>(buffer)), end_(begin_ + size), next_(begin_) {}

 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    std::size_t skip =
        static_cast<std::size_t>(-reinterpret_cast<std::uintptr_t>(next_)) & (alignment - 1);
    if (static_cast<std::size_t>(end_ - next_) >= skip + bytes) {
      void* p = next_ + skip;
      next_ += skip + bytes;
      return p;
    }
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) return ::operator new(bytes);
    return ::operator new(bytes, std::align_val_t(alignment));
  }

  void do_deallocate(void* p, std::size_t, std::size_t alignment) override {
    auto* b = static_cast<std::byte*>(p);
    if (b >= begin_ && b < end_) return;
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
      ::operator delete(p);
    } else {
      ::operator delete(p, std::align_val_t(alignment));
    }
  }

  bool do_is_equal(const ClipMemory& other) const noexcept override { return this == &other; }

  std::byte* begin_;
  std::byte* end_;
  std::byte* next_;
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_CLIP_MEMORY_H
