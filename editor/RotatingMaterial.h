#pragma once

#include <cstdint>
#include <vector>

namespace hushkit::knob {

// The knob photo turned to a value. The photo shows the knob at value 1;
// `render` rotates its brushed top face about the face centre and re-samples
// its knurled side so that the ridges move while the photo's fixed lighting
// stays put. Pixels are premultiplied 0xAARRGGBB, row-major from the top,
// stride = width. Geometry is laid out for a 350-pixel-wide knob and scaled
// by `scale` = width / 350.
class RotatingMaterial {
public:
    // Takes over width x height pixels (a vector of another length is cut
    // or padded with transparent pixels).
    RotatingMaterial(int width, int height, std::vector<uint32_t> pixels);

    // The photo turned to `value` (clamped to 0..1; NaN counts as 0). The
    // reference stays valid until the next render or the material's end; a
    // repeated value returns the cached picture without work.
    const std::vector<uint32_t>& render(double value);

    // Bilinear sample of `image` (width x height) at pixel coordinates
    // (x, y), integer coordinates being pixel centres, clamped to the edges.
    uint32_t sample(const std::vector<uint32_t>& image, double x, double y) const;

    // Fills `lighting` with a box-blurred copy of `source`.
    void prepareLighting();

    int width;
    int height;
    double scale;
    double lastValue;
    std::vector<uint32_t> source;
    std::vector<uint32_t> lighting;
    std::vector<uint32_t> output;

    RotatingMaterial(const RotatingMaterial&) = delete;
    RotatingMaterial& operator=(const RotatingMaterial&) = delete;
};

} // namespace hushkit::knob
