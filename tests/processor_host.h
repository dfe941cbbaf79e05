#pragma once
// Host side for the processor tests: the SDK's hosting classes drive a
// hushkit::Processor through the calls a VST3 host makes, with the audio
// buffers owned by the test.

#include "Engine.h"
#include "Ids.h"
#include "Processor.h"
#include "Types.h"
#include "signals.h"
#include "state_record_bytes.h"

#include <gtest/gtest.h>

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace hushkit::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

// The host's parameter changes, able to carry what a host may send but the
// SDK's queue merges: two points at one offset, or two queues for one id.
class TestQueue : public ParameterValueQueue {
public:
    explicit TestQueue(ParamID id) : ParameterValueQueue(id) {}
    void append(int32 offset, ParamValue value) { values.emplace_back(value, offset); }
};

class TestChanges : public ParameterChanges {
public:
    explicit TestChanges(int32 maxParameters) : ParameterChanges(maxParameters) {}
    // A further queue for `id` with the points in the given order.
    void addQueue(ParamID id, const std::vector<std::pair<int32, ParamValue>>& points)
    {
        auto* queue = new TestQueue(id);
        for (const auto& point : points)
            queue->append(point.first, point.second);
        queues.insert(queues.begin() + usedQueueCount, owned(static_cast<ParameterValueQueue*>(queue)));
        ++usedQueueCount;
    }
};

// One processor under a host: initialized with a host context, set up and
// activated, with a block record whose channel buffers point at `in`/`out`.
struct Host {
    // The SDK's host application is not reference counted: owned here.
    std::unique_ptr<HostApplication> app = std::make_unique<HostApplication>();
    IPtr<Processor> processor;
    HostProcessData data;
    TestChanges inChanges{16};
    ParameterChanges outChanges{16};
    int channels = 2;
    int maxBlock = 0;
    std::vector<float> in[2];
    std::vector<float> out[2];

    explicit Host(int32_t defaultMode = 1) : processor(owned(new Processor(defaultMode)))
    {
        processor->initialize(app.get());
    }
    ~Host()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
    }

    // Arrangement (mono or stereo), setup and activation; true if all succeeded.
    bool start(double rate = 48000.0, int block = 1024, int channelCount = 2)
    {
        channels = channelCount;
        maxBlock = block;
        SpeakerArrangement arr = channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
        SpeakerArrangement arrOut = arr;
        if (processor->setBusArrangements(&arr, 1, &arrOut, 1) != kResultOk)
            return false;
        ProcessSetup setup{kRealtime, kSample32, block, rate};
        if (processor->setupProcessing(setup) != kResultOk)
            return false;
        data.prepare(*processor, 0, kSample32);
        for (int c = 0; c < 2; ++c) {
            in[c].assign(static_cast<size_t>(block), 0.0f);
            out[c].assign(static_cast<size_t>(block), 0.0f);
        }
        if (processor->setActive(true) != kResultOk)
            return false;
        processor->setProcessing(true);  // the SDK base answers kNotImplemented
        return true;
    }

    // Points the bus buffers at in/out from `offset` and sets up the block
    // record for `frames` samples with fresh parameter changes.
    void bind(int frames, int offset = 0)
    {
        for (int c = 0; c < channels; ++c) {
            data.setChannelBuffer(kInput, 0, c, in[c].data() + offset);
            data.setChannelBuffer(kOutput, 0, c, out[c].data() + offset);
        }
        data.inputs[0].silenceFlags = 0;
        data.outputs[0].silenceFlags = 0;
        data.numSamples = frames;
        data.inputParameterChanges = &inChanges;
        data.outputParameterChanges = &outChanges;
        outChanges.clearQueue();
    }

    tresult run(int frames, int offset = 0)
    {
        bind(frames, offset);
        const tresult r = processor->process(data);
        inChanges.clearQueue();
        return r;
    }

    void addChange(ParamID id, int32 offset, ParamValue value)
    {
        int32 index = 0;
        if (IParamValueQueue* q = inChanges.addParameterData(id, index))
            q->addPoint(offset, value, index);
    }

    // The point reported for `id` in the last block; false if none.
    bool reported(ParamID id, int32& offset, double& value)
    {
        for (int32 i = 0; i < outChanges.getParameterCount(); ++i) {
            IParamValueQueue* q = outChanges.getParameterData(i);
            if (q && q->getParameterId() == id && q->getPointCount() > 0)
                return q->getPoint(q->getPointCount() - 1, offset, value) == kResultOk;
        }
        return false;
    }
};

// An engine prepared and reset the way the processor's activation does.
inline std::unique_ptr<Engine> referenceEngine(Mode mode, double rate = 48000.0, int channels = 2)
{
    auto engine = std::make_unique<Engine>();
    const bool neural = mode != Mode::LiveDsp;
    const bool live = mode == Mode::NeuralLive;
    engine->prepare(rate, channels, neural, live);
    for (uint32_t k = 0; k < EngineParamCount; ++k)
        engine->set(k, Defaults[k]);
    engine->resetRealtime();
    return engine;
}

// Runs `frames` samples of in/out from `offset` through an engine.
inline void runEngine(Engine& engine, std::vector<float>* in, std::vector<float>* out, int channels,
                      int offset, int frames)
{
    const float* ip[2] = {in[0].data() + offset, channels > 1 ? in[1].data() + offset : nullptr};
    float* op[2] = {out[0].data() + offset, channels > 1 ? out[1].data() + offset : nullptr};
    engine.process(ip, op, channels, frames);
}

// getState into a fresh stream; the written bytes.
inline std::vector<uint8_t> stateBytes(Processor& processor)
{
    MemoryStream stream;
    EXPECT_EQ(processor.getState(&stream), kResultOk);
    const auto* p = reinterpret_cast<const uint8_t*>(stream.getData());
    return std::vector<uint8_t>(p, p + stream.getSize());
}

// setState from the given bytes; the result code.
inline tresult loadState(Processor& processor, const std::vector<uint8_t>& bytes)
{
    return processor.setState(streamOf(bytes));
}

} // namespace hushkit::test
