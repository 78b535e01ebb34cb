// The growth rules of the market-area service's lists: store records and
// names grow together, the customer-list array doubles and keeps every
// list, a customer list grows from 1000 to 2000 records, and stores added
// after a clear take over the customers of their position.
#include "pma/global_store_list.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/error.h"

namespace {

TEST(GlobalStoreList, ListsGrowAndKeepTheirContents) {
  pipError error;
  CpmaGlobalStoreList pma(error);
  ASSERT_TRUE(pma.valid());
  EXPECT_EQ(pma.customer_capacity(), 256);
  for (int i = 0; i < 257; ++i) {
    const std::string name = "store " + std::to_string(i);
    ASSERT_EQ(pma.AddStore(i, -i, name.c_str()), 1);
    ASSERT_EQ(pma.AddCustomer(i, i, name.c_str(), i + 0.5), 1);
    if (i == 255) {
      EXPECT_EQ(pma.customer_capacity(), 256);
    }
  }
  EXPECT_EQ(pma.capacity(), 400);
  EXPECT_EQ(pma.customer_capacity(), 512);
  for (int i = 0; i < 257; ++i) {
    EXPECT_EQ(pma.FindStore(pma.name(i)), i);
    EXPECT_EQ(pma[i].x, i);
    EXPECT_EQ(pma[i].index, i);
    ASSERT_EQ(pma.customers(i).count(), 1);
    EXPECT_EQ(pma.customers(i).total_weight(), i + 0.5);
  }
  for (int k = 0; k < 999; ++k) ASSERT_EQ(pma.AddCustomer(k, k, "store 3", 1.0), 1);
  EXPECT_EQ(pma.customers(3).capacity(), 1000);
  ASSERT_EQ(pma.AddCustomer(0, 0, "store 3", 1.0), 1);
  EXPECT_EQ(pma.customers(3).capacity(), 2000);
  EXPECT_EQ(pma.customers(3).total_weight(), 1003.5);

  // After clearing the stores the first store added has position 0 and the
  // customers of the first store before the clear.
  ASSERT_EQ(pma.ClearStores(), 1);
  EXPECT_EQ(pma.FindStore("store 0"), -1);
  ASSERT_EQ(pma.AddStore(7, 7, "again"), 1);
  EXPECT_EQ(pma.customers(0).count(), 1);
  EXPECT_EQ(pma.customer_slots(), 258);
  ASSERT_EQ(pma.ClearCustomers(), 1);
  EXPECT_EQ(pma.customers(0).count(), 0);
  EXPECT_EQ(pma.customers(0).total_weight(), 0.0);
  EXPECT_EQ(pma.customers(3).capacity(), 0);
}

}  // namespace
