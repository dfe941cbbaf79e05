// The editor's input and commands under Wine: real window messages sent to
// the editor window, and the controller's edits as the host's component
// handler records them (order of begin/perform/end and their values).
//
// Alt (rotary drag) and Shift (fine wheel) are read by the editor with
// GetKeyState; the tests set them for this thread with SetKeyboardState
// right before the message and clear them again afterwards.

#include "editor_host.h"

#include "Language.h"
#include "Processor.h"
#include "Types.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/connectionproxy.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

// The preset files' save and open, replaced in this program by a record of
// the calls: the buttons' dispatch is what is tested here, without dialogs.
namespace {
std::vector<bool> presetCalls;
} // namespace
void hushkit::Editor::preset(bool save) { presetCalls.push_back(save); }

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace editor_test;
using hushkit::ParamId;
using hushkit::i18n::Key;

constexpr double Pi = 3.14159265358979323846;

// One controller call that reached the host.
struct Edit {
    char kind;  // 'b' beginEdit, 'p' performEdit, 'e' endEdit
    ParamID id;
    double value;  // performEdit's value
    double held;   // the controller's value when performEdit arrived
    bool operator==(const Edit& o) const { return kind == o.kind && id == o.id && value == o.value; }
};

void PrintTo(const Edit& e, std::ostream* os) { *os << e.kind << "(" << e.id << ", " << e.value << ")"; }

Edit begin(ParamID id) { return {'b', id, 0.0, 0.0}; }
Edit perform(ParamID id, double v) { return {'p', id, v, 0.0}; }
Edit end(ParamID id) { return {'e', id, 0.0, 0.0}; }

// The host's component handler: records every edit; `forward` sees each
// performEdit as a host that sends it on to the processor.
class EditLog : public IComponentHandler {
public:
    explicit EditLog(IEditController* owner) : controller(owner) {}

