// The live band-gain filter: its basis, identity state, filter step and
// target update.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "NeuralFir.h"
#include "NeuralFirBasis.h"

using hushkit::NeuralFir;
using hushkit::NeuralFirBasis;

namespace {

constexpr int Taps = NeuralFirBasis::Taps;
constexpr int Bands = NeuralFirBasis::Bands;

const NeuralFirBasis& preparedBasis()
{
    static const auto basis = [] {
        auto b = std::make_unique<NeuralFirBasis>();
        b->prepare();
        return b;
    }();
    return *basis;
}

std::vector<float> noise(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(n));
    for (float& s : v)
        s = d(rng);
    return v;
}

// Zero-phase magnitude of a symmetric filter with the given distinct taps.
double response(const float* taps, double hz)
{
    const double w = 2.0 * 3.14159265358979323846 * hz / 48000.0;
    double h = taps[0];
    for (int j = 1; j < Taps; ++j)
        h += 2.0 * taps[j] * std::cos(w * j);
    return h;
}

} // namespace

TEST(NeuralFirBasis, UnityGainsGiveTheCentreTapOnly)
{
    NeuralFir fir;
    const std::vector<float> ones(Bands, 1.0f);
    fir.update(preparedBasis(), ones.data());
    EXPECT_NEAR(fir.target[0], 1.0f, 1.5e-7f);
    for (int j = 1; j < Taps; ++j)
        EXPECT_NEAR(fir.target[j], 0.0f, 1.5e-7f) << "tap " << j;
}

TEST(NeuralFirBasis, ZeroGainsGiveExactlyZeroTaps)
{
    NeuralFir fir;
    const std::vector<float> zeros(Bands, 0.0f);
    fir.update(preparedBasis(), zeros.data());
    for (int j = 0; j < Taps; ++j)
        EXPECT_EQ(fir.target[j], 0.0f) << "tap " << j;
}

TEST(NeuralFirBasis, PreparationIsRepeatable)
{
    auto again = std::make_unique<NeuralFirBasis>(preparedBasis());
    again->prepare();
    for (int i = 0; i < Taps * Bands; ++i)
        ASSERT_EQ(again->weights[i], preparedBasis().weights[i]) << "weight " << i;
}

// The taps realise a response that follows the band gains between their
// anchor frequencies: a shelf of 1 in the lower bands and 0.1 in the upper
// bands shows as such away from the step (anchor 53 bins = 2650 Hz for band
// 15, 3000 Hz for band 16).
TEST(NeuralFirBasis, ResponseFollowsTheBandGains)
{
    const int anchors[Bands] = {2,  4,  6,  8,  10, 12, 15,  18,  21,  24,  28,  32,  36,  41,  47,  53,
                                60, 68, 77, 87, 98, 110, 124, 140, 157, 176, 198, 223, 251, 282, 317, 356};
    float gains[Bands];
    for (int k = 0; k < Bands; ++k)
        gains[k] = k < 16 ? 1.0f : 0.1f;
    NeuralFir fir;
    fir.update(preparedBasis(), gains);

    for (int k = 0; k < Bands; ++k) {
        if (k > 11 && k < 20)
            continue;
        EXPECT_NEAR(response(fir.target, anchors[k] * 50.0), gains[k], 0.03) << "band " << k;
    }
    // Above the last anchor band 31's gain holds up to 24 kHz.
    EXPECT_NEAR(response(fir.target, 20000.0), 0.1, 0.03);
    EXPECT_NEAR(response(fir.target, 23999.0), 0.1, 0.03);
}

TEST(NeuralFir, IdentityStatePassesAnImpulse95SamplesLate)
{
    auto fir = std::make_unique<NeuralFir>();
    fir->setIdentity();
    for (int n = 0; n < 1500; ++n) {
        const float y = fir->process(n == 0 ? 1.0f : 0.0f);
        EXPECT_EQ(y, n == 95 ? 1.0f : 0.0f) << "sample " << n;
    }
}

