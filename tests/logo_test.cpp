#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "Logo.h"

namespace {

using hushkit::knob::logo;
using hushkit::knob::LogoSize;

uint32_t at(int x, int y)
{
    return logo()[static_cast<size_t>(y) * LogoSize + x];
}

TEST(Logo, IsOneSquareBufferBuiltOnce)
{
    const std::vector<uint32_t>& first = logo();
    EXPECT_EQ(first.size(), 9216u);
    EXPECT_EQ(&first, &logo());
    EXPECT_EQ(first.data(), logo().data());
}

TEST(Logo, ShapesHaveTheirColours)
{
    struct Case {
        int x, y;
        uint32_t pixel;
        const char* where;
    };
    const Case cases[] = {
        {0, 0, 0u, "corner"},
        {95, 95, 0u, "corner"},
        {47, 47, 0xFFEEF6FFu, "bar 2"},
        {70, 47, 0xFFEEF6FFu, "bar 4"},
        {11, 47, 0xFF69B9FFu, "ring, left side"},
        {47, 10, 0xFF69B9FFu, "ring, top"},
        {71, 24, 0xFF69B9FFu, "ring, upper cap"},
        {71, 71, 0xFF69B9FFu, "ring, lower cap"},
        {75, 47, 0u, "opening right of bar 4"},
        {84, 47, 0u, "opening, where the closed circle would be"},
        {30, 30, 0u, "between ring and bars"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(at(c.x, c.y), c.pixel) << c.where << " (" << c.x << ", " << c.y << ")";
}

TEST(Logo, IsPremultipliedWithFullCoverageOpaque)
{
    int opaque = 0, partial = 0;
    for (uint32_t p : logo()) {
        const uint32_t a = p >> 24;
        for (int shift = 0; shift < 24; shift += 8)
            ASSERT_LE((p >> shift) & 0xFFu, a) << std::hex << p;
        if (a == 255)
            ++opaque;
        else if (a > 0)
            ++partial;
        else
            ASSERT_EQ(p, 0u);
        // Blue is 255 in both shapes, so premultiplied blue equals alpha.
        ASSERT_EQ(p & 0xFFu, a) << std::hex << p;
    }
    EXPECT_GT(opaque, 500);
    EXPECT_GT(partial, 100); // anti-aliased edges
}

} // namespace
