// The built Hushkit.vst3 bundle, driven the way a VST3 host drives it: the
// SDK's module loader, plug-in factory, host application, connection proxies
// and process data. The cleaning itself is checked against an engine that the
// test runs directly with the same input and automation.

#include "Engine.h"
#include "alloc_counter.h"
#include "Ids.h"
#include "Types.h"
#include "Wav.h"
#include "state_record_bytes.h"

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "pluginterfaces/vst/vsttypes.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/connectionproxy.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 BlockSize = 512;
constexpr double Rate = 48000.0;

FUID classId(const hushkit::ClassWords& w) { return FUID(w.w0, w.w1, w.w2, w.w3); }

VST3::UID uidOf(const hushkit::ClassWords& w) { return VST3::UID::fromTUID(classId(w).toTUID()); }

VST3::Hosting::Module::Ptr loadBundle()
{
    std::string error;
    auto module = VST3::Hosting::Module::create(HUSHKIT_BUNDLE_PATH, error);
    EXPECT_TRUE(module) << error;
    return module;
}

long heapObjects() { return hushkit::test::liveObjects(); }

std::string str(const char8* s) { return std::string(s); }

// A component state record of version 1 (no mode): the nine defaults.
std::vector<uint8_t> versionOneRecord()
{
    return hushkit::test::recordBytes(1, std::vector<float>(hushkit::Defaults, hushkit::Defaults + hushkit::EngineParamCount));
}

// ---------------------------------------------------------------------------
// Factory information and class listing

TEST(ModuleFactory, ListsFactoryInfoAndExactlyTwoClasses)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    const auto& factory = module->getFactory();

    auto info = factory.info();
    EXPECT_EQ(info.vendor(), "Hushkit");
    EXPECT_EQ(info.url(), "");
    EXPECT_EQ(info.email(), "");
    EXPECT_EQ(info.flags(), PFactoryInfo::kUnicode);
    EXPECT_EQ(info.flags(), 16);

    ASSERT_EQ(factory.classCount(), 2u);
    FUnknownPtr<IPluginFactory2> factory2(factory.get());
    ASSERT_TRUE(factory2);

    struct Expected {
        hushkit::ClassWords words;
        const char* category;
        const char* name;
        uint32 flags;
        const char* subCategories;
    };
    const Expected expected[2] = {
        {hushkit::ProcessorWords, "Audio Module Class", "Hushkit", 1, "Fx|Restoration"},
        {hushkit::ControllerWords, "Component Controller Class", "Hushkit Controller", 0, ""},
    };
    for (int32 i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        PClassInfo2 c{};
        ASSERT_EQ(factory2->getClassInfo2(i, &c), kResultOk);
        EXPECT_EQ(std::memcmp(c.cid, classId(expected[i].words).toTUID(), sizeof(TUID)), 0);
        EXPECT_EQ(c.cardinality, 0x7FFFFFFF);
        EXPECT_EQ(str(c.category), expected[i].category);
        EXPECT_EQ(str(c.name), expected[i].name);
        EXPECT_EQ(c.classFlags, expected[i].flags);
        EXPECT_EQ(str(c.subCategories), expected[i].subCategories);
        EXPECT_EQ(str(c.vendor), "");
        EXPECT_EQ(str(c.version), "0.7.4");
        // The SDK the module was built with.
        EXPECT_EQ(str(c.sdkVersion), kVstVersionString);
        EXPECT_EQ(str(c.sdkVersion), "VST 3.7.10");

        PClassInfo c1{};
        ASSERT_EQ(factory.get()->getClassInfo(i, &c1), kResultOk);
        EXPECT_EQ(std::memcmp(c1.cid, c.cid, sizeof(TUID)), 0);
        EXPECT_EQ(str(c1.name), expected[i].name);
    }
    PClassInfo2 none{};
    EXPECT_NE(factory2->getClassInfo2(2, &none), kResultOk);
}

TEST(ModuleFactory, ClassIdentifiersShareAllButTheLowestByte)
{
    // The four identifiers round-trip through the SDK's 16-byte form to the
    // same words, share words 2 to 4 and the upper 24 bits of word 1, and count
    // 1 to 4 in the lowest byte.
    const hushkit::ClassWords all[4] = {hushkit::ProcessorWords, hushkit::ControllerWords, hushkit::LiveWords,
                                        hushkit::NeuralLiveWords};
    for (uint32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const FUID id = FUID::fromTUID(classId(all[i]).toTUID());
        uint32 w[4];
        id.to4Int(w[0], w[1], w[2], w[3]);
        EXPECT_EQ(w[0], all[i].w0);
        EXPECT_EQ(w[0] & 0xFFu, i + 1);
        EXPECT_EQ(w[0] & 0xFFFFFF00u, all[0].w0 & 0xFFFFFF00u);
        EXPECT_EQ(w[1], all[0].w1);
        EXPECT_EQ(w[2], all[0].w2);
        EXPECT_EQ(w[3], all[0].w3);
    }
}

