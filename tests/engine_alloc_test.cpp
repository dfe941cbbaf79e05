// The per-block path allocates nothing: every form of global operator new is
// replaced by a counting one, and (outside AddressSanitizer builds) so are
// the C library's malloc family, which would also catch allocations made
// inside the noise-suppression library.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "Engine.h"
#include "engine_test_signal.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void note()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define HUSHKIT_COUNT_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HUSHKIT_COUNT_MALLOC 0
#endif
#endif
#ifndef HUSHKIT_COUNT_MALLOC
#define HUSHKIT_COUNT_MALLOC 1
#endif

#if HUSHKIT_COUNT_MALLOC
// glibc's own entry points, so that the replacements can forward to them.
// Under AddressSanitizer the sanitizer owns malloc and these are left out;
// operator new is still counted there.
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

void* operator new(size_t n)
{
    note();
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    note();
    return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void* operator new(size_t n, std::align_val_t a)
{
    note();
    void* p = nullptr;
    const size_t align = static_cast<size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<size_t>(a);
    if (posix_memalign(&p, align, n ? n : 1) != 0)
        throw std::bad_alloc();
    return p;
}
void* operator new[](size_t n, std::align_val_t a) { return operator new(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

using hushkit::Engine;

struct Cfg {
    const char* name;
    double rate;
    int channels;
    bool neural;
    bool live;
};

TEST(EngineAlloc, CountersWork)
{
    counting = true;
    auto* p = new int(3);
    std::vector<float> v(100);
    counting = false;
    delete p;
    EXPECT_GE(allocations.exchange(0), 2);
}

TEST(EngineAlloc, BlockPathAllocatesNothing)
{
    const Cfg cfgs[] = {{"Live DSP 48k", 48000.0, 2, false, false}, {"Live DSP 44.1k", 44100.0, 1, false, true},
                        {"Neural Classic 48k", 48000.0, 2, true, false}, {"Neural Live 48k", 48000.0, 2, true, true},
                        {"Neural Classic 44.1k", 44100.0, 2, true, false}, {"Neural Live 44.1k", 44100.0, 2, true, true}};
    constexpr int Frames = 480 * 10 + 77;
    for (const Cfg& c : cfgs) {
        Engine e;
        ASSERT_TRUE(e.prepare(c.rate, c.channels, c.neural, c.live)) << c.name;
        std::vector<float> in[2] = {hushkit::test::testSignal(Frames, 1), hushkit::test::testSignal(Frames, 2)};
        std::vector<float> out[2] = {std::vector<float>(Frames), std::vector<float>(Frames)};
        allocations = 0;
        counting = true;
        for (int pos = 0, b = 0; pos < Frames; pos += 256, ++b) {
            const int n = std::min(256, Frames - pos);
            const float* ip[2] = {in[0].data() + pos, in[1].data() + pos};
            float* op[2] = {out[0].data() + pos, out[1].data() + pos};
            e.set(static_cast<uint32_t>(b % 9), 0.3f + 0.05f * static_cast<float>(b % 7));
            e.process(b % 5 == 3 ? nullptr : ip, op, c.channels, n);
            if (b == 7)
                e.resetRealtime();
        }
        counting = false;
        EXPECT_EQ(allocations.load(), 0) << c.name;
    }
}

} // namespace
