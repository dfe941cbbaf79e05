#pragma once
// Counting replacements of the global allocation functions, for the programs
// that link alloc_counter.cpp: every form of operator new, and (outside
// sanitizer builds, whose runtime owns malloc) the C library's malloc family,
// which also catches allocations made inside the noise-suppression library.

#include <atomic>

namespace hushkit::test {

// Allocations are counted while `countingAllocations` is set.
extern std::atomic<bool> countingAllocations;
extern std::atomic<long> allocations;

// Set to N > 0, the Nth operator new from then on fails as when memory runs
// out (the throwing forms throw std::bad_alloc, the others return null); it
// then falls back to 0, which fails nothing. The C library's functions never
// fail by it.
extern std::atomic<long> failingAllocation;

// Objects made with operator new and not yet deleted, anywhere in the
// process (a loaded module's new and delete resolve to these as well).
long liveObjects();

} // namespace hushkit::test
