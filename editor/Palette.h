#pragma once
// The editor's colours, each defined once as a GDI colour. GDI takes them as
// they are; GDI+ takes the ARGB value that argb() or opaqueArgb() makes of
// the same definition.

#include <windows.h>

#include <cstdint>

namespace hushkit {

// A GDI colour as the GDI+ ARGB value of the same colour with the given
// alpha (not premultiplied).
constexpr uint32_t argb(COLORREF c, uint32_t alpha)
{
    return alpha << 24 | uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | uint32_t(GetBValue(c));
}

constexpr uint32_t opaqueArgb(COLORREF c) { return argb(c, 0xFF); }

namespace palette {

// Grounds, from the window's ground up to the lit surfaces.
constexpr COLORREF Ground = RGB(12, 20, 33);        // the window, the knob layers
constexpr COLORREF Panel = RGB(19, 33, 50);         // buttons, closed lists, list entries
constexpr COLORREF PanelHot = RGB(27, 45, 65);      // a panel under the mouse
constexpr COLORREF PanelPressed = RGB(29, 55, 80);  // a button being pressed
constexpr COLORREF Selection = RGB(32, 62, 91);     // the selected list entry
constexpr COLORREF PanelBorder = RGB(44, 64, 86);
constexpr COLORREF MeterTrough = RGB(29, 45, 65);
constexpr COLORREF SliderChannel = RGB(36, 55, 75);
constexpr COLORREF KnobTrack = RGB(25, 43, 54);     // the unlit value arc

// The blues.
constexpr COLORREF Accent = RGB(115, 187, 255);     // title, row values, lit borders, chevrons, slider thumbs
constexpr COLORREF SliderFill = RGB(90, 163, 228);  // a slider's channel up to its thumb
constexpr COLORREF MeterBar = RGB(101, 187, 255);
constexpr COLORREF Percentage = RGB(80, 203, 255);  // the knob's value below it
constexpr COLORREF ArcCore = RGB(0, 210, 255);      // the lit value arc
constexpr uint32_t ArcGlowArgb = argb(RGB(0, 212, 255), 0x30);  // its soft glow
constexpr COLORREF FocusRing = RGB(186, 222, 255);  // around the focused slider's thumb

// Texts and marks.
constexpr COLORREF Text = RGB(211, 229, 249);          // control captions, list entries
constexpr COLORREF SelectedText = RGB(147, 205, 255);  // the selected list entry
constexpr COLORREF Label = RGB(171, 191, 216);         // subtitle, row and meter labels
constexpr COLORREF SliderText = RGB(195, 214, 236);
constexpr COLORREF Tick = RGB(225, 233, 239);          // the knob's scale
constexpr COLORREF White = RGB(255, 255, 255);         // the knob's numbers
constexpr COLORREF KnobPointer = RGB(8, 12, 13);

// Warnings: bypass and clipping.
constexpr COLORREF BypassPanel = RGB(48, 36, 25);
constexpr COLORREF BypassBorder = RGB(231, 176, 101);
constexpr COLORREF BypassText = RGB(245, 195, 128);
constexpr COLORREF MeterClip = RGB(255, 100, 105);

// Transparent black, the ground of the pre-rendered arc segments.
constexpr uint32_t TransparentArgb = argb(RGB(0, 0, 0), 0x00);

} // namespace palette

} // namespace hushkit
