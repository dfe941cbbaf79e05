// The converting path: a neural configuration at a caller's rate other than
// 48 kHz. Each channel is converted to 48 kHz, runs through the per-sample
// chain one 48 kHz sample at a time, and is converted back; dry/wet, output
// gain and bypass then follow at the caller's rate against the input delayed
// by exactly `latency` caller-rate samples.

#include <cmath>

#include "Engine.h"
#include "Sample.h"

namespace hushkit {

namespace {

constexpr int64_t HistoryMask = ConvHistory - 1;
constexpr int64_t DryMask = DryHistory - 1;
constexpr int KernelTaps = ResamplerKernel::Taps;

// Where a converter output position falls on the grid it reads: the input
// sample E at or before it, and the kernel row pair with the fraction between.
struct KernelPhase {
    int64_t base;   // E
    int row;        // 0..1023
    float d;        // 0..1, weight of row + 1
};

inline KernelPhase locate(double position)
{
    KernelPhase p;
    p.base = static_cast<int64_t>(std::floor(position));
    const double phase = (position - static_cast<double>(p.base)) * 1024.0;
    int row = static_cast<int>(phase);
    if (row > 1023)
        row = 1023;
    p.row = row;
    p.d = static_cast<float>(phase - row);
    return p;
}

// The 32 tap weights of one phase, interpolated linearly between two rows.
inline void interpolateWeights(const ResamplerKernel& kernel, const KernelPhase& p, float* w)
{
    const float* lo = kernel.table[static_cast<size_t>(p.row)].data();
    const float* hi = kernel.table[static_cast<size_t>(p.row) + 1].data();
    const float d = p.d;
    for (int t = 0; t < KernelTaps; ++t)
        w[t] = (hi[t] - lo[t]) * d + lo[t];
}

// Sum of w[t] * ring[(first + t) mod 128] for t from lo to hi, in order.
inline float ringDot(const float* w, const float* ring, int64_t first, int lo, int hi)
{
    float sum = 0.0f;
    for (int t = lo; t <= hi; ++t)
        sum += w[t] * ring[(first + t) & HistoryMask];
    return sum;
}

// Limits a tap bound to -1..32; a range whose lower bound lies above its upper
// bound is empty.
inline int clampTap(int64_t t)
{
    return t < -1 ? -1 : (t > KernelTaps ? KernelTaps : static_cast<int>(t));
}

// The taps t (first + t being the sample read) that fall on samples a
// 128-entry history holds when `newest` is the last sample written: none
// before the stream's start, past the newest or older than the history.
struct TapRange {
    int lo;
    int hi;
};

inline TapRange heldTaps(int64_t first, int64_t newest)
{
    int64_t lo = -first;
    if (newest - (ConvHistory - 1) - first > lo)
        lo = newest - (ConvHistory - 1) - first;
    const int64_t hi = newest - first;
    return {clampTap(lo < 0 ? 0 : lo), clampTap(hi < KernelTaps - 1 ? hi : KernelTaps - 1)};
}

} // namespace

void Engine::processConverting(const float* const* in, float* const* out, int32_t channels, int32_t frames)
{
    if (out == nullptr || channels <= 0 || frames < 0 || channels > channelCount)
        return;

    const double ratio = sampleRate / NeuralRate;
    const double outOffset = latency / ratio - delayLength;

    if (frames == 0) {
        clearMeters();
        return;
    }

    // One-sample buffers of the inner chain calls, built once per block.
    float nativeIn[MaxChannels] = {};
    float nativeOut[MaxChannels] = {};
    const float* nativeInPtr[MaxChannels] = {&nativeIn[0], &nativeIn[1]};
    float* nativeOutPtr[MaxChannels] = {&nativeOut[0], &nativeOut[1]};

    float weights[KernelTaps];
    float callInputPeak = 0.0f;
    float callOutputPeak = 0.0f;
    bool callClipped = false;
    bool callFault = false;

    for (int32_t n = 0; n < frames; ++n) {
        const int64_t i = hostPosition;

        // Input into both histories, for every channel of the call.
        for (int32_t c = 0; c < channels; ++c) {
            float x = 0.0f;
            if (in != nullptr && in[c] != nullptr)
                x = in[c][n];
            x = sanitizeSample(x);
            inputHistory[c][i & HistoryMask] = x;
            dryHistory[c][i & DryMask] = x;
            const float ax = std::fabs(x);
            if (ax > callInputPeak)
                callInputPeak = ax;
        }

        // Every 48 kHz sample whose input taps have now all arrived.
        while (static_cast<double>(nativePosition) * ratio <= static_cast<double>(i - 16)) {
            const int64_t k = nativePosition;
            const KernelPhase p = locate(static_cast<double>(k) * ratio);
            interpolateWeights(inputKernel, p, weights);
            // Only taps on input samples still held are read; sample i is the newest.
            const int64_t first = p.base - 15;
            const TapRange taps = heldTaps(first, i);
            for (int32_t c = 0; c < channels; ++c)
                nativeIn[c] = ringDot(weights, inputHistory[c], first, taps.lo, taps.hi);

            processNative(nativeInPtr, nativeOutPtr, channels, 1);

            for (int32_t c = 0; c < channels; ++c)
                outputHistory[c][k & HistoryMask] = nativeOut[c];
            callFault = callFault || neuralFault;
            nativePosition = k + 1;
        }

        // Output converter centred at P, then dry/wet, gain and bypass.
        const double position = static_cast<double>(i) / ratio - outOffset;
        const KernelPhase p = locate(position);
        bool weightsReady = false;
        const int64_t first = p.base - 15;
        const TapRange taps = heldTaps(first, nativePosition - 1);
        const float s5 = smoothed[ParamId::DryWet];
        const float s7 = smoothed[ParamId::Bypass];
        const int64_t dryIndex = i - latency;

        for (int32_t c = 0; c < channels; ++c) {
            if (out[c] == nullptr)
                continue;
            if (!weightsReady) {
                interpolateWeights(outputKernel, p, weights);
                weightsReady = true;
            }
            const float w = ringDot(weights, outputHistory[c], first, taps.lo, taps.hi);
            const float dry = dryIndex >= 0 ? dryHistory[c][dryIndex & DryMask] : 0.0f;
            float y = ((w - dry) * s5 + dry) * outputGain;
            y = (dry - y) * s7 + y;
            y = sanitizeSample(y);
            out[c][n] = y;
            const float ay = std::fabs(y);
            if (ay > callOutputPeak)
                callOutputPeak = ay;
            if (ay > 1.0f)
                callClipped = true;
        }

        hostPosition = i + 1;
    }

    inputPeak = callInputPeak;
    outputPeak = callOutputPeak;
    reduction = 0.0f;
    clipped = callClipped;
    neuralFault = callFault;
}

} // namespace hushkit
