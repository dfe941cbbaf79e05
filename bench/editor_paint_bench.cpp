// Times the editor window's paint on the main page: with the knob's value
// unchanged since the last paint (the knob comes from its cached layer), and
// after a change of the value (the knob layer is rebuilt). Prints one line
// per case in milliseconds per paint and their ratio. A Windows program, run
// by hand under Wine (see the README).

#include "Controller.h"
#include "Editor.h"
#include "Types.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <windows.h>

#include <cstdio>

HINSTANCE ghInst = GetModuleHandleW(nullptr);

namespace {

using namespace Steinberg;

HWND makeHostWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = ghInst;
    windowClass.lpszClassName = L"HushkitBenchHost";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                           hushkit::Editor::Width, hushkit::Editor::Height, nullptr, nullptr, ghInst, nullptr);
}

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double seconds()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) / double(frequency.QuadPart);
}

// Milliseconds per paint of the editor window over `paints` paints; before
// each paint `change` may move the knob's value.
template <typename Change>
double timePaints(HWND window, int paints, Change change)
{
    const double start = seconds();
    for (int i = 0; i < paints; ++i) {
        change(i);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    return (seconds() - start) * 1000.0 / paints;
}

} // namespace

int main()
{
    // As the Windows module does: the controller's editor view is this editor.
    hushkit::Controller::setViewMaker(hushkit::makeEditor);
    Vst::HostApplication host;
    auto* controller = new hushkit::Controller;
    controller->initialize(static_cast<Vst::IHostApplication*>(&host));
    HWND hostWindow = makeHostWindow();
    auto* editor = static_cast<hushkit::Editor*>(controller->createView("editor"));
    if (!editor || editor->attached(hostWindow, "HWND") != kResultOk) {
        std::fprintf(stderr, "editor_paint_bench: the editor could not be attached\n");
        return 1;
    }
    pump();
    // The first paint builds the back buffer and the knob's cached images.
    RedrawWindow(editor->window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    constexpr int Paints = 200;
    const double unchanged = timePaints(editor->window, Paints, [](int) {});
    const double changed = timePaints(editor->window, Paints, [&](int i) {
        controller->setParamNormalized(hushkit::ParamId::CleanAmount, i % 2 ? 0.25 : 0.75);
    });
    std::printf("editor paint, main page, knob unchanged:   %7.3f ms\n", unchanged);
    std::printf("editor paint, main page, after knob change: %7.3f ms (%.1fx)\n", changed, changed / unchanged);

    editor->removed();
    editor->release();
    DestroyWindow(hostWindow);
    controller->terminate();
    controller->release();
    return 0;
}
