// The converting path of a neural configuration away from 48 kHz: production
// of 48 kHz samples, block-size invariance, null channels, argument checks
// and meters.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "Engine.h"

using hushkit::Engine;
using hushkit::ParamId;

namespace {

using Signal = std::vector<std::vector<float>>;

std::unique_ptr<Engine> prepared(double rate, int channels, bool live,
                                 const std::vector<std::pair<uint32_t, float>>& params = {})
{
    auto e = std::make_unique<Engine>();
    for (const auto& p : params)
        e->set(p.first, p.second);
    EXPECT_TRUE(e->prepare(rate, channels, true, live));
    EXPECT_TRUE(e->neuralActive);
    EXPECT_TRUE(e->resampling);
    return e;
}

// Feeds the whole signal through process in blocks of `block` frames.
Signal run(Engine& e, const Signal& in, int block)
{
    const int channels = static_cast<int>(in.size());
    const int frames = static_cast<int>(in[0].size());
    Signal out(in.size(), std::vector<float>(in[0].size()));
    for (int start = 0; start < frames; start += block) {
        const int n = std::min(block, frames - start);
        const float* ip[2] = {};
        float* op[2] = {};
        for (int c = 0; c < channels; ++c) {
            ip[c] = in[c].data() + start;
            op[c] = out[c].data() + start;
        }
        e.process(ip, op, channels, n);
    }
    return out;
}

// Noise with a slow tone under it, different per channel.
Signal testSignal(int channels, int frames, float amplitude)
{
    Signal s(channels, std::vector<float>(frames));
    uint32_t state = 12345u;
    for (int c = 0; c < channels; ++c) {
        for (int n = 0; n < frames; ++n) {
            state = state * 1664525u + 1013904223u;
            const float noise = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
            const float tone = std::sin(0.037f * static_cast<float>(n) * static_cast<float>(c + 1));
            s[c][n] = amplitude * (0.3f * noise + tone);
        }
    }
    return s;
}

template <typename T, size_t N>
bool sameBits(const T (&a)[N], const T (&b)[N])
{
    return std::memcmp(a, b, sizeof a) == 0;
}

void expectSameState(const Engine& a, const Engine& b)
{
    EXPECT_EQ(a.hostPosition, b.hostPosition);
    EXPECT_EQ(a.nativePosition, b.nativePosition);
    EXPECT_TRUE(sameBits(a.inputHistory, b.inputHistory));
    EXPECT_TRUE(sameBits(a.outputHistory, b.outputHistory));
    EXPECT_TRUE(sameBits(a.dryHistory, b.dryHistory));
    EXPECT_TRUE(sameBits(a.smoothed, b.smoothed));
    EXPECT_EQ(a.outputGain, b.outputGain);
    EXPECT_EQ(a.highpassCoef, b.highpassCoef);
    for (int c = 0; c < hushkit::MaxChannels; ++c) {
        const hushkit::ChannelState& x = a.channel[c];
        const hushkit::ChannelState& y = b.channel[c];
        EXPECT_TRUE(sameBits(x.fir.history, y.fir.history)) << c;
        EXPECT_TRUE(sameBits(x.fir.current, y.fir.current)) << c;
        EXPECT_TRUE(sameBits(x.fir.target, y.fir.target)) << c;
        EXPECT_EQ(x.fir.writeCount, y.fir.writeCount) << c;
        EXPECT_TRUE(sameBits(x.bandGains, y.bandGains)) << c;
        EXPECT_TRUE(sameBits(x.frameIn, y.frameIn)) << c;
        EXPECT_TRUE(sameBits(x.frameOut, y.frameOut)) << c;
        EXPECT_TRUE(sameBits(x.dryDelay, y.dryDelay)) << c;
        EXPECT_TRUE(sameBits(x.wetDelay, y.wetDelay)) << c;
        EXPECT_EQ(x.framePos, y.framePos) << c;
        EXPECT_EQ(x.delayPos, y.delayPos) << c;
        EXPECT_EQ(x.hpPrevIn, y.hpPrevIn) << c;
        EXPECT_EQ(x.hpPrevOut, y.hpPrevOut) << c;
        EXPECT_EQ(x.envelope, y.envelope) << c;
        EXPECT_EQ(x.bodyState, y.bodyState) << c;
        EXPECT_EQ(x.gate, y.gate) << c;
        EXPECT_EQ(x.speech, y.speech) << c;
        EXPECT_EQ(x.fault, y.fault) << c;
    }
}

struct Meters {
    float inputPeak, outputPeak, reduction;
    bool clipped, neuralFault;
};

Meters meters(const Engine& e) { return {e.inputPeak, e.outputPeak, e.reduction, e.clipped, e.neuralFault}; }

void expectMeters(const Engine& e, const Meters& m)
{
    EXPECT_EQ(e.inputPeak, m.inputPeak);
    EXPECT_EQ(e.outputPeak, m.outputPeak);
    EXPECT_EQ(e.reduction, m.reduction);
    EXPECT_EQ(e.clipped, m.clipped);
    EXPECT_EQ(e.neuralFault, m.neuralFault);
}

// Feeds `frames` silent frames one at a time and records nativePosition after
// each caller-rate sample.
std::vector<int64_t> producedAfterEachSample(Engine& e, int frames)
{
    std::vector<int64_t> produced;
    float x = 0.0f;
    float y = 0.0f;
    const float* ip[1] = {&x};
    float* op[1] = {&y};
    for (int n = 0; n < frames; ++n) {
        e.process(ip, op, 1, 1);
        produced.push_back(e.nativePosition);
    }
    return produced;
}

} // namespace

