#include "frame/sync.h"

#include <cstdlib>

CSynchronization::~CSynchronization() = default;

int CSynchronization::Lock() {
  // The std mutex exists from construction; the flag records that the lock
  // has been "created" in the sense callers observe (Unlock before any Lock
  // reports that nothing was ever created).
  mutex_.lock();
  initialised_.store(true);
  ++lock_count_;
  last_error_ = 0;
  return 1;
}

int CSynchronization::Unlock() {
  if (!initialised_.load()) return 0;
  if (lock_count_ == 0) {
    last_error_ = kErrorNotLocked;
    if (exit_on_misuse_) std::exit(1);
    return 0;
  }
  --lock_count_;
  last_error_ = 0;
  mutex_.unlock();
  return 1;
}
