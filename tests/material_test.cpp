#include <cmath>
#include <cstdint>
#include <random>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "RotatingMaterial.h"
#include "knob_geometry.h"
#include "knob_photo.h"
#include "material_reference.h"

namespace {

using hushkit::knob::RotatingMaterial;
using knobtest::KnobGeometry;

uint32_t grey(uint32_t v, uint32_t alpha = 255)
{
    return alpha << 24 | v << 16 | v << 8 | v;
}

uint32_t channel(uint32_t p, int shift)
{
    return (p >> shift) & 0xFFu;
}

double luma(uint32_t p)
{
    return 0.0722 * channel(p, 0) + 0.2126 * channel(p, 16) + 0.7152 * channel(p, 8);
}

// Opaque dark texture of random channel values 20..100: every pixel of the
// side band qualifies for relighting, and every turn changes pixels.
std::vector<uint32_t> texture(int width, int height)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    uint32_t state = 12345u;
    for (uint32_t& p : pixels) {
        p = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            state = state * 1664525u + 1013904223u;
            p |= (20u + (state >> 24) % 81u) << shift;
        }
    }
    return pixels;
}

// Value whose turn is `degrees` from the photographed position (value 1).
double valueForTurn(double degrees)
{
    return (405.0 + degrees - 135.0) / 270.0;
}

TEST(RotatingMaterial, ValueOneIsThePhotoItself)
{
    const std::vector<uint32_t> source = texture(700, 700);
    RotatingMaterial material(700, 700, source);
    EXPECT_EQ(material.scale, 2.0);
    EXPECT_TRUE(material.render(1.0) == source) << "first render at 1";
    EXPECT_FALSE(material.render(0.0) == source);
    EXPECT_TRUE(material.render(1.5) == source) << "clamped to 1 after another value";
}

TEST(RotatingMaterial, RepeatedClampedValueDoesTheWorkOnce)
{
    RotatingMaterial material(700, 700, texture(700, 700));
    const std::vector<uint32_t>& first = material.render(-0.5);
    const std::vector<uint32_t> atZero = first;
    // A mark in the output survives a render that must not recompute.
    material.output[0] ^= 0x01010101u;
    const std::vector<uint32_t>& second = material.render(0.0);
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second[0], atZero[0] ^ 0x01010101u);
    // A different value recomputes from the photo; coming back gives the same
    // picture as before, whatever came in between.
    material.render(0.3);
    EXPECT_TRUE(material.render(0.0) == atZero);
    material.render(0.3);
    EXPECT_TRUE(material.render(std::numeric_limits<double>::quiet_NaN()) == atZero) << "NaN counts as 0";
}

// Everything but the face between cap and rim and the side band stays as
// photographed; the face and the band do turn. Width 350 halves the geometry.
TEST(RotatingMaterial, OnlyTheFaceAndTheSideBandTurn)
{
    for (const int size : {700, 350}) {
        const std::vector<uint32_t> source = texture(size, size);
        RotatingMaterial material(size, size, source);
        const KnobGeometry g{size / 350.0};
        for (const double value : {0.0, 0.2, 0.5, 0.9, 0.999}) {
            const std::vector<uint32_t>& out = material.render(value);
            int faceChanged = 0, bandChanged = 0, strayChanged = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const size_t i = static_cast<size_t>(y) * size + x;
                    if (out[i] == source[i])
                        continue;
                    if (g.inFace(x, y))
                        ++faceChanged;
                    else if (g.inBand(x, y))
                        ++bandChanged;
                    else
                        ++strayChanged;
                }
            EXPECT_EQ(strayChanged, 0) << "size " << size << " value " << value;
            EXPECT_GT(faceChanged, size * size / 20) << "size " << size << " value " << value;
            EXPECT_GT(bandChanged, size * size / 30) << "size " << size << " value " << value;
        }
    }
}