// The module opened as a bare shared library, for the entry points that the
// SDK's module loader calls once and hides.
struct RawModule {
    void* handle = nullptr;
    GetFactoryProc getFactory = nullptr;
    bool (*entry)(void*) = nullptr;
    bool (*exit)() = nullptr;

    RawModule()
    {
        handle = dlopen(HUSHKIT_MODULE_FILE, RTLD_LAZY | RTLD_LOCAL);
        if (!handle)
            return;
        getFactory = reinterpret_cast<GetFactoryProc>(dlsym(handle, "GetPluginFactory"));
        entry = reinterpret_cast<bool (*)(void*)>(dlsym(handle, "ModuleEntry"));
        exit = reinterpret_cast<bool (*)()>(dlsym(handle, "ModuleExit"));
    }
    ~RawModule()
    {
        if (handle)
            dlclose(handle);
    }
};

TEST(ModuleFactory, OneFactoryPerProcessUntilTheLastRelease)
{
    RawModule raw;
    ASSERT_NE(raw.handle, nullptr) << dlerror();
    ASSERT_TRUE(raw.getFactory && raw.entry && raw.exit);
    ASSERT_TRUE(raw.entry(raw.handle));

    IPluginFactory* first = raw.getFactory();
    IPluginFactory* second = raw.getFactory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->release(), 1u);
    EXPECT_EQ(first->release(), 0u);  // destroyed here

    // A new factory, holding only the caller's reference, that lists the two
    // classes again.
    IPluginFactory* third = raw.getFactory();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->addRef(), 2u);
    EXPECT_EQ(third->release(), 1u);
    EXPECT_EQ(third->countClasses(), 2);
    PClassInfo c{};
    ASSERT_EQ(third->getClassInfo(0, &c), kResultOk);
    EXPECT_EQ(str(c.name), "Hushkit");
    ASSERT_EQ(third->getClassInfo(1, &c), kResultOk);
    EXPECT_EQ(str(c.name), "Hushkit Controller");
    EXPECT_EQ(third->release(), 0u);

    EXPECT_TRUE(raw.exit());
}

TEST(ModuleFactory, NullArgumentsAreInvalid)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    IPluginFactory* factory = module->getFactory().get();

    // Listed and unlisted classes alike: nothing created, nothing written.
    const FUID classes[] = {classId(hushkit::ProcessorWords), classId(hushkit::ControllerWords),
                            classId(hushkit::LiveWords), classId(hushkit::NeuralLiveWords)};
    for (const FUID& cls : classes) {
        void* sentinel = &sentinel;
        void* obj = sentinel;
        EXPECT_EQ(factory->createInstance(nullptr, IComponent::iid.toTUID(), &obj), kInvalidArgument);
        EXPECT_EQ(factory->createInstance(cls.toTUID(), nullptr, &obj), kInvalidArgument);
        EXPECT_EQ(obj, sentinel);
        EXPECT_EQ(factory->createInstance(cls.toTUID(), IComponent::iid.toTUID(), nullptr), kInvalidArgument);
    }
}

TEST(ModuleFactory, WrongInterfaceLeavesNoObjectAlive)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    IPluginFactory* factory = module->getFactory().get();

    struct Case {
        const char* what;
        hushkit::ClassWords cls;
        const FUID& wrongIid;
        const FUID& rightIid;
    };
    const Case cases[] = {
        {"controller as processor", hushkit::ControllerWords, IAudioProcessor::iid, IEditController::iid},
        {"live processor as controller", hushkit::LiveWords, IEditController::iid, IAudioProcessor::iid},
        {"neural live processor as controller", hushkit::NeuralLiveWords, IEditController::iid,
         IAudioProcessor::iid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The right interface gives an object that the heap measure sees.
        void* obj = nullptr;
        ASSERT_EQ(factory->createInstance(classId(c.cls).toTUID(), c.rightIid.toTUID(), &obj), kResultOk);
        const long withObject = heapObjects();
        static_cast<FUnknown*>(obj)->release();
        const long before = heapObjects();
        EXPECT_LT(before, withObject);

        obj = &obj;
        EXPECT_NE(factory->createInstance(classId(c.cls).toTUID(), c.wrongIid.toTUID(), &obj), kResultOk);
        EXPECT_EQ(obj, nullptr);
        EXPECT_EQ(heapObjects(), before);
    }
}

