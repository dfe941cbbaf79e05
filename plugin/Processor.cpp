#include "Processor.h"

#include "Ids.h"
#include "StateRecord.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hushkit {

using namespace Steinberg;
using namespace Steinberg::Vst;

static_assert(std::atomic<float>::is_always_lock_free, "parameter values must cross threads without a lock");
static_assert(std::atomic<int32_t>::is_always_lock_free, "the requested mode must cross threads without a lock");

namespace {

struct EngineConfig {
    bool neural;
    bool live;
};
// Indexed by Mode: Neural Live, Neural Classic, Live DSP.
constexpr EngineConfig Configs[3] = {{true, true}, {true, false}, {false, false}};

constexpr IParamValueQueue* NoQueue = nullptr;

} // namespace

Processor::Processor(int32_t defaultModeIndex) : defaultMode(defaultModeIndex)
{
    for (int k = 0; k < EngineParamCount; ++k)
        params[k].store(Defaults[k], std::memory_order_relaxed);
    setControllerClass(ControllerID);
}

Processor::~Processor() = default;

FUnknown* Processor::create(void* /*context*/)
{
    return static_cast<IAudioProcessor*>(new Processor(static_cast<int32_t>(Mode::NeuralClassic)));
}

tresult PLUGIN_API Processor::initialize(FUnknown* context)
{
    const tresult result = Component::initialize(context);
    if (result != kResultOk)
        return result;
    addAudioInput(STR16("Input"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
    addAudioOutput(STR16("Output"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
    return kResultOk;
}

tresult PLUGIN_API Processor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts)
{
    if (!inputs || !outputs || numIns != 1 || numOuts != 1 || inputs[0] != outputs[0])
        return kResultFalse;
    if (inputs[0] != SpeakerArr::kMono && inputs[0] != SpeakerArr::kStereo)
        return kResultFalse;
    return AudioEffect::setBusArrangements(inputs, 1, outputs, 1);
}

tresult PLUGIN_API Processor::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
}

uint32 PLUGIN_API Processor::getLatencySamples()
{
    return static_cast<uint32>(modeLatency[requestedMode.load()]);
}

tresult PLUGIN_API Processor::setupProcessing(ProcessSetup& setup)
{
    AudioBus* input = getAudioInput(0);
    if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 || !input)
        return kResultFalse;
    const int channels = SpeakerArr::getChannelCount(input->getArrangement());
    for (int i = 0; i < 3; ++i) {
        if (!engines[i].prepare(setup.sampleRate, channels, Configs[i].neural, Configs[i].live))
            return kResultFalse;
        modeLatency[i] = engines[i].neuralActive ? engines[i].latency : 0;
    }
    return AudioEffect::setupProcessing(setup);
}

void Processor::handParamsTo(Engine& engine)
{
    for (uint32_t k = 0; k < EngineParamCount; ++k)
        engine.set(k, params[k].load(std::memory_order_relaxed));
}

tresult PLUGIN_API Processor::setActive(TBool state)
{
    if (state) {
        activeMode = requestedMode.load();
        takenSerial = stateSerial.load(std::memory_order_acquire);
        for (Engine& engine : engines) {
            handParamsTo(engine);
            engine.resetRealtime();
        }
    }
    return Component::setActive(state);
}

void Processor::applyPoint(uint32_t id, double value)
{
    if (!std::isfinite(value))
        return;
    // Clamped before narrowing: a finite double beyond float's range has no
    // float value, and the engine would drop an infinite one.
    const float v = static_cast<float>(std::min(std::max(value, 0.0), 1.0));
    params[id].store(v, std::memory_order_relaxed);
    engines[activeMode].set(id, v);
}

tresult PLUGIN_API Processor::process(ProcessData& data)
{
    if (data.symbolicSampleSize != kSample32 || data.numSamples < 0)
        return kResultFalse;
    const int32 numSamples = data.numSamples;

    // A state loaded on the main thread since the last block.
    const uint32_t serial = stateSerial.load(std::memory_order_acquire);
    if (serial != takenSerial) {
        takenSerial = serial;
        for (Engine& engine : engines)
            handParamsTo(engine);
    }

    IParamValueQueue* queues[EngineParamCount] = {NoQueue, NoQueue, NoQueue, NoQueue, NoQueue,
                                                  NoQueue, NoQueue, NoQueue, NoQueue};
    int32 counts[EngineParamCount] = {};
    int32 cursors[EngineParamCount] = {};

    if (IParameterChanges* changes = data.inputParameterChanges) {
        for (int32 i = 0; i < changes->getParameterCount(); ++i) {
            IParamValueQueue* queue = changes->getParameterData(i);
            if (!queue)
                continue;
            const ParamID id = queue->getParameterId();
            if (id == ParamId::ProcessingMode) {
                const int32 count = queue->getPointCount();
                int32 offset = 0;
                ParamValue value = 0.0;
                if (count > 0 && queue->getPoint(count - 1, offset, value) == kResultOk && std::isfinite(value))
                    requestedMode.exchange(listIndex(value));
            } else if (id < static_cast<ParamID>(EngineParamCount)) {
                queues[id] = queue;
            }
        }
    }

    const int32_t requested = requestedMode.load();
    if (requested != activeMode) {
        activeMode = requested;
        handParamsTo(engines[activeMode]);
        engines[activeMode].resetRealtime();
    }
    Engine& engine = engines[activeMode];

    // Points at offset 0 reach the engine before the first sample.
    int32 end = numSamples;
    for (uint32_t k = 0; k < EngineParamCount; ++k) {
        IParamValueQueue* queue = queues[k];
        if (!queue)
            continue;
        const int32 count = queue->getPointCount();
        counts[k] = count;
        int32 index = 0;
        for (; index < count; ++index) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(index, offset, value) != kResultOk || offset < 0)
                continue;
            if (offset > 0) {
                end = std::min(end, offset);
                break;
            }
            applyPoint(k, value);
        }
        cursors[k] = index;
    }

    if (data.numInputs <= 0 || data.numOutputs <= 0 || !data.inputs || !data.outputs || numSamples == 0)
        return kResultOk;
    AudioBusBuffers& inBus = data.inputs[0];
    AudioBusBuffers& outBus = data.outputs[0];
    const int32 n = outBus.numChannels;
    if ((n != 1 && n != 2) || inBus.numChannels != n)
        return kResultFalse;

    float inputPeak = 0.0f;
    float outputPeak = 0.0f;
    float reduction = 0.0f;
    bool clipped = false;
    bool fault = false;

    int32 start = 0;
    for (;;) {
        const float* in[MaxChannels] = {nullptr, nullptr};
        float* out[MaxChannels] = {nullptr, nullptr};
        for (int32 c = 0; c < n; ++c) {
            const bool silent = (inBus.silenceFlags >> c) & 1u;
            if (!silent && inBus.channelBuffers32 && inBus.channelBuffers32[c])
                in[c] = inBus.channelBuffers32[c] + start;
            if (outBus.channelBuffers32 && outBus.channelBuffers32[c])
                out[c] = outBus.channelBuffers32[c] + start;
        }
        engine.process(in, out, n, end - start);

        // Points up to and including `end` take effect from the next sub-block.
        int32 nextEnd = numSamples;
        for (uint32_t k = 0; k < EngineParamCount; ++k) {
            IParamValueQueue* queue = queues[k];
            if (!queue)
                continue;
            int32 index = cursors[k];
            for (; index < counts[k]; ++index) {
                int32 offset = 0;
                ParamValue value = 0.0;
                if (queue->getPoint(index, offset, value) != kResultOk || offset < 0)
                    continue;
                if (offset > end) {
                    nextEnd = std::min(nextEnd, offset);
                    break;
                }
                applyPoint(k, value);
            }
            cursors[k] = index;
        }

        inputPeak = std::max(inputPeak, engine.inputPeak);
        outputPeak = std::max(outputPeak, engine.outputPeak);
        reduction = std::max(reduction, engine.reduction);
        clipped = clipped || engine.clipped;
        fault = fault || engine.neuralFault;

        if (end >= numSamples)
            break;
        start = end;
        end = nextEnd;
    }

    outBus.silenceFlags = 0;

    IParameterChanges* outChanges = data.outputParameterChanges;
    if (!outChanges)
        return kResultOk;
    const int32 last = numSamples - 1;
    int32 index = 0;

    if (reportedMode != activeMode) {
        if (IParamValueQueue* queue = outChanges->addParameterData(ParamId::ProcessingMode, index))
            if (queue->addPoint(last, listValue(activeMode), index) == kResultOk)
                reportedMode = activeMode;
    }

    const double neural = engine.neuralActive ? (fault ? 0.75 : 1.0) : 0.0;
    const struct {
        ParamID id;
        double value;
    } meters[] = {
        {ParamId::InputPeak, std::min(static_cast<double>(inputPeak), 1.0)},
        {ParamId::OutputPeak, outputPeak < 1.0f ? static_cast<double>(outputPeak) : 1.0},
        {ParamId::Reduction, reduction < 1.0f ? static_cast<double>(reduction) : 1.0},
        {ParamId::NeuralActive, neural},
        {ParamId::Clipping, clipped ? 1.0 : 0.0},
    };
    for (const auto& meter : meters)
        if (IParamValueQueue* queue = outChanges->addParameterData(meter.id, index))
            queue->addPoint(last, meter.value, index);

    return kResultOk;
}

