// The main page's knob as drawKnob renders it into its layers and a back
// buffer: which parts of the lit arc come from the pre-rendered segments and
// which are stroked live, the pointer's angle, when each layer is built, the
// places of the scale's numbers, the colours of the ticks and the glow, and
// pictures of the knob for looking at.
//
// Under Wine GDI+ draws shapes without anti-aliasing: the samples lie inside
// strokes and solid areas, never on their edges.

#include "knob_test_support.h"

#include "RotatingMaterial.h"

#include <algorithm>
#include <cmath>
#include <string>

using namespace editor_test;
using namespace knob_test;

namespace {

// Where the arc of each segment comes from in a built knob layer.
enum class Lit { None, Bitmap, Live };

struct ArcCase {
    double value;
    int bitmaps;     // segments 0 .. bitmaps-1 from their bitmaps
    bool live;       // segment `bitmaps` stroked live up to the value
    double pointer;  // the pointer's value (angle) after clamping
};

// Marks each segment bitmap at its own middle, so that a marked pixel in the
// knob layer shows that the segment came from its bitmap.
void markSegments(hushkit::Editor& editor)
{
    for (int i = 0; i < hushkit::Editor::ArcSegmentCount; ++i) {
        hushkit::ArcSegment& segment = editor.arcSegments[i];
        const Point mid = arcPoint((segmentStart(i) + segmentEnd(i)) / 2.0);
        fillBitmap(*segment.bitmap, mid.x + LayerLeft - segment.left - 1, mid.y + LayerTop - segment.top - 1, 3, 3,
                   Marker);
    }
}

// A material whose turned photo is fully transparent, so that the whole arc
// stays visible in the knob layer.
void clearMaterial(hushkit::Editor& editor)
{
    const int w = editor.material->width, h = editor.material->height;
    editor.material = std::make_unique<hushkit::knob::RotatingMaterial>(
        w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0u));
}

class KnobTest : public AttachedEditor {
protected:
    // Draws once, so that the background, the material and the segments
    // exist.
    void build(double value = 0.3)
    {
        BackBuffer buffer(Sentinel);
        editor->drawKnob(buffer.dc, value);
        ASSERT_NE(editor->backgroundLayer, nullptr);
        ASSERT_NE(editor->material, nullptr);
        ASSERT_NE(editor->knobLayer, nullptr);
    }

    Pixels knobAt(double value)
    {
        BackBuffer buffer(Sentinel);
        editor->drawKnob(buffer.dc, value);
        return read(*editor->knobLayer);
    }
};

TEST_F(KnobTest, LitArcTakesWholeSegmentsFromBitmapsAndStrokesOnlyThePartialOneLive)
{
    ASSERT_NO_FATAL_FAILURE(build());
    clearMaterial(*editor);
    markSegments(*editor);
    const ArcCase cases[] = {
        {0.0, 0, false, 0.0},   {0.01, 0, true, 0.01},   {0.023, 1, false, 0.023}, {0.025, 1, false, 0.025},
        {0.5, 20, false, 0.5},  {0.51, 20, true, 0.51},  {1.0, 40, false, 1.0},    {-0.25, 0, false, 0.0},
        {1.75, 40, false, 1.0},     {0.26, 10, true, 0.26},
    };
    for (const ArcCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.value);
        const Pixels layer = knobAt(c.value);
        for (int i = 0; i < hushkit::Editor::ArcSegmentCount; ++i) {
            SCOPED_TRACE(testing::Message() << "segment " << i);
            const double start = segmentStart(i), end = segmentEnd(i);
            const Point mid = arcPoint((start + end) / 2.0);
            const Lit lit = i < c.bitmaps ? Lit::Bitmap : (i == c.bitmaps && c.live ? Lit::Live : Lit::None);
            if (lit == Lit::Bitmap) {
                EXPECT_EQ(layer.rgb(mid), Marker & 0xFFFFFF);
                EXPECT_EQ(layer.rgb(arcPoint(start + (end - start) / 4.0)), Core);
            } else if (lit == Lit::Live) {
                // At 0.51 the pointer covers the live piece.
                const Point litPoint = arcPoint((start + c.value) / 2.0);
                if (!nearPointer(litPoint, c.pointer)) {
                    EXPECT_EQ(layer.rgb(litPoint), Core);
                }
                EXPECT_EQ(layer.rgb(arcPoint((c.value + end) / 2.0)), Track);
                EXPECT_NE(layer.rgb(mid), Marker & 0xFFFFFF);
            } else {
                EXPECT_EQ(layer.rgb(mid), Track);
            }
        }
        EXPECT_EQ(layer.rgb(pointerPoint(c.pointer)), Pointer);
    }
}

TEST_F(KnobTest, TurnedPhotoCoversTheArcBehindTheKnobOnly)
{
    ASSERT_NO_FATAL_FAILURE(build(1.0));
    const Pixels layer = read(*editor->knobLayer);
    // Segment 19 runs behind the knob's top face, segment 5 beside it.
    const Point behind = arcPoint((segmentStart(19) + segmentEnd(19)) / 2.0);
    const Point beside = arcPoint((segmentStart(5) + segmentEnd(5)) / 2.0);
    EXPECT_NE(layer.rgb(behind), Core);
    EXPECT_NE(layer.rgb(behind), Track);
    EXPECT_EQ(layer.rgb(beside), Core);
}

