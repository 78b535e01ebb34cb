#include "pma/store_list.h"

CpmaStoreList::CpmaStoreList() : records_(kInitialCapacity) {}

int CpmaStoreList::Append(const CpmaStoreRecord& record) {
  if (count_ == capacity()) {
    const int grown = capacity() * 2;
    WillGrow(grown);
    records_.resize(static_cast<std::size_t>(grown));
  }
  records_[static_cast<std::size_t>(count_)] = record;
  ++version_;
  return count_++;
}

void CpmaStoreList::Clear() {
  for (int i = 0; i < count_; ++i) records_[static_cast<std::size_t>(i)] = CpmaStoreRecord();
  count_ = 0;
  ++version_;
}

void CpmaCustomerList::Add(std::int32_t x, std::int32_t y, double weight) {
  if (customers_.size() == customers_.capacity()) {
    customers_.reserve(customers_.empty() ? kFirstCapacity : 2 * customers_.capacity());
  }
  customers_.push_back(CpmaCustomer{x, y, weight});
  total_weight_ += weight;
}

void CpmaCustomerList::Clear() {
  std::vector<CpmaCustomer>().swap(customers_);
  total_weight_ = 0.0;
}
