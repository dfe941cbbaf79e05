// The processor as a host sets it up: initialization, buses, sample sizes,
// preparation of the three engines, latency and activation.

#include "processor_host.h"

#include <gtest/gtest.h>

using namespace hushkit;
using namespace hushkit::test;

namespace {

std::string busName(const BusInfo& info)
{
    std::string s;
    for (const TChar* p = info.name; *p; ++p)
        s += static_cast<char>(*p);
    return s;
}

TEST(ProcessorSetup, InitializeAddsOneStereoBusEachWay)
{
    Host host;
    Processor& p = *host.processor;
    ASSERT_EQ(p.getBusCount(kAudio, kInput), 1);
    ASSERT_EQ(p.getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(p.getBusCount(kEvent, kInput), 0);
    EXPECT_EQ(p.getBusCount(kEvent, kOutput), 0);

    const struct {
        BusDirection dir;
        const char* name;
    } buses[] = {{kInput, "Input"}, {kOutput, "Output"}};
    for (const auto& b : buses) {
        BusInfo info{};
        ASSERT_EQ(p.getBusInfo(kAudio, b.dir, 0, info), kResultOk);
        EXPECT_EQ(busName(info), b.name);
        EXPECT_EQ(info.channelCount, 2);
        EXPECT_EQ(info.busType, kMain);
        EXPECT_EQ(info.flags, static_cast<uint32>(BusInfo::kDefaultActive));
        SpeakerArrangement arr = 0;
        ASSERT_EQ(p.getBusArrangement(b.dir, 0, arr), kResultOk);
        EXPECT_EQ(arr, SpeakerArr::kStereo);
    }

    TUID cid;
    ASSERT_EQ(p.getControllerClassId(cid), kResultOk);
    EXPECT_EQ(FUID::fromTUID(cid), ControllerID);
    EXPECT_EQ(p.getTailSamples(), 0u);
}

TEST(ProcessorSetup, FailedBaseInitializeAddsNoBus)
{
    Host host;
    // A second initialize is refused by the SDK base.
    EXPECT_NE(host.processor->initialize(host.app.get()), kResultOk);
    EXPECT_EQ(host.processor->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(host.processor->getBusCount(kAudio, kOutput), 1);
}

TEST(ProcessorSetup, BusArrangements)
{
    const SpeakerArrangement mono = SpeakerArr::kMono;
    const SpeakerArrangement stereo = SpeakerArr::kStereo;
    const SpeakerArrangement surround = SpeakerArr::k51;
    const struct {
        const char* what;
        std::vector<SpeakerArrangement> ins, outs;
        tresult result;
    } cases[] = {
        {"mono to mono", {mono}, {mono}, kResultOk},
        {"stereo to stereo", {stereo}, {stereo}, kResultOk},
        {"mono to stereo", {mono}, {stereo}, kResultFalse},
        {"stereo to mono", {stereo}, {mono}, kResultFalse},
        {"two input buses", {stereo, stereo}, {stereo}, kResultFalse},
        {"two output buses", {stereo}, {stereo, stereo}, kResultFalse},
        {"surround", {surround}, {surround}, kResultFalse},
        {"no buses", {}, {}, kResultFalse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        // Start from mono so that a refused call visibly keeps the old arrangement.
        SpeakerArrangement m = mono, m2 = mono;
        ASSERT_EQ(host.processor->setBusArrangements(&m, 1, &m2, 1), kResultOk);
        auto ins = c.ins;
        auto outs = c.outs;
        EXPECT_EQ(host.processor->setBusArrangements(ins.empty() ? nullptr : ins.data(), static_cast<int32>(ins.size()),
                                                     outs.empty() ? nullptr : outs.data(),
                                                     static_cast<int32>(outs.size())),
                  c.result);
        const SpeakerArrangement expected = c.result == kResultOk ? c.ins[0] : mono;
        for (BusDirection dir : {kInput, kOutput}) {
            SpeakerArrangement arr = 0;
            ASSERT_EQ(host.processor->getBusArrangement(dir, 0, arr), kResultOk);
            EXPECT_EQ(arr, expected);
        }
    }
}

TEST(ProcessorSetup, MonoArrangementPreparesOneChannel)
{
    Host host;
    ASSERT_TRUE(host.start(48000.0, 512, 1));
    for (const Engine& e : host.processor->engines)
        EXPECT_EQ(e.channelCount, 1);

    Host stereo;
    ASSERT_TRUE(stereo.start(48000.0, 512, 2));
    for (const Engine& e : stereo.processor->engines)
        EXPECT_EQ(e.channelCount, 2);
}

TEST(ProcessorSetup, Only32BitSamples)
{
    Host host;
    EXPECT_EQ(host.processor->canProcessSampleSize(kSample32), kResultOk);
    EXPECT_EQ(host.processor->canProcessSampleSize(kSample64), kResultFalse);
    ProcessSetup setup{kRealtime, kSample64, 512, 48000.0};
    EXPECT_EQ(host.processor->setupProcessing(setup), kResultFalse);
}

TEST(ProcessorSetup, ModeLatencyPerRate)
{
    const struct {
        double rate;
        int32_t latency[3];
    } cases[] = {
        {44100.0, {120, 1356, 0}},
        {48000.0, {95, 1440, 0}},
        {96000.0, {242, 2932, 0}},
        {192000.0, {468, 5848, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        Host host;
        EXPECT_EQ(host.processor->getLatencySamples(), 1440u);  // before any setup
        ASSERT_TRUE(host.start(c.rate, 512));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(host.processor->modeLatency[i], c.latency[i]) << "mode " << i;
        EXPECT_EQ(host.processor->getLatencySamples(), static_cast<uint32>(c.latency[1]));
    }
}

TEST(ProcessorSetup, RefusedSetupLeavesEnginesUnchanged)
{
    const struct {
        const char* what;
        ProcessSetup setup;
    } cases[] = {
        {"7999 Hz", {kRealtime, kSample32, 512, 7999.0}},
        {"192001 Hz", {kRealtime, kSample32, 512, 192001.0}},
        {"maximum block 0", {kRealtime, kSample32, 0, 44100.0}},
        {"maximum block -1", {kRealtime, kSample32, -1, 44100.0}},
        {"64-bit samples", {kRealtime, kSample64, 512, 44100.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        SpeakerArrangement m = SpeakerArr::kMono, m2 = SpeakerArr::kMono;
        ASSERT_EQ(host.processor->setBusArrangements(&m, 1, &m2, 1), kResultOk);
        ProcessSetup good{kRealtime, kSample32, 512, 48000.0};
        ASSERT_EQ(host.processor->setupProcessing(good), kResultOk);

        ProcessSetup bad = c.setup;
        EXPECT_EQ(host.processor->setupProcessing(bad), kResultFalse);
        const int32_t latency[3] = {95, 1440, 0};
        for (int i = 0; i < 3; ++i) {
            const Engine& e = host.processor->engines[i];
            EXPECT_EQ(e.sampleRate, 48000.0);
            EXPECT_EQ(e.channelCount, 1);
            EXPECT_EQ(host.processor->modeLatency[i], latency[i]);
        }
    }
}

TEST(ProcessorSetup, ActivationTakesTheRequestedModeAndCurrentValues)
{
    Host host;
    ASSERT_TRUE(host.start());
    Processor& p = *host.processor;
    p.setProcessing(false);
    ASSERT_EQ(p.setActive(false), kResultOk);

    p.requestedMode.store(2);
    p.params[ParamId::NoiseReduction].store(0.25f);
    // Leftover signal state in an engine must go at activation.
    p.engines[2].channel[0].envelope = 0.5f;
    p.engines[0].smoothed[0] = 0.3f;

    ASSERT_EQ(p.setActive(true), kResultOk);
    EXPECT_EQ(p.activeMode, 2);
    for (const Engine& e : p.engines) {
        for (int k = 0; k < EngineParamCount; ++k) {
            const float expected = k == ParamId::NoiseReduction ? 0.25f : Defaults[k];
            EXPECT_EQ(e.target[k], expected);
            EXPECT_EQ(e.smoothed[k], expected);
        }
        EXPECT_EQ(e.channel[0].envelope, 0.0f);
    }

    // Deactivation changes nothing of the processor's own.
    p.reportedMode = 1;
    ASSERT_EQ(p.setActive(false), kResultOk);
    EXPECT_EQ(p.activeMode, 2);
    EXPECT_EQ(p.requestedMode.load(), 2);
    EXPECT_EQ(p.reportedMode, 1);
    EXPECT_EQ(p.params[ParamId::NoiseReduction].load(), 0.25f);
}

TEST(ProcessorSetup, CreateGivesNeuralClassicProcessor)
{
    FUnknown* unknown = Processor::create(nullptr);
    ASSERT_NE(unknown, nullptr);
    void* obj = nullptr;
    ASSERT_EQ(unknown->queryInterface(IAudioProcessor::iid, &obj), kResultOk);
    auto* p = static_cast<Processor*>(static_cast<IAudioProcessor*>(obj));
    EXPECT_EQ(p->defaultMode, 1);
    EXPECT_EQ(p->requestedMode.load(), 1);
    EXPECT_EQ(p->activeMode, 1);
    p->release();
    unknown->release();
}

TEST(ProcessorSetup, EveryProcessorStartsInNeuralClassic)
{
    for (int32_t defaultMode : {0, 1, 2}) {
        IPtr<Processor> p = owned(new Processor(defaultMode));
        EXPECT_EQ(p->requestedMode.load(), 1);
        EXPECT_EQ(p->activeMode, 1);
        EXPECT_EQ(p->reportedMode, -1);
        EXPECT_EQ(p->defaultMode, defaultMode);
        for (int k = 0; k < EngineParamCount; ++k)
            EXPECT_EQ(p->params[k].load(), Defaults[k]);
    }
}

} // namespace