TEST(ConvertPath, ProductionOf48kHzSamplesFollowsTheRate)
{
    // 96 kHz: one 48 kHz sample on every second caller sample, from sample 16.
    {
        auto e = prepared(96000.0, 1, false);
        const auto produced = producedAfterEachSample(*e, 400);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(produced[i], 0) << i;
        for (int i = 16; i < 400; ++i)
            ASSERT_EQ(produced[i], (i - 16) / 2 + 1) << i;
    }
    // 8 kHz: six per caller sample once the first one has been made.
    {
        auto e = prepared(8000.0, 1, true);
        const auto produced = producedAfterEachSample(*e, 400);
        EXPECT_EQ(produced[15], 0);
        EXPECT_EQ(produced[16], 1);
        for (int i = 17; i < 400; ++i)
            ASSERT_EQ(produced[i] - produced[i - 1], 6) << i;
    }
    // 44.1 kHz: sample 0 at caller sample 16, 1 at 17, 100 at 108.
    {
        auto e = prepared(44100.0, 1, true);
        const auto produced = producedAfterEachSample(*e, 200);
        EXPECT_EQ(produced[15], 0);
        EXPECT_EQ(produced[16], 1);
        EXPECT_EQ(produced[17], 2);
        EXPECT_EQ(produced[107], 100);
        EXPECT_EQ(produced[108], 101);
    }
}

TEST(ConvertPath, BlockSizeDoesNotChangeOutputOrState)
{
    struct Case {
        double rate;
        int channels;
        bool live;
    };
    const Case cases[] = {{44100.0, 2, false}, {44100.0, 2, true}, {96000.0, 1, false}, {8000.0, 2, true}};
    for (const Case& c : cases) {
        const int frames = static_cast<int>(c.rate * 0.6) + 123;
        const Signal in = testSignal(c.channels, frames, 0.4f);
        const std::vector<std::pair<uint32_t, float>> params = {{ParamId::BodyRestore, 0.6f},
                                                                {ParamId::DryWet, 0.8f},
                                                                {ParamId::OutputGain, 0.6f}};
        auto whole = prepared(c.rate, c.channels, c.live, params);
        const Signal reference = run(*whole, in, 4096);
        for (int block : {1, 256}) {
            auto e = prepared(c.rate, c.channels, c.live, params);
            const Signal out = run(*e, in, block);
            for (int ch = 0; ch < c.channels; ++ch)
                EXPECT_TRUE(out[ch] == reference[ch]) << c.rate << " block " << block << " channel " << ch;
            expectSameState(*e, *whole);
        }
    }
}

