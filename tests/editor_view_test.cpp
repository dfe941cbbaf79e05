// The editor view's lifecycle as a host drives it: platform types, attaching
// and removing, attaching again, two editors at once, and an editor released
// while still attached.

#include "editor_host.h"

#include "Language.h"
#include "Types.h"

#include <commctrl.h>

#include <gdiplus.h>

#include <algorithm>
#include <set>
#include <vector>

// The program is linked with GdiplusStartup and GdiplusShutdown wrapped, so
// that the tests see which GDI+ start-ups are still open.
namespace {
// Wine hands out the same token for every start-up, hence a multiset.
std::multiset<ULONG_PTR> openGdiplus;
}
extern "C" {
Gdiplus::Status WINAPI __real_GdiplusStartup(ULONG_PTR*, const Gdiplus::GdiplusStartupInput*,
                                             Gdiplus::GdiplusStartupOutput*);
void WINAPI __real_GdiplusShutdown(ULONG_PTR);

Gdiplus::Status WINAPI __wrap_GdiplusStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                                             Gdiplus::GdiplusStartupOutput* output)
{
    const Gdiplus::Status status = __real_GdiplusStartup(token, input, output);
    if (status == Gdiplus::Ok)
        openGdiplus.insert(*token);
    return status;
}
void WINAPI __wrap_GdiplusShutdown(ULONG_PTR token)
{
    const auto open = openGdiplus.find(token);
    if (open != openGdiplus.end())
        openGdiplus.erase(open);
    __real_GdiplusShutdown(token);
}
}

// The editor calls SetTimer through its import pointer, __imp_SetTimer; the
// program is linked with that pointer wrapped, so that the tests see the
// period each timer is made with.
extern "C" decltype(&SetTimer) __real___imp_SetTimer;
namespace {
struct TimerCall {
    HWND window;
    UINT_PTR id;
    UINT period;
    TIMERPROC callback;
};
std::vector<TimerCall> timerCalls;

UINT_PTR WINAPI recordSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC callback)
{
    timerCalls.push_back({window, id, period, callback});
    return __real___imp_SetTimer(window, id, period, callback);
}
}
extern "C" {
decltype(&SetTimer) __wrap___imp_SetTimer = recordSetTimer;
}

using namespace Steinberg;
using namespace editor_test;
using hushkit::Editor;

namespace {

bool classRegistered()
{
    WNDCLASSW info{};
    return GetClassInfoW(ghInst, L"HushkitEditor01", &info) != FALSE;
}

// GDI and USER objects the process holds.
struct GuiCounts {
    DWORD gdi, user;
};
GuiCounts guiCounts()
{
    return {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
}

using ViewTest = AttachedEditor;

} // namespace

// The controller hands out a new editor for "editor" only; the editor holds
// a reference on the controller for its whole life.
TEST(EditorView, ControllerCreatesTheEditorView)
{
    ControllerHost host(hushkit::i18n::English);
    EXPECT_EQ(host.controller->createView("Editor"), nullptr);
    EXPECT_EQ(host.controller->createView(nullptr), nullptr);
    IPlugView* view = host.controller->createView("editor");
    ASSERT_NE(view, nullptr);
    auto* editor = dynamic_cast<Editor*>(view);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->controller, host.controller);
    EXPECT_EQ(editor->window, nullptr);
    IPlugView* second = host.controller->createView("editor");
    EXPECT_NE(second, view);
    host.controller->addRef();
    EXPECT_EQ(host.controller->release(), 3u);
    EXPECT_EQ(view->release(), 0u);
    EXPECT_EQ(second->release(), 0u);
    host.controller->addRef();
    EXPECT_EQ(host.controller->release(), 1u);
}

TEST(EditorView, PlatformTypes)
{
    ControllerHost host(hushkit::i18n::English);
    Editor* editor = createEditor(host.controller);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->isPlatformTypeSupported("HWND"), kResultTrue);
    for (const char* other : {"hwnd", "HWND ", "NSView", "X11EmbedWindowID", ""})
        EXPECT_EQ(editor->isPlatformTypeSupported(other), kResultFalse) << other;
    EXPECT_EQ(editor->isPlatformTypeSupported(nullptr), kResultFalse);

    ViewRect size;
    EXPECT_EQ(editor->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 760);
    EXPECT_EQ(size.getHeight(), 480);
    EXPECT_EQ(editor->canResize(), kResultFalse);
    editor->release();
}