// The side pass's first and last columns are relit; the columns beside
// them never are, although column first - 1 has its centre inside the
// cylinder's radius.
TEST(RotatingMaterial, SidePassCoversItsColumnsExactly)
{
    struct Case {
        int size, first, last;
    };
    for (const Case c : {Case{700, 123, 577}, Case{350, 62, 288}}) {
        const std::vector<uint32_t> source = texture(c.size, c.size);
        RotatingMaterial material(c.size, c.size, source);
        bool firstChanged = false, lastChanged = false;
        for (const double value : {0.0, 0.1, 0.25, 0.5, 0.75}) {
            const std::vector<uint32_t>& out = material.render(value);
            for (int y = 0; y < c.size; ++y) {
                const size_t row = static_cast<size_t>(y) * c.size;
                ASSERT_EQ(out[row + c.first - 1], source[row + c.first - 1]) << c.size << " row " << y;
                ASSERT_EQ(out[row + c.last + 1], source[row + c.last + 1]) << c.size << " row " << y;
                firstChanged = firstChanged || out[row + c.first] != source[row + c.first];
                lastChanged = lastChanged || out[row + c.last] != source[row + c.last];
            }
        }
        EXPECT_TRUE(firstChanged) << c.size;
        EXPECT_TRUE(lastChanged) << c.size;
    }
}

// Pixels of the band that are translucent or bright keep their value;
// their neighbours at the limits are relit.
TEST(RotatingMaterial, SideKeepsTranslucentAndBrightPixels)
{
    std::vector<uint32_t> source = texture(700, 700);
    const KnobGeometry g{2.0};
    // Every third column of the band's middle rows: alternately kept
    // (alpha 249 or luma 119) and relit (alpha 250 or luma 117).
    std::vector<int> kept, relit;
    for (int x = 130; x < 570; x += 3) {
        const int y = static_cast<int>(g.depth(x, 0) * -1.0) + 50; // 50 rows below the top outline
        const size_t i = static_cast<size_t>(y) * 700 + x;
        switch ((x / 3) % 4) {
        case 0: source[i] = 249u << 24 | 40u << 16 | 40u << 8 | 40u; kept.push_back(static_cast<int>(i)); break;
        case 1: source[i] = 250u << 24 | 40u << 16 | 40u << 8 | 40u; relit.push_back(static_cast<int>(i)); break;
        case 2: source[i] = grey(119); kept.push_back(static_cast<int>(i)); break;
        default: source[i] = grey(117); relit.push_back(static_cast<int>(i)); break;
        }
    }
    RotatingMaterial material(700, 700, source);
    int relitChanged = 0;
    for (const double value : {0.0, 0.3, 0.6, 0.95}) {
        const std::vector<uint32_t>& out = material.render(value);
        for (const int i : kept)
            ASSERT_EQ(out[static_cast<size_t>(i)], source[static_cast<size_t>(i)]) << "pixel " << i << " value " << value;
        for (const int i : relit)
            relitChanged += out[static_cast<size_t>(i)] != source[static_cast<size_t>(i)];
    }
    EXPECT_GT(relitChanged, static_cast<int>(relit.size()) * 2);
}

// A face that brightens to the right, turned by -90 and -180 degrees: each
// pixel shows the photo's pixel from the position turned back.
TEST(RotatingMaterial, FaceTurnsAboutItsCentre)
{
    std::vector<uint32_t> source(700u * 700u);
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 700; ++x)
            source[static_cast<size_t>(y) * 700 + x] = grey(static_cast<uint32_t>(x / 3));
    RotatingMaterial material(700, 700, source);
    struct Case {
        double degrees;
        double sourceX(double dx, double dy) const
        {
            return degrees == -90.0 ? 350.0 - dy : 350.0 - dx;
        }
    };
    for (const Case c : {Case{-90.0}, Case{-180.0}}) {
        const std::vector<uint32_t>& out = material.render(valueForTurn(c.degrees));
        int checked = 0;
        for (int y = 100; y < 400; y += 7)
            for (int x = 150; x < 550; x += 7) {
                const double dx = (x + 0.5) - 350.0, dy = ((y + 0.5) - 248.0) / 0.82;
                const double r = std::hypot(dx, dy);
                if (r < 80.0 || r > 205.0) // clear of both feathered edges
                    continue;
                const double expected = (c.sourceX(dx, dy) - 0.5) / 3.0;
                ASSERT_NEAR(channel(out[static_cast<size_t>(y) * 700 + x], 8), expected, 1.01)
                    << c.degrees << " at " << x << ", " << y;
                ++checked;
            }
        EXPECT_GT(checked, 500);
    }
}

