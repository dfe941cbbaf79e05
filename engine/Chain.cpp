// The per-sample cleaning chain and the public block entry.

#include <algorithm>
#include <cmath>

#include <rnnoise.h>
#include <emmintrin.h>

#include "ChainValues.h"
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

// The expander gain v limited to ExpanderFloor..1 per lane: min_ps(1, v) is
// "1 < v ? 1 : v" and max_ps(floor, m) is "floor > m ? floor : m", which
// together give "v < floor ? floor : min(v, 1)" for every v, NaN included.
inline Lanes limitGain(Lanes v) { return _mm_max_ps(splat(ExpanderFloor), _mm_min_ps(splat(1.0f), v)); }

// One smoothing step of a follower: state + (v - state) x (attack when v
// rises above the state, else release).
inline Lanes follow(Lanes state, Lanes v, Lanes attack, Lanes release)
{
    const Lanes k = select(_mm_cmpgt_ps(v, state), attack, release);
    return _mm_add_ps(state, _mm_mul_ps(_mm_sub_ps(v, state), k));
}

// The per-sample values of the vector stages, in every lane.
struct LaneParams {
    Lanes highpass = _mm_setzero_ps(), threshold = _mm_setzero_ps(), expanderDepth = _mm_setzero_ps();
    Lanes s3 = _mm_setzero_ps(), s5 = _mm_setzero_ps(), s7 = _mm_setzero_ps(), outputGain = _mm_setzero_ps();

    void set(const FrameValues& v, float highpassCoef, float gain)
    {
        highpass = splat(highpassCoef);
        threshold = splat(v.threshold);
        expanderDepth = splat(v.expanderDepth);
        s3 = splat(v.s3);
        s5 = splat(v.s5);
        s7 = splat(v.s7);
        outputGain = splat(gain);
    }
};

// The engine's parameter smoothing for the length of one call: targets and
// smoothed values, the high-pass coefficient and linear gain that follow
// them, and the frame values of the current sample frame.
class ParamTrack {
public:
    explicit ParamTrack(const Engine& e) : rate(static_cast<float>(e.processingRate)), smoothing(e.coef[0])
    {
        for (int k = 0; k < EngineParamCount; ++k) {
            target[k] = e.target[k];
            s[k] = e.smoothed[k];
        }
        lastFocus = e.lastFocus;
        highpassCoef = e.highpassCoef;
        lastGain = e.lastGain;
        outputGain = e.outputGain;
    }

    // True when a smoothing step would leave every value as it is (they have
    // reached their targets, or come as close as float steps allow). Since
    // the targets do not change during a call, the values then stay fixed for
    // the whole call.
    bool settled() const
    {
        bool still = true;
        for (int k = 0; k < EngineParamCount; ++k)
            still = still && s[k] + (target[k] - s[k]) * smoothing == s[k];
        return still;
    }

    // One smoothing step of every parameter.
    void smooth()
    {
        for (int k = 0; k < EngineParamCount; ++k)
            s[k] = s[k] + (target[k] - s[k]) * smoothing;
    }

    // The frame values of the current smoothed parameters; the high-pass
    // coefficient and the gain are recomputed only when their parameter moved.
    void derive()
    {
        values = deriveFrameValues(s);
        const float focus = s[ParamId::FrequencyFocus];
        if (!(focus == lastFocus)) {
            lastFocus = focus;
            highpassCoef = highpassCoefficient(focus, rate);
        }
        const float gainParam = s[ParamId::OutputGain];
        if (!(gainParam == lastGain)) {
            lastGain = gainParam;
            outputGain = linearGain(gainParam);
        }
        lanes.set(values, highpassCoef, outputGain);
    }

    void store(Engine& e) const
    {
        for (int k = 0; k < EngineParamCount; ++k)
            e.smoothed[k] = s[k];
        e.lastFocus = lastFocus;
        e.highpassCoef = highpassCoef;
        e.lastGain = lastGain;
        e.outputGain = outputGain;
    }

    FrameValues values;
    LaneParams lanes;

private:
    float rate;
    float smoothing;
    float target[EngineParamCount];
    float s[EngineParamCount];
    float lastFocus, highpassCoef, lastGain, outputGain;
};

// The library's frame samples are in 16-bit scale.
constexpr float FromLibraryScale = 3.0517578e-05f;
constexpr float ToLibraryScale = 32768.0f;

// Closes a channel's completed frame: the frame analysis yields the voice
// probability that the speech estimate follows. A probability that is not
// finite is a library fault of the channel, like a non-finite output value.
void completeFrame(Engine& e, ChannelState& ch, float exponent, bool& neuralFault)
{
    const float r = e.live ? e.liveFrameStep(ch, exponent) : rnnoise_process_frame(ch.denoiser, ch.frameOut, ch.frameIn);
    if (std::isfinite(r))
        ch.speech = followSpeech(ch.speech, r);
    else
        ch.fault = true;
    closeFrame(ch, neuralFault);
}

