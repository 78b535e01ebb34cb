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
  TableInstaller() {
    pipHandleTable::Instance();
  }
} g_installer;

}  // namespace

pipHandleTable::pipHandleTable() {
  slots_.reserve(kInitialSlots);
  for (int i = 0; i < kInitialSlots; ++i) {
    slots_.push_back(std::make_unique<pipHandleSlot>());
    slots_.back()->index = i;
  }
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

int pipHandleTable::slot_count() {
  SyncLock lock(*this);
  return static_cast<int>(slots_.size());
}

bool pipHandleTable::IsValidHandle(int handle) {
  SyncLock lock(*this);
  return handle >= 1 && handle < static_cast<int>(slots_.size());
}

bool pipHandleTable::Grow() {
  const std::size_t old_count = slots_.size();
  const std::size_t new_count = old_count * 2;
  if (new_count > static_cast<std::size_t>(kMaxSlots)) return false;
  try {
    std::vector<std::unique_ptr<pipHandleSlot>> grown;
    grown.reserve(new_count);
    for (auto& slot : slots_) grown.push_back(std::move(slot));
    for (std::size_t i = old_count; i < new_count; ++i) {
      grown.push_back(std::make_unique<pipHandleSlot>());
      grown.back()->index = static_cast<int>(i);
    }
    slots_.swap(grown);
  } catch (const std::bad_alloc&) {
    // Moving unique_ptrs cannot throw after reserve; only the reserve or a
    // new slot can fail, and then the old vector still owns every slot.
    return false;
  }
  return true;
}

int pipHandleTable::RegisterHandle(void* object, int kind) {
  SyncLock lock(*this);
  std::size_t free_index = 0;
  for (std::size_t i = 1; i < slots_.size(); ++i) {
    if (!slots_[i]->occupied || slots_[i]->object == nullptr) {
      free_index = i;
      break;
    }
  }
  if (free_index == 0) {
    const std::size_t first_new = slots_.size();
    if (!Grow()) return 0;
    free_index = first_new;
  }
  if (kind < PIP_HANDLE_LIBRARY || kind > PIP_HANDLE_PMA || object == nullptr) return 0;
  pipHandleSlot& slot = *slots_[free_index];
  slot.kind = kind;
  slot.occupied = 1;
  slot.object = object;
  return static_cast<int>(free_index);
}

pipHandleSlot* pipHandleTable::LookupHandle(int handle, int kind) {
  SyncLock lock(*this);
  if (!IsValidHandle(handle)) return nullptr;
  pipHandleSlot& slot = *slots_[static_cast<std::size_t>(handle)];
  if (!slot.occupied || slot.object == nullptr || slot.kind != kind) return nullptr;
  slot.busy = 1;
  return &slot;
}

void pipHandleTable::ReleaseHandle(int handle) {
  SyncLock lock(*this);
  if (!IsValidHandle(handle)) return;
  pipHandleSlot& slot = *slots_[static_cast<std::size_t>(handle)];
  if (slot.occupied && slot.object != nullptr) slot.busy = 0;
}

void pipHandleTable::UnregisterHandle(int handle) {
  SyncLock lock(*this);
  if (!IsValidHandle(handle)) return;
  pipHandleSlot& slot = *slots_[static_cast<std::size_t>(handle)];
  slot.object = nullptr;
  slot.occupied = 0;
  slot.kind = PIP_HANDLE_NONE;
}
