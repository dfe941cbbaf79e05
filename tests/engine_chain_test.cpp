// The per-sample chain: Live DSP against an independent reference, the
// classic neural estimate, refused calls, nulls, non-finite values, meters,
// the floating-point register and the output controls.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include <rnnoise.h>
#include <xmmintrin.h>

#include "Engine.h"
#include "engine_test_signal.h"

using hushkit::Engine;
using hushkit::ParamId;
using hushkit::test::bytesOf;
using hushkit::test::run;
using hushkit::test::testSignal;

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

// ------------------------------------------------------------ reference ---

// The Live DSP chain in double precision, written from its formulas: smoothed
// parameters, one-pole high-pass, envelope and gate of the expander, body
// restore, dry/wet, gain and bypass, output limiting and the meters.
struct Reference {
    double rate;
    int channels;
    double target[9];
    double s[9];
    struct Ch {
        double hpIn = 0, hpOut = 0, env = 0, gate = 1, body = 0;
    } ch[2];
    double inputPeak = 0, outputPeak = 0, reduction = 0;
    bool clipped = false;

    Reference(double r, int c, const float* initial) : rate(r), channels(c)
    {
        for (int k = 0; k < 9; ++k)
            target[k] = s[k] = initial[k];
    }
    static double onePole(double seconds, double rate) { return 1.0 - std::exp(-1.0 / (seconds * rate)); }

    void block(const std::vector<float>* in, std::vector<double>* out, int from, int count)
    {
        const double smooth = onePole(0.010, rate), attack = onePole(0.002, rate), release = onePole(0.150, rate);
        const double body = 1.0 - std::exp(-2.0 * M_PI * 220.0 / rate);
        inputPeak = outputPeak = 0;
        clipped = false;
        double sum = 0;
        for (int n = from; n < from + count; ++n) {
            for (int k = 0; k < 9; ++k)
                s[k] += (target[k] - s[k]) * smooth;
            const double level = 2 * s[8];
            const double knee = 0.6 + 0.4 * level;
            const double threshold = 0.001 + 0.009 * s[2] * knee;
            const double hpCoef = std::exp(-2.0 * M_PI * (35.0 + 145.0 * s[4]) / rate);
            const double gain = std::pow(10.0, (36.0 * s[6] - 18.0) / 20.0);
            for (int c = 0; c < channels; ++c) {
                Ch& st = ch[c];
                double x = in[c][static_cast<size_t>(n)];
                x = std::isfinite(x) ? std::min(4.0, std::max(-4.0, x)) : 0.0;
                inputPeak = std::max(inputPeak, std::fabs(x));
                const double hp = hpCoef * (st.hpOut + x - st.hpIn);
                st.hpIn = x;
                st.hpOut = hp;
                const double a = std::fabs(hp);
                st.env += (a - st.env) * (a > st.env ? attack : release);
                const double g = std::min(1.0, std::max(0.15, st.env / threshold));
                st.gate += (g - st.gate) * (g > st.gate ? attack : release);
                const double dsp = hp * (1.0 - s[0] * s[2] * (1.0 - st.gate));
                st.body += (dsp - st.body) * body;
                double y = dsp + 0.35 * s[3] * st.body;
                y = (x + s[5] * (y - x)) * gain;
                y = y + s[7] * (x - y);
                clipped = clipped || std::fabs(y) > 1.0;
                y = std::min(4.0, std::max(-4.0, y));
                out[c][static_cast<size_t>(n)] = y;
                outputPeak = std::max(outputPeak, std::fabs(y));
                sum += std::max(0.0, std::fabs(x) - std::fabs(y));
            }
        }
        reduction = sum / (count * channels);
    }
};

struct ChainCase {
    const char* name;
    double rate;
    int channels;
    float params[9];
    // Applied at the given sample frame, at a block boundary.
    int changeAt;
    float changed[9];
    float level;
};

