// The editor's input and commands: the knob's cursor, drags, arrow keys and
// wheel, the sliders' scroll notifications, and the lists and buttons. Every
// parameter change goes through the controller inside a begin/end bracket;
// a knob drag keeps one bracket of parameter 0 open from press to release.

#include "Editor.h"

#include "KnobGeometry.h"
#include "Maths.h"

#include "Controller.h"
#include "Language.h"
#include "Params.h"
#include "Types.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cmath>

namespace hushkit {

using i18n::Key;
using Steinberg::Vst::ParamID;

namespace {

using knob::Squash;

// The knob as the pointer sees it: centre, the ellipse that reacts, the
// dead zone of a rotary drag, and how far a drag moves the value.
constexpr double KnobX = knob::FaceX;
constexpr double KnobY = knob::FaceY;
constexpr double ReachX = 145.0;
constexpr double ReachY = 164.0;
constexpr double DeadZone = 12.0;
constexpr double PixelsPerRange = 240.0;
constexpr double SweepPerRange = 1.5 * Pi;  // the knob's 270 degrees of travel

constexpr double KeyStep = 0.01;
constexpr double WheelPerValue = 12000.0;      // one 120 notch is 0.01
constexpr double FineWheelPerValue = 120000.0;  // with Shift, 0.001

bool insideKnob(double x, double y)
{
    const double u = (x - KnobX) / ReachX;
    const double w = (y - KnobY) / ReachY;
    return u * u + w * w <= 1.0;
}

bool keyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// Angle of a pointer offset from the knob's centre, on the knob's own
// (unsquashed) circle; grows clockwise on screen.
double pointerAngle(double dx, double dy) { return std::atan2(dy / Squash, dx); }

} // namespace

bool Editor::setKnobCursor()
{
    POINT point;
    if (!GetCursorPos(&point) || !ScreenToClient(window, &point))
        return false;
    if (advancedPage || !insideKnob(point.x, point.y))
        return false;
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand, IDC_HAND
    return true;
}

void Editor::startDrag(LPARAM where)
{
    const int x = GET_X_LPARAM(where);
    const int y = GET_Y_LPARAM(where);
    if (advancedPage || !insideKnob(x, y))
        return;
    // A press while a drag is still open (its release went elsewhere)
    // closes that drag's edit first, so brackets never nest.
    if (dragging)
        endDrag();
    const double dx = x - KnobX;
    const double dy = y - KnobY;
    rotaryDrag = keyDown(VK_MENU);
    dragLastY = dy;
    dragLastAngle = pointerAngle(dx, dy);
    dragAngleValid = std::hypot(dx, dy) >= DeadZone;
    SetFocus(window);
    // Taken before the drag counts as open: taking the capture from this
    // window itself sends it a capture-change message, which must not end
    // the new drag.
    SetCapture(window);
    dragging = true;
    controller->beginEdit(ParamId::CleanAmount);
}

void Editor::moveDrag(LPARAM where)
{
    if (!dragging)
        return;
    const double dx = GET_X_LPARAM(where) - KnobX;
    const double dy = GET_Y_LPARAM(where) - KnobY;
    const double previous = dragLastY;
    dragLastY = dy;
    double v = controller->getParamNormalized(ParamId::CleanAmount);
    if (!rotaryDrag)
        v = clamp01(v + (previous - dy) / PixelsPerRange);
    else
        v = turnedValue(v, dx, dy);
    controller->setParamNormalized(ParamId::CleanAmount, v);
    controller->performEdit(ParamId::CleanAmount, v);
    InvalidateRect(window, nullptr, FALSE);
}

// The value after a rotary move to (dx, dy): the turn since the last
// position, taken the short way round; nothing inside the dead zone, and the
// first position after it only sets the reference.
double Editor::turnedValue(double v, double dx, double dy)
{
    if (std::hypot(dx, dy) < DeadZone) {
        dragAngleValid = false;
        return v;
    }
    const double a = pointerAngle(dx, dy);
    if (dragAngleValid)
        v += std::remainder(a - dragLastAngle, 2.0 * Pi) / SweepPerRange;
    dragLastAngle = a;
    dragAngleValid = true;
    return clamp01(v);
}

void Editor::releaseDrag()
{
    if (!dragging)
        return;
    // Cleared before the release, whose capture-change message then finds
    // no drag to end.
    dragging = false;
    ReleaseCapture();
    controller->endEdit(ParamId::CleanAmount);
}

void Editor::endDrag()
{
    if (!dragging)
        return;
    dragging = false;
    controller->endEdit(ParamId::CleanAmount);
}

void Editor::stepKnob(WPARAM key)
{
    if (advancedPage)
        return;
    double step = 0.0;
    if (key == VK_UP || key == VK_RIGHT)
        step = KeyStep;
    else if (key == VK_LEFT || key == VK_DOWN)
        step = -KeyStep;
    else
        return;
    controller->edit(ParamId::CleanAmount, clamp01(controller->getParamNormalized(ParamId::CleanAmount) + step));
}

void Editor::wheelKnob(WPARAM wParam)
{
    if (advancedPage)
        return;
    const double delta = GET_WHEEL_DELTA_WPARAM(wParam);
    const double perValue = keyDown(VK_SHIFT) ? FineWheelPerValue : WheelPerValue;
    controller->edit(ParamId::CleanAmount,
                     clamp01(controller->getParamNormalized(ParamId::CleanAmount) + delta / perValue));
}

void Editor::sliderMoved(HWND slider)
{
    // A null handle is a window scroll bar's notification, never a slider's.
    for (int i = 0; slider && i < SliderCount; ++i) {
        if (sliders[i] != slider)
            continue;
        const auto position = SendMessageW(slider, TBM_GETPOS, 0, 0);
        controller->edit(static_cast<ParamID>(i), static_cast<double>(position) / SliderRange);
        repaintMovedSlider(i, position);
        break;
    }
    InvalidateRect(window, nullptr, FALSE);
}

void Editor::command(int id, int code)
{
    switch (id) {
    case ModeListId:
        if (code == CBN_SELCHANGE)
            chooseListEntry(modeList, ParamId::ProcessingMode);
        break;
    case ProfileListId:
        if (code == CBN_SELCHANGE)
            chooseListEntry(profileList, ParamId::CleanupProfile);
        break;
    case LanguageListId:
        if (code == CBN_SELCHANGE)
            chooseLanguage();
        break;
    case BypassButtonId:
        toggleBypass();
        break;
    case CompareButtonId:
        swapCompare();
        break;
    case SaveButtonId:
        preset(true);
        break;
    case OpenButtonId:
        preset(false);
        break;
    case ResetButtonId:
        resetValues();
        break;
    case PageButtonId:
        togglePage();
        break;
    default:
        break;
    }
}

// The list's selection as the value of a three-entry parameter; a list
// without a selection changes nothing.
void Editor::chooseListEntry(HWND list, uint32_t id)
{
    const auto index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index < 0)
        return;
    controller->edit(id, listValue(static_cast<int32_t>(index)));
}

void Editor::chooseLanguage()
{
    const auto index = SendMessageW(languageList, CB_GETCURSEL, 0, 0);
    if (index < 0)
        return;
    i18n::setLanguage(static_cast<int>(index), true);
    applyLanguage();
    refresh();
}

void Editor::toggleBypass()
{
    const bool on = controller->getParamNormalized(ParamId::Bypass) > 0.5;
    controller->edit(ParamId::Bypass, on ? 0.0 : 1.0);
    refresh();
}

// The live values and the stored slot change places, parameter by
// parameter, the processing mode included.
void Editor::swapCompare()
{
    for (int i = 0; i < EditableParamCount; ++i) {
        const auto id = static_cast<ParamID>(i);
        const double current = controller->getParamNormalized(id);
        controller->edit(id, compareValues[i]);
        compareValues[i] = current;
    }
    compareIsB = !compareIsB;
    SetWindowTextW(compareButton, i18n::wide(compareIsB ? Key::SwitchToA : Key::SwitchToB));
    refresh();
}

void Editor::resetValues()
{
    for (int i = 0; i < EditableParamCount; ++i)
        controller->edit(static_cast<ParamID>(i), ResetValues[i]);
    refresh();
}

} // namespace hushkit
