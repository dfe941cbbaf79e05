// The per-sample cleaning chain and the public block entry.

#include <algorithm>
#include <cmath>

#include <rnnoise.h>
#include <emmintrin.h>

#include "Engine.h"
#include "Sample.h"

namespace hushkit {

namespace {

// Flush-to-zero and denormals-are-zero for the lifetime of the guard; the
// caller's register value comes back on every return path.
class DenormalGuard {
public:
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040u); }
    ~DenormalGuard() { _mm_setcsr(saved); }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned int saved;
};

// v limited to lo..1: below lo gives lo, else the smaller of v and 1.
inline float limitUnit(float v, float lo) { return v < lo ? lo : std::min(v, 1.0f); }

// Scrubs non-finite library output of a completed frame and starts the next.
void closeFrame(ChannelState& ch, bool& neuralFault)
{
    for (float& v : ch.frameOut) {
        if (!std::isfinite(v)) {
            v = 0.0f;
            ch.fault = true;
        }
    }
    ch.framePos = 0;
    if (ch.fault)
        neuralFault = true;
}

} // namespace

void Engine::process(const float* const* in, float* const* out, int32_t channels, int32_t frames)
{
    DenormalGuard guard;
    if (!resampling || !neuralActive)
        processNative(in, out, channels, frames);
    else
        processConverting(in, out, channels, frames);
}

namespace {

// The two channels of a sample frame travel side by side in one SSE vector:
// lane 0 carries channel 0, lane 1 channel 1, lanes 2 and 3 are unused (a
// mono engine uses lane 0 only). Elementwise SSE arithmetic rounds exactly
// like its scalar form, so every lane computes what a scalar chain for its
// channel would. Comparisons that pick one of two values are written as
// compare-and-select, which copies the picked value bit for bit; min/max
// instructions are used only where their operand order gives the same result
// as the scalar expression, NaN included.
using Lanes = __m128;

inline Lanes splat(float v) { return _mm_set1_ps(v); }

inline Lanes laneMask(bool on0, bool on1)
{
    return _mm_castsi128_ps(_mm_setr_epi32(on0 ? -1 : 0, on1 ? -1 : 0, 0, 0));
}

inline Lanes pack(float v0, float v1) { return _mm_setr_ps(v0, v1, 0.0f, 0.0f); }

inline float lane0(Lanes v) { return _mm_cvtss_f32(v); }
inline float lane1(Lanes v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))); }

// mask ? a : b per lane; mask is a comparison result.
inline Lanes select(Lanes mask, Lanes a, Lanes b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

inline Lanes absLanes(Lanes v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }

// All ones where v is finite (|v| < inf is false for NaN and infinities).
inline Lanes finiteLanes(Lanes v) { return _mm_cmplt_ps(absLanes(v), splat(INFINITY)); }

// clampSample per lane. A value inside -4..4 is passed through by selection, so
// it keeps its exact bits, as in the scalar form (a min/max instruction
// would turn a denormal into zero while denormals-are-zero is set).
inline Lanes clampLanes(Lanes v)
{
    const Lanes over = _mm_cmpgt_ps(absLanes(v), splat(4.0f));
    const Lanes signedLimit =
        _mm_or_ps(splat(4.0f), _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(int32_t(0x80000000u)))));
    return select(over, signedLimit, v);
}

// limitUnit(v, 0.15) per lane: min_ps(1, v) is "1 < v ? 1 : v" and
// max_ps(0.15, m) is "0.15 > m ? 0.15 : m", which together give the scalar
// result for every v, NaN included.
inline Lanes limitGain(Lanes v) { return _mm_max_ps(splat(0.15f), _mm_min_ps(splat(1.0f), v)); }

// One smoothing step of a follower: state + (v - state) x (attack when v
// rises above the state, else release).
inline Lanes follow(Lanes state, Lanes v, Lanes attack, Lanes release)
{
    const Lanes k = select(_mm_cmpgt_ps(v, state), attack, release);
    return _mm_add_ps(state, _mm_mul_ps(_mm_sub_ps(v, state), k));
}

