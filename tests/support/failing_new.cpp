#include "support/failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace lumetra_test {
namespace {
std::atomic<AllocationFilter> filter{nullptr};

bool Fails(std::size_t n) {
  const AllocationFilter f = filter.load(std::memory_order_relaxed);
  return f != nullptr && f(n);
}
}  // namespace

void SetAllocationFilter(AllocationFilter fails) { filter.store(fails); }

}  // namespace lumetra_test

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // every form allocates by malloc
#endif

void* operator new(std::size_t n) {
  if (lumetra_test::Fails(n)) throw std::bad_alloc();
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return lumetra_test::Fails(n) ? nullptr : std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