// A photo whose red and green grow with the column and the row shows where
// each of its pixels lands: at half size with its corner at window (205, 86),
// inside the knob's body only.
TEST_F(KnobTest, TurnedPhotoLiesAtHalfSizeInsideTheKnobBody)
{
    ASSERT_NO_FATAL_FAILURE(build(0.3));
    constexpr int Size = 700;
    std::vector<uint32_t> ramp(Size * Size);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            ramp[y * Size + x] = 0xFF000000u | uint32_t(x * 255 / (Size - 1)) << 16 | uint32_t(y * 255 / (Size - 1)) << 8;
    editor->material = std::make_unique<hushkit::knob::RotatingMaterial>(Size, Size, ramp);
    const Pixels background = read(*editor->backgroundLayer);
    const Pixels layer = knobAt(1.0); // the photo as it is

    // Window points in the top face, the sides and both ends of the base.
    const Point inside[] = {{380, 210}, {300, 180}, {270, 240}, {262, 270}, {498, 270}, {380, 365}, {380, 120}};
    for (const Point& w : inside) {
        SCOPED_TRACE(testing::Message() << "window " << w.x << ", " << w.y);
        const uint32_t p = layer.rgb({w.x - LayerLeft, w.y - LayerTop});
        const double column = 2.0 * (w.x - 205) + 0.5, row = 2.0 * (w.y - 86) + 0.5;
        EXPECT_NEAR(double(p >> 16), column * 255 / (Size - 1), 2.0);
        EXPECT_NEAR(double(p >> 8 & 0xFF), row * 255 / (Size - 1), 2.0);
    }
    // Within the photo's square but outside the body: the background.
    const Point outside[] = {{215, 100}, {490, 120}, {262, 215}, {540, 400}};
    for (const Point& w : outside) {
        SCOPED_TRACE(testing::Message() << "window " << w.x << ", " << w.y);
        const Point l{w.x - LayerLeft, w.y - LayerTop};
        EXPECT_EQ(layer.rgb(l), background.rgb(l));
    }
}

TEST_F(KnobTest, KnobLayerIsBuiltOnlyWhenTheValueChanges)
{
    ASSERT_NO_FATAL_FAILURE(build(0.3));
    const Point spot{30, 30};
    fillBitmap(*editor->knobLayer, spot.x, spot.y, 1, 1, Marker);

    // The same value only copies the layer, marker included, to the buffer.
    BackBuffer same(Sentinel);
    editor->drawKnob(same.dc, 0.3);
    EXPECT_EQ(read(*editor->knobLayer).rgb(spot), Marker & 0xFFFFFF);
    EXPECT_EQ(same.at(spot.x + LayerLeft, spot.y + LayerTop), Marker & 0xFFFFFF);
    EXPECT_EQ(same.at(LayerLeft - 1, LayerTop + 100), Sentinel);
    EXPECT_EQ(same.at(LayerLeft + 440, LayerTop + 100), Sentinel);

    // The smallest change builds it again.
    const double next = std::nextafter(0.3, 1.0);
    BackBuffer changed(Sentinel);
    editor->drawKnob(changed.dc, next);
    EXPECT_NE(read(*editor->knobLayer).rgb(spot), Marker & 0xFFFFFF);
    EXPECT_EQ(editor->knobLayerValue, next);
    EXPECT_EQ(changed.at(spot.x + LayerLeft, spot.y + LayerTop), read(*editor->knobLayer).rgb(spot));

    // A NaN never equals the value the layer was built for.
    for (int i = 0; i < 2; ++i) {
        fillBitmap(*editor->knobLayer, spot.x, spot.y, 1, 1, Marker);
        BackBuffer buffer(Sentinel);
        editor->drawKnob(buffer.dc, std::nan(""));
        EXPECT_NE(read(*editor->knobLayer).rgb(spot), Marker & 0xFFFFFF);
    }
}

