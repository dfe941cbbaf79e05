#pragma once
// Deterministic input signals for the tests and the benchmark. Each function
// is one family of signal; the shapes in use are named below, so that every
// test keeps seeing exactly the samples it was written against.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace hushkit::test {

// Small linear congruential generator, uniform in [-1, 1).
class Lcg {
public:
    explicit Lcg(uint32_t seed) : state(seed) {}
    float next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state)) * (1.0f / 2147483648.0f);
    }

private:
    uint32_t state;
};

// A tone under a syllable-like envelope, louder and quieter stretches of 1500
// samples (so that an expander opens and closes) and noise.
inline std::vector<float> testSignal(int frames, uint32_t seed, float level = 0.5f)
{
    std::vector<float> v(static_cast<size_t>(frames));
    Lcg noise(seed);
    for (int n = 0; n < frames; ++n) {
        const float white = noise.next();
        const float loud = (n / 1500) % 2 == 0 ? level : level * 0.004f;
        v[static_cast<size_t>(n)] =
            loud * (0.7f * std::sin(0.021f * static_cast<float>(n)) * std::fabs(std::sin(0.0013f * static_cast<float>(n)))) +
            loud * 0.3f * white;
    }
    return v;
}

// A voice at 48 kHz: a harmonic tone (partials falling as 1/h) whose pitch
// glides around `pitch`, in syllables of `voiced` seconds every `syllable`
// seconds, plus Gaussian hiss.
struct VoiceShape {
    double pitch;      // Hz
    double glide;      // Hz of pitch swing
    double glideRate;  // Hz
    double syllable;   // period, seconds
    double voiced;     // sounding part of each period, seconds
    int harmonics;
    double level;      // peak of the harmonic sum's scale
    float hiss;        // standard deviation of the noise
};

// In -1..1, with plainly audible noise.
constexpr VoiceShape NoisyVoice{140.0, 40.0, 0.9, 0.25, 0.17, 16, 0.2, 0.03f};
// In 16-bit sample scale with a little background noise.
constexpr VoiceShape Pcm16Voice{150.0, 50.0, 0.7, 0.3, 0.2, 20, 6000.0, 30.0f};

inline std::vector<float> voiceLike(int frames, unsigned seed, const VoiceShape& shape)
{
    std::vector<float> v(static_cast<size_t>(frames));
    std::mt19937 rng(seed);
    std::normal_distribution<float> hiss(0.0f, shape.hiss);
    const double pi = 3.14159265358979323846;
    double phase = 0.0;
    for (int n = 0; n < frames; ++n) {
        const double t = n / 48000.0;
        const double f0 = shape.pitch + shape.glide * std::sin(2.0 * pi * shape.glideRate * t);
        phase += 2.0 * pi * f0 / 48000.0;
        const double within = std::fmod(t, shape.syllable);
        const double env = within < shape.voiced ? std::sin(pi * within / shape.voiced) : 0.0;
        double s = 0.0;
        for (int h = 1; h <= shape.harmonics; ++h)
            s += std::sin(h * phase) / h;
        v[static_cast<size_t>(n)] = static_cast<float>(shape.level * env * s) + hiss(rng);
    }
    return v;
}

// Speech at any rate: a gliding voiced source whose harmonics are weighted by
// two moving formants, syllables at about 4 per second, and a low-passed
// noise floor about 30 dB under the voice.
struct SpeechShape {
    double offset = 0.0;   // seconds into the waveform at the first sample
    int harmonics = 24;    // at most this many partials ...
    double ceiling = 0.0;  // ... and none above this frequency (0: 0.45 x rate)
    bool pauses = true;    // a pause of 0.5 s every 3 s
};

inline std::vector<float> speechLike(double rate, size_t frames, uint32_t seed, const SpeechShape& shape = {})
{
    std::vector<float> out(frames);
    Lcg noise(seed);
    const double twoPi = 6.283185307179586;
    const double ceiling = shape.ceiling > 0.0 ? shape.ceiling : rate * 0.45;
    double phase = 0.0;
    float lowpass = 0.0f;
    for (size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate + shape.offset;
        const double f0 = 150.0 + 40.0 * std::sin(twoPi * 0.31 * t) + 15.0 * std::sin(twoPi * 2.3 * t);
        phase += twoPi * f0 / rate;
        if (phase > twoPi)
            phase -= twoPi;
        const double formant1 = 600.0 + 250.0 * std::sin(twoPi * 3.1 * t);
        const double formant2 = 1700.0 + 500.0 * std::sin(twoPi * 1.7 * t + 1.0);
        double voiced = 0.0;
        for (int h = 1; h <= shape.harmonics; ++h) {
            const double f = f0 * h;
            if (f > ceiling)
                break;
            const double w1 = formant1 / (formant1 + std::fabs(f - formant1) * 4.0);
            const double w2 = formant2 / (formant2 + std::fabs(f - formant2) * 4.0);
            voiced += (w1 + 0.6 * w2) / h * std::sin(phase * h);
        }
        const double syllable = std::pow(std::fabs(std::sin(twoPi * 2.0 * t)), 1.5);
        const double talking = !shape.pauses || std::fmod(t, 3.0) < 2.5 ? 1.0 : 0.0;
        lowpass += (noise.next() - lowpass) * 0.3f;
        out[n] = static_cast<float>(0.25 * voiced * syllable * talking + 0.02 * lowpass);
    }
    return out;
}

} // namespace hushkit::test
