// The analysis entry's gain floor and the live frame step, with the library's
// network replaced by a scripted one: this program defines compute_rnn itself,
// so the linker takes it instead of the library's.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include <rnnoise.h>

#include "Analyze.h"
#include "Engine.h"
#include "RnnoiseLayout.h"

struct HushkitRnnModel;
struct HushkitRnnState;

namespace {

struct Script {
    float gains[32] = {};
    float vad = 0.5f;
    int calls = 0;
} script;

void scriptAll(float g)
{
    for (float& v : script.gains)
        v = g;
}

using hushkit::rnnoise_layout::LastGainsOffset;

void setLastGains(DenoiseState* st, float value)
{
    for (int k = 0; k < 32; ++k)
        std::memcpy(reinterpret_cast<unsigned char*>(st) + LastGainsOffset + 4 * k, &value, 4);
}

std::vector<float> loudNoise(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-3000.0f, 3000.0f);
    std::vector<float> v(static_cast<size_t>(n));
    for (float& s : v)
        s = d(rng);
    return v;
}

} // namespace

extern "C" void compute_rnn(const HushkitRnnModel*, HushkitRnnState*, float* gains, float* vad, const float*, int)
{
    ++script.calls;
    std::memcpy(gains, script.gains, sizeof script.gains);
    *vad = script.vad;
}

namespace {

struct Denoiser {
    DenoiseState* st = rnnoise_create(nullptr);
    ~Denoiser() { rnnoise_destroy(st); }
};

class ScriptedNetwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = Script{};
        ASSERT_NE(hushkit_analyze_supported(), 0);
        ASSERT_TRUE(d.st);
    }
    Denoiser d;
    std::vector<float> frame = loudNoise(480, 1);
    float gains[32] = {};
};

} // namespace

// A gain that the network drops to 0 decays by the 0.3 floor per frame; a
// silent frame clears the floor.
TEST_F(ScriptedNetwork, FloorDecaysBy70PercentPerFrameUntilASilentFrame)
{
    script.vad = 0.75f;
    scriptAll(1.0f);
    EXPECT_EQ(hushkit_analyze(d.st, gains, frame.data()), 0.75f);
    const float expected[] = {1.0f, 0.3f, 0.09f, 0.027f, 0.0081f};
    float floor = 1.0f;
    for (int f = 0; f < 5; ++f) {
        if (f > 0) {
            scriptAll(0.0f);
            hushkit_analyze(d.st, gains, frame.data());
            floor = 0.3f * floor;
        }
        for (float g : gains) {
            ASSERT_EQ(g, floor);
            ASSERT_NEAR(g, expected[f], 1e-7f);
        }
    }
    // A band that the network raises above the floor takes the new value.
    script.gains[3] = 0.5f;
    hushkit_analyze(d.st, gains, frame.data());
    EXPECT_EQ(gains[3], 0.5f);
    EXPECT_EQ(gains[4], 0.3f * floor);

    // Zero input until a frame counts as silent (the analysis window and the
    // decaying high-pass still hold the last noise at first).
    const std::vector<float> zeros(480, 0.0f);
    bool silent = false;
    for (int f = 0; f < 40 && !silent; ++f) {
        const int calls = script.calls;
        const float r = hushkit_analyze(d.st, gains, zeros.data());
        silent = script.calls == calls;
        if (silent) {
            EXPECT_EQ(r, 0.0f);
            for (float g : gains)
                EXPECT_EQ(g, 0.0f);
        }
    }
    ASSERT_TRUE(silent);

    scriptAll(0.0f);
    script.gains[7] = 0.25f;
    hushkit_analyze(d.st, gains, frame.data());
    EXPECT_EQ(gains[0], 0.0f);
    EXPECT_EQ(gains[7], 0.25f);
}

