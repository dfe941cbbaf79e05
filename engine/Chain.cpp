// The per-sample cleaning chain and the public block entry.

#include <algorithm>
#include <cmath>

#include <rnnoise.h>
#include <xmmintrin.h>

#include "Engine.h"

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

inline float clamp4(float v) { return v < -4.0f ? -4.0f : (v > 4.0f ? 4.0f : v); }

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

// The filter and envelope states of one channel, held in locals for the
// length of a block so that they stay in registers from sample to sample.
struct Filters {
    float hpPrevIn;
    float hpPrevOut;
    float envelope;
    float gate;
    float bodyState;
};

// The chain for a channel count known at compile time (1 or 2), so that the
// channel loop unrolls and every per-sample state lives in a register. The
// engine's members are read at the start and written back at the end; in
// between nothing but the chain itself touches them.
template <int Channels>
void runChain(Engine& e, const float* const* in, float* const* out, int32_t frames)
{
    const float rate = static_cast<float>(e.processingRate);
    const float smoothing = e.coef[0];
    // Release and attack coefficients, indexed by "rising": a table lookup
    // instead of a branch, since the envelope's direction changes from
    // sample to sample and cannot be predicted.
    const float followCoef[2] = {e.coef[2], e.coef[1]};
    const float bodyCoef = e.coef[3];
    const bool neural = e.neuralActive;
    const bool live = e.live;
    const bool resampling = e.resampling;
    const int32_t delayLength = e.delayLength;

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

    Filters f[Channels];
    for (int c = 0; c < Channels; ++c) {
        const ChannelState& ch = e.channel[c];
        f[c] = {ch.hpPrevIn, ch.hpPrevOut, ch.envelope, ch.gate, ch.bodyState};
    }

    float inputPeak = 0.0f;
    float outputPeak = 0.0f;
    float reductionSum = 0.0f;
    bool clipped = false;
    bool neuralFault = false;

    // The values derived from the smoothed parameters for one sample frame.
    float s3 = 0.0f, s5 = 0.0f, s7 = 0.0f, depth = 0.0f, studio = 0.0f, exponent = 0.0f;
    float threshold = 0.0f, expanderDepth = 0.0f;
    auto derive = [&] {
        const float s0 = s[ParamId::CleanAmount];
        const float s1 = s[ParamId::OriginalAmbience];
        const float s2 = s[ParamId::NoiseReduction];
        s3 = s[ParamId::BodyRestore];
        s5 = s[ParamId::DryWet];
        s7 = s[ParamId::Bypass];
        const float s8 = s[ParamId::CleanupProfile];

        const float profile = s8 + s8;
        const float factor = profile <= 1.0f ? profile * 0.15f + 0.85f : 1.0f;
        depth = ((s1 * -0.25f + 1.0f) * (s2 * s0)) * factor;
        studio = std::max(profile - 1.0f, 0.0f);
        const float knee = profile * 0.4f + 0.6f;
        exponent = profile * 0.05f + 0.25f;

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

        threshold = (s2 * 0.009f) * knee + 0.001f;
        expanderDepth = s2 * s0;
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

        for (int c = 0; c < Channels; ++c) {
            float* const dst = out[c];
            if (!dst)
                continue;
            Filters& fc = f[c];

            float x = (in && in[c]) ? in[c][n] : 0.0f;
            x = std::isfinite(x) ? clamp4(x) : 0.0f;
            inputPeak = std::max(inputPeak, std::fabs(x));

            const float hp = ((fc.hpPrevOut + x) - fc.hpPrevIn) * highpassCoef;
            fc.hpPrevIn = x;
            fc.hpPrevOut = hp;

            const float a = std::fabs(hp);
            fc.envelope = fc.envelope + (a - fc.envelope) * followCoef[a > fc.envelope];
            const float g = limitUnit(fc.envelope / threshold, 0.15f);
            fc.gate = fc.gate + (g - fc.gate) * followCoef[g > fc.gate];
            const float dsp = (1.0f - expanderDepth * (1.0f - fc.gate)) * hp;

            float mixed;
            float dry;
            if (!neural) {
                mixed = dsp;
                dry = x;
            } else {
                ChannelState& ch = e.channel[c];
                const int32_t pos = ch.delayPos;
                dry = ch.dryDelay[pos];
                ch.dryDelay[pos] = x;
                const float dspDelayed = ch.wetDelay[pos];
                ch.wetDelay[pos] = dsp;
                ch.delayPos = pos + 1 == delayLength ? 0 : pos + 1;

                float est = live ? ch.fir.process(hp) : ch.frameOut[ch.framePos] * 3.0517578e-05f;
                ch.frameIn[ch.framePos] = hp * 32768.0f;

                if (ch.fault) {
                    mixed = dspDelayed;
                    neuralFault = true;
                    if (++ch.framePos == FrameSize)
                        closeFrame(ch, neuralFault);
                } else {
                    if (!live)
                        est = est * (1.0f - studio * (1.0f - ch.speech));
                    est = std::isfinite(est) ? clamp4(est) : 0.0f;
                    mixed = dspDelayed + (est - dspDelayed) * depth;
                    if (++ch.framePos == FrameSize) {
                        const float r = live ? e.liveFrameStep(ch, exponent)
                                             : rnnoise_process_frame(ch.denoiser, ch.frameOut, ch.frameIn);
                        const float q = limitUnit(r / 0.35f, 0.08f);
                        ch.speech = ch.speech + (q - ch.speech) * (q > ch.speech ? 0.85f : 0.08f);
                        closeFrame(ch, neuralFault);
                    }
                }
            }

            fc.bodyState = fc.bodyState + (mixed - fc.bodyState) * bodyCoef;
            float y = (fc.bodyState * s3) * 0.35f + mixed;

            if (!resampling) {
                y = ((y - dry) * s5 + dry) * outputGain;
                y = y + (dry - y) * s7;
            }

            if (!std::isfinite(y)) {
                y = dry;
                neuralFault = true;
            }
            if (std::fabs(y) > 1.0f)
                clipped = true;
            y = clamp4(y);
            dst[n] = y;
            outputPeak = std::max(outputPeak, std::fabs(y));
            reductionSum += std::max(std::fabs(dry) - std::fabs(y), 0.0f);
        }
    }

    for (int k = 0; k < EngineParamCount; ++k)
        e.smoothed[k] = s[k];
    e.lastFocus = lastFocus;
    e.highpassCoef = highpassCoef;
    e.lastGain = lastGain;
    e.outputGain = outputGain;
    for (int c = 0; c < Channels; ++c) {
        ChannelState& ch = e.channel[c];
        ch.hpPrevIn = f[c].hpPrevIn;
        ch.hpPrevOut = f[c].hpPrevOut;
        ch.envelope = f[c].envelope;
        ch.gate = f[c].gate;
        ch.bodyState = f[c].bodyState;
    }

    e.inputPeak = inputPeak;
    e.outputPeak = outputPeak;
    e.clipped = clipped;
    e.neuralFault = neuralFault;
    e.reduction = reductionSum / static_cast<float>(static_cast<int32_t>(frames * Channels));
}

} // namespace

void Engine::processNative(const float* const* in, float* const* out, int32_t channels, int32_t frames)
{
    if (!out || channels <= 0 || frames < 0 || channels > channelCount)
        return;

    inputPeak = 0.0f;
    outputPeak = 0.0f;
    reduction = 0.0f;
    clipped = false;
    neuralFault = false;
    if (frames == 0)
        return;

    // channelCount is 1 or 2, so channels is too.
    if (channels == 1)
        runChain<1>(*this, in, out, frames);
    else
        runChain<2>(*this, in, out, frames);
}

} // namespace hushkit
