// Loaded into a program with LD_PRELOAD: every operator new of at least
// HUSHKIT_FAIL_NEW_FROM bytes fails as when memory runs out (the throwing
// forms throw std::bad_alloc, the others return null); smaller ones are
// served by malloc. Without the variable nothing fails.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

size_t smallestFailing()
{
    static const size_t limit = [] {
        const char* text = std::getenv("HUSHKIT_FAIL_NEW_FROM");
        return text ? static_cast<size_t>(std::strtoull(text, nullptr, 10)) : SIZE_MAX;
    }();
    return limit;
}

void* take(size_t n) noexcept { return n >= smallestFailing() ? nullptr : std::malloc(n ? n : 1); }

void* takeOrThrow(size_t n)
{
    if (void* p = take(n))
        return p;
    throw std::bad_alloc();
}

} // namespace

// The matching deletes free what malloc gave.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) { return takeOrThrow(n); }
void* operator new[](size_t n) { return takeOrThrow(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return take(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return take(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