// The neural section of one channel for one sample: the delay rings, the
// neural estimate and the frame bookkeeping. Returns the mixed signal and
// stores the delayed input in dry.
inline float neuralStep(Engine& e, ChannelState& ch, float x, float hp, float dsp, const FrameValues& v, float& dry,
                        bool& neuralFault)
{
    const bool live = e.live;
    const int32_t pos = ch.delayPos;
    dry = ch.dryDelay[pos];
    ch.dryDelay[pos] = x;
    const float dspDelayed = ch.wetDelay[pos];
    ch.wetDelay[pos] = dsp;
    ch.delayPos = pos + 1 == e.delayLength ? 0 : pos + 1;

    float est = live ? ch.fir.process(hp) : ch.frameOut[ch.framePos] * FromLibraryScale;
    ch.frameIn[ch.framePos] = hp * ToLibraryScale;

    if (ch.fault) {
        neuralFault = true;
        if (++ch.framePos == FrameSize)
            closeFrame(ch, neuralFault);
        return dspDelayed;
    }

    if (!live)
        est = est * (1.0f - v.studio * (1.0f - ch.speech));
    est = sanitizeSample(est);
    const float mixed = dspDelayed + (est - dspDelayed) * v.depth;
    if (++ch.framePos == FrameSize)
        completeFrame(e, ch, v.exponent, neuralFault);
    return mixed;
}

// The five filter states of the active channels, lane by lane, for the length
// of one call: hpPrevIn, hpPrevOut, envelope, gate and bodyState.
struct LaneStates {
    Lanes hpPrevIn, hpPrevOut, envelope, gate, body;

    template <int Channels>
    static LaneStates load(const Engine& e, const bool* active)
    {
        float v[5][2] = {};
        for (int c = 0; c < Channels; ++c) {
            if (!active[c])
                continue;
            const ChannelState& ch = e.channel[c];
            v[0][c] = ch.hpPrevIn;
            v[1][c] = ch.hpPrevOut;
            v[2][c] = ch.envelope;
            v[3][c] = ch.gate;
            v[4][c] = ch.bodyState;
        }
        return {pack(v[0][0], v[0][1]), pack(v[1][0], v[1][1]), pack(v[2][0], v[2][1]), pack(v[3][0], v[3][1]),
                pack(v[4][0], v[4][1])};
    }

    template <int Channels>
    void store(Engine& e, const bool* active) const
    {
        auto lane = [](Lanes l, int c) { return c == 0 ? lane0(l) : lane1(l); };
        for (int c = 0; c < Channels; ++c) {
            if (!active[c])
                continue;
            ChannelState& ch = e.channel[c];
            ch.hpPrevIn = lane(hpPrevIn, c);
            ch.hpPrevOut = lane(hpPrevOut, c);
            ch.envelope = lane(envelope, c);
            ch.gate = lane(gate, c);
            ch.bodyState = lane(body, c);
        }
    }
};

// The meters of one call, gathered lane by lane.
struct LaneMeters {
    Lanes inputPeak = _mm_setzero_ps();
    Lanes outputPeak = _mm_setzero_ps();
    Lanes finiteSoFar = _mm_cmpeq_ps(_mm_setzero_ps(), _mm_setzero_ps());
    float reductionSum = 0.0f;
    bool neuralFault = false;

    // Writes the engine's five meters; activeLanes masks out skipped channels.
    void finish(Engine& e, Lanes activeLanes, int32_t frames, int32_t channels) const
    {
        // Every lane's peak is the largest of its values, so the larger of
        // the two lane peaks is the peak over both channels.
        const Lanes inPeaks = _mm_and_ps(inputPeak, activeLanes);
        const Lanes outPeaks = _mm_and_ps(outputPeak, activeLanes);
        e.inputPeak = std::max(lane0(inPeaks), lane1(inPeaks));
        e.outputPeak = std::max(lane0(outPeaks), lane1(outPeaks));
        // A sample is clipped when its magnitude exceeds 1 before the -4..4
        // limit, which holds exactly when its limited magnitude does; so the
        // output peak tells whether any sample clipped.
        e.clipped = (_mm_movemask_ps(_mm_cmpgt_ps(outPeaks, splat(1.0f))) & 3) != 0;
        e.neuralFault = neuralFault || (_mm_movemask_ps(_mm_andnot_ps(finiteSoFar, activeLanes)) & 3) != 0;
        e.reduction = reductionMean(reductionSum, frames, channels);
    }
};

// What stays fixed during one call: the smoother coefficients, which channels
// are active and the configuration.
template <int Channels>
struct CallSetup {
    Lanes attack, release, bodyCoef;
    bool active[2];
    Lanes activeLanes;
    bool neural, resampling;

