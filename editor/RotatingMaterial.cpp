#include "RotatingMaterial.h"

#include "KnobGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include <emmintrin.h>

namespace hushkit::knob {

namespace {


// Geometry of a knob 350 pixels wide; every length is multiplied by the
// material's scale k. The top face and the side are seen from above with the
// vertical axis squashed by Squash.
constexpr double FaceCentreX = 175.0, FaceCentreY = 124.0;
constexpr double FaceRadius = 105.0;
constexpr double CapRadius = 31.0;       // the centre cap never turns
constexpr double FaceOuterFeather = 1.0; // fade of the face's outer edge
constexpr double FaceInnerFeather = 6.0; // fade toward the cap
constexpr double SideRadius = 114.0;
constexpr double SideDrop = 5.0;  // the side's top outline below the face centre
constexpr double SideDepth = 50.0;
constexpr double SideFadeEdge = 4.0; // fade below the top edge and above the bottom
constexpr double SideFadeEnd = 3.0;  // fade toward both ends of the cylinder

// Side pixels are relit only when opaque and not a highlight.
constexpr uint32_t OpaqueSide = 0xFA000000u;
constexpr double BrightestRelit = 118.0;
constexpr double MinGain = 0.23, MaxGain = 3.5;

uint32_t channel(uint32_t p, int shift)
{
    return (p >> shift) & 0xFFu;
}

// The four channels of a pixel as doubles, B and G in `low`, R and A in
// `high`.
struct Channels {
    __m128d low, high;
};

Channels unpack(uint32_t p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p)), zero), zero);
    return {_mm_cvtepi32_pd(words), _mm_cvtepi32_pd(_mm_shuffle_epi32(words, _MM_SHUFFLE(1, 0, 3, 2)))};
}

// Blend of whole channel values a and b with a weight t in 0..1, two lanes
// at once: (b - a) t + a + 0.5, truncated. For such weights the sum lies in
// 0.5..255.5, so no clamping to 0..255 is needed, and each lane rounds
// exactly as the same scalar double operations would.
__m128d mixLanes(__m128d a, __m128d b, __m128d t)
{
    const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(b, a), t), a), _mm_set1_pd(0.5));
    return _mm_cvtepi32_pd(_mm_cvttpd_epi32(sum));
}

Channels mixChannels(const Channels& a, const Channels& b, __m128d t)
{
    return {mixLanes(a.low, b.low, t), mixLanes(a.high, b.high, t)};
}

uint32_t pack(const Channels& c)
{
    const __m128i words = _mm_unpacklo_epi64(_mm_cvttpd_epi32(c.low), _mm_cvttpd_epi32(c.high));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
}

// mix in each of the four channels, t in 0..1. A weight of exactly 1 gives
// q itself.
uint32_t mixPixel(uint32_t p, uint32_t q, double t)
{
    if (t == 1.0)
        return q;
    return pack(mixChannels(unpack(p), unpack(q), _mm_set1_pd(t)));
}

double luma(uint32_t p)
{
    return 0.0722 * channel(p, 0) + (0.2126 * channel(p, 16) + 0.7152 * channel(p, 8));
}

// luma of channels that hold whole values.
double luma(const Channels& c)
{
    const double b = _mm_cvtsd_f64(c.low), g = _mm_cvtsd_f64(_mm_unpackhi_pd(c.low, c.low));
    return 0.0722 * b + (0.2126 * _mm_cvtsd_f64(c.high) + 0.7152 * g);
}

// B, G and R multiplied by gain (at least 0), truncated and capped at 255;
// alpha unchanged.
Channels scaleColour(const Channels& c, double gain)
{
    const __m128d g = _mm_set1_pd(gain), most = _mm_set1_pd(255.0);
    const auto scale = [&](__m128d v) { return _mm_min_pd(_mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_mul_pd(v, g))), most); };
    return {scale(c.low), _mm_move_sd(c.high, scale(c.high))};
}

double clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

// Clamps a sample coordinate to 0..last; NaN gives 0.
double clampCoordinate(double v, int last)
{
    if (!(v > 0.0))
        return 0.0;
    return std::min(v, static_cast<double>(last));
}

// The horizontal stage of a bilinear sample at x: the two columns and the
// weight between them, and their blend within one row of pixels.
struct Column {
    Column(double x, int width)
    {
        x = clampCoordinate(x, width - 1);
        left = static_cast<int>(x);
        right = std::min(left + 1, width - 1);
        weight = _mm_set1_pd(x - left);
    }
    Channels blend(const uint32_t* row) const { return mixChannels(unpack(row[left]), unpack(row[right]), weight); }

    int left, right;
    __m128d weight;
};

// The vertical stage of a bilinear sample at y: the two rows and the weight
// between them.
struct RowBlend {
    RowBlend(double y, int height)
    {
        y = clampCoordinate(y, height - 1);
        const int y0 = static_cast<int>(y);
        upper = static_cast<size_t>(y0);
        lower = static_cast<size_t>(std::min(y0 + 1, height - 1));
        weight = _mm_set1_pd(y - y0);
    }

