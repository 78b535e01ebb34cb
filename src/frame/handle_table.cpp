#include "frame/handle_table.h"

#include <cstdlib>
#include <new>

namespace {

pipHandleTable* g_table = nullptr;

void DestroyTable() {
  delete g_table;
  g_table = nullptr;
}

// Creates the table while the library is loaded, before any export can run,
// and destroys it at process exit.
struct TableInstaller {
  TableInstaller() { pipHandleTable::Instance(); }
} g_installer;

}  // namespace

pipHandleTable::pipHandleTable() {
  owned_.reserve(kMaxSlots);
  for (int i = 0; i < kInitialSlots; ++i) {
    owned_.push_back(std::make_unique<pipHandleSlot>());
    owned_.back()->index = i;
    slots_[static_cast<std::size_t>(i)].store(owned_.back().get(), std::memory_order_release);
  }
  slot_count_.store(kInitialSlots, std::memory_order_release);
}

pipHandleTable::~pipHandleTable() = default;

pipHandleTable& pipHandleTable::Instance() {
  // Function-local static: thread-safe creation even if some other static
  // initialiser calls in before g_installer has run.
  static pipHandleTable* table = [] {
    g_table = new pipHandleTable();
    std::atexit(&DestroyTable);
    return g_table;
  }();
  return *table;
}

int pipHandleTable::slot_count() { return slot_count_.load(std::memory_order_acquire); }

bool pipHandleTable::IsValidHandle(int handle) { return SlotOf(handle) != nullptr; }

pipHandleSlot* pipHandleTable::SlotOf(int handle) const {
  if (handle < 1 || handle >= slot_count_.load(std::memory_order_acquire)) return nullptr;
  return slots_[static_cast<std::size_t>(handle)].load(std::memory_order_acquire);
}

bool pipHandleTable::Grow() {
  const std::size_t old_count = static_cast<std::size_t>(slot_count());
  const std::size_t new_count = old_count * 2;
  if (new_count > static_cast<std::size_t>(kMaxSlots)) return false;
  try {
    // owned_ has room for kMaxSlots, so pushing never moves a slot; slots
    // left over from a growth that ran out of memory are reused.
    for (std::size_t i = owned_.size(); i < new_count; ++i) {
      owned_.push_back(std::make_unique<pipHandleSlot>());
      owned_.back()->index = static_cast<int>(i);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (std::size_t i = old_count; i < new_count; ++i) {
    slots_[i].store(owned_[i].get(), std::memory_order_release);
  }
  slot_count_.store(static_cast<int>(new_count), std::memory_order_release);
  return true;
}

int pipHandleTable::RegisterHandle(void* object, int kind) {
  SyncLock lock(*this);
  std::size_t free_index = 0;
  const std::size_t count = static_cast<std::size_t>(slot_count());
  for (std::size_t i = 1; i < count; ++i) {
    if (!owned_[i]->occupied || owned_[i]->object == nullptr) {
      free_index = i;
      break;
    }
  }
  if (free_index == 0) {
    if (!Grow()) return 0;
    free_index = count;
  }
  if (kind < PIP_HANDLE_LIBRARY || kind > PIP_HANDLE_PMA || object == nullptr) return 0;
  pipHandleSlot& slot = *owned_[free_index];
  slot.kind.store(kind);
  slot.occupied.store(1);
  slot.object.store(object);
  return static_cast<int>(free_index);
}

pipHandleSlot* pipHandleTable::LookupHandle(int handle, int kind) {
  pipHandleSlot* slot = SlotOf(handle);
  if (slot == nullptr) return nullptr;
  if (!slot->occupied.load() || slot->object.load() == nullptr || slot->kind.load() != kind) {
    return nullptr;
  }
  slot->busy.store(1, std::memory_order_relaxed);
  return slot;
}

void pipHandleTable::ReleaseHandle(int handle) {
  pipHandleSlot* slot = SlotOf(handle);
  if (slot == nullptr) return;
  if (slot->occupied.load() && slot->object.load() != nullptr) {
    slot->busy.store(0, std::memory_order_relaxed);
  }
}

void pipHandleTable::UnregisterHandle(int handle) {
  SyncLock lock(*this);
  pipHandleSlot* slot = SlotOf(handle);
  if (slot == nullptr) return;
  slot->object.store(nullptr);
  slot->occupied.store(0);
  slot->kind.store(PIP_HANDLE_NONE);
}
