#pragma once
// Small numeric facts shared by the engine, the plug-in and the editor. It
// depends on nothing, so every library may include it.

namespace hushkit {

constexpr double Pi = 3.14159265358979323846;

// v limited to 0..1; a NaN passes through unchanged.
constexpr double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

} // namespace hushkit
