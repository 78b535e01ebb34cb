#include "frame/sync.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CSynchronization, LockIsRecursiveAndCounted) {
  CSynchronization s;
  EXPECT_FALSE(s.initialised());
  EXPECT_EQ(s.Unlock(), 0);  // before any Lock
  EXPECT_EQ(s.Lock(), 1);
  EXPECT_EQ(s.Lock(), 1);
  EXPECT_EQ(s.lock_count(), 2u);
  EXPECT_EQ(s.Unlock(), 1);
  EXPECT_EQ(s.Unlock(), 1);
  EXPECT_EQ(s.lock_count(), 0u);
}

TEST(CSynchronization, ExtraUnlockRecordsSixAndReturnsZero) {
  CSynchronization s;
  s.Lock();
  s.Unlock();
  EXPECT_EQ(s.last_error(), 0);
  EXPECT_EQ(s.Unlock(), 0);
  EXPECT_EQ(s.last_error(), CSynchronization::kErrorNotLocked);
  s.Lock();  // a later Lock clears it
  EXPECT_EQ(s.last_error(), 0);
  s.Unlock();
}

TEST(CSynchronizationDeathTest, ExitOnMisuseEndsTheProcess) {
  EXPECT_EXIT(
      {
        CSynchronization s;
        s.set_exit_on_misuse(true);
        s.Lock();
        s.Unlock();
        s.Unlock();
      },
      testing::ExitedWithCode(1), "");
}

}  // namespace
