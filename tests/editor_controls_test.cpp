// The editor's child controls, its two pages, its texts in the three
// languages and the timer's refresh, seen through real window messages.

#include "editor_host.h"

#include "Language.h"
#include "Types.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <set>

using namespace Steinberg;
using namespace editor_test;
using hushkit::Editor;
using hushkit::ParamId;
using Key = hushkit::i18n::Key;

namespace {

class ControlsTest : public AttachedEditor {
protected:
    void toAdvancedPage()
    {
        SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
        ASSERT_TRUE(editor->advancedPage);
    }
    LRESULT sliderPosition(int i) { return SendMessageW(editor->sliders[i], TBM_GETPOS, 0, 0); }
    LRESULT selection(HWND list) { return SendMessageW(list, CB_GETCURSEL, 0, 0); }
    // Lets the window paint, then reports whether the next refresh asked
    // for a repaint.
    bool nextTickRepaints()
    {
        UpdateWindow(editor->window);
        tick();
        RECT dirty;
        return GetUpdateRect(editor->window, &dirty, FALSE) != FALSE;
    }
    std::set<HWND> shown() const
    {
        const std::vector<HWND> v = visibleChildren(editor->window);
        return {v.begin(), v.end()};
    }
    std::set<HWND> alwaysShown() const
    {
        return {editor->modeList, editor->languageList, editor->pageButton, editor->bypassButton};
    }
};

struct ControlRow {
    HWND Editor::*field;
    int sliderIndex; // -1 for the fields
    int id;
    const wchar_t* className;
    DWORD style;
    Box box;
};

const DWORD sliderStyle = 0x50010010, listStyle = 0x50010213, buttonStyle = 0x5001000B;

const ControlRow controlRows[] = {
    {nullptr, 0, 100, L"msctls_trackbar32", sliderStyle, {200, 135, 360, 30}},
    {nullptr, 1, 101, L"msctls_trackbar32", sliderStyle, {200, 178, 360, 30}},
    {nullptr, 2, 102, L"msctls_trackbar32", sliderStyle, {200, 221, 360, 30}},
    {nullptr, 3, 103, L"msctls_trackbar32", sliderStyle, {200, 264, 360, 30}},
    {nullptr, 4, 104, L"msctls_trackbar32", sliderStyle, {200, 307, 360, 30}},
    {nullptr, 5, 105, L"msctls_trackbar32", sliderStyle, {200, 350, 360, 30}},
    {nullptr, 6, 106, L"msctls_trackbar32", sliderStyle, {200, 393, 360, 30}},
    {&Editor::profileList, -1, 200, L"ComboBox", listStyle, {24, 95, 180, 0}},
    {&Editor::modeList, -1, 207, L"ComboBox", listStyle, {235, 26, 270, 0}},
    {&Editor::languageList, -1, 208, L"ComboBox", listStyle, {520, 26, 90, 0}},
    {&Editor::bypassButton, -1, 201, L"Button", buttonStyle, {210, 95, 115, 32}},
    {&Editor::compareButton, -1, 202, L"Button", buttonStyle, {330, 95, 125, 32}},
    {&Editor::saveButton, -1, 203, L"Button", buttonStyle, {460, 95, 75, 32}},
    {&Editor::openButton, -1, 204, L"Button", buttonStyle, {540, 95, 70, 32}},
    {&Editor::resetButton, -1, 205, L"Button", buttonStyle, {615, 95, 115, 32}},
    {&Editor::pageButton, -1, 206, L"Button", buttonStyle, {630, 25, 100, 32}},
};

bool sameClass(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

} // namespace

// Every control on the advanced page, where all of them are shown.
TEST_F(ControlsTest, ControlTable)
{
    toAdvancedPage();
    EXPECT_EQ(children(editor->window).size(), std::size(controlRows));
    for (const ControlRow& row : controlRows) {
        SCOPED_TRACE(row.id);
        HWND control = GetDlgItem(editor->window, row.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control, row.field ? editor->*row.field : editor->sliders[row.sliderIndex]);
        EXPECT_TRUE(sameClass(className(control), row.className)) << className(control).size();
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)), row.style);
        EXPECT_EQ(GetWindowLongW(control, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
        const Box box = childBox(control);
        if (row.box.height == 0) {
            // A combo box: its window is the closed field; the list drops
            // down from it and has the closed field's width.
            EXPECT_EQ(box.x, row.box.x);
            EXPECT_EQ(box.y, row.box.y);
            EXPECT_EQ(box.width, row.box.width);
            EXPECT_EQ(SendMessageW(control, CB_GETITEMHEIGHT, 0, 0), 30);
        } else {
            EXPECT_EQ(box, row.box);
        }
    }
    for (int i = 0; i < Editor::SliderCount; ++i) {
        EXPECT_EQ(SendMessageW(editor->sliders[i], TBM_GETRANGEMIN, 0, 0), 0);
        EXPECT_EQ(SendMessageW(editor->sliders[i], TBM_GETRANGEMAX, 0, 0), 1000);
    }
    for (HWND list : {editor->profileList, editor->modeList, editor->languageList})
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)), editor->bodyFont);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(editor->resetButton, WM_GETFONT, 0, 0)), editor->bodyFont);
}

