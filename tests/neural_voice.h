#pragma once
// Deterministic voice-like test signal in 16-bit sample scale: a gliding
// harmonic tone with vowel-like spectral tilt, syllable envelopes with pauses,
// and a little background noise.

#include <cmath>
#include <random>
#include <vector>

inline std::vector<float> voiceLike(int samples, unsigned seed = 1)
{
    std::vector<float> v(static_cast<size_t>(samples));
    std::mt19937 rng(seed);
    std::normal_distribution<float> hiss(0.0f, 30.0f);
    const double pi = 3.14159265358979323846;
    double phase = 0.0;
    for (int n = 0; n < samples; ++n) {
        const double t = n / 48000.0;
        const double f0 = 150.0 + 50.0 * std::sin(2.0 * pi * 0.7 * t);
        phase += 2.0 * pi * f0 / 48000.0;
        const double syllable = std::fmod(t, 0.3);
        const double env = syllable < 0.2 ? std::sin(pi * syllable / 0.2) : 0.0;
        double s = 0.0;
        for (int h = 1; h <= 20; ++h)
            s += std::sin(h * phase) / h;
        v[static_cast<size_t>(n)] = static_cast<float>(6000.0 * env * s) + hiss(rng);
    }
    return v;
}
