// The editor window's own painting, double-buffered through an off-screen
// bitmap: background, emblem, title and subtitle, the knob page or the rows
// of the advanced page, and the two level meters. Also the look the window
// gives its child controls: the drop-down list items, the colours of the
// lists and the sliders' background, and the sliders' channel and thumb.

#include "Editor.h"

#include "Controller.h"
#include "Language.h"
#include "Logo.h"
#include "Palette.h"
#include "Params.h"
#include "Types.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cwchar>

namespace hushkit {

using i18n::Key;

namespace {

#define HUSHKIT_WIDE2(text) L##text
#define HUSHKIT_WIDE(text) HUSHKIT_WIDE2(text)
constexpr wchar_t VersionSuffix[] = L" / " HUSHKIT_WIDE(HUSHKIT_VERSION);

constexpr int RowTop = 142;
constexpr int LabelX = 30;
constexpr int ValueX = 580;

constexpr int MeterTop = 144;
constexpr int MeterBottom = 408;
constexpr int MeterWidth = 15;
constexpr int MeterLabelY = 420;
constexpr double MeterRangeDb = 60.0;

struct Meter {
    Steinberg::Vst::ParamID id;
    int x;
    int labelX;
    Key label;
};
constexpr Meter meters[] = {
    {ParamId::InputPeak, 660, 658, Key::MeterIn},
    {ParamId::OutputPeak, 698, 696, Key::MeterOut},
};

void fill(HDC dc, const RECT& box, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

void text(HDC dc, int x, int y, const wchar_t* chars, COLORREF colour)
{
    SetTextColor(dc, colour);
    TextOutW(dc, x, y, chars, static_cast<int>(std::wcslen(chars)));
}

// A row's value as the row shows it: the high-pass corner, the gain in dB or
// a percentage.
void formatRow(int row, double v, wchar_t (&out)[64])
{
    if (row == ParamId::FrequencyFocus)
        std::swprintf(out, 64, L"HP %.0f Hz", plainValue(ParamTable[row], v));
    else if (row == ParamId::OutputGain)
        std::swprintf(out, 64, L"%+.1f dB", plainValue(ParamTable[row], v));
    else
        std::swprintf(out, 64, L"%.0f %%", 100.0 * v);
}

// The emblem scaled into its 32 x 32 box; the pixels are wrapped, not copied.
void drawEmblem(HDC dc)
{
    const std::vector<uint32_t>& pixels = knob::logo();
    Gdiplus::Bitmap emblem(knob::LogoSize, knob::LogoSize, knob::LogoSize * 4, PixelFormat32bppPARGB,
                           reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels.data())));
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.DrawImage(&emblem, 24, 22, 32, 32);
}

// Height of a meter's bar in pixels: -60 dBFS (or less, or not a number) is
// empty, 0 dBFS full.
int meterHeight(double peak)
{
    // A NaN fails the comparison and counts as the floor.
    const double level = peak > 1e-6 ? peak : 1e-6;
    const double fraction = (20.0 * std::log10(level) + MeterRangeDb) / MeterRangeDb;
    return static_cast<int>((MeterBottom - MeterTop) * std::clamp(fraction, 0.0, 1.0));
}

} // namespace

LRESULT Editor::paint()
{
    PAINTSTRUCT ps;
    HDC target = BeginPaint(window, &ps);
    if (!backBufferDc) {
        backBufferDc = CreateCompatibleDC(target);
        backBuffer = CreateCompatibleBitmap(target, Width, Height);
        previousBitmap = SelectObject(backBufferDc, backBuffer);
    }
    HDC dc = backBufferDc;
    const RECT all{0, 0, Width, Height};
    FillRect(dc, &all, backgroundBrush);
    SetBkMode(dc, TRANSPARENT);

    drawEmblem(dc);
    SelectObject(dc, titleFont);
    text(dc, 67, 18, L"Hushkit", palette::Accent);
    SelectObject(dc, bodyFont);
    wchar_t subtitle[128] = {};
    std::swprintf(subtitle, 128, L"%ls%ls", i18n::wide(Key::HeaderTitleAlt), VersionSuffix);
    text(dc, 29, 58, subtitle, palette::Label);

    if (advancedPage)
        paintRows(dc);
    else
        paintKnob(dc);
    paintMeters(dc);

    BitBlt(target, 0, 0, Width, Height, dc, 0, 0, SRCCOPY);
    EndPaint(window, &ps);
    return 0;
}

void Editor::paintRows(HDC dc)
{
    for (int row = 0; row < SliderCount; ++row) {
        const int y = RowTop + RowPitch * row;
        text(dc, LabelX, y, i18n::wide(ParamTable[row].title), palette::Label);
        wchar_t value[64] = {};
        formatRow(row, controller->getParamNormalized(static_cast<Steinberg::Vst::ParamID>(row)), value);
        text(dc, ValueX, y, value, palette::Accent);
    }
}

