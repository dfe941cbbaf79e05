// The editor's timer refresh, which runs every 16 ms for the editor's whole
// life, allocates nothing, whether the polled values change or not. Every
// form of global operator new is replaced by a counting one, so this is a
// program of its own. (The shared counter, alloc_counter.cpp, forwards to
// glibc's own entry points, which MinGW's C library does not have.)

#include "editor_host.h"

#include "Types.h"

#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace editor_test;
using hushkit::Editor;
using hushkit::ParamId;

namespace {

class RefreshAllocTest : public AttachedEditor {
protected:
    // One timer message to the editor, counted.
    long countedTick()
    {
        allocations = 0;
        counting = true;
        SendMessageW(editor->window, WM_TIMER, Editor::TimerId, 0);
        counting = false;
        return allocations;
    }
};

} // namespace

TEST_F(RefreshAllocTest, SteadyRefreshAllocatesAndRepaintsNothing)
{
    SendMessageW(editor->window, WM_TIMER, Editor::TimerId, 0);
    UpdateWindow(editor->window);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(countedTick(), 0) << i;
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(editor->window, &dirty, FALSE));
}

TEST_F(RefreshAllocTest, ChangingValuesAllocateNothing)
{
    SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
    long total = 0;
    for (int i = 0; i < 200; ++i) {
        const double v = (i % 10) / 9.0;
        for (Steinberg::Vst::ParamID id = 0; id < 7; ++id)
            set(id, v);
        set(ParamId::Bypass, i % 2);
        set(ParamId::CleanupProfile, (i % 3) * 0.5);
        set(ParamId::ProcessingMode, ((i + 1) % 3) * 0.5);
        set(ParamId::InputPeak, v * 0.5);
        set(ParamId::OutputPeak, v * 0.25);
        total += countedTick();
    }
    EXPECT_EQ(total, 0);
    // The refreshes did their work.
    EXPECT_EQ(SendMessageW(editor->sliders[0], TBM_GETPOS, 0, 0), 1000);
    EXPECT_EQ(SendMessageW(editor->profileList, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageW(editor->modeList, CB_GETCURSEL, 0, 0), 2);
}
