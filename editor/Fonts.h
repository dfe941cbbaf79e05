#pragma once
// The editor's fonts: one face in three sizes, all made the same way.

#include <windows.h>

namespace hushkit::fonts {

struct Font {
    int height; // character height in pixels
    int weight;
};

constexpr Font Body{14, 400};
constexpr Font Title{30, 600};
constexpr Font KnobNumber{16, 700};

// A new GDI font of the face for `font`; the caller deletes it.
inline HFONT make(Font font)
{
    return CreateFontW(-font.height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

} // namespace hushkit::fonts
