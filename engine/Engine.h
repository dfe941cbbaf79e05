#pragma once
// The cleaning engine: one object holds everything that one cleaning
// configuration needs for up to two channels. Plain public data; the heap is
// touched only by prepare() and reset().

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "Frame.h"
#include "NeuralFir.h"
#include "NeuralFirBasis.h"
#include "Params.h"
#include "ResamplerKernel.h"
#include "Types.h"

struct DenoiseState;

namespace hushkit {

constexpr int MaxChannels = 2;
constexpr int MaxDelay = 1440;
constexpr int LiveDelay = 95;
constexpr int ClassicDelay = 1440;
constexpr int ConvHistory = 128;
constexpr int DryHistory = 8192;

struct ChannelState {
    DenoiseState* denoiser = nullptr;   // owned; only in neural configurations
    NeuralFir fir;                      // live band-gain filter
    float bandGains[BandCount] = {};    // last shaped band gains (live)
    float frameIn[FrameSize] = {};      // high-passed input x 32768
    float frameOut[FrameSize] = {};     // classic: library output of the last frame
    float dryDelay[MaxDelay] = {};      // delay ring of the input
    float wetDelay[MaxDelay] = {};      // delay ring of the expander output
    int32_t framePos = 0;
    int32_t delayPos = 0;
    float hpPrevIn = 0.0f;
    float hpPrevOut = 0.0f;
    float envelope = 0.0f;
    float bodyState = 0.0f;
    float gate = 1.0f;
    float speech = 1.0f;
    bool fault = false;                 // neural path disabled until a reset

    // Everything back to its default except the noise-suppression state,
    // which the caller handles. No allocation.
    void clearSignalState();
};

class Engine {
public:
    // Meters of the last processing call that passed its argument checks.
    float inputPeak = 0.0f;
    float outputPeak = 0.0f;
    float reduction = 0.0f;
    bool clipped = false;
    bool neuralFault = false;

    ChannelState channel[MaxChannels];

    // Both start at Defaults (see the constructor).
    float target[EngineParamCount];
    float smoothed[EngineParamCount];

    double processingRate = NeuralRate;
    // [0] parameter smoothing 10 ms, [1] attack 2 ms, [2] release 150 ms,
    // [3] body low-pass 220 Hz.
    float coef[4] = {};
    float lastFocus = -1.0f;
    float lastGain = -1.0f;
    float highpassCoef = 0.0f;
    float outputGain = 1.0f;

    ResamplerKernel inputKernel;
    ResamplerKernel outputKernel;
    NeuralFirBasis basis;

    bool live = true;
    int32_t delayLength = LiveDelay;
    bool neuralActive = false;
    bool neuralEnabled = true;
    int32_t channelCount = 2;
    double sampleRate = NeuralRate;
    int32_t latency = ClassicDelay;
    bool resampling = false;
    int64_t hostPosition = 0;
    int64_t nativePosition = 0;
    float inputHistory[MaxChannels][ConvHistory] = {};
    float outputHistory[MaxChannels][ConvHistory] = {};
    float dryHistory[MaxChannels][DryHistory] = {};

    Engine()
    {
        std::copy(std::begin(Defaults), std::end(Defaults), target);
        std::copy(std::begin(Defaults), std::end(Defaults), smoothed);
    }
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Whether prepare() takes a rate and channel count: a finite rate of
    // 8000..192000 Hz and one or two channels.
    static bool accepts(double rate, int channels);

    // Chooses the configuration; false (and nothing changed) for a rate or
    // channel count that accepts() refuses. False too when memory for the
    // conversion tables runs out: the engine is then left not prepared, as
    // default construction leaves it (only the parameter targets stay), and
    // allocates nothing.
    bool prepare(double rate, int channels, bool neural, bool live);

    // Full clearing: recreates the noise-suppression states.
    void reset();

    // Writes one parameter target; ignores ids >= 9 and non-finite values.
    void set(uint32_t id, float value);

    // Clears all signal state in place, without allocating.
    void resetRealtime();

    // The per-sample chain at processingRate.
    void processNative(const float* const* in, float* const* out, int32_t channels, int32_t frames);

    // The public block entry.
    void process(const float* const* in, float* const* out, int32_t channels, int32_t frames);

    // --- internal steps, public like the rest of the engine ---

    // Back to the state of a default-constructed engine, keeping only the
    // parameter targets: no noise-suppression state, no kernel tables.
    void unprepare();

    // The five meters back to zero.
    void clearMeters();

    // Converter positions and histories back to zero (both resets).
    void clearConversionState();

    // Smoothed values jump to the targets, cached derived values are
    // invalidated and the meters zeroed (both resets).
    void snapParameters();

    // Coefficients of the smoothers and the body low-pass at processingRate.
    void computeCoefficients();

    // Live frame step for one channel: analysis, shaping with the band-gain
    // exponent, filter update. Returns the frame's voice probability.
    float liveFrameStep(ChannelState& ch, float exponent);

    // The converting path for a neural configuration away from 48 kHz.
    void processConverting(const float* const* in, float* const* out, int32_t channels, int32_t frames);
};

} // namespace hushkit
