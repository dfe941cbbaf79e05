#pragma once
// The built Hushkit.vst3 bundle driven the way a VST3 host drives it, shared by
// the Linux and the Windows module tests: the SDK's module loader, plug-in
// factory, host application, connection proxies and process data, and the
// voice-plus-noise input that the host sessions clean.

#include "Engine.h"
#include "Ids.h"
#include "Types.h"
#include "Wav.h"

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
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

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace hushkit::module_test {

using namespace Steinberg;
using namespace Steinberg::Vst;

inline constexpr int32 BlockSize = 512;
inline constexpr double Rate = 48000.0;
inline constexpr double Pi = 3.14159265358979323846;

inline FUID classId(const hushkit::ClassWords& w) { return FUID(w.w0, w.w1, w.w2, w.w3); }

inline VST3::UID uidOf(const hushkit::ClassWords& w) { return VST3::UID::fromTUID(classId(w).toTUID()); }

inline VST3::Hosting::Module::Ptr loadBundle()
{
    std::string error;
    auto module = VST3::Hosting::Module::create(HUSHKIT_BUNDLE_PATH, error);
    EXPECT_TRUE(module) << error;
    return module;
}

inline std::string str(const char8* s) { return std::string(s); }

// The module opened as a bare shared library, for the entry points that the
// SDK's module loader calls once and hides: InitDll and ExitDll on Windows,
// ModuleEntry and ModuleExit elsewhere.
struct RawModule {
#ifdef _WIN32
    HMODULE handle = LoadLibraryA(HUSHKIT_MODULE_FILE);
    bool(PLUGIN_API* entry)() = nullptr;
    bool enter() { return entry(); }
    // Through void (*)(), the type that converts to every function type.
    template <typename F> F symbol(const char* name) { return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name))); }
    ~RawModule() { if (handle) FreeLibrary(handle); }
#else
    void* handle = dlopen(HUSHKIT_MODULE_FILE, RTLD_LAZY | RTLD_LOCAL);
    bool (*entry)(void*) = nullptr;
    bool enter() { return entry(handle); }
    template <typename F> F symbol(const char* name) { return reinterpret_cast<F>(dlsym(handle, name)); }
    ~RawModule() { if (handle) dlclose(handle); }
#endif
    GetFactoryProc getFactory = nullptr;
    bool(PLUGIN_API* exit)() = nullptr;

    RawModule()
    {
        if (!handle)
            return;
        getFactory = symbol<GetFactoryProc>("GetPluginFactory");
#ifdef _WIN32
        entry = symbol<decltype(entry)>("InitDll");
        exit = symbol<decltype(exit)>("ExitDll");
#else
        entry = symbol<decltype(entry)>("ModuleEntry");
        exit = symbol<decltype(exit)>("ModuleExit");
#endif
    }
    RawModule(const RawModule&) = delete;
    RawModule& operator=(const RawModule&) = delete;
    bool loaded() const { return handle != nullptr; }
};

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

// ---------------------------------------------------------------------------
// A voice-plus-noise recording for the host sessions

// The voice of the system's sound files (48 kHz mono PCM16); a synthetic
// voiced signal where that file is not installed.
inline std::vector<float> voice()
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
        const double syllable = std::max(0.0, std::sin(2.0 * Pi * 3.0 * t));
        double v = 0.0;
        for (int h = 1; h <= 12; ++h)
            v += std::sin(2.0 * Pi * 140.0 * h * t) / h;
        samples.push_back(static_cast<float>(0.25 * syllable * v));
    }
    return samples;
}

// Stereo input: the voice on both channels (quieter on the right) with
// independent noise, followed by half a second of noise alone; a whole number
// of blocks.
inline std::vector<std::vector<float>> voicePlusNoise()
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
inline std::vector<Automation> cleanAmountAutomation(size_t length)
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

} // namespace hushkit::module_test