// The values derived from the smoothed parameters for one sample frame.
struct Derived {
    float s3 = 0.0f, s5 = 0.0f, s7 = 0.0f;
    float depth = 0.0f, studio = 0.0f, exponent = 0.0f;
    float threshold = 0.0f, expanderDepth = 0.0f;
};

// The per-sample values of the vector stages, in every lane.
struct LaneParams {
    Lanes highpass = _mm_setzero_ps(), threshold = _mm_setzero_ps(), expanderDepth = _mm_setzero_ps();
    Lanes s3 = _mm_setzero_ps(), s5 = _mm_setzero_ps(), s7 = _mm_setzero_ps(), outputGain = _mm_setzero_ps();

    void set(const Derived& d, float highpassCoef, float gain)
    {
        highpass = splat(highpassCoef);
        threshold = splat(d.threshold);
        expanderDepth = splat(d.expanderDepth);
        s3 = splat(d.s3);
        s5 = splat(d.s5);
        s7 = splat(d.s7);
        outputGain = splat(gain);
    }
};

// The neural section of one channel for one sample: the delay rings, the
// neural estimate and the frame bookkeeping. Returns the mixed signal and
// stores the delayed input in dry.
inline float neuralStep(Engine& e, ChannelState& ch, float x, float hp, float dsp, const Derived& d, float& dry,
                        bool& neuralFault)
{
    const bool live = e.live;
    const int32_t pos = ch.delayPos;
    dry = ch.dryDelay[pos];
    ch.dryDelay[pos] = x;
    const float dspDelayed = ch.wetDelay[pos];
    ch.wetDelay[pos] = dsp;
    ch.delayPos = pos + 1 == e.delayLength ? 0 : pos + 1;

    float est = live ? ch.fir.process(hp) : ch.frameOut[ch.framePos] * 3.0517578e-05f;
    ch.frameIn[ch.framePos] = hp * 32768.0f;

    if (ch.fault) {
        neuralFault = true;
        if (++ch.framePos == FrameSize)
            closeFrame(ch, neuralFault);
        return dspDelayed;
    }

    if (!live)
        est = est * (1.0f - d.studio * (1.0f - ch.speech));
    est = sanitizeSample(est);
    const float mixed = dspDelayed + (est - dspDelayed) * d.depth;
    if (++ch.framePos == FrameSize) {
        const float r = live ? e.liveFrameStep(ch, d.exponent)
                             : rnnoise_process_frame(ch.denoiser, ch.frameOut, ch.frameIn);
        const float q = limitUnit(r / 0.35f, 0.08f);
        ch.speech = ch.speech + (q - ch.speech) * (q > ch.speech ? 0.85f : 0.08f);
        closeFrame(ch, neuralFault);
    }
    return mixed;
}