TEST(ModuleFactory, UnknownClassIsRefused)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    void* obj = nullptr;
    const FUID unknown(0x48534B05u, hushkit::ProcessorWords.w1, hushkit::ProcessorWords.w2, hushkit::ProcessorWords.w3);
    EXPECT_NE(module->getFactory().get()->createInstance(unknown.toTUID(), IComponent::iid.toTUID(), &obj),
              kResultOk);
    EXPECT_EQ(obj, nullptr);
}

// ---------------------------------------------------------------------------
// A host session: processor (and optionally controller), set up for 48 kHz
// stereo with 512-sample blocks.

struct Session {
    VST3::Hosting::Module::Ptr module;
    // The SDK's host application is not reference counted (its addRef and
    // release do nothing): it lives here, longer than the plug-in's objects.
    HostApplication host;
    IPtr<IComponent> component;
    FUnknownPtr<IAudioProcessor> processor;
    IPtr<IEditController> controller;
    IPtr<ConnectionProxy> componentProxy;
    IPtr<ConnectionProxy> controllerProxy;
    HostProcessData data;
    ParameterChanges inChanges{10};
    ParameterChanges outChanges{10};
    bool active = false;

    bool createProcessor(const hushkit::ClassWords& cls)
    {
        module = loadBundle();
        if (!module)
            return false;
        component = module->getFactory().createInstance<IComponent>(uidOf(cls));
        if (!component || component->initialize(&host) != kResultOk)
            return false;
        processor = FUnknownPtr<IAudioProcessor>(component);
        return processor;
    }

    bool createAndConnectController()
    {
        controller = module->getFactory().createInstance<IEditController>(uidOf(hushkit::ControllerWords));
        if (!controller || controller->initialize(&host) != kResultOk)
            return false;
        FUnknownPtr<IConnectionPoint> componentPoint(component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (!componentPoint || !controllerPoint)
            return false;
        componentProxy = owned(new ConnectionProxy(componentPoint));
        controllerProxy = owned(new ConnectionProxy(controllerPoint));
        return componentProxy->connect(controllerPoint) == kResultOk &&
               controllerProxy->connect(componentPoint) == kResultOk;
    }

    // The processor's state handed to the controller, as a host does after
    // creating both.
    bool passStateToController()
    {
        MemoryStream stream;
        if (component->getState(&stream) != kResultOk)
            return false;
        stream.seek(0, IBStream::kIBSeekSet, nullptr);
        return controller->setComponentState(&stream) == kResultOk;
    }

    bool setupAndActivate()
    {
        SpeakerArrangement in = SpeakerArr::kStereo;
        SpeakerArrangement out = SpeakerArr::kStereo;
        if (processor->setBusArrangements(&in, 1, &out, 1) != kResultOk)
            return false;
        component->activateBus(kAudio, kInput, 0, true);
        component->activateBus(kAudio, kOutput, 0, true);
        ProcessSetup setup{kRealtime, kSample32, BlockSize, Rate};
        if (processor->setupProcessing(setup) != kResultOk)
            return false;
        if (component->setActive(true) != kResultOk)
            return false;
        active = true;
        processor->setProcessing(true);
        data.prepare(*component, BlockSize, kSample32);
        data.processMode = kRealtime;
        data.numSamples = BlockSize;
        data.inputParameterChanges = &inChanges;
        data.outputParameterChanges = &outChanges;
        return data.numInputs == 1 && data.numOutputs == 1 && data.inputs[0].numChannels == 2 &&
               data.outputs[0].numChannels == 2;
    }

    // Output parameter changes of the last block: id -> (offset, value) of
    // each queue's single point.
    std::map<ParamID, std::pair<int32, ParamValue>> reported()
    {
        std::map<ParamID, std::pair<int32, ParamValue>> result;
        for (int32 i = 0; i < outChanges.getParameterCount(); ++i) {
            IParamValueQueue* q = outChanges.getParameterData(i);
            EXPECT_EQ(q->getPointCount(), 1) << "id " << q->getParameterId();
            int32 offset = -1;
            ParamValue value = -1.0;
            EXPECT_EQ(q->getPoint(0, offset, value), kResultOk);
            result[q->getParameterId()] = {offset, value};
        }
        return result;
    }

    tresult processSilentBlock()
    {
        inChanges.clearQueue();
        outChanges.clearQueue();
        for (int32 c = 0; c < 2; ++c)
            std::fill_n(data.inputs[0].channelBuffers32[c], BlockSize, 0.0f);
        return processor->process(data);
    }

    ~Session()
    {
        if (active) {
            processor->setProcessing(false);
            component->setActive(false);
        }
        if (componentProxy)
            componentProxy->disconnect();
        if (controllerProxy)
            controllerProxy->disconnect();
        if (controller)
            controller->terminate();
        if (component)
            component->terminate();
        data.unprepare();
    }
};

// The unlisted processor classes: each starts in Neural Classic; a state
// without a mode then stands for its own fallback mode.
struct FallbackCase {
    const char* name;
    hushkit::ClassWords cls;
    hushkit::Mode fallback;
    uint32 latencyAt48k;
};
void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }

