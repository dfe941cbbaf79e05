#pragma once
// What the knob tests share: the knob's layout written out on its own (window
// and layer coordinates, the arc and the pointer), a back buffer for
// drawKnob, pixel access to GDI+ bitmaps, and finding drawn text.

#include "editor_host.h"

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace knob_test {

constexpr int LayerLeft = 160;
constexpr int LayerTop = 84;
constexpr int LayerWidth = 440;
constexpr int LayerHeight = 336;

// Colours as 0x00RRGGBB.
constexpr uint32_t Track = 0x192B36;
constexpr uint32_t Core = 0x00D2FF;
constexpr uint32_t Pointer = 0x080C0D;
constexpr uint32_t Ground = 0x0C1421;
// What the paint handler would have left in the buffer: a colour drawKnob
// never draws.
constexpr uint32_t Sentinel = 0x7F3F11;
// Opaque premultiplied magenta, written into bitmaps to trace their pixels.
constexpr uint32_t Marker = 0xFFFF00FF;

constexpr double Pi = 3.14159265358979323846;

inline double segmentStart(int i) { return i == 0 ? 0.0 : i / 40.0 + 0.002; }
inline double segmentEnd(int i) { return i == 39 ? 1.0 : (i + 1) / 40.0 - 0.002; }

struct Point {
    int x, y;
};

inline double radians(double value) { return (135.0 + 270.0 * value) * Pi / 180.0; }

// Layer pixel on the middle line of the value arc at value t (0..1).
inline Point arcPoint(double t)
{
    const double a = radians(t);
    return {static_cast<int>(std::lround(380.0 + 166.0 * std::cos(a))) - LayerLeft,
            static_cast<int>(std::lround(268.0 + 136.12 * std::sin(a))) - LayerTop};
}

// Layer pixel in the middle of the pointer's first leg for value t (0..1).
inline Point pointerPoint(double t)
{
    const double a = radians(t);
    return {static_cast<int>(std::lround(380.0 + 84.0 * std::cos(a))) - LayerLeft,
            static_cast<int>(std::lround(210.0 + 0.82 * 84.0 * std::sin(a))) - LayerTop};
}

// Whether a layer pixel lies within 6 pixels of the pointer for value t
// (0..1), taking the pointer as the straight line from its first point to
// its bent end.
inline bool nearPointer(Point p, double t)
{
    const double a = radians(t), c = std::cos(a), s = std::sin(a), q = std::max(s, 0.0), r3 = 105.0 + 7.0 * q;
    const double x0 = 380.0 + 69.0 * c - LayerLeft, y0 = 210.0 + 56.58 * s - LayerTop;
    const double x1 = 380.0 + r3 * c - LayerLeft, y1 = 210.0 + 9.0 * q + 0.82 * r3 * s - LayerTop;
    const double dx = x1 - x0, dy = y1 - y0;
    const double along = std::clamp(((p.x - x0) * dx + (p.y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - (x0 + along * dx), p.y - (y0 + along * dy)) <= 6.0;
}

// A 760 x 480 memory device context over a 32-bit DIB, filled with one
// colour, as the editor's back buffer.
struct BackBuffer {
    explicit BackBuffer(uint32_t fill)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = hushkit::Editor::Width;
        info.bmiHeader.biHeight = -hushkit::Editor::Height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* memory = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
        bits = static_cast<uint32_t*>(memory);
        previous = SelectObject(dc, bitmap);
        std::fill(bits, bits + hushkit::Editor::Width * hushkit::Editor::Height, fill);
    }
    ~BackBuffer()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    uint32_t at(int x, int y) const
    {
        GdiFlush();
        return bits[y * hushkit::Editor::Width + x] & 0xFFFFFFu;
    }
    editor_test::Capture crop(int left, int top, int width, int height) const
    {
        GdiFlush();
        editor_test::Capture image;
        image.width = width;
        image.height = height;
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x)
                image.pixels.push_back(bits[y * hushkit::Editor::Width + x] & 0xFFFFFFu);
        return image;
    }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* bits = nullptr;
};

// The pixels of a GDI+ bitmap, premultiplied 0xAARRGGBB.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> data;
    uint32_t argb(Point p) const { return data[static_cast<size_t>(p.y) * width + p.x]; }
    uint32_t rgb(Point p) const { return argb(p) & 0xFFFFFFu; }
};

