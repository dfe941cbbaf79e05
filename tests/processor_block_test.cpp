// Block processing as a host drives it: sub-blocks at parameter offsets, the
// mode request of parameter 9, buses and silence masks, and the reported
// mode and meters. The processor's output is compared with an engine driven
// directly with the calls the processor is expected to make.

#include "processor_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace hushkit;
using namespace hushkit::test;

namespace {

constexpr float Sentinel = 12345.0f;

// A host started at 48 kHz stereo with `frames` of voice plus noise as input.
struct Fixture {
    Host host;
    std::vector<float> signal[2];

    explicit Fixture(int frames = 1024, int channels = 2)
    {
        EXPECT_TRUE(host.start(48000.0, frames, channels));
        for (int c = 0; c < 2; ++c) {
            signal[c] = voiceLike(frames, 7u + static_cast<unsigned>(c), NoisyVoice);
            host.in[c] = signal[c];
        }
    }
    Processor& p() { return *host.processor; }
};

void expectSame(const std::vector<float>& a, const std::vector<float>& b, int from, int to)
{
    for (int n = from; n < to; ++n)
        ASSERT_EQ(a[static_cast<size_t>(n)], b[static_cast<size_t>(n)]) << "sample " << n;
}

float peak(const std::vector<float>& v, int from, int to)
{
    float p = 0.0f;
    for (int n = from; n < to; ++n)
        p = std::max(p, std::fabs(v[static_cast<size_t>(n)]));
    return p;
}

// A comparison of outputs shows something only where the expected output is
// real signal (Neural Classic, for one, is silent for its first 1440 samples).
void expectSignal(const std::vector<float>& v, int from, int to)
{
    EXPECT_GT(peak(v, from, to), 0.01f) << "samples " << from << " to " << to << " are (nearly) silent";
}

double reportedValue(Host& host, ParamID id, int32 expectedOffset)
{
    int32 offset = -1;
    double value = -1.0;
    EXPECT_TRUE(host.reported(id, offset, value)) << "no report for " << id;
    EXPECT_EQ(offset, expectedOffset) << "id " << id;
    return value;
}

TEST(ProcessorBlock, BlockWithoutChangesIsOneEngineCall)
{
    // Eight blocks: from the seventh on, Neural Classic's output is past its
    // delay of 1440 samples and carries signal.
    constexpr int Blocks = 8;
    Fixture f(256 * Blocks);
    auto ref = referenceEngine(Mode::NeuralClassic);
    std::vector<float> refOut[2] = {std::vector<float>(256 * Blocks), std::vector<float>(256 * Blocks)};

    for (int block = 0; block < Blocks; ++block) {
        SCOPED_TRACE(block);
        const int offset = block * 256;
        ASSERT_EQ(f.host.run(256, offset), kResultOk);
        runEngine(*ref, f.host.in, refOut, 2, offset, 256);
        for (int c = 0; c < 2; ++c)
            expectSame(f.host.out[c], refOut[c], offset, offset + 256);

        int32 o = 0;
        double v = 0.0;
        if (block == 0)
            EXPECT_EQ(reportedValue(f.host, ParamId::ProcessingMode, 255), 0.5);
        else
            EXPECT_FALSE(f.host.reported(ParamId::ProcessingMode, o, v));
        // One call of 256 frames: the reduction is that call's average.
        EXPECT_EQ(reportedValue(f.host, ParamId::InputPeak, 255), std::min<double>(ref->inputPeak, 1.0));
        EXPECT_EQ(reportedValue(f.host, ParamId::OutputPeak, 255), std::min<double>(ref->outputPeak, 1.0));
        EXPECT_EQ(reportedValue(f.host, ParamId::Reduction, 255), static_cast<double>(ref->reduction));
        EXPECT_EQ(reportedValue(f.host, ParamId::NeuralActive, 255), 1.0);
        EXPECT_EQ(reportedValue(f.host, ParamId::Clipping, 255), 0.0);
    }
    EXPECT_EQ(f.p().reportedMode, 1);
    for (int c = 0; c < 2; ++c)
        expectSignal(refOut[c], 256 * (Blocks - 1), 256 * Blocks);
    EXPECT_GT(ref->reduction, 0.0f);
}

TEST(ProcessorBlock, ChangesCutTheBlockAtTheirOffsets)
{
    // Live DSP has no delay: every output sample shows the values in force at
    // its own offset. The input is loudest in the middle sub-block, so that
    // its meters are the block's, neither the first's nor the last's.
    Fixture f(256);
    for (int c = 0; c < 2; ++c)
        for (int n = 0; n < 256; ++n)
            f.host.in[c][static_cast<size_t>(n)] *= (n >= 64 && n < 100) ? 1.0f : 0.25f;
    f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
    f.host.inChanges.addQueue(ParamId::CleanAmount, {{0, 0.2}, {64, 0.4}, {64, 0.9}});
    f.host.inChanges.addQueue(ParamId::DryWet, {{100, 0.3}});
    ASSERT_EQ(f.host.run(256), kResultOk);

    // The engine calls expected: 64, 36 and 156 frames, each change applied
    // before the sample at its offset.
    auto ref = referenceEngine(Mode::LiveDsp);
    std::vector<float> refOut[2] = {std::vector<float>(256), std::vector<float>(256)};
    struct {
        float inputPeak, outputPeak, reduction;
    } sub[3];
    auto call = [&](int i, int offset, int frames) {
        runEngine(*ref, f.host.in, refOut, 2, offset, frames);
        sub[i] = {ref->inputPeak, ref->outputPeak, ref->reduction};
    };
    ref->set(ParamId::CleanAmount, 0.2f);
    call(0, 0, 64);
    ref->set(ParamId::CleanAmount, 0.4f);
    ref->set(ParamId::CleanAmount, 0.9f);
    call(1, 64, 36);
    ref->set(ParamId::DryWet, 0.3f);
    call(2, 100, 156);

    for (int c = 0; c < 2; ++c) {
        expectSignal(refOut[c], 0, 64);
        expectSignal(refOut[c], 64, 100);
        expectSignal(refOut[c], 100, 256);
        expectSame(f.host.out[c], refOut[c], 0, 256);
    }
    // The block's meters are the largest of the sub-blocks', here the middle one's.
    for (int i : {0, 2}) {
        ASSERT_GT(sub[1].inputPeak, sub[i].inputPeak);
        ASSERT_GT(sub[1].outputPeak, sub[i].outputPeak);
        ASSERT_GT(sub[1].reduction, sub[i].reduction);
    }
    EXPECT_EQ(reportedValue(f.host, ParamId::InputPeak, 255), static_cast<double>(sub[1].inputPeak));
    EXPECT_EQ(reportedValue(f.host, ParamId::OutputPeak, 255), static_cast<double>(sub[1].outputPeak));
    EXPECT_EQ(reportedValue(f.host, ParamId::Reduction, 255), static_cast<double>(sub[1].reduction));
    EXPECT_EQ(f.p().params[ParamId::CleanAmount].load(), 0.9f);
    EXPECT_EQ(f.p().params[ParamId::DryWet].load(), 0.3f);
}

TEST(ProcessorBlock, BypassStepShowsAtItsSample)
{
    // Live DSP has no delay, so a change acts on the output sample at its offset.
    std::vector<float> plain[2];
    for (bool withChange : {false, true}) {
        Fixture f(256);
        f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
        if (withChange)
            f.host.addChange(ParamId::Bypass, 100, 1.0);
        ASSERT_EQ(f.host.run(256), kResultOk);
        if (!withChange) {
            plain[0] = f.host.out[0];
            plain[1] = f.host.out[1];
            continue;
        }
        for (int c = 0; c < 2; ++c) {
            expectSame(f.host.out[c], plain[c], 0, 100);
            EXPECT_NE(f.host.out[c][100], plain[c][100]);
        }
    }
}

TEST(ProcessorBlock, LaterQueueForAnIdReplacesTheEarlier)
{
    Fixture f(256);
    f.host.inChanges.addQueue(ParamId::OutputGain, {{0, 0.9}, {50, 0.1}});
    f.host.inChanges.addQueue(ParamId::OutputGain, {{0, 0.2}});
    ASSERT_EQ(f.host.run(256), kResultOk);
    EXPECT_EQ(f.p().params[ParamId::OutputGain].load(), 0.2f);
    EXPECT_EQ(f.p().engines[1].target[ParamId::OutputGain], 0.2f);
}

TEST(ProcessorBlock, PointsOutsideTheBlock)
{
    // In Live DSP each of the three values would show in the output at once.
    std::vector<float> plain[2];
    {
        Fixture g(256);
        g.host.addChange(ParamId::ProcessingMode, 0, 1.0);
        ASSERT_EQ(g.host.run(256), kResultOk);
        plain[0] = g.host.out[0];
        plain[1] = g.host.out[1];
    }
    Fixture f(256);
    f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
    f.host.inChanges.addQueue(ParamId::NoiseReduction, {{-5, 0.1}});          // negative: skipped
    f.host.inChanges.addQueue(ParamId::BodyRestore, {{256, 0.7}});            // at n: after the block
    f.host.inChanges.addQueue(ParamId::FrequencyFocus, {{300, 0.9}});         // beyond n: never
    ASSERT_EQ(f.host.run(256), kResultOk);
    for (int c = 0; c < 2; ++c) {
        expectSignal(plain[c], 0, 256);
        expectSame(f.host.out[c], plain[c], 0, 256);
    }
    EXPECT_EQ(f.p().params[ParamId::NoiseReduction].load(), Defaults[ParamId::NoiseReduction]);
    EXPECT_EQ(f.p().params[ParamId::BodyRestore].load(), 0.7f);
    EXPECT_EQ(f.p().engines[2].target[ParamId::BodyRestore], 0.7f);
    EXPECT_EQ(f.p().params[ParamId::FrequencyFocus].load(), Defaults[ParamId::FrequencyFocus]);
}

TEST(ProcessorBlock, ParameterValuesAreClamped)
{
    const struct {
        double value;
        float stored;
    } cases[] = {
        {7.5, 1.0f},
        {-1.0, 0.0f},
        {0.3, 0.3f},
        {1e300, 1.0f},
        {std::numeric_limits<double>::quiet_NaN(), Defaults[ParamId::FrequencyFocus]},
        {std::numeric_limits<double>::infinity(), Defaults[ParamId::FrequencyFocus]},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Fixture f(256);
        f.host.addChange(ParamId::FrequencyFocus, 10, c.value);
        ASSERT_EQ(f.host.run(256), kResultOk);
        EXPECT_EQ(f.p().params[ParamId::FrequencyFocus].load(), c.stored);
        EXPECT_EQ(f.p().engines[1].target[ParamId::FrequencyFocus], c.stored);
    }
}

TEST(ProcessorBlock, ModeRequestOfParameterNine)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double value;
        int32_t mode;
    } cases[] = {{0.2499, 0}, {0.25, 1}, {0.7499, 1}, {0.75, 2}, {-3.0, 0}, {nan, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Fixture f(256);
        f.host.addChange(ParamId::ProcessingMode, 0, 0.0);  // first to Neural Live
        ASSERT_EQ(f.host.run(256), kResultOk);
        ASSERT_EQ(f.p().activeMode, 0);
        f.host.addChange(ParamId::ProcessingMode, 30, c.value);
        ASSERT_EQ(f.host.run(256), kResultOk);
        EXPECT_EQ(f.p().requestedMode.load(), c.mode);
        EXPECT_EQ(f.p().activeMode, c.mode);
    }
}

