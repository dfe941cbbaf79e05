#include "editor_host.h"

#include "Language.h"

#include <gdiplus.h>

#include <algorithm>

// The editor registers its window class for the module's instance; in a test
// program the module is the program itself.
HINSTANCE ghInst = GetModuleHandleW(nullptr);

// The Windows module installs the editor as its controllers' view; a test
// program, which links the editor without the module, installs it the same way.
static const bool viewMakerInstalled = (hushkit::Controller::setViewMaker(hushkit::makeEditor), true);

namespace editor_test {

using namespace Steinberg;

ControllerHost::ControllerHost(int language)
{
    hushkit::i18n::setLanguage(language, false);
    controller = new hushkit::Controller;
    controller->initialize(static_cast<Vst::IHostApplication*>(&host));
}

ControllerHost::~ControllerHost()
{
    controller->terminate();
    controller->release();
}

HWND makeHostWindow(int x, int y)
{
    static const wchar_t* className = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = ghInst;
        windowClass.lpszClassName = L"HushkitTestHost";
        RegisterClassW(&windowClass);
        return L"HushkitTestHost";
    }();
    HWND window = CreateWindowExW(0, className, L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                                  hushkit::Editor::Width, hushkit::Editor::Height, nullptr, nullptr, ghInst, nullptr);
    if (!window)
        ADD_FAILURE() << "host window not made, error " << GetLastError();
    SetForegroundWindow(window);
    pump(20);
    return window;
}

hushkit::Editor* createEditor(hushkit::Controller* controller)
{
    IPlugView* view = controller->createView("editor");
    return static_cast<hushkit::Editor*>(view);
}

void pump(unsigned ms)
{
    pumpUntil([] { return false; }, ms);
}

bool pumpUntil(const std::function<bool()>& done, unsigned ms)
{
    const DWORD start = GetTickCount();
    MSG msg;
    while (!done()) {
        if (GetTickCount() - start >= ms)
            return done();
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return true;
}

bool pumpNextTimer(HWND editorWindow, unsigned ms)
{
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_TIMER && msg.hwnd == editorWindow)
            return true;
    }
    return false;
}

void paintNow(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump(20);
}

Capture capture(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    Capture image;
    image.width = client.right;
    image.height = client.bottom;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, image.width, image.height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* words = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = words[i] & 0xFFFFFFu;
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return image;
}

uint32_t childPixel(const Capture& parent, HWND child, int x, int y)
{
    const Box box = childBox(child);
    return parent.at(box.x + x, box.y + y);
}

StaleArea staleArea(HWND window, const std::wstring& name)
{
    const Capture screen = capture(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const Capture repaint = capture(window);
    StaleArea area;
    area.bounds = {screen.width, screen.height, 0, 0};
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) {
            if (screen.at(x, y) == repaint.at(x, y))
                continue;
            ++area.pixels;
            area.bounds = {std::min<LONG>(area.bounds.left, x), std::min<LONG>(area.bounds.top, y),
                           std::max<LONG>(area.bounds.right, x + 1), std::max<LONG>(area.bounds.bottom, y + 1)};
        }
    if (area.pixels == 0) {
        area.bounds = {};
        return area;
    }
    savePng(screen, shotFolder() + L"/stale-" + name + L"-screen.png");
    savePng(repaint, shotFolder() + L"/stale-" + name + L"-repaint.png");
    return area;
}

std::ostream& operator<<(std::ostream& out, const StaleArea& area)
{
    return out << area.pixels << " pixels in (" << area.bounds.left << ", " << area.bounds.top << ") to ("
               << area.bounds.right << ", " << area.bounds.bottom << ")";
}

std::vector<HWND> childrenTouching(HWND window, const RECT& area)
{
    std::vector<HWND> found;
    for (HWND child : visibleChildren(window)) {
        const Box box = childBox(child);
        const RECT place{box.x, box.y, box.x + box.width, box.y + box.height};
        RECT common;
        if (IntersectRect(&common, &place, &area))
            found.push_back(child);
    }
    return found;
}

#define HUSHKIT_WIDEN2(text) L##text
#define HUSHKIT_WIDEN(text) HUSHKIT_WIDEN2(text)

std::wstring shotFolder()
{
    const std::wstring folder = HUSHKIT_WIDEN(HUSHKIT_SHOT_DIR);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool savePng(const Capture& image, const std::wstring& path)
{
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput startup;
    if (Gdiplus::GdiplusStartup(&token, &startup, nullptr) != Gdiplus::Ok)
        return false;
    std::vector<uint32_t> opaque(image.pixels);
    for (uint32_t& p : opaque)
        p |= 0xFF000000u;
    bool saved = false;
    {
        Gdiplus::Bitmap bitmap(image.width, image.height, image.width * 4, PixelFormat32bppARGB,
                               reinterpret_cast<BYTE*>(opaque.data()));
        // The PNG encoder's class id.
        const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        saved = bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

void moveMouseTo(HWND window, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    pump(30);
}

void parkMouse()
{
    SetCursorPos(1270, 790);
    pump(30);
}

std::wstring windowText(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring className(HWND window)
{
    wchar_t text[256] = {};
    GetClassNameW(window, text, 256);
    return text;
}

Box childBox(HWND child)
{
    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&box), 2);
    return {box.left, box.top, box.right - box.left, box.bottom - box.top};
}

std::vector<HWND> children(HWND window)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        found.push_back(child);
    return found;
}

std::vector<HWND> visibleChildren(HWND window)
{
    std::vector<HWND> found;
    for (HWND child : children(window))
        if (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)
            found.push_back(child);
    return found;
}

void AttachedEditor::SetUp()
{
    parkMouse();
    hostWindow = makeHostWindow();
    // A host window that could not be made would show as a refused attach.
    ASSERT_NE(hostWindow, nullptr);
    editor = createEditor(host.controller);
    ASSERT_NE(editor, nullptr);
    const Steinberg::tresult result = editor->attached(hostWindow, "HWND");
    const DWORD error = GetLastError();
    // The editor registers its class just before it makes its window.
    WNDCLASSW editorClass{};
    const bool registered = GetClassInfoW(ghInst, L"HushkitEditor01", &editorClass) != FALSE;
    ASSERT_EQ(result, Steinberg::kResultOk)
        << "last error " << error << ", host window " << (IsWindow(hostWindow) ? "exists" : "gone")
        << ", editor class " << (registered ? "registered" : "not registered");
    pump(20);
}

void AttachedEditor::TearDown()
{
    if (editor) {
        editor->removed();
        editor->release();
    }
    DestroyWindow(hostWindow);
    pump(10);
}

void AttachedEditor::tick() { ASSERT_TRUE(pumpNextTimer(editor->window)); }

std::vector<std::wstring> listEntries(HWND combo)
{
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    return entries;
}

} // namespace editor_test