TEST_F(ControlsTest, MainPageShowsOnlyTheModeLanguagePageAndBypassControls)
{
    EXPECT_FALSE(editor->advancedPage);
    EXPECT_EQ(shown(), alwaysShown());
    EXPECT_EQ(childBox(editor->bypassButton), (Box{286, 422, 188, 32}));
    EXPECT_EQ(windowText(editor->pageButton), L"Advanced");
}

TEST_F(ControlsTest, PageButtonTogglesTheAdvancedPageAndBack)
{
    toAdvancedPage();
    const std::vector<HWND> all = children(editor->window);
    EXPECT_EQ(shown(), std::set<HWND>(all.begin(), all.end()));
    EXPECT_EQ(childBox(editor->bypassButton), (Box{210, 95, 115, 32}));
    EXPECT_EQ(childBox(editor->pageButton), (Box{630, 25, 100, 32}));
    EXPECT_EQ(windowText(editor->pageButton), L"Back");

    SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
    EXPECT_FALSE(editor->advancedPage);
    EXPECT_EQ(shown(), alwaysShown());
    EXPECT_EQ(childBox(editor->bypassButton), (Box{286, 422, 188, 32}));
    EXPECT_EQ(windowText(editor->pageButton), L"Advanced");
    EXPECT_EQ(windowText(editor->bypassButton), L"Effect ON");
}

// The texts of one language, as the user and the host see them.
TEST_F(ControlsTest, TextsInEachLanguage)
{
    struct LanguageRow {
        int language;
        const wchar_t* page;
        const wchar_t* bypass;
        const wchar_t* profiles[3];
        const wchar_t* modes[3];
        const char16_t* firstTitle;
    };
    const LanguageRow rows[] = {
        {0, L"Advanced", L"Effect ON", {L"Live / gentle", L"Broadcast / medium", L"Studio / intense"},
         {L"Neural Live", L"Neural Classic", L"Live DSP"}, u"Voice cleanup"},
        {1, L"Avançadas", L"Efeito ligado", {L"Ao vivo / suave", L"Transmissão / médio", L"Estúdio / intenso"},
         {L"Neural ao vivo", L"Neural Clássico", L"DSP ao vivo"}, u"Limpeza da voz"},
        {2, L"Avanzadas", L"Efecto encendido", {L"En vivo / suave", L"Emisión / medio", L"Estudio / intenso"},
         {L"Neural en vivo", L"Neural Clásico", L"DSP en vivo"}, u"Limpieza de voz"},
    };
    for (const LanguageRow& row : rows) {
        SCOPED_TRACE(row.language);
        hushkit::i18n::setLanguage(row.language, false);
        tick();
        EXPECT_EQ(editor->shownLanguage, row.language);
        EXPECT_EQ(windowText(editor->pageButton), row.page);
        EXPECT_EQ(windowText(editor->bypassButton), row.bypass);
        EXPECT_EQ(listEntries(editor->profileList), std::vector<std::wstring>(row.profiles, row.profiles + 3));
        EXPECT_EQ(listEntries(editor->modeList), std::vector<std::wstring>(row.modes, row.modes + 3));
        EXPECT_EQ(listEntries(editor->languageList), (std::vector<std::wstring>{L"EN", L"PT-BR", L"ES"}));
        EXPECT_EQ(selection(editor->languageList), row.language);
        // The lists keep their selections through the relabelling.
        EXPECT_EQ(selection(editor->profileList), 1);
        EXPECT_EQ(selection(editor->modeList), 1);
        const Key keys[] = {Key::SwitchToB, Key::Save, Key::Open, Key::Reset};
        HWND buttons[] = {editor->compareButton, editor->saveButton, editor->openButton, editor->resetButton};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(windowText(buttons[i]), hushkit::i18n::catalog[int(keys[i])][row.language].wide);
        for (int i = 0; i < Editor::SliderCount; ++i)
            EXPECT_EQ(windowText(editor->sliders[i]), hushkit::i18n::catalog[i][row.language].wide);
        // The host's parameter titles follow.
        Vst::ParameterInfo info{};
        host.controller->getParameterInfo(0, info);
        EXPECT_EQ(std::u16string(info.title), row.firstTitle);
    }
    toAdvancedPage();
    EXPECT_EQ(windowText(editor->pageButton), L"Volver");
    hushkit::i18n::setLanguage(0, false);
}

