// Fault injection for tests: the file layer's read, write, seek and map
// calls, and large allocations, can be made to fail on the Nth call, so that
// a test can check that every failure is reported, nothing leaks and no
// half-written file stays behind.
//
// The hooks exist only when LUMETRA_FAULT_INJECTION is defined (test and
// sanitizer builds, never a shipped library); otherwise FaultInjected is a
// constant false and every hook compiles to nothing.  The header depends on
// no module, so every module may hook its own calls.
//
// Counting: while armed, each hooked call of a site in the armed set counts
// one, and the call that brings the count to N fails -- once: later calls
// succeed again, so the failure paths' own clean-up (closing, removing
// files) runs as it would after a real error.  A failing call sets errno to
// EIO.  Allocations are hooked where the library allocates through malloc
// (FaultInjectedAllocation) and, in the fault-injection test, by that test's
// replacement of the global operator new, both for blocks of at least
// kLargeAllocationBytes.
//
// Thread rule: the counters are atomic, but which call fails is only
// predictable when one thread makes the hooked calls while armed.
//
// Usage (tests):
//   lumetra::ArmFaultsForTest(lumetra::kAllFaultSites, 0);   // count only
//   RunImport();
//   const std::uint64_t calls = lumetra::DisarmFaultsForTest();
//   for (std::uint64_t n = 1; n <= calls; ++n) {
//     lumetra::ArmFaultsForTest(lumetra::kAllFaultSites, n);  // call n fails
//     RunImportExpectingAFailure();
//     lumetra::DisarmFaultsForTest();
//   }
#ifndef LUMETRA_FAULT_INJECTION_H
#define LUMETRA_FAULT_INJECTION_H

#include <cstddef>
#include <cstdint>

#ifdef LUMETRA_FAULT_INJECTION
#include <atomic>
#include <cerrno>
#endif

namespace lumetra {

// The hooked calls, as bits of a site set.
enum class FaultSite : unsigned { kRead = 1, kWrite = 2, kSeek = 4, kMap = 8, kAlloc = 16 };
constexpr unsigned kAllFaultSites = 31;
// Allocations of at least this many bytes are hooked.
constexpr std::size_t kLargeAllocationBytes = 4096;

#ifdef LUMETRA_FAULT_INJECTION

struct FaultCounters {
  static inline std::atomic<unsigned> armed_sites{0};
  static inline std::atomic<std::uint64_t> calls{0};
  static inline std::atomic<std::uint64_t> fail_at{0};  // 0: count only
};

// Counts a call of `site` and tells whether it is the one to fail (errno is
// then EIO).
inline bool FaultInjected(FaultSite site) {
  const unsigned bit = static_cast<unsigned>(site);
  if ((FaultCounters::armed_sites.load(std::memory_order_relaxed) & bit) == 0) return false;
  const std::uint64_t n = FaultCounters::calls.fetch_add(1) + 1;
  if (n != FaultCounters::fail_at.load()) return false;
  errno = EIO;
  return true;
}

// Starts counting the calls of the sites in `sites` from zero; call number
// `fail_at` fails (0: none fails).
inline void ArmFaultsForTest(unsigned sites, std::uint64_t fail_at) {
  FaultCounters::armed_sites.store(0);
  FaultCounters::calls.store(0);
  FaultCounters::fail_at.store(fail_at);
  FaultCounters::armed_sites.store(sites);
}

// Stops counting; returns the number of hooked calls made while armed.
inline std::uint64_t DisarmFaultsForTest() {
  FaultCounters::armed_sites.store(0);
  return FaultCounters::calls.load();
}

#else

constexpr bool FaultInjected(FaultSite) { return false; }

#endif

// For allocation sites: true when a block of `bytes` is to fail.
inline bool FaultInjectedAllocation(std::size_t bytes) {
  return bytes >= kLargeAllocationBytes && FaultInjected(FaultSite::kAlloc);
}

}  // namespace lumetra

#endif  // LUMETRA_FAULT_INJECTION_H
