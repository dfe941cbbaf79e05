// The editor view's lifecycle: construction, attaching to the host's window
// and tearing down again, the binding of the window procedure to the
// editor, the subclass procedure of the combo boxes and buttons, and the
// message handler's dispatch.

#include "Editor.h"

#include "Controller.h"
#include "Fonts.h"
#include "Palette.h"
#include "Params.h"
#include "RotatingMaterial.h"
#include "Types.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>

namespace hushkit {

using namespace Steinberg;

namespace {

constexpr wchar_t ClassName[] = L"HushkitEditor01";
const ViewRect viewRect(0, 0, Editor::Width, Editor::Height);

template <typename Handle>
void deleteObject(Handle& handle)
{
    if (handle)
        DeleteObject(handle);
    handle = nullptr;
}

void registerWindowClass()
{
    WNDCLASSW windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = Editor::proc;
    windowClass.hInstance = ghInst;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // the standard arrow, IDC_ARROW
    windowClass.lpszClassName = ClassName;
    RegisterClassW(&windowClass);
}

} // namespace

IPlugView* makeEditor(Controller* controller) { return new Editor(controller); }

Editor::Editor(Controller* owner) : CPluginView(&viewRect), controller(owner)
{
    std::copy(std::begin(ResetValues), std::end(ResetValues), compareValues);
    controller->addRef();
}

Editor::~Editor()
{
    removed();
    controller->release();
}

tresult PLUGIN_API Editor::isPlatformTypeSupported(FIDString type)
{
    return type && std::strcmp(type, kPlatformTypeHWND) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API Editor::attached(void* parent, FIDString type)
{
    if (!parent || isPlatformTypeSupported(type) != kResultTrue || window)
        return kResultFalse;
    std::fill(std::begin(seenValues), std::end(seenValues), -1.0);
    std::fill(std::begin(shownSliderPositions), std::end(shownSliderPositions), -1);
    advancedPage = false;

    Gdiplus::GdiplusStartupInput startup;
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &startup, nullptr) != Gdiplus::Ok) {
        gdiplusToken = 0;
        return kResultFalse;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    registerWindowClass();

    backgroundBrush = CreateSolidBrush(palette::Ground);
    panelBrush = CreateSolidBrush(palette::Panel);
    bodyFont = fonts::make(fonts::Body);
    titleFont = fonts::make(fonts::Title);

    window = CreateWindowExW(0, ClassName, L"Hushkit", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP, 0, 0,
                             Width, Height, static_cast<HWND>(parent), nullptr, ghInst, this);
    if (!window) {
        // Nothing stays behind from a failed attempt but the class.
        releaseGraphics();
        return kResultFalse;
    }
    createControls();
    showMainPage();
    applyLanguage();
    SetTimer(window, TimerId, TimerPeriod, nullptr);
    refresh();
    return CPluginView::attached(parent, type);
}

tresult PLUGIN_API Editor::removed()
{
    if (window) {
        releaseDrag();  // destroying the window may end a drag without a capture-change message
        KillTimer(window, TimerId);
        DestroyWindow(window);
        window = nullptr;
        UnregisterClassW(ClassName, ghInst);
    }
    releaseGraphics();
    return CPluginView::removed();
}

void Editor::releaseGraphics()
{
    if (backBufferDc) {
        SelectObject(backBufferDc, previousBitmap);
        DeleteObject(backBuffer);
        DeleteDC(backBufferDc);
        backBuffer = nullptr;
        backBufferDc = nullptr;
        previousBitmap = nullptr;
    }
    backgroundLayer.reset();
    knobLayer.reset();
    material.reset();
    knobLayerValue = -1.0;
    for (ArcSegment& segment : arcSegments)
        segment.bitmap.reset();
    if (gdiplusToken) {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        gdiplusToken = 0;
    }
    deleteObject(bodyFont);
    deleteObject(titleFont);
    deleteObject(backgroundBrush);
    deleteObject(panelBrush);
    hotControl = nullptr;
}

LRESULT CALLBACK Editor::proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        editor = static_cast<Editor*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(editor));
        editor->window = window;
    }
    if (!editor)
        return DefWindowProcW(window, msg, wParam, lParam);
    return editor->message(msg, wParam, lParam);
}

LRESULT CALLBACK Editor::themedProc(HWND control, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                    DWORD_PTR data)
{
    auto* editor = reinterpret_cast<Editor*>(data);
    if (msg == WM_MOUSEMOVE && editor->hotControl != control) {
        // The control the mouse came from is repainted at once too: its
        // leave notice may arrive after this move, when it is no longer hot.
        if (editor->hotControl)
            InvalidateRect(editor->hotControl, nullptr, FALSE);
        editor->hotControl = control;
        TRACKMOUSEEVENT leave{sizeof(leave), TME_LEAVE, control, 0};
        TrackMouseEvent(&leave);
        InvalidateRect(control, nullptr, FALSE);
    } else if (msg == WM_MOUSELEAVE && editor->hotControl == control) {
        editor->hotControl = nullptr;
        InvalidateRect(control, nullptr, FALSE);
    }

    if (isListId(GetDlgCtrlID(control))) {
        if (msg == WM_PAINT) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(control, &paint);
            editor->drawControl(control, dc, false);
            EndPaint(control, &paint);
            return 0;
        }
        if (msg == WM_PRINTCLIENT) {
            editor->drawControl(control, reinterpret_cast<HDC>(wParam), false);
            return 0;
        }
        if (msg == WM_ERASEBKGND)
            return 1;
    }

    const LRESULT result = DefSubclassProc(control, msg, wParam, lParam);
    switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case CB_SETCURSEL:
        InvalidateRect(control, nullptr, FALSE);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(control, Editor::themedProc, SubclassId);
        break;
    default:
        break;
    }
    return result;
}

LRESULT Editor::message(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        return paint();
    case WM_ERASEBKGND:
        return 1;
    case WM_DRAWITEM:
        return drawItem(wParam, lParam);
    case WM_MEASUREITEM:
        return measureItem(wParam, lParam);
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        return controlColour(msg, wParam);
    case WM_NOTIFY:
        return sliderDraw(wParam, lParam);
    case WM_SETCURSOR:
        if (setKnobCursor())
            return 1;
        break;
    case WM_LBUTTONDOWN:
        startDrag(lParam);
        return 0;
    case WM_MOUSEMOVE:
        moveDrag(lParam);
        return 0;
    case WM_LBUTTONUP:
        releaseDrag();
        return 0;
    case WM_CAPTURECHANGED:
        endDrag();
        return 0;
    case WM_KEYDOWN:
        stepKnob(wParam);
        return 0;
    case WM_MOUSEWHEEL:
        wheelKnob(wParam);
        return 0;
    case WM_HSCROLL:
        sliderMoved(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        refresh();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

} // namespace hushkit