TEST(EngineChain, LiveDspMatchesReference)
{
    const ChainCase cases[] = {
        {"defaults", 48000.0, 2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f}, -1, {}, 0.5f},
        {"live profile", 48000.0, 1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.0f}, -1, {}, 0.5f},
        {"studio, body, gain", 44100.0, 2, {0.8f, 0.3f, 0.9f, 0.7f, 0.9f, 0.6f, 0.8f, 0.2f, 1.0f}, -1, {}, 0.8f},
        {"glides", 8000.0, 2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f}, 2048,
         {0.3f, 0.5f, 0.6f, 1.0f, 0.7f, 0.4f, 0.2f, 0.5f, 0.0f}, 0.5f},
        {"clipping", 192000.0, 2, {1, 0, 1, 0, 0.0f, 1, 1.0f, 0, 0.5f}, 4096, {1, 0, 1, 0, 0.0f, 1, 0.0f, 0, 0.5f},
         3.0f},
    };
    constexpr int Frames = 8192;
    constexpr int Block = 512;
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e;
        for (uint32_t k = 0; k < 9; ++k)
            e.set(k, c.params[k]);
        ASSERT_TRUE(e.prepare(c.rate, c.channels, false, false));
        Reference ref(c.rate, c.channels, c.params);
        std::vector<float> in[2] = {testSignal(Frames, 21, c.level), testSignal(Frames, 22, c.level)};
        in[0][100] = 9.0f;
        std::vector<float> out[2] = {std::vector<float>(Frames), std::vector<float>(Frames)};
        std::vector<double> expect[2] = {std::vector<double>(Frames), std::vector<double>(Frames)};
        for (int pos = 0; pos < Frames; pos += Block) {
            if (pos == c.changeAt) {
                for (uint32_t k = 0; k < 9; ++k) {
                    e.set(k, c.changed[k]);
                    ref.target[k] = c.changed[k];
                }
            }
            const float* ip[2] = {in[0].data() + pos, in[1].data() + pos};
            float* op[2] = {out[0].data() + pos, out[1].data() + pos};
            e.process(ip, op, c.channels, Block);
            ref.block(in, expect, pos, Block);
            EXPECT_NEAR(e.inputPeak, ref.inputPeak, 1e-6) << pos;
            EXPECT_NEAR(e.outputPeak, ref.outputPeak, 1e-4 * std::max(1.0, ref.outputPeak)) << pos;
            EXPECT_NEAR(e.reduction, ref.reduction, 1e-5 + ref.reduction * 1e-3) << pos;
            EXPECT_EQ(e.clipped, ref.clipped) << pos;
            EXPECT_FALSE(e.neuralFault);
        }
        double worst = 0;
        for (int ch = 0; ch < c.channels; ++ch)
            for (int n = 0; n < Frames; ++n)
                worst = std::max(worst, std::fabs(out[ch][n] - expect[ch][n]) / std::max(1.0, std::fabs(expect[ch][n])));
        EXPECT_LT(worst, 2e-4);
    }
}

// With all coefficients 0 an unprepared engine passes the input through the
// 49.5 Hz high-pass only.
TEST(EngineChain, UnpreparedIsHighPass)
{
    Engine e;
    std::vector<float> in[2] = {testSignal(3000, 5), testSignal(3000, 6)};
    std::vector<float> out[2] = {std::vector<float>(3000), std::vector<float>(3000)};
    run(e, in, out, 2);
    const double c = std::exp(-2.0 * M_PI * 49.5 / 48000.0);
    for (int ch = 0; ch < 2; ++ch) {
        double prevIn = 0, prevOut = 0;
        for (size_t n = 0; n < 3000; ++n) {
            const double hp = c * (prevOut + in[ch][n] - prevIn);
            prevIn = in[ch][n];
            prevOut = hp;
            ASSERT_NEAR(out[ch][n], hp, 2e-5) << ch << " " << n;
        }
    }
}

// --------------------------------------------------------- classic path ---

// The library's own frame output for the engine's high-passed input, from a
// state primed with one silent frame; returns the frames and their voice
// probabilities.
struct LibraryRun {
    std::vector<float> out;  // frame k's output at [k * 480, (k + 1) * 480)
    std::vector<float> vad;
};

