#pragma once
// How the knob is seen and where it sits in the editor window. The knob is
// seen obliquely from above, so every circle of it appears as an ellipse
// whose vertical radius is Squash times its horizontal one; the photo's
// material, the knob's drawing and the pointer input that turns it all work
// with that ellipse.

namespace hushkit::knob {

constexpr double Squash = 0.82;

// The knob's travel in screen degrees (clockwise, y down): value 0 points to
// the lower left, value 1 to the lower right.
constexpr double AngleAtZero = 135.0;
constexpr double Travel = 270.0;

// Centre of the knob's top face in window pixels.
constexpr double FaceX = 380.0;
constexpr double FaceY = 210.0;

} // namespace hushkit::knob
