// The main page's big knob: the photo of a metal knob turned to the Clean
// Amount, a segmented lit arc around it, a scale of ticks and numbers, and a
// pointer on the knob's face.
//
// Two cached 440 x 336 layers cover the window from (160, 84) to (600, 420).
// The background layer (stored photo, unlit track, ticks, numbers) is built
// once per attachment, together with the turning material and the 40 lit
// arc segments; the knob layer (background, lit arc, turned photo, pointer)
// is built again only when the value changes. Every call copies the knob
// layer to the device context.
//
// The knob is seen obliquely from above: arc, ticks, numbers and pointer lie
// on ellipses squashed vertically by 0.82. The face centre (380, 210) is the
// centre of the knob's top face; the ring centre, 58 pixels lower, is the
// centre of the arc, the ticks and the numbers.

#include "Editor.h"

#include "Fonts.h"
#include "KnobGeometry.h"
#include "Maths.h"

#include "MaterialPng.h"
#include "Palette.h"
#include "RotatingMaterial.h"

#include <gdiplus.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

namespace hushkit {

namespace {

using knob::FaceX;
using knob::FaceY;
using knob::Squash;

// The layers' place in the window.
constexpr int LayerLeft = 160;
constexpr int LayerTop = 84;
constexpr int LayerWidth = 440;
constexpr int LayerHeight = 336;

// The photo, stored and turned, is drawn at half size with the centre of its
// top face on the face centre.
constexpr int PhotoLeft = 205;
constexpr int PhotoTop = 86;
constexpr int PhotoSize = 350;

constexpr double RingDrop = 58.0; // ring centre below the face centre

constexpr double ArcRadius = 166.0;
constexpr double ArcRadiusY = 136.12;
constexpr double TickOuter = 180.0;
constexpr double TickOuterY = 147.6;
constexpr double TickInnerLong = 174.0;
constexpr double TickInnerShort = 177.0;
constexpr double NumberRadius = 198.0;
constexpr double NumberRadiusY = 162.36;

constexpr int TickCount = 51;
constexpr int NumberCount = 11;

namespace PenWidth {
constexpr Gdiplus::REAL Track = 14.0f;
constexpr Gdiplus::REAL Glow = 20.0f;
constexpr Gdiplus::REAL Core = 14.0f;
constexpr Gdiplus::REAL Tick = 1.4f;
constexpr Gdiplus::REAL Pointer = 7.5f;
} // namespace PenWidth

// A segment bitmap reaches this far beyond its two endpoints, enough for
// the glow stroke's half width on every segment.
constexpr int SegmentMargin = 14;

// Angle of value t in radians, screen orientation: 135 degrees (lower left)
// at 0 and below, 405 degrees (lower right) at 1 and above, clockwise.
double angle(double t)
{
    const double clamped = t > 0.0 ? std::min(t, 1.0) : 0.0;
    return (knob::AngleAtZero + knob::Travel * clamped) * Pi / 180.0;
}

// Value range of lit segment i: a gap of 0.004 between neighbours.
double segmentStart(int i) { return i == 0 ? 0.0 : i / 40.0 + 0.002; }
double segmentEnd(int i) { return i == Editor::ArcSegmentCount - 1 ? 1.0 : (i + 1) / 40.0 - 0.002; }

// Point of value t on the value arc, relative to the face centre.
double arcX(double t) { return ArcRadius * std::cos(angle(t)); }
double arcY(double t) { return RingDrop + ArcRadiusY * std::sin(angle(t)); }

// Strokes the value arc from value a to value b as a polyline of five
// points.
void drawArc(Gdiplus::Graphics& graphics, Gdiplus::Pen& pen, double a, double b)
{
    Gdiplus::PointF points[5];
    for (int k = 0; k < 5; ++k) {
        const double t = a + (b - a) * k / 4.0;
        points[k] = Gdiplus::PointF(static_cast<Gdiplus::REAL>(FaceX + arcX(t)),
                                    static_cast<Gdiplus::REAL>(FaceY + arcY(t)));
    }
    graphics.DrawLines(&pen, points, 5);
}

// The lit arc's two strokes.
struct LitPens {
    Gdiplus::Pen glow{Gdiplus::Color(palette::ArcGlowArgb), PenWidth::Glow};
    Gdiplus::Pen core{Gdiplus::Color(opaqueArgb(palette::ArcCore)), PenWidth::Core};
};

// The lit arc from a to b: the soft glow, then the core.
void strokeLit(Gdiplus::Graphics& graphics, LitPens& pens, double a, double b)
{
    drawArc(graphics, pens.glow, a, b);
    drawArc(graphics, pens.core, a, b);
}

std::unique_ptr<Gdiplus::Bitmap> makeBitmap(int width, int height)
{
    return std::unique_ptr<Gdiplus::Bitmap>(new Gdiplus::Bitmap(width, height, PixelFormat32bppPARGB));
}

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};
using Stream = std::unique_ptr<IStream, StreamRelease>;

// Copies the photo's pixels, premultiplied, into a new material. False when
// they cannot be read.
bool makeMaterial(Gdiplus::Bitmap& photo, std::unique_ptr<knob::RotatingMaterial>& material)
{
    const auto width = static_cast<int>(photo.GetWidth());
    const auto height = static_cast<int>(photo.GetHeight());
    const int64_t count = int64_t(width) * height;
    if (count > INT32_MAX)
        return false;
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (photo.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
        return false;
    std::vector<uint32_t> pixels(static_cast<size_t>(count));
    const auto* first = static_cast<const BYTE*>(data.Scan0);
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[size_t(y) * width], first + ptrdiff_t(y) * data.Stride, size_t(width) * 4);
    photo.UnlockBits(&data);
    material = std::make_unique<knob::RotatingMaterial>(width, height, std::move(pixels));
    return true;
}

// Pre-renders lit segment i (glow and core) into a bitmap just large enough
// for it.
void renderSegment(ArcSegment& segment, int i, LitPens& pens)
{
    const double start = segmentStart(i);
    const double end = segmentEnd(i);
    const double xs = arcX(start), ys = arcY(start);
    const double xe = arcX(end), ye = arcY(end);
    const int left = static_cast<int>(std::floor(std::min(xs, xe) + FaceX)) - SegmentMargin;
    const int top = static_cast<int>(std::floor(std::min(ys, ye) + FaceY)) - SegmentMargin;
    const int width = static_cast<int>(std::ceil(std::fabs(xs - xe))) + 2 * SegmentMargin + 2;
    const int height = static_cast<int>(std::ceil(std::fabs(ys - ye))) + 2 * SegmentMargin + 2;

    auto bitmap = makeBitmap(width, height);
    {
        Gdiplus::Graphics graphics(bitmap.get());
        graphics.Clear(Gdiplus::Color(palette::TransparentArgb));
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.TranslateTransform(static_cast<Gdiplus::REAL>(-left), static_cast<Gdiplus::REAL>(-top));
        strokeLit(graphics, pens, start, end);
    }
    segment.bitmap = std::move(bitmap);
    segment.left = left;
    segment.top = top;
}

// The 51 scale ticks, the eleven long ones on the values of the numbers.
void drawTicks(Gdiplus::Graphics& graphics)
{
    Gdiplus::Pen pen(Gdiplus::Color(opaqueArgb(palette::Tick)), PenWidth::Tick);
    for (int i = 0; i < TickCount; ++i) {
        const double theta = angle(i / 50.0);
        const double c = std::cos(theta), s = std::sin(theta);
        const double inner = i % 5 == 0 ? TickInnerLong : TickInnerShort;
        graphics.DrawLine(&pen, static_cast<Gdiplus::REAL>(FaceX + inner * c),
                          static_cast<Gdiplus::REAL>(FaceY + (RingDrop + Squash * inner * s)),
                          static_cast<Gdiplus::REAL>(FaceX + TickOuter * c),
                          static_cast<Gdiplus::REAL>(FaceY + (RingDrop + TickOuterY * s)));
    }
}

// The numbers 0 to 100 outside the ticks, drawn with GDI in layer
// coordinates (GDI does not see the world translation).
void drawNumbers(Gdiplus::Graphics& graphics)
{
    HDC dc = graphics.GetHDC();
    if (!dc)
        return;
    HFONT font = fonts::make(fonts::KnobNumber);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, palette::White);
    for (int k = 0; k < NumberCount; ++k) {
        wchar_t text[8];
        std::swprintf(text, 8, L"%d", 10 * k);
        const double theta = angle(k / 10.0);
        const int cx = static_cast<int>((FaceX - LayerLeft) + NumberRadius * std::cos(theta));
        const int cy = static_cast<int>((FaceY - LayerTop) + (RingDrop + NumberRadiusY * std::sin(theta)));
        RECT box{cx - 17, cy - 10, cx + 17, cy + 12};
        DrawTextW(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    graphics.ReleaseHDC(dc);
}

// Everything of the background layer after its photo: the unlit track and
// the pre-rendered lit segments, the ticks and the numbers.
void drawScale(Editor& editor, Gdiplus::Graphics& graphics)
{
    Gdiplus::Pen track(Gdiplus::Color(opaqueArgb(palette::KnobTrack)), PenWidth::Track);
    LitPens lit;
    for (int i = 0; i < Editor::ArcSegmentCount; ++i) {
        drawArc(graphics, track, segmentStart(i), segmentEnd(i));
        renderSegment(editor.arcSegments[i], i, lit);
    }
    drawTicks(graphics);
    drawNumbers(graphics);
}

// Builds the background layer, the material and the lit segments. False when
// the photo cannot be decoded or read: the layer then holds its ground (and
// perhaps the photo) and nothing else is made.
bool buildBackground(Editor& editor)
{
    editor.backgroundLayer = makeBitmap(LayerWidth, LayerHeight);
    Gdiplus::Graphics graphics(editor.backgroundLayer.get());
    graphics.Clear(Gdiplus::Color(opaqueArgb(palette::Ground)));
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.TranslateTransform(-LayerLeft, -LayerTop);

    const Stream stream(SHCreateMemStream(knob::materialPng, static_cast<UINT>(knob::materialPngSize)));
    Gdiplus::Bitmap photo(stream.get());
    if (photo.GetLastStatus() != Gdiplus::Ok)
        return false;
    graphics.DrawImage(&photo, PhotoLeft, PhotoTop, PhotoSize, PhotoSize);
    if (!makeMaterial(photo, editor.material))
        return false;
    drawScale(editor, graphics);
    return true;
}

// The lit arc up to v: whole segments from their bitmaps, the last one live
// when v ends inside it.
void drawLitArc(Gdiplus::Graphics& graphics, ArcSegment (&segments)[Editor::ArcSegmentCount], double v)
{
    for (int i = 0; i < Editor::ArcSegmentCount && v > segmentStart(i); ++i) {
        if (v < segmentEnd(i)) {
            LitPens live;
            strokeLit(graphics, live, segmentStart(i), v);
            return;
        }
        Gdiplus::Bitmap* bitmap = segments[i].bitmap.get();
        if (bitmap)
            graphics.DrawImage(bitmap, segments[i].left, segments[i].top, static_cast<INT>(bitmap->GetWidth()),
                               static_cast<INT>(bitmap->GetHeight()));
    }
}

// The knob's body, to which the turned photo is clipped: top face, sides
// and base, and the rectangle that bounds all three.
const Gdiplus::Rect TopFace(266, 116, 228, 188);
const Gdiplus::Rect Sides(266, 210, 228, 60);
const Gdiplus::Rect Base(256, 169, 248, 202);
const Gdiplus::Rect BodyBounds(256, 116, 248, 255);

// The photo turned to v, clipped to the knob's body. Only the part of the
// photo within the body's bounds is scaled: the same pixels pass the clip,
// for half the work.
void drawTurnedPhoto(Gdiplus::Graphics& graphics, knob::RotatingMaterial& material, double v)
{
    const Gdiplus::GraphicsState saved = graphics.Save();
    Gdiplus::GraphicsPath body(Gdiplus::FillModeWinding);
    body.AddEllipse(TopFace);
    body.AddRectangle(Sides);
    body.AddEllipse(Base);
    graphics.SetClip(&body, Gdiplus::CombineModeReplace);

    const std::vector<uint32_t>& pixels = material.render(v);
    // GDI+ only reads the pixels to draw them.
    Gdiplus::Bitmap turned(material.width, material.height, material.width * 4, PixelFormat32bppPARGB,
                           reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels.data())));
    const auto sx = static_cast<Gdiplus::REAL>(material.width) / PhotoSize;
    const auto sy = static_cast<Gdiplus::REAL>(material.height) / PhotoSize;
    const Gdiplus::RectF target(static_cast<Gdiplus::REAL>(BodyBounds.X), static_cast<Gdiplus::REAL>(BodyBounds.Y),
                                static_cast<Gdiplus::REAL>(BodyBounds.Width),
                                static_cast<Gdiplus::REAL>(BodyBounds.Height));
    const auto real = [](int n) { return static_cast<Gdiplus::REAL>(n); };
    graphics.DrawImage(&turned, target, real(BodyBounds.X - PhotoLeft) * sx, real(BodyBounds.Y - PhotoTop) * sy,
                       real(BodyBounds.Width) * sx, real(BodyBounds.Height) * sy, Gdiplus::UnitPixel);
    graphics.Restore(saved);
}

