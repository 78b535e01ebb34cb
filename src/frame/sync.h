// CSynchronization: a recursive lock with the bookkeeping the library's
// process-wide tables rely on (lock count, last error).
#ifndef LUMETRA_FRAME_SYNC_H
#define LUMETRA_FRAME_SYNC_H

#include <atomic>
#include <cstdint>
#include <mutex>

class CSynchronization {
 public:
  static constexpr int kErrorNotLocked = 6;  // Unlock with nothing locked

  CSynchronization() = default;
  CSynchronization(const CSynchronization&) = delete;
  CSynchronization& operator=(const CSynchronization&) = delete;
  virtual ~CSynchronization();

  // Enters the lock (recursively); creates it first when needed.  Returns 1.
  virtual int Lock();
  // Leaves the lock.  Returns 0 when the lock was never created or nothing is
  // locked (last error 6; the process ends with exit code 1 instead when the
  // exit-on-misuse flag is set), else 1.
  virtual int Unlock();

  int last_error() const { return last_error_; }
  std::uint32_t lock_count() const { return lock_count_; }
  bool initialised() const { return initialised_.load(); }
  void set_exit_on_misuse(bool on) { exit_on_misuse_ = on; }

 private:
  std::recursive_mutex mutex_;
  std::atomic<bool> initialised_{false};
  int last_error_ = 0;
  std::uint32_t lock_count_ = 0;
  bool exit_on_misuse_ = false;
};

// Scoped Lock/Unlock of a CSynchronization.
class SyncLock {
 public:
  explicit SyncLock(CSynchronization& sync) : sync_(sync) { sync_.Lock(); }
  ~SyncLock() { sync_.Unlock(); }
  SyncLock(const SyncLock&) = delete;
  SyncLock& operator=(const SyncLock&) = delete;

 private:
  CSynchronization& sync_;
};

#endif  // LUMETRA_FRAME_SYNC_H
