#pragma once
// Byte layout of the noise-suppression library's denoiser state in the
// RNNoise 0.2 build that the engine links (x86-64): the members that the
// analysis entry reads and writes although the public header does not offer
// them. The build checks that the linked library is that build; the analysis
// entry also refuses a state of another size.

#include <cstddef>

#include "Frame.h"

namespace hushkit::rnnoise_layout {

constexpr std::size_t StateSize = 32688;
constexpr std::size_t ModelOffset = 0;           // the model bound at creation
constexpr std::size_t ModelSize = 640;
constexpr std::size_t ArchOffset = 640;          // int: selected processor architecture
constexpr std::size_t WindowOffset = 644;        // analysis window overlap, one frame of floats
constexpr std::size_t WindowBytes = FrameSize * sizeof(float);
constexpr std::size_t HighpassOffset = 18320;    // two floats: input high-pass memory
constexpr std::size_t LastGainsOffset = 18328;   // BandCount floats: last band gains
constexpr std::size_t RecurrentOffset = 18456;   // the recurrent network state
constexpr std::size_t RecurrentBytes = (130 + 256 + 384 + 384 + 384) * sizeof(float);

// Spectra are BinCount complex values, each a pair of floats.
constexpr std::size_t ComplexBytes = 2 * sizeof(float);
constexpr std::size_t DelayedSpectraBytes = 2 * BinCount * ComplexBytes;
constexpr std::size_t DelayedEnergiesBytes = 3 * BandCount * sizeof(float);

static_assert(sizeof(float) == 4 && sizeof(int) == 4, "the layout assumes 32-bit floats and ints");
static_assert(ArchOffset == ModelOffset + ModelSize, "the architecture follows the model");
static_assert(WindowOffset == ArchOffset + sizeof(int), "the window overlap follows the architecture");
static_assert(WindowOffset + WindowBytes + 4 + FrameSize * 4 + 2 * 1728 * 4 + 4 + 4 == HighpassOffset,
              "synthesis and pitch memories lie between the window overlap and the high-pass memory");
static_assert(LastGainsOffset == HighpassOffset + 2 * sizeof(float), "the last gains follow the high-pass memory");
static_assert(RecurrentOffset == LastGainsOffset + BandCount * sizeof(float),
              "the network state follows the last gains");
static_assert(RecurrentBytes == 6152, "network state size");
static_assert(RecurrentOffset + RecurrentBytes + DelayedSpectraBytes + DelayedEnergiesBytes == StateSize,
              "the delayed spectra and energies end the state");

} // namespace hushkit::rnnoise_layout
