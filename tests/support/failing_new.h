// A replacement of the global operator new and delete for the tests that
// make allocations fail: linking this file's object (it is pulled in by a
// call of SetAllocationFilter) replaces every plain form, new and new[],
// throwing and nothrow, by malloc and free, so any delete may free any block.
//
// While a filter is set, every allocation asks it first; when it answers
// true the throwing forms throw std::bad_alloc and the nothrow forms return
// null.  The filter runs inside operator new: it must not allocate.
#ifndef LUMETRA_TESTS_SUPPORT_FAILING_NEW_H
#define LUMETRA_TESTS_SUPPORT_FAILING_NEW_H

#include <cstddef>

namespace lumetra_test {

using AllocationFilter = bool (*)(std::size_t bytes);

// Sets the filter (null: every allocation is served as usual).
void SetAllocationFilter(AllocationFilter fails);

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_FAILING_NEW_H