LibraryRun libraryOnHighPassed(const std::vector<float>& x)
{
    const float c = std::exp(((0.1f * 145.0f + 35.0f) * -6.2831855f) / 48000.0f);
    std::vector<float> frame(480);
    LibraryRun r;
    r.out.resize(x.size() / 480 * 480);
    DenoiseState* st = rnnoise_create(nullptr);
    std::vector<float> zeros(480), dummy(480);
    rnnoise_process_frame(st, dummy.data(), zeros.data());
    float prevIn = 0, prevOut = 0;
    for (size_t k = 0; k + 480 <= x.size(); k += 480) {
        for (size_t i = 0; i < 480; ++i) {
            const float hp = ((prevOut + x[k + i]) - prevIn) * c;
            prevIn = x[k + i];
            prevOut = hp;
            frame[i] = hp * 32768.0f;
        }
        r.vad.push_back(rnnoise_process_frame(st, r.out.data() + k, frame.data()));
    }
    rnnoise_destroy(st);
    return r;
}

// At the defaults (Broadcast, depth 1) the classic output is the library's
// output for the previous frame, scaled to +-1 and limited to +-4; in Studio
// the estimate is scaled by the speech estimate that follows the frames'
// voice probability.
TEST(EngineClassic, OutputIsLibraryEstimate)
{
    constexpr int Frames = 480 * 40;
    const std::vector<float> x = testSignal(Frames, 31, 0.6f);
    const LibraryRun lib = libraryOnHighPassed(x);
    for (float profile : {0.5f, 1.0f}) {
        SCOPED_TRACE(profile);
        Engine e;
        e.set(ParamId::CleanupProfile, profile);
        ASSERT_TRUE(e.prepare(48000.0, 1, true, false));
        ASSERT_TRUE(e.neuralActive);
        EXPECT_EQ(e.latency, 1440);
        std::vector<float> in[1] = {x};
        std::vector<float> out[1] = {std::vector<float>(Frames)};
        run(e, in, out, 1, 300);
        float speech = 1.0f;
        double worst = 0;
        for (int n = 0; n < Frames; ++n) {
            const int k = n / 480;
            if (k > 0 && n % 480 == 0) {
                const float q = std::min(1.0f, std::max(0.08f, lib.vad[static_cast<size_t>(k - 1)] / 0.35f));
                speech += (q - speech) * (q > speech ? 0.85f : 0.08f);
            }
            float est = k == 0 ? 0.0f : lib.out[static_cast<size_t>(n - 480)] / 32768.0f;
            if (profile == 1.0f)
                est *= speech;
            est = std::min(4.0f, std::max(-4.0f, est));
            worst = std::max(worst, static_cast<double>(std::fabs(out[0][n] - est)));
        }
        EXPECT_LT(worst, 1e-6);
        const float q = std::min(1.0f, std::max(0.08f, lib.vad.back() / 0.35f));
        speech += (q - speech) * (q > speech ? 0.85f : 0.08f);
        EXPECT_NEAR(e.channel[0].speech, speech, 1e-6);
    }
}

// Silent frames have voice probability 0: speech falls by 8 % of its
// distance to 0.08 per frame.
TEST(EngineClassic, SpeechFallsOnSilence)
{
    Engine e;
    e.set(ParamId::CleanupProfile, 1.0f);
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    std::vector<float> buf(480);
    float expected = 1.0f;
    for (int k = 0; k < 5; ++k) {
        float* out[2] = {buf.data(), buf.data()};
        e.process(nullptr, out, 2, 480);
        expected += (0.08f - expected) * 0.08f;
        EXPECT_FLOAT_EQ(e.channel[0].speech, expected) << k;
        EXPECT_FLOAT_EQ(e.channel[1].speech, expected) << k;
    }
}

