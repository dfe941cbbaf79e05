// The per-block path allocates nothing, counted by the replaced allocation
// functions of alloc_counter.cpp.

#include <gtest/gtest.h>

#include <vector>

#include "Engine.h"
#include "alloc_counter.h"
#include "engine_test_signal.h"

namespace {

using hushkit::Engine;
using hushkit::test::allocations;
using hushkit::test::countingAllocations;

struct Cfg {
    const char* name;
    double rate;
    int channels;
    bool neural;
    bool live;
};

TEST(EngineAlloc, CountersWork)
{
    countingAllocations = true;
    auto* p = new int(3);
    std::vector<float> v(100);
    countingAllocations = false;
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
        countingAllocations = true;
        for (int pos = 0, b = 0; pos < Frames; pos += 256, ++b) {
            const int n = std::min(256, Frames - pos);
            const float* ip[2] = {in[0].data() + pos, in[1].data() + pos};
            float* op[2] = {out[0].data() + pos, out[1].data() + pos};
            e.set(static_cast<uint32_t>(b % 9), 0.3f + 0.05f * static_cast<float>(b % 7));
            e.process(b % 5 == 3 ? nullptr : ip, op, c.channels, n);
            if (b == 7)
                e.resetRealtime();
        }
        countingAllocations = false;
        EXPECT_EQ(allocations.load(), 0) << c.name;
    }
}

} // namespace