TEST(ProcessorBlock, LastModePointSwitchesTheWholeBlock)
{
    Fixture f(256);
    f.host.addChange(ParamId::ProcessingMode, 0, 0.0);
    f.host.addChange(ParamId::ProcessingMode, 200, 1.0);
    ASSERT_EQ(f.host.run(256), kResultOk);
    EXPECT_EQ(f.p().activeMode, 2);

    auto ref = referenceEngine(Mode::LiveDsp);
    std::vector<float> refOut[2] = {std::vector<float>(256), std::vector<float>(256)};
    runEngine(*ref, f.host.in, refOut, 2, 0, 256);
    for (int c = 0; c < 2; ++c)
        expectSame(f.host.out[c], refOut[c], 0, 256);
    EXPECT_EQ(reportedValue(f.host, ParamId::ProcessingMode, 255), 1.0);
    EXPECT_EQ(reportedValue(f.host, ParamId::NeuralActive, 255), 0.0);
}

TEST(ProcessorBlock, SwitchedEngineStartsFromCurrentValuesAndClearState)
{
    Fixture f(256);
    f.host.addChange(ParamId::CleanAmount, 0, 0.4);
    ASSERT_EQ(f.host.run(256), kResultOk);
    f.p().engines[2].channel[0].envelope = 0.7f;  // leftover state of the idle engine
    f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
    ASSERT_EQ(f.host.run(256), kResultOk);
    const Engine& e = f.p().engines[2];
    EXPECT_EQ(e.target[ParamId::CleanAmount], 0.4f);
    auto ref = referenceEngine(Mode::LiveDsp);
    ref->set(ParamId::CleanAmount, 0.4f);
    ref->resetRealtime();
    std::vector<float> refOut[2] = {std::vector<float>(256), std::vector<float>(256)};
    runEngine(*ref, f.host.in, refOut, 2, 0, 256);
    for (int c = 0; c < 2; ++c)
        expectSame(f.host.out[c], refOut[c], 0, 256);
}

