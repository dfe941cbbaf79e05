#pragma once
// Block helpers shared by the engine tests, and their input signals.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Engine.h"
#include "signals.h"

namespace hushkit::test {

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
