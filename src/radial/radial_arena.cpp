#include "radial/radial_arena.h"

#include <new>

namespace lumetra {

RadialArena::~RadialArena() {
  // Unlinks block by block: destroying the head with its chain attached
  // would recurse once per block.
  while (head_ != nullptr) head_ = std::move(head_->next);
}

void* RadialArena::Allocate(std::size_t bytes) {
  if (bytes >= kBlockSize) return nullptr;
  const std::size_t rounded = (bytes + kAlignment - 1) & ~(kAlignment - 1);
  if (head_ == nullptr || kBlockSize - head_->used < rounded) {
    std::unique_ptr<Block> block;
    try {
      block = std::make_unique<Block>();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    block->next = std::move(head_);
    head_ = std::move(block);
    ++block_count_;
  }
  void* piece = head_->data + head_->used;
  head_->used += rounded;
  return piece;
}

}  // namespace lumetra
