// Engine parameters, preparation, latency and the two resets.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Engine.h"
#include "engine_test_signal.h"

using hushkit::Defaults;
using hushkit::Engine;
using hushkit::test::bytesOf;
using hushkit::test::run;
using hushkit::test::testSignal;

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

struct SetCase {
    uint32_t id;
    float value;
    float expected; // NaN: the targets do not change
};

TEST(EngineSet, ClampsOrIgnores)
{
    const SetCase cases[] = {
        {9, 0.3f, NaN},         {100, 0.3f, NaN},       {0xFFFFFFFFu, 0.3f, NaN}, {0, NaN, NaN},
        {0, Inf, NaN},          {0, -Inf, NaN},         {0, -2.0f, 0.0f},         {4, 5.0f, 1.0f},
        {3, 0.3f, 0.3f},        {8, 1.0f, 1.0f},        {7, 1e-30f, 1e-30f},      {2, 1.0000001f, 1.0f},
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " value " << c.value);
        Engine e;
        e.set(c.id, c.value);
        for (int k = 0; k < hushkit::EngineParamCount; ++k) {
            const bool changed = !std::isnan(c.expected) && static_cast<uint32_t>(k) == c.id;
            EXPECT_EQ(e.target[k], changed ? c.expected : Defaults[k]) << "target " << k;
            EXPECT_EQ(e.smoothed[k], Defaults[k]) << "set must not touch smoothed " << k;
        }
    }
}

TEST(EnginePrepare, DefaultsBeforePrepare)
{
    Engine e;
    EXPECT_FALSE(e.neuralActive);
    EXPECT_EQ(e.channelCount, 2);
    EXPECT_EQ(e.processingRate, 48000.0);
    EXPECT_EQ(e.latency, 1440);
    EXPECT_EQ(e.delayLength, 95);
    for (float c : e.coef)
        EXPECT_EQ(c, 0.0f);
    EXPECT_EQ(e.channel[0].denoiser, nullptr);
    EXPECT_EQ(e.channel[1].denoiser, nullptr);
}

struct PrepareCase {
    double rate;
    int channels;
    bool neural;
    bool live;
    bool active;
    bool resampling;
    double processingRate;
    int32_t latency;
};

TEST(EnginePrepare, ConfigurationAndLatency)
{
    const PrepareCase cases[] = {
        {48000.0, 2, true, true, true, false, 48000.0, 95},
        {48000.0, 2, true, false, true, false, 48000.0, 1440},
        {48000.05, 2, true, true, true, false, 48000.0, 95},
        {48000.05, 1, true, false, true, false, 48000.0, 1440},
        {47999.95, 2, true, false, true, false, 48000.0, 1440},
        {44100.0, 2, false, false, false, false, 44100.0, 1440},
        {44100.0, 1, false, true, false, false, 44100.0, 95},
        {48000.05, 2, false, false, false, false, 48000.05, 1440},
        {8000.0, 1, false, false, false, false, 8000.0, 1440},
        {192000.0, 2, false, true, false, false, 192000.0, 95},
    };
    for (const PrepareCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, neural " << c.neural
                                        << ", live " << c.live);
        Engine e;
        ASSERT_TRUE(e.prepare(c.rate, c.channels, c.neural, c.live));
        EXPECT_EQ(e.neuralActive, c.active);
        EXPECT_EQ(e.resampling, c.resampling);
        EXPECT_EQ(e.processingRate, c.processingRate);
        EXPECT_EQ(e.latency, c.latency);
        EXPECT_EQ(e.sampleRate, c.rate);
        EXPECT_EQ(e.channelCount, c.channels);
        EXPECT_EQ(e.delayLength, c.live ? 95 : 1440);
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_EQ(e.channel[ch].denoiser != nullptr, c.active && ch < c.channels) << "channel " << ch;
    }
}

