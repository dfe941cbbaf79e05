// The engine in its two neural configurations at 48 kHz: the live estimate's
// timing at the defaults, and cleaning of real voice in noise.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <rnnoise.h>

#include "Engine.h"
#include "signals.h"

namespace {

using hushkit::test::Pcm16Voice;
using hushkit::test::voiceLike;

std::vector<float> run(hushkit::Engine& e, const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    const float* in[1] = {x.data()};
    float* out[1] = {y.data()};
    // Blocks of varying size, as a host would send them.
    size_t pos = 0;
    for (int32_t block = 1; pos < x.size(); block = block % 700 + 97) {
        const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), x.size() - pos));
        const float* i1[1] = {in[0] + pos};
        float* o1[1] = {out[0] + pos};
        e.process(i1, o1, 1, n);
        pos += static_cast<size_t>(n);
    }
    return y;
}

// Mono 16-bit PCM WAV at 48 kHz, as samples in -1..1; empty if the file is
// missing or of another format.
std::vector<float> readVoice(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    const std::vector<unsigned char> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t p) { return uint32_t(b[p]) | uint32_t(b[p + 1]) << 8 | uint32_t(b[p + 2]) << 16 | uint32_t(b[p + 3]) << 24; };
    auto u16 = [&](size_t p) { return uint32_t(b[p]) | uint32_t(b[p + 1]) << 8; };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return {};
    bool formatOk = false;
    for (size_t p = 12; p + 8 <= b.size();) {
        const uint32_t size = u32(p + 4);
        const size_t body = p + 8;
        if (body + size > b.size())
            break;
        if (std::memcmp(b.data() + p, "fmt ", 4) == 0 && size >= 16)
            formatOk = u16(body) == 1 && u16(body + 2) == 1 && u32(body + 4) == 48000 && u16(body + 14) == 16;
        if (std::memcmp(b.data() + p, "data", 4) == 0 && formatOk) {
            std::vector<float> v(size / 2);
            for (size_t i = 0; i < v.size(); ++i)
                v[i] = static_cast<float>(static_cast<int16_t>(u16(body + 2 * i))) / 32768.0f;
            return v;
        }
        p = body + size + (size & 1);
    }
    return {};
}

// SNR improvement in dB of the engine's output, aligned by its latency, over
// the noisy input, both measured against the clean voice.
double improvement(bool live, const std::vector<float>& clean, const std::vector<float>& noisy)
{
    auto engine = std::make_unique<hushkit::Engine>();
    EXPECT_TRUE(engine->prepare(48000.0, 1, true, live));
    EXPECT_TRUE(engine->neuralActive);
    const std::vector<float> out = run(*engine, noisy);
    const auto delay = static_cast<size_t>(engine->latency);

    double signal = 0.0, before = 0.0, after = 0.0;
    for (size_t n = 0; n + delay < clean.size(); ++n) {
        signal += double(clean[n]) * clean[n];
        before += (double(noisy[n]) - clean[n]) * (double(noisy[n]) - clean[n]);
        after += (double(out[n + delay]) - clean[n]) * (double(out[n + delay]) - clean[n]);
    }
    return 10.0 * std::log10(signal / after) - 10.0 * std::log10(signal / before);
}

} // namespace

// At the defaults the live output is the neural estimate itself: the
// high-passed input through the band-gain filter, which is centred 95 samples
// back and driven by the analysis of each completed frame.
TEST(NeuralEngine, LiveOutputAtDefaultsIsTheEstimateDelayed95Samples)
{
    auto engine = std::make_unique<hushkit::Engine>();
    ASSERT_TRUE(engine->prepare(48000.0, 1, true, true));
    ASSERT_TRUE(engine->neuralActive);
    ASSERT_EQ(engine->latency, 95);

    std::vector<float> x = voiceLike(200 * 480, 5, Pcm16Voice);
    std::mt19937 rng(6);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (float& s : x)
        s = s / 32768.0f + noise(rng);
    const std::vector<float> y = run(*engine, x);

    // The same estimate built from its parts.
    auto parts = std::make_unique<hushkit::Engine>();
    parts->basis.prepare();
    auto ch = std::make_unique<hushkit::ChannelState>();
    ch->denoiser = rnnoise_create(nullptr);
    ASSERT_TRUE(ch->denoiser);
    ch->fir.setIdentity();
    const float coef = engine->highpassCoef;
    float prevIn = 0.0f, prevOut = 0.0f;
    std::vector<float> hp(x.size());
    int updates = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        hp[n] = ((prevOut + x[n]) - prevIn) * coef;
        prevIn = x[n];
        prevOut = hp[n];
        float e = ch->fir.process(hp[n]);
        e = std::isfinite(e) ? std::min(std::max(e, -4.0f), 4.0f) : 0.0f;
        ASSERT_NEAR(y[n], e, 1e-6f * (1.0f + std::fabs(e))) << "sample " << n;
        // Before the first frame completes the filter is a pure delay.
        if (n < 480) {
            ASSERT_NEAR(y[n], n < 95 ? 0.0f : hp[n - 95], 1e-6f) << "sample " << n;
        }
        ch->frameIn[n % 480] = hp[n] * 32768.0f;
        if (n % 480 == 479) {
            parts->liveFrameStep(*ch, 0.3f);
            ++updates;
        }
    }
    EXPECT_EQ(updates, 200);
    EXPECT_FALSE(engine->neuralFault);
    rnnoise_destroy(ch->denoiser);
}

// The demo voice of the platform's sound files, mixed with white noise at
// 0 dB SNR, comes out of both neural configurations with a clearly better
// SNR.
TEST(NeuralEngine, CleansVoiceInWhiteNoise)
{
    std::vector<float> clean;
    for (const char* name : {"Front_Center", "Front_Left", "Front_Right", "Rear_Center", "Rear_Left", "Rear_Right",
                             "Side_Left", "Side_Right"}) {
        const std::vector<float> v = readVoice(std::string("/usr/share/sounds/alsa/") + name + ".wav");
        clean.insert(clean.end(), v.begin(), v.end());
    }
    if (clean.size() < 48000)
        GTEST_SKIP() << "demo voice recordings not installed";

    double power = 0.0;
    for (float s : clean)
        power += double(s) * s;
    const double rms = std::sqrt(power / double(clean.size()));
    std::mt19937 rng(12);
    std::normal_distribution<double> white(0.0, rms);
    std::vector<float> noisy(clean.size());
    for (size_t n = 0; n < clean.size(); ++n)
        noisy[n] = static_cast<float>(clean[n] + white(rng));

    const double liveGain = improvement(true, clean, noisy);
    const double classicGain = improvement(false, clean, noisy);
    std::printf("SNR improvement at 0 dB input: Neural Live %.2f dB, Neural Classic %.2f dB\n", liveGain,
                classicGain);
    RecordProperty("live_db", std::to_string(liveGain));
    RecordProperty("classic_db", std::to_string(classicGain));
    EXPECT_GT(liveGain, 4.0);
    EXPECT_GT(classicGain, 4.0);
}
