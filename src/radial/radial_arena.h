// RadialArena: the private memory of one radial search tree.  Tree nodes
// and name copies are carved from it; nothing is freed before the whole
// arena is.
//
// The arena is a singly linked list of blocks, newest first, each a 16-byte
// header (the next block, the bytes used) in front of kBlockSize usable
// bytes that begin on a 64-byte cache line.  A request is rounded up to a multiple of 8 (so every
// piece is 8-byte aligned); when it does not fit in the newest block a new block is put at the head
// of the list and the rest of the old one stays unused.  A request of kBlockSize bytes or more
// cannot be served.
//
// Ownership: the arena owns its blocks; pointers it hands out stay valid
// until the arena is destroyed.  Thread rule: one thread at a time.
//
// Usage:
//   RadialArena arena;
//   void* piece = arena.Allocate(32);   // null: out of memory or too large
#ifndef LUMETRA_RADIAL_RADIAL_ARENA_H
#define LUMETRA_RADIAL_RADIAL_ARENA_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumetra {

class RadialArena {
 public:
  static constexpr std::size_t kBlockSize = 32768;  // usable bytes per block
  static constexpr std::size_t kAlignment = 8;

  RadialArena() = default;
  ~RadialArena();
  RadialArena(const RadialArena&) = delete;
  RadialArena& operator=(const RadialArena&) = delete;

  // `bytes` rounded up to a multiple of 8, 8-byte aligned and uninitialised;
  // null when the request is kBlockSize bytes or more, or when a new block
  // cannot be allocated (the arena is then unchanged).
  void* Allocate(std::size_t bytes);

  std::size_t block_count() const { return block_count_; }

 private:
  // The data starts on a cache line, right after the 16-byte header, so
  // that pieces of 32 bytes pair up within lines (the tree places sibling
  // nodes that way).
  static constexpr std::size_t kLine = 64;
  struct alignas(kLine) Block {
    Block() {}  // leaves `data` uninitialised: it is handed out piece by piece
    unsigned char unused[kLine - 16];
    std::unique_ptr<Block> next;
    std::uint64_t used = 0;
    alignas(kLine) unsigned char data[kBlockSize];
  };
  static_assert(offsetof(Block, data) - offsetof(Block, next) == 16, "a 16-byte block header");
  static_assert(offsetof(Block, data) % kLine == 0, "data on a cache line");

  std::unique_ptr<Block> head_;
  std::size_t block_count_ = 0;
};

}  // namespace lumetra

#endif  // LUMETRA_RADIAL_RADIAL_ARENA_H