// The chain for a channel count known at compile time (1 or 2). The engine's
// members are read at the start and written back at the end; in between
// nothing but the chain itself touches them. A channel whose output pointer
// is null runs through its lane on silence, but its input is not read, its
// neural section does not run, its lane is masked out of the meters and its
// state is not written back.
template <int Channels>
void runChain(Engine& e, const float* const* in, float* const* out, int32_t frames)
{
    const float rate = static_cast<float>(e.processingRate);
    const float smoothing = e.coef[0];
    const Lanes attack = splat(e.coef[1]);
    const Lanes release = splat(e.coef[2]);
    const Lanes bodyCoef = splat(e.coef[3]);
    const bool neural = e.neuralActive;
    const bool resampling = e.resampling;

    float target[EngineParamCount];
    float s[EngineParamCount];
    for (int k = 0; k < EngineParamCount; ++k) {
        target[k] = e.target[k];
        s[k] = e.smoothed[k];
    }
    float lastFocus = e.lastFocus;
    float highpassCoef = e.highpassCoef;
    float lastGain = e.lastGain;
    float outputGain = e.outputGain;

    const bool active[2] = {out[0] != nullptr, Channels == 2 && out[Channels - 1] != nullptr};
    const float* src[2] = {nullptr, nullptr};
    float* const dst[2] = {out[0], Channels == 2 ? out[Channels - 1] : nullptr};
    float state[5][2] = {};   // hpPrevIn, hpPrevOut, envelope, gate, bodyState
    for (int c = 0; c < Channels; ++c) {
        if (!active[c])
            continue;
        src[c] = in ? in[c] : nullptr;
        const ChannelState& ch = e.channel[c];
        state[0][c] = ch.hpPrevIn;
        state[1][c] = ch.hpPrevOut;
        state[2][c] = ch.envelope;
        state[3][c] = ch.gate;
        state[4][c] = ch.bodyState;
    }
    const Lanes activeLanes = laneMask(active[0], active[1]);
    Lanes hpPrevIn = pack(state[0][0], state[0][1]);
    Lanes hpPrevOut = pack(state[1][0], state[1][1]);
    Lanes envelope = pack(state[2][0], state[2][1]);
    Lanes gate = pack(state[3][0], state[3][1]);
    Lanes bodyState = pack(state[4][0], state[4][1]);

    const Lanes zero = _mm_setzero_ps();
    const Lanes one = splat(1.0f);
    Lanes inputPeak = zero;
    Lanes outputPeak = zero;
    Lanes finiteSoFar = _mm_cmpeq_ps(zero, zero);
    float reductionSum = 0.0f;
    bool neuralFault = false;

    Derived d;
    LaneParams p;
    auto derive = [&] {
        const float s0 = s[ParamId::CleanAmount];
        const float s1 = s[ParamId::OriginalAmbience];
        const float s2 = s[ParamId::NoiseReduction];
        d.s3 = s[ParamId::BodyRestore];
        d.s5 = s[ParamId::DryWet];
        d.s7 = s[ParamId::Bypass];
        const float s8 = s[ParamId::CleanupProfile];

        const float profile = s8 + s8;
        const float factor = profile <= 1.0f ? profile * 0.15f + 0.85f : 1.0f;
        d.depth = ((s1 * -0.25f + 1.0f) * (s2 * s0)) * factor;
        d.studio = std::max(profile - 1.0f, 0.0f);
        const float knee = profile * 0.4f + 0.6f;
        d.exponent = profile * 0.05f + 0.25f;

        const float focus = s[ParamId::FrequencyFocus];
        if (!(focus == lastFocus)) {
            lastFocus = focus;
            highpassCoef = std::exp(((focus * 145.0f + 35.0f) * -6.2831855f) / rate);
        }
        const float gainParam = s[ParamId::OutputGain];
        if (!(gainParam == lastGain)) {
            lastGain = gainParam;
            outputGain = std::pow(10.0f, (gainParam * 36.0f - 18.0f) / 20.0f);
        }

        d.threshold = (s2 * 0.009f) * knee + 0.001f;
        d.expanderDepth = s2 * s0;
        p.set(d, highpassCoef, outputGain);
    };

    // When a smoothing step would leave every value as it is (the values
    // have reached their targets, or come as close as float steps allow),
    // the smoothed values stay fixed for the whole block, since the targets
    // do not change during a call; the derived values are then formed once.
    bool settled = true;
    for (int k = 0; k < EngineParamCount; ++k)
        settled = settled && s[k] + (target[k] - s[k]) * smoothing == s[k];
    if (settled)
        derive();

    for (int32_t n = 0; n < frames; ++n) {
        if (!settled) {
            for (int k = 0; k < EngineParamCount; ++k)
                s[k] = s[k] + (target[k] - s[k]) * smoothing;
            derive();
        }

        const float in0 = src[0] ? src[0][n] : 0.0f;
        const float in1 = Channels == 2 && src[1] ? src[1][n] : 0.0f;
        Lanes x = pack(in0, in1);
        x = _mm_and_ps(clampLanes(x), finiteLanes(x));
        inputPeak = _mm_max_ps(absLanes(x), inputPeak);

        const Lanes hp = _mm_mul_ps(_mm_sub_ps(_mm_add_ps(hpPrevOut, x), hpPrevIn), p.highpass);
        hpPrevIn = x;
        hpPrevOut = hp;

        envelope = follow(envelope, absLanes(hp), attack, release);
        gate = follow(gate, limitGain(_mm_div_ps(envelope, p.threshold)), attack, release);
        const Lanes dsp = _mm_mul_ps(_mm_sub_ps(one, _mm_mul_ps(p.expanderDepth, _mm_sub_ps(one, gate))), hp);

        Lanes mixed = dsp;
        Lanes dry = x;
        if (neural) {
            float m[2] = {0.0f, 0.0f};
            float dr[2] = {0.0f, 0.0f};
            if (active[0])
                m[0] = neuralStep(e, e.channel[0], lane0(x), lane0(hp), lane0(dsp), d, dr[0], neuralFault);
            if (Channels == 2 && active[1])
                m[1] = neuralStep(e, e.channel[Channels - 1], lane1(x), lane1(hp), lane1(dsp), d, dr[1],
                                  neuralFault);
            mixed = pack(m[0], m[1]);
            dry = pack(dr[0], dr[1]);
        }

        bodyState = _mm_add_ps(bodyState, _mm_mul_ps(_mm_sub_ps(mixed, bodyState), bodyCoef));
        Lanes y = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(bodyState, p.s3), splat(0.35f)), mixed);

        if (!resampling) {
            y = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(y, dry), p.s5), dry), p.outputGain);
            y = _mm_add_ps(y, _mm_mul_ps(_mm_sub_ps(dry, y), p.s7));
        }

        const Lanes finite = finiteLanes(y);
        finiteSoFar = _mm_and_ps(finiteSoFar, finite);
        y = select(finite, y, dry);
        y = clampLanes(y);
        if (active[0])
            dst[0][n] = lane0(y);
        if (Channels == 2 && active[1])
            dst[1][n] = lane1(y);
        outputPeak = _mm_max_ps(absLanes(y), outputPeak);

        // Summed channel 0 first, then channel 1; a masked lane adds +0,
        // which leaves the (non-negative) sum unchanged.
        const Lanes r = _mm_and_ps(_mm_max_ps(zero, _mm_sub_ps(absLanes(dry), absLanes(y))), activeLanes);
        reductionSum += lane0(r);
        if (Channels == 2)
            reductionSum += lane1(r);
    }

    for (int k = 0; k < EngineParamCount; ++k)
        e.smoothed[k] = s[k];
    e.lastFocus = lastFocus;
    e.highpassCoef = highpassCoef;
    e.lastGain = lastGain;
    e.outputGain = outputGain;
    auto lane = [](Lanes v, int c) { return c == 0 ? lane0(v) : lane1(v); };
    for (int c = 0; c < Channels; ++c) {
        if (!active[c])
            continue;
        ChannelState& ch = e.channel[c];
        ch.hpPrevIn = lane(hpPrevIn, c);
        ch.hpPrevOut = lane(hpPrevOut, c);
        ch.envelope = lane(envelope, c);
        ch.gate = lane(gate, c);
        ch.bodyState = lane(bodyState, c);
    }

    // Every lane's peak is the largest of its values, so the larger of the
    // two lane peaks is the peak over both channels.
    const Lanes inPeaks = _mm_and_ps(inputPeak, activeLanes);
    const Lanes outPeaks = _mm_and_ps(outputPeak, activeLanes);
    e.inputPeak = std::max(lane0(inPeaks), lane1(inPeaks));
    e.outputPeak = std::max(lane0(outPeaks), lane1(outPeaks));
    // A sample is clipped when its magnitude exceeds 1 before the -4..4
    // limit, which holds exactly when its limited magnitude does; so the
    // output peak tells whether any sample clipped.
    e.clipped = (_mm_movemask_ps(_mm_cmpgt_ps(outPeaks, one)) & 3) != 0;
    e.neuralFault = neuralFault || (_mm_movemask_ps(_mm_andnot_ps(finiteSoFar, activeLanes)) & 3) != 0;
    e.reduction = reductionSum / static_cast<float>(static_cast<int32_t>(frames * Channels));
}

} // namespace

void Engine::processNative(const float* const* in, float* const* out, int32_t channels, int32_t frames)
{
    if (!out || channels <= 0 || frames < 0 || channels > channelCount)
        return;

    clearMeters();
    if (frames == 0)
        return;

    // channelCount is 1 or 2, so channels is too.
    if (channels == 1)
        runChain<1>(*this, in, out, frames);
    else
        runChain<2>(*this, in, out, frames);
}

} // namespace hushkit