void Editor::paintKnob(HDC dc)
{
    const double v = controller->getParamNormalized(ParamId::CleanAmount);
    drawKnob(dc, v);
    SelectObject(dc, bodyFont);
    wchar_t percentage[16] = {};
    std::swprintf(percentage, 16, L"%.0f%%", 100.0 * v);
    SetTextColor(dc, palette::Percentage);
    RECT box{575, 387, 630, 409};
    DrawTextW(dc, percentage, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void Editor::paintMeters(HDC dc)
{
    for (const Meter& meter : meters) {
        fill(dc, {meter.x, MeterTop, meter.x + MeterWidth, MeterBottom}, palette::MeterTrough);
        const double v = controller->getParamNormalized(meter.id);
        const int h = meterHeight(v);
        if (h > 0)
            fill(dc, {meter.x, MeterBottom - h, meter.x + MeterWidth, MeterBottom},
                 v >= 1.0 ? palette::MeterClip : palette::MeterBar);
        text(dc, meter.labelX, MeterLabelY, i18n::wide(meter.label), palette::Label);
    }
}

LRESULT Editor::drawItem(WPARAM wParam, LPARAM lParam)
{
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlType == ODT_BUTTON) {
        drawControl(item.hwndItem, item.hDC, (item.itemState & ODS_SELECTED) != 0);
        return TRUE;
    }
    if (item.CtlType != ODT_COMBOBOX)
        return DefWindowProcW(window, WM_DRAWITEM, wParam, lParam);

    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    fill(item.hDC, item.rcItem, selected ? palette::Selection : palette::Panel);
    wchar_t entry[TextCapacity] = {};
    if (item.itemID != static_cast<UINT>(-1))
        SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(entry));
    SelectObject(item.hDC, bodyFont);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, selected ? palette::SelectedText : palette::Text);
    RECT box = item.rcItem;
    box.left += 12;
    DrawTextW(item.hDC, entry, -1, &box, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    return TRUE;
}

LRESULT Editor::measureItem(WPARAM wParam, LPARAM lParam)
{
    auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (item.CtlType != ODT_COMBOBOX)
        return DefWindowProcW(window, WM_MEASUREITEM, wParam, lParam);
    item.itemHeight = ListItemHeight;
    return TRUE;
}

LRESULT Editor::controlColour(UINT msg, WPARAM wParam)
{
    HDC dc = reinterpret_cast<HDC>(wParam);
    const bool list = msg == WM_CTLCOLORLISTBOX;
    SetBkColor(dc, list ? palette::Panel : palette::Ground);
    SetTextColor(dc, list ? palette::Text : palette::SliderText);
    return reinterpret_cast<LRESULT>(list ? panelBrush : backgroundBrush);
}

LRESULT Editor::sliderDraw(WPARAM wParam, LPARAM lParam)
{
    auto& draw = *reinterpret_cast<NMCUSTOMDRAW*>(lParam);
    const UINT_PTR id = draw.hdr.idFrom;
    if (draw.hdr.code != static_cast<UINT>(NM_CUSTOMDRAW) || id < FirstSliderId || id >= FirstSliderId + SliderCount)
        return DefWindowProcW(window, WM_NOTIFY, wParam, lParam);
    if (draw.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw.dwDrawStage != CDDS_ITEMPREPAINT || (draw.dwItemSpec != TBCD_CHANNEL && draw.dwItemSpec != TBCD_THUMB))
        return DefWindowProcW(window, WM_NOTIFY, wParam, lParam);

    Gdiplus::Graphics graphics(draw.hdc);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    RECT thumb{};
    SendMessageW(draw.hdr.hwndFrom, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    const float centreX = static_cast<float>(thumb.left + thumb.right) / 2.0f;
    const float centreY = static_cast<float>(thumb.top + thumb.bottom) / 2.0f - 2.0f;
    if (draw.dwItemSpec == TBCD_CHANNEL) {
        Gdiplus::Pen whole(Gdiplus::Color(opaqueArgb(palette::SliderChannel)), 4.0f);
        Gdiplus::Pen filled(Gdiplus::Color(opaqueArgb(palette::SliderFill)), 4.0f);
        for (Gdiplus::Pen* pen : {&whole, &filled}) {
            pen->SetStartCap(Gdiplus::LineCapRound);
            pen->SetEndCap(Gdiplus::LineCapRound);
        }
        const auto left = static_cast<float>(draw.rc.left);
        graphics.DrawLine(&whole, left, centreY, static_cast<float>(draw.rc.right), centreY);
        graphics.DrawLine(&filled, left, centreY, centreX, centreY);
    } else {
        Gdiplus::SolidBrush brush{Gdiplus::Color(opaqueArgb(palette::Accent))};
        graphics.FillEllipse(&brush, centreX - 6.0f, centreY - 6.0f, 12.0f, 12.0f);
        if (GetFocus() == draw.hdr.hwndFrom) {
            Gdiplus::Pen ring(Gdiplus::Color(opaqueArgb(palette::FocusRing)), 1.0f);
            graphics.DrawEllipse(&ring, centreX - 9.0f, centreY - 9.0f, 18.0f, 18.0f);
        }
    }
    return CDRF_SKIPDEFAULT;
}

} // namespace hushkit
