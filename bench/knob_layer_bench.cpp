// What the editor's knob costs per value change, under Wine: the turned
// photo, the knob layer's rebuild and the copy to the back buffer, against
// the editor's 16 ms refresh period. A knob drag changes the value on every
// mouse movement, so one change must fit well within one period.
//
// Run by hand in the Windows build's Wine environment:
//     bash scripts/wine-env.sh build/windows scripts/wine-run.sh build/windows/bench/knob_layer_bench.exe

#include "Controller.h"
#include "Editor.h"
#include "RotatingMaterial.h"

#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

// The editor registers its window class for the module's instance; here the
// module is the program itself.
HINSTANCE ghInst = GetModuleHandleW(nullptr);

namespace {

constexpr double RefreshPeriod = 0.016;
constexpr int Changes = 40;

// Best time in seconds of `count` runs of `run(i)`, each after `prepare(i)`.
double bestOf(int count, const std::function<void(int)>& prepare, const std::function<void(int)>& run)
{
    double best = 1e9;
    for (int i = 0; i < count; ++i) {
        prepare(i);
        const auto start = std::chrono::steady_clock::now();
        run(i);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// Values spread over the range, each different from the one before.
double valueOf(int change) { return static_cast<double>((change + 1) * 37 % Changes) / Changes; }

void print(const char* what, double seconds, const char* how)
{
    std::printf("  %-44s %7.3f ms   %.3f of a 16 ms refresh period (%s)\n", what, seconds * 1e3,
                seconds / RefreshPeriod, how);
}

// A 760 x 480 memory device context as the editor's back buffer.
struct BackBuffer {
    BackBuffer()
    {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, hushkit::Editor::Width, hushkit::Editor::Height);
        ReleaseDC(nullptr, screen);
        previous = SelectObject(dc, bitmap);
    }
    ~BackBuffer()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

void run(hushkit::Editor& editor)
{
    BackBuffer buffer;
    const double first = bestOf(1, [](int) {}, [&](int) { editor.drawKnob(buffer.dc, 0.3); });
    if (!editor.material) {
        std::printf("  knob photo not decoded\n");
        return;
    }
    print("first paint (photo, layers, segments)", first, "once per attachment");

    const double render = bestOf(Changes, [](int) {}, [&](int i) { editor.material->render(valueOf(i)); });
    print("RotatingMaterial::render 700x700", render, "best of 40 changes");

    // The turned photo is cached by value, so each rebuild below is the
    // layer's own work.
    const double rebuild = bestOf(
        Changes, [&](int i) { editor.material->render(valueOf(i) + 0.5 / Changes); },
        [&](int i) { editor.drawKnob(buffer.dc, valueOf(i) + 0.5 / Changes); });
    print("knob layer rebuild and copy (photo cached)", rebuild, "best of 40 changes");

    const double change = bestOf(Changes, [](int) {}, [&](int i) { editor.drawKnob(buffer.dc, valueOf(i)); });
    print("value change: render, rebuild and copy", change, "best of 40 changes");

    const double unchanged = bestOf(Changes, [](int) {}, [&](int) { editor.drawKnob(buffer.dc, 0.7); });
    print("unchanged value: copy only", unchanged, "best of 40 paints");
}

} // namespace

int main()
{
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput startup;
    if (Gdiplus::GdiplusStartup(&token, &startup, nullptr) != Gdiplus::Ok) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    std::printf("Hushkit knob bench (drawKnob under this system's GDI+)\n");
    auto* controller = new hushkit::Controller;
    auto* editor = new hushkit::Editor(controller);
    run(*editor);
    // The editor's images go before GDI+ does.
    editor->removed();
    editor->release();
    controller->release();
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
