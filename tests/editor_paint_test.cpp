// The editor window's own painting, read back from the screen: meter bars
// and their colours, the advanced rows and the knob percentage against text
// drawn with the same font, header and labels in two languages, what each
// page shows, the sliders' channel, thumb and focus ring, the drop-down list
// items, the colour messages, that an idle refresh does not repaint, the
// fonts' own settings and the emblem's scaling.
//
// Under Wine GDI+ draws shapes without anti-aliasing, so shapes are sampled
// in their interiors; GDI fills and texts are compared exactly.

#include "editor_host.h"

#include "Language.h"
#include "Params.h"
#include "Types.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

// The program is linked with the import pointer of DrawTextW wrapped, so
// that the tests see each text drawn with it and the settings of the font
// it was drawn in (the knob makes its number font for one drawing only);
// and with GDI+'s drawing of an image into a whole-pixel box wrapped, to see
// the interpolation each image is scaled with.
extern "C" decltype(&DrawTextW) __real___imp_DrawTextW;
extern "C" Gdiplus::GpStatus WINAPI __real_GdipDrawImageRectI(Gdiplus::GpGraphics*, Gdiplus::GpImage*, INT, INT,
                                                              INT, INT);
namespace {
struct DrawnText {
    std::wstring text;
    LOGFONTW font;
};
std::vector<DrawnText> drawnTexts;

struct DrawnImage {
    UINT width, height;
    editor_test::Box box;
    Gdiplus::InterpolationMode mode;
};
std::vector<DrawnImage> drawnImages;

LOGFONTW settings(HGDIOBJ font)
{
    LOGFONTW logical{};
    GetObjectW(font, sizeof(logical), &logical);
    return logical;
}

int WINAPI recordDrawText(HDC dc, LPCWSTR text, int count, LPRECT box, UINT format)
{
    drawnTexts.push_back({count < 0 ? std::wstring(text) : std::wstring(text, static_cast<size_t>(count)),
                          settings(GetCurrentObject(dc, OBJ_FONT))});
    return __real___imp_DrawTextW(dc, text, count, box, format);
}
} // namespace
extern "C" {
decltype(&DrawTextW) __wrap___imp_DrawTextW = recordDrawText;

Gdiplus::GpStatus WINAPI __wrap_GdipDrawImageRectI(Gdiplus::GpGraphics* graphics, Gdiplus::GpImage* image, INT x,
                                                   INT y, INT width, INT height)
{
    DrawnImage drawn{0, 0, {x, y, width, height}, Gdiplus::InterpolationModeInvalid};
    Gdiplus::DllExports::GdipGetImageWidth(image, &drawn.width);
    Gdiplus::DllExports::GdipGetImageHeight(image, &drawn.height);
    Gdiplus::DllExports::GdipGetInterpolationMode(graphics, &drawn.mode);
    drawnImages.push_back(drawn);
    return __real_GdipDrawImageRectI(graphics, image, x, y, width, height);
}
}

using namespace Steinberg;
using namespace editor_test;
using hushkit::Editor;
using hushkit::ParamId;
using hushkit::i18n::Key;
using Steinberg::Vst::ParamID;