class ModuleFallbackMode : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(ModuleFallbackMode, StartsInNeuralClassicAndVersionOneStateRequestsTheFallback)
{
    const FallbackCase& c = GetParam();
    Session s;
    ASSERT_TRUE(s.createProcessor(c.cls));
    EXPECT_EQ(s.processor->getLatencySamples(), 1440u);
    ASSERT_TRUE(s.setupAndActivate());
    EXPECT_EQ(s.processor->getLatencySamples(), 1440u);

    // The first block reports Neural Classic as the active mode.
    ASSERT_EQ(s.processSilentBlock(), kResultOk);
    auto first = s.reported();
    ASSERT_TRUE(first.count(hushkit::ProcessingMode));
    EXPECT_EQ(first[hushkit::ProcessingMode].second, 0.5);
    EXPECT_EQ(first[hushkit::ParamId::NeuralActive].second, 1.0);

    auto record = versionOneRecord();
    MemoryStream in(record.data(), static_cast<TSize>(record.size()));
    ASSERT_EQ(s.component->setState(&in), kResultOk);
    EXPECT_EQ(s.processor->getLatencySamples(), c.latencyAt48k);

    MemoryStream out;
    ASSERT_EQ(s.component->getState(&out), kResultOk);
    int64 size = 0;
    out.tell(&size);
    ASSERT_EQ(size, 44);
    float modeValue = -1.0f;
    std::memcpy(&modeValue, out.getData() + 40, 4);
    EXPECT_EQ(modeValue, static_cast<float>(c.fallback) * 0.5f);

    // The next block switches to the requested mode and reports it.
    ASSERT_EQ(s.processSilentBlock(), kResultOk);
    auto next = s.reported();
    if (c.fallback == hushkit::Mode::NeuralClassic) {
        EXPECT_EQ(next.count(hushkit::ProcessingMode), 0u);
    } else {
        ASSERT_TRUE(next.count(hushkit::ProcessingMode));
        EXPECT_EQ(next[hushkit::ProcessingMode], std::make_pair(BlockSize - 1, static_cast<int32>(c.fallback) * 0.5));
    }
    EXPECT_EQ(next[hushkit::ParamId::NeuralActive].second, c.fallback == hushkit::Mode::LiveDsp ? 0.0 : 1.0);
}