    size_t upper, lower;
    __m128d weight;
};

// Box blur of one line of `n` pixels `stride` apart, window 2r + 1, edge
// pixels repeated, each channel summed and divided in integers.
void blurLine(const uint32_t* in, uint32_t* out, int n, std::ptrdiff_t stride, int r)
{
    const int taps = 2 * r + 1;
    int32_t sum[4] = {};
    auto add = [&](int i, int32_t sign) {
        const uint32_t p = in[std::clamp(i, 0, n - 1) * stride];
        for (int c = 0; c < 4; ++c)
            sum[c] += sign * static_cast<int32_t>(channel(p, 8 * c));
    };
    for (int i = -r; i <= r; ++i)
        add(i, 1);
    for (int x = 0; x < n; ++x) {
        uint32_t p = 0;
        for (int c = 0; c < 4; ++c)
            p |= static_cast<uint32_t>(sum[c] / taps) << (8 * c);
        out[x * stride] = p;
        add(std::min(x + r + 1, n - 1), 1);
        add(x - r, -1);
    }
}


// One column of the side band: its place, the source column that turns
// into it, the top edges of both and the fade toward the cylinder's ends.
struct SideColumn {
    int x;
    Column from;
    double rim, top, endFade;
};

// Bilinear samples of one image down one column, each row's horizontal
// blend kept for the next sample.
class RowCache {
public:
    RowCache(const uint32_t* image, int width, const Column& column) : image(image), width(width), column(column) {}

    Channels sample(const RowBlend& rows)
    {
        const Channels upper = blend(rows.upper);
        const Channels lower = blend(rows.lower);
        return mixChannels(upper, lower, rows.weight);
    }

private:
    Channels blend(size_t row)
    {
        if (row != keptRow) {
            kept = column.blend(image + row * width);
            keptRow = row;
        }
        return kept;
    }

    const uint32_t* image;
    size_t width;
    Column column;
    size_t keptRow = SIZE_MAX;
    Channels kept{};
};

// Weight of the turned face at radius r on its squashed ellipse, for a
// material of scale k: 1 between the feathered edges, falling to 0 at the
// rim and at the cap; -1 outside the face.
double faceWeight(double r, double k)
{
    const double outer = FaceRadius * k, inner = CapRadius * k;
    if (r < inner || r > outer)
        return -1.0;
    const double fadeOut = clamp01((outer - r) / (FaceOuterFeather * k));
    const double fadeIn = clamp01((r - inner) / (FaceInnerFeather * k));
    return std::min(fadeOut, fadeIn);
}

// Relights one column of the side band of m from its source column.
void relightColumn(RotatingMaterial& m, const SideColumn& column)
{
    const double k = m.scale;
    const int width = m.width, height = m.height;
    const std::vector<uint32_t>& source = m.source;
    const std::vector<uint32_t>& lighting = m.lighting;
    std::vector<uint32_t>& output = m.output;
    const double hs = SideDepth * k;
    const int rowBegin = std::max(static_cast<int>(column.rim), 0);
    const int rowEnd = std::min(height, static_cast<int>(hs + column.rim) + 1);
    // Going down the column, the source rows mostly advance by one per
    // pixel: the lower row blended for one pixel is the upper row of the
    // next, so each row's horizontal blend is kept for the next pixel.
    RowCache light(lighting.data(), width, column.from), detail(source.data(), width, column.from);
    for (int y = rowBegin; y < rowEnd; ++y) {
        const double d = (y + 0.5) - column.rim;
        if (d < 0.0 || d > hs)
            continue;
        const size_t at = static_cast<size_t>(y) * width + column.x;
        const uint32_t p = source[at];
        const double lumaP = luma(p);
        const double lumaHere = luma(lighting[at]);
        if (p < OpaqueSide || lumaP > BrightestRelit || lumaP < 1.0 || lumaHere < 1.0)
            continue;
        const RowBlend rows(column.top + d - 0.5, height);
        const double lumaB = luma(light.sample(rows));
        if (lumaB < 3.0)
            continue;
        const double lumaQ = luma(detail.sample(rows));
        const double gain = std::clamp(lumaHere * (lumaQ / lumaB) / lumaP, MinGain, MaxGain);
        const double fade = clamp01(
            std::min({std::min(d / (SideFadeEdge * k), 1.0), (hs - d) / (SideFadeEdge * k), column.endFade}));
        const Channels photo = unpack(p);
        output[at] = pack(mixChannels(photo, scaleColour(photo, gain), _mm_set1_pd(fade)));
    }
}

} // namespace

RotatingMaterial::RotatingMaterial(int width_, int height_, std::vector<uint32_t> pixels)
    : width(std::max(width_, 0)), height(std::max(height_, 0)), scale(width / 350.0), lastValue(-1.0),
      source(std::move(pixels))
{
    source.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    output = source;
    prepareLighting();
}