TEST(ProcessorBlock, SilenceMasksAndMissingBuffers)
{
    // In Live DSP, which has no delay, a channel read as silence gives silent
    // output where its signal would have shown.
    const struct {
        const char* what;
        bool silentIn1, noIn0, noOut1;
    } cases[] = {
        {"input channel 1 marked silent", true, false, false},
        {"input buffer 0 missing", false, true, false},
        {"output buffer 1 missing", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(256);
        f.host.out[1].assign(256, Sentinel);
        f.host.bind(256);
        f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
        if (c.silentIn1)
            f.host.data.inputs[0].silenceFlags = 2;
        if (c.noIn0)
            f.host.data.setChannelBuffer(kInput, 0, 0, nullptr);
        if (c.noOut1)
            f.host.data.setChannelBuffer(kOutput, 0, 1, nullptr);
        f.host.data.outputs[0].silenceFlags = HostProcessData::kAllChannelsSilent;
        ASSERT_EQ(f.host.processor->process(f.host.data), kResultOk);
        EXPECT_EQ(f.host.data.outputs[0].silenceFlags, 0u);

        // The engine reads a missing or silent input as zeros.
        std::vector<float> refIn[2] = {f.host.in[0], f.host.in[1]};
        if (c.silentIn1)
            refIn[1].assign(256, 0.0f);
        if (c.noIn0)
            refIn[0].assign(256, 0.0f);
        auto ref = referenceEngine(Mode::LiveDsp);
        std::vector<float> refOut[2] = {std::vector<float>(256), std::vector<float>(256)};
        runEngine(*ref, refIn, refOut, 2, 0, 256);
        expectSame(f.host.out[0], refOut[0], 0, 256);
        if (c.noOut1)
            EXPECT_EQ(f.host.out[1], std::vector<float>(256, Sentinel));
        else
            expectSame(f.host.out[1], refOut[1], 0, 256);

        // The channel read as silence would have carried signal, the other does.
        auto heard = referenceEngine(Mode::LiveDsp);
        std::vector<float> heardOut[2] = {std::vector<float>(256), std::vector<float>(256)};
        runEngine(*heard, f.host.in, heardOut, 2, 0, 256);
        const int silenced = c.silentIn1 ? 1 : (c.noIn0 ? 0 : -1);
        for (int ch = 0; ch < 2; ++ch) {
            expectSignal(heardOut[ch], 0, 256);
            if (ch == silenced)
                EXPECT_EQ(peak(refOut[ch], 0, 256), 0.0f);
            else
                expectSignal(refOut[ch], 0, 256);
        }
    }
}

TEST(ProcessorBlock, NoBusesOrNoSamplesOnlyApplyModeAndOffsetZero)
{
    Fixture f(256);
    f.host.bind(0);
    f.host.data.numInputs = 0;
    f.host.data.numOutputs = 0;
    f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
    f.host.addChange(ParamId::CleanAmount, 0, 0.6);
    ASSERT_EQ(f.host.processor->process(f.host.data), kResultOk);
    f.host.data.numInputs = 1;
    f.host.data.numOutputs = 1;
    f.host.inChanges.clearQueue();
    EXPECT_EQ(f.p().activeMode, 2);
    EXPECT_EQ(f.p().params[ParamId::CleanAmount].load(), 0.6f);
    EXPECT_EQ(f.host.outChanges.getParameterCount(), 0);

    // Buses present but 0 samples: nothing reported either.
    f.host.bind(0);
    ASSERT_EQ(f.host.processor->process(f.host.data), kResultOk);
    EXPECT_EQ(f.host.outChanges.getParameterCount(), 0);

    // The next block reports the mode it switched to.
    ASSERT_EQ(f.host.run(256), kResultOk);
    EXPECT_EQ(reportedValue(f.host, ParamId::ProcessingMode, 255), 1.0);
}

TEST(ProcessorBlock, ChannelCountMismatchIsRefusedAfterOffsetZero)
{
    const struct {
        const char* what;
        int32 inChannels, outChannels;
    } cases[] = {{"mono in, stereo out", 1, 2}, {"three channels", 3, 3}, {"no channels", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(256);
        f.host.out[0].assign(256, Sentinel);
        f.host.out[1].assign(256, Sentinel);
        f.host.bind(256);
        f.host.data.inputs[0].numChannels = c.inChannels;
        f.host.data.outputs[0].numChannels = c.outChannels;
        f.host.data.outputs[0].silenceFlags = 3;
        f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
        f.host.addChange(ParamId::CleanAmount, 0, 0.6);
        f.host.addChange(ParamId::OriginalAmbience, 100, 0.8);
        EXPECT_EQ(f.host.processor->process(f.host.data), kResultFalse);
        f.host.data.inputs[0].numChannels = 2;
        f.host.data.outputs[0].numChannels = 2;
        f.host.inChanges.clearQueue();

        EXPECT_EQ(f.p().activeMode, 2);
        EXPECT_EQ(f.p().params[ParamId::CleanAmount].load(), 0.6f);
        EXPECT_EQ(f.p().params[ParamId::OriginalAmbience].load(), Defaults[ParamId::OriginalAmbience]);
        EXPECT_EQ(f.host.data.outputs[0].silenceFlags, 3u);
        EXPECT_EQ(f.host.outChanges.getParameterCount(), 0);
        EXPECT_EQ(f.host.out[0], std::vector<float>(256, Sentinel));
        EXPECT_EQ(f.host.out[1], std::vector<float>(256, Sentinel));
    }
}

TEST(ProcessorBlock, WrongSampleSizeOrNegativeLengthChangesNothing)
{
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant);
        Fixture f(256);
        f.host.bind(256);
        if (variant == 0)
            f.host.data.symbolicSampleSize = kSample64;
        else
            f.host.data.numSamples = -1;
        f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
        f.host.addChange(ParamId::CleanAmount, 0, 0.6);
        EXPECT_EQ(f.host.processor->process(f.host.data), kResultFalse);
        f.host.data.symbolicSampleSize = kSample32;
        f.host.inChanges.clearQueue();
        EXPECT_EQ(f.p().requestedMode.load(), 1);
        EXPECT_EQ(f.p().activeMode, 1);
        EXPECT_EQ(f.p().params[ParamId::CleanAmount].load(), Defaults[ParamId::CleanAmount]);
    }
}

