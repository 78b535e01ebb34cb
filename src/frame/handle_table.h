// The process-wide handle table: int handles naming the library's service
// objects, and the RAII pieces every exported pip* function is built from.
//
// A handle is a slot index from 1 to slot count - 1; 0 is "no handle".  The
// table starts with 100 slots and doubles up to 1600, reusing the lowest free
// index first.  A lookup demands the exact kind, so a handle of one kind
// passed where another is expected is simply not found.  The table owns no
// service object: initialising calls create them, terminating calls destroy
// them.
//
// Locking.  Registering, unregistering and growing take the table's lock.
// Looking a handle up and releasing it take no lock: slots never move and
// are never freed while the table lives (growth only publishes new ones), and
// every slot field a lookup reads is atomic, so a lookup sees either the
// slot before or after a concurrent registration, exactly as if it had
// waited for the lock.  Every exported call looks its handle up, so a lock
// there would serialise threads that work on different handles.
#ifndef LUMETRA_FRAME_HANDLE_TABLE_H
#define LUMETRA_FRAME_HANDLE_TABLE_H

#include <lumetra/pip.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "frame/sync.h"

// One slot per cache line: the busy mark is written by every call on the
// slot's handle, and threads working on different handles must not share a
// line.
struct alignas(64) pipHandleSlot {
  std::atomic<int> kind{PIP_HANDLE_NONE};  // pipHandleKind, 0 when free
  std::atomic<std::uint8_t> busy{0};       // set by LookupHandle, cleared by ReleaseHandle
  std::atomic<std::uint8_t> occupied{0};
  std::atomic<void*> object{nullptr};  // not owned
  int index = 0;                       // the slot's own position: the handle
};

class pipHandleTable : public CSynchronization {
 public:
  static constexpr int kInitialSlots = PIP_HANDLE_TABLE_INITIAL_SLOTS;
  static constexpr int kMaxSlots = PIP_HANDLE_TABLE_MAX_SLOTS;

  pipHandleTable();
  ~pipHandleTable() override;

  // The table of this process; exists before the first exported call.
  static pipHandleTable& Instance();

  // Registers `object` under `kind` (1..8) in the lowest free slot, growing
  // the table when needed.  Returns the handle, or 0 when the table is full
  // (1599 live handles), memory runs out, the kind is invalid or the object
  // is null.
  int RegisterHandle(void* object, int kind);
  // The slot of `handle` when it is occupied by an object of exactly `kind`
  // (and marks it busy), else null.  Takes no lock.
  pipHandleSlot* LookupHandle(int handle, int kind);
  // Clears the busy mark of an occupied slot.  Takes no lock.
  void ReleaseHandle(int handle);
  void UnregisterHandle(int handle);
  bool IsValidHandle(int handle);

  int slot_count();

 private:
  bool Grow();
  // The slot of a valid handle, else null; no lock.
  pipHandleSlot* SlotOf(int handle) const;

  // Slot i lives at slots_[i] for i < slot_count_; entries are published
  // (release) before the count grows over them and never change afterwards.
  std::array<std::atomic<pipHandleSlot*>, kMaxSlots> slots_{};
  std::atomic<int> slot_count_{0};
  std::vector<std::unique_ptr<pipHandleSlot>> owned_;  // changed under the lock only
};

namespace lumetra {

// Looks a handle up for the lifetime of the lease and releases it on every
// path out.  T is the class of the object behind handles of `kind`.
template <class T>
class HandleLease {
 public:
  HandleLease(int handle, int kind)
      : handle_(handle), slot_(pipHandleTable::Instance().LookupHandle(handle, kind)) {}
  ~HandleLease() { pipHandleTable::Instance().ReleaseHandle(handle_); }
  HandleLease(const HandleLease&) = delete;
  HandleLease& operator=(const HandleLease&) = delete;

  explicit operator bool() const { return slot_ != nullptr; }
  T* get() const { return slot_ != nullptr ? static_cast<T*>(slot_->object.load()) : nullptr; }
  T& operator*() const { return *get(); }
  T* operator->() const { return get(); }
  int handle() const { return handle_; }

 private:
  int handle_;
  pipHandleSlot* slot_;
};

// Runs `work` and turns any exception into `failure`: nothing crosses the
// exported interface.
template <class F>
int GuardedCall(int failure, F&& work) noexcept {
  try {
    return work();
  } catch (...) {
    return failure;
  }
}

// Whether the objects behind a handle kind keep an error record.
template <class T, class = void>
struct HasErrorRecord : std::false_type {};
template <class T>
struct HasErrorRecord<T, std::void_t<decltype(std::declval<T&>().error().Report(0, "", "", 0))>>
    : std::true_type {};

// The common pattern of an exported function on a handle of `kind`: look it
// up (unknown handle -> `failure`, nothing recorded), run work(T&), release
// on every path, and catch every exception at the boundary; an allocation
// failure is recorded (code 104) when the object keeps an error record.
template <class T, class F>
int WithHandle(int handle, int kind, int failure, F&& work) noexcept {
  return GuardedCall(failure, [&]() -> int {
    HandleLease<T> lease(handle, kind);
    if (!lease) return failure;
    if constexpr (HasErrorRecord<T>::value) {
      // Memory that cannot be had anywhere below is a recorded failure of
      // the call, not an unexplained one.
      try {
        return work(*lease);
      } catch (const std::bad_alloc&) {
        lease->error().Report(PIP_ERR_NO_MEMORY, "Out of memory.", QERR_HERE);
        return failure;
      }
    } else {
      return work(*lease);
    }
  });
}

// Ends a handle of `kind`: looks it up, releases and unregisters it and
// hands its object over to the caller.  Null, with the handle released and
// left registered, when no object of that kind is behind it.
template <class T>
std::unique_ptr<T> TakeHandleObject(int handle, int kind) {
  pipHandleTable& table = pipHandleTable::Instance();
  pipHandleSlot* slot = table.LookupHandle(handle, kind);
  if (slot == nullptr) {
    table.ReleaseHandle(handle);
    return nullptr;
  }
  std::unique_ptr<T> object(static_cast<T*>(slot->object.load()));
  table.ReleaseHandle(handle);
  table.UnregisterHandle(handle);
  return object;
}

// The terminating pattern: TakeHandleObject, then destroy the object.
// Returns `success` when an object was found, else -1.
template <class T>
int TerminateHandle(int handle, int kind, int success) noexcept {
  return GuardedCall(-1, [&]() -> int {
    if (TakeHandleObject<T>(handle, kind) == nullptr) return -1;
    return success;
  });
}

}  // namespace lumetra

#endif  // LUMETRA_FRAME_HANDLE_TABLE_H