// The dark pointer on the face. Pointing into the face's lower half, its
// last leg bends out and down over the face's front edge.
void drawPointer(Gdiplus::Graphics& graphics, double v)
{
    const double theta = angle(v);
    const double c = std::cos(theta), s = std::sin(theta);
    const double q = std::max(s, 0.0);
    const double r3 = 105.0 + 7.0 * q;
    const Gdiplus::PointF points[3] = {
        {static_cast<Gdiplus::REAL>(FaceX + 69.0 * c), static_cast<Gdiplus::REAL>(FaceY + 56.58 * s)},
        {static_cast<Gdiplus::REAL>(FaceX + 99.0 * c), static_cast<Gdiplus::REAL>(FaceY + 81.18 * s)},
        {static_cast<Gdiplus::REAL>(FaceX + r3 * c), static_cast<Gdiplus::REAL>(FaceY + (9.0 * q + Squash * r3 * s))},
    };
    Gdiplus::Pen pen(Gdiplus::Color(opaqueArgb(palette::KnobPointer)), PenWidth::Pointer);
    pen.SetStartCap(Gdiplus::LineCapRound);
    pen.SetEndCap(Gdiplus::LineCapRound);
    pen.SetLineJoin(Gdiplus::LineJoinRound);
    graphics.DrawLines(&pen, points, 3);
}