TEST(ProcessorBlock, EnginesPreparedForMonoRefuseStereoBuses)
{
    Fixture f(256, 1);
    ASSERT_EQ(f.host.run(256), kResultOk);
    double before[5];
    const ParamID meters[5] = {ParamId::InputPeak, ParamId::OutputPeak, ParamId::Reduction, ParamId::NeuralActive,
                               ParamId::Clipping};
    for (int i = 0; i < 5; ++i)
        before[i] = reportedValue(f.host, meters[i], 255);

    std::vector<float> stereoOut[2] = {std::vector<float>(256, Sentinel), std::vector<float>(256, Sentinel)};
    float* inPtrs[2] = {f.host.in[0].data(), f.host.in[1].data()};
    float* outPtrs[2] = {stereoOut[0].data(), stereoOut[1].data()};
    f.host.bind(256);
    AudioBusBuffers& inBus = f.host.data.inputs[0];
    AudioBusBuffers& outBus = f.host.data.outputs[0];
    float** savedIn = inBus.channelBuffers32;
    float** savedOut = outBus.channelBuffers32;
    inBus.numChannels = outBus.numChannels = 2;
    inBus.channelBuffers32 = inPtrs;
    outBus.channelBuffers32 = outPtrs;
    EXPECT_EQ(f.host.processor->process(f.host.data), kResultOk);
    inBus.numChannels = outBus.numChannels = 1;
    inBus.channelBuffers32 = savedIn;
    outBus.channelBuffers32 = savedOut;

    EXPECT_EQ(stereoOut[0], std::vector<float>(256, Sentinel));
    EXPECT_EQ(stereoOut[1], std::vector<float>(256, Sentinel));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(reportedValue(f.host, meters[i], 255), before[i]) << meters[i];
}