// The turned face blends into the photo over its edges: within a quarter of
// the outer fade (1 k) of the rim and of the inner fade (6 k) of the cap, a
// pixel moves at most a quarter of the way toward the turned picture. The
// texture's channels span 20..100, so a full step can be up to 80.
TEST(RotatingMaterial, FaceFadesInOverItsEdges)
{
    const std::vector<uint32_t> source = texture(700, 700);
    RotatingMaterial material(700, 700, source);
    const std::vector<uint32_t>& out = material.render(0.4);
    const double k = 2.0;
    int edgePixels = 0, largeSteps = 0;
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 700; ++x) {
            const double r = std::hypot((x + 0.5) - 350.0, ((y + 0.5) - 248.0) / 0.82);
            const size_t i = static_cast<size_t>(y) * 700 + x;
            int step = 0;
            for (int shift = 0; shift < 24; shift += 8)
                step = std::max(step, std::abs(static_cast<int>(channel(out[i], shift)) -
                                               static_cast<int>(channel(source[i], shift))));
            const bool nearRim = r <= 105.0 * k && r > 105.0 * k - 0.25 * k;
            const bool nearCap = r >= 31.0 * k && r < 31.0 * k + 0.25 * 6.0 * k;
            if (nearRim || nearCap) {
                ASSERT_LE(step, 21) << x << ", " << y << " r " << r;
                ++edgePixels;
            } else if (r > 40.0 * k && r < 100.0 * k) {
                largeSteps += step > 40;
            }
        }
    EXPECT_GT(edgePixels, 500);
    EXPECT_GT(largeSteps, 10000);
}

// The relit side fades in below its top outline, out above its bottom and
// toward both ends: where the fade is below an eighth, a pixel moves at most
// an eighth of the largest possible step (235 for channels from 20).
TEST(RotatingMaterial, SideFadesInOverItsEdges)
{
    const std::vector<uint32_t> source = texture(700, 700);
    RotatingMaterial material(700, 700, source);
    const KnobGeometry g{2.0};
    const std::vector<uint32_t>& out = material.render(0.6);
    int edgePixels = 0, largeSteps = 0;
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 700; ++x) {
            if (!g.inBand(x, y))
                continue;
            const size_t i = static_cast<size_t>(y) * 700 + x;
            int step = 0;
            for (int shift = 0; shift < 24; shift += 8)
                step = std::max(step, std::abs(static_cast<int>(channel(out[i], shift)) -
                                               static_cast<int>(channel(source[i], shift))));
            const double d = g.depth(x, y), fromEnd = 228.0 - std::fabs((x + 0.5) - 350.0);
            if (d < 0.125 * 8.0 || 100.0 - d < 0.125 * 8.0 || fromEnd < 0.125 * 6.0) {
                ASSERT_LE(step, 30) << x << ", " << y;
                ++edgePixels;
            } else {
                largeSteps += step > 40;
            }
        }
    EXPECT_GT(edgePixels, 400);
    EXPECT_GT(largeSteps, 5000);
}

// A narrow bright ridge at the front of a dark side moves with the turn:
// turned by -30 degrees it shows at the column whose angle on the cylinder
// is -30 degrees, and the front goes dark.
TEST(RotatingMaterial, SideRidgesMoveWithTheTurn)
{
    std::vector<uint32_t> source(700u * 700u, grey(40));
    for (int y = 0; y < 700; ++y)
        for (int x = 349; x <= 351; ++x)
            source[static_cast<size_t>(y) * 700 + x] = grey(100);
    RotatingMaterial material(700, 700, source);
    const KnobGeometry g{2.0};
    const std::vector<uint32_t>& out = material.render(valueForTurn(-30.0));
    const int moved = static_cast<int>(350.0 - 228.0 * std::sin(30.0 * 3.14159265358979 / 180.0)); // 236
    auto brightest = [&](int x0, int x1, int y) {
        double best = 0.0;
        for (int x = x0; x <= x1; ++x)
            best = std::max(best, luma(out[static_cast<size_t>(y) * 700 + x]));
        return best;
    };
    for (int d = 20; d <= 80; d += 10) {
        const int yAtFront = static_cast<int>(-g.depth(350, 0)) + d;
        const int yMoved = static_cast<int>(-g.depth(moved, 0)) + d;
        EXPECT_GT(brightest(moved - 2, moved + 2, yMoved), 70.0) << "depth " << d;
        EXPECT_LT(brightest(345, 355, yAtFront), 60.0) << "depth " << d;
    }
}

