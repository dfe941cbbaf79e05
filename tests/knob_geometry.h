#pragma once

// Where the knob's turning parts lie in a material of width 350 k, written
// out independently of the material so that tests can tell the regions
// that must change from those that must not.

#include <cmath>

namespace knobtest {

struct KnobGeometry {
    double k;
    double cx() const { return 175.0 * k; }
    double cy() const { return 124.0 * k; }

    // Between the cap and the face's rim.
    bool inFace(int x, int y) const
    {
        const double r = std::hypot((x + 0.5) - cx(), ((y + 0.5) - cy()) / 0.82);
        return r >= 31.0 * k && r <= 105.0 * k;
    }
    int firstSideColumn() const { return static_cast<int>(cx() - 114.0 * k) + 1; }
    int lastSideColumn() const { return static_cast<int>(cx() + 114.0 * k) - 1; }
    // Depth below the side's top outline in column x.
    double depth(int x, int y) const
    {
        const double rs = 114.0 * k, dx = (x + 0.5) - cx();
        return (y + 0.5) - (std::sqrt(rs * rs - dx * dx) * 0.82 + cy() + 5.0 * k);
    }
    bool inBand(int x, int y) const
    {
        if (x < firstSideColumn() || x > lastSideColumn())
            return false;
        const double d = depth(x, y);
        return d >= 0.0 && d <= 50.0 * k;
    }
};

} // namespace knobtest