// The coefficients follow the one-pole rule 1 - exp(-1 / (time x rate)) and
// the 220 Hz low-pass 1 - exp(-2 pi 220 / rate), within the rounding of a
// float exponential next to 1.
TEST(EnginePrepare, Coefficients)
{
    for (double rate : {8000.0, 44100.0, 48000.0, 192000.0}) {
        Engine e;
        ASSERT_TRUE(e.prepare(rate, 2, false, false));
        const double expected[4] = {1.0 - std::exp(-1.0 / (0.01 * rate)), 1.0 - std::exp(-1.0 / (0.002 * rate)),
                                    1.0 - std::exp(-1.0 / (0.15 * rate)),
                                    1.0 - std::exp(-2.0 * 3.14159265358979 * 220.0 / rate)};
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(e.coef[k], expected[k], 1.5e-7) << rate << " Hz, coef " << k;
    }
}

// The latency formula at the rates that convert; the table's values.
TEST(EnginePrepare, ConvertingLatencyTable)
{
    struct Row {
        double rate;
        int32_t live;
        int32_t classic;
    };
    const Row rows[] = {{8000, 35, 259},     {11025, 42, 351},   {16000, 54, 502},   {22050, 68, 686},
                        {32000, 92, 988},    {44100, 120, 1356}, {48000.2, 130, 1475}, {88200, 224, 2696},
                        {96000, 242, 2932},  {176400, 432, 5375}, {192000, 468, 5848}};
    for (const Row& r : rows) {
        for (bool live : {true, false}) {
            Engine e;
            ASSERT_TRUE(e.prepare(r.rate, live ? 1 : 2, true, live));
            EXPECT_EQ(e.latency, live ? r.live : r.classic) << r.rate << " Hz, live " << live;
            EXPECT_EQ(e.processingRate, 48000.0);
            EXPECT_EQ(e.resampling, e.neuralActive);
        }
    }
}

// A refused preparation changes nothing at all: configuration, states,
// meters and signal state of a working engine stay byte for byte the same.
TEST(EnginePrepare, RefusedLeavesEngineUntouched)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Bad {
        double rate;
        int channels;
    };
    const Bad bad[] = {{7999.99, 2}, {192000.5, 2}, {nan, 2}, {inf, 2}, {-inf, 2}, {0.0, 2},
                       {48000.0, 0}, {48000.0, 3},  {48000.0, -1}, {44100.0, 1000}};
    for (bool neural : {false, true}) {
        Engine e;
        ASSERT_TRUE(e.prepare(48000.0, 2, neural, false));
        std::vector<float> in[2] = {testSignal(2000, 1), testSignal(2000, 2)};
        std::vector<float> out[2] = {std::vector<float>(2000), std::vector<float>(2000)};
        run(e, in, out, 2);
        ASSERT_GT(e.inputPeak, 0.0f);
        const auto before = bytesOf(e);
        for (const Bad& b : bad) {
            for (bool n2 : {false, true}) {
                EXPECT_FALSE(e.prepare(b.rate, b.channels, n2, !n2)) << b.rate << " Hz, " << b.channels;
                EXPECT_TRUE(bytesOf(e) == before) << b.rate << " Hz, " << b.channels << " changed the engine";
            }
        }
    }
}

TEST(EnginePrepare, StereoThenMonoDropsSecondState)
{
    Engine e;
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    ASSERT_NE(e.channel[1].denoiser, nullptr);
    ASSERT_TRUE(e.prepare(48000.0, 1, true, false));
    EXPECT_NE(e.channel[0].denoiser, nullptr);
    EXPECT_EQ(e.channel[1].denoiser, nullptr);
    EXPECT_TRUE(e.neuralActive);
    // Live DSP owns no state at all.
    ASSERT_TRUE(e.prepare(48000.0, 2, false, false));
    EXPECT_EQ(e.channel[0].denoiser, nullptr);
    EXPECT_EQ(e.channel[1].denoiser, nullptr);
}

