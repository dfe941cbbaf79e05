#pragma once
// Polyphase windowed-sinc table shared by the two rate converters: 1025 rows
// of 32 taps, row i for an output position i/1024 of a sample past an input
// sample.

#include <array>
#include <vector>

namespace hushkit {

struct ResamplerKernel {
    static constexpr int Rows = 1025;
    static constexpr int Taps = 32;

    std::vector<std::array<float, Taps>> table;

    // cutoff: fraction of the Nyquist frequency of the grid the kernel reads.
    // Allocates the table on first use; later calls reuse it.
    void prepare(double cutoff);
};

} // namespace hushkit