// Dry/wet 0 gives the input delayed by 1440 samples times the output gain;
// bypass 1 gives the delayed input; both glide in with 10 ms.
TEST(EngineClassic, DryWetAndBypassUseAlignedDry)
{
    struct Case {
        uint32_t id;
        float value;
        float gainParam;
        bool neural;
    };
    const Case cases[] = {{ParamId::DryWet, 0.0f, 0.5f, true},  {ParamId::DryWet, 0.0f, 0.75f, true},
                          {ParamId::Bypass, 1.0f, 0.9f, true},  {ParamId::DryWet, 0.0f, 0.25f, false},
                          {ParamId::Bypass, 1.0f, 0.9f, false}};
    constexpr int Frames = 48000;
    const std::vector<float> x = testSignal(Frames, 41, 0.3f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " gain " << c.gainParam << " neural " << c.neural);
        Engine e;
        e.set(ParamId::OutputGain, c.gainParam);
        ASSERT_TRUE(e.prepare(48000.0, 1, c.neural, false));
        const int delay = c.neural ? 1440 : 0;
        const double gain = c.id == ParamId::Bypass ? 1.0 : std::pow(10.0, (36.0 * c.gainParam - 18.0) / 20.0);
        std::vector<float> in[1] = {x};
        std::vector<float> out[1] = {std::vector<float>(Frames)};
        // First half with the control at rest, then the step.
        const float* ip[1] = {in[0].data()};
        float* op[1] = {out[0].data()};
        e.process(ip, op, 1, Frames / 2);
        e.set(c.id, c.value);
        // 480 samples (10 ms) after the step the control has moved 1 - 1/e
        // of the way; 200 ms after it the output is the aligned dry signal.
        const float* ip2[1] = {in[0].data() + Frames / 2};
        float* op2[1] = {out[0].data() + Frames / 2};
        e.process(ip2, op2, 1, 480);
        const double start = c.id == ParamId::Bypass ? 0.0 : 1.0;
        EXPECT_NEAR(e.smoothed[c.id], start + (c.value - start) * (1.0 - std::exp(-1.0)), 2e-3);
        const float* ip3[1] = {in[0].data() + Frames / 2 + 480};
        float* op3[1] = {out[0].data() + Frames / 2 + 480};
        e.process(ip3, op3, 1, Frames / 2 - 480);
        for (int n = Frames / 2 + 9600; n < Frames; ++n) {
            const double dry = n >= delay ? std::min(4.0, std::max(-4.0, x[n - delay] * gain)) : 0.0;
            ASSERT_NEAR(out[0][n], dry, 2e-4 * std::max(0.05, std::fabs(dry))) << n;
        }
        EXPECT_NEAR(e.smoothed[c.id], c.value, 1e-4);
    }
}

// ---------------------------------------------------- refused and nulls ---

struct Refused {
    const char* name;
    bool nullOut;
    int channels;
    int frames;
};

TEST(EngineCalls, RefusedCallsChangeNothing)
{
    const Refused cases[] = {{"null output", true, 2, 256}, {"no channels", false, 0, 256},
                             {"negative channels", false, -1, 256}, {"three channels", false, 3, 256},
                             {"negative frames", false, 2, -1}, {"minimum frames", false, 2, INT32_MIN}};
    for (bool neural : {false, true}) {
        for (int prepared : {1, 2}) {
            Engine e;
            ASSERT_TRUE(e.prepare(48000.0, prepared, neural, false));
            std::vector<float> in[2] = {testSignal(1000, 51, 2.0f), testSignal(1000, 52, 2.0f)};
            std::vector<float> out[2] = {std::vector<float>(1000), std::vector<float>(1000)};
            e.set(ParamId::OutputGain, 1.0f);
            run(e, in, out, prepared);
            e.set(ParamId::CleanAmount, 0.2f);
            ASSERT_GT(e.reduction + e.outputPeak, 0.0f);
            const auto before = bytesOf(e);
            for (const Refused& r : cases) {
                std::vector<float> buf[2] = {std::vector<float>(256, 7.0f), std::vector<float>(256, 7.0f)};
                const float* ip[2] = {in[0].data(), in[1].data()};
                float* op[2] = {buf[0].data(), buf[1].data()};
                e.process(ip, r.nullOut ? nullptr : op, r.channels, r.frames);
                EXPECT_TRUE(bytesOf(e) == before) << r.name << ", neural " << neural << ", " << prepared;
                EXPECT_EQ(buf[0][0], 7.0f) << r.name;
            }
            if (prepared == 1) {
                float* op[2] = {out[0].data(), out[1].data()};
                e.process(nullptr, op, 2, 10);
                EXPECT_TRUE(bytesOf(e) == before) << "two channels on a mono engine";
            }
        }
    }
}