TEST_F(ControlsTest, SliderFollowsTheControllerWithinOneTimerPeriod)
{
    toAdvancedPage();
    set(ParamId::NoiseReduction, 0.25);
    tick();
    EXPECT_EQ(sliderPosition(2), 250);
    // The same value again: nothing to repaint.
    set(ParamId::NoiseReduction, 0.25);
    EXPECT_FALSE(nextTickRepaints());
    // Positions are the values times 1000, truncated.
    const struct {
        int slider;
        double value;
        LRESULT position;
    } rows[] = {{0, 0.9999, 999}, {1, 0.4375, 437}, {4, double(0.1f), 100}, {6, 1.0, 1000}, {5, 0.0, 0}};
    for (const auto& row : rows) {
        set(row.slider, row.value);
        EXPECT_TRUE(nextTickRepaints()) << row.slider;
        EXPECT_EQ(sliderPosition(row.slider), row.position) << row.slider;
    }
}

TEST_F(ControlsTest, MeterChangeAloneRepaintsAndTouchesNoControl)
{
    EXPECT_FALSE(nextTickRepaints());
    std::vector<LRESULT> positions;
    for (int i = 0; i < Editor::SliderCount; ++i)
        positions.push_back(sliderPosition(i));
    const std::wstring caption = windowText(editor->bypassButton);
    for (Vst::ParamID meter : {ParamId::InputPeak, ParamId::OutputPeak}) {
        set(meter, 0.3);
        EXPECT_TRUE(nextTickRepaints()) << meter;
    }
    // A meter that is not polled causes nothing.
    set(ParamId::Reduction, 0.3);
    EXPECT_FALSE(nextTickRepaints());
    for (int i = 0; i < Editor::SliderCount; ++i)
        EXPECT_EQ(sliderPosition(i), positions[i]);
    EXPECT_EQ(windowText(editor->bypassButton), caption);
}

TEST_F(ControlsTest, BypassCaptionFollowsTheValue)
{
    const struct {
        double value;
        const wchar_t* caption;
    } rows[] = {{1.0, L"Effect OFF"}, {0.5, L"Effect ON"}, {0.5000001, L"Effect OFF"}, {0.0, L"Effect ON"}};
    for (const auto& row : rows) {
        set(ParamId::Bypass, row.value);
        tick();
        EXPECT_EQ(windowText(editor->bypassButton), row.caption) << row.value;
    }
}