TEST(ProcessorBlock, NeuralMeter)
{
    const struct {
        const char* what;
        double mode;
        bool fault;
        double meter;
    } cases[] = {
        {"Neural Classic", 0.5, false, 1.0},
        {"Neural Classic, faulted channel", 0.5, true, 0.75},
        {"Neural Live, faulted channel", 0.0, true, 0.75},
        {"Live DSP", 1.0, false, 0.0},
        {"Live DSP, faulted channel", 1.0, true, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(256);
        f.host.addChange(ParamId::ProcessingMode, 0, c.mode);
        ASSERT_EQ(f.host.run(64), kResultOk);
        if (c.fault)
            f.p().engines[f.p().activeMode].channel[1].fault = true;
        ASSERT_EQ(f.host.run(256), kResultOk);
        EXPECT_EQ(reportedValue(f.host, ParamId::NeuralActive, 255), c.meter);
    }
}

TEST(ProcessorBlock, MetersAreLimitedToOne)
{
    Fixture f(256);
    for (int c = 0; c < 2; ++c)
        for (int n = 0; n < 256; ++n)
            f.host.in[c][static_cast<size_t>(n)] = (n % 2 ? 3.0f : -3.0f);
    f.host.addChange(ParamId::ProcessingMode, 0, 1.0);
    ASSERT_EQ(f.host.run(256), kResultOk);
    EXPECT_EQ(reportedValue(f.host, ParamId::InputPeak, 255), 1.0);
    EXPECT_EQ(reportedValue(f.host, ParamId::OutputPeak, 255), 1.0);
    EXPECT_EQ(reportedValue(f.host, ParamId::Clipping, 255), 1.0);
    EXPECT_LE(reportedValue(f.host, ParamId::Reduction, 255), 1.0);

    // The output gain at its lowest takes more than 1 off every sample of
    // this input once it has glided down.
    f.host.addChange(ParamId::OutputGain, 0, 0.0);
    ASSERT_EQ(f.host.run(256), kResultOk);
    ASSERT_EQ(f.host.run(256), kResultOk);
    ASSERT_GT(f.p().engines[2].reduction, 1.0f);
    EXPECT_EQ(reportedValue(f.host, ParamId::Reduction, 255), 1.0);
}

// A host whose output queues are exhausted or refuse points.
class RefusingQueue : public ParameterValueQueue {
public:
    RefusingQueue() : ParameterValueQueue(kNoParamId) {}
    tresult PLUGIN_API addPoint(int32, ParamValue, int32&) override { return kResultFalse; }
};

class LimitedChanges : public ParameterChanges {
public:
    bool full = false;      // no queue at all
    bool refusing = false;  // queues that refuse their points
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override
    {
        if (full)
            return nullptr;
        if (refusing)
            return &refusingQueue;
        return ParameterChanges::addParameterData(id, index);
    }
    RefusingQueue refusingQueue;
};

TEST(ProcessorBlock, ModeReportIsRetriedUntilAccepted)
{
    for (bool full : {true, false}) {
        SCOPED_TRACE(full ? "no queue" : "point refused");
        Fixture f(256);
        LimitedChanges limited;
        limited.full = full;
        limited.refusing = !full;
        f.host.bind(256);
        f.host.data.outputParameterChanges = &limited;
        ASSERT_EQ(f.host.processor->process(f.host.data), kResultOk);
        EXPECT_EQ(f.p().reportedMode, -1);
        ASSERT_EQ(f.host.processor->process(f.host.data), kResultOk);
        EXPECT_EQ(f.p().reportedMode, -1);

        ASSERT_EQ(f.host.run(256), kResultOk);
        EXPECT_EQ(reportedValue(f.host, ParamId::ProcessingMode, 255), 0.5);
        EXPECT_EQ(f.p().reportedMode, 1);
    }
}

TEST(ProcessorBlock, CleansExactlyAsTheEngine)
{
    const int frames = 256 * 375;  // two seconds at 48 kHz
    Fixture f(256);
    for (int c = 0; c < 2; ++c) {
        f.host.in[c] = voiceLike(frames, 21u + static_cast<unsigned>(c), NoisyVoice);
        f.host.out[c].assign(static_cast<size_t>(frames), 0.0f);
    }
    for (int offset = 0; offset < frames; offset += 256)
        ASSERT_EQ(f.host.run(256, offset), kResultOk);

    auto ref = referenceEngine(Mode::NeuralClassic);
    std::vector<float> refOut[2] = {std::vector<float>(static_cast<size_t>(frames)),
                                    std::vector<float>(static_cast<size_t>(frames))};
    runEngine(*ref, f.host.in, refOut, 2, 0, frames);
    for (int c = 0; c < 2; ++c)
        expectSame(f.host.out[c], refOut[c], 0, frames);
    // The engine did clean: the output is not the delayed input.
    double diff = 0.0;
    for (int n = 1440; n < frames; ++n)
        diff += std::fabs(refOut[0][static_cast<size_t>(n)] - f.host.in[0][static_cast<size_t>(n - 1440)]);
    EXPECT_GT(diff, 1.0);
}

} // namespace
