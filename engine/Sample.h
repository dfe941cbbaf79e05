#pragma once
// Sample limits shared by the chain and the rate converters.

#include <cmath>

namespace hushkit {

// Samples are limited to -4..4.
inline float clampSample(float v) { return v < -4.0f ? -4.0f : (v > 4.0f ? 4.0f : v); }

// A non-finite value becomes 0; any other is limited to -4..4.
inline float sanitizeSample(float v) { return std::isfinite(v) ? clampSample(v) : 0.0f; }

} // namespace hushkit