INSTANTIATE_TEST_SUITE_P(Classes, ModuleFallbackMode,
                         ::testing::Values(FallbackCase{"Processor", hushkit::ProcessorWords,
                                                        hushkit::Mode::NeuralClassic, 1440},
                                           FallbackCase{"Live", hushkit::LiveWords, hushkit::Mode::LiveDsp, 0},
                                           FallbackCase{"NeuralLive", hushkit::NeuralLiveWords,
                                                        hushkit::Mode::NeuralLive, 95}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// ---------------------------------------------------------------------------
// A voice-plus-noise recording through the loaded module, against the engine

// The voice of the system's sound files (48 kHz mono PCM16); a synthetic
// voiced signal where that file is not installed.
std::vector<float> voice()
{
    std::ifstream file("/usr/share/sounds/alsa/Front_Center.wav", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    hushkit::WavInfo info;
    std::vector<float> samples;
    if (!bytes.empty() && hushkit::checkWav(bytes, info) == hushkit::WavCheck::Ok && info.sampleRate == 48000) {
        for (uint64_t f = 0; f < info.frames; ++f) {
            int16_t s;
            std::memcpy(&s, bytes.data() + info.dataOffset + f * info.channels * 2, 2);
            samples.push_back(hushkit::pcm16ToFloat(s));
        }
        return samples;
    }
    for (int i = 0; i < 72000; ++i) {
        const double t = i / Rate;
        const double syllable = std::max(0.0, std::sin(2.0 * M_PI * 3.0 * t));
        double v = 0.0;
        for (int h = 1; h <= 12; ++h)
            v += std::sin(2.0 * M_PI * 140.0 * h * t) / h;
        samples.push_back(static_cast<float>(0.25 * syllable * v));
    }
    return samples;
}

// Stereo input: the voice on both channels (quieter on the right) with
// independent noise, followed by half a second of noise alone; a whole number
// of blocks.
std::vector<std::vector<float>> voicePlusNoise()
{
    const std::vector<float> v = voice();
    const size_t blocks = (v.size() + 24000 + BlockSize - 1) / BlockSize;
    std::vector<std::vector<float>> ch(2, std::vector<float>(blocks * BlockSize, 0.0f));
    std::mt19937 rng(20240611u);
    std::uniform_real_distribution<float> noise(-0.06f, 0.06f);
    for (size_t i = 0; i < ch[0].size(); ++i) {
        const float s = i < v.size() ? v[i] : 0.0f;
        ch[0][i] = s + noise(rng);
        ch[1][i] = 0.7f * s + noise(rng);
    }
    return ch;
}

// Host automation of Clean Amount: a new value every 173 samples (so changes
// land at varying offsets, some blocks with two, the first at offset 0).
struct Automation {
    int64_t sample;
    double value;
};
std::vector<Automation> cleanAmountAutomation(size_t length)
{
    std::vector<Automation> points;
    for (int64_t s = 0, k = 0; s < static_cast<int64_t>(length); s += 173, ++k)
        points.push_back({s, 0.5 + 0.5 * std::sin(0.37 * static_cast<double>(k))});
    return points;
}

struct Meters {
    float inputPeak = 0.0f, outputPeak = 0.0f, reduction = 0.0f;
    bool clipped = false, fault = false;
    void gather(const hushkit::Engine& e)
    {
        inputPeak = std::max(inputPeak, e.inputPeak);
        outputPeak = std::max(outputPeak, e.outputPeak);
        reduction = std::max(reduction, e.reduction);
        clipped |= e.clipped;
        fault |= e.neuralFault;
    }
};

struct ModeCase {
    const char* name;
    hushkit::Mode mode;
    bool neural;
    bool live;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class ModuleHostRun : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModuleHostRun, AutomatedVoiceMatchesTheEngineBitForBit)
{
    const ModeCase& m = GetParam();
    const double modeValue = static_cast<int32>(m.mode) * 0.5;

    Session s;
    ASSERT_TRUE(s.createProcessor(hushkit::ProcessorWords));
    ASSERT_TRUE(s.createAndConnectController());
    ASSERT_TRUE(s.passStateToController());
    EXPECT_EQ(s.controller->getParamNormalized(hushkit::ProcessingMode), 0.5);
    EXPECT_EQ(s.controller->getParamNormalized(hushkit::ParamId::CleanAmount), 1.0);

    // The mode chosen in the controller reaches the processor through the
    // connection, and the processor's answer comes back to the controller.
    ASSERT_EQ(s.controller->setParamNormalized(hushkit::ProcessingMode, modeValue), kResultOk);
    EXPECT_EQ(s.controller->getParamNormalized(hushkit::ProcessingMode), modeValue);

    ASSERT_TRUE(s.setupAndActivate());

    hushkit::Engine reference;
    ASSERT_TRUE(reference.prepare(Rate, 2, m.neural, m.live));
    for (uint32_t k = 0; k < hushkit::EngineParamCount; ++k)
        reference.set(k, hushkit::Defaults[k]);
    reference.resetRealtime();
    const uint32 expectedLatency = reference.neuralActive ? static_cast<uint32>(reference.latency) : 0u;
    EXPECT_EQ(s.processor->getLatencySamples(), expectedLatency);

    const auto input = voicePlusNoise();
    const size_t length = input[0].size();
    const auto automation = cleanAmountAutomation(length);
    std::vector<std::vector<float>> expected(2, std::vector<float>(length, 0.0f));

    size_t next = 0;  // next automation point
    size_t differing = 0;
    for (size_t block = 0; block * BlockSize < length; ++block) {
        const int64_t blockStart = static_cast<int64_t>(block * BlockSize);
        SCOPED_TRACE(block);

        // This block's automation, as the host's queue for parameter 0.
        s.inChanges.clearQueue();
        s.outChanges.clearQueue();
        std::vector<Automation> points;
        while (next < automation.size() && automation[next].sample < blockStart + BlockSize)
            points.push_back(automation[next++]);
        if (!points.empty()) {
            int32 index = 0;
            IParamValueQueue* q = s.inChanges.addParameterData(hushkit::ParamId::CleanAmount, index);
            ASSERT_NE(q, nullptr);
            for (const Automation& p : points)
                q->addPoint(static_cast<int32>(p.sample - blockStart), p.value, index);
        }
        for (int32 c = 0; c < 2; ++c) {
            std::copy_n(input[c].data() + blockStart, BlockSize, s.data.inputs[0].channelBuffers32[c]);
            std::fill_n(s.data.outputs[0].channelBuffers32[c], BlockSize, 1234.0f);
        }
        s.data.inputs[0].silenceFlags = 0;
        ASSERT_EQ(s.processor->process(s.data), kResultOk);

        // The engine alone: the same block with each change applied before
        // the sample at its offset.
        Meters meters;
        int32 start = 0;
        size_t p = 0;
        while (start < BlockSize) {
            while (p < points.size() && points[p].sample - blockStart <= start)
                reference.set(hushkit::ParamId::CleanAmount, static_cast<float>(points[p++].value));
            const int32 end = p < points.size() ? static_cast<int32>(points[p].sample - blockStart) : BlockSize;
            const float* in[2] = {input[0].data() + blockStart + start, input[1].data() + blockStart + start};
            float* out[2] = {expected[0].data() + blockStart + start, expected[1].data() + blockStart + start};
            reference.process(in, out, 2, end - start);
            meters.gather(reference);
            start = end;
        }

        for (int32 c = 0; c < 2; ++c) {
            const float* got = s.data.outputs[0].channelBuffers32[c];
            const float* want = expected[c].data() + blockStart;
            if (std::memcmp(got, want, BlockSize * sizeof(float)) != 0)
                ++differing;
        }
        EXPECT_EQ(s.data.outputs[0].silenceFlags, 0u);

        // The meters as output parameter changes at the block's last sample;
        // the mode only in the first block.
        auto r = s.reported();
        const std::map<ParamID, double> want = {
            {hushkit::ParamId::InputPeak, std::min(static_cast<double>(meters.inputPeak), 1.0)},
            {hushkit::ParamId::OutputPeak, meters.outputPeak < 1.0f ? static_cast<double>(meters.outputPeak) : 1.0},
            {hushkit::ParamId::Reduction, meters.reduction < 1.0f ? static_cast<double>(meters.reduction) : 1.0},
            {hushkit::ParamId::NeuralActive, reference.neuralActive ? (meters.fault ? 0.75 : 1.0) : 0.0},
            {hushkit::ParamId::Clipping, meters.clipped ? 1.0 : 0.0},
        };
        ASSERT_EQ(r.size(), block == 0 ? 6u : 5u);
        for (const auto& [id, value] : want) {
            ASSERT_TRUE(r.count(id)) << "meter " << id;
            EXPECT_EQ(r[id].first, BlockSize - 1) << "meter " << id;
            EXPECT_EQ(r[id].second, value) << "meter " << id;
        }
        if (block == 0) {
            ASSERT_TRUE(r.count(hushkit::ProcessingMode));
            EXPECT_EQ(r[hushkit::ProcessingMode], std::make_pair(BlockSize - 1, modeValue));
        }
    }
    EXPECT_EQ(differing, 0u) << "channel blocks that differ from the engine's output";

    // The run did real work: the output is not the input, and the voice is
    // still there.
    double energyIn = 0.0, energyOut = 0.0, change = 0.0;
    for (size_t i = 0; i < length; ++i) {
        energyIn += double(input[0][i]) * input[0][i];
        energyOut += double(expected[0][i]) * expected[0][i];
        change += std::fabs(double(expected[0][i]) - input[0][i]);
    }
    EXPECT_GT(energyOut, 0.01 * energyIn);
    EXPECT_GT(change, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Modes, ModuleHostRun,
                         ::testing::Values(ModeCase{"NeuralLive", hushkit::Mode::NeuralLive, true, true},
                                           ModeCase{"NeuralClassic", hushkit::Mode::NeuralClassic, true, false},
                                           ModeCase{"LiveDsp", hushkit::Mode::LiveDsp, false, false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

} // namespace
