// The converters' polyphase windowed-sinc table.

#include <gtest/gtest.h>

#include <cmath>

#include "ResamplerKernel.h"

using hushkit::ResamplerKernel;

TEST(ConvertKernel, UnitCutoffRowZeroPassesTheCentreSampleOnly)
{
    ResamplerKernel k;
    k.prepare(1.0);
    ASSERT_EQ(k.table.size(), 1025u);
    const auto& row = k.table[0];
    EXPECT_EQ(row[15], 1.0f);
    for (int t = 0; t < ResamplerKernel::Taps; ++t) {
        if (t != 15) {
            EXPECT_LT(std::fabs(row[t]), 1e-16f) << "tap " << t;
        }
    }
}

TEST(ConvertKernel, HalfSampleRowIsSymmetricWithItsPeakAtTheMiddlePair)
{
    ResamplerKernel k;
    k.prepare(0.94);
    const auto& row = k.table[512];
    for (int t = 0; t < ResamplerKernel::Taps; ++t)
        EXPECT_EQ(row[t], row[31 - t]) << "tap " << t;
    EXPECT_NEAR(row[15], 0.6323f, 5e-4f);
    for (int t = 0; t < ResamplerKernel::Taps; ++t) {
        if (t != 15 && t != 16) {
            EXPECT_LT(std::fabs(row[t]), row[15]) << "tap " << t;
        }
    }
}

// Unit gain at DC at every phase, for the cutoffs that preparation uses
// (0.94 times 1, 44.1/48, 8/48 and 48/192) and the unit cutoff.
TEST(ConvertKernel, EveryRowSumsToOne)
{
    const double cutoffs[] = {1.0, 0.94, 0.94 * 44100.0 / 48000.0, 0.94 * 8000.0 / 48000.0, 0.94 * 48000.0 / 192000.0};
    for (double c : cutoffs) {
        ResamplerKernel k;
        k.prepare(c);
        ASSERT_EQ(k.table.size(), 1025u);
        for (size_t i = 0; i < k.table.size(); ++i) {
            double sum = 0.0;
            double magnitude = 0.0;
            for (float w : k.table[i]) {
                sum += w;
                magnitude += std::fabs(w);
            }
            // Each weight carries at most half a float ulp of rounding.
            ASSERT_NEAR(sum, 1.0, magnitude * 6e-8 + 1e-12) << "cutoff " << c << " row " << i;
        }
    }
}

// Row 1024 lies one whole sample past row 0: the same weights one tap later,
// so interpolation between rows is continuous across input samples.
TEST(ConvertKernel, LastRowIsTheFirstShiftedByOneTap)
{
    ResamplerKernel k;
    k.prepare(0.94 * 44100.0 / 48000.0);
    const auto& first = k.table[0];
    const auto& last = k.table[1024];
    EXPECT_EQ(last[0], 0.0f);
    EXPECT_EQ(first[31], 0.0f);
    for (int t = 0; t < ResamplerKernel::Taps - 1; ++t)
        EXPECT_NEAR(last[t + 1], first[t], 1e-7f) << "tap " << t;
}

TEST(ConvertKernel, PreparingAgainRewritesEveryValueInPlace)
{
    ResamplerKernel fresh;
    fresh.prepare(0.94);

    ResamplerKernel reused;
    reused.prepare(0.3);
    const auto* storage = reused.table.data();
    reused.prepare(0.94);
    EXPECT_EQ(reused.table.data(), storage);
    ASSERT_EQ(reused.table.size(), 1025u);
    EXPECT_TRUE(reused.table == fresh.table);
}
