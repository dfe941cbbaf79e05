#pragma once
// The plug-in's editor view: a fixed 760 x 480 child window drawn with the
// Windows user-interface libraries and GDI+, holding the controls of the main
// and the advanced page. It follows the controller by polling on a 16 ms
// timer and changes parameters only through the controller's edits.

#include <windows.h>

#include "MakeEditor.h"
#include "Types.h"

#include "public.sdk/source/common/pluginview.h"

#include <cstdint>
#include <memory>

// The module instance recorded by the SDK's Windows module entry. A program
// that links the editor without that entry defines it itself.
extern HINSTANCE ghInst;

namespace Gdiplus {
class Bitmap;
class GraphicsPath;
} // namespace Gdiplus

namespace hushkit {

class Controller;

namespace knob {
class RotatingMaterial;
} // namespace knob

// One pre-rendered piece of the knob's lit value arc and where it goes.
struct ArcSegment {
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    int left = 0;
    int top = 0;
};

class Editor : public Steinberg::CPluginView {
public:
    static constexpr int Width = 760;
    static constexpr int Height = 480;
    static constexpr int SliderCount = 7;
    static constexpr int PolledCount = 12;
    static constexpr int ArcSegmentCount = 40;
    static constexpr UINT_PTR TimerId = 1;
    static constexpr UINT TimerPeriod = 16;
    // Id of the subclass that themedProc installs on the lists and buttons.
    static constexpr UINT_PTR SubclassId = 1;
    // The sliders, and the advanced page's rows beside them, follow each
    // other RowPitch pixels apart.
    static constexpr int RowPitch = 43;
    // A slider's positions run 0 to SliderRange.
    static constexpr int SliderRange = 1000;
    // Height of an entry in a drop-down list.
    static constexpr int ListItemHeight = 30;
    // Wide characters, the terminating zero included, read from a button's
    // caption or a list entry to draw it.
    static constexpr int TextCapacity = 128;

    // Control ids of the child windows.
    enum : int {
        FirstSliderId = 100,
        ProfileListId = 200,
        BypassButtonId = 201,
        CompareButtonId = 202,
        SaveButtonId = 203,
        OpenButtonId = 204,
        ResetButtonId = 205,
        PageButtonId = 206,
        ModeListId = 207,
        LanguageListId = 208,
    };
    static constexpr bool isListId(int id) { return id == ProfileListId || id == ModeListId || id == LanguageListId; }

    explicit Editor(Controller* controller);
    ~Editor() override;
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API removed() override;

    // Class procedure of the editor window; binds the window to its editor
    // on WM_NCCREATE and hands every later message to message().
    static LRESULT CALLBACK proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    // Subclass procedure of the combo boxes and buttons: hover tracking,
    // self-painting of the closed combo boxes, repaints after state changes.
    static LRESULT CALLBACK themedProc(HWND control, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR data);
    LRESULT message(UINT msg, WPARAM wParam, LPARAM lParam);

    // Every list entry and control text in the current language; relabels
    // the controller's parameters too.
    void applyLanguage();
    // Brings the controls in step with the controller; repaints the window
    // when one of the polled values changed. Allocates nothing.
    void refresh();
    // Switches between the main and the advanced page.
    void togglePage();
    // Save (true) or Open (false): asks for a file in a modal dialog, then
    // writes the ten parameter values to it or applies the values it holds.
    void preset(bool save);

    // Paints a button or a closed combo box into dc.
    void drawControl(HWND control, HDC dc, bool pressed);
    // Draws the main page's knob for the Clean Amount `value` into dc (window
    // coordinates), building its cached layers as needed. Needs GDI+ started.
    void drawKnob(HDC dc, double value);
    // Appends a closed rounded-rectangle figure to path.
    static void rounded(Gdiplus::GraphicsPath& path, float x, float y, float width, float height, float radius);

    // The window's painting and the look it gives its child controls.
    LRESULT paint();
    LRESULT drawItem(WPARAM wParam, LPARAM lParam);
    LRESULT measureItem(WPARAM wParam, LPARAM lParam);
    LRESULT controlColour(UINT msg, WPARAM wParam);
    LRESULT sliderDraw(WPARAM wParam, LPARAM lParam);

    Controller* controller;
    HWND window = nullptr;
    HWND sliders[SliderCount] = {};
    HWND profileList = nullptr;
    HWND modeList = nullptr;
    HWND languageList = nullptr;
    HWND bypassButton = nullptr;
    HWND compareButton = nullptr;
    HWND pageButton = nullptr;
    HWND saveButton = nullptr;
    HWND openButton = nullptr;
    HWND resetButton = nullptr;
    bool advancedPage = false;
    bool dragging = false;
    int32_t shownLanguage = -1;
    int32_t shownProfile = -1;
    int32_t shownMode = -1;
    double dragLastY = 0.0;
    double dragLastAngle = 0.0;
    bool rotaryDrag = false;
    bool dragAngleValid = false;
    HFONT bodyFont = nullptr;
    HFONT titleFont = nullptr;
    HBRUSH backgroundBrush = nullptr;
    HBRUSH panelBrush = nullptr;
    HWND hotControl = nullptr;
    ULONG_PTR gdiplusToken = 0;
    HDC backBufferDc = nullptr;
    HBITMAP backBuffer = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    double seenValues[PolledCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    // The position at which each slider was last invalidated whole: what
    // its channel, fill and thumb show once painted; -1 before the first.
    int32_t shownSliderPositions[SliderCount] = {-1, -1, -1, -1, -1, -1, -1};
    double compareValues[EditableParamCount];
    bool compareIsB = false;
    std::unique_ptr<Gdiplus::Bitmap> backgroundLayer;
    std::unique_ptr<Gdiplus::Bitmap> knobLayer;
    std::unique_ptr<knob::RotatingMaterial> material;
    double knobLayerValue = -1.0;
    ArcSegment arcSegments[ArcSegmentCount];

private:
    void createControls();
    void showMainPage();
    void setPageControlsShown(bool shown);
    // Repaints slider i whole when `position`, the one it holds now, moved
    // since it last was.
    void repaintMovedSlider(int i, LRESULT position);
    // Releases everything attached() built except the window: back buffer,
    // knob images, GDI+, fonts and brushes.
    void releaseGraphics();
    void paintRows(HDC dc);
    void paintKnob(HDC dc);
    void paintMeters(HDC dc);

    // Input and commands. The hand cursor over the knob on the main page
    // (false: the default cursor applies).
    bool setKnobCursor();
    // A knob drag: press, move, release, and the loss of the mouse capture.
    void startDrag(LPARAM where);
    void moveDrag(LPARAM where);
    void releaseDrag();
    void endDrag();
    double turnedValue(double value, double dx, double dy);
    // Arrow keys and the wheel step the knob.
    void stepKnob(WPARAM key);
    void wheelKnob(WPARAM wParam);
    // One complete edit of a slider's parameter per scroll notification.
    void sliderMoved(HWND slider);
    // The lists' and buttons' commands.
    void command(int id, int code);
    void chooseListEntry(HWND list, uint32_t id);
    void chooseLanguage();
    void toggleBypass();
    void swapCompare();
    void resetValues();
};

} // namespace hushkit