TEST_F(ControlsTest, ListsFollowProfileAndMode)
{
    const struct {
        double value;
        LRESULT entry;
    } rows[] = {{0.25, 1}, {0.24, 0}, {0.75, 2}, {0.74, 1}, {1.0, 2}, {0.0, 0}};
    for (const auto& row : rows) {
        set(ParamId::CleanupProfile, row.value);
        tick();
        EXPECT_EQ(selection(editor->profileList), row.entry) << row.value;
    }
    // The controller keeps the mode on list values; the list follows it.
    set(ParamId::ProcessingMode, 0.9);
    tick();
    EXPECT_EQ(selection(editor->modeList), 2);
    set(ParamId::ProcessingMode, 0.1);
    tick();
    EXPECT_EQ(selection(editor->modeList), 0);
}

TEST_F(ControlsTest, DroppedDownListIsLeftAloneUntilItCloses)
{
    toAdvancedPage();
    SendMessageW(editor->profileList, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_NE(SendMessageW(editor->profileList, CB_GETDROPPEDSTATE, 0, 0), 0);
    set(ParamId::CleanupProfile, 1.0);
    tick();
    tick();
    EXPECT_EQ(selection(editor->profileList), 1);
    SendMessageW(editor->profileList, CB_SHOWDROPDOWN, FALSE, 0);
    ASSERT_EQ(SendMessageW(editor->profileList, CB_GETDROPPEDSTATE, 0, 0), 0);
    tick();
    EXPECT_EQ(selection(editor->profileList), 2);
}

TEST_F(ControlsTest, HiddenWindowChangesNothingUntilShown)
{
    ShowWindow(hostWindow, SW_HIDE);
    set(ParamId::CleanAmount, 0.5);
    set(ParamId::Bypass, 1.0);
    set(ParamId::CleanupProfile, 0.0);
    set(ParamId::InputPeak, 0.7);
    SendMessageW(editor->window, WM_TIMER, Editor::TimerId, 0);
    EXPECT_EQ(sliderPosition(0), 1000);
    EXPECT_EQ(windowText(editor->bypassButton), L"Effect ON");
    EXPECT_EQ(selection(editor->profileList), 1);
    EXPECT_EQ(editor->seenValues[0], 1.0);
    EXPECT_EQ(editor->seenValues[10], 0.0);
    hushkit::i18n::setLanguage(2, false);
    SendMessageW(editor->window, WM_TIMER, Editor::TimerId, 0);
    EXPECT_EQ(windowText(editor->pageButton), L"Advanced");

    ShowWindow(hostWindow, SW_SHOW);
    tick();
    EXPECT_EQ(sliderPosition(0), 500);
    EXPECT_EQ(windowText(editor->bypassButton), L"Efecto apagado");
    EXPECT_EQ(selection(editor->profileList), 0);
    EXPECT_EQ(editor->seenValues[10], 0.7);
    hushkit::i18n::setLanguage(0, false);
}

// On the advanced page a language change keeps what the captions say: the
// page button reads Back and the compare button names the other slot, in
// the new language, whichever slot is active.
TEST_F(ControlsTest, LanguageChangeKeepsThePageAndTheActiveSlotInTheCaptions)
{
    const struct {
        int language;
        const wchar_t* page;
        const wchar_t* whileB;
        const wchar_t* whileA;
    } rows[] = {
        {1, L"Voltar", L"B / trocar para A", L"A / trocar para B"},
        {2, L"Volver", L"B / cambiar a A", L"A / cambiar a B"},
        {0, L"Back", L"B / switch to A", L"A / switch to B"},
    };
    toAdvancedPage();
    for (bool slotB : {true, false}) {
        SendMessageW(editor->compareButton, BM_CLICK, 0, 0);
        ASSERT_EQ(editor->compareIsB, slotB);
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << "language " << row.language << (slotB ? ", slot B" : ", slot A"));
            hushkit::i18n::setLanguage(row.language, false);
            tick();
            EXPECT_TRUE(editor->advancedPage);
            EXPECT_EQ(windowText(editor->pageButton), row.page);
            EXPECT_EQ(windowText(editor->compareButton), slotB ? row.whileB : row.whileA);
        }
    }
}

