#pragma once
// Per-channel symmetric 191-tap linear-phase filter whose taps glide towards
// the targets computed from the band gains of the last analysed frame.

#include <cstdint>

#include "NeuralFirBasis.h"

namespace hushkit {

struct NeuralFir {
    static constexpr int Taps = NeuralFirBasis::Taps;
    static constexpr int Ring = 512;

    // Ring of 512 samples, each stored twice (at p and p + 512) so that the
    // newest 512 samples always lie contiguous in memory.
    alignas(32) float history[2 * Ring] = {};
    alignas(32) float current[Taps] = {1.0f};
    alignas(32) float target[Taps] = {1.0f};
    int32_t writeCount = 0;

    // Back to the identity state: a pure delay of 95 samples.
    void setIdentity();

    // One sample in, one sample out (centred 95 samples back).
    float process(float hp);

    // Recomputes the target taps from the basis and 32 band gains.
    void update(const NeuralFirBasis& basis, const float* gains);
};

} // namespace hushkit