    tresult PLUGIN_API beginEdit(ParamID id) override
    {
        add({'b', id, 0.0, 0.0});
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        add({'p', id, value, controller->getParamNormalized(id)});
        if (forward)
            forward(id, value);
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID id) override
    {
        add({'e', id, 0.0, 0.0});
        return kResultOk;
    }
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        restarts.push_back(flags);
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID wanted, void** obj) override
    {
        if (FUnknownPrivate::iidEqual(wanted, IComponentHandler::iid) || FUnknownPrivate::iidEqual(wanted, FUnknown::iid)) {
            *obj = static_cast<IComponentHandler*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    // Owned by the test, which outlives the controller's use of it.
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    // The edits of one parameter, in order.
    std::vector<Edit> of(ParamID id) const
    {
        std::vector<Edit> found;
        for (const Edit& e : edits)
            if (e.id == id)
                found.push_back(e);
        return found;
    }
    void clear()
    {
        edits.clear();
        restarts.clear();
    }

    std::vector<Edit> edits;
    std::vector<int32> restarts;
    std::function<void(ParamID, ParamValue)> forward;

private:
    void add(const Edit& e) { edits.push_back(e); }
    IEditController* controller;
};

LPARAM point(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

// Holds (or lets go of) a key for this thread, as GetKeyState sees it.
void holdKey(int key, bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[key] = down ? 0x80 : 0x00;
    SetKeyboardState(keys);
}

// The pixel at angle `degrees` on the knob's unsquashed circle of radius r
// (drawn squashed vertically), rounded to whole pixels.
POINT onKnob(double degrees, double r)
{
    const double a = degrees * Pi / 180.0;
    return {static_cast<LONG>(std::lround(380.0 + r * std::cos(a))),
            static_cast<LONG>(std::lround(210.0 + 0.82 * r * std::sin(a)))};
}

// An attached editor whose controller reports its edits to an EditLog.
class InputTest : public AttachedEditor {
protected:
    void SetUp() override
    {
        AttachedEditor::SetUp();
        host.controller->setComponentHandler(&log);
        SetFocus(hostWindow);
        log.clear();
    }
    void TearDown() override
    {
        holdKey(VK_MENU, false);
        holdKey(VK_SHIFT, false);
        AttachedEditor::TearDown();
        host.controller->setComponentHandler(nullptr);
    }

    LRESULT send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageW(editor->window, msg, wParam, lParam);
    }
    void press(int x, int y) { send(WM_LBUTTONDOWN, MK_LBUTTON, point(x, y)); }
    void press(POINT p) { press(p.x, p.y); }
    void moveTo(int x, int y) { send(WM_MOUSEMOVE, MK_LBUTTON, point(x, y)); }
    void moveTo(POINT p) { moveTo(p.x, p.y); }
    void release(int x, int y) { send(WM_LBUTTONUP, 0, point(x, y)); }
    void click(HWND control, int id, int code = BN_CLICKED)
    {
        send(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
    }
    double value(ParamID id) const { return host.controller->getParamNormalized(id); }
    void setAll(const double (&values)[10])
    {
        for (ParamID i = 0; i < 10; ++i)
            set(i, values[i]);
    }
    void expectValues(const double (&values)[10]) const
    {
        for (ParamID i = 0; i < 10; ++i)
            EXPECT_EQ(value(i), values[i]) << i;
    }
    void togglePage() { click(editor->pageButton, hushkit::Editor::PageButtonId); }
    void showPage(bool advanced)
    {
        if (editor->advancedPage != advanced)
            togglePage();
    }

    EditLog log{host.controller};
};

// ---------------------------------------------------------------------------
// Knob drags

TEST_F(InputTest, VerticalDragFollowsTheHeldValueAndClosesAtRelease)
{
    set(0, 0.25);
    press(380, 330);
    EXPECT_EQ(GetCapture(), editor->window);
    EXPECT_EQ(GetFocus(), editor->window);
    // A press alone sets nothing: the drag is relative.
    EXPECT_EQ(log.edits, (std::vector<Edit>{begin(0)}));
    EXPECT_EQ(value(0), 0.25);

    for (int y = 320; y >= 210; y -= 10)  // 120 pixels up in twelve moves
        moveTo(380, y);
    EXPECT_NEAR(value(0), 0.75, 1e-12);
    ASSERT_EQ(log.edits.size(), 13u);
    for (size_t i = 1; i < log.edits.size(); ++i) {
        EXPECT_EQ(log.edits[i].kind, 'p');
        EXPECT_EQ(log.edits[i].id, 0u);
        // The controller holds the value before the host hears of it.
        EXPECT_EQ(log.edits[i].held, log.edits[i].value);
    }

    // Far beyond the top (the pointer leaves the window: negative rows),
    // then back down: the value falls at once, nothing beyond 1 is kept.
    ValidateRect(editor->window, nullptr);
    moveTo(380, -70);
    EXPECT_TRUE(GetUpdateRect(editor->window, nullptr, FALSE));  // each move repaints the knob
    EXPECT_EQ(value(0), 1.0);
    moveTo(380, -46);
    EXPECT_NEAR(value(0), 0.9, 1e-12);

    release(380, -46);
    EXPECT_NE(GetCapture(), editor->window);
    EXPECT_EQ(log.edits.back(), end(0));
    EXPECT_EQ(log.of(0).size(), 16u);
    // Moves after the release change nothing.
    moveTo(380, 100);
    EXPECT_EQ(log.edits.size(), 16u);
}

TEST_F(InputTest, RotaryDragTakesTheShortWayAcrossTheLeftHorizontal)
{
    set(0, 0.5);
    holdKey(VK_MENU, true);
    press(onKnob(170, 120));
    // Alt counts at the press only.
    holdKey(VK_MENU, false);
    moveTo(onKnob(-170, 120));
    // Clockwise on screen through 180 degrees: +20 of the 270 degrees.
    EXPECT_NEAR(value(0) - 0.5, 20.0 / 270.0, 0.002);
    moveTo(onKnob(170, 120));
    EXPECT_NEAR(value(0), 0.5, 1e-12);
    release(0, 0);
    EXPECT_EQ(log.of(0).front(), begin(0));
    EXPECT_EQ(log.of(0).back(), end(0));
}

TEST_F(InputTest, RotaryDragHoldsInTheDeadZoneAndResumesWithoutAJump)
{
    struct Case {
        const char* name;
        POINT pressAt;
    };
    const Case cases[] = {
        {"pressed at 0 degrees", onKnob(0, 100)},
        {"pressed inside the dead zone", {383, 214}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set(0, 0.5);
        log.clear();
        holdKey(VK_MENU, true);
        press(c.pressAt);
        holdKey(VK_MENU, false);
        moveTo(385, 212);  // 5 pixels from the centre
        EXPECT_EQ(value(0), 0.5);
        // First position outside: only the new reference, half a turn away.
        moveTo(onKnob(180, 100));
        EXPECT_EQ(value(0), 0.5);
        // From there on the turn counts again: 30 degrees clockwise.
        moveTo(onKnob(-150, 100));
        EXPECT_NEAR(value(0) - 0.5, 30.0 / 270.0, 0.004);
        release(0, 0);
        // Every move performed the value it set, the held ones included.
        const std::vector<Edit> edits = log.of(0);
        ASSERT_EQ(edits.size(), 5u);
        EXPECT_EQ(edits[1], perform(0, 0.5));
        EXPECT_EQ(edits[2], perform(0, 0.5));
        EXPECT_EQ(edits[4], end(0));
    }
}

TEST_F(InputTest, EveryDragHasOneBracketHoweverItEnds)
{
    enum class Ending { Release, CaptureTaken, CaptureReleased };
    struct Case {
        const char* name;
        Ending ending;
    };
    const Case cases[] = {
        {"button released", Ending::Release},
        {"capture taken by another window", Ending::CaptureTaken},
        {"capture released", Ending::CaptureReleased},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set(0, 0.5);
        log.clear();
        press(380, 210);
        moveTo(380, 186);
        if (c.ending == Ending::Release)
            release(380, 150);
        else if (c.ending == Ending::CaptureTaken)
            SetCapture(hostWindow);
        else
            ReleaseCapture();
        const std::vector<Edit> bracket{begin(0), perform(0, 0.6), end(0)};
        EXPECT_EQ(log.edits, bracket);
        EXPECT_FALSE(editor->dragging);
        // A release after the loss of the capture, and later moves, add nothing.
        release(380, 150);
        moveTo(380, 100);
        EXPECT_EQ(log.edits, bracket);
        ReleaseCapture();
    }
}

TEST_F(InputTest, APressDuringAnOpenDragClosesItsBracketFirst)
{
    // The release of the first drag went to some other window.
    set(0, 0.5);
    press(380, 210);
    press(380, 250);
    moveTo(380, 226);
    release(380, 226);
    EXPECT_EQ(log.edits, (std::vector<Edit>{begin(0), end(0), begin(0), perform(0, 0.6), end(0)}));
}

TEST_F(InputTest, RemovingTheEditorDuringADragClosesItsBracket)
{
    press(380, 210);
    moveTo(380, 234);
    editor->removed();
    EXPECT_EQ(log.edits, (std::vector<Edit>{begin(0), perform(0, 0.9), end(0)}));
    EXPECT_FALSE(editor->dragging);
}

TEST_F(InputTest, PressesThatDoNotReachTheKnobChangeNothing)
{
    struct Case {
        const char* name;
        bool advanced;
        int x, y;
    };
    const Case cases[] = {
        {"right of the ellipse", false, 526, 210},
        {"below the ellipse", false, 380, 375},
        {"beside it diagonally", false, 490, 330},
        {"centre, advanced page", true, 380, 210},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        showPage(c.advanced);
        SetFocus(hostWindow);
        set(0, 0.5);
        log.clear();
        press(c.x, c.y);
        moveTo(c.x, c.y - 100);
        release(c.x, c.y - 100);
        EXPECT_TRUE(log.edits.empty());
        EXPECT_EQ(value(0), 0.5);
        EXPECT_EQ(GetFocus(), hostWindow);
        EXPECT_EQ(GetCapture(), nullptr);
    }
    // The ellipse's own edge still reacts.
    showPage(false);
    press(525, 210);
    release(525, 210);
    EXPECT_EQ(log.edits, (std::vector<Edit>{begin(0), end(0)}));
}

// ---------------------------------------------------------------------------
// Keys and wheel

TEST_F(InputTest, ArrowKeysStepTheKnobByOneHundredth)
{
    struct Case {
        WPARAM key;
        bool advanced;
        double from;
        double to;  // negative: no edit
    };
    const Case cases[] = {
        {VK_UP, false, 0.995, 1.0},  {VK_RIGHT, false, 0.5, 0.51}, {VK_LEFT, false, 0.005, 0.0},
        {VK_DOWN, false, 0.5, 0.49}, {VK_HOME, false, 0.5, -1},     {'A', false, 0.5, -1},
        {VK_SPACE, false, 0.5, -1},  {VK_UP, true, 0.5, -1},        {VK_LEFT, true, 0.5, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << (c.advanced ? " advanced" : " main"));
        showPage(c.advanced);
        set(0, c.from);
        log.clear();
        EXPECT_EQ(send(WM_KEYDOWN, c.key, 1), 0);
        if (c.to < 0) {
            EXPECT_TRUE(log.edits.empty());
            EXPECT_EQ(value(0), c.from);
        } else {
            EXPECT_NEAR(value(0), c.to, 1e-12);
            EXPECT_EQ(log.edits, (std::vector<Edit>{begin(0), perform(0, value(0)), end(0)}));
        }
    }
}

TEST_F(InputTest, WheelNotchIsOneHundredthOrWithShiftOneThousandth)
{
    struct Case {
        short delta;
        bool shift;
        bool advanced;
        double to;  // negative: no edit
    };
    const Case cases[] = {
        {120, false, false, 0.51},   {120, true, false, 0.501}, {-240, false, false, 0.48},
        {-60, true, false, 0.4995},  {120, false, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "delta " << c.delta << (c.shift ? " shift" : "")
                                        << (c.advanced ? " advanced" : ""));
        showPage(c.advanced);
        set(0, 0.5);
        log.clear();
        holdKey(VK_SHIFT, c.shift);
        // The pointer lies outside the knob: the wheel does not look at it.
        send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(c.delta)), point(1000, 1000));
        holdKey(VK_SHIFT, false);
        if (c.to < 0) {
            EXPECT_TRUE(log.edits.empty());
            EXPECT_EQ(value(0), 0.5);
        } else {
            EXPECT_NEAR(value(0), c.to, 1e-12);
            EXPECT_EQ(log.edits, (std::vector<Edit>{begin(0), perform(0, value(0)), end(0)}));
        }
    }
}

// ---------------------------------------------------------------------------
// Sliders, lists and buttons

TEST_F(InputTest, EachScrollNotificationOfASliderIsOneCompleteEdit)
{
    showPage(true);
    for (int i = 0; i < hushkit::Editor::SliderCount; ++i) {
        SCOPED_TRACE(i);
        const auto id = static_cast<ParamID>(i);
        log.clear();
        HWND slider = editor->sliders[i];
        SendMessageW(slider, TBM_SETPOS, TRUE, 437);
        send(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 437), reinterpret_cast<LPARAM>(slider));
        SendMessageW(slider, TBM_SETPOS, TRUE, 440 + i);
        send(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
        const double last = (440 + i) / 1000.0;
        EXPECT_EQ(log.edits, (std::vector<Edit>{begin(id), perform(id, 0.437), end(id), begin(id),
                                                perform(id, last), end(id)}));
        EXPECT_EQ(value(id), last);
    }
}

TEST_F(InputTest, AScrollBarNotificationIsNoSliderEvenWithoutOne)
{
    showPage(true);
    // A slider that could not be created has no handle; the window's own
    // scroll bars notify with none either.
    HWND slider = editor->sliders[3];
    editor->sliders[3] = nullptr;
    set(3, 0.7);
    ValidateRect(editor->window, nullptr);
    send(WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0), 0);
    editor->sliders[3] = slider;
    EXPECT_TRUE(log.edits.empty());
    EXPECT_EQ(value(3), 0.7);
    // The window is repainted all the same.
    EXPECT_TRUE(GetUpdateRect(editor->window, nullptr, FALSE));
}

