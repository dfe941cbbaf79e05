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

    // Makes room for the table on first use; later calls keep it. False, with
    // no table, when memory runs out.
    bool allocate();

    // cutoff: fraction of the Nyquist frequency of the grid the kernel reads.
    // Fills the table, allocating it first if needed; false, with no table,
    // when memory runs out.
    bool prepare(double cutoff);
};

} // namespace hushkit