// Switching pages and changing the language each invalidate the whole
// window, so that nothing of the old page or the old texts stays on screen.
// The window is validated first and no message is dispatched between the
// action and the look at its update region, so only the action can show.
TEST_F(ControlsTest, PageSwitchAndLanguageChangeInvalidateTheWholeWindow)
{
    auto switchPage = [&] {
        SendMessageW(editor->window, WM_COMMAND, MAKEWPARAM(Editor::PageButtonId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(editor->pageButton));
    };
    // Another editor of the module chose the language; the next timer
    // message finds it.
    auto changeLanguage = [&](int language) {
        hushkit::i18n::setLanguage(language, false);
        SendMessageW(editor->window, WM_TIMER, Editor::TimerId, 0);
    };
    const struct {
        const char* what;
        std::function<void()> action;
        bool advancedAfter;
    } steps[] = {
        {"to the advanced page", switchPage, true},
        {"language on the advanced page", [&] { changeLanguage(1); }, true},
        {"to the main page", switchPage, false},
        {"language on the main page", [&] { changeLanguage(2); }, false},
    };
    HRGN dirty = CreateRectRgn(0, 0, 0, 0);
    HRGN whole = CreateRectRgn(0, 0, Editor::Width, Editor::Height);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        UpdateWindow(editor->window);
        ValidateRect(editor->window, nullptr);
        ASSERT_FALSE(GetUpdateRect(editor->window, nullptr, FALSE));
        step.action();
        ASSERT_EQ(editor->advancedPage, step.advancedAfter);
        ASSERT_NE(GetUpdateRgn(editor->window, dirty, FALSE), ERROR);
        EXPECT_TRUE(EqualRgn(dirty, whole));
    }
    DeleteObject(dirty);
    DeleteObject(whole);
    hushkit::i18n::setLanguage(0, false);
}

// A slider whose position moves, by the host's value or by its own scroll
// notification, is repainted whole: the trackbar itself repaints only its
// old and new thumb, and the fill and the focus ring reach beyond them. A
// change that leaves the position where it was repaints nothing more. The
// sliders are validated first and no message is dispatched between the
// action and the look at their update regions.
TEST_F(ControlsTest, SliderIsRepaintedWholeWhenItsPositionMovesAndOnlyThen)
{
    toAdvancedPage();
    set(ParamId::NoiseReduction, 0.25);
    tick();
    HRGN dirty = CreateRectRgn(0, 0, 0, 0);
    RECT client;
    GetClientRect(editor->sliders[2], &client);
    HRGN whole = CreateRectRgnIndirect(&client);
    const auto refresh = [&] { SendMessageW(editor->window, WM_TIMER, Editor::TimerId, 0); };
    const auto scroll = [&](int code) {
        SendMessageW(editor->window, WM_HSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(editor->sliders[2]));
    };
    const struct {
        const char* what;
        std::function<void()> action;
        bool repaintedWhole;
    } steps[] = {
        {"host value, same position", [&] { set(ParamId::NoiseReduction, 0.2509); refresh(); }, false},
        {"host value, new position", [&] { set(ParamId::NoiseReduction, 0.75); refresh(); }, true},
        {"scroll to a new position",
         [&] {
             SendMessageW(editor->sliders[2], TBM_SETPOS, TRUE, 600);
             scroll(TB_THUMBTRACK);
         },
         true},
        {"end of tracking, same position", [&] { scroll(TB_ENDTRACK); }, false},
        {"the refresh after the scroll", refresh, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        UpdateWindow(editor->window);
        for (HWND slider : editor->sliders) {
            UpdateWindow(slider);
            ValidateRect(slider, nullptr);
        }
        step.action();
        for (int i = 0; i < Editor::SliderCount; ++i) {
            ASSERT_NE(GetUpdateRgn(editor->sliders[i], dirty, FALSE), ERROR);
            if (i == 2)
                EXPECT_EQ(EqualRgn(dirty, whole) != FALSE, step.repaintedWhole);
            else
                EXPECT_FALSE(GetUpdateRect(editor->sliders[i], nullptr, FALSE)) << "slider " << i;
        }
    }
    EXPECT_EQ(sliderPosition(2), 600);
    DeleteObject(dirty);
    DeleteObject(whole);
}
