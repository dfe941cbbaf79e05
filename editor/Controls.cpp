// The editor's child controls: creation and set-up, the two pages, the
// texts in the current language and the polling refresh that keeps the
// controls in step with the controller.

#include "Editor.h"

#include "Controller.h"
#include "Language.h"
#include "Params.h"
#include "Types.h"

#include <commctrl.h>

#include <cstddef>

namespace hushkit {

using i18n::Key;

namespace {

constexpr DWORD SliderStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_NOTICKS;
constexpr DWORD ListStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
constexpr DWORD ButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;

struct Box {
    int x, y, width, height;
};

constexpr Box sliderBox(int i) { return {200, 135 + Editor::RowPitch * i, 360, 30}; }

struct ControlRow {
    HWND Editor::*field;
    int id;
    Box box;
};

// The bypass button's place on each page.
constexpr Box bypassMainBox{286, 422, 188, 32};
constexpr Box bypassAdvancedBox{210, 95, 115, 32};

// Combo boxes and buttons in creation order; the combo boxes' height
// includes their drop-down list. The bypass button starts at its
// advanced-page place and the main-page layout moves it.
const ControlRow listRows[] = {
    {&Editor::profileList, Editor::ProfileListId, {24, 95, 180, 150}},
    {&Editor::modeList, Editor::ModeListId, {235, 26, 270, 150}},
    {&Editor::languageList, Editor::LanguageListId, {520, 26, 90, 150}},
};
const ControlRow buttonRows[] = {
    {&Editor::bypassButton, Editor::BypassButtonId, bypassAdvancedBox},
    {&Editor::compareButton, Editor::CompareButtonId, {330, 95, 125, 32}},
    {&Editor::saveButton, Editor::SaveButtonId, {460, 95, 75, 32}},
    {&Editor::openButton, Editor::OpenButtonId, {540, 95, 70, 32}},
    {&Editor::resetButton, Editor::ResetButtonId, {615, 95, 115, 32}},
    {&Editor::pageButton, Editor::PageButtonId, {630, 25, 100, 32}},
};

// The language list's entries, in language index order, never translated.
const wchar_t* const languageNames[i18n::LanguageCount] = {L"EN", L"PT-BR", L"ES"};

// Polled parameters: ids 0 to 9, then the two level meters.
const Steinberg::Vst::ParamID polledIds[Editor::PolledCount] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, ParamId::InputPeak,
                                                                ParamId::OutputPeak};

HWND makeChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, const Box& box)
{
    return CreateWindowExW(0, className, text, style, box.x, box.y, box.width, box.height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ghInst, nullptr);
}

void fillCombo(HWND combo, const ListEntry (&entries)[ListEntryCount])
{
    const LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const ListEntry& entry : entries)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(i18n::wide(entry.key)));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

void moveTo(HWND control, const Box& box) { MoveWindow(control, box.x, box.y, box.width, box.height, TRUE); }

const wchar_t* bypassCaption(double bypass) { return i18n::wide(bypass > 0.5 ? Key::EffectOff : Key::EffectOn); }

} // namespace