// Targets set before prepare are in force from the first sample (no glide).
TEST(EnginePrepare, TargetsSnapIntoSmoothed)
{
    Engine e;
    e.set(hushkit::ParamId::CleanupProfile, 1.0f);
    e.set(hushkit::ParamId::CleanAmount, 0.25f);
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    EXPECT_EQ(e.smoothed[hushkit::ParamId::CleanupProfile], 1.0f);
    EXPECT_EQ(e.smoothed[hushkit::ParamId::CleanAmount], 0.25f);
    e.set(hushkit::ParamId::Bypass, 1.0f);
    e.resetRealtime();
    EXPECT_EQ(e.smoothed[hushkit::ParamId::Bypass], 1.0f);
    e.set(hushkit::ParamId::Bypass, 0.0f);
    e.reset();
    EXPECT_EQ(e.smoothed[hushkit::ParamId::Bypass], 0.0f);
}

// After prepare, reset and resetRealtime every meter reads 0.
TEST(EngineReset, MetersZeroed)
{
    for (int op = 0; op < 3; ++op) {
        Engine e;
        ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
        std::vector<float> in[2] = {testSignal(1000, 3, 3.0f), testSignal(1000, 4, 3.0f)};
        std::vector<float> out[2] = {std::vector<float>(1000), std::vector<float>(1000)};
        e.set(hushkit::ParamId::OutputGain, 1.0f);
        run(e, in, out, 2);
        e.inputPeak = e.outputPeak = e.reduction = 0.5f;
        e.clipped = e.neuralFault = true;
        if (op == 0)
            ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
        else if (op == 1)
            e.reset();
        else
            e.resetRealtime();
        EXPECT_EQ(e.inputPeak, 0.0f) << op;
        EXPECT_EQ(e.outputPeak, 0.0f) << op;
        EXPECT_EQ(e.reduction, 0.0f) << op;
        EXPECT_FALSE(e.clipped) << op;
        EXPECT_FALSE(e.neuralFault) << op;
    }
}

// resetRealtime brings a used engine back to a freshly prepared one's
// behaviour, bit for bit, in every configuration, and keeps the
// configuration as it is.
TEST(EngineReset, RealtimeResetMatchesFreshEngine)
{
    struct Cfg {
        double rate;
        bool neural;
        bool live;
    };
    const Cfg cfgs[] = {{48000.0, false, false}, {44100.0, false, true}, {48000.0, true, false},
                        {48000.0, true, true}};
    for (const Cfg& c : cfgs) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz neural " << c.neural << " live " << c.live);
        Engine used;
        Engine fresh;
        ASSERT_TRUE(used.prepare(c.rate, 2, c.neural, c.live));
        ASSERT_TRUE(fresh.prepare(c.rate, 2, c.neural, c.live));
        std::vector<float> a[2] = {testSignal(5000, 11), testSignal(5000, 12)};
        std::vector<float> b[2] = {testSignal(6000, 13), testSignal(6000, 14)};
        std::vector<float> outUsed[2] = {std::vector<float>(6000), std::vector<float>(6000)};
        std::vector<float> outFresh[2] = {std::vector<float>(6000), std::vector<float>(6000)};
        std::vector<float> scratch[2] = {std::vector<float>(5000), std::vector<float>(5000)};
        used.set(hushkit::ParamId::BodyRestore, 0.8f);
        run(used, a, scratch, 2);
        used.set(hushkit::ParamId::BodyRestore, 0.0f);
        const bool active = used.neuralActive;
        const int32_t latency = used.latency;
        const double rate = used.processingRate;
        used.resetRealtime();
        EXPECT_EQ(used.neuralActive, active);
        EXPECT_EQ(used.latency, latency);
        EXPECT_EQ(used.processingRate, rate);
        run(used, b, outUsed, 2);
        run(fresh, b, outFresh, 2);
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_TRUE(outUsed[ch] == outFresh[ch]) << "channel " << ch;
    }
}

} // namespace