// Copies the pixels of one layer into another of the same size, both
// premultiplied. False when either cannot be locked; nothing is copied then.
bool copyPixels(Gdiplus::Bitmap& from, Gdiplus::Bitmap& to)
{
    Gdiplus::Rect all(0, 0, LayerWidth, LayerHeight);
    Gdiplus::BitmapData source{}, target{};
    if (from.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &source) != Gdiplus::Ok)
        return false;
    const bool locked =
        to.LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &target) == Gdiplus::Ok;
    if (locked) {
        for (int y = 0; y < LayerHeight; ++y)
            std::memcpy(static_cast<BYTE*>(target.Scan0) + ptrdiff_t(y) * target.Stride,
                        static_cast<const BYTE*>(source.Scan0) + ptrdiff_t(y) * source.Stride, size_t(LayerWidth) * 4);
        to.UnlockBits(&target);
    }
    from.UnlockBits(&source);
    return locked;
}

// Draws the knob for v into the knob layer.
void buildKnobLayer(Editor& editor, double v)
{
    // The opaque background replaces the whole layer: copying its pixels
    // (before any graphics object holds the layer) gives what drawing it
    // would, for a fraction of the work.
    const bool copied = copyPixels(*editor.backgroundLayer, *editor.knobLayer);
    Gdiplus::Graphics graphics(editor.knobLayer.get());
    graphics.TranslateTransform(-LayerLeft, -LayerTop);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBilinear);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
    if (!copied) {
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        graphics.DrawImage(editor.backgroundLayer.get(), LayerLeft, LayerTop, LayerWidth, LayerHeight);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    }
    if (v > 0.0)
        drawLitArc(graphics, editor.arcSegments, v);
    drawTurnedPhoto(graphics, *editor.material, v);
    drawPointer(graphics, v);
    editor.knobLayerValue = v;
}

} // namespace

void Editor::drawKnob(HDC dc, double value)
{
    if (!backgroundLayer && !buildBackground(*this))
        return;
    // A photo that could not be read leaves the knob area empty for the rest
    // of this attachment: the embedded data will not read any better later.
    if (!material)
        return;
    if (!knobLayer) {
        knobLayer = makeBitmap(LayerWidth, LayerHeight);
        buildKnobLayer(*this, value);
    } else if (value != knobLayerValue) {
        buildKnobLayer(*this, value);
    }
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(knobLayer.get(), LayerLeft, LayerTop, LayerWidth, LayerHeight);
}

} // namespace hushkit