tresult PLUGIN_API Processor::getState(IBStream* stream)
{
    if (!stream)
        return kInvalidArgument;
    IBStreamer streamer(stream, kLittleEndian);
    if (!streamer.writeInt32u(2))
        return kResultFalse;
    for (const std::atomic<float>& value : params)
        if (!streamer.writeFloat(value.load(std::memory_order_relaxed)))
            return kResultFalse;
    if (!streamer.writeFloat(static_cast<float>(listValue(requestedMode.load()))))
        return kResultFalse;
    return kResultOk;
}

tresult PLUGIN_API Processor::setState(IBStream* stream)
{
    if (!stream)
        return kInvalidArgument;
    StateRecord record;
    if (!readStateRecord(stream, record))
        return kResultFalse;
    const double mode = record.hasMode ? static_cast<double>(record.mode) : listValue(defaultMode);

    for (int k = 0; k < EngineParamCount; ++k)
        params[k].store(record.values[k], std::memory_order_relaxed);
    requestedMode.exchange(listIndex(mode));
    // The engines take the values at the start of the next block (see Processor.h).
    stateSerial.fetch_add(1, std::memory_order_release);
    return kResultOk;
}

tresult PLUGIN_API Processor::notify(IMessage* message)
{
    if (!message || !message->getMessageID())
        return kInvalidArgument;
    const char* id = message->getMessageID();
    if (std::strcmp(id, "ProcessingMode") == 0) {
        IAttributeList* attributes = message->getAttributes();
        int64 mode = 0;
        if (!attributes || attributes->getInt("mode", mode) != kResultOk || mode < 0 || mode > 2)
            return kInvalidArgument;
        requestedMode.exchange(static_cast<int32_t>(mode));
    } else if (std::strcmp(id, "RequestProcessingMode") != 0) {
        return ComponentBase::notify(message);
    }

    IPtr<IMessage> answer = owned(allocateMessage());
    if (!answer)
        return kResultOk;
    answer->setMessageID("ProcessingModeState");
    // An answer without an attribute list could not carry the mode: not sent.
    if (IAttributeList* attributes = answer->getAttributes()) {
        attributes->setInt("mode", requestedMode.load());
        sendMessage(answer);
    }
    return kResultOk;
}

} // namespace hushkit
