// The values the chain derives from its smoothed parameters, the speech
// follower, the reduction meter's mean, and the cleaning depth as the chain
// applies it in the Live profile.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ChainValues.h"
#include "Engine.h"
#include "engine_test_signal.h"

using hushkit::Engine;
using hushkit::ParamId;
using hushkit::test::run;
using hushkit::test::testSignal;

namespace {

// Smoothed values s0..s8 with the given clean amount, ambience, noise
// reduction and profile; the rest at their defaults.
std::vector<float> smoothedValues(float s0, float s1, float s2, float s8)
{
    std::vector<float> s(hushkit::Defaults, hushkit::Defaults + hushkit::EngineParamCount);
    s[ParamId::CleanAmount] = s0;
    s[ParamId::OriginalAmbience] = s1;
    s[ParamId::NoiseReduction] = s2;
    s[ParamId::CleanupProfile] = s8;
    s[ParamId::BodyRestore] = 0.25f;
    s[ParamId::DryWet] = 0.75f;
    s[ParamId::Bypass] = 0.125f;
    return s;
}

} // namespace

TEST(ChainValues, DerivedFromTheSmoothedParameters)
{
    struct Case {
        const char* name;
        float s0, s1, s2, s8;
        float depth, studio, exponent, threshold, expanderDepth;
    };
    const Case cases[] = {
        {"live", 1, 0, 1, 0.0f, 0.85f, 0, 0.25f, 0.0064f, 1},
        {"between live and broadcast", 1, 0, 1, 0.25f, 0.925f, 0, 0.275f, 0.0082f, 1},
        {"broadcast", 1, 0, 1, 0.5f, 1, 0, 0.30f, 0.01f, 1},
        {"between broadcast and studio", 1, 0, 1, 0.75f, 1, 0.5f, 0.325f, 0.0118f, 1},
        {"studio", 1, 0, 1, 1.0f, 1, 1, 0.35f, 0.0136f, 1},
        {"live, full ambience", 1, 1, 1, 0.0f, 0.6375f, 0, 0.25f, 0.0064f, 1},
        {"broadcast, half clean, less reduction", 0.5f, 0.4f, 0.8f, 0.5f, 0.36f, 0, 0.30f, 0.0082f, 0.4f},
        {"live, no reduction", 1, 0, 0, 0.0f, 0, 0, 0.25f, 0.001f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> s = smoothedValues(c.s0, c.s1, c.s2, c.s8);
        const hushkit::FrameValues v = hushkit::deriveFrameValues(s.data());
        EXPECT_NEAR(v.depth, c.depth, 1e-6f);
        EXPECT_NEAR(v.studio, c.studio, 1e-6f);
        EXPECT_NEAR(v.exponent, c.exponent, 1e-6f);
        EXPECT_NEAR(v.threshold, c.threshold, 1e-7f);
        EXPECT_NEAR(v.expanderDepth, c.expanderDepth, 1e-7f);
        EXPECT_EQ(v.s3, 0.25f);
        EXPECT_EQ(v.s5, 0.75f);
        EXPECT_EQ(v.s7, 0.125f);
    }
}

TEST(ChainValues, SpeechFollowsTheVoiceProbability)
{
    struct Case {
        float speech, r, expected;
    };
    const Case cases[] = {
        {1.0f, 0.0f, 1.0f - 0.92f * 0.08f},      // silence: 8 % of the way down to 0.08
        {0.5f, 0.35f, 0.5f + 0.5f * 0.85f},      // 0.35 counts as full speech: 85 % of the way up
        {0.5f, 1.0f, 0.5f + 0.5f * 0.85f},       // and nothing above it counts more
        {0.1f, 0.0175f, 0.1f - 0.02f * 0.08f},   // below the 0.08 floor: falls only to the floor
        {0.2f, 0.14f, 0.2f + 0.2f * 0.85f},      // 0.14 / 0.35 = 0.4
        {0.08f, 0.0f, 0.08f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(hushkit::followSpeech(c.speech, c.r), c.expected, 1e-6f) << c.speech << " " << c.r;
}

// A stereo block of 2^30 frames counts 2^31 samples, one more than a 32-bit
// product holds.
TEST(ChainValues, ReductionMeanOfLargeBlocks)
{
    EXPECT_EQ(hushkit::reductionMean(1073741824.0f, 1 << 30, 2), 0.5f);
    EXPECT_EQ(hushkit::reductionMean(3.0f, 0x7fffffff, 2), 3.0f / 4294967294.0f);
    EXPECT_EQ(hushkit::reductionMean(6.0f, 3, 2), 1.0f);
}

// In the Live profile, and between Live and Broadcast, only part of the
// neural estimate reaches the output: the chain mixes it with the delayed
// expander output by the cleaning depth. The Broadcast engine (depth 1) gives
// the estimate, a Live DSP engine with the same profile the expander output.
TEST(ChainValues, LiveProfileMixesTheEstimateByItsDepth)
{
    struct Case {
        float profile, ambience, depth;
    };
    const Case cases[] = {{0.0f, 0.0f, 0.85f}, {0.0f, 1.0f, 0.6375f}, {0.25f, 0.0f, 0.925f}};
    constexpr int Frames = 480 * 30;
    constexpr int Delay = 1440;
    const std::vector<float> x = testSignal(Frames, 77, 0.6f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "profile " << c.profile << " ambience " << c.ambience);
        Engine mixed, estimate, expander;
        mixed.set(ParamId::CleanupProfile, c.profile);
        mixed.set(ParamId::OriginalAmbience, c.ambience);
        expander.set(ParamId::CleanupProfile, c.profile);
        ASSERT_TRUE(mixed.prepare(48000.0, 1, true, false));
        ASSERT_TRUE(estimate.prepare(48000.0, 1, true, false));
        ASSERT_TRUE(expander.prepare(48000.0, 1, false, false));
        ASSERT_TRUE(mixed.neuralActive && estimate.neuralActive);

        std::vector<float> in[1] = {x};
        std::vector<float> y[1] = {std::vector<float>(Frames)};
        std::vector<float> e[1] = {std::vector<float>(Frames)};
        std::vector<float> d[1] = {std::vector<float>(Frames)};
        run(mixed, in, y, 1);
        run(estimate, in, e, 1);
        run(expander, in, d, 1);

        double worst = 0;
        double spread = 0;
        for (int n = Delay + 480; n < Frames; ++n) {
            const float dsp = d[0][n - Delay];
            const float expected = dsp + (e[0][n] - dsp) * c.depth;
            worst = std::max(worst, static_cast<double>(std::fabs(y[0][n] - expected)));
            spread = std::max(spread, static_cast<double>(std::fabs(e[0][n] - dsp)));
        }
        ASSERT_GT(spread, 0.05) << "estimate and expander output must differ for the mix to show";
        EXPECT_LT(worst, 2e-6);
    }
}
