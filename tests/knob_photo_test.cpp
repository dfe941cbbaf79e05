#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "MaterialPng.h"
#include "RotatingMaterial.h"
#include "knob_geometry.h"
#include "knob_photo.h"

namespace {

using hushkit::knob::materialPng;
using hushkit::knob::materialPngSize;
using hushkit::knob::RotatingMaterial;
using knobtest::KnobGeometry;
using knobtest::photo;

uint32_t bigEndian32(const unsigned char* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

double luma(uint32_t p)
{
    return 0.0722 * (p & 0xFFu) + (0.2126 * ((p >> 16) & 0xFFu) + 0.7152 * ((p >> 8) & 0xFFu));
}

// The photo is drawn at half size at (205, 86) in the editor, under a clip
// made of the face ellipse, the sides' rectangle and the base ellipse.
bool insideKnobClip(int px, int py)
{
    const double x = 205.0 + (px + 0.5) / 2.0, y = 86.0 + (py + 0.5) / 2.0;
    const double fx = (x - 380.0) / 114.0, fy = (y - 210.0) / 94.0;
    const double bx = (x - 380.0) / 124.0, by = (y - 270.0) / 101.0;
    return fx * fx + fy * fy <= 1.0 || (x >= 266.0 && x <= 494.0 && y >= 210.0 && y <= 270.0) ||
           bx * bx + by * by <= 1.0;
}

TEST(KnobPhoto, EmbeddedBytesAreTheCommittedFile)
{
    std::ifstream file(HUSHKIT_KNOB_PNG, std::ios::binary);
    ASSERT_TRUE(file) << HUSHKIT_KNOB_PNG;
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_EQ(materialPngSize, bytes.size());
    EXPECT_EQ(std::memcmp(materialPng, bytes.data(), bytes.size()), 0);
}

TEST(KnobPhoto, IsA700By700RgbaPng)
{
    ASSERT_GT(materialPngSize, 33u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(materialPng, signature, 8), 0);
    EXPECT_EQ(std::memcmp(materialPng + 12, "IHDR", 4), 0);
    EXPECT_EQ(bigEndian32(materialPng + 16), 700u);
    EXPECT_EQ(bigEndian32(materialPng + 20), 700u);
    EXPECT_EQ(materialPng[24], 8) << "bits per channel";
    EXPECT_EQ(materialPng[25], 6) << "colour type RGBA";
    EXPECT_EQ(materialPng[28], 0) << "not interlaced";
    EXPECT_EQ(std::memcmp(materialPng + materialPngSize - 8, "IEND", 4), 0) << "ends with its end chunk";
    ASSERT_TRUE(photo().ok);
    EXPECT_EQ(photo().width, 700);
    EXPECT_EQ(photo().height, 700);
}

// Transparent ground, knob pixels at alpha about 253 over the whole face,
// cap and side band.
TEST(KnobPhoto, KnobIsNearlyOpaqueOnATransparentGround)
{
    const auto& straight = photo().straight;
    ASSERT_TRUE(photo().ok);
    const KnobGeometry g{2.0};
    int knob = 0;
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 700; ++x) {
            const uint32_t alpha = straight[static_cast<size_t>(y) * 700 + x] >> 24;
            if (y < 40 || y > 640 || x < 60 || x > 640) {
                ASSERT_EQ(alpha, 0u) << "ground at " << x << ", " << y;
            }
            const double r = std::hypot((x + 0.5) - 350.0, ((y + 0.5) - 248.0) / 0.82);
            // The side band away from its ends and its lowest rows, where the
            // knob's edge meets the ground.
            const bool inBand = g.inBand(x, y) && x > 130 && x < 570 && g.depth(x, y) < 90.0;
            if (r < 205.0 || inBand) {
                ASSERT_GE(alpha, 251u) << x << ", " << y;
                ASSERT_LE(alpha, 254u) << x << ", " << y;
                ++knob;
            }
        }
    EXPECT_GT(knob, 140000);
}

// Drawn at half size, the knob's body lies inside the clip shapes: outside
// them there is only the faint shadow and glow on the ground.
TEST(KnobPhoto, KnobLiesInsideTheClipAtHalfSize)
{
    ASSERT_TRUE(photo().ok);
    uint32_t strongestOutside = 0;
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 700; ++x)
            if (!insideKnobClip(x, y))
                strongestOutside = std::max(strongestOutside, photo().straight[static_cast<size_t>(y) * 700 + x] >> 24);
    EXPECT_LE(strongestOutside, 128u);
}

TEST(KnobPhoto, TurnsOnlyItsFaceAndSide)
{
    ASSERT_TRUE(photo().ok);
    const std::vector<uint32_t>& source = photo().premultiplied;
    RotatingMaterial material(700, 700, source);
    EXPECT_TRUE(material.render(1.0) == source) << "first render at 1";
    const KnobGeometry g{2.0};
    for (const double value : {0.0, 0.5, 1.5, 0.83}) {
        const std::vector<uint32_t>& out = material.render(value);
        if (value >= 1.0) {
            EXPECT_TRUE(out == source);
            continue;
        }
        int faceChanged = 0, bandChanged = 0;
        for (int y = 0; y < 700; ++y)
            for (int x = 0; x < 700; ++x) {
                const size_t i = static_cast<size_t>(y) * 700 + x;
                const uint32_t p = source[i];
                if (g.inFace(x, y)) {
                    faceChanged += out[i] != p;
                } else if (g.inBand(x, y)) {
                    if (p < 0xFA000000u || luma(p) > 118.0) {
                        ASSERT_EQ(out[i], p) << "kept side pixel " << x << ", " << y << " value " << value;
                    }
                    bandChanged += out[i] != p;
                } else {
                    ASSERT_EQ(out[i], p) << x << ", " << y << " value " << value;
                }
            }
        EXPECT_GT(faceChanged, 40000) << value;
        EXPECT_GT(bandChanged, 10000) << value;
    }
}

} // namespace