// Channel 1's input still reaches the histories and its 48 kHz chain still
// runs; only its caller-rate output is skipped and left out of the meters.
TEST(ConvertPath, NullOutputChannelSkipsOnlyThatOutput)
{
    const int frames = 6000;
    Signal in = testSignal(2, frames, 0.2f);
    for (float& x : in[1])
        x *= 7.0f; // channel 1 clips, channel 0 stays quiet
    const std::vector<std::pair<uint32_t, float>> params = {{ParamId::Bypass, 1.0f}};

    auto both = prepared(44100.0, 2, false, params);
    const Signal reference = run(*both, in, frames);
    ASSERT_TRUE(both->clipped);

    auto e = prepared(44100.0, 2, false, params);
    std::vector<float> out0(frames);
    const float* ip[2] = {in[0].data(), in[1].data()};
    float* op[2] = {out0.data(), nullptr};
    e->process(ip, op, 2, frames);

    EXPECT_TRUE(out0 == reference[0]);
    expectSameState(*e, *both);
    float peak0 = 0.0f;
    for (float y : reference[0])
        peak0 = std::max(peak0, std::fabs(y));
    EXPECT_EQ(e->outputPeak, peak0);
    EXPECT_LT(e->outputPeak, both->outputPeak);
    EXPECT_FALSE(e->clipped);
    EXPECT_EQ(e->inputPeak, both->inputPeak);
    EXPECT_GT(e->inputPeak, 1.0f);
}

TEST(ConvertPath, RefusedCallsKeepMetersAndState)
{
    const int frames = 3000;
    const Signal in = testSignal(2, frames, 0.5f);
    auto e = prepared(22050.0, 2, false);
    run(*e, in, frames);
    const Meters before = meters(*e);
    ASSERT_GT(before.inputPeak, 0.0f);
    ASSERT_GT(before.outputPeak, 0.0f);
    const int64_t host = e->hostPosition;
    const int64_t native = e->nativePosition;

    std::vector<float> a(16, 9.0f), b(16, 9.0f), c(16, 9.0f);
    const float* ip[3] = {a.data(), b.data(), c.data()};
    float* op[3] = {a.data(), b.data(), c.data()};
    struct Call {
        float* const* out;
        int32_t channels;
        int32_t frames;
    };
    const Call refused[] = {{nullptr, 2, 16}, {op, 3, 16}, {op, 0, 16}, {op, -1, 16}, {op, 2, -1}};
    for (const Call& r : refused) {
        e->process(ip, r.out, r.channels, r.frames);
        expectMeters(*e, before);
        EXPECT_EQ(e->hostPosition, host);
        EXPECT_EQ(e->nativePosition, native);
    }
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](float v) { return v == 9.0f; }));

    auto mono = prepared(22050.0, 1, false);
    run(*mono, Signal{in[0]}, frames);
    const Meters monoBefore = meters(*mono);
    mono->process(ip, op, 2, 16);
    expectMeters(*mono, monoBefore);

    // An empty block zeroes the meters and moves nothing.
    e->process(ip, op, 2, 0);
    expectMeters(*e, Meters{0.0f, 0.0f, 0.0f, false, false});
    EXPECT_EQ(e->hostPosition, host);
    EXPECT_EQ(e->nativePosition, native);
}

// Noise that the network takes away still reads as no reduction when the
// call converts; at 48 kHz the same configuration measures it.
TEST(ConvertPath, ReductionReadsZeroAfterConvertingCalls)
{
    const std::vector<std::pair<uint32_t, float>> params = {{ParamId::CleanupProfile, 1.0f}};
    for (bool live : {false, true}) {
        const Signal in = testSignal(1, 48000, 0.3f);
        auto native = std::make_unique<Engine>();
        native->set(ParamId::CleanupProfile, 1.0f);
        ASSERT_TRUE(native->prepare(48000.0, 1, true, live));
        run(*native, in, 4800);
        EXPECT_GT(native->reduction, 0.0f);

        auto e = prepared(44100.0, 1, live, params);
        run(*e, Signal{std::vector<float>(in[0].begin(), in[0].begin() + 44100)}, 4410);
        EXPECT_EQ(e->reduction, 0.0f);
    }
}

