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

    const float rate = static_cast<float>(processingRate);
    float reductionSum = 0.0f;

    for (int32_t n = 0; n < frames; ++n) {
        for (int k = 0; k < EngineParamCount; ++k)
            smoothed[k] = smoothed[k] + (target[k] - smoothed[k]) * coef[0];

        const float s0 = smoothed[ParamId::CleanAmount];
        const float s1 = smoothed[ParamId::OriginalAmbience];
        const float s2 = smoothed[ParamId::NoiseReduction];
        const float s3 = smoothed[ParamId::BodyRestore];
        const float s5 = smoothed[ParamId::DryWet];
        const float s7 = smoothed[ParamId::Bypass];
        const float s8 = smoothed[ParamId::CleanupProfile];

        const float profile = s8 + s8;
        const float factor = profile <= 1.0f ? profile * 0.15f + 0.85f : 1.0f;
        const float depth = ((s1 * -0.25f + 1.0f) * (s2 * s0)) * factor;
        const float studio = std::max(profile - 1.0f, 0.0f);
        const float knee = profile * 0.4f + 0.6f;
        const float exponent = profile * 0.05f + 0.25f;

        const float focus = smoothed[ParamId::FrequencyFocus];
        if (!(focus == lastFocus)) {
            lastFocus = focus;
            highpassCoef = std::exp(((focus * 145.0f + 35.0f) * -6.2831855f) / rate);
        }
        const float gainParam = smoothed[ParamId::OutputGain];
        if (!(gainParam == lastGain)) {
            lastGain = gainParam;
            outputGain = std::pow(10.0f, (gainParam * 36.0f - 18.0f) / 20.0f);
        }

        const float threshold = (s2 * 0.009f) * knee + 0.001f;
        const float expanderDepth = s2 * s0;

        for (int32_t c = 0; c < channels; ++c) {
            float* const dst = out[c];
            if (!dst)
                continue;
            ChannelState& ch = channel[c];

            float x = (in && in[c]) ? in[c][n] : 0.0f;
            x = std::isfinite(x) ? clamp4(x) : 0.0f;
            inputPeak = std::max(inputPeak, std::fabs(x));

            const float hp = ((ch.hpPrevOut + x) - ch.hpPrevIn) * highpassCoef;
            ch.hpPrevIn = x;
            ch.hpPrevOut = hp;

            const float a = std::fabs(hp);
            ch.envelope = ch.envelope + (a - ch.envelope) * (a > ch.envelope ? coef[1] : coef[2]);
            const float g = limitUnit(ch.envelope / threshold, 0.15f);
            ch.gate = ch.gate + (g - ch.gate) * (g > ch.gate ? coef[1] : coef[2]);
            const float dsp = (1.0f - expanderDepth * (1.0f - ch.gate)) * hp;

            float mixed;
            float dry;
            if (!neuralActive) {
                mixed = dsp;
                dry = x;
            } else {
                const int32_t pos = ch.delayPos;
                dry = ch.dryDelay[pos];
                ch.dryDelay[pos] = x;
                const float dspDelayed = ch.wetDelay[pos];
                ch.wetDelay[pos] = dsp;
                ch.delayPos = pos + 1 == delayLength ? 0 : pos + 1;

                float e = live ? ch.fir.process(hp) : ch.frameOut[ch.framePos] * 3.0517578e-05f;
                ch.frameIn[ch.framePos] = hp * 32768.0f;

                if (ch.fault) {
                    mixed = dspDelayed;
                    neuralFault = true;
                    if (++ch.framePos == FrameSize)
                        closeFrame(ch, neuralFault);
                } else {
                    if (!live)
                        e = e * (1.0f - studio * (1.0f - ch.speech));
                    e = std::isfinite(e) ? clamp4(e) : 0.0f;
                    mixed = dspDelayed + (e - dspDelayed) * depth;
                    if (++ch.framePos == FrameSize) {
                        const float r = live ? liveFrameStep(ch, exponent)
                                             : rnnoise_process_frame(ch.denoiser, ch.frameOut, ch.frameIn);
                        const float q = limitUnit(r / 0.35f, 0.08f);
                        ch.speech = ch.speech + (q - ch.speech) * (q > ch.speech ? 0.85f : 0.08f);
                        closeFrame(ch, neuralFault);
                    }
                }
            }

            ch.bodyState = ch.bodyState + (mixed - ch.bodyState) * coef[3];
            float y = (ch.bodyState * s3) * 0.35f + mixed;

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

    reduction = reductionSum / static_cast<float>(static_cast<int32_t>(frames * channels));
}

} // namespace hushkit
