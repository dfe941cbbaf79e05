// Painting of the owner-drawn buttons and the closed combo boxes: a rounded
// panel whose fill and border show hover, press, focus, bypass and the
// compare slot, the control's text, and a chevron on the combo boxes.

#include "Editor.h"

#include "Controller.h"
#include "Palette.h"
#include "Types.h"

#include <gdiplus.h>

namespace hushkit {

namespace {

constexpr float CornerRadius = 7.0f;

struct ControlState {
    bool list, pressed, hot, focused, bypassed, compareLit;
};

COLORREF fillColour(const ControlState& s)
{
    if (s.bypassed)
        return palette::BypassPanel;
    if (s.pressed)
        return palette::PanelPressed;
    return s.hot ? palette::PanelHot : palette::Panel;
}

COLORREF borderColour(const ControlState& s)
{
    if (s.bypassed)
        return palette::BypassBorder;
    return s.compareLit || s.focused || s.hot ? palette::Accent : palette::PanelBorder;
}

// The text a control shows: a list's selected entry, a button's caption.
void controlText(HWND control, bool list, wchar_t (&text)[Editor::TextCapacity])
{
    if (!list) {
        GetWindowTextW(control, text, Editor::TextCapacity);
        return;
    }
    const LRESULT selection = SendMessageW(control, CB_GETCURSEL, 0, 0);
    if (selection != CB_ERR)
        SendMessageW(control, CB_GETLBTEXT, static_cast<WPARAM>(selection), reinterpret_cast<LPARAM>(text));
}

void drawChevron(Gdiplus::Graphics& graphics, float width, float height)
{
    const float x = width - 21.0f;
    const float y = height / 2.0f - 2.0f;
    Gdiplus::Pen pen(Gdiplus::Color(opaqueArgb(palette::Accent)), 1.6f);
    pen.SetStartCap(Gdiplus::LineCapRound);
    pen.SetEndCap(Gdiplus::LineCapRound);
    graphics.DrawLine(&pen, x - 4.0f, y, x, y + 4.0f);
    graphics.DrawLine(&pen, x, y + 4.0f, x + 4.0f, y);
}

} // namespace

void Editor::rounded(Gdiplus::GraphicsPath& path, float x, float y, float width, float height, float radius)
{
    const float d = 2.0f * radius;
    path.AddArc(x, y, d, d, 180.0f, 90.0f);
    path.AddArc(x + width - d, y, d, d, 270.0f, 90.0f);
    path.AddArc(x + width - d, y + height - d, d, d, 0.0f, 90.0f);
    path.AddArc(x, y + height - d, d, d, 90.0f, 90.0f);
    path.CloseFigure();
}

void Editor::drawControl(HWND control, HDC dc, bool pressed)
{
    RECT client;
    GetClientRect(control, &client);
    FillRect(dc, &client, backgroundBrush);

    const int id = GetDlgCtrlID(control);
    ControlState state{};
    state.list = isListId(id);
    state.pressed = pressed;
    state.hot = hotControl == control;
    state.focused = GetFocus() == control;
    state.bypassed = id == BypassButtonId && controller->getParamNormalized(ParamId::Bypass) > 0.5;
    state.compareLit = id == CompareButtonId && compareIsB;

    const auto width = static_cast<float>(client.right);
    const auto height = static_cast<float>(client.bottom);
    {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        Gdiplus::GraphicsPath path(Gdiplus::FillModeAlternate);
        rounded(path, 1.0f, 1.0f, width - 2.0f, height - 2.0f, CornerRadius);
        Gdiplus::SolidBrush fill{Gdiplus::Color(opaqueArgb(fillColour(state)))};
        graphics.FillPath(&fill, &path);
        Gdiplus::Pen border(Gdiplus::Color(opaqueArgb(borderColour(state))), state.focused ? 2.0f : 1.0f);
        graphics.DrawPath(&border, &path);

        graphics.Flush(Gdiplus::FlushIntentionSync);

        wchar_t text[TextCapacity] = {};
        controlText(control, state.list, text);
        SelectObject(dc, bodyFont);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, state.bypassed ? palette::BypassText : palette::Text);
        RECT box = state.list ? RECT{12, 0, client.right - 34, client.bottom}
                              : RECT{3, 0, client.right - 3, client.bottom};
        DrawTextW(dc, text, -1, &box,
                  DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | (state.list ? DT_LEFT : DT_CENTER));

        if (state.list)
            drawChevron(graphics, width, height);
    }
}

} // namespace hushkit