namespace {

constexpr uint32_t Background = rgb(12, 20, 33);
constexpr uint32_t Trough = rgb(29, 45, 65);
constexpr uint32_t Bar = rgb(101, 187, 255);
constexpr uint32_t Clip = rgb(255, 100, 105);
constexpr uint32_t Thumb = rgb(115, 187, 255);
constexpr uint32_t Ring = rgb(186, 222, 255);
constexpr uint32_t Channel = rgb(36, 55, 75);
constexpr uint32_t ChannelFilled = rgb(90, 163, 228);
constexpr COLORREF LabelColour = RGB(171, 191, 216);
constexpr COLORREF ValueColour = RGB(115, 187, 255);

constexpr int RowY(int row) { return 142 + 43 * row; }

uint32_t pixelOf(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

// A window-sized bitmap of the background colour that expected texts are
// drawn into, for comparing with a capture region by region.
class Reference {
public:
    explicit Reference(uint32_t ground = Background, int width = Editor::Width, int height = Editor::Height)
    {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        previous = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(RGB(ground >> 16, (ground >> 8) & 0xFF, ground & 0xFF));
        RECT all{0, 0, width, height};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        SetBkMode(dc, TRANSPARENT);
    }
    ~Reference()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    void text(HFONT font, COLORREF colour, int x, int y, const std::wstring& chars)
    {
        SelectObject(dc, font);
        SetTextColor(dc, colour);
        TextOutW(dc, x, y, chars.c_str(), static_cast<int>(chars.size()));
    }
    uint32_t at(int x, int y) const { return pixelOf(GetPixel(dc, x, y)); }

    HDC dc;

private:
    HBITMAP bitmap;
    HGDIOBJ previous;
};

// Every pixel of the region matches the reference, and the reference has
// enough ink there to be a text.
void expectSame(const Capture& image, const Reference& reference, const RECT& region, const std::string& what,
                uint32_t ground = Background)
{
    int differing = 0, inked = 0;
    for (int y = region.top; y < region.bottom; ++y)
        for (int x = region.left; x < region.right; ++x) {
            const uint32_t want = reference.at(x, y);
            differing += image.at(x, y) != want;
            inked += want != ground;
        }
    EXPECT_EQ(differing, 0) << what << ": pixels differ from the reference";
    EXPECT_GT(inked, 15) << what << ": the reference shows text";
}

int countColour(const Capture& image, const RECT& region, uint32_t colour)
{
    int count = 0;
    for (int y = region.top; y < region.bottom; ++y)
        for (int x = region.left; x < region.right; ++x)
            count += image.at(x, y) == colour;
    return count;
}

int countNot(const Capture& image, const RECT& region, uint32_t colour)
{
    const int area = (region.right - region.left) * (region.bottom - region.top);
    return area - countColour(image, region, colour);
}

class PaintTest : public AttachedEditor {
protected:
    void SetUp() override
    {
        AttachedEditor::SetUp();
        SetFocus(editor->window);
        paintNow(hostWindow);
    }

    void TearDown() override
    {
        hushkit::i18n::setLanguage(0, false);
        AttachedEditor::TearDown();
    }

    Capture shot()
    {
        paintNow(hostWindow);
        return capture(editor->window);
    }

    void toAdvancedPage()
    {
        SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
        SetFocus(editor->window);
        paintNow(hostWindow);
        ASSERT_TRUE(editor->advancedPage);
    }

    // Meter values go in as the processor's peaks do; the base class's
    // setter takes a NaN, which the controller's own refuses.
    void setMeter(ParamID id, double value) { host.controller->EditController::setParamNormalized(id, value); }

    void selectLanguage(int language)
    {
        hushkit::i18n::setLanguage(language, false);
        tick();
    }
};

struct MeterCase {
    double peak;
    int height;
    uint32_t colour;
};

// The bar of one meter: every pixel of the trough from the top down is
// trough, then bar; the columns beside it are background.
void expectMeter(const Capture& image, int x0, int height, uint32_t colour, const std::string& what)
{
    int wrong = 0;
    for (int y = 144; y < 408; ++y)
        for (int x = x0; x < x0 + 15; ++x)
            wrong += image.at(x, y) != (y >= 408 - height ? colour : Trough);
    EXPECT_EQ(wrong, 0) << what << ": bar of " << height << " pixels";
    for (int y : {143, 200, 407})
        EXPECT_TRUE(image.at(x0 - 1, y) == Background && image.at(x0 + 15, y) == Background) << what << " at " << y;
    EXPECT_EQ(image.at(x0 + 7, 143), Background) << what << ": above the trough";
    EXPECT_EQ(image.at(x0 + 7, 408), Background) << what << ": below the trough";
}

} // namespace

// -60 dBFS is empty, 0 dBFS full, 4.4 pixels per dB; full scale is red.
TEST_F(PaintTest, MetersShowPeaksFromMinus60ToZeroDecibels)
{
    const MeterCase cases[] = {
        {1.0, 264, Clip},
        {0.9999, 263, Bar},
        {0.5, 237, Bar},
        {0.25, 211, Bar},
        {0.001, 0, Bar},
        {0.0, 0, Bar},
        {std::numeric_limits<double>::quiet_NaN(), 0, Bar},
    };
    for (const MeterCase& c : cases) {
        // Each meter reads its own parameter: the other one holds -6 dB.
        setMeter(ParamId::InputPeak, c.peak);
        setMeter(ParamId::OutputPeak, 0.5);
        Capture image = shot();
        expectMeter(image, 660, c.height, c.colour, "input " + std::to_string(c.peak));
        expectMeter(image, 698, 237, Bar, "output beside input " + std::to_string(c.peak));

        setMeter(ParamId::InputPeak, 0.5);
        setMeter(ParamId::OutputPeak, c.peak);
        image = shot();
        expectMeter(image, 660, 237, Bar, "input beside output " + std::to_string(c.peak));
        expectMeter(image, 698, c.height, c.colour, "output " + std::to_string(c.peak));
    }
}

// Labels and values of the advanced rows, against the same texts drawn with
// the body font at the same places.
TEST_F(PaintTest, AdvancedRowsShowLabelsAndFormattedValues)
{
    struct RowCase {
        ParamID id;
        double value;
        const wchar_t* text;
    };
    const RowCase cases[] = {
        {ParamId::OutputGain, 0.0, L"-18.0 dB"},
        {ParamId::OutputGain, 0.5, L"+0.0 dB"},
        {ParamId::OutputGain, 1.0, L"+18.0 dB"},
        {ParamId::FrequencyFocus, 0.0, L"HP 35 Hz"},
        {ParamId::FrequencyFocus, double(hushkit::Defaults[ParamId::FrequencyFocus]), L"HP 50 Hz"},
        {ParamId::FrequencyFocus, 1.0, L"HP 180 Hz"},
        {ParamId::OriginalAmbience, 0.0, L"0 %"},
        {ParamId::OriginalAmbience, 1.0, L"100 %"},
        {ParamId::DryWet, 0.0, L"0 %"},
        {ParamId::CleanAmount, 1.0, L"100 %"},
    };
    toAdvancedPage();
    for (const RowCase& c : cases) {
        set(c.id, c.value);
        const int y = RowY(static_cast<int>(c.id));
        Reference reference;
        reference.text(editor->bodyFont, ValueColour, 580, y, c.text);
        // The region reaches the meters and, for the last row, covers the
        // main page's percentage box.
        expectSame(shot(), reference, {570, y - 4, 658, y + 22},
                   "row " + std::to_string(c.id) + " at " + std::to_string(c.value));
    }

    const Capture image = shot();
    Reference labels;
    for (int row = 0; row < Editor::SliderCount; ++row)
        labels.text(editor->bodyFont, LabelColour, 30, RowY(row), hushkit::i18n::wide(static_cast<Key>(row)));
    for (int row = 0; row < Editor::SliderCount; ++row)
        expectSame(image, labels, {20, RowY(row) - 4, 200, RowY(row) + 22}, "label " + std::to_string(row));
}

TEST_F(PaintTest, KnobPercentageIsCentredInItsBox)
{
    const std::pair<double, const wchar_t*> cases[] = {{0.0, L"0%"}, {1.0, L"100%"}, {0.5, L"50%"}};
    for (const auto& [value, text] : cases) {
        set(ParamId::CleanAmount, value);
        Reference reference;
        SelectObject(reference.dc, editor->bodyFont);
        SetTextColor(reference.dc, RGB(80, 203, 255));
        RECT box{575, 387, 630, 409};
        DrawTextW(reference.dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        expectSame(shot(), reference, {602, 385, 640, 412}, "percentage right of the knob");
        const Capture image = shot();
        int differing = 0;
        for (int y = 385; y < 412; ++y)
            for (int x = 575; x < 602; ++x)
                differing += reference.at(x, y) != Background && image.at(x, y) != reference.at(x, y);
        EXPECT_EQ(differing, 0) << "percentage ink over the knob's corner";
    }
}

// Title, subtitle with the version and the meter labels, in English and in
// Brazilian Portuguese; and the emblem inside its box.
TEST_F(PaintTest, HeaderAndMeterLabelsFollowTheLanguage)
{
    struct LanguageCase {
        int language;
        const wchar_t *subtitle, *in, *out;
    };
    const LanguageCase cases[] = {
        {0, L"VOICE CLEANUP / 0.7.4", L"IN", L"OUT"},
        {1, L"LIMPEZA DE VOZ / 0.7.4", L"ENT", L"SA\u00CD"},
    };
    for (const LanguageCase& c : cases) {
        selectLanguage(c.language);
        Reference reference;
        reference.text(editor->titleFont, RGB(115, 187, 255), 67, 18, L"Hushkit");
        reference.text(editor->bodyFont, LabelColour, 29, 58, c.subtitle);
        reference.text(editor->bodyFont, LabelColour, 658, 420, c.in);
        reference.text(editor->bodyFont, LabelColour, 696, 420, c.out);
        const Capture image = shot();
        const std::string language = std::to_string(c.language);
        expectSame(image, reference, {60, 10, 232, 56}, "title " + language);
        expectSame(image, reference, {20, 56, 232, 80}, "subtitle " + language);
        expectSame(image, reference, {650, 414, 694, 440}, "input label " + language);
        expectSame(image, reference, {694, 414, 760, 440}, "output label " + language);

        EXPECT_GT(countNot(image, {24, 22, 56, 54}, Background), 150) << "emblem";
        EXPECT_EQ(countNot(image, {0, 0, 24, 80}, Background), 0) << "left of the emblem";
        EXPECT_EQ(countNot(image, {24, 0, 60, 22}, Background), 0) << "above the emblem";
        EXPECT_EQ(countNot(image, {24, 54, 60, 57}, Background), 0) << "below the emblem";
        EXPECT_EQ(countNot(image, {56, 22, 60, 54}, Background), 0) << "right of the emblem";
    }
}

TEST_F(PaintTest, KnobOnlyOnTheMainPageRowsOnlyOnTheAdvancedPage)
{
    // Percentages that reach past the knob's area.
    for (ParamID id : {0u, 1u, 2u, 3u, 5u})
        set(id, 1.0);
    const RECT knobFace{330, 160, 430, 260};
    const RECT rowLabels{20, 138, 160, 430};
    const RECT rowValues{601, 138, 658, RowY(5) + 22};

    Capture main = shot();
    EXPECT_GT(countNot(main, knobFace, Background), 5000) << "the knob on the main page";
    EXPECT_EQ(countNot(main, rowLabels, Background), 0) << "row labels on the main page";
    EXPECT_EQ(countNot(main, rowValues, Background), 0) << "row values on the main page";

    toAdvancedPage();
    Capture advanced = shot();
    EXPECT_GT(countNot(advanced, rowLabels, Background), 500) << "row labels on the advanced page";
    EXPECT_GT(countNot(advanced, rowValues, Background), 100) << "row values on the advanced page";
    // Between the sliders the window's own painting shows: background only.
    for (int gap = 0; gap < Editor::SliderCount - 1; ++gap) {
        const int top = 135 + 43 * gap + 30;
        EXPECT_EQ(countNot(advanced, {200, top, 560, top + 13}, Background), 0) << "gap below slider " << gap;
    }
    // Both pages: title and meters.
    for (const Capture* image : {&main, &advanced}) {
        EXPECT_GT(countNot(*image, {67, 18, 180, 54}, Background), 200);
        EXPECT_EQ(image->at(667, 150), Trough);
        EXPECT_EQ(image->at(705, 150), Trough);
    }
}

// The sliders' channel is filled from the left to the thumb's centre; the
// ring around the thumb shows on the focused slider only.
TEST_F(PaintTest, SliderChannelThumbAndFocusRing)
{
    toAdvancedPage();
    set(ParamId::NoiseReduction, 0.25);
    set(ParamId::DryWet, 0.75);
    tick();
    SetFocus(editor->sliders[2]);
    Capture image = shot();

    for (int i = 0; i < Editor::SliderCount; ++i) {
        HWND slider = editor->sliders[i];
        RECT thumb{}, channel{};
        SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        const float cx = static_cast<float>(thumb.left + thumb.right) / 2.0f;
        const float cy = static_cast<float>(thumb.top + thumb.bottom) / 2.0f - 2.0f;
        const int x = static_cast<int>(cx), y = static_cast<int>(cy);
        const std::string what = "slider " + std::to_string(i);
        EXPECT_EQ(childPixel(image, slider, x, y), Thumb) << what << ": thumb centre";
        EXPECT_EQ(childPixel(image, slider, x, y + 4), Thumb) << what << ": thumb, low";
        EXPECT_EQ(childPixel(image, slider, 2, 2), Background) << what << ": background";
        EXPECT_EQ(childPixel(image, slider, x, y + 11), Background) << what << ": below the thumb";
        if (x - 12 > channel.left + 3) {
            EXPECT_EQ(childPixel(image, slider, (channel.left + x - 9) / 2, y), ChannelFilled) << what << ": filled";
        }
        if (x + 12 < channel.right - 3) {
            EXPECT_EQ(childPixel(image, slider, (channel.right + x + 9) / 2, y), Channel) << what << ": unfilled";
        }

        const Box box = childBox(slider);
        const RECT around{box.x + x - 12, box.y + y - 12, box.x + x + 13, box.y + y + 13};
        if (i == 2)
            EXPECT_GT(countColour(image, around, Ring), 30) << what << ": focus ring";
        else
            EXPECT_EQ(countColour(image, around, Ring), 0) << what << ": no focus ring";
    }

    SetFocus(editor->window);
    image = shot();
    EXPECT_EQ(countColour(image, {0, 0, Editor::Width, Editor::Height}, Ring), 0) << "no ring without focus";
}

// Drop-down list items drawn through the window's item messages, into a
// bitmap of the test's own.
TEST_F(PaintTest, ListItemsShowBackgroundAndText)
{
    struct ItemCase {
        UINT index;
        bool selected;
        COLORREF back, text;
    };
    const ItemCase cases[] = {
        {1, false, RGB(19, 33, 50), RGB(211, 229, 249)},
        {2, true, RGB(32, 62, 91), RGB(147, 205, 255)},
        {static_cast<UINT>(-1), true, RGB(32, 62, 91), 0},
        {static_cast<UINT>(-1), false, RGB(19, 33, 50), 0},
    };
    const Key entries[] = {Key::ModeNeuralLive, Key::ModeNeuralClassic, Key::ModeLiveDsp};
    for (const ItemCase& c : cases) {
        Reference target(rgb(255, 0, 255), 200, 30);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_COMBOBOX;
        item.CtlID = Editor::ModeListId;
        item.itemID = c.index;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = c.selected ? ODS_SELECTED : 0;
        item.hwndItem = editor->modeList;
        item.hDC = target.dc;
        item.rcItem = {0, 0, 200, 30};
        EXPECT_EQ(SendMessageW(editor->window, WM_DRAWITEM, Editor::ModeListId, reinterpret_cast<LPARAM>(&item)),
                  TRUE);

        Reference expected(pixelOf(c.back), 200, 30);
        if (c.index != static_cast<UINT>(-1)) {
            SelectObject(expected.dc, editor->bodyFont);
            SetTextColor(expected.dc, c.text);
            RECT box{12, 0, 200, 30};
            DrawTextW(expected.dc, hushkit::i18n::wide(entries[c.index]), -1, &box,
                      DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
        int differing = 0, inked = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 200; ++x) {
                differing += target.at(x, y) != expected.at(x, y);
                inked += expected.at(x, y) != pixelOf(c.back);
            }
        const std::string what = "item " + std::to_string(static_cast<int>(c.index));
        EXPECT_EQ(differing, 0) << what;
        EXPECT_EQ(inked > 15, c.index != static_cast<UINT>(-1)) << what << ": text only for a real item";
    }

    for (UINT index : {0u, 2u, static_cast<UINT>(-1)}) {
        MEASUREITEMSTRUCT measure{ODT_COMBOBOX, Editor::ProfileListId, index, 0, 0, 0};
        EXPECT_EQ(SendMessageW(editor->window, WM_MEASUREITEM, Editor::ProfileListId,
                               reinterpret_cast<LPARAM>(&measure)),
                  TRUE);
        EXPECT_EQ(measure.itemHeight, 30u);
    }
}

TEST_F(PaintTest, ColourMessagesSetListAndSliderColours)
{
    HDC dc = GetDC(editor->window);
    EXPECT_EQ(SendMessageW(editor->window, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(editor->modeList)),
              reinterpret_cast<LRESULT>(editor->panelBrush));
    EXPECT_EQ(GetBkColor(dc), RGB(19, 33, 50));
    EXPECT_EQ(GetTextColor(dc), RGB(211, 229, 249));
    EXPECT_EQ(SendMessageW(editor->window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(editor->sliders[0])),
              reinterpret_cast<LRESULT>(editor->backgroundBrush));
    EXPECT_EQ(GetBkColor(dc), RGB(12, 20, 33));
    EXPECT_EQ(GetTextColor(dc), RGB(195, 214, 236));
    ReleaseDC(editor->window, dc);
}

// The 16 ms refresh repaints only when a polled value changed.
TEST_F(PaintTest, IdleRefreshDoesNotRepaint)
{
    tick();
    paintNow(hostWindow);
    for (int i = 0; i < 5; ++i) {
        tick();
        EXPECT_FALSE(GetUpdateRect(editor->window, nullptr, FALSE)) << "refresh " << i << " with nothing changed";
    }
    setMeter(ParamId::OutputPeak, 0.3);
    tick();
    EXPECT_TRUE(GetUpdateRect(editor->window, nullptr, FALSE)) << "refresh after a meter change";
}

// Body, title and the knob's numbers: "Segoe UI" at a character height
// (a negative height) and weight of their own, the rest as CreateFontW's
// defaults with ClearType.
TEST_F(PaintTest, FontsHaveTheirFaceHeightAndWeight)
{
    // The knob draws its numbers when it builds its background, once per
    // attachment.
    editor->removed();
    drawnTexts.clear();
    ASSERT_EQ(editor->attached(hostWindow, "HWND"), kResultOk);
    paintNow(hostWindow);

    struct FontCase {
        std::string what;
        LOGFONTW font;
        LONG height, weight;
    };
    std::vector<FontCase> cases = {
        {"body", settings(editor->bodyFont), -14, 400},
        {"title", settings(editor->titleFont), -30, 600},
    };
    for (int number = 0; number <= 100; number += 10) {
        const auto drawn = std::find_if(drawnTexts.begin(), drawnTexts.end(), [&](const DrawnText& t) {
            return t.text == std::to_wstring(number);
        });
        ASSERT_NE(drawn, drawnTexts.end()) << "knob number " << number << " drawn";
        cases.push_back({"knob number " + std::to_string(number), drawn->font, -16, 700});
    }
    for (const FontCase& c : cases) {
        const LOGFONTW& f = c.font;
        EXPECT_EQ(std::wstring(f.lfFaceName), L"Segoe UI") << c.what;
        EXPECT_EQ(f.lfHeight, c.height) << c.what;
        EXPECT_EQ(f.lfWeight, c.weight) << c.what;
        EXPECT_EQ(f.lfWidth, 0) << c.what;
        EXPECT_EQ(f.lfEscapement, 0) << c.what;
        EXPECT_EQ(f.lfOrientation, 0) << c.what;
        EXPECT_FALSE(f.lfItalic || f.lfUnderline || f.lfStrikeOut) << c.what;
        EXPECT_EQ(f.lfCharSet, DEFAULT_CHARSET) << c.what;
        EXPECT_EQ(f.lfOutPrecision, OUT_DEFAULT_PRECIS) << c.what;
        EXPECT_EQ(f.lfClipPrecision, CLIP_DEFAULT_PRECIS) << c.what;
        EXPECT_EQ(f.lfQuality, CLEARTYPE_QUALITY) << c.what;
        EXPECT_EQ(f.lfPitchAndFamily, DEFAULT_PITCH | FF_DONTCARE) << c.what;
    }
}

// The emblem's 96 x 96 pixels go into the 32 x 32 box at (24, 22) with
// high-quality bicubic interpolation. For this exact three-to-one scale
// Wine's GDI+ gives the same pixels in every mode (it samples at source
// pixel centres), so the mode is read from the graphics at the drawing.
TEST_F(PaintTest, EmblemIsScaledWithHighQualityBicubicInterpolation)
{
    drawnImages.clear();
    shot();
    std::vector<DrawnImage> emblems;
    std::copy_if(drawnImages.begin(), drawnImages.end(), std::back_inserter(emblems),
                 [](const DrawnImage& image) { return image.width == 96 && image.height == 96; });
    ASSERT_FALSE(emblems.empty());
    for (const DrawnImage& emblem : emblems) {
        EXPECT_EQ(emblem.box, (Box{24, 22, 32, 32}));
        EXPECT_EQ(emblem.mode, Gdiplus::InterpolationModeHighQualityBicubic);
    }
}

// Pictures of both pages in English and Brazilian Portuguese at a few knob
// values, for looking at.
TEST_F(PaintTest, SavePictures)
{
    setMeter(ParamId::InputPeak, 0.5);
    setMeter(ParamId::OutputPeak, 0.25);
    for (int language : {0, 1}) {
        selectLanguage(language);
        const std::wstring code = language == 0 ? L"en" : L"pt-BR";
        for (double knob : {0.0, 0.35, 1.0}) {
            set(ParamId::CleanAmount, knob);
            tick();
            const std::wstring path = shotFolder() + L"/paint-main-" + code + L"-" +
                                      std::to_wstring(static_cast<int>(knob * 100)) + L".png";
            EXPECT_TRUE(savePng(shot(), path));
        }
        toAdvancedPage();
        EXPECT_TRUE(savePng(shot(), shotFolder() + L"/paint-advanced-" + code + L".png"));
        SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
        SetFocus(editor->window);
    }
}
