// The converting path delays its output by exactly `latency` caller-rate
// samples, on the dry and the cleaned path alike, and the round trip to
// 48 kHz and back keeps a tone clean.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "Engine.h"
#include "signals.h"

using hushkit::Engine;
using hushkit::ParamId;

namespace {

constexpr double Pi = 3.14159265358979323846;

std::unique_ptr<Engine> prepared(double rate, bool live, const std::vector<std::pair<uint32_t, float>>& params)
{
    auto e = std::make_unique<Engine>();
    for (const auto& p : params)
        e->set(p.first, p.second);
    EXPECT_TRUE(e->prepare(rate, 1, true, live));
    EXPECT_TRUE(e->neuralActive);
    return e;
}

std::vector<float> run(Engine& e, const std::vector<float>& in, int block)
{
    std::vector<float> out(in.size());
    const int frames = static_cast<int>(in.size());
    for (int start = 0; start < frames; start += block) {
        const float* ip[1] = {in.data() + start};
        float* op[1] = {out.data() + start};
        e.process(ip, op, 1, std::min(block, frames - start));
    }
    return out;
}

std::vector<float> tone(double rate, double frequency, float amplitude, int frames)
{
    std::vector<float> s(frames);
    for (int n = 0; n < frames; ++n)
        s[n] = amplitude * static_cast<float>(std::sin(2.0 * Pi * frequency * n / rate));
    return s;
}

// Sum of sinusoids with fixed pseudo-random frequencies between 1 kHz and
// 0.8 of the lower Nyquist frequency, so the converters pass all of it and the
// 35 Hz input high-pass barely turns its phase.
std::vector<float> toneCluster(double rate, int frames)
{
    const double top = 0.8 * std::min(rate, 48000.0) / 2.0;
    std::vector<double> sum(frames, 0.0);
    uint32_t state = 987654321u;
    const int partials = 40;
    for (int p = 0; p < partials; ++p) {
        state = state * 1664525u + 1013904223u;
        const double f = 1000.0 + (top - 1000.0) * ((state >> 8) / 16777216.0);
        state = state * 1664525u + 1013904223u;
        const double phase = 2.0 * Pi * ((state >> 8) / 16777216.0);
        for (int n = 0; n < frames; ++n)
            sum[n] += std::sin(2.0 * Pi * f * n / rate + phase);
    }
    std::vector<float> s(frames);
    for (int n = 0; n < frames; ++n)
        s[n] = static_cast<float>(0.3 * sum[n] / std::sqrt(partials / 2.0));
    return s;
}

// Normalised cross-correlation of out against in delayed by `lag`, over
// `length` samples from `start` (counted in the output).
double correlation(const std::vector<float>& in, const std::vector<float>& out, int start, int length, int lag)
{
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int n = start; n < start + length; ++n) {
        const double x = in[n - lag];
        const double y = out[n];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xy / std::sqrt(xx * yy);
}

// Magnitude of each DFT bin 0..N/2 of x[start .. start + N).
std::vector<double> spectrum(const std::vector<float>& x, int start, int length)
{
    std::vector<double> cosTable(length), sinTable(length);
    for (int n = 0; n < length; ++n) {
        cosTable[n] = std::cos(2.0 * Pi * n / length);
        sinTable[n] = std::sin(2.0 * Pi * n / length);
    }
    std::vector<double> magnitude(length / 2 + 1);
    for (int k = 0; k <= length / 2; ++k) {
        double re = 0.0, im = 0.0;
        long long index = 0;
        for (int n = 0; n < length; ++n) {
            re += x[start + n] * cosTable[index];
            im -= x[start + n] * sinTable[index];
            index += k;
            if (index >= length)
                index -= length;
        }
        magnitude[k] = std::sqrt(re * re + im * im) * 2.0 / length;
    }
    return magnitude;
}

// Speech-like input, the same waveform at every rate: harmonics up to
// 3.2 kHz only, no pauses.
std::vector<float> speechLike(double rate, int frames)
{
    return hushkit::test::speechLike(rate, static_cast<size_t>(frames), 2468u, {0.0, 40, 3200.0, false});
}

// Lag of the cross-correlation peak of out against in, between 0 and
// maxLag, refined to a fraction of a sample by a parabola through the peak
// and its neighbours.
double peakLag(const std::vector<float>& in, const std::vector<float>& out, int start, int length, int maxLag)
{
    std::vector<double> r(maxLag + 1);
    int best = 0;
    for (int lag = 0; lag <= maxLag; ++lag) {
        r[lag] = correlation(in, out, start, length, lag);
        if (r[lag] > r[best])
            best = lag;
    }
    if (best == 0 || best == maxLag)
        return best;
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    return best + 0.5 * (a - c) / (a - 2.0 * b + c);
}

// The cleaned path without cleaning: no clean amount means neither the
// expander nor the network changes the signal, and a focus of 0 puts the
// input high-pass at 35 Hz, so the wet path is the delayed input.
const std::vector<std::pair<uint32_t, float>> Transparent = {{ParamId::CleanAmount, 0.0f},
                                                             {ParamId::FrequencyFocus, 0.0f}};

} // namespace

