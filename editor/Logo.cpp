#include "Logo.h"

#include "Maths.h"

#include <algorithm>
#include <cmath>

namespace hushkit::knob {

namespace {

// The emblem is designed on a 64-unit square, 1.5 pixels per unit.
constexpr double DesignSize = 64.0;

// The ring: radius 23, centred so that it passes through its two cap centres
// (47, 16) and (47, 48); the opening lies between the caps on the right.
constexpr double RingCentreX = 30.477288358141696; // 47 - sqrt(273)
constexpr double RingCentreY = 32.0;
constexpr double RingRadius = 23.0;
constexpr double RingHalfWidth = 3.5;
constexpr double OpeningHalfAngle = 0.7693273435231462; // atan2(16, sqrt(273))
constexpr double CapX = 47.0, UpperCapY = 16.0, LowerCapY = 48.0;

struct Bar {
    double x, top, bottom;
};
constexpr Bar Bars[] = {{24.0, 28.0, 36.0}, {32.0, 20.0, 44.0}, {40.0, 26.0, 38.0}, {48.0, 30.0, 34.0}};
constexpr double BarHalfWidth = 2.0;

// Straight colours: the ring (105, 185, 255), the bars (238, 246, 255).
constexpr double RingRed = 105.0, RingGreen = 185.0;
constexpr double BarRed = 238.0, BarGreen = 246.0;

double ringDistance(double u, double v)
{
    const double angle = std::atan2(v - RingCentreY, u - RingCentreX);
    if (std::fabs(angle) < OpeningHalfAngle)
        return std::min(std::hypot(u - CapX, v - UpperCapY), std::hypot(u - CapX, v - LowerCapY));
    return std::fabs(std::hypot(u - RingCentreX, v - RingCentreY) - RingRadius);
}

double barDistance(double u, double v)
{
    double nearest = 100.0;
    for (const Bar& bar : Bars) {
        const double length = bar.bottom - bar.top;
        const double t = clamp01((v - bar.top) / length);
        nearest = std::min(nearest, std::hypot(u - bar.x, v - (bar.top + t * length)));
    }
    return nearest;
}

// Coverage of a stroke of the given half-width: a linear ramp one pixel wide
// centred on its outline.
double coverage(double halfWidth, double distance)
{
    return clamp01((halfWidth - distance) * LogoSize * (1.0 / DesignSize) + 0.5);
}

// Bars composited over the ring, premultiplied.
uint32_t shade(double u, double v)
{
    const double cr = coverage(RingHalfWidth, ringDistance(u, v));
    const double cb = coverage(BarHalfWidth, barDistance(u, v));
    const double a = cr * (1.0 - cb) + cb;
    if (!(a > 0.0))
        return 0;
    const double red = std::clamp((cb * BarRed + (1.0 - cb) * (cr * RingRed)) / a, 0.0, 255.0);
    const double green = std::clamp((cb * BarGreen + (1.0 - cb) * (cr * RingGreen)) / a, 0.0, 255.0);
    const auto a8 = static_cast<uint32_t>(std::min(a, 1.0) * 255.0);
    const auto r8 = static_cast<uint32_t>(a8 * red / 255.0);
    const auto g8 = static_cast<uint32_t>(a8 * green / 255.0);
    const uint32_t b8 = a8; // blue is 255 in both shapes
    return a8 << 24 | r8 << 16 | g8 << 8 | b8;
}

std::vector<uint32_t> build()
{
    std::vector<uint32_t> pixels(static_cast<size_t>(LogoSize) * LogoSize, 0u);
    for (int y = 0; y < LogoSize; ++y)
        for (int x = 0; x < LogoSize; ++x) {
            const double u = (x + 0.5) * DesignSize / LogoSize;
            const double v = (y + 0.5) * DesignSize / LogoSize;
            pixels[static_cast<size_t>(y) * LogoSize + x] = shade(u, v);
        }
    return pixels;
}

} // namespace

const std::vector<uint32_t>& logo()
{
    static const std::vector<uint32_t> pixels = build();
    return pixels;
}

} // namespace hushkit::knob
