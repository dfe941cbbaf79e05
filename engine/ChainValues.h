#pragma once
// The values that the cleaning chain derives from its smoothed parameters once
// per sample frame, the speech follower of the neural frames and the reduction
// meter's mean, with the constants that shape them.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Maths.h"
#include "Params.h"
#include "Types.h"

namespace hushkit {

// Cleanup profile: the level runs 0 (Live), 1 (Broadcast), 2 (Studio).
// The cleaning depth carries a factor that is LiveDepthFactor at Live and
// rises by DepthFactorPerLevel to 1 at Broadcast and above.
constexpr float LiveDepthFactor = 0.85f;
constexpr float DepthFactorPerLevel = 0.15f;
// Original Ambience 1 takes this share off the cleaning depth.
constexpr float AmbienceDepthShare = 0.25f;
// Knee scale of the expander threshold: 0.6 at Live, 1.0 at Broadcast, 1.4 at Studio.
constexpr float KneeBase = 0.6f;
constexpr float KneePerLevel = 0.4f;
// Exponent that shapes the live band gains: 0.25 at Live to 0.35 at Studio.
constexpr float ExponentBase = 0.25f;
constexpr float ExponentPerLevel = 0.05f;
// Expander threshold at Noise Reduction s2: s2 x ThresholdPerReduction x knee + ThresholdFloor.
constexpr float ThresholdPerReduction = 0.009f;
constexpr float ThresholdFloor = 0.001f;
// The expander's gain never falls below this (about -16.5 dB).
constexpr float ExpanderFloor = 0.15f;
// High-pass corner: FocusBaseHz at Frequency Focus 0 up to FocusBaseHz + FocusSpanHz at 1,
// the parameter's plain range.
constexpr float FocusBaseHz = static_cast<float>(ParamTable[ParamId::FrequencyFocus].min);
constexpr float FocusSpanHz =
    static_cast<float>(ParamTable[ParamId::FrequencyFocus].max - ParamTable[ParamId::FrequencyFocus].min);
constexpr float MinusTwoPi = static_cast<float>(-2.0 * Pi);
// Output gain in dB: GainSpanDb x value - GainCutDb, the parameter's plain
// range -18..+18 dB with 0 dB at 0.5.
constexpr float GainSpanDb =
    static_cast<float>(ParamTable[ParamId::OutputGain].max - ParamTable[ParamId::OutputGain].min);
constexpr float GainCutDb = static_cast<float>(-ParamTable[ParamId::OutputGain].min);
// Share of the 220 Hz low band that Body Restore 1 adds.
constexpr float BodyMix = 0.35f;

// Speech follower: a frame's voice probability counts as full speech from
// FullSpeechVoice on; the follower's target never falls below SpeechFloor; it
// moves SpeechRise of the way up per frame and SpeechFall of the way down.
constexpr float FullSpeechVoice = 0.35f;
constexpr float SpeechFloor = 0.08f;
constexpr float SpeechRise = 0.85f;
constexpr float SpeechFall = 0.08f;

// The values of one sample frame that do not depend on the channel.
struct FrameValues {
    float s3 = 0.0f, s5 = 0.0f, s7 = 0.0f;   // body restore, dry/wet, bypass
    float depth = 0.0f;                      // share of the neural estimate in the mix
    float studio = 0.0f;                     // how far the speech estimate scales the classic estimate
    float exponent = 0.0f;                   // band-gain exponent of the live filter
    float threshold = 0.0f;                  // expander threshold
    float expanderDepth = 0.0f;              // how deep the expander cuts
};

// The frame values of the nine smoothed parameters s[0..8].
inline FrameValues deriveFrameValues(const float* s)
{
    const float s0 = s[ParamId::CleanAmount];
    const float s1 = s[ParamId::OriginalAmbience];
    const float s2 = s[ParamId::NoiseReduction];
    const float s8 = s[ParamId::CleanupProfile];

    const float level = s8 + s8;
    const float factor = level <= 1.0f ? level * DepthFactorPerLevel + LiveDepthFactor : 1.0f;
    const float knee = level * KneePerLevel + KneeBase;

    FrameValues v;
    v.s3 = s[ParamId::BodyRestore];
    v.s5 = s[ParamId::DryWet];
    v.s7 = s[ParamId::Bypass];
    v.depth = ((s1 * -AmbienceDepthShare + 1.0f) * (s2 * s0)) * factor;
    v.studio = std::max(level - 1.0f, 0.0f);
    v.exponent = level * ExponentPerLevel + ExponentBase;
    v.threshold = (s2 * ThresholdPerReduction) * knee + ThresholdFloor;
    v.expanderDepth = s2 * s0;
    return v;
}

// Coefficient of the one-pole high-pass for a Frequency Focus value at a rate.
inline float highpassCoefficient(float focus, float rate)
{
    return std::exp(((focus * FocusSpanHz + FocusBaseHz) * MinusTwoPi) / rate);
}

// Linear output gain of an Output Gain value.
inline float linearGain(float value) { return std::pow(10.0f, (value * GainSpanDb - GainCutDb) / 20.0f); }

// The speech estimate after a frame with voice probability r (finite).
inline float followSpeech(float speech, float r)
{
    const float q = r / FullSpeechVoice;
    const float target = q < SpeechFloor ? SpeechFloor : std::min(q, 1.0f);
    return speech + (target - speech) * (target > speech ? SpeechRise : SpeechFall);
}

// The reduction meter: the sum of what a call took away, per sample of every
// channel counted. The divisor is formed in 64 bits, so no block size
// overflows it.
inline float reductionMean(float sum, int32_t frames, int32_t channels)
{
    return sum / static_cast<float>(static_cast<int64_t>(frames) * channels);
}

} // namespace hushkit
