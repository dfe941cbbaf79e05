#include "Processor.h"

#include "Ids.h"
#include "Maths.h"
#include "ModeMessages.h"
#include "StateRecord.h"

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
constexpr EngineConfig Configs[ModeCount] = {{true, true}, {true, false}, {false, false}};

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
    for (int i = 0; i < ModeCount; ++i) {
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

// The change queues of parameters 0 to 8 in one block, and for each the
// index of the next point not yet applied.
struct Processor::BlockChanges {
    IParamValueQueue* queue[EngineParamCount] = {};
    int32 count[EngineParamCount] = {};
    int32 cursor[EngineParamCount] = {};
};

// The engine's meters gathered over the sub-blocks of one block: the largest
// value of each sub-block, not an average.
struct Processor::BlockMeters {
    float inputPeak = 0.0f;
    float outputPeak = 0.0f;
    float reduction = 0.0f;
    bool clipped = false;
    bool fault = false;

    void gather(const Engine& engine)
    {
        inputPeak = std::max(inputPeak, engine.inputPeak);
        outputPeak = std::max(outputPeak, engine.outputPeak);
        reduction = std::max(reduction, engine.reduction);
        clipped = clipped || engine.clipped;
        fault = fault || engine.neuralFault;
    }
};

tresult PLUGIN_API Processor::process(ProcessData& data)
{
    if (data.symbolicSampleSize != kSample32 || data.numSamples < 0)
        return kResultFalse;
    const int32 numSamples = data.numSamples;

    takeLoadedState();
    BlockChanges changes;
    readChanges(data.inputParameterChanges, changes);
    switchToRequestedMode();
    // Points at offset 0 reach the engine before the first sample.
    const int32 firstEnd = applyPointsUpTo(changes, 0, numSamples);

    if (data.numInputs <= 0 || data.numOutputs <= 0 || !data.inputs || !data.outputs || numSamples == 0)
        return kResultOk;
    const int32 n = data.outputs[0].numChannels;
    if ((n != 1 && n != 2) || data.inputs[0].numChannels != n)
        return kResultFalse;

    const BlockMeters meters = runSubBlocks(data, n, firstEnd, changes);
    data.outputs[0].silenceFlags = 0;

    if (IParameterChanges* out = data.outputParameterChanges) {
        reportMode(*out, numSamples - 1);
        reportMeters(*out, numSamples - 1, meters);
    }
    return kResultOk;
}

// A state loaded on the main thread since the last block.
void Processor::takeLoadedState()
{
    const uint32_t serial = stateSerial.load(std::memory_order_acquire);
    if (serial == takenSerial)
        return;
    takenSerial = serial;
    for (Engine& engine : engines)
        handParamsTo(engine);
}

// The mode request of parameter 9 (its last point only) and the queues of
// parameters 0 to 8; a later queue for an id replaces an earlier one.
void Processor::readChanges(IParameterChanges* changes, BlockChanges& block)
{
    if (!changes)
        return;
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
            block.queue[id] = queue;
            block.count[id] = queue->getPointCount();
        }
    }
}

// The requested mode's engine takes over at the block's first sample, with
// the current values and a cleared state, without a crossfade.
void Processor::switchToRequestedMode()
{
    const int32_t requested = requestedMode.load();
    if (requested == activeMode)
        return;
    activeMode = requested;
    handParamsTo(engines[activeMode]);
    engines[activeMode].resetRealtime();
}

// Applies every point from each queue's cursor up to and including sample
// `limit`, skipping failed reads and negative offsets. Returns where the next
// sub-block ends: the earliest offset beyond `limit` still waiting, or the
// block's end.
int32 Processor::applyPointsUpTo(BlockChanges& block, int32 limit, int32 numSamples)
{
    int32 end = numSamples;
    for (uint32_t k = 0; k < EngineParamCount; ++k) {
        IParamValueQueue* queue = block.queue[k];
        if (!queue)
            continue;
        int32 index = block.cursor[k];
        for (; index < block.count[k]; ++index) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(index, offset, value) != kResultOk || offset < 0)
                continue;
            if (offset > limit) {
                end = std::min(end, offset);
                break;
            }
            applyPoint(k, value);
        }
        block.cursor[k] = index;
    }
    return end;
}

void Processor::applyPoint(uint32_t id, double value)
{
    if (!std::isfinite(value))
        return;
    // Clamped before narrowing: a finite double beyond float's range has no
    // float value, and the engine would drop an infinite one.
    const float v = static_cast<float>(clamp01(value));
    params[id].store(v, std::memory_order_relaxed);
    engines[activeMode].set(id, v);
}

