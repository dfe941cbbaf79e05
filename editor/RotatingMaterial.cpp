#include "RotatingMaterial.h"

#include "KnobGeometry.h"
#include "Maths.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include <immintrin.h>

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

double luma(uint32_t p)
{
    return 0.0722 * channel(p, 0) + (0.2126 * channel(p, 16) + 0.7152 * channel(p, 8));
}

// Clamps a sample coordinate to 0..last; NaN gives 0.
double clampCoordinate(double v, int last)
{
    if (!(v > 0.0))
        return 0.0;
    return std::min(v, static_cast<double>(last));
}

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

// The pixel passes in two sets of vector lanes with the same results: SSE2,
// which every x86-64 processor has, and AVX, used where the processor has
// it. The AVX lanes hold all four channels of a pixel in one register, which
// halves the work of every blend.
namespace sse2 {

// The four channels of a pixel as doubles, B and G in `low`, R and A in
// `high`.
struct Channels {
    __m128d low, high;
};

// A blend weight in every lane.
using Weight = __m128d;

Weight broadcast(double t)
{
    return _mm_set1_pd(t);
}

Channels unpack(uint32_t p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p)), zero), zero);
    return {_mm_cvtepi32_pd(words), _mm_cvtepi32_pd(_mm_shuffle_epi32(words, _MM_SHUFFLE(1, 0, 3, 2)))};
}

// Blend of whole channel values a and b with a weight t in 0..1, two lanes
// at once, before its truncation: (b - a) t + a + 0.5. For such weights the
// sum lies in 0.5..255.5, so no clamping to 0..255 is needed, and each lane
// rounds exactly as the same scalar double operations would.
__m128d blendLanes(__m128d a, __m128d b, __m128d t)
{
    return _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(b, a), t), a), _mm_set1_pd(0.5));
}

Channels blendSum(const Channels& a, const Channels& b, Weight t)
{
    return {blendLanes(a.low, b.low, t), blendLanes(a.high, b.high, t)};
}

Channels mixChannels(const Channels& a, const Channels& b, Weight t)
{
    const Channels sum = blendSum(a, b, t);
    return {_mm_cvtepi32_pd(_mm_cvttpd_epi32(sum.low)), _mm_cvtepi32_pd(_mm_cvttpd_epi32(sum.high))};
}

// Truncates channel values in 0..255.5 and packs them into a pixel.
uint32_t pack(const Channels& c)
{
    const __m128i words = _mm_unpacklo_epi64(_mm_cvttpd_epi32(c.low), _mm_cvttpd_epi32(c.high));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
}

// luma of channels that hold whole values.
double lumaOf(const Channels& c)
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

#include "MaterialPasses.inc"

} // namespace sse2

// Compiled for AVX without FMA: a fused multiply-add would round once where
// the blends round twice.
#pragma GCC push_options
#pragma GCC target("avx")
namespace avx {

// The four channels of a pixel as doubles in one 256-bit register: B, G, R,
// A from the lowest lane up.
using Channels = __m256d;

// A blend weight in every lane.
using Weight = __m256d;

Weight broadcast(double t)
{
    return _mm256_set1_pd(t);
}

Channels unpack(uint32_t p)
{
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(p))));
}

// As in the SSE2 lanes.
Channels blendSum(Channels a, Channels b, Weight t)
{
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(b, a), t), a), _mm256_set1_pd(0.5));
}

Channels mixChannels(Channels a, Channels b, Weight t)
{
    return _mm256_round_pd(blendSum(a, b, t), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

uint32_t pack(Channels c)
{
    const __m128i words = _mm256_cvttpd_epi32(c);
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(words, words), words);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
}

double lumaOf(Channels c)
{
    const __m128d low = _mm256_castpd256_pd128(c);
    const double b = _mm_cvtsd_f64(low), g = _mm_cvtsd_f64(_mm_unpackhi_pd(low, low));
    return 0.0722 * b + (0.2126 * _mm_cvtsd_f64(_mm256_extractf128_pd(c, 1)) + 0.7152 * g);
}

Channels scaleColour(Channels c, double gain)
{
    const __m256d scaled = _mm256_min_pd(
        _mm256_round_pd(_mm256_mul_pd(c, _mm256_set1_pd(gain)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC),
        _mm256_set1_pd(255.0));
    return _mm256_blend_pd(scaled, c, 0x8);
}

#include "MaterialPasses.inc"

} // namespace avx
#pragma GCC pop_options

// HUSHKIT_MATERIAL_BASELINE_ONLY keeps to the SSE2 passes (the tests build
// the material that way too, so that both passes are checked on any machine).
bool hasAvx()
{
#ifdef HUSHKIT_MATERIAL_BASELINE_ONLY
    return false;
#else
    static const bool has = __builtin_cpu_supports("avx") != 0;
    return has;
#endif
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
    return sse2::sample(image.data(), width, height, x, y);
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
    if (hasAvx()) {
        avx::turnFace(*this, std::cos(phi), std::sin(phi));
        avx::turnSide(*this, phi);
    } else {
        sse2::turnFace(*this, std::cos(phi), std::sin(phi));
        sse2::turnSide(*this, phi);
    }
    return output;
}

} // namespace hushkit::knob
