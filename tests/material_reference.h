#pragma once

// The material's turn computed the plain way, one channel and one pixel at a
// time, straight from its definition: every pixel of the image tested for
// the face by its radius, every blend rounded on its own. The material's own
// passes skip work and blend in vector lanes; they must give these pixels
// exactly.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace knobtest {

class ReferenceTurn {
public:
    ReferenceTurn(int width, int height, const std::vector<uint32_t>& photo, const std::vector<uint32_t>& blurred)
        : w(width), h(height), k(width / 350.0), source(photo), lighting(blurred)
    {
    }

    std::vector<uint32_t> render(double value) const
    {
        const double v = value < 0.0 ? 0.0 : std::min(value, 1.0);
        std::vector<uint32_t> out = source;
        const double phi = ((v * 270.0 + 135.0) - 405.0) * 3.14159265358979323846 / 180.0;
        if (std::fabs(phi) < 1e-12)
            return out;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                face(out, x, y, std::cos(phi), std::sin(phi));
        for (int x = std::max(0, int(175.0 * k - 114.0 * k) + 1); x < std::min(w, int(175.0 * k + 114.0 * k)); ++x)
            for (int y = 0; y < h; ++y)
                side(out, x, y, phi);
        return out;
    }

private:
    static int ch(uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; }
    static int to8(double x) { return x < 0.0 ? 0 : x > 255.0 ? 255 : int(x); }
    static int mix(int a, int b, double t) { return to8(double(b - a) * t + a + 0.5); }
    static uint32_t mixPixel(uint32_t p, uint32_t q, double t)
    {
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c)
            out |= uint32_t(mix(ch(p, c), ch(q, c), t)) << (8 * c);
        return out;
    }
    static double luma(uint32_t p) { return 0.0722 * ch(p, 0) + (0.2126 * ch(p, 2) + 0.7152 * ch(p, 1)); }

    uint32_t at(const std::vector<uint32_t>& image, int x, int y) const { return image[size_t(y) * w + x]; }

    uint32_t sample(const std::vector<uint32_t>& image, double x, double y) const
    {
        x = std::clamp(x, 0.0, w - 1.0);
        y = std::clamp(y, 0.0, h - 1.0);
        const int x0 = int(x), y0 = int(y), x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) {
            const int top = mix(ch(at(image, x0, y0), c), ch(at(image, x1, y0), c), x - x0);
            const int bottom = mix(ch(at(image, x0, y1), c), ch(at(image, x1, y1), c), x - x0);
            out |= uint32_t(mix(top, bottom, y - y0)) << (8 * c);
        }
        return out;
    }

    void face(std::vector<uint32_t>& out, int x, int y, double c, double s) const
    {
        const double cx = 175.0 * k, cy = 124.0 * k, outer = 105.0 * k;
        const double dx = (x + 0.5) - cx, dy = ((y + 0.5) - cy) / 0.82, r = std::hypot(dx, dy);
        if (r < 31.0 * k || r > outer)
            return;
        const double alpha =
            std::min(std::clamp((outer - r) / k, 0.0, 1.0), std::clamp((r - 31.0 * k) / (6.0 * k), 0.0, 1.0));
        const uint32_t q = sample(source, cx + (c * dx + s * dy) - 0.5, cy + 0.82 * (c * dy - s * dx) - 0.5);
        out[size_t(y) * w + x] = mixPixel(at(source, x, y), q, alpha);
    }

    void side(std::vector<uint32_t>& out, int x, int y, double phi) const
    {
        const double cx = 175.0 * k, cy = 124.0 * k, rs = 114.0 * k, hs = 50.0 * k;
        const double dx = (x + 0.5) - cx;
        const double theta = std::remainder(std::asin(dx / rs) - phi, 3.14159265358979323846);
        const double rim = std::sqrt(rs * rs - dx * dx) * 0.82 + cy + 5.0 * k;
        const double d = (y + 0.5) - rim;
        if (d < 0.0 || d > hs)
            return;
        const uint32_t p = at(source, x, y);
        const double ys = 5.0 * k + (std::cos(theta) * (0.82 * rs) + cy) + d - 0.5;
        const double xs = std::sin(theta) * rs + cx - 0.5;
        const uint32_t b = sample(lighting, xs, ys);
        const double lumaHere = luma(at(lighting, x, y));
        if (p < 0xFA000000u || luma(p) > 118.0 || luma(b) < 3.0 || luma(p) < 1.0 || lumaHere < 1.0)
            return;
        const double gain = std::clamp(lumaHere * (luma(sample(source, xs, ys)) / luma(b)) / luma(p), 0.23, 3.5);
        uint32_t relit = p & 0xFF000000u;
        for (int c = 0; c < 3; ++c)
            relit |= uint32_t(std::min(gain * ch(p, c), 255.0)) << (8 * c);
        const double fade = std::clamp(
            std::min({std::min(d / (4.0 * k), 1.0), (hs - d) / (4.0 * k), (rs - std::fabs(dx)) / (3.0 * k)}), 0.0, 1.0);
        out[size_t(y) * w + x] = mixPixel(p, relit, fade);
    }

    int w, h;
    double k;
    const std::vector<uint32_t>& source;
    const std::vector<uint32_t>& lighting;
};

} // namespace knobtest