// Shaping of one raw band gain with the band-gain exponents of the three
// profiles. Raw values below the library's floor only reach the shaping when
// the floor itself is below them, so the fixture sets the state's last gains.
TEST_F(ScriptedNetwork, LiveFrameStepShapesEachBand)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float raw;
        float last;
        float exponent;
        float shaped;
        bool fault;
    };
    const Case cases[] = {
        {-0.2f, -1.0f, 0.25f, 0.0f, false},  {1.7f, 0.0f, 0.25f, 1.0f, false},
        {0.01f, 0.0f, 0.25f, 0.316228f, false}, {0.01f, 0.0f, 0.30f, 0.251189f, false},
        {0.01f, 0.0f, 0.35f, 0.199526f, false}, {0.0f, 0.0f, 0.30f, 0.0f, false},
        {1.0f, 0.0f, 0.35f, 1.0f, false},    {inf, 0.0f, 0.30f, 1.0f, true},
        {0.5f, nan, 0.30f, 1.0f, true}, // NaN floor: the report is NaN
    };
    auto engine = std::make_unique<hushkit::Engine>();
    engine->basis.prepare();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "raw " << c.raw << " last " << c.last << " exponent " << c.exponent);
        auto ch = std::make_unique<hushkit::ChannelState>();
        ch->denoiser = d.st;
        ch->fir.setIdentity();
        std::memcpy(ch->frameIn, frame.data(), sizeof ch->frameIn);
        setLastGains(d.st, 0.0f);
        for (int k = 0; k < 32; ++k)
            script.gains[k] = k == 5 ? c.raw : 0.01f;
        // Band 5 carries the case, floor included.
        std::memcpy(reinterpret_cast<unsigned char*>(d.st) + LastGainsOffset + 4 * 5, &c.last, 4);

        script.vad = 0.625f;
        EXPECT_EQ(engine->liveFrameStep(*ch, c.exponent), 0.625f);
        EXPECT_EQ(ch->fault, c.fault);
        EXPECT_NEAR(ch->bandGains[5], c.shaped, 1e-6f);
        for (int k = 0; k < 32; ++k) {
            if (k != 5) {
                ASSERT_EQ(ch->bandGains[k], std::pow(0.01f, c.exponent)) << "band " << k;
            }
        }

        // The update ran with exactly these shaped gains, fault or not.
        hushkit::NeuralFir expected;
        expected.update(engine->basis, ch->bandGains);
        for (int j = 0; j < 96; ++j)
            ASSERT_EQ(ch->fir.target[j], expected.target[j]) << "tap " << j;
        ch->denoiser = nullptr;
    }
}

// The shaping works on the channel's copy: the library keeps the raw gain as
// the next frame's floor.
TEST_F(ScriptedNetwork, ShapingLeavesTheLibraryFloorRaw)
{
    auto engine = std::make_unique<hushkit::Engine>();
    engine->basis.prepare();
    auto ch = std::make_unique<hushkit::ChannelState>();
    ch->denoiser = d.st;
    std::memcpy(ch->frameIn, frame.data(), sizeof ch->frameIn);
    scriptAll(0.5f);
    engine->liveFrameStep(*ch, 0.25f);
    scriptAll(0.0f);
    engine->liveFrameStep(*ch, 0.25f);
    EXPECT_EQ(ch->bandGains[0], std::pow(0.3f * 0.5f, 0.25f));
    ch->denoiser = nullptr;
}

namespace {

// Runs n samples of mono noise through an engine and returns the output.
std::vector<float> run(hushkit::Engine& e, const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    const float* in[1] = {x.data()};
    float* out[1] = {y.data()};
    e.process(in, out, 1, static_cast<int32_t>(x.size()));
    return y;
}

} // namespace

