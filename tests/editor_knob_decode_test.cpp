// The knob when its photo does not decode. This program links its own bytes
// in place of the embedded photo (the definitions below satisfy the
// references that the static knob library's photo object would otherwise
// satisfy, so that object is never linked in): a PNG signature followed by
// a damaged header.

#include "knob_test_support.h"

#include "MaterialPng.h"

namespace hushkit::knob {
extern const unsigned char materialPng[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00,
                                            0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x02, 0xbc, 0x00};
extern const std::size_t materialPngSize = sizeof(materialPng);
} // namespace hushkit::knob

using namespace editor_test;
using namespace knob_test;

namespace {

using KnobDecodeTest = AttachedEditor;

TEST_F(KnobDecodeTest, PhotoThatDoesNotDecodeDrawsNothingAndMakesNothingElse)
{
    for (double value : {0.5, 0.75, 0.75}) {
        SCOPED_TRACE(testing::Message() << "value " << value);
        BackBuffer buffer(Sentinel);
        editor->drawKnob(buffer.dc, value);
        for (int y = 0; y < hushkit::Editor::Height; ++y)
            for (int x = 0; x < hushkit::Editor::Width; ++x)
                ASSERT_EQ(buffer.at(x, y), Sentinel) << x << ", " << y;

        ASSERT_NE(editor->backgroundLayer, nullptr);
        const Pixels background = read(*editor->backgroundLayer);
        ASSERT_EQ(background.width, LayerWidth);
        ASSERT_EQ(background.height, LayerHeight);
        for (uint32_t p : background.data)
            ASSERT_EQ(p, 0xFF000000u | Ground);
        EXPECT_EQ(editor->material, nullptr);
        EXPECT_EQ(editor->knobLayer, nullptr);
        EXPECT_EQ(editor->knobLayerValue, -1.0);
        for (const hushkit::ArcSegment& segment : editor->arcSegments)
            EXPECT_EQ(segment.bitmap, nullptr);
    }
}

} // namespace