// The material's fast passes give exactly the pixels of the plain
// per-pixel computation: on the photo and on a random picture whose alphas
// straddle the side's opacity limit and whose lumas straddle its highlight
// limit, at the ends of the range, next to them and in between.
TEST(RotatingMaterial, TurnsExactlyAsThePlainComputation)
{
    std::mt19937 random(2024);
    const auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    std::vector<uint32_t> mixed(700u * 700u);
    for (uint32_t& p : mixed) {
        const uint32_t alpha = below(4) == 0 ? below(256) : 245 + below(11);
        p = alpha << 24;
        for (int shift = 0; shift < 24; shift += 8)
            p |= std::min(below(160), alpha) << shift;
    }
    std::vector<double> values = {0.0, 1e-9, 0.023, 0.25, 0.5, 0.75, 1.0 - 1e-9, 1.0};
    std::uniform_real_distribution<double> anywhere(0.0, 1.0);
    while (values.size() < 20)
        values.push_back(anywhere(random));
    const std::vector<uint32_t>* pictures[] = {&knobtest::photo().premultiplied, &mixed};
    for (const std::vector<uint32_t>* picture : pictures) {
        ASSERT_EQ(picture->size(), 700u * 700u);
        RotatingMaterial material(700, 700, *picture);
        const knobtest::ReferenceTurn reference(700, 700, material.source, material.lighting);
        for (const double value : values) {
            const std::vector<uint32_t> expected = reference.render(value);
            const std::vector<uint32_t>& out = material.render(value);
            size_t differing = 0;
            for (size_t i = 0; i < out.size(); ++i)
                differing += out[i] != expected[i];
            EXPECT_EQ(differing, 0u) << "value " << value << (picture == &mixed ? " (random)" : " (photo)");
        }
    }
}

TEST(RotatingMaterial, SampleIsBilinearAndClampedToTheEdges)
{
    // 3 x 2 image: distinct corners, and a known pair for interpolation.
    const std::vector<uint32_t> pixels = {grey(10), grey(0), 0xFF102030u,  //
                                          grey(255), 0x00000000u, 0x80402010u};
    RotatingMaterial material(3, 2, pixels);
    struct Case {
        double x, y;
        uint32_t expected;
    };
    const Case cases[] = {
        {-3.0, -3.0, grey(10)},           // beyond the top-left corner
        {0.0, 0.0, grey(10)},             // exact centres return the pixel
        {2.0, 0.0, 0xFF102030u},
        {2.0, 1.0, 0x80402010u},
        {1.0, 1.0, 0x00000000u},
        {13.0, 12.0, 0x80402010u},        // beyond the bottom-right corner
        {2.0, -5.0, 0xFF102030u},         // clamped on one axis only
        {0.5, 0.0, grey(5)},              // halfway between 10 and 0
        {0.0, 0.5, grey(133)},            // 10 + 245 / 2 + 0.5 = 133
        {0.25, 1.0, 0xBF000000u | 191u << 16 | 191u << 8 | 191u}, // 255 - 255 / 4 + 0.5
    };
    for (const Case& c : cases)
        EXPECT_EQ(material.sample(pixels, c.x, c.y), c.expected) << std::hex << c.x << ", " << c.y;
}

// The lighting reference is a box blur 2r + 1 wide in both directions with
// r = trunc(5 k) (315 pixels: k = 0.9, r = 4), at least 2; edge pixels repeat.
TEST(RotatingMaterial, LightingIsABoxBlur)
{
    struct Case {
        int size, radius;
    };
    for (const Case c : {Case{700, 10}, Case{350, 5}, Case{315, 4}, Case{100, 2}}) {
        const size_t n = static_cast<size_t>(c.size) * c.size;
        RotatingMaterial uniform(c.size, c.size, std::vector<uint32_t>(n, 0x80402010u));
        EXPECT_TRUE(uniform.lighting == uniform.source) << c.size;

        // A vertical and a horizontal line of value 200 in one channel each.
        const int line = c.size / 2;
        std::vector<uint32_t> lines(n, 0u);
        for (int i = 0; i < c.size; ++i) {
            lines[static_cast<size_t>(i) * c.size + line] |= 200u << 16;
            lines[static_cast<size_t>(line) * c.size + i] |= 200u;
        }
        RotatingMaterial blurred(c.size, c.size, lines);
        const uint32_t spread = 200u / (2u * c.radius + 1u);
        for (int i = 0; i < c.size; ++i) {
            const bool near = std::abs(i - line) <= c.radius;
            const size_t across = static_cast<size_t>(c.size / 4) * c.size + i; // a row far from the horizontal line
            const size_t down = static_cast<size_t>(i) * c.size + c.size / 4;   // a column far from the vertical line
            ASSERT_EQ(blurred.lighting[across], near ? spread << 16 : 0u) << c.size << " column " << i;
            ASSERT_EQ(blurred.lighting[down], near ? spread : 0u) << c.size << " row " << i;
        }
    }
}

} // namespace
