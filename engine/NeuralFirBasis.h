#pragma once
// Fixed matrix from the network's 32 band gains to the 96 distinct taps of the
// symmetric 191-tap live filter.

#include "Frame.h"

namespace hushkit {

struct NeuralFirBasis {
    static constexpr int Taps = 96;
    static constexpr int Bands = BandCount;

    // Row j = tap 0..95, column k = band 0..31, rows one after the other.
    float weights[Taps * Bands] = {};

    // Fills the weights (identical results every time); no allocation.
    void prepare();
};

} // namespace hushkit