void RotatingMaterial::prepareLighting()
{
    int r = static_cast<int>(5.0 * scale);
    if (r < 3)
        r = 2;
    lighting.assign(source.size(), 0u);
    std::vector<uint32_t> rows(source.size());
    if (width == 0 || height == 0)
        return;
    for (int y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>(y) * width;
        blurLine(source.data() + row, rows.data() + row, width, 1, r);
    }
    for (int x = 0; x < width; ++x)
        blurLine(rows.data() + x, lighting.data() + x, height, width, r);
}

uint32_t RotatingMaterial::sample(const std::vector<uint32_t>& image, double x, double y) const
{
    const Column column(x, width);
    const RowBlend rows(y, height);
    const uint32_t* pixels = image.data();
    return pack(mixChannels(column.blend(pixels + rows.upper * width), column.blend(pixels + rows.lower * width),
                            rows.weight));
}

const std::vector<uint32_t>& RotatingMaterial::render(double value)
{
    double v = std::min(value, 1.0);
    if (!(value >= 0.0))
        v = 0.0;
    if (v == lastValue)
        return output;
    lastValue = v;
    std::copy(source.begin(), source.end(), output.begin());
    // Value 1 is the photographed position.
    const double phi = ((v * Travel + AngleAtZero) - (AngleAtZero + Travel)) * Pi / 180.0;
    if (std::fabs(phi) < 1e-12)
        return output;
    turnFace(std::cos(phi), std::sin(phi));
    turnSide(phi);
    return output;
}

// The top face between the cap and its rim, turned back by the angle whose
// cosine and sine are c and s, blended in over its feathered edges.
void RotatingMaterial::turnFace(double c, double s)
{
    const double k = scale;
    const double cx = FaceCentreX * k, cy = FaceCentreY * k;
    const double outer = FaceRadius * k, inner = CapRadius * k;
    const int rowBegin = std::max(static_cast<int>(cy - Squash * outer), 1) - 1;
    const int rowEnd = std::min(height, static_cast<int>(cy + Squash * outer) + 2);
    const int columnBegin = std::max(static_cast<int>(cx - outer), 1) - 1;
    const int columnEnd = std::min(width, static_cast<int>(cx + outer) + 2);
    // Squared radii a little beyond the annulus: pixels outside them cannot
    // pass the exact test and skip its hypot. Pixels well inside the solid
    // part, clear of both feathered edges, have a weight of exactly 1 and
    // skip it too; only the two thin rings of the edges need the radius.
    const double innerSquared = inner * inner * (1.0 - 1e-9), outerSquared = outer * outer * (1.0 + 1e-9);
    const double solidInner = inner + FaceInnerFeather * k, solidOuter = outer - FaceOuterFeather * k;
    const double solidInnerSquared = solidInner * solidInner * (1.0 + 1e-9);
    const double solidOuterSquared = solidOuter * solidOuter * (1.0 - 1e-9);
    for (int y = rowBegin; y < rowEnd; ++y) {
        const size_t row = static_cast<size_t>(y) * width;
        const double dy = ((y + 0.5) - cy) / Squash;
        const double sdy = s * dy, cdy = c * dy;
        for (int x = columnBegin; x < columnEnd; ++x) {
            const double dx = (x + 0.5) - cx;
            const double squared = dx * dx + dy * dy;
            if (squared < innerSquared || squared > outerSquared)
                continue;
            double alpha = 1.0;
            if (squared < solidInnerSquared || squared > solidOuterSquared) {
                alpha = faceWeight(std::hypot(dx, dy), k);
                if (alpha < 0.0)
                    continue;
            }
            const uint32_t q = sample(source, cx + (c * dx + sdy) - 0.5, cy + Squash * (cdy - s * dx) - 0.5);
            output[row + x] = mixPixel(source[row + x], q, alpha);
        }
    }
}

// The knurled side: each column of the visible band takes its detail from
// the column of the cylinder that turns into its place, rescaled to the
// lighting that the photo has at the destination.
void RotatingMaterial::turnSide(double phi)
{
    const double k = scale;
    const double cx = FaceCentreX * k, cy = FaceCentreY * k;
    const double rs = SideRadius * k, drop = SideDrop * k;
    const int columnBegin = std::max(0, static_cast<int>(cx - rs) + 1);
    const int columnEnd = std::min(width, static_cast<int>(cx + rs));
    for (int x = columnBegin; x < columnEnd; ++x) {
        const double dx = (x + 0.5) - cx;
        const double theta = std::remainder(std::asin(dx / rs) - phi, Pi);
        const SideColumn column{x, Column(std::sin(theta) * rs + cx - 0.5, width),
                                std::sqrt(rs * rs - dx * dx) * Squash + cy + drop,
                                drop + (std::cos(theta) * (Squash * rs) + cy), (rs - std::fabs(dx)) / (SideFadeEnd * k)};
        relightColumn(*this, column);
    }
}

} // namespace hushkit::knob
