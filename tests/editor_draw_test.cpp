// The owner-drawn buttons and closed combo boxes, read back as pixels from
// the screen: fills and borders of every state, text against text drawn with
// the same font, the chevron, hover repaints, and a picture of each page.
//
// Under Wine GDI+ draws shapes without anti-aliasing, so the samples are
// panel interiors and the middle of straight border runs, never corners.

#include "editor_host.h"

#include "Language.h"
#include "Types.h"

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace Steinberg;
using namespace editor_test;
using hushkit::Editor;
using hushkit::ParamId;

namespace {

constexpr uint32_t Background = rgb(12, 20, 33);
constexpr uint32_t FillNormal = rgb(19, 33, 50);
constexpr uint32_t FillHot = rgb(27, 45, 65);
constexpr uint32_t FillPressed = rgb(29, 55, 80);
constexpr uint32_t FillBypassed = rgb(48, 36, 25);
constexpr uint32_t BorderNormal = rgb(44, 64, 86);
constexpr uint32_t BorderLit = rgb(115, 187, 255);
constexpr uint32_t BorderBypassed = rgb(231, 176, 101);
constexpr uint32_t Chevron = rgb(115, 187, 255);

// A bitmap of a control's size, filled with one colour, that a test draws
// the expected picture into.
class Reference {
public:
    Reference(int width, int height, uint32_t fill)
        : screen(GetDC(nullptr)), dc(CreateCompatibleDC(screen)),
          bitmap(CreateCompatibleBitmap(screen, width, height)), previous(SelectObject(dc, bitmap))
    {
        HBRUSH brush = CreateSolidBrush(RGB(fill >> 16, (fill >> 8) & 0xFF, fill & 0xFF));
        RECT all{0, 0, width, height};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Reference()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    uint32_t at(int x, int y) const
    {
        const COLORREF c = GetPixel(dc, x, y);
        return rgb(GetRValue(c), GetGValue(c), GetBValue(c));
    }

    HDC screen, dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

// What a panel looks like at the middle of its top and left edges and
// inside, clear of the text.
struct Panel {
    uint32_t fill, border;
    int borderWidth;
};

class DrawTest : public AttachedEditor {
protected:
    void SetUp() override
    {
        AttachedEditor::SetUp();
        SetFocus(editor->window);
        paintNow(hostWindow);
    }

    Capture shot()
    {
        pump(40);
        return capture(editor->window);
    }

    static void expectPanel(const Capture& image, HWND control, const Panel& expected)
    {
        const Box box = childBox(control);
        const int midX = box.width / 2, midY = box.height / 2;
        const uint32_t outside = expected.borderWidth == 2 ? expected.border : Background;
        EXPECT_EQ(childPixel(image, control, 6, midY), expected.fill) << "fill";
        EXPECT_EQ(childPixel(image, control, midX, 2), expected.fill) << "fill below the top edge";
        EXPECT_EQ(childPixel(image, control, midX, 1), expected.border) << "top edge";
        EXPECT_EQ(childPixel(image, control, 1, midY), expected.border) << "left edge";
        EXPECT_EQ(childPixel(image, control, midX, 0), outside) << "above the top edge";
        EXPECT_EQ(childPixel(image, control, 0, midY), outside) << "left of the left edge";
        EXPECT_EQ(childPixel(image, control, 0, 0), Background) << "corner";
    }

    void toAdvancedPage()
    {
        SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
        SetFocus(editor->window);
        paintNow(hostWindow);
    }

    // Text drawn the way the control should draw it, over its fill, into a
    // bitmap of the control's size; compared inside the border.
    void expectText(const Capture& image, HWND control, const wchar_t* text, const RECT& box, UINT align,
                    COLORREF colour, uint32_t fill)
    {
        const Box place = childBox(control);
        Reference reference(place.width, place.height, fill);
        SelectObject(reference.dc, editor->bodyFont);
        SetBkMode(reference.dc, TRANSPARENT);
        SetTextColor(reference.dc, colour);
        RECT textBox = box;
        DrawTextW(reference.dc, text, -1, &textBox, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | align);
        // Inside the panel, clear of its rounded corners and of the chevron.
        const int right = std::min<int>(box.right, place.width - 8);
        int differing = 0, inked = 0;
        for (int y = 3; y < place.height - 3; ++y)
            for (int x = 8; x < right; ++x) {
                differing += childPixel(image, control, x, y) != reference.at(x, y);
                inked += reference.at(x, y) != fill;
            }
        EXPECT_EQ(differing, 0) << "text pixels differ";
        EXPECT_GT(inked, 20) << "the reference shows text";
    }
};

} // namespace

TEST_F(DrawTest, ButtonFillAndBorderFollowItsState)
{
    HWND button = editor->bypassButton;
    expectPanel(shot(), button, {FillNormal, BorderNormal, 1});

    moveMouseTo(editor->window, 300, 438);
    ASSERT_EQ(editor->hotControl, button);
    expectPanel(shot(), button, {FillHot, BorderLit, 1});

    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    expectPanel(shot(), button, {FillPressed, BorderLit, 1});
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
    parkMouse();
    ASSERT_TRUE(pumpUntil([&] { return editor->hotControl == nullptr; }));
    expectPanel(shot(), button, {FillNormal, BorderNormal, 1});

    SetFocus(button);
    expectPanel(shot(), button, {FillNormal, BorderLit, 2});
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    expectPanel(shot(), button, {FillPressed, BorderLit, 2});
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
}

// While the effect is bypassed the button stays brown and amber whatever
// else holds; focus still widens its border.
TEST_F(DrawTest, BypassedButtonStaysAmber)
{
    HWND button = editor->bypassButton;
    set(ParamId::Bypass, 1.0);
    tick();
    expectPanel(shot(), button, {FillBypassed, BorderBypassed, 1});

    moveMouseTo(editor->window, 300, 438);
    ASSERT_EQ(editor->hotControl, button);
    expectPanel(shot(), button, {FillBypassed, BorderBypassed, 1});
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    expectPanel(shot(), button, {FillBypassed, BorderBypassed, 1});
    SetFocus(button);
    expectPanel(shot(), button, {FillBypassed, BorderBypassed, 2});
    SendMessageW(button, BM_SETSTATE, FALSE, 0);

    // Exactly one half is not bypassed.
    set(ParamId::Bypass, 0.5);
    tick();
    expectPanel(shot(), button, {FillHot, BorderLit, 2});
}

TEST_F(DrawTest, CompareButtonIsLitWhileSlotBIsActive)
{
    toAdvancedPage();
    HWND button = editor->compareButton;
    expectPanel(shot(), button, {FillNormal, BorderNormal, 1});
    editor->compareIsB = true;
    InvalidateRect(button, nullptr, FALSE);
    expectPanel(shot(), button, {FillNormal, BorderLit, 1});
    // The lit border is the compare button's alone.
    expectPanel(shot(), editor->resetButton, {FillNormal, BorderNormal, 1});
}

TEST_F(DrawTest, ClosedListsArePanelsWithTheirStates)
{
    expectPanel(shot(), editor->modeList, {FillNormal, BorderNormal, 1});
    SetFocus(editor->modeList);
    expectPanel(shot(), editor->modeList, {FillNormal, BorderLit, 2});
    SetFocus(editor->window);
    moveMouseTo(editor->languageList, 4, 10);
    expectPanel(shot(), editor->languageList, {FillHot, BorderLit, 1});
}

// A closed list that loses the focus, to another list or to the window, is
// repainted without its focus ring.
TEST_F(DrawTest, ClosedListLosesItsFocusRingWithTheFocus)
{
    auto expectFocused = [&](const Capture& image, HWND list, bool focused) {
        SCOPED_TRACE(testing::Message() << "list " << GetDlgCtrlID(list) << (focused ? " focused" : " unfocused"));
        expectPanel(image, list, focused ? Panel{FillNormal, BorderLit, 2} : Panel{FillNormal, BorderNormal, 1});
    };
    toAdvancedPage();
    const HWND lists[] = {editor->profileList, editor->modeList, editor->languageList};
    HWND previous = nullptr;
    for (HWND list : lists) {
        SetFocus(list);
        const Capture image = shot();
        expectFocused(image, list, true);
        if (previous)
            expectFocused(image, previous, false);
        previous = list;
    }
    SetFocus(editor->window);
    expectFocused(shot(), previous, false);
}

TEST_F(DrawTest, HoverMovingBetweenButtonsRepaintsBoth)
{
    moveMouseTo(editor->pageButton, 10, 16);
    Capture first = shot();
    expectPanel(first, editor->pageButton, {FillHot, BorderLit, 1});
    expectPanel(first, editor->bypassButton, {FillNormal, BorderNormal, 1});

    moveMouseTo(editor->bypassButton, 10, 16);
    Capture second = shot();
    expectPanel(second, editor->pageButton, {FillNormal, BorderNormal, 1});
    expectPanel(second, editor->bypassButton, {FillHot, BorderLit, 1});
}

TEST_F(DrawTest, ListChevronAndEmptySelection)
{
    HWND list = editor->modeList;
    RECT client;
    GetClientRect(list, &client);
    const int x = client.right - 21;
    const int y = static_cast<int>(std::floor(client.bottom / 2.0 - 2.0));
    auto expectChevron = [&](const Capture& image) {
        EXPECT_EQ(childPixel(image, list, x, y + 4), Chevron) << "tip";
        EXPECT_EQ(childPixel(image, list, x - 4, y + 1), Chevron) << "left arm";
        EXPECT_EQ(childPixel(image, list, x + 4, y + 1), Chevron) << "right arm";
        EXPECT_EQ(childPixel(image, list, x, y), FillNormal) << "between the arms";
        EXPECT_EQ(childPixel(image, list, x, y + 7), FillNormal) << "below the tip";
        EXPECT_EQ(childPixel(image, list, x - 8, y + 4), FillNormal) << "left of the chevron";
        EXPECT_EQ(childPixel(image, list, x + 8, y + 4), FillNormal) << "right of the chevron";
    };
    auto textArea = [&](const Capture& image) {
        int inked = 0;
        for (int row = 3; row < client.bottom - 3; ++row)
            for (int column = 12; column < client.right - 34; ++column)
                inked += childPixel(image, list, column, row) != FillNormal;
        return inked;
    };
    // The chevron as the test draws it: two round-capped strokes of 1.6
    // meeting 4 pixels below the apex point.
    auto expectSameChevron = [&](const Capture& image) {
        Reference reference(client.right, client.bottom, FillNormal);
        {
            Gdiplus::Graphics graphics(reference.dc);
            graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
            Gdiplus::Pen pen(Gdiplus::Color(0xFF73BBFF), 1.6f);
            pen.SetStartCap(Gdiplus::LineCapRound);
            pen.SetEndCap(Gdiplus::LineCapRound);
            const auto cx = static_cast<float>(client.right) - 21.0f;
            const auto cy = static_cast<float>(client.bottom) / 2.0f - 2.0f;
            graphics.DrawLine(&pen, cx - 4.0f, cy, cx, cy + 4.0f);
            graphics.DrawLine(&pen, cx, cy + 4.0f, cx + 4.0f, cy);
        }
        int differing = 0;
        for (int row = 4; row < client.bottom - 4; ++row)
            for (int column = client.right - 32; column < client.right - 10; ++column)
                differing += childPixel(image, list, column, row) != reference.at(column, row);
        EXPECT_EQ(differing, 0);
    };
    Capture selected = shot();
    expectChevron(selected);
    expectSameChevron(selected);
    EXPECT_GT(textArea(selected), 20);

    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Capture empty = shot();
    expectChevron(empty);
    expectPanel(empty, list, {FillNormal, BorderNormal, 1});
    EXPECT_EQ(textArea(empty), 0);
}

// A closed list prints itself into a given device context exactly as it
// paints itself on screen.
TEST_F(DrawTest, ClosedListPrintsAsItPaints)
{
    HWND list = editor->profileList;
    toAdvancedPage();
    const Capture image = shot();
    RECT client;
    GetClientRect(list, &client);
    Reference printed(client.right, client.bottom, rgb(255, 0, 255));
    SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(printed.dc), PRF_CLIENT);
    int differing = 0;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x)
            differing += printed.at(x, y) != childPixel(image, list, x, y);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(printed.at(6, client.bottom / 2), FillNormal);
}

