#pragma once
// Signals and block helpers shared by the engine tests.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Engine.h"

namespace hushkit::test {

// Deterministic test input: a tone under a syllable-like envelope, louder and
// quieter stretches (so that the expander opens and closes) and noise.
inline std::vector<float> testSignal(int frames, uint32_t seed, float level = 0.5f)
{
    std::vector<float> v(static_cast<size_t>(frames));
    uint32_t s = seed;
    for (int n = 0; n < frames; ++n) {
        s = s * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<int32_t>(s)) / 2147483648.0f;
        const float loud = (n / 1500) % 2 == 0 ? level : level * 0.004f;
        v[static_cast<size_t>(n)] =
            loud * (0.7f * std::sin(0.021f * static_cast<float>(n)) * std::fabs(std::sin(0.0013f * static_cast<float>(n)))) +
            loud * 0.3f * noise;
    }
    return v;
}

// Runs `frames` frames of planar input through `e.process` in blocks.
inline void run(Engine& e, const std::vector<float>* in, std::vector<float>* out, int channels, int block = 256)
{
    const int frames = static_cast<int>(in[0].size());
    for (int pos = 0; pos < frames; pos += block) {
        const int n = std::min(block, frames - pos);
        const float* ip[2] = {in[0].data() + pos, channels > 1 ? in[1].data() + pos : nullptr};
        float* op[2] = {out[0].data() + pos, channels > 1 ? out[1].data() + pos : nullptr};
        e.process(ip, op, channels, n);
    }
}

// The raw bytes of an engine, to show that a call changed nothing at all.
inline std::vector<unsigned char> bytesOf(const Engine& e)
{
    std::vector<unsigned char> b(sizeof(Engine));
    std::memcpy(b.data(), static_cast<const void*>(&e), sizeof(Engine));
    return b;
}

} // namespace hushkit::test
