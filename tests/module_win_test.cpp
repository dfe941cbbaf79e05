// The Windows module without a Windows build of the noise-suppression
// library: the stand-in it links cannot create a state, so every processing
// mode cleans with Live DSP, reports the neural engine inactive and adds no
// delay.

#include "module_host.h"

using namespace hushkit::module_test;

namespace {

TEST(ModuleWithoutNoiseSuppression, EveryModeCleansWithLiveDspWithoutDelay)
{
#ifndef HUSHKIT_RNNOISE_STANDIN
    GTEST_SKIP() << "built with a Windows build of RNNoise";
#endif
    const auto input = voicePlusNoise();
    for (const hushkit::Mode mode : {hushkit::Mode::NeuralLive, hushkit::Mode::NeuralClassic, hushkit::Mode::LiveDsp}) {
        SCOPED_TRACE(static_cast<int>(mode));
        Session s;
        ASSERT_TRUE(s.createProcessor(hushkit::ProcessorWords));
        ASSERT_TRUE(s.createAndConnectController());
        ASSERT_TRUE(s.passStateToController());
        ASSERT_EQ(s.controller->setParamNormalized(hushkit::ProcessingMode, static_cast<int32>(mode) * 0.5),
                  kResultOk);
        ASSERT_TRUE(s.setupAndActivate());
        EXPECT_EQ(s.processor->getLatencySamples(), 0u);

        double change = 0.0;
        for (size_t start = 0; start + BlockSize <= input[0].size(); start += BlockSize) {
            s.inChanges.clearQueue();
            s.outChanges.clearQueue();
            for (int32 c = 0; c < 2; ++c)
                std::copy_n(input[c].data() + start, BlockSize, s.data.inputs[0].channelBuffers32[c]);
            ASSERT_EQ(s.processor->process(s.data), kResultOk);
            auto reported = s.reported();
            ASSERT_TRUE(reported.count(hushkit::ParamId::NeuralActive));
            ASSERT_EQ(reported[hushkit::ParamId::NeuralActive].second, 0.0) << "block at " << start;
            for (int32 i = 0; i < BlockSize; ++i)
                change += std::fabs(s.data.outputs[0].channelBuffers32[0][i] - input[0][start + i]);
        }
        EXPECT_EQ(s.processor->getLatencySamples(), 0u);
        // Live DSP still cleans: the output is not the input.
        EXPECT_GT(change, 1.0);
    }
}

} // namespace
