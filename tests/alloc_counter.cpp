#include "alloc_counter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace hushkit::test {

std::atomic<bool> countingAllocations{false};
std::atomic<long> allocations{0};
std::atomic<long> failingAllocation{0};

namespace {
std::atomic<long> live{0};

void note()
{
    if (countingAllocations.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

// Whether this operator new is the one that failingAllocation names.
bool failsNow()
{
    return failingAllocation.load(std::memory_order_relaxed) > 0 &&
           failingAllocation.fetch_sub(1, std::memory_order_relaxed) == 1;
}
} // namespace

long liveObjects() { return live.load(); }

} // namespace hushkit::test

using hushkit::test::failsNow;
using hushkit::test::note;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HUSHKIT_COUNT_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define HUSHKIT_COUNT_MALLOC 0
#endif
#endif
#ifndef HUSHKIT_COUNT_MALLOC
#define HUSHKIT_COUNT_MALLOC 1
#endif

#if HUSHKIT_COUNT_MALLOC
// glibc's own entry points, so that the replacements can forward to them.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n)
{
    note();
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t m)
{
    note();
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n)
{
    note();
    return __libc_realloc(p, n);
}
void* aligned_alloc(size_t a, size_t n)
{
    note();
    return __libc_memalign(a, n);
}
int posix_memalign(void** out, size_t a, size_t n)
{
    note();
    *out = __libc_memalign(a, n);
    return *out ? 0 : 12;
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

// The memory under operator new, taken without counting a second time.
void* rawAllocate(size_t n, size_t align)
{
#if HUSHKIT_COUNT_MALLOC
    return align ? __libc_memalign(align, n) : __libc_malloc(n);
#else
    void* p = nullptr;
    if (!align)
        return std::malloc(n);
    return posix_memalign(&p, align, n) == 0 ? p : nullptr;
#endif
}

void* newObject(size_t n, size_t align = 0) noexcept
{
    note();
    if (failsNow())
        return nullptr;
    if (align && align < sizeof(void*))
        align = sizeof(void*);
    void* p = rawAllocate(n ? n : 1, align);
    if (p)
        hushkit::test::live.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void deleteObject(void* p) noexcept
{
    if (!p)
        return;
    hushkit::test::live.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}

void* newOrThrow(size_t n, size_t align = 0)
{
    if (void* p = newObject(n, align))
        return p;
    throw std::bad_alloc();
}

} // namespace

// GCC warns about free on a pointer handed to operator delete, which is
// exactly what a replacement pair does.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) { return newOrThrow(n); }
void* operator new[](size_t n) { return newOrThrow(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return newObject(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return newObject(n); }
void* operator new(size_t n, std::align_val_t a) { return newOrThrow(n, static_cast<size_t>(a)); }
void* operator new[](size_t n, std::align_val_t a) { return newOrThrow(n, static_cast<size_t>(a)); }
void* operator new(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return newObject(n, static_cast<size_t>(a));
}
void* operator new[](size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return newObject(n, static_cast<size_t>(a));
}
void operator delete(void* p) noexcept { deleteObject(p); }
void operator delete[](void* p) noexcept { deleteObject(p); }
void operator delete(void* p, size_t) noexcept { deleteObject(p); }
void operator delete[](void* p, size_t) noexcept { deleteObject(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { deleteObject(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { deleteObject(p); }
void operator delete(void* p, std::align_val_t) noexcept { deleteObject(p); }
void operator delete[](void* p, std::align_val_t) noexcept { deleteObject(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { deleteObject(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { deleteObject(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { deleteObject(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { deleteObject(p); }
#pragma GCC diagnostic pop
