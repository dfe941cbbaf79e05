// The per-block path allocates nothing, and a preparation that runs out of
// memory leaves nothing half-made: both seen through the replaced allocation
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
using hushkit::test::failingAllocation;
using hushkit::test::liveObjects;

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

// Both channels of a signal run through the engine, one after the other.
std::vector<float> cleaned(Engine& e)
{
    constexpr int Frames = 3000;
    const std::vector<float> in[2] = {hushkit::test::testSignal(Frames, 1), hushkit::test::testSignal(Frames, 2)};
    std::vector<float> out[2] = {std::vector<float>(Frames), std::vector<float>(Frames)};
    hushkit::test::run(e, in, out, 2);
    out[0].insert(out[0].end(), out[1].begin(), out[1].end());
    return out[0];
}

// An engine that is not prepared: no noise-suppression state, no kernel
// table, every configuration member and coefficient at its starting value,
// the smoothed values at the defaults; the targets are the caller's.
void expectNotPrepared(const Engine& e, float cleanAmount)
{
    EXPECT_FALSE(e.neuralActive);
    EXPECT_EQ(e.channel[0].denoiser, nullptr);
    EXPECT_EQ(e.channel[1].denoiser, nullptr);
    EXPECT_TRUE(e.inputKernel.table.empty());
    EXPECT_TRUE(e.outputKernel.table.empty());
    for (float c : e.coef)
        EXPECT_EQ(c, 0.0f);
    EXPECT_EQ(e.processingRate, 48000.0);
    EXPECT_EQ(e.sampleRate, 48000.0);
    EXPECT_EQ(e.channelCount, 2);
    EXPECT_EQ(e.latency, 1440);
    EXPECT_EQ(e.delayLength, 95);
    EXPECT_TRUE(e.live);
    EXPECT_TRUE(e.neuralEnabled);
    EXPECT_FALSE(e.resampling);
    EXPECT_EQ(e.hostPosition, 0);
    const float defaults[9] = {1.0f, 0.0f, 1.0f, 0.0f, 0.1f, 1.0f, 0.5f, 0.0f, 0.5f};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(e.target[k], k == 0 ? cleanAmount : defaults[k]) << k;
        EXPECT_EQ(e.smoothed[k], defaults[k]) << k;
    }
    EXPECT_EQ(e.inputPeak, 0.0f);
    EXPECT_EQ(e.outputPeak, 0.0f);
    EXPECT_EQ(e.reduction, 0.0f);
}

// Each allocation of a converting preparation in turn runs out of memory:
// prepare returns false, gives back what it had taken (and the states of the
// configuration before it), and the engine cleans exactly as one that was
// never prepared. A later preparation with memory to spare works as usual.
TEST(EngineAlloc, PreparationOutOfMemoryLeavesTheEngineNotPrepared)
{
    constexpr float CleanAmount = 0.3f;
    Engine neverPrepared;
    neverPrepared.set(hushkit::ParamId::CleanAmount, CleanAmount);
    const std::vector<float> unprepared = cleaned(neverPrepared);
    Engine direct;
    direct.set(hushkit::ParamId::CleanAmount, CleanAmount);
    ASSERT_TRUE(direct.prepare(44100.0, 2, true, true));
    const std::vector<float> prepared = cleaned(direct);

    int failures = 0;
    for (long n = 1; n <= 16; ++n) {
        SCOPED_TRACE(n);
        Engine e;
        ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
        e.set(hushkit::ParamId::CleanAmount, CleanAmount);
        const long objects = liveObjects();
        failingAllocation = n;
        const bool result = e.prepare(44100.0, 2, true, true);
        const bool ranOut = failingAllocation.exchange(0) == 0;
        if (!ranOut) {
            EXPECT_TRUE(result);
            break;
        }
        ++failures;
        EXPECT_FALSE(result);
        EXPECT_EQ(liveObjects(), objects);
        expectNotPrepared(e, CleanAmount);
        EXPECT_TRUE(cleaned(e) == unprepared);

        ASSERT_TRUE(e.prepare(44100.0, 2, true, true));
        EXPECT_TRUE(cleaned(e) == prepared);
    }
    // The two conversion tables.
    EXPECT_EQ(failures, 2);
}

} // namespace