// A frame count of 0 zeroes the meters and nothing else.
TEST(EngineCalls, ZeroFramesZeroesMetersOnly)
{
    Engine e;
    ASSERT_TRUE(e.prepare(48000.0, 2, true, false));
    std::vector<float> in[2] = {testSignal(2000, 61, 3.0f), testSignal(2000, 62, 3.0f)};
    std::vector<float> out[2] = {std::vector<float>(2000), std::vector<float>(2000)};
    e.set(ParamId::OutputGain, 1.0f);
    run(e, in, out, 2);
    e.neuralFault = true;
    ASSERT_TRUE(e.inputPeak > 0 && e.outputPeak > 0 && e.clipped);
    const float ip = e.inputPeak, op = e.outputPeak, red = e.reduction;
    const auto before = bytesOf(e);
    float* o[2] = {out[0].data(), out[1].data()};
    e.process(nullptr, o, 2, 0);
    EXPECT_EQ(e.inputPeak, 0.0f);
    EXPECT_EQ(e.outputPeak, 0.0f);
    EXPECT_EQ(e.reduction, 0.0f);
    EXPECT_FALSE(e.clipped);
    EXPECT_FALSE(e.neuralFault);
    e.inputPeak = ip;
    e.outputPeak = op;
    e.reduction = red;
    e.clipped = true;
    e.neuralFault = true;
    EXPECT_TRUE(bytesOf(e) == before) << "more than the meters changed";
}

// Two engines hold the same signal state (filters, rings, frames, smoothed
// parameters); padding bytes differ between objects, so field by field.
bool sameSignalState(const Engine& a, const Engine& b)
{
    bool same = std::memcmp(a.smoothed, b.smoothed, sizeof a.smoothed) == 0 && a.highpassCoef == b.highpassCoef;
    for (int c = 0; c < 2; ++c) {
        const hushkit::ChannelState& x = a.channel[c];
        const hushkit::ChannelState& y = b.channel[c];
        same = same && std::memcmp(x.frameIn, y.frameIn, sizeof x.frameIn) == 0 &&
               std::memcmp(x.frameOut, y.frameOut, sizeof x.frameOut) == 0 &&
               std::memcmp(x.dryDelay, y.dryDelay, sizeof x.dryDelay) == 0 &&
               std::memcmp(x.wetDelay, y.wetDelay, sizeof x.wetDelay) == 0 && x.framePos == y.framePos &&
               x.delayPos == y.delayPos && x.hpPrevIn == y.hpPrevIn && x.hpPrevOut == y.hpPrevOut &&
               x.envelope == y.envelope && x.bodyState == y.bodyState && x.gate == y.gate &&
               x.speech == y.speech && x.fault == y.fault;
    }
    return same;
}