TEST_F(InputTest, ListsEditOnASelectionChangeOnly)
{
    showPage(true);
    struct Case {
        HWND hushkit::Editor::*list;
        int id;
        ParamID param;
    };
    const Case cases[] = {
        {&hushkit::Editor::modeList, hushkit::Editor::ModeListId, ParamId::ProcessingMode},
        {&hushkit::Editor::profileList, hushkit::Editor::ProfileListId, ParamId::CleanupProfile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        HWND list = editor->*c.list;
        for (int entry : {2, 0, 1}) {
            log.clear();
            SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
            click(list, c.id, CBN_DROPDOWN);
            click(list, c.id, CBN_CLOSEUP);
            EXPECT_TRUE(log.edits.empty());
            click(list, c.id, CBN_SELCHANGE);
            const double v = entry * 0.5;
            EXPECT_EQ(log.edits, (std::vector<Edit>{begin(c.param), perform(c.param, v), end(c.param)}));
            EXPECT_EQ(value(c.param), v);
        }
        // A list without a selection does not pick an entry for the user.
        log.clear();
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        click(list, c.id, CBN_SELCHANGE);
        EXPECT_TRUE(log.edits.empty());
        EXPECT_EQ(value(c.param), 0.5);
    }
}

TEST_F(InputTest, BypassTurnsOnUpToAHalfAndOffAbove)
{
    struct Case {
        double from, to;
        Key caption;
    };
    const Case cases[] = {
        {0.0, 1.0, Key::EffectOff}, {0.5, 1.0, Key::EffectOff}, {0.5000001, 0.0, Key::EffectOn},
        {1.0, 0.0, Key::EffectOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        set(ParamId::Bypass, c.from);
        log.clear();
        click(editor->bypassButton, hushkit::Editor::BypassButtonId);
        EXPECT_EQ(log.edits, (std::vector<Edit>{begin(7), perform(7, c.to), end(7)}));
        EXPECT_EQ(value(ParamId::Bypass), c.to);
        EXPECT_EQ(windowText(editor->bypassButton), hushkit::i18n::wide(c.caption));
    }
}

// Ten values unlike the reset values, the processing mode included.
const double slotA[10] = {0.25, 0.75, 0.5, 0.125, 0.9, 0.3, 0.2, 1.0, 1.0, 0.0};

// One complete edit of each parameter 0 to 9, in order, to `values`.
std::vector<Edit> completeEdits(const double (&values)[10])
{
    std::vector<Edit> edits;
    for (ParamID i = 0; i < 10; ++i)
        edits.insert(edits.end(), {begin(i), perform(i, values[i]), end(i)});
    return edits;
}

TEST_F(InputTest, CompareSwapsBothSlotsAndBackWithTheMode)
{
    showPage(true);
    setAll(slotA);

    click(editor->compareButton, hushkit::Editor::CompareButtonId);
    EXPECT_EQ(log.edits, completeEdits(hushkit::ResetValues));
    expectValues(hushkit::ResetValues);
    EXPECT_TRUE(std::equal(slotA, slotA + 10, editor->compareValues));
    EXPECT_EQ(windowText(editor->compareButton), hushkit::i18n::wide(Key::SwitchToA));

    log.clear();
    click(editor->compareButton, hushkit::Editor::CompareButtonId);
    EXPECT_EQ(log.edits, completeEdits(slotA));
    expectValues(slotA);
    EXPECT_TRUE(std::equal(hushkit::ResetValues, hushkit::ResetValues + 10, editor->compareValues));
    EXPECT_EQ(windowText(editor->compareButton), hushkit::i18n::wide(Key::SwitchToB));
}

// The A/B slots belong to the editor, not to its window: closing and
// reopening it (here in another language) keeps the stored values and
// which slot is active, and the compare button names the other slot.
TEST_F(InputTest, CompareSlotsSurviveClosingAndReopening)
{
    showPage(true);
    setAll(slotA);
    click(editor->compareButton, hushkit::Editor::CompareButtonId);
    ASSERT_TRUE(editor->compareIsB);

    ASSERT_EQ(editor->removed(), kResultOk);
    hushkit::i18n::setLanguage(1, false);
    ASSERT_EQ(editor->attached(hostWindow, "HWND"), kResultOk);
    EXPECT_TRUE(editor->compareIsB);
    EXPECT_TRUE(std::equal(slotA, slotA + 10, editor->compareValues));
    EXPECT_EQ(windowText(editor->compareButton), L"B / trocar para A");

    // The stored slot is the one the next press brings back.
    showPage(true);
    log.clear();
    click(editor->compareButton, hushkit::Editor::CompareButtonId);
    EXPECT_EQ(log.edits, completeEdits(slotA));
    expectValues(slotA);
    EXPECT_FALSE(editor->compareIsB);
    EXPECT_TRUE(std::equal(hushkit::ResetValues, hushkit::ResetValues + 10, editor->compareValues));
    EXPECT_EQ(windowText(editor->compareButton), L"A / trocar para B");
    hushkit::i18n::setLanguage(0, false);
}

TEST_F(InputTest, SaveAndOpenButtonsGoToThePresetFiles)
{
    showPage(true);
    presetCalls.clear();
    click(editor->saveButton, hushkit::Editor::SaveButtonId);
    click(editor->openButton, hushkit::Editor::OpenButtonId);
    click(editor->openButton, hushkit::Editor::OpenButtonId, BN_DOUBLECLICKED);
    EXPECT_EQ(presetCalls, (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(log.edits.empty());
}

TEST_F(InputTest, ResetEditsEveryParameterToItsResetValue)
{
    showPage(true);
    setAll(slotA);
    click(editor->resetButton, hushkit::Editor::ResetButtonId);
    EXPECT_EQ(log.edits, completeEdits(hushkit::ResetValues));
    expectValues(hushkit::ResetValues);
    EXPECT_EQ(value(ParamId::ProcessingMode), 0.5);
    EXPECT_EQ(value(ParamId::CleanupProfile), 0.5);
    // The stored A/B slot is not touched.
    EXPECT_FALSE(editor->compareIsB);
}

TEST_F(InputTest, ChoosingALanguageRelabelsEverythingAndWritesThePreference)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "hushkit_input_language";
    std::filesystem::remove_all(folder);
    const std::filesystem::path file = folder / "language.txt";
    _putenv_s("HSK_LANGUAGE_FILE", file.string().c_str());

    log.clear();
    SendMessageW(editor->languageList, CB_SETCURSEL, 2, 0);
    click(editor->languageList, hushkit::Editor::LanguageListId, CBN_SELCHANGE);

    std::ifstream written(file);
    const std::string word((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    written.close();
    EXPECT_EQ(word.substr(0, 2), "es");
    EXPECT_EQ(hushkit::i18n::preference(), 2);
    EXPECT_EQ(windowText(editor->pageButton), hushkit::i18n::wide(Key::Advanced));
    EXPECT_EQ(windowText(editor->resetButton), hushkit::i18n::wide(Key::Reset));
    ParameterInfo info{};
    ASSERT_EQ(host.controller->getParameterInfo(0, info), kResultOk);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(info.title)), hushkit::i18n::wide(Key::CleanAmount));
    EXPECT_NE(std::count(log.restarts.begin(), log.restarts.end(), kParamTitlesChanged), 0);
    EXPECT_TRUE(log.edits.empty());

    hushkit::i18n::setLanguage(0, false);
    _putenv_s("HSK_LANGUAGE_FILE", "");
    std::filesystem::remove_all(folder);
}

TEST_F(InputTest, HandCursorOverTheKnobOnTheMainPageOnly)
{
    const HCURSOR hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND
    const HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    struct Case {
        bool advanced;
        int x, y;
        bool handShown;
    };
    const Case cases[] = {
        {false, 380, 210, true},  {false, 520, 210, true}, {false, 380, 50, true},
        {false, 530, 210, false}, {false, 490, 330, false}, {true, 380, 210, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << (c.advanced ? " advanced" : ""));
        showPage(c.advanced);
        POINT screen{c.x, c.y};
        ClientToScreen(editor->window, &screen);
        SetCursorPos(screen.x, screen.y);
        SetCursor(nullptr);
        const LRESULT result = send(WM_SETCURSOR, reinterpret_cast<WPARAM>(editor->window),
                                    MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        if (c.handShown) {
            EXPECT_EQ(result, 1);
        }
        EXPECT_EQ(GetCursor(), c.handShown ? hand : arrow);
    }
    parkMouse();
}

// ---------------------------------------------------------------------------
// The whole plug-in: processor and controller connected as a host connects
// them, audio running through `process` on a thread of its own, the editor
// attached. The host hands the processor's output parameter changes to the
// controller and the editor's edits to the processor.

class WholeEditorTest : public InputTest {
protected:
    static constexpr int32 Block = 512;
    static constexpr int MaxBlocks = 4000;

    void SetUp() override
    {
        InputTest::SetUp();
        processor = owned(new hushkit::Processor(1));
        ASSERT_EQ(processor->initialize(&app), kResultOk);
        FUnknownPtr<IConnectionPoint> processorPoint(static_cast<IAudioProcessor*>(processor.get()));
        FUnknownPtr<IConnectionPoint> controllerPoint(static_cast<IEditController*>(host.controller));
        ASSERT_TRUE(processorPoint && controllerPoint);
        processorProxy = owned(new ConnectionProxy(processorPoint));
        controllerProxy = owned(new ConnectionProxy(controllerPoint));
        ASSERT_EQ(processorProxy->connect(controllerPoint), kResultOk);
        ASSERT_EQ(controllerProxy->connect(processorPoint), kResultOk);
        MemoryStream state;
        ASSERT_EQ(processor->getState(&state), kResultOk);
        state.seek(0, IBStream::kIBSeekSet, nullptr);
        ASSERT_EQ(host.controller->setComponentState(&state), kResultOk);

        SpeakerArrangement in = SpeakerArr::kStereo, out = SpeakerArr::kStereo;
        ASSERT_EQ(processor->setBusArrangements(&in, 1, &out, 1), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, Block, 48000.0};
        ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
        ASSERT_EQ(processor->setActive(true), kResultOk);
        processor->setProcessing(true);
        data.prepare(*processor, Block, kSample32);
        data.numSamples = Block;
        data.inputParameterChanges = &inChanges;
        data.outputParameterChanges = &outChanges;

        log.forward = [this](ParamID id, ParamValue v) {
            std::lock_guard<std::mutex> lock(mutex);
            toProcessor.emplace_back(id, v);
        };
    }

    void TearDown() override
    {
        stopAudio();
        log.forward = nullptr;
        if (processor) {
            processor->setProcessing(false);
            processor->setActive(false);
        }
        if (processorProxy)
            processorProxy->disconnect();
        if (controllerProxy)
            controllerProxy->disconnect();
        if (processor)
            processor->terminate();
        data.unprepare();
        InputTest::TearDown();
    }

    // The host's audio thread: a bounded number of blocks of noise whose
    // level changes from block to block, with the editor's edits as input
    // parameter changes and the output parameter changes collected.
    void startAudio()
    {
        audio = std::thread([this] {
            std::mt19937 rng(7);
            std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
            for (int block = 0; block < MaxBlocks && !stop.load(); ++block) {
                inChanges.clearQueue();
                outChanges.clearQueue();
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    for (const auto& change : toProcessor) {
                        int32 index = 0;
                        if (IParamValueQueue* q = inChanges.addParameterData(change.first, index))
                            q->addPoint(0, change.second, index);
                    }
                    toProcessor.clear();
                }
                const float level = 0.1f + 0.1f * static_cast<float>(block % 7);
                for (int32 c = 0; c < 2; ++c)
                    for (int32 n = 0; n < Block; ++n)
                        data.inputs[0].channelBuffers32[c][n] = level * noise(rng);
                processor->process(data);
                std::lock_guard<std::mutex> lock(mutex);
                for (int32 i = 0; i < outChanges.getParameterCount(); ++i) {
                    IParamValueQueue* q = outChanges.getParameterData(i);
                    int32 offset = 0;
                    ParamValue v = 0.0;
                    if (q && q->getPointCount() > 0 && q->getPoint(q->getPointCount() - 1, offset, v) == kResultOk)
                        fromProcessor.emplace_back(q->getParameterId(), v);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    void stopAudio()
    {
        stop = true;
        if (audio.joinable())
            audio.join();
    }

    // The host's main thread hands the processor's reports to the controller.
    void handOver()
    {
        std::vector<std::pair<ParamID, ParamValue>> reports;
        {
            std::lock_guard<std::mutex> lock(mutex);
            reports.swap(fromProcessor);
        }
        for (const auto& report : reports) {
            host.controller->setParamNormalized(report.first, report.second);
            if (report.first == ParamId::InputPeak)
                inputPeaks.insert(report.second);
            if (report.first == ParamId::OutputPeak)
                outputPeaks.insert(report.second);
        }
    }

    HostApplication app;
    IPtr<hushkit::Processor> processor;
    IPtr<ConnectionProxy> processorProxy;
    IPtr<ConnectionProxy> controllerProxy;
    HostProcessData data;
    ParameterChanges inChanges{16};
    ParameterChanges outChanges{16};
    std::mutex mutex;
    std::vector<std::pair<ParamID, ParamValue>> toProcessor;
    std::vector<std::pair<ParamID, ParamValue>> fromProcessor;
    std::set<double> inputPeaks, outputPeaks;
    std::thread audio;
    std::atomic<bool> stop{false};
};

TEST_F(WholeEditorTest, MetersFollowTheProcessorAndTheKnobReachesIt)
{
    startAudio();

    // The editor's refresh shows meter values that the processor reported,
    // and they keep changing.
    std::set<double> shownInput;
    ASSERT_TRUE(pumpUntil(
        [&] {
            handOver();
            if (editor->seenValues[10] > 0.0)
                shownInput.insert(editor->seenValues[10]);
            return shownInput.size() >= 3 && editor->seenValues[11] > 0.0;
        },
        10000));
    for (double v : shownInput)
        EXPECT_EQ(inputPeaks.count(v), 1u) << v;
    EXPECT_EQ(outputPeaks.count(editor->seenValues[11]), 1u);

    // A knob drag 120 pixels down from full clean amount, as the host sees
    // it and as the processor receives it.
    ASSERT_EQ(host.controller->getParamNormalized(0), 1.0);
    press(380, 300);
    moveTo(380, 360);
    moveTo(380, 420);
    release(380, 420);
    EXPECT_EQ(log.of(0), (std::vector<Edit>{begin(0), perform(0, 0.75), perform(0, 0.5), end(0)}));
    EXPECT_TRUE(pumpUntil(
        [&] {
            handOver();
            return processor->params[0].load() == 0.5f;
        },
        10000));
    stopAudio();
}

} // namespace
