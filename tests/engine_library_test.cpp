// What the engine asks of the noise-suppression library: counted through
// link-time wrappers (-Wl,--wrap) around the library's public functions,
// which can also make creation fail or corrupt a frame's output.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include <rnnoise.h>

#include "Engine.h"
#include "engine_test_signal.h"

extern "C" {
DenoiseState* __real_rnnoise_create(RNNModel* model);
int __real_rnnoise_init(DenoiseState* st, RNNModel* model);
float __real_rnnoise_process_frame(DenoiseState* st, float* out, const float* in);
void __real_rnnoise_destroy(DenoiseState* st);
}

namespace {

struct Calls {
    int create = 0, init = 0, frame = 0, destroy = 0;
    int failCreateAfter = -1;            // creations that still succeed; -1: all
    DenoiseState* corrupt = nullptr;     // this state's frames come out as NaN
    DenoiseState* noVoice = nullptr;     // this state's frames report a NaN voice probability
};
Calls calls;

} // namespace

extern "C" {
DenoiseState* __wrap_rnnoise_create(RNNModel* model)
{
    ++calls.create;
    if (calls.failCreateAfter == 0)
        return nullptr;
    if (calls.failCreateAfter > 0)
        --calls.failCreateAfter;
    return __real_rnnoise_create(model);
}
int __wrap_rnnoise_init(DenoiseState* st, RNNModel* model)
{
    ++calls.init;
    return __real_rnnoise_init(st, model);
}
float __wrap_rnnoise_process_frame(DenoiseState* st, float* out, const float* in)
{
    ++calls.frame;
    const float r = __real_rnnoise_process_frame(st, out, in);
    if (st == calls.corrupt)
        out[17] = std::numeric_limits<float>::quiet_NaN();
    if (st == calls.noVoice)
        return std::numeric_limits<float>::quiet_NaN();
    return r;
}
void __wrap_rnnoise_destroy(DenoiseState* st)
{
    ++calls.destroy;
    __real_rnnoise_destroy(st);
}
}

using hushkit::Engine;
using hushkit::test::run;
using hushkit::test::testSignal;

