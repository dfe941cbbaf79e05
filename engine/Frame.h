#pragma once
// The unit of the neural analysis: frames of 480 samples at 48 kHz, each
// reduced by the network to gains of 32 frequency bands.

namespace hushkit {

// The rate in Hz at which the neural configurations run their chain and their
// analysis, whatever the caller's rate.
constexpr double NeuralRate = 48000.0;

constexpr int FrameSize = 480;
constexpr int BandCount = 32;
// Bins of the half spectrum of a transform over two frames (bin i is i x 50 Hz).
constexpr int BinCount = FrameSize + 1;

} // namespace hushkit
