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

// Objects made with operator new and not yet deleted, anywhere in the
// process (a loaded module's new and delete resolve to these as well).
long liveObjects();

} // namespace hushkit::test
