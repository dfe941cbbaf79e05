#pragma once
// What the editor tests share: a controller as a host sets it up, a top-level
// window of the test's own at the screen's top-left corner that the editor
// view is attached to, bounded message pumping, and pixel capture.

#include <windows.h>

#include "Controller.h"
#include "Editor.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace editor_test {

// Every direct child of a window, in creation order.
std::vector<HWND> children(HWND window);
// The direct children that are visible.
std::vector<HWND> visibleChildren(HWND window);

// A controller initialized as a host does it, in the given language.
struct ControllerHost {
    explicit ControllerHost(int language);
    ~ControllerHost();
    ControllerHost(const ControllerHost&) = delete;
    ControllerHost& operator=(const ControllerHost&) = delete;

    Steinberg::Vst::HostApplication host;
    hushkit::Controller* controller = nullptr;
};

// A visible top-level popup window whose client area is 760 x 480 at screen
// position (x, y), owning nothing of the editor.
HWND makeHostWindow(int x = 0, int y = 0);

// The view "editor" of the controller, as an Editor (one reference, which
// the caller releases).
hushkit::Editor* createEditor(hushkit::Controller* controller);

// Dispatches the messages that are waiting, for at most `ms` milliseconds.
void pump(unsigned ms = 50);
// Dispatches messages until `done` holds or `ms` milliseconds passed;
// returns whether it holds.
bool pumpUntil(const std::function<bool()>& done, unsigned ms = 2000);
// Dispatches messages until the editor window's next timer message has been
// handled (at most `ms` milliseconds); returns whether one came.
bool pumpNextTimer(HWND editorWindow, unsigned ms = 1000);
// Paints everything that is invalid in the window and its children now.
void paintNow(HWND window);

// The window's client area as 0x00RRGGBB pixels, row-major, read back from
// the screen (the window must lie fully on screen).
struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Capture capture(HWND window);
// Pixels of a child window, at its place inside the capture of its parent.
uint32_t childPixel(const Capture& parent, HWND child, int x, int y);

// Where what is on screen differs from what a full repaint draws.
struct StaleArea {
    int pixels = 0;   // pixels that differ
    RECT bounds{};    // their bounding box in the window's client area (empty when none)
};
// Reads the window as it stands on screen, without asking anything to
// paint; then repaints the window and all its children in full
// (RedrawWindow with RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW), reads
// it again and compares the two. When they differ, both pictures are saved
// in the shot folder as stale-NAME-screen.png and stale-NAME-repaint.png.
StaleArea staleArea(HWND window, const std::wstring& name);
// "N pixels in (left, top) to (right, bottom)", for failure messages.
std::ostream& operator<<(std::ostream& out, const StaleArea& area);
// The children of `window` that a rectangle of its client area touches.
std::vector<HWND> childrenTouching(HWND window, const RECT& area);

// Saves the capture as a PNG file.
bool savePng(const Capture& image, const std::wstring& path);
// The folder the tests leave their pictures in (created when asked for).
std::wstring shotFolder();

constexpr uint32_t rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

// Moves the mouse pointer to a point of a window's client area and lets the
// window see it.
void moveMouseTo(HWND window, int x, int y);
// Moves the pointer far away from every test window.
void parkMouse();

std::wstring windowText(HWND window);
std::wstring className(HWND window);
// Place of a child in its parent's client area.
struct Box {
    int x, y, width, height;
    bool operator==(const Box& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};
Box childBox(HWND child);
std::vector<std::wstring> listEntries(HWND combo);

// A controller in English with its editor attached to a host window of its
// own; the mouse pointer is parked away from it.
class AttachedEditor : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Lets the editor's next timer message run its refresh.
    void tick();
    void set(Steinberg::Vst::ParamID id, double value) { host.controller->setParamNormalized(id, value); }

    ControllerHost host{0};
    HWND hostWindow = nullptr;
    hushkit::Editor* editor = nullptr;
};

} // namespace editor_test