// Runs the active engine over [0, numSamples) cut at the offsets of the
// parameter changes: the changes at a sub-block's end reach the engine before
// the next sub-block's first sample. A channel that the host marks silent, or
// whose buffer is missing, is read as silence.
Processor::BlockMeters Processor::runSubBlocks(ProcessData& data, int32 channels, int32 firstEnd,
                                               BlockChanges& block)
{
    const AudioBusBuffers& inBus = data.inputs[0];
    const AudioBusBuffers& outBus = data.outputs[0];
    Engine& engine = engines[activeMode];
    BlockMeters meters;
    int32 start = 0;
    int32 end = firstEnd;
    for (;;) {
        const float* in[MaxChannels] = {nullptr, nullptr};
        float* out[MaxChannels] = {nullptr, nullptr};
        for (int32 c = 0; c < channels; ++c) {
            const bool silent = (inBus.silenceFlags >> c) & 1u;
            if (!silent && inBus.channelBuffers32 && inBus.channelBuffers32[c])
                in[c] = inBus.channelBuffers32[c] + start;
            if (outBus.channelBuffers32 && outBus.channelBuffers32[c])
                out[c] = outBus.channelBuffers32[c] + start;
        }
        engine.process(in, out, channels, end - start);
        meters.gather(engine);

        const int32 nextEnd = applyPointsUpTo(block, end, data.numSamples);
        if (end >= data.numSamples)
            return meters;
        start = end;
        end = nextEnd;
    }
}

// The active mode as parameter 9, at the block's last sample, when it is not
// the one last reported; retried in later blocks until the host takes it.
void Processor::reportMode(IParameterChanges& out, int32 last)
{
    if (reportedMode == activeMode)
        return;
    int32 index = 0;
    if (IParamValueQueue* queue = out.addParameterData(ParamId::ProcessingMode, index))
        if (queue->addPoint(last, listValue(activeMode), index) == kResultOk)
            reportedMode = activeMode;
}

// The five meters at the block's last sample, in every block, each limited to 1.
void Processor::reportMeters(IParameterChanges& out, int32 last, const BlockMeters& meters)
{
    const double neural = engines[activeMode].neuralActive ? (meters.fault ? 0.75 : 1.0) : 0.0;
    const struct {
        ParamID id;
        double value;
    } reports[] = {
        {ParamId::InputPeak, std::min(static_cast<double>(meters.inputPeak), 1.0)},
        {ParamId::OutputPeak, meters.outputPeak < 1.0f ? static_cast<double>(meters.outputPeak) : 1.0},
        {ParamId::Reduction, meters.reduction < 1.0f ? static_cast<double>(meters.reduction) : 1.0},
        {ParamId::NeuralActive, neural},
        {ParamId::Clipping, meters.clipped ? 1.0 : 0.0},
    };
    for (const auto& report : reports) {
        int32 index = 0;
        if (IParamValueQueue* queue = out.addParameterData(report.id, index))
            queue->addPoint(last, report.value, index);
    }
}

tresult PLUGIN_API Processor::getState(IBStream* stream)
{
    if (!stream)
        return kInvalidArgument;
    float values[EngineParamCount];
    for (int k = 0; k < EngineParamCount; ++k)
        values[k] = params[k].load(std::memory_order_relaxed);
    const auto mode = static_cast<float>(listValue(requestedMode.load()));
    return writeStateRecord(stream, values, mode) ? kResultOk : kResultFalse;
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
    if (std::strcmp(id, ModeMessage::Set) == 0) {
        IAttributeList* attributes = message->getAttributes();
        int64 mode = 0;
        if (!attributes || attributes->getInt(ModeMessage::Attribute, mode) != kResultOk || mode < 0 ||
            mode >= ModeCount)
            return kInvalidArgument;
        requestedMode.exchange(static_cast<int32_t>(mode));
    } else if (std::strcmp(id, ModeMessage::Request) != 0) {
        return ComponentBase::notify(message);
    }

    IPtr<IMessage> answer = owned(allocateMessage());
    if (!answer)
        return kResultOk;
    answer->setMessageID(ModeMessage::State);
    // An answer without an attribute list could not carry the mode: not sent.
    if (IAttributeList* attributes = answer->getAttributes()) {
        attributes->setInt(ModeMessage::Attribute, requestedMode.load());
        sendMessage(answer);
    }
    return kResultOk;
}

} // namespace hushkit