// The meters describe caller-rate samples: a constant input of 0.5 reads
// exactly 0.5, whatever the 48 kHz chain saw in between.
TEST(ConvertPath, MetersDescribeTheCallerRateSamples)
{
    auto e = prepared(32000.0, 1, false, {{ParamId::DryWet, 0.0f}});
    const Signal in(1, std::vector<float>(8000, 0.5f));
    const Signal out = run(*e, in, 8000);
    EXPECT_EQ(e->inputPeak, 0.5f);
    EXPECT_EQ(e->outputPeak, 0.5f);
    EXPECT_FALSE(e->clipped);
    EXPECT_FALSE(e->neuralFault);
    EXPECT_EQ(out[0][7999], 0.5f);
}

TEST(ConvertPath, InputIsSanitisedBeforeItIsStored)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto e = prepared(44100.0, 1, true, {{ParamId::DryWet, 0.0f}});
    const int latency = e->latency;
    std::vector<float> in(1000, 0.0f);
    in[100] = nan;
    in[200] = inf;
    in[300] = -inf;
    in[400] = 10.0f;
    in[500] = -10.0f;
    const Signal out = run(*e, Signal{in}, 1000);
    EXPECT_EQ(e->inputPeak, 4.0f);
    EXPECT_EQ(e->dryHistory[0][400], 4.0f);
    EXPECT_EQ(e->dryHistory[0][500], -4.0f);
    for (int n : {100, 200, 300}) {
        EXPECT_EQ(e->dryHistory[0][n], 0.0f) << n;
        EXPECT_EQ(out[0][n + latency], 0.0f) << n;
    }
    EXPECT_EQ(out[0][400 + latency], 4.0f);
    EXPECT_EQ(out[0][500 + latency], -4.0f);
    EXPECT_TRUE(e->clipped);
}

TEST(ConvertPath, NullInputCleansSilence)
{
    auto silent = prepared(16000.0, 2, false);
    const Signal zeros(2, std::vector<float>(5000, 0.0f));
    const Signal reference = run(*silent, zeros, 5000);

    for (int nullChannel : {-1, 1}) {
        auto e = prepared(16000.0, 2, false);
        std::vector<float> in0(5000, 0.0f);
        Signal out(2, std::vector<float>(5000, 1.0f));
        const float* ip[2] = {in0.data(), nullptr};
        float* op[2] = {out[0].data(), out[1].data()};
        e->process(nullChannel < 0 ? nullptr : ip, op, 2, 5000);
        EXPECT_TRUE(out == reference);
        expectSameState(*e, *silent);
        EXPECT_EQ(e->inputPeak, 0.0f);
    }
}

// A faulted channel raises neuralFault in every inner chain call; the call's
// flag is their OR, so it stays down while no 48 kHz sample is produced.
TEST(ConvertPath, FaultFlagIsTheOrOfTheInnerCalls)
{
    auto e = prepared(44100.0, 2, false);
    e->channel[1].fault = true;
    const Signal in = testSignal(2, 16, 0.1f);
    run(*e, in, 16); // caller samples 0 to 15: no 48 kHz sample yet
    EXPECT_EQ(e->nativePosition, 0);
    EXPECT_FALSE(e->neuralFault);
    run(*e, testSignal(2, 1, 0.1f), 1);
    EXPECT_EQ(e->nativePosition, 1);
    EXPECT_TRUE(e->neuralFault);
    run(*e, in, 16);
    EXPECT_TRUE(e->neuralFault);
    e->resetRealtime();
    run(*e, testSignal(2, 4000, 0.1f), 4000);
    EXPECT_FALSE(e->neuralFault);
}

// A caller-rate output that is not finite becomes 0 and raises no flag.
TEST(ConvertPath, NonFiniteOutputBecomesZero)
{
    auto e = prepared(44100.0, 1, false);
    e->smoothed[ParamId::DryWet] = std::numeric_limits<float>::quiet_NaN();
    const Signal out = run(*e, testSignal(1, 3000, 0.5f), 3000);
    EXPECT_TRUE(std::all_of(out[0].begin(), out[0].end(), [](float y) { return y == 0.0f; }));
    EXPECT_EQ(e->outputPeak, 0.0f);
    EXPECT_FALSE(e->neuralFault);
    EXPECT_GT(e->inputPeak, 0.0f);
}