TEST(EditorView, AttachRefusesBadArguments)
{
    ControllerHost host(hushkit::i18n::English);
    HWND hostWindow = makeHostWindow();
    Editor* editor = createEditor(host.controller);
    EXPECT_EQ(editor->attached(nullptr, "HWND"), kResultFalse);
    EXPECT_EQ(editor->attached(hostWindow, nullptr), kResultFalse);
    EXPECT_EQ(editor->attached(hostWindow, "NSView"), kResultFalse);
    EXPECT_TRUE(openGdiplus.empty());
    EXPECT_EQ(editor->window, nullptr);
    EXPECT_EQ(editor->gdiplusToken, 0u);
    EXPECT_EQ(editor->bodyFont, nullptr);
    EXPECT_TRUE(children(hostWindow).empty());
    EXPECT_FALSE(classRegistered());
    editor->release();
    DestroyWindow(hostWindow);
}

// A parent that is no window: the editor window cannot be made. The attempt
// leaves nothing open behind it, and the editor can be attached afterwards.
TEST(EditorView, FailedAttachLeavesNothingOpen)
{
    ControllerHost host(hushkit::i18n::English);
    Editor* editor = createEditor(host.controller);
    EXPECT_EQ(editor->attached(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0)), "HWND"), kResultFalse);
    EXPECT_EQ(editor->window, nullptr);
    EXPECT_TRUE(openGdiplus.empty());
    EXPECT_EQ(editor->bodyFont, nullptr);
    EXPECT_EQ(editor->titleFont, nullptr);
    EXPECT_EQ(editor->backgroundBrush, nullptr);
    EXPECT_EQ(editor->panelBrush, nullptr);

    HWND hostWindow = makeHostWindow();
    EXPECT_EQ(editor->attached(hostWindow, "HWND"), kResultOk);
    EXPECT_EQ(children(editor->window).size(), 16u);
    EXPECT_EQ(openGdiplus.size(), 1u);
    editor->removed();
    editor->release();
    DestroyWindow(hostWindow);
}

TEST(EditorView, RemovedWithoutAttachReleasesNothing)
{
    ControllerHost host(hushkit::i18n::English);
    Editor* editor = createEditor(host.controller);
    EXPECT_EQ(editor->removed(), kResultOk);
    EXPECT_EQ(editor->window, nullptr);
    EXPECT_EQ(editor->gdiplusToken, 0u);
    // The editor still holds its controller.
    host.controller->addRef();
    EXPECT_EQ(host.controller->release(), 2u);
    editor->release();
    host.controller->addRef();
    EXPECT_EQ(host.controller->release(), 1u);
}