TEST_F(DrawTest, TextsMatchTextDrawnWithTheBodyFont)
{
    RECT client;
    GetClientRect(editor->bypassButton, &client);
    expectText(shot(), editor->bypassButton, L"Effect ON", {3, 0, client.right - 3, client.bottom}, DT_CENTER,
               RGB(211, 229, 249), FillNormal);

    set(ParamId::Bypass, 1.0);
    tick();
    expectText(shot(), editor->bypassButton, L"Effect OFF", {3, 0, client.right - 3, client.bottom}, DT_CENTER,
               RGB(245, 195, 128), FillBypassed);

    // An ampersand is a plain character.
    SetWindowTextW(editor->pageButton, L"A&B");
    GetClientRect(editor->pageButton, &client);
    expectText(shot(), editor->pageButton, L"A&B", {3, 0, client.right - 3, client.bottom}, DT_CENTER,
               RGB(211, 229, 249), FillNormal);

    // A list shows its selected entry from x 12.
    GetClientRect(editor->modeList, &client);
    SendMessageW(editor->modeList, CB_SETCURSEL, 2, 0);
    Capture image = shot();
    expectText(image, editor->modeList, L"Live DSP", {12, 0, client.right - 34, client.bottom}, DT_LEFT,
               RGB(211, 229, 249), FillNormal);
}

// Pictures of both pages in English and Brazilian Portuguese, for looking at.
TEST_F(DrawTest, SavePagePictures)
{
    set(ParamId::InputPeak, 0.5);
    set(ParamId::OutputPeak, 0.25);
    for (int language : {0, 1}) {
        hushkit::i18n::setLanguage(language, false);
        tick();
        const std::wstring code = language == 0 ? L"en" : L"pt-BR";
        for (const wchar_t* page : {L"main", L"advanced"}) {
            paintNow(hostWindow);
            const std::wstring path = shotFolder() + L"/editor-" + page + L"-" + code + L".png";
            EXPECT_TRUE(savePng(shot(), path));
            SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
        }
    }
    hushkit::i18n::setLanguage(0, false);
}
