// The Save and Open buttons: a modal file dialog, then the preset file
// written from the controller's values or read and applied to them as
// ordinary edits. Failures are told in a message box in the current language.

#include "Editor.h"

#include "Controller.h"
#include "Language.h"
#include "PresetFile.h"
#include "Types.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace hushkit {

using i18n::Key;

static_assert(PresetValueCount == EditableParamCount, "a preset carries every parameter the editor edits");

namespace {

constexpr DWORD PathLength = 260;
constexpr wchar_t ProposedName[] = L"Hushkit.hushkit";
constexpr wchar_t Pattern[] = L"*.hushkit";
constexpr wchar_t Extension[] = L"hushkit";
// The filter's name is a catalog text of a few words; a longer one is cut.
constexpr size_t FilterNameLength = 100;

// The dialogs' filter: one entry (its name, its pattern), then the empty
// string that ends the list. Built in place, so it cannot fail.
struct Filter {
    wchar_t text[FilterNameLength + sizeof Pattern / sizeof(wchar_t) + 2] = {};

    Filter()
    {
        const wchar_t* name = i18n::wide(Key::PresetFilter);
        const size_t nameLength = wcsnlen(name, FilterNameLength);
        std::copy(name, name + nameLength, text);
        std::copy(std::begin(Pattern), std::end(Pattern), text + nameLength + 1);
    }
};

// Runs the save or the open dialog, owned by `owner`. True when the user
// chose a file, whose path is then in `path`.
bool choosePath(HWND owner, bool save, wchar_t (&path)[PathLength])
{
    std::fill(std::begin(path), std::end(path), L'\0');
    std::copy(std::begin(ProposedName), std::end(ProposedName), path);
    const Filter filter;

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.text;
    dialog.lpstrFile = path;
    dialog.nMaxFile = PathLength;
    dialog.lpstrTitle = i18n::wide(save ? Key::SavePresetTitle : Key::OpenPresetTitle);
    dialog.Flags = save ? OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR : OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    dialog.lpstrDefExt = Extension;
    return (save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog)) != FALSE;
}

void showFailure(HWND owner, Key key) { MessageBoxW(owner, i18n::wide(key), L"Hushkit", MB_ICONERROR); }

void saveTo(Controller& controller, HWND owner, const wchar_t* path)
{
    std::FILE* file = _wfopen(path, L"wb");
    if (!file) {
        showFailure(owner, Key::SaveFailed);
        return;
    }
    double values[PresetValueCount];
    for (int id = 0; id < PresetValueCount; ++id)
        values[id] = controller.getParamNormalized(id);
    if (!writePresetFile(file, values))
        showFailure(owner, Key::SaveFailed);
}

// True when the file's values were applied; every value is checked before
// the first edit, so a refused file changes nothing.
bool loadFrom(Controller& controller, HWND owner, const wchar_t* path)
{
    std::FILE* file = _wfopen(path, L"rb");
    if (!file) {
        showFailure(owner, Key::OpenFailed);
        return false;
    }
    double values[PresetValueCount];
    if (!readPresetFile(file, controller.getParamNormalized(ParamId::ProcessingMode), values)) {
        showFailure(owner, Key::InvalidPreset);
        return false;
    }
    for (int id = 0; id < PresetValueCount; ++id)
        controller.edit(id, values[id]);
    return true;
}

} // namespace

void Editor::preset(bool save)
{
    wchar_t path[PathLength];
    if (!choosePath(window, save, path))
        return;
    if (save)
        saveTo(*controller, window, path);
    else if (loadFrom(*controller, window, path))
        refresh();
}

} // namespace hushkit