TEST_F(ViewTest, AttachBuildsTheWindow)
{
    ASSERT_NE(editor->window, nullptr);
    EXPECT_EQ(GetParent(editor->window), hostWindow);
    EXPECT_EQ(className(editor->window), L"HushkitEditor01");
    EXPECT_EQ(windowText(editor->window), L"Hushkit");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(editor->window, GWL_STYLE)), 0x52010000u);
    EXPECT_EQ(childBox(editor->window), (Box{0, 0, 760, 480}));
    EXPECT_EQ(children(editor->window).size(), 16u);
    EXPECT_NE(editor->gdiplusToken, 0u);
    EXPECT_EQ(openGdiplus, std::multiset<ULONG_PTR>{editor->gdiplusToken});
    EXPECT_EQ(GetObjectType(editor->bodyFont), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetObjectType(editor->titleFont), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetObjectType(editor->backgroundBrush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetObjectType(editor->panelBrush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_TRUE(classRegistered());
    // The timer runs.
    EXPECT_TRUE(pumpNextTimer(editor->window));
}

// One timer on the editor window, id 1, every 16 ms, delivered as messages.
TEST(EditorView, AttachStartsTheRefreshTimerAtSixteenMilliseconds)
{
    ControllerHost host(hushkit::i18n::English);
    HWND hostWindow = makeHostWindow();
    Editor* editor = createEditor(host.controller);
    timerCalls.clear();
    ASSERT_EQ(editor->attached(hostWindow, "HWND"), kResultOk);
    ASSERT_EQ(timerCalls.size(), 1u);
    EXPECT_EQ(timerCalls[0].window, editor->window);
    EXPECT_EQ(timerCalls[0].id, 1u);
    EXPECT_EQ(timerCalls[0].period, 16u);
    EXPECT_EQ(timerCalls[0].callback, nullptr);
    editor->removed();
    editor->release();
    DestroyWindow(hostWindow);
}

TEST_F(ViewTest, SecondAttachIsRefusedAndLeavesTheFirstWindow)
{
    HWND first = editor->window;
    const std::vector<HWND> controls = children(first);
    HWND otherHost = makeHostWindow(0, 0);
    EXPECT_EQ(editor->attached(otherHost, "HWND"), kResultFalse);
    EXPECT_EQ(editor->window, first);
    EXPECT_TRUE(IsWindow(first));
    EXPECT_EQ(GetParent(first), hostWindow);
    EXPECT_EQ(children(first), controls);
    EXPECT_TRUE(children(otherHost).empty());
    EXPECT_TRUE(pumpNextTimer(first));
    DestroyWindow(otherHost);
}

TEST_F(ViewTest, RemovedThenAttachedOpensOnTheMainPageWithCurrentValues)
{
    SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
    ASSERT_TRUE(editor->advancedPage);
    set(hushkit::ParamId::DryWet, 0.25);
    set(hushkit::ParamId::Bypass, 1.0);
    tick();
    EXPECT_EQ(editor->removed(), kResultOk);
    EXPECT_EQ(editor->window, nullptr);
    EXPECT_TRUE(children(hostWindow).empty());

    set(hushkit::ParamId::CleanAmount, 0.125);
    set(hushkit::ParamId::DryWet, 0.75);
    set(hushkit::ParamId::CleanupProfile, 1.0);
    ASSERT_EQ(editor->attached(hostWindow, "HWND"), kResultOk);
    EXPECT_FALSE(editor->advancedPage);
    EXPECT_EQ(windowText(editor->pageButton), L"Advanced");
    EXPECT_EQ(windowText(editor->bypassButton), L"Effect OFF");
    EXPECT_FALSE(IsWindowVisible(editor->sliders[0]));
    EXPECT_EQ(childBox(editor->bypassButton), (Box{286, 422, 188, 32}));
    const LRESULT expected[Editor::SliderCount] = {125, 0, 1000, 0, 100, 750, 500};
    for (int i = 0; i < Editor::SliderCount; ++i)
        EXPECT_EQ(SendMessageW(editor->sliders[i], TBM_GETPOS, 0, 0), expected[i]) << "slider " << i;
    EXPECT_EQ(SendMessageW(editor->profileList, CB_GETCURSEL, 0, 0), 2);
}

TEST(EditorView, TwoEditorsShareTheWindowClass)
{
    ControllerHost firstHost(hushkit::i18n::English);
    ControllerHost secondHost(hushkit::i18n::English);
    HWND firstWindow = makeHostWindow();
    HWND secondWindow = makeHostWindow();
    Editor* first = createEditor(firstHost.controller);
    Editor* second = createEditor(secondHost.controller);
    ASSERT_EQ(first->attached(firstWindow, "HWND"), kResultOk);
    ASSERT_EQ(second->attached(secondWindow, "HWND"), kResultOk);
    ASSERT_NE(second->window, nullptr);

    EXPECT_EQ(first->removed(), kResultOk);
    EXPECT_TRUE(classRegistered());
    // The second editor still follows its controller.
    secondHost.controller->setParamNormalized(hushkit::ParamId::NoiseReduction, 0.5);
    EXPECT_TRUE(pumpNextTimer(second->window));
    EXPECT_EQ(SendMessageW(second->sliders[2], TBM_GETPOS, 0, 0), 500);
    SendMessageW(second->pageButton, BM_CLICK, 0, 0);
    EXPECT_TRUE(second->advancedPage);

    EXPECT_EQ(openGdiplus, std::multiset<ULONG_PTR>{second->gdiplusToken});
    EXPECT_EQ(second->removed(), kResultOk);
    EXPECT_FALSE(classRegistered());
    EXPECT_TRUE(openGdiplus.empty());
    first->release();
    second->release();
    DestroyWindow(firstWindow);
    DestroyWindow(secondWindow);
}

TEST(EditorView, ReleasedWhileAttachedFreesEverything)
{
    ControllerHost host(hushkit::i18n::English);
    HWND hostWindow = makeHostWindow();
    // One attachment first, so that what the system creates once per
    // process (common controls, GDI+ internals) exists before counting.
    {
        Editor* warmUp = createEditor(host.controller);
        warmUp->attached(hostWindow, "HWND");
        paintNow(hostWindow);
        warmUp->removed();
        warmUp->release();
    }
    const GuiCounts before = guiCounts();
    Editor* editor = createEditor(host.controller);
    ASSERT_EQ(editor->attached(hostWindow, "HWND"), kResultOk);
    paintNow(hostWindow);
    const std::vector<HWND> windows = [&] {
        std::vector<HWND> all = children(editor->window);
        all.push_back(editor->window);
        return all;
    }();
    const HGDIOBJ objects[] = {editor->bodyFont, editor->titleFont, editor->backgroundBrush, editor->panelBrush};
    EXPECT_EQ(openGdiplus.size(), 1u);
    // Under Wine the process reports no counts (0 throughout); on Windows the
    // attached editor holds some of each.
    const GuiCounts during = guiCounts();
    EXPECT_GE(during.gdi, before.gdi);
    EXPECT_GE(during.user, before.user);

    editor->release();
    for (HWND window : windows)
        EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(openGdiplus.empty());
    for (HGDIOBJ object : objects)
        EXPECT_EQ(GetObjectType(object), 0u);
    EXPECT_FALSE(classRegistered());
    const GuiCounts after = guiCounts();
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);
    DestroyWindow(hostWindow);
}