// A null input pointer or channel pointer cleans silence: output and state
// are those of zero input.
TEST(EngineCalls, NullInputIsSilence)
{
    for (bool neural : {false, true}) {
        Engine a, b, c;
        for (Engine* e : {&a, &b, &c})
            ASSERT_TRUE(e->prepare(48000.0, 2, neural, false));
        std::vector<float> zeros(2000, 0.0f);
        std::vector<float> outA[2] = {std::vector<float>(2000), std::vector<float>(2000)};
        std::vector<float> outB[2] = {outA[0], outA[1]};
        std::vector<float> outC[2] = {outA[0], outA[1]};
        // Start from a non-zero state so that silence still produces output.
        std::vector<float> warm[2] = {testSignal(1000, 71), testSignal(1000, 72)};
        std::vector<float> scratch[2] = {std::vector<float>(1000), std::vector<float>(1000)};
        for (Engine* e : {&a, &b, &c})
            run(*e, warm, scratch, 2);
        for (int pos = 0; pos < 2000; pos += 200) {
            const float* zp[2] = {zeros.data() + pos, zeros.data() + pos};
            const float* half[2] = {nullptr, zeros.data() + pos};
            float* pa[2] = {outA[0].data() + pos, outA[1].data() + pos};
            float* pb[2] = {outB[0].data() + pos, outB[1].data() + pos};
            float* pc[2] = {outC[0].data() + pos, outC[1].data() + pos};
            a.process(zp, pa, 2, 200);
            b.process(nullptr, pb, 2, 200);
            c.process(half, pc, 2, 200);
        }
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_TRUE(outA[ch] == outB[ch]) << neural << " " << ch;
            EXPECT_TRUE(outA[ch] == outC[ch]) << neural << " " << ch;
        }
        EXPECT_NE(outA[0][0], 0.0f);
        EXPECT_TRUE(sameSignalState(a, b)) << neural;
        EXPECT_TRUE(sameSignalState(a, c)) << neural;
    }
}

// A null output channel pointer: that channel does not advance at all and
// the reduction is still divided by both channels.
TEST(EngineCalls, NullOutputChannelSkipsChannel)
{
    for (bool neural : {false, true}) {
        Engine e, mono;
        ASSERT_TRUE(e.prepare(48000.0, 2, neural, false));
        ASSERT_TRUE(mono.prepare(48000.0, 2, neural, false));
        std::vector<float> in[2] = {testSignal(3000, 81), testSignal(3000, 82, 3.0f)};
        std::vector<float> out[2] = {std::vector<float>(3000), std::vector<float>(3000)};
        std::vector<float> outMono(3000);
        const auto channel1 = bytesOf(e);
        const float* ip[2] = {in[0].data(), in[1].data()};
        float* op[2] = {out[0].data(), nullptr};
        float* om[2] = {outMono.data(), nullptr};
        e.process(ip, op, 2, 3000);
        mono.process(ip, om, 1, 3000);
        EXPECT_TRUE(out[0] == outMono);
        EXPECT_EQ(e.reduction, mono.reduction / 2.0f);
        EXPECT_GT(e.reduction, 0.0f);
        EXPECT_EQ(e.inputPeak, mono.inputPeak) << "the skipped channel is not metered";
        EXPECT_TRUE(std::memcmp(reinterpret_cast<const unsigned char*>(&e.channel[1]),
                                channel1.data() + (reinterpret_cast<const unsigned char*>(&e.channel[1]) -
                                                   reinterpret_cast<const unsigned char*>(&e)),
                                sizeof(hushkit::ChannelState)) == 0)
            << "channel 1 advanced";
    }
}

// ----------------------------------------------------------- non-finite ---

// NaN and infinities clean as 0, values beyond +-4 as +-4; the peak meter
// sees the sanitised value.
TEST(EngineSanitise, NonFiniteAndLargeInput)
{
    for (bool neural : {false, true}) {
        Engine a, b;
        ASSERT_TRUE(a.prepare(48000.0, 1, neural, false));
        ASSERT_TRUE(b.prepare(48000.0, 1, neural, false));
        std::vector<float> dirty = testSignal(2000, 91);
        std::vector<float> clean = dirty;
        const float bad[] = {NaN, 10.0f, -Inf, -7.0f, Inf, -NaN};
        const float good[] = {0.0f, 4.0f, 0.0f, -4.0f, 0.0f, 0.0f};
        for (int i = 0; i < 6; ++i) {
            dirty[static_cast<size_t>(100 + 300 * i)] = bad[i];
            clean[static_cast<size_t>(100 + 300 * i)] = good[i];
        }
        std::vector<float> outA(2000), outB(2000);
        const float* ia[1] = {dirty.data()};
        const float* ib[1] = {clean.data()};
        float* oa[1] = {outA.data()};
        float* ob[1] = {outB.data()};
        a.process(ia, oa, 1, 2000);
        b.process(ib, ob, 1, 2000);
        EXPECT_TRUE(outA == outB);
        EXPECT_EQ(a.inputPeak, 4.0f);
        for (float v : outA)
            ASSERT_TRUE(std::isfinite(v));
        // NaN alone counts 0 towards the peak; 10 alone counts 4.
        const float nanIn[1] = {NaN};
        const float bigIn[1] = {10.0f};
        float o[1];
        const float* pn[1] = {nanIn};
        const float* pb[1] = {bigIn};
        float* po[1] = {o};
        a.process(pn, po, 1, 1);
        EXPECT_EQ(a.inputPeak, 0.0f);
        a.process(pb, po, 1, 1);
        EXPECT_EQ(a.inputPeak, 4.0f);
    }
}

