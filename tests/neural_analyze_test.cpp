// The analysis entry against the library's own frame function, and its
// handling of silent frames.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <rnnoise.h>

#include "Analyze.h"
#include "RnnoiseLayout.h"
#include "signals.h"

namespace {

using namespace hushkit::rnnoise_layout;
using hushkit::test::Pcm16Voice;
using hushkit::test::voiceLike;

struct States {
    DenoiseState* a = rnnoise_create(nullptr);
    DenoiseState* b = rnnoise_create(nullptr);
    ~States()
    {
        rnnoise_destroy(a);
        rnnoise_destroy(b);
    }
};

const unsigned char* bytes(const DenoiseState* st) { return reinterpret_cast<const unsigned char*>(st); }

} // namespace

TEST(NeuralAnalyze, LayoutOfThisLibraryIsSupported)
{
    EXPECT_EQ(rnnoise_get_size(), 32688);
    EXPECT_NE(hushkit_analyze_supported(), 0);
}

// The library's frame function computes the same high-pass, features and
// network before it synthesises, so on one input the two states must report
// the same voice probability, bit for bit, and advance their high-pass
// memories and network states identically.
TEST(NeuralAnalyze, VoiceProbabilityEqualsTheLibraryFrameFunction)
{
    ASSERT_NE(hushkit_analyze_supported(), 0);
    States s;
    ASSERT_TRUE(s.a && s.b);
    const std::vector<float> in = voiceLike(400 * 480, 1, Pcm16Voice);
    float gains[32];
    float out[480];
    float highest = 0.0f;
    int silent = 0;
    for (int f = 0; f < 400; ++f) {
        const float* frame = in.data() + f * 480;
        const float va = hushkit_analyze(s.a, gains, frame);
        const float vb = rnnoise_process_frame(s.b, out, frame);
        ASSERT_EQ(std::memcmp(&va, &vb, sizeof va), 0) << "frame " << f << ": " << va << " vs " << vb;
        ASSERT_EQ(std::memcmp(bytes(s.a) + HighpassOffset, bytes(s.b) + HighpassOffset, 8), 0) << "frame " << f;
        ASSERT_EQ(std::memcmp(bytes(s.a) + RecurrentOffset, bytes(s.b) + RecurrentOffset, RecurrentBytes), 0)
            << "frame " << f;
        for (float g : gains) {
            ASSERT_GE(g, 0.0f);
            ASSERT_LE(g, 1.0f);
        }
        highest = std::max(highest, va);
        silent += va == 0.0f;
    }
    // The input must exercise the network, not just silence.
    EXPECT_GT(highest, 0.5f);
    EXPECT_LT(silent, 40);
}

TEST(NeuralAnalyze, SilentFrameClearsGainsAndKeepsTheNetworkState)
{
    States s;
    ASSERT_TRUE(s.a);
    const std::vector<float> in = voiceLike(60 * 480, 1, Pcm16Voice);
    float gains[32];
    for (int f = 0; f < 60; ++f)
        hushkit_analyze(s.a, gains, in.data() + f * 480);

    const std::vector<float> zeros(480, 0.0f);
    hushkit_analyze(s.a, gains, zeros.data());
    hushkit_analyze(s.a, gains, zeros.data());

    std::vector<unsigned char> before(bytes(s.a), bytes(s.a) + rnnoise_get_size());
    for (float& g : gains)
        g = 0.5f;
    EXPECT_EQ(hushkit_analyze(s.a, gains, zeros.data()), 0.0f);
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(gains[k], 0.0f);
        float last;
        std::memcpy(&last, bytes(s.a) + LastGainsOffset + 4 * k, 4);
        EXPECT_EQ(last, 0.0f);
    }
    EXPECT_EQ(std::memcmp(before.data() + RecurrentOffset, bytes(s.a) + RecurrentOffset, RecurrentBytes), 0);
    // The high-pass memory (still decaying after the voice) and the analysis
    // window move on.
    EXPECT_NE(std::memcmp(before.data() + HighpassOffset, bytes(s.a) + HighpassOffset, 8), 0);
    EXPECT_NE(std::memcmp(before.data() + WindowOffset, bytes(s.a) + WindowOffset, WindowBytes), 0);
}
