#include "pma/global_store_list.h"

#include <cstring>
#include <new>
#include <utility>

#include "frame/error.h"
#include "frame/text_copy.h"

namespace {

constexpr char kNoSuchStore[] = "Cannot add customer: no such store.";
constexpr char kNoCustomerArray[] = "Cannot add customer: customer list not allocated.";

}  // namespace

CpmaGlobalStoreList::CpmaGlobalStoreList(pipError& owner_error)
    : error_(owner_error), names_(static_cast<std::size_t>(capacity())), outputs_(owner_error) {
  try {
    customer_lists_.resize(kInitialCustomerSlots);
    valid_ = true;
  } catch (const std::bad_alloc&) {
    valid_ = false;
  }
}

CpmaGlobalStoreList::~CpmaGlobalStoreList() = default;

void CpmaGlobalStoreList::WillGrow(int capacity) {
  names_.resize(static_cast<std::size_t>(capacity));
}

int CpmaGlobalStoreList::ReportInterfaceError(int code) {
  switch (code) {
    case lumetra::kPmaDuplicateStore:
      error_.Report(PIP_ERR_NO_MEMORY, "Cannot add same store to store list twice.",
                    "CpmaInterface", __LINE__);
      break;
    case lumetra::kPmaNullPointer:
      error_.Report(PIP_ERR_NO_MEMORY, "Unexpected NULL pointer passed.", "CpmaInterface",
                    __LINE__);
      break;
    case lumetra::kPmaNoListMemory:
      error_.Report(PIP_ERR_NO_MEMORY, "Cannot allocate memory.", "CpmaInterface", __LINE__);
      break;
    default:
      error_.Report(PIP_ERR_UNKNOWN, "Unknown error in point list operation.", "CpmaInterface",
                    __LINE__);
  }
  return -1;
}

int CpmaGlobalStoreList::FindStore(const char* name) const {
  if (name == nullptr) return -1;
  const auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

// Twice as many customer lists, every list moved over whole; the old array
// is kept if the new one cannot be had.
void CpmaGlobalStoreList::GrowCustomerSlots() {
  std::vector<CpmaCustomerList> grown(2 * customer_lists_.size());
  for (std::size_t i = 0; i < customer_lists_.size(); ++i) {
    grown[i] = std::move(customer_lists_[i]);
  }
  customer_lists_.swap(grown);
}

int CpmaGlobalStoreList::AddStore(std::int32_t x, std::int32_t y, const char* name) {
  if (name == nullptr) return ReportInterfaceError(lumetra::kPmaNullPointer);
  // Names are compared and kept over their first 259 characters.
  const std::string key = lumetra::CutText(name, kNameSize - 1);
  if (index_.count(key) != 0) return ReportInterfaceError(lumetra::kPmaDuplicateStore);
  try {
    if (slot_count_ >= customer_capacity()) GrowCustomerSlots();
    const auto entry = index_.emplace(key, count()).first;
    int at = 0;
    try {
      at = Append({x, y, count()});
    } catch (...) {
      index_.erase(entry);
      throw;
    }
    lumetra::CopyCut(key, names_[static_cast<std::size_t>(at)].data(), kNameSize);
    ++slot_count_;
  } catch (const std::bad_alloc&) {
    return ReportInterfaceError(lumetra::kPmaNoListMemory);
  }
  return 1;
}

int CpmaGlobalStoreList::AddCustomer(std::int32_t x, std::int32_t y, const char* store_name,
                                     double weight) {
  if (store_name == nullptr) return ReportInterfaceError(lumetra::kPmaNullPointer);
  const int store = FindStore(store_name);
  if (store < 0) {
    error_.Report(PIP_ERR_GENERAL, kNoSuchStore, QERR_HERE);
    return -1;
  }
  if (customer_lists_.empty()) {
    error_.Report(PIP_ERR_GENERAL, kNoCustomerArray, QERR_HERE);
    return -1;
  }
  try {
    customer_lists_[static_cast<std::size_t>(store)].Add(x, y, weight);
  } catch (const std::bad_alloc&) {
    return ReportInterfaceError(lumetra::kPmaNoListMemory);
  }
  return 1;
}

int CpmaGlobalStoreList::ClearCustomers() {
  for (CpmaCustomerList& list : customer_lists_) list.Clear();
  return 1;
}

int CpmaGlobalStoreList::ClearStores() {
  Clear();
  index_.clear();
  return 1;
}