TEST(NeuralFir, SetIdentityRestoresTheDelayAfterUse)
{
    auto fir = std::make_unique<NeuralFir>();
    fir->setIdentity();
    const std::vector<float> x = noise(700, 3);
    const std::vector<float> gains = noise(Bands, 4);
    fir->update(preparedBasis(), gains.data());
    for (float s : x)
        fir->process(s);

    fir->setIdentity();
    EXPECT_EQ(fir->writeCount, 0);
    EXPECT_EQ(fir->current[0], 1.0f);
    EXPECT_EQ(fir->target[0], 1.0f);
    for (int j = 1; j < Taps; ++j) {
        EXPECT_EQ(fir->current[j], 0.0f);
        EXPECT_EQ(fir->target[j], 0.0f);
    }
    for (int n = 0; n < 300; ++n)
        EXPECT_EQ(fir->process(x[n]), n < 95 ? 0.0f : x[n - 95]) << "sample " << n;
}

TEST(NeuralFir, UnityGainsDelayTheInputBy95Samples)
{
    auto fir = std::make_unique<NeuralFir>();
    fir->setIdentity();
    const std::vector<float> ones(Bands, 1.0f);
    fir->update(preparedBasis(), ones.data());
    const std::vector<float> x = noise(2000, 5);
    for (int n = 0; n < 2000; ++n) {
        const float y = fir->process(x[n]);
        EXPECT_NEAR(y, n < 95 ? 0.0f : x[n - 95], 3e-6f) << "sample " << n;
    }
}

// The filter step against a plain evaluation of its definition, with the
// targets changed now and then so that the taps keep gliding, over several
// turns of the ring.
TEST(NeuralFir, MatchesThePlainSymmetricSum)
{
    auto fir = std::make_unique<NeuralFir>();
    fir->setIdentity();
    float current[Taps] = {1.0f};
    float target[Taps] = {1.0f};

    const std::vector<float> x = noise(3000, 7);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> gain(0.0f, 1.0f);
    for (int n = 0; n < 3000; ++n) {
        if (n % 480 == 100) {
            float gains[Bands];
            for (float& g : gains)
                g = gain(rng);
            fir->update(preparedBasis(), gains);
            for (int j = 0; j < Taps; ++j)
                target[j] = fir->target[j];
        }
        for (int j = 0; j < Taps; ++j)
            current[j] += (target[j] - current[j]) * 0.1f;
        auto at = [&](int m) { return n - m >= 0 ? double(x[n - m]) : 0.0; };
        double expected = current[0] * at(95);
        for (int j = 1; j < Taps; ++j)
            expected += current[j] * (at(95 + j) + at(95 - j));

        ASSERT_NEAR(fir->process(x[n]), expected, 1e-5) << "sample " << n;
        for (int j = 0; j < Taps; ++j)
            ASSERT_EQ(fir->current[j], current[j]) << "tap " << j << " at sample " << n;
    }
}

TEST(NeuralFir, UpdateSetsOnlyTheTargets)
{
    auto fir = std::make_unique<NeuralFir>();
    fir->setIdentity();
    for (int n = 0; n < 10; ++n)
        fir->process(float(n));
    const auto before = std::make_unique<NeuralFir>(*fir);

    const std::vector<float> gains = noise(Bands, 9);
    fir->update(preparedBasis(), gains.data());
    for (int j = 0; j < Taps; ++j) {
        float sum = 0.0f;
        for (int k = 0; k < Bands; ++k)
            sum += preparedBasis().weights[j * Bands + k] * gains[k];
        EXPECT_EQ(fir->target[j], sum) << "tap " << j;
        EXPECT_EQ(fir->current[j], before->current[j]);
    }
    EXPECT_EQ(fir->writeCount, before->writeCount);
    for (int i = 0; i < 2 * NeuralFir::Ring; ++i)
        ASSERT_EQ(fir->history[i], before->history[i]);
}