TEST(ConvertAlignment, DryOnlyOutputIsTheInputDelayedByTheLatency)
{
    // An impulse at caller sample 1000 at 44.1 kHz, Neural Live: the dry term
    // carries it to output sample 1120 and nowhere else.
    auto e = prepared(44100.0, true, {{ParamId::DryWet, 0.0f}});
    ASSERT_EQ(e->latency, 120);
    std::vector<float> impulse(3000, 0.0f);
    impulse[1000] = 1.0f;
    const std::vector<float> out = run(*e, impulse, 256);
    for (int n = 0; n < 3000; ++n)
        ASSERT_EQ(out[n], n == 1120 ? 1.0f : 0.0f) << n;

    // A 1 kHz tone comes through bit for bit.
    for (bool live : {true, false}) {
        auto t = prepared(44100.0, live, {{ParamId::DryWet, 0.0f}});
        const std::vector<float> in = tone(44100.0, 1000.0, 0.7f, 20000);
        const std::vector<float> y = run(*t, in, 512);
        const int latency = t->latency;
        for (int n = 0; n < latency; ++n)
            ASSERT_EQ(y[n], 0.0f) << n;
        for (int n = latency; n < 20000; ++n)
            ASSERT_EQ(y[n], in[n - latency]) << n;
    }
}

TEST(ConvertAlignment, SettledBypassFollowsTheInputDelayedByTheLatency)
{
    const double rates[] = {44100.0, 8000.0, 96000.0};
    for (double rate : rates) {
        for (bool live : {true, false}) {
            // Set before preparation, Bypass is settled at 1.0 from the start.
            auto e = prepared(rate, live, {{ParamId::Bypass, 1.0f}});
            const int frames = static_cast<int>(rate * 0.25);
            const std::vector<float> in = toneCluster(rate, frames);
            const std::vector<float> out = run(*e, in, 300);
            const int latency = e->latency;
            for (int n = 0; n < frames; ++n) {
                const float expected = n >= latency ? in[n - latency] : 0.0f;
                ASSERT_NEAR(out[n], expected, 1e-6f) << rate << (live ? " live " : " classic ") << n;
            }
        }
    }
}

// The cleaned path is aligned with the dry one: the cross-correlation of the
// wet output with the input peaks at lag `latency`, and there the two agree
// closely (the converters' transition bands take a little of the highest
// partials), so the alignment holds to a fraction of a sample.
TEST(ConvertAlignment, CleanedPathPeaksAtTheLatency)
{
    const double rates[] = {8000.0, 22050.0, 44100.0, 48000.2, 96000.0, 192000.0};
    for (double rate : rates) {
        for (bool live : {true, false}) {
            auto e = prepared(rate, live, Transparent);
            const int latency = e->latency;
            const int length = 8192;
            const int start = latency + 2 * static_cast<int>(rate / 100.0) + 300;
            const int frames = start + length;
            const std::vector<float> in = toneCluster(rate, frames);
            const std::vector<float> out = run(*e, in, 1024);

            int best = -1;
            double bestValue = -2.0;
            for (int lag = 0; lag <= latency + 200; ++lag) {
                const double r = correlation(in, out, start, length, lag);
                if (r > bestValue) {
                    bestValue = r;
                    best = lag;
                }
            }
            EXPECT_EQ(best, latency) << rate << (live ? " live" : " classic");
            EXPECT_GT(bestValue, 0.99) << rate << (live ? " live" : " classic");
        }
    }
}