// A non-finite output sample is replaced by the dry sample and raises
// neuralFault; outputs are limited to +-4 and magnitudes above 1 set clipped.
TEST(EngineSanitise, OutputReplacedAndLimited)
{
    Engine e;
    ASSERT_TRUE(e.prepare(48000.0, 1, false, false));
    const float x[4] = {0.25f, -0.5f, 0.125f, 0.0f};
    float y[4];
    const float* ip[1] = {x};
    float* op[1] = {y};
    e.channel[0].bodyState = NaN;
    e.set(ParamId::BodyRestore, 1.0f);
    e.resetRealtime();
    e.channel[0].bodyState = NaN;
    e.process(ip, op, 1, 4);
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(y[n], x[n]) << n;
    EXPECT_TRUE(e.neuralFault);
    EXPECT_FALSE(e.clipped);

    Engine loud;
    loud.set(ParamId::OutputGain, 1.0f); // +18 dB
    ASSERT_TRUE(loud.prepare(48000.0, 1, false, false));
    const float big[3] = {0.9f, -0.9f, 0.05f};
    float out[3];
    const float* bp[1] = {big};
    float* bo[1] = {out};
    loud.process(bp, bo, 1, 3);
    EXPECT_EQ(out[0], 4.0f);
    EXPECT_EQ(out[1], -4.0f);
    EXPECT_TRUE(loud.clipped);
    EXPECT_EQ(loud.outputPeak, 4.0f);
    EXPECT_FALSE(loud.neuralFault);
}

// ------------------------------------------------- floating-point state ---

TEST(EngineProcess, RestoresMxcsrAndFlushesDenormals)
{
    const unsigned int original = _mm_getcsr();
    // Round towards zero, flags clear, no flush: a value the call must give
    // back exactly, with no flag it raised inside left behind.
    const unsigned int mine = (original & ~0x803Fu & ~0x6000u) | 0x6000u;
    Engine e;
    ASSERT_TRUE(e.prepare(48000.0, 1, false, false));
    const float tiny[4] = {1e-39f, 1e-39f, -2e-39f, 1e-39f}; // denormal inputs
    float out[4] = {1, 1, 1, 1};
    const float* ip[1] = {tiny};
    float* op[1] = {out};

    _mm_setcsr(mine);
    e.process(ip, op, 1, 4);
    const unsigned int after = _mm_getcsr();
    e.process(ip, nullptr, 1, 4); // refused call
    const unsigned int afterRefused = _mm_getcsr();
    _mm_setcsr(original);
    EXPECT_EQ(after, mine);
    EXPECT_EQ(afterRefused, mine);
    // Denormals are taken as zero inside the call: the output is exactly 0.
    for (float v : out)
        EXPECT_EQ(v, 0.0f);

    // The same samples without the register change (the chain alone) do
    // produce denormal output, which shows that the setting is what zeroes it.
    Engine raw;
    ASSERT_TRUE(raw.prepare(48000.0, 1, false, false));
    _mm_setcsr(original & ~0x8040u);
    raw.processNative(ip, op, 1, 4);
    _mm_setcsr(original);
    EXPECT_NE(out[0], 0.0f);
}

} // namespace