TEST_F(KnobTest, BackgroundMaterialAndSegmentsAreBuiltOncePerAttachment)
{
    // The window's first paint draws the knob: attached anew, and before any
    // message is handled, nothing is built.
    ASSERT_EQ(editor->removed(), Steinberg::kResultOk);
    ASSERT_EQ(editor->attached(hostWindow, "HWND"), Steinberg::kResultOk);
    EXPECT_EQ(editor->backgroundLayer, nullptr);
    EXPECT_EQ(editor->knobLayerValue, -1.0);
    ASSERT_NO_FATAL_FAILURE(build(0.2));
    // A marker in the background layer lasts as long as the layer is not
    // built again, and each knob layer build copies it.
    const Point spot{5, 5};
    fillBitmap(*editor->backgroundLayer, spot.x, spot.y, 1, 1, Marker);
    const hushkit::knob::RotatingMaterial* material = editor->material.get();
    for (double value : {0.4, 0.9, 0.0}) {
        const Pixels layer = knobAt(value);
        EXPECT_EQ(layer.rgb(spot), Marker & 0xFFFFFF);
    }
    EXPECT_EQ(editor->material.get(), material);
    EXPECT_EQ(read(*editor->backgroundLayer).rgb(spot), Marker & 0xFFFFFF);

    ASSERT_EQ(editor->removed(), Steinberg::kResultOk);
    EXPECT_EQ(editor->backgroundLayer, nullptr);
    EXPECT_EQ(editor->knobLayer, nullptr);
    EXPECT_EQ(editor->material, nullptr);
    EXPECT_EQ(editor->knobLayerValue, -1.0);
    for (const hushkit::ArcSegment& segment : editor->arcSegments)
        EXPECT_EQ(segment.bitmap, nullptr);

    ASSERT_EQ(editor->attached(hostWindow, "HWND"), Steinberg::kResultOk);
    EXPECT_EQ(editor->backgroundLayer, nullptr);
    ASSERT_NO_FATAL_FAILURE(build(0.2));
    EXPECT_NE(read(*editor->backgroundLayer).rgb(spot), Marker & 0xFFFFFF);
    for (const hushkit::ArcSegment& segment : editor->arcSegments)
        EXPECT_NE(segment.bitmap, nullptr);
    EXPECT_EQ(read(*editor->knobLayer).rgb(arcPoint(0.11)), Core);
}

// The numbers' centres are truncated, not rounded: "50" at layer (219, 21),
// "0" at (79, 298), "100" at (360, 298). Each number's lit pixels must sit
// where the same text drawn by GDI into a box around that centre puts them.
TEST_F(KnobTest, NumbersSitAtTheirTruncatedCentres)
{
    ASSERT_NO_FATAL_FAILURE(build());
    const Pixels layer = read(*editor->backgroundLayer);
    // Text drawn through GDI must leave the layer opaque: the knob layer
    // takes the background as it is.
    EXPECT_EQ(std::count_if(layer.data.begin(), layer.data.end(), [](uint32_t p) { return p >> 24 != 0xFF; }), 0);
    const struct {
        const wchar_t* text;
        Point centre;
    } numbers[] = {{L"50", {219, 21}}, {L"0", {79, 298}}, {L"100", {360, 298}}};
    for (const auto& number : numbers) {
        SCOPED_TRACE(testing::Message() << "number at " << number.centre.x << ", " << number.centre.y);
        const Extent expected = textBox(number.text);
        const Extent found = whiteBox(layer, number.centre);
        EXPECT_EQ(found.left, number.centre.x + expected.left);
        EXPECT_EQ(found.top, number.centre.y + expected.top);
        EXPECT_EQ(found.right, number.centre.x + expected.right);
        EXPECT_EQ(found.bottom, number.centre.y + expected.bottom);
    }
}

// The scale's ticks and the lit arc's soft glow. A long tick's middle at
// value 0.5 (x 380, from y 120.4 to 125.3, 1.4 wide) lies on the knob's face
// in the background layer; in segment 19's own bitmap the band from 7 to 10
// pixels above the arc's middle line (y 132.1 at x 370) is covered by the
// glow stroke only, over the bitmap's transparent ground.
TEST_F(KnobTest, TicksAndGlowHaveTheirColours)
{
    ASSERT_NO_FATAL_FAILURE(build());
    const Pixels background = read(*editor->backgroundLayer);
    EXPECT_EQ(background.argb({380 - LayerLeft, 122 - LayerTop}), 0xFFE1E9EFu);

    const hushkit::ArcSegment& segment = editor->arcSegments[19];
    const uint32_t glow = read(*segment.bitmap).argb({370 - segment.left, 124 - segment.top});
    // 0x30 of RGB(0, 212, 255), premultiplied.
    EXPECT_EQ(glow >> 24, 0x30u);
    EXPECT_EQ((glow >> 16) & 0xFF, 0u);
    EXPECT_NEAR(static_cast<double>((glow >> 8) & 0xFF), 212.0 * 0x30 / 255.0, 1.0);
    EXPECT_EQ(glow & 0xFF, 0x30u);
}

// Pictures of the knob area for looking at (and a check that the knob shows
// at all: the pointer's colour at its middle).
TEST_F(KnobTest, SavesPicturesOfTheKnob)
{
    for (double value : {0.0, 0.5, 1.0}) {
        BackBuffer buffer(0x0C1421);
        editor->drawKnob(buffer.dc, value);
        EXPECT_EQ(buffer.at(pointerPoint(value).x + LayerLeft, pointerPoint(value).y + LayerTop), Pointer);
        const std::wstring name = L"/knob_" + std::to_wstring(static_cast<int>(value * 100)) + L".png";
        EXPECT_TRUE(savePng(buffer.crop(LayerLeft, LayerTop, 440, 336), shotFolder() + name));
    }
}

} // namespace