void Editor::createControls()
{
    for (int i = 0; i < SliderCount; ++i) {
        sliders[i] = makeChild(window, TRACKBAR_CLASSW, L"", SliderStyle, FirstSliderId + i, sliderBox(i));
        SendMessageW(sliders[i], TBM_SETRANGE, TRUE, MAKELPARAM(0, SliderRange));
    }
    for (const ControlRow& row : listRows)
        this->*row.field = makeChild(window, L"COMBOBOX", L"", ListStyle, row.id, row.box);
    for (const wchar_t* name : languageNames)
        SendMessageW(languageList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    for (const ControlRow& row : listRows) {
        HWND list = this->*row.field;
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(bodyFont), TRUE);
        SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 28);
        SendMessageW(list, CB_SETITEMHEIGHT, 0, ListItemHeight);
        SetWindowSubclass(list, themedProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    for (const ControlRow& row : buttonRows) {
        HWND button = makeChild(window, L"BUTTON", L"Hushkit", ButtonStyle, row.id, row.box);
        this->*row.field = button;
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(bodyFont), TRUE);
        SetWindowSubclass(button, themedProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
}

// Shows or hides, in this order, the controls that only the advanced page has.
void Editor::setPageControlsShown(bool shown)
{
    const int command = shown ? SW_SHOW : SW_HIDE;
    for (HWND slider : sliders)
        ShowWindow(slider, command);
    for (HWND control : {saveButton, openButton, resetButton, profileList, compareButton})
        ShowWindow(control, command);
}

// A trackbar whose position changes repaints only its old and new thumb
// rectangles, but the fill along the channel and the thumb's focus ring
// reach beyond them: the whole slider is repainted, once per new position.
void Editor::repaintMovedSlider(int i, LRESULT position)
{
    if (position == shownSliderPositions[i])
        return;
    shownSliderPositions[i] = static_cast<int32_t>(position);
    InvalidateRect(sliders[i], nullptr, FALSE);
}

void Editor::showMainPage()
{
    setPageControlsShown(false);
    moveTo(bypassButton, bypassMainBox);
}

void Editor::togglePage()
{
    advancedPage = !advancedPage;
    setPageControlsShown(advancedPage);
    moveTo(bypassButton, advancedPage ? bypassAdvancedBox : bypassMainBox);
    SetWindowTextW(pageButton, i18n::wide(advancedPage ? Key::Back : Key::Advanced));
    InvalidateRect(window, nullptr, TRUE);
}

void Editor::applyLanguage()
{
    shownLanguage = i18n::preference();
    fillCombo(profileList, ProfileEntries);
    fillCombo(modeList, ModeEntries);
    shownProfile = -1;
    shownMode = -1;
    SendMessageW(languageList, CB_SETCURSEL, static_cast<WPARAM>(shownLanguage), 0);

    SetWindowTextW(languageList, i18n::wide(Key::Language));
    SetWindowTextW(profileList, i18n::wide(Key::CleanupProfile));
    SetWindowTextW(modeList, i18n::wide(Key::ProcessingModeTitle));
    SetWindowTextW(pageButton, i18n::wide(advancedPage ? Key::Back : Key::Advanced));
    SetWindowTextW(compareButton, i18n::wide(compareIsB ? Key::SwitchToA : Key::SwitchToB));
    SetWindowTextW(bypassButton, bypassCaption(controller->getParamNormalized(ParamId::Bypass)));
    SetWindowTextW(saveButton, i18n::wide(Key::Save));
    SetWindowTextW(openButton, i18n::wide(Key::Open));
    SetWindowTextW(resetButton, i18n::wide(Key::Reset));
    for (int i = 0; i < SliderCount; ++i)
        SetWindowTextW(sliders[i], i18n::wide(ParamTable[i].title));

    controller->localizeParameters();
    InvalidateRect(window, nullptr, FALSE);
}

namespace {

// Selects the list entry of a three-entry parameter when it changed, unless
// the list is dropped down (then a later refresh does it).
void followList(HWND list, double value, int32_t& shown)
{
    const int32_t index = listIndex(value);
    if (index == shown || SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0)
        return;
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    shown = index;
}

} // namespace

void Editor::refresh()
{
    if (!IsWindowVisible(window))
        return;
    if (shownLanguage != i18n::preference())
        applyLanguage();

    bool changed = false;
    for (int slot = 0; slot < PolledCount; ++slot) {
        const double value = controller->getParamNormalized(polledIds[slot]);
        if (value == seenValues[slot])
            continue;
        seenValues[slot] = value;
        changed = true;
        if (slot < SliderCount) {
            SendMessageW(sliders[slot], TBM_SETPOS, TRUE, static_cast<LPARAM>(value * SliderRange));
            repaintMovedSlider(slot, SendMessageW(sliders[slot], TBM_GETPOS, 0, 0));
        } else if (slot == ParamId::Bypass)
            SetWindowTextW(bypassButton, bypassCaption(value));
    }
    followList(profileList, controller->getParamNormalized(ParamId::CleanupProfile), shownProfile);
    followList(modeList, controller->getParamNormalized(ParamId::ProcessingMode), shownMode);
    if (changed)
        InvalidateRect(window, nullptr, FALSE);
}

} // namespace hushkit