// A non-finite band gain disables the channel's neural path: from the next
// sample on its output is the expander output delayed by 95 samples (what a
// Live DSP engine produces, 95 samples later), and every call reports it.
TEST_F(ScriptedNetwork, NonFiniteGainSwitchesToTheDelayedExpander)
{
    auto live = std::make_unique<hushkit::Engine>();
    auto dsp = std::make_unique<hushkit::Engine>();
    ASSERT_TRUE(live->prepare(48000.0, 1, true, true));
    ASSERT_TRUE(live->neuralActive);
    ASSERT_TRUE(dsp->prepare(48000.0, 1, false, true));

    std::vector<float> x = loudNoise(4800, 2);
    for (float& s : x)
        s *= 1.0f / 32768.0f;

    scriptAll(0.5f);
    script.gains[5] = std::numeric_limits<float>::infinity();
    const std::vector<float> first(x.begin(), x.begin() + 480);
    run(*live, first);
    EXPECT_TRUE(live->channel[0].fault);
    EXPECT_TRUE(live->neuralFault);
    EXPECT_EQ(live->channel[0].bandGains[5], 1.0f);
    EXPECT_EQ(live->channel[0].bandGains[4], std::pow(0.5f, 0.30f));
    EXPECT_EQ(script.calls, 1);

    scriptAll(0.5f);
    const std::vector<float> rest(x.begin() + 480, x.end());
    const std::vector<float> y = run(*live, rest);
    EXPECT_TRUE(live->neuralFault);
    EXPECT_EQ(script.calls, 1) << "a faulted channel analyses no further frames";

    const std::vector<float> reference = run(*dsp, x);
    for (size_t n = 0; n < rest.size(); ++n)
        ASSERT_EQ(y[n], reference[n + 480 - 95]) << "sample " << n;

    live->resetRealtime();
    EXPECT_FALSE(live->channel[0].fault);
}

// A voice probability that is not finite is a library fault as well: the
// channel switches to the delayed expander output from the next sample on,
// analyses no further frames and reports the fault until a reset.
TEST_F(ScriptedNetwork, NonFiniteVoiceProbabilityFaultsTheChannel)
{
    auto live = std::make_unique<hushkit::Engine>();
    auto dsp = std::make_unique<hushkit::Engine>();
    ASSERT_TRUE(live->prepare(48000.0, 1, true, true));
    ASSERT_TRUE(live->neuralActive);
    ASSERT_TRUE(dsp->prepare(48000.0, 1, false, true));

    std::vector<float> x = loudNoise(4800, 4);
    for (float& s : x)
        s *= 1.0f / 32768.0f;
    const std::vector<float> reference = run(*dsp, x);

    for (const float vad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(vad);
        live->resetRealtime();
        script = Script{};
        scriptAll(0.5f);
        script.vad = vad;
        const std::vector<float> first(x.begin(), x.begin() + 480);
        run(*live, first);
        EXPECT_TRUE(live->channel[0].fault);
        EXPECT_TRUE(live->neuralFault);
        EXPECT_TRUE(std::isfinite(live->channel[0].speech));

        script.vad = 0.5f;
        const std::vector<float> rest(x.begin() + 480, x.end());
        const std::vector<float> y = run(*live, rest);
        EXPECT_TRUE(live->neuralFault);
        EXPECT_EQ(script.calls, 1) << "a faulted channel analyses no further frames";
        for (size_t n = 0; n < rest.size(); ++n)
            ASSERT_EQ(y[n], reference[n + 480 - 95]) << "sample " << n;
    }
    live->resetRealtime();
    EXPECT_FALSE(live->channel[0].fault);
}

// A frame completed while the profile glides from Live to Studio is shaped
// with the exponent of its last sample.
TEST_F(ScriptedNetwork, ExponentFollowsTheGlidingProfile)
{
    auto engine = std::make_unique<hushkit::Engine>();
    engine->set(hushkit::ParamId::CleanupProfile, 0.0f);
    ASSERT_TRUE(engine->prepare(48000.0, 1, true, true));
    engine->set(hushkit::ParamId::CleanupProfile, 1.0f);

    float s8 = engine->smoothed[hushkit::ParamId::CleanupProfile];
    for (int n = 0; n < 480; ++n)
        s8 = s8 + (1.0f - s8) * engine->coef[0];
    const float exponent = (s8 + s8) * 0.05f + 0.25f;
    ASSERT_GT(exponent, 0.26f);
    ASSERT_LT(exponent, 0.34f);

    scriptAll(0.01f);
    std::vector<float> x = loudNoise(480, 3);
    for (float& s : x)
        s *= 1.0f / 32768.0f;
    run(*engine, x);
    EXPECT_EQ(script.calls, 1);
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ(engine->channel[0].bandGains[k], std::pow(0.01f, exponent));
}
