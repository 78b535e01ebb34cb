// CpmaGlobalStoreList: the market-area service behind a handle of kind 8 --
// the stores with their names, one customer list per store position, the
// three polygon operations, the three output files and the progress
// callback.
//
// Store names are unique over their first 259 characters.  The customers
// of the store at position i live in customer list i; clearing the stores
// keeps the customer lists, so a store added after ClearStores takes over
// the customers of the store that had its position (callers clear both).
//
// Every failure is recorded (and shown, by the display mode) in the error
// record of the library the service was created under.
//
// Ownership: owns its lists, operations and outputs; the library context
// outlives it.  Thread rule: one thread at a time.
//
// Usage:
//   CpmaGlobalStoreList pma(library);
//   pma.AddStore(x, y, "Ames");
//   pma.SetOutputFiles(1, "rings", "rings", "");
//   pma.GenerateRings(72, 1, 1, 5.0, 10.0, 0.0);
//   pma.CloseOutputs(true);
#ifndef LUMETRA_PMA_GLOBAL_STORE_LIST_H
#define LUMETRA_PMA_GLOBAL_STORE_LIST_H

#include <lumetra/pip.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pma/convex_hull_operation.h"
#include "pma/pma_outputs.h"
#include "pma/ring_operation.h"
#include "pma/store_list.h"
#include "pma/thiessen_operation.h"

class pipError;

namespace lumetra {

// Interface result codes of the service's list operations.
enum PmaInterfaceCode : int {
  kPmaDuplicateStore = -3,  // "Cannot add same store to store list twice."
  kPmaNullPointer = -2,     // "Unexpected NULL pointer passed."
  kPmaNoListMemory = -1,    // "Cannot allocate memory."
};

}  // namespace lumetra

class CpmaGlobalStoreList : public CpmaStoreList {
 public:
  static constexpr int kNameSize = 260;  // 259 characters + NUL
  static constexpr int kInitialCustomerSlots = 256;

  // The values of one generate call.
  struct Generation {
    int segments = 0;         // rings and cells
    int count_mode = 0;       // hulls
    double max_distance = 0;  // hulls
    bool geographic = false;
    bool full_polygons = true;
    double values[3] = {0, 0, 0};
  };
  enum class Kind { kRings, kThiessen, kHulls };

  // valid() is false when the customer-list array could not be allocated.
  explicit CpmaGlobalStoreList(pipError& owner_error);
  ~CpmaGlobalStoreList() override;

  bool valid() const { return valid_; }
  pipError& error() const { return error_; }

  // --- lists: 1, or -1 after a recorded failure ---
  int AddStore(std::int32_t x, std::int32_t y, const char* name);
  int AddCustomer(std::int32_t x, std::int32_t y, const char* store_name, double weight);
  int ClearCustomers();
  int ClearStores();

  // The position of the store named `name` exactly, or -1.
  int FindStore(const char* name) const;
  const char* name(int i) const { return names_[static_cast<std::size_t>(i)].data(); }
  const CpmaCustomerList& customers(int i) const {
    return customer_lists_[static_cast<std::size_t>(i)];
  }
  int customer_slots() const { return slot_count_; }
  int customer_capacity() const { return static_cast<int>(customer_lists_.size()); }

  // --- outputs and progress ---
  int SetOutputFiles(int coordinate_type, const char* primary, const char* secondary,
                     const char* tertiary) {
    return outputs_.Open(coordinate_type, primary, secondary, tertiary);
  }
  int CloseOutputs(bool commit) { return outputs_.Close(commit); }
  void SetProgressFunction(pipPmaProgressCallback callback) { progress_ = callback; }

  // --- generation ---
  // Builds and writes the polygons of every store in list order, then
  // calls the progress function.  1, or -1 after a recorded failure (the
  // objects written before it stay in the outputs).  REQUIRES: the values
  // were validated by the caller.
  int Generate(Kind kind, const Generation& g);

 protected:
  void WillGrow(int capacity) override;

 private:
  // Builds polygon `level` of store `i` into *out: 1 or an operation code.
  int BuildLevel(Kind kind, const Generation& g, int i, int level, CpmaPointList* out);
  int GenerateStore(Kind kind, const Generation& g, int i);
  // Records an interface code (source "CpmaInterface"); returns -1.
  int ReportInterfaceError(int code);
  void GrowCustomerSlots();

  pipError& error_;
  bool valid_ = false;
  std::vector<std::array<char, kNameSize>> names_;  // parallel to the records
  std::unordered_map<std::string, int> index_;      // name -> position
  std::vector<CpmaCustomerList> customer_lists_;    // size() is the capacity
  int slot_count_ = 0;
  CpmaRingOperation ring_;
  CpmaThiessenOperation thiessen_;
  CpmaConvexHullOperation hull_;
  CpmaOutputs outputs_;
  pipPmaProgressCallback progress_ = nullptr;
};

#endif  // LUMETRA_PMA_GLOBAL_STORE_LIST_H