// 44.1 kHz to 48 kHz and back with nothing changed in between: a tone keeps
// its level within 0.1 dB, and nothing else in the spectrum (aliases, images,
// phase-interpolation error) comes within 60 dB of a 1 kHz tone. At 10 kHz
// the error of taking the nearest kernel row instead of interpolating between
// rows would show at about -72 dB; the interpolated converters stay near -91.
TEST(ConvertAlignment, RoundTripKeepsAToneClean)
{
    struct Case {
        double frequency;
        bool live;
        double boundDb;
    };
    const Case cases[] = {{1000.0, true, -60.0}, {1000.0, false, -60.0}, {10000.0, true, -80.0}};
    for (const Case& c : cases) {
        auto e = prepared(44100.0, c.live, Transparent);
        const int length = 4410; // whole periods of both tones
        const int start = 22050;
        const std::vector<float> in = tone(44100.0, c.frequency, 0.5f, start + length);
        const std::vector<float> out = run(*e, in, 441);

        const std::vector<double> magnitude = spectrum(out, start, length);
        const int toneBin = static_cast<int>(c.frequency / 10.0);
        const double levelDb = 20.0 * std::log10(magnitude[toneBin] / 0.5);
        EXPECT_NEAR(levelDb, 0.0, 0.1) << c.frequency << (c.live ? " live" : " classic");
        double worst = 0.0;
        for (int k = 0; k < static_cast<int>(magnitude.size()); ++k) {
            if (k != toneBin)
                worst = std::max(worst, magnitude[k]);
        }
        const double worstDb = 20.0 * std::log10(worst / magnitude[toneBin]);
        EXPECT_LT(worstDb, c.boundDb) << c.frequency << (c.live ? " live" : " classic");
    }
}

// Real cleaning of speech in noise (Neural Live at its defaults): the
// converters add exactly `latency` to the chain's own timing. The cleaned
// signal's correlation peak sits as far from `latency` (in time) as the
// 48 kHz engine's peak sits from its 95 samples; that offset is the phase
// lead of the chain's input high-pass at speech frequencies, not the
// converters'.
TEST(ConvertAlignment, RealCleaningKeepsTheChainTimingAtEveryRate)
{
    auto timing = [](double rate) {
        auto e = std::make_unique<Engine>();
        EXPECT_TRUE(e->prepare(rate, 1, true, true));
        EXPECT_TRUE(e->neuralActive);
        const int latency = e->latency;
        const int length = static_cast<int>(rate * 1.0);
        const int start = latency + static_cast<int>(rate * 0.5);
        const std::vector<float> in = speechLike(rate, start + length);
        const std::vector<float> out = run(*e, in, 512);
        // Seconds by which the cleaned signal's peak differs from the latency.
        return (peakLag(in, out, start, length, latency + 100) - latency) / rate;
    };
    const double native = timing(48000.0);
    EXPECT_LT(std::fabs(native * 48000.0), 3.0);
    const double rates[] = {8000.0, 22050.0, 44100.0, 96000.0, 192000.0};
    for (double rate : rates) {
        const double offset = timing(rate);
        // A quarter of a sample of the coarser of the two grids.
        const double tolerance = 0.25 * std::max(1.0, 48000.0 / rate);
        EXPECT_NEAR(offset * 48000.0, native * 48000.0, tolerance) << rate;
    }
}
