// The delay that preparation reports for the two neural configurations, in
// samples of the caller's rate, and whether the rate is converted.

#include <gtest/gtest.h>

#include <memory>

#include "Engine.h"

namespace {

struct LatencyCase {
    double rate;
    int32_t live;
    int32_t classic;
    bool converts;
};

const LatencyCase LatencyTable[] = {
    {8000.0, 35, 259, true},      {11025.0, 42, 351, true},     {16000.0, 54, 502, true},
    {22050.0, 68, 686, true},     {32000.0, 92, 988, true},     {44100.0, 120, 1356, true},
    {48000.0, 95, 1440, false},   {48000.05, 95, 1440, false},  {48000.2, 130, 1475, true},
    {88200.0, 224, 2696, true},   {96000.0, 242, 2932, true},   {176400.0, 432, 5375, true},
    {192000.0, 468, 5848, true},
};

} // namespace

TEST(ConvertLatency, TableForBothNeuralConfigurations)
{
    for (const LatencyCase& c : LatencyTable) {
        for (bool live : {true, false}) {
            auto e = std::make_unique<hushkit::Engine>();
            ASSERT_TRUE(e->prepare(c.rate, 2, true, live)) << c.rate;
            EXPECT_TRUE(e->neuralActive) << c.rate;
            EXPECT_EQ(e->latency, live ? c.live : c.classic) << c.rate << (live ? " live" : " classic");
            EXPECT_EQ(e->resampling, c.converts) << c.rate;
            EXPECT_EQ(e->processingRate, 48000.0) << c.rate;
            EXPECT_EQ(e->delayLength, live ? 95 : 1440);
            if (c.converts) {
                EXPECT_EQ(e->inputKernel.table.size(), 1025u) << c.rate;
                EXPECT_EQ(e->outputKernel.table.size(), 1025u) << c.rate;
            }
        }
    }
}

// The input kernel reads the caller's grid and the output kernel the 48 kHz
// grid; both pass bands end at 0.94 of the lower Nyquist frequency.
TEST(ConvertLatency, KernelCutoffsFollowTheLowerNyquistFrequency)
{
    struct Case {
        double rate;
        double inputCutoff;
        double outputCutoff;
    };
    const Case cases[] = {
        {44100.0, 0.94, 0.94 * (44100.0 / 48000.0)},
        {96000.0, 0.94 * 0.5, 0.94},
    };
    for (const Case& c : cases) {
        auto e = std::make_unique<hushkit::Engine>();
        ASSERT_TRUE(e->prepare(c.rate, 1, true, false));
        hushkit::ResamplerKernel in;
        in.prepare(c.inputCutoff);
        hushkit::ResamplerKernel out;
        out.prepare(c.outputCutoff);
        EXPECT_TRUE(e->inputKernel.table == in.table) << c.rate;
        EXPECT_TRUE(e->outputKernel.table == out.table) << c.rate;
    }
}
