// After every action the screen shows what a full repaint of the same state
// draws. Each row of the table performs one action, lets the editor handle
// its messages, reads the screen as it stands and compares it with a full
// repaint of the window and all its children. A control that repaints only
// part of what its look depends on (a slider whose fill or focus ring moved
// beyond the thumb it repainted, a button whose state changed without a
// repaint) leaves pixels that differ.
//
// A user's action is compared twice: once its own messages are handled, and
// again after the next refresh. A host's change (a parameter value, or the
// language chosen in another editor) reaches the editor only through its
// refresh, so it is compared after it.
//
// The mouse pointer stays parked outside the window, so hover is the same in
// both pictures; user input reaches the controls as their window messages.

#include "editor_host.h"

#include "Language.h"
#include "Types.h"

#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace editor_test;
using hushkit::Editor;
using hushkit::ParamId;

namespace {

enum class By { User, Host };

struct Row {
    By by;
    std::wstring name;  // names the pictures saved when the row fails
    bool advanced;      // the page the action is taken on
    std::function<void()> action;
};

class ScreenTest : public AttachedEditor {
protected:
    void SetUp() override
    {
        AttachedEditor::SetUp();
        SetFocus(editor->window);
        paintNow(hostWindow);
    }

    // Takes the row's page (the switch repaints the whole window), then
    // performs the action and compares.
    void run(const Row& row)
    {
        SCOPED_TRACE(std::string(row.name.begin(), row.name.end()));
        if (editor->advancedPage != row.advanced) {
            SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
            SetFocus(editor->window);
            paintNow(hostWindow);
        }
        ASSERT_EQ(staleArea(editor->window, L"start-" + row.name).pixels, 0) << "stale before the action";
        row.action();
        if (row.by == By::User) {
            // Paints what the action's messages made invalid, nothing more.
            RedrawWindow(editor->window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            expectNoStale(row.name + L"-before-refresh", "before the refresh");
        }
        tick();
        pump(40);
        expectNoStale(row.name, "after the refresh");
    }

    void expectNoStale(const std::wstring& name, const char* when)
    {
        const StaleArea stale = staleArea(editor->window, name);
        std::string where;
        for (HWND child : childrenTouching(editor->window, stale.bounds))
            where += " " + std::to_string(GetDlgCtrlID(child));
        EXPECT_EQ(stale.pixels, 0) << when << ": " << stale << ", controls" << where;
    }

    LRESULT position(int slider) { return SendMessageW(editor->sliders[slider], TBM_GETPOS, 0, 0); }
    POINT thumbCentre(int slider)
    {
        RECT thumb{};
        SendMessageW(editor->sliders[slider], TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        return {(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
    }
    // A key press and release on a slider that has the focus.
    void key(int slider, WPARAM code)
    {
        SendMessageW(editor->sliders[slider], WM_KEYDOWN, code, 1);
        SendMessageW(editor->sliders[slider], WM_KEYUP, code, 0xC0000001);
    }
};

LPARAM point(POINT p) { return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)); }

} // namespace

TEST_F(ScreenTest, ScreenEqualsAFullRepaintAfterEveryAction)
{
    std::vector<Row> rows;
    const auto click = [&](HWND button) { return [=] { SendMessageW(button, BM_CLICK, 0, 0); }; };
    // Host automation of each slider's parameter, by large steps both ways.
    for (int i = 0; i < Editor::SliderCount; ++i)
        for (double value : {0.2, 0.9, 0.2})
            rows.push_back({By::Host, L"host-slider" + std::to_wstring(i) + L"-" + std::to_wstring(int(value * 10)),
                            true, [=] { set(i, value); }});
    // The knob moved, then A/B compare to the stored slot and back.
    rows.push_back({By::Host, L"host-knob-main-5", false, [&] { set(ParamId::CleanAmount, 0.5); }});
    rows.push_back({By::User, L"compare-to-b", true, click(editor->compareButton)});
    rows.push_back({By::User, L"compare-to-a", true, click(editor->compareButton)});
    rows.push_back({By::Host, L"host-all-sliders", true, [&] {
                        for (int i = 0; i < Editor::SliderCount; ++i)
                            set(i, 0.15 + 0.1 * i);
                    }});
    rows.push_back({By::User, L"reset", true, click(editor->resetButton)});
    // A drag of slider 3's thumb, jumping 150 pixels each way in one move
    // while the button is held.
    rows.push_back({By::User, L"focus-slider3", true, [&] { SetFocus(editor->sliders[3]); }});
    POINT grip{};
    rows.push_back({By::User, L"drag-press", true, [&] {
                        grip = thumbCentre(3);
                        SendMessageW(editor->sliders[3], WM_LBUTTONDOWN, MK_LBUTTON, point(grip));
                    }});
    for (int jump : {150, -150})
        rows.push_back({By::User, (jump > 0 ? L"drag-right" : L"drag-left"), true, [&, jump] {
                            const LRESULT before = position(3);
                            grip.x += jump;
                            SendMessageW(editor->sliders[3], WM_MOUSEMOVE, MK_LBUTTON, point(grip));
                            EXPECT_GT(std::abs(position(3) - before), 300) << "the drag moved the slider";
                        }});
    rows.push_back({By::User, L"drag-release", true,
                    [&] { SendMessageW(editor->sliders[3], WM_LBUTTONUP, 0, point(grip)); }});
    // Keys on slider 1, which has the focus.
    rows.push_back({By::Host, L"host-slider1-5", true, [&] { set(ParamId::OriginalAmbience, 0.5); }});
    rows.push_back({By::User, L"focus-slider1", true, [&] { SetFocus(editor->sliders[1]); }});
    const struct {
        const wchar_t* name;
        WPARAM code;
        LRESULT after;
    } keys[] = {{L"key-home", VK_HOME, 0}, {L"key-end", VK_END, 1000}, {L"key-page-up", VK_PRIOR, 800}};
    for (const auto& k : keys)
        rows.push_back({By::User, k.name, true, [&, k] {
                            key(1, k.code);
                            EXPECT_EQ(position(1), k.after);
                        }});
    // Wine's trackbar does not answer the wheel: the message goes on to the
    // editor window, which ignores it on this page. Windows' trackbar moves
    // by its line size times the wheel's lines per notch, one notification
    // each; this row sends the message, then does by hand what Windows'
    // trackbar does for three notches up.
    rows.push_back({By::User, L"wheel", true, [&] {
                        HWND slider = editor->sliders[1];
                        POINT at = thumbCentre(1);
                        ClientToScreen(slider, &at);
                        SendMessageW(slider, WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), point(at));
                        UINT lines = 3;
                        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
                        const LRESULT step = lines * SendMessageW(slider, TBM_GETLINESIZE, 0, 0);
                        for (int notch = 0; notch < 3; ++notch) {
                            SendMessageW(slider, TBM_SETPOS, TRUE, position(1) - step);
                            SendMessageW(editor->window, WM_HSCROLL, MAKEWPARAM(TB_LINEUP, 0),
                                         reinterpret_cast<LPARAM>(slider));
                        }
                        EXPECT_EQ(position(1), 800 - 3 * step);
                    }});
    rows.push_back({By::User, L"focus-to-next-slider", true, [&] { SetFocus(editor->sliders[2]); }});
    rows.push_back({By::User, L"focus-to-window", true, [&] { SetFocus(editor->window); }});
    // Languages and pages.
    rows.push_back({By::Host, L"language-advanced", true, [] { hushkit::i18n::setLanguage(1, false); }});
    rows.push_back({By::User, L"page-to-main", true, click(editor->pageButton)});
    rows.push_back({By::Host, L"language-main", false, [] { hushkit::i18n::setLanguage(2, false); }});
    rows.push_back({By::User, L"page-to-advanced", false, click(editor->pageButton)});
    // The lists and the bypass button.
    for (double mode : {0.0, 1.0})
        rows.push_back({By::Host, L"host-mode-" + std::to_wstring(int(mode)), true,
                        [=] { set(ParamId::ProcessingMode, mode); }});
    for (double profile : {0.0, 1.0})
        rows.push_back({By::Host, L"host-profile-" + std::to_wstring(int(profile)), true,
                        [=] { set(ParamId::CleanupProfile, profile); }});
    for (bool advanced : {true, false})
        for (double bypass : {1.0, 0.0})
            rows.push_back({By::Host,
                            L"host-bypass-" + std::to_wstring(int(bypass)) + (advanced ? L"-advanced" : L"-main"),
                            advanced, [=] { set(ParamId::Bypass, bypass); }});
    rows.push_back({By::User, L"bypass-on", true, click(editor->bypassButton)});
    rows.push_back({By::User, L"bypass-off", true, click(editor->bypassButton)});
    rows.push_back({By::Host, L"host-knob-main-8", false, [&] { set(ParamId::CleanAmount, 0.85); }});

    for (const Row& row : rows)
        run(row);
}