inline Pixels read(Gdiplus::Bitmap& bitmap)
{
    Pixels pixels;
    pixels.width = static_cast<int>(bitmap.GetWidth());
    pixels.height = static_cast<int>(bitmap.GetHeight());
    pixels.data.resize(static_cast<size_t>(pixels.width) * pixels.height);
    Gdiplus::Rect all(0, 0, pixels.width, pixels.height);
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
        return pixels;
    for (int y = 0; y < pixels.height; ++y)
        std::copy_n(reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride),
                    pixels.width, &pixels.data[static_cast<size_t>(y) * pixels.width]);
    bitmap.UnlockBits(&data);
    return pixels;
}

// Writes one premultiplied colour into a rectangle of a GDI+ bitmap.
inline void fillBitmap(Gdiplus::Bitmap& bitmap, int x, int y, int width, int height, uint32_t argb)
{
    Gdiplus::Rect box(x, y, width, height);
    Gdiplus::BitmapData data{};
    ASSERT_EQ(bitmap.LockBits(&box, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &data), Gdiplus::Ok);
    for (int row = 0; row < height; ++row)
        std::fill_n(reinterpret_cast<uint32_t*>(static_cast<BYTE*>(data.Scan0) + row * data.Stride), width, argb);
    bitmap.UnlockBits(&data);
}

// Bounding box of pixels, right and bottom exclusive.
struct Extent {
    int left, top, right, bottom;
};

// Number font of the knob's scale.
inline HFONT numberFont()
{
    return CreateFontW(-16, 0, 0, 0, 700, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

// Bounding box of the pixels within `reach` of `centre` for which
// bright(x, y) holds.
template <typename Bright>
Extent boundingBox(Point centre, int reach, Bright bright)
{
    Extent box{centre.x + reach, centre.y + reach, centre.x - reach, centre.y - reach};
    for (int y = centre.y - reach; y < centre.y + reach; ++y)
        for (int x = centre.x - reach; x < centre.x + reach; ++x)
            if (bright(x, y)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

// A pixel of full white: the middle of the numbers' strokes. The ticks are
// less bright, and the ground, the track and the photo around the numbers
// darker.
inline bool white(uint32_t rgb) { return (rgb & 0xFF) >= 250 && (rgb >> 8 & 0xFF) >= 250 && (rgb >> 16) >= 250; }

// Where GDI puts the white pixels of `text` drawn with the number font over
// the ground into the box (-17, -10)..(17, 12), centred both ways: relative
// to the box's centre (0, 0).
inline Extent textBox(const wchar_t* text)
{
    BackBuffer buffer(Ground);
    HFONT font = numberFont();
    HGDIOBJ previous = SelectObject(buffer.dc, font);
    SetBkMode(buffer.dc, TRANSPARENT);
    SetTextColor(buffer.dc, RGB(255, 255, 255));
    const Point centre{100, 100};
    RECT box{centre.x - 17, centre.y - 10, centre.x + 17, centre.y + 12};
    DrawTextW(buffer.dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(buffer.dc, previous);
    DeleteObject(font);
    Extent found = boundingBox(centre, 20, [&](int x, int y) { return white(buffer.at(x, y)); });
    return {found.left - centre.x, found.top - centre.y, found.right - centre.x, found.bottom - centre.y};
}

// Bounding box of the white pixels of the number near `centre` in a layer,
// in layer coordinates.
inline Extent whiteBox(const Pixels& layer, Point centre)
{
    return boundingBox(centre, 20, [&](int x, int y) { return white(layer.rgb({x, y})); });
}

} // namespace knob_test