    CallSetup(const Engine& e, float* const* out)
        : attack(splat(e.coef[1])), release(splat(e.coef[2])), bodyCoef(splat(e.coef[3])),
          active{out[0] != nullptr, Channels == 2 && out[Channels - 1] != nullptr},
          activeLanes(laneMask(active[0], active[1])), neural(e.neuralActive), resampling(e.resampling)
    {
    }
};

// High-pass, expander, body restore and output stage of one sample frame,
// the neural section in between. Returns the output, limited and with
// non-finite values replaced by the dry signal, and gathers the meters.
template <int Channels>
inline Lanes chainStep(Engine& e, const CallSetup<Channels>& call, const ParamTrack& params, LaneStates& st,
                       LaneMeters& m, Lanes x)
{
    const LaneParams& p = params.lanes;
    const Lanes zero = _mm_setzero_ps();
    const Lanes one = splat(1.0f);

    x = _mm_and_ps(clampLanes(x), finiteLanes(x));
    m.inputPeak = _mm_max_ps(absLanes(x), m.inputPeak);

    const Lanes hp = _mm_mul_ps(_mm_sub_ps(_mm_add_ps(st.hpPrevOut, x), st.hpPrevIn), p.highpass);
    st.hpPrevIn = x;
    st.hpPrevOut = hp;

    st.envelope = follow(st.envelope, absLanes(hp), call.attack, call.release);
    st.gate = follow(st.gate, limitGain(_mm_div_ps(st.envelope, p.threshold)), call.attack, call.release);
    const Lanes dsp = _mm_mul_ps(_mm_sub_ps(one, _mm_mul_ps(p.expanderDepth, _mm_sub_ps(one, st.gate))), hp);

    Lanes mixed = dsp;
    Lanes dry = x;
    if (call.neural) {
        float mx[2] = {0.0f, 0.0f};
        float dr[2] = {0.0f, 0.0f};
        if (call.active[0])
            mx[0] = neuralStep(e, e.channel[0], lane0(x), lane0(hp), lane0(dsp), params.values, dr[0], m.neuralFault);
        if (Channels == 2 && call.active[1])
            mx[1] = neuralStep(e, e.channel[Channels - 1], lane1(x), lane1(hp), lane1(dsp), params.values, dr[1],
                               m.neuralFault);
        mixed = pack(mx[0], mx[1]);
        dry = pack(dr[0], dr[1]);
    }

    st.body = _mm_add_ps(st.body, _mm_mul_ps(_mm_sub_ps(mixed, st.body), call.bodyCoef));
    Lanes y = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(st.body, p.s3), splat(BodyMix)), mixed);

    if (!call.resampling) {
        y = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(y, dry), p.s5), dry), p.outputGain);
        y = _mm_add_ps(y, _mm_mul_ps(_mm_sub_ps(dry, y), p.s7));
    }

    const Lanes finite = finiteLanes(y);
    m.finiteSoFar = _mm_and_ps(m.finiteSoFar, finite);
    y = clampLanes(select(finite, y, dry));
    m.outputPeak = _mm_max_ps(absLanes(y), m.outputPeak);

    // Summed channel 0 first, then channel 1; a masked lane adds +0, which
    // leaves the (non-negative) sum unchanged.
    const Lanes r = _mm_and_ps(_mm_max_ps(zero, _mm_sub_ps(absLanes(dry), absLanes(y))), call.activeLanes);
    m.reductionSum += lane0(r);
    if (Channels == 2)
        m.reductionSum += lane1(r);
    return y;
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
    const CallSetup<Channels> call(e, out);
    const float* const src[2] = {call.active[0] && in ? in[0] : nullptr,
                                 call.active[1] && in ? in[Channels - 1] : nullptr};
    float* const dst[2] = {out[0], Channels == 2 ? out[Channels - 1] : nullptr};

    ParamTrack params(e);
    LaneStates st = LaneStates::load<Channels>(e, call.active);
    LaneMeters m;

    const bool settled = params.settled();
    if (settled)
        params.derive();

    for (int32_t n = 0; n < frames; ++n) {
        if (!settled) {
            params.smooth();
            params.derive();
        }
        const float in0 = src[0] ? src[0][n] : 0.0f;
        const float in1 = Channels == 2 && src[1] ? src[1][n] : 0.0f;
        const Lanes y = chainStep<Channels>(e, call, params, st, m, pack(in0, in1));
        if (call.active[0])
            dst[0][n] = lane0(y);
        if (Channels == 2 && call.active[1])
            dst[1][n] = lane1(y);
    }

    params.store(e);
    st.store<Channels>(e, call.active);
    m.finish(e, call.activeLanes, frames, Channels);
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
