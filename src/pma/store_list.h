// The lists the market-area service is filled with: CpmaStoreList (store
// positions) and CpmaCustomerList (one store's customers with weights).
//
// Both grow by doubling and keep their capacity visible, because callers of
// the service rely on the growth steps: a store list starts with room for
// 100 records, a customer list allocates 1000 records at its first customer.
// Growth throws std::bad_alloc and leaves the list as it was.
//
// Thread rule: one thread at a time per list.
#ifndef LUMETRA_PMA_STORE_LIST_H
#define LUMETRA_PMA_STORE_LIST_H

#include <cstdint>
#include <vector>

// One store: its position and its position in the service's store list
// (-1 in records not yet filled).
struct CpmaStoreRecord {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t index = -1;
};

class CpmaStoreList {
 public:
  static constexpr int kInitialCapacity = 100;

  CpmaStoreList();
  virtual ~CpmaStoreList() = default;
  CpmaStoreList(const CpmaStoreList&) = delete;
  CpmaStoreList& operator=(const CpmaStoreList&) = delete;

  int count() const { return count_; }
  int capacity() const { return static_cast<int>(records_.size()); }
  // REQUIRES: 0 <= i < count().
  const CpmaStoreRecord& operator[](int i) const { return records_[static_cast<std::size_t>(i)]; }

  // Appends a record, doubling the array when it is full.  Returns the
  // record's position.
  int Append(const CpmaStoreRecord& record);
  // Sets the count to 0; the records' room stays.
  void Clear();
  // Changes with every Append and Clear, so users of the list can tell
  // that what they derived from it is stale.
  std::uint64_t version() const { return version_; }

 protected:
  // Called before the array grows to `capacity`, so that derived lists can
  // grow their parallel arrays first (both grow or neither does).
  virtual void WillGrow(int capacity) { (void)capacity; }

 private:
  std::vector<CpmaStoreRecord> records_;  // size() is the capacity
  int count_ = 0;
  std::uint64_t version_ = 0;
};

// One customer: position and weight.
struct CpmaCustomer {
  std::int32_t x = 0;
  std::int32_t y = 0;
  double weight = 0.0;
};

class CpmaCustomerList {
 public:
  static constexpr int kFirstCapacity = 1000;

  CpmaCustomerList() = default;
  virtual ~CpmaCustomerList() = default;
  // Moving keeps the records and their room.
  CpmaCustomerList(CpmaCustomerList&&) noexcept = default;
  CpmaCustomerList& operator=(CpmaCustomerList&&) noexcept = default;
  CpmaCustomerList(const CpmaCustomerList&) = delete;
  CpmaCustomerList& operator=(const CpmaCustomerList&) = delete;

  int count() const { return static_cast<int>(customers_.size()); }
  int capacity() const { return static_cast<int>(customers_.capacity()); }
  // Sum of the weights of every customer added since the last Clear.
  double total_weight() const { return total_weight_; }
  const std::vector<CpmaCustomer>& customers() const { return customers_; }

  // Appends a customer (room for 1000 first, then doubling) and adds its
  // weight to the total.
  void Add(std::int32_t x, std::int32_t y, double weight);
  // Count and total weight 0; the records are freed.
  void Clear();

 private:
  std::vector<CpmaCustomer> customers_;
  double total_weight_ = 0.0;
};

#endif  // LUMETRA_PMA_STORE_LIST_H