namespace {

class EngineLibrary : public testing::Test {
protected:
    void SetUp() override { calls = Calls{}; }
    void TearDown() override { calls = Calls{}; }
};

TEST_F(EngineLibrary, PrepareCreatesAndPrimes)
{
    Engine e;
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    EXPECT_EQ(calls.create, 2);
    EXPECT_EQ(calls.frame, 2) << "classic primes each state with one silent frame";
    calls = Calls{};
    ASSERT_TRUE(e.prepare(48000.0, 1, true, true));
    EXPECT_EQ(calls.destroy, 2);
    EXPECT_EQ(calls.create, 1);
    EXPECT_EQ(calls.frame, 0) << "live does not prime";
    calls = Calls{};
    ASSERT_TRUE(e.prepare(44100.0, 2, false, false));
    EXPECT_EQ(calls.destroy, 1);
    EXPECT_EQ(calls.create, 0);
}

TEST_F(EngineLibrary, RealtimeResetInitialisesInPlace)
{
    struct Case {
        bool neural, live;
        int channels;
        int init, frame;
    };
    const Case cases[] = {{false, false, 2, 0, 0}, {false, true, 1, 0, 0}, {true, false, 2, 2, 2},
                          {true, false, 1, 1, 1}, {true, true, 2, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "neural " << c.neural << " live " << c.live << " ch " << c.channels);
        Engine e;
        ASSERT_TRUE(e.prepare(48000.0, c.channels, c.neural, c.live));
        calls = Calls{};
        e.resetRealtime();
        EXPECT_EQ(calls.create, 0);
        EXPECT_EQ(calls.destroy, 0);
        EXPECT_EQ(calls.init, c.init);
        EXPECT_EQ(calls.frame, c.frame);
    }
}

TEST_F(EngineLibrary, DestructionReleasesStates)
{
    {
        Engine e;
        ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    }
    EXPECT_EQ(calls.destroy, 2);
}

// A state that cannot be created: Live DSP at the caller's rate, the
// computed latency kept, and the same output as a Live DSP engine.
TEST_F(EngineLibrary, CreationFailureFallsBackToLiveDsp)
{
    for (int succeed : {0, 1}) {
        SCOPED_TRACE(succeed);
        calls = Calls{};
        calls.failCreateAfter = succeed;
        Engine e;
        ASSERT_TRUE(e.prepare(44100.0, 2, true, false));
        calls.failCreateAfter = -1;
        EXPECT_FALSE(e.neuralActive);
        EXPECT_FALSE(e.resampling);
        EXPECT_EQ(e.processingRate, 44100.0);
        EXPECT_EQ(e.latency, 1356);
        Engine dsp;
        ASSERT_TRUE(dsp.prepare(44100.0, 2, false, false));
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(e.coef[k], dsp.coef[k]);
        std::vector<float> in[2] = {testSignal(3000, 101), testSignal(3000, 102)};
        std::vector<float> a[2] = {std::vector<float>(3000), std::vector<float>(3000)};
        std::vector<float> b[2] = {a[0], a[1]};
        run(e, in, a, 2);
        run(dsp, in, b, 2);
        EXPECT_TRUE(a[0] == b[0] && a[1] == b[1]);
        e.resetRealtime(); // a leftover state may be re-initialised; nothing breaks
        const int destroyed = calls.destroy;
        ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
        EXPECT_TRUE(e.neuralActive) << "the next prepare tries again";
        EXPECT_EQ(calls.destroy - destroyed, succeed);
    }
}

// A non-finite library output faults the channel: from then on it carries
// the delayed expander output, and every call reports neuralFault until the
// next reset; the other channel stays neural.
TEST_F(EngineLibrary, NonFiniteFrameOutputFaultsChannel)
{
    constexpr int Frames = 480 * 12;
    Engine e, dsp;
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    ASSERT_TRUE(dsp.prepare(48000.0, 2, false, false));
    calls.corrupt = e.channel[1].denoiser;
    std::vector<float> in[2] = {testSignal(Frames, 111), testSignal(Frames, 112)};
    std::vector<float> out[2] = {std::vector<float>(Frames), std::vector<float>(Frames)};
    std::vector<float> ref[2] = {out[0], out[1]};
    // Frame 0 completes at sample 479; from sample 480 on channel 1 is faulted.
    const float* ip[2] = {in[0].data(), in[1].data()};
    float* op[2] = {out[0].data(), out[1].data()};
    e.process(ip, op, 2, 479);
    EXPECT_FALSE(e.neuralFault);
    const float* ip1[2] = {in[0].data() + 479, in[1].data() + 479};
    float* op1[2] = {out[0].data() + 479, out[1].data() + 479};
    e.process(ip1, op1, 2, 1);
    EXPECT_TRUE(e.neuralFault);
    EXPECT_TRUE(e.channel[1].fault);
    EXPECT_FALSE(e.channel[0].fault);
    for (int pos = 480; pos < Frames; pos += 160) {
        const float* p[2] = {in[0].data() + pos, in[1].data() + pos};
        float* o[2] = {out[0].data() + pos, out[1].data() + pos};
        e.process(p, o, 2, 160);
        EXPECT_TRUE(e.neuralFault) << pos;
    }
    for (float v : e.channel[1].frameOut)
        ASSERT_TRUE(std::isfinite(v));
    run(dsp, in, ref, 2);
    for (int n = 480; n < Frames; ++n)
        ASSERT_NEAR(out[1][static_cast<size_t>(n)], ref[1][static_cast<size_t>(n - 1440 < 0 ? 0 : n - 1440)] *
                                                        (n >= 1440 ? 1.0f : 0.0f), 1e-6) << n;
    calls.corrupt = nullptr;
    e.resetRealtime();
    EXPECT_FALSE(e.channel[1].fault);
    float* o[2] = {out[0].data(), out[1].data()};
    e.process(ip, o, 2, 100);
    EXPECT_FALSE(e.neuralFault);
}

// A voice probability that is not finite faults the channel in the same way,
// and the speech estimate keeps its last value.
TEST_F(EngineLibrary, NonFiniteVoiceProbabilityFaultsChannel)
{
    constexpr int Frames = 480 * 8;
    Engine e, dsp;
    e.set(hushkit::ParamId::CleanupProfile, 1.0f);
    dsp.set(hushkit::ParamId::CleanupProfile, 1.0f);
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    ASSERT_TRUE(dsp.prepare(48000.0, 2, false, false));
    calls.noVoice = e.channel[0].denoiser;
    std::vector<float> in[2] = {testSignal(Frames, 121), testSignal(Frames, 122)};
    std::vector<float> out[2] = {std::vector<float>(Frames), std::vector<float>(Frames)};
    std::vector<float> ref[2] = {out[0], out[1]};
    const float* ip[2] = {in[0].data(), in[1].data()};
    float* op[2] = {out[0].data(), out[1].data()};
    e.process(ip, op, 2, 480);
    EXPECT_TRUE(e.neuralFault);
    EXPECT_TRUE(e.channel[0].fault);
    EXPECT_FALSE(e.channel[1].fault);
    EXPECT_EQ(e.channel[0].speech, 1.0f);
    for (int pos = 480; pos < Frames; pos += 480) {
        const float* p[2] = {in[0].data() + pos, in[1].data() + pos};
        float* o[2] = {out[0].data() + pos, out[1].data() + pos};
        e.process(p, o, 2, 480);
        EXPECT_TRUE(e.neuralFault) << pos;
    }
    EXPECT_EQ(e.channel[0].speech, 1.0f);
    EXPECT_FALSE(e.channel[1].fault);
    run(dsp, in, ref, 2);
    for (int n = 1440; n < Frames; ++n)
        ASSERT_NEAR(out[0][static_cast<size_t>(n)], ref[0][static_cast<size_t>(n - 1440)], 1e-6) << n;
    EXPECT_GT(std::fabs(out[1][Frames - 100] - ref[1][Frames - 100 - 1440]) +
                  std::fabs(out[1][Frames - 300] - ref[1][Frames - 300 - 1440]), 0.0f)
        << "the healthy channel stays neural";
}

} // namespace
