#pragma once
// The plug-in's audio processor: three cleaning engines, one per processing
// mode, of which the active one processes the host's blocks.

#include "Engine.h"

#include "public.sdk/source/vst/vstaudioeffect.h"

#include <atomic>
#include <cstdint>

namespace hushkit {

class Processor : public Steinberg::Vst::AudioEffect {
public:
    explicit Processor(int32_t defaultMode);
    ~Processor() override;

    // Factory entry: a processor with default mode 1 (Neural Classic), as its
    // IAudioProcessor interface with the initial reference.
    static Steinberg::FUnknown* create(void* context);

    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) override;
    Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    Steinberg::uint32 PLUGIN_API getLatencySamples() override;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* stream) override;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* stream) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

    // Sharing between the main thread (setState, getState) and the audio
    // thread (process), without a lock on either side:
    // - Each of the nine values in `params` is an atomic float, so it is
    //   always read and written whole; whichever thread stores last wins.
    // - The engines are touched by the audio thread only (and by the main
    //   thread while no block can run: setupProcessing, setActive). setState
    //   does not write into them; it stores the values in `params` and then
    //   bumps `stateSerial`. At the start of its next block, process sees the
    //   new serial and hands the current `params` to all three engines as
    //   their parameter targets, before the block's own changes are applied.
    //   setActive(true) hands `params` to the engines anyway and takes the
    //   serial as seen.
    // - `requestedMode` is an atomic integer written by exchange.
    Engine engines[ModeCount];
    // Indexed by Mode; Live DSP has no delay.
    int32_t modeLatency[ModeCount] = {LiveDelay, ClassicDelay, 0};
    std::atomic<int32_t> requestedMode{static_cast<int32_t>(Mode::NeuralClassic)};
    int32_t activeMode = static_cast<int32_t>(Mode::NeuralClassic);
    int32_t defaultMode;
    int32_t reportedMode = -1;
    std::atomic<float> params[EngineParamCount];
    std::atomic<uint32_t> stateSerial{0};
    uint32_t takenSerial = 0;  // audio side: the last serial handed to the engines

private:
    struct BlockChanges;
    struct BlockMeters;

    void takeLoadedState();
    void readChanges(Steinberg::Vst::IParameterChanges* changes, BlockChanges& block);
    void switchToRequestedMode();
    Steinberg::int32 applyPointsUpTo(BlockChanges& block, Steinberg::int32 limit, Steinberg::int32 numSamples);
    void applyPoint(uint32_t id, double value);
    BlockMeters runSubBlocks(Steinberg::Vst::ProcessData& data, Steinberg::int32 channels, Steinberg::int32 firstEnd,
                             BlockChanges& block);
    void reportMode(Steinberg::Vst::IParameterChanges& out, Steinberg::int32 last);
    void reportMeters(Steinberg::Vst::IParameterChanges& out, Steinberg::int32 last, const BlockMeters& meters);
    void handParamsTo(Engine& engine);
};

} // namespace hushkit
