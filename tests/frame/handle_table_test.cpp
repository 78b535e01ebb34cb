#include "frame/handle_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "frame/library_context.h"

namespace {

// Each test works on its own table, so the process-wide one stays untouched.
int g_dummy[2000];

TEST(HandleTable, FirstHandleIsOneAndIsReused) {
  pipHandleTable t;
  EXPECT_EQ(t.RegisterHandle(&g_dummy[0], PIP_HANDLE_LIBRARY), 1);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[1], PIP_HANDLE_IMPORT), 2);
  t.UnregisterHandle(1);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[2], PIP_HANDLE_EXPORT), 1);
}

TEST(HandleTable, GrowsByDoublingTo1600) {
  pipHandleTable t;
  EXPECT_EQ(t.slot_count(), 100);
  for (int i = 1; i <= 99; ++i) ASSERT_EQ(t.RegisterHandle(&g_dummy[i], 3), i);
  EXPECT_EQ(t.slot_count(), 100);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[100], 3), 100);
  EXPECT_EQ(t.slot_count(), 200);
  for (int i = 101; i <= 1599; ++i) ASSERT_EQ(t.RegisterHandle(&g_dummy[i], 3), i);
  EXPECT_EQ(t.slot_count(), 1600);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[1600], 3), 0);
  EXPECT_EQ(t.slot_count(), 1600);
  t.UnregisterHandle(777);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[1601], 3), 777);
}

TEST(HandleTable, RefusesBadKindsAndNullObjects) {
  pipHandleTable t;
  EXPECT_EQ(t.RegisterHandle(&g_dummy[0], 0), 0);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[0], 9), 0);
  EXPECT_EQ(t.RegisterHandle(nullptr, 1), 0);
  EXPECT_EQ(t.RegisterHandle(&g_dummy[0], 8), 1);  // the slot stayed free
}

TEST(HandleTable, LookupDemandsTheExactKind) {
  pipHandleTable t;
  const int h = t.RegisterHandle(&g_dummy[5], PIP_HANDLE_OBJECT_FILE);
  pipHandleSlot* slot = t.LookupHandle(h, PIP_HANDLE_OBJECT_FILE);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->object, &g_dummy[5]);
  EXPECT_EQ(slot->index, h);
  EXPECT_EQ(slot->busy, 1);
  EXPECT_EQ(t.LookupHandle(h, PIP_HANDLE_OBJECT_FILE), slot);  // busy does not block
  t.ReleaseHandle(h);
  EXPECT_EQ(slot->busy, 0);
  EXPECT_EQ(t.LookupHandle(h, PIP_HANDLE_LIBRARY), nullptr);
  ASSERT_NE(t.LookupHandle(h, PIP_HANDLE_OBJECT_FILE), nullptr);
  t.UnregisterHandle(h);  // nor does it block unregistering
  EXPECT_EQ(t.LookupHandle(h, PIP_HANDLE_OBJECT_FILE), nullptr);
}

struct Service {
  explicit Service(std::atomic<int>* alive) : alive_(alive) { ++*alive_; }
  ~Service() { --*alive_; }
  std::atomic<int>* alive_;
};

TEST(HandleTable, RegisterServiceReports103WhenFull) {
  // Fill the process-wide table, then ask for one more service.
  pipLibraryContext library;
  std::atomic<int> alive{0};
  std::vector<int> handles;
  int h = 0;
  int result = 1;
  while ((result = lumetra::RegisterService(library, std::make_unique<Service>(&alive),
                                            PIP_HANDLE_RADIAL_SEARCH, &h)) == 1) {
    handles.push_back(h);
  }
  EXPECT_EQ(result, -1);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(library.error().code(), 103);
  EXPECT_STREQ(library.error().detail(), "Too many handles in use!\n");
  EXPECT_EQ(static_cast<int>(alive), static_cast<int>(handles.size()));  // the refused one died
  EXPECT_EQ(pipHandleTable::Instance().slot_count(), 1600);
  for (int handle : handles) {
    EXPECT_EQ(lumetra::TerminateHandle<Service>(handle, PIP_HANDLE_RADIAL_SEARCH, 1), 1);
  }
  EXPECT_EQ(static_cast<int>(alive), 0);
  EXPECT_EQ(lumetra::TerminateHandle<Service>(handles.front(), PIP_HANDLE_RADIAL_SEARCH, 1), -1);
}

}  // namespace
