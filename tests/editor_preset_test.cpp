// The editor's Save and Open under Wine: the file dialogs and message boxes
// are answered from a helper thread, the file on disk is checked byte for
// byte, and a recording component handler on the controller shows every
// edit that a load makes.

#include "editor_host.h"

#include "I18n.h"
#include "Language.h"
#include "Params.h"
#include "Types.h"
#include "preset_cases.h"

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

// The program is linked with fclose wrapped: a test can make the next
// closing report a failed flush (the file is closed all the same), which a
// disk under Wine cannot be made to do.
namespace {
std::atomic<bool> failNextClose{false};
}
extern "C" {
int __real_fclose(FILE* file);
int __wrap_fclose(FILE* file)
{
    const int result = __real_fclose(file);
    return failNextClose.exchange(false) ? EOF : result;
}
}

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace editor_test;
using namespace preset_test;
using hushkit::i18n::Key;

namespace {

// Records the edits that reach the host, with the controller's value at the
// moment of each performEdit.
class RecordingHandler : public FObject, public IComponentHandler {
public:
    struct Call {
        char kind; // 'b'egin, 'p'erform, 'e'nd
        ParamID id;
        ParamValue value;
        ParamValue held;
        bool operator==(const Call& o) const
        {
            return kind == o.kind && id == o.id && value == o.value && held == o.held;
        }
    };

    IEditController* controller = nullptr;
    std::vector<Call> calls;

    tresult PLUGIN_API beginEdit(ParamID id) override
    {
        calls.push_back({'b', id, 0, 0});
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        calls.push_back({'p', id, value, controller->getParamNormalized(id)});
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID id) override
    {
        calls.push_back({'e', id, 0, 0});
        return kResultOk;
    }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }

    OBJ_METHODS(RecordingHandler, FObject)
    DEFINE_INTERFACES
        DEF_INTERFACE(IComponentHandler)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)
};

std::ostream& operator<<(std::ostream& out, const RecordingHandler::Call& c)
{
    return out << c.kind << c.id << "(" << c.value << ", held " << c.held << ")";
}

// Control ids of the common file dialog and of the message box.
constexpr int FileNameBox = 0x47C;
constexpr int FileTypeList = 0x470;
constexpr int MessageText = 0xFFFF;
constexpr int MessageIcon = 0x440;

// How the helper thread answers one dialog or message box.
struct Answer {
    int button;        // IDOK, IDCANCEL, IDYES, ...
    std::wstring path; // typed into the file-name box first, when not empty
};
Answer choose(const std::wstring& path) { return {IDOK, path}; }
const Answer Ok{IDOK, {}};
const Answer Yes{IDYES, {}};
const Answer Cancel{IDCANCEL, {}};

// What the helper thread saw of one dialog or message box.
struct Seen {
    std::wstring title;
    std::wstring fileName;             // file dialogs: the file-name box
    std::vector<std::wstring> filters; // file dialogs: the file-type list
    std::wstring text;                 // message boxes: the message
    bool errorIcon = false;            // message boxes: the error icon shown
    HWND owner = nullptr;
    bool unexpected = false;           // came after the last answer; cancelled
};

// For failure messages.
void PrintTo(const Seen& seen, std::ostream* out)
{
    const auto narrow = [](const std::wstring& text) { return std::string(text.begin(), text.end()); };
    *out << "{\"" << narrow(seen.title) << "\" name \"" << narrow(seen.fileName) << "\" text \""
         << narrow(seen.text) << "\"" << (seen.unexpected ? " unexpected" : "") << "}";
}

// A window message to another thread of this process that cannot hang.
LRESULT sendBounded(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring textOf(HWND window)
{
    wchar_t text[512] = {};
    sendBounded(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

// The visible, enabled dialog-class window of a thread (the innermost modal
// one), or none.
HWND activeDialog(DWORD thread)
{
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM param) -> BOOL {
            if (className(window) != L"#32770" || !IsWindowVisible(window) || !IsWindowEnabled(window))
                return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

Seen look(HWND dialog)
{
    Seen seen;
    seen.title = textOf(dialog);
    seen.owner = GetWindow(dialog, GW_OWNER);
    if (HWND name = GetDlgItem(dialog, FileNameBox))
        seen.fileName = textOf(name);
    if (HWND types = GetDlgItem(dialog, FileTypeList)) {
        const LRESULT count = sendBounded(types, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t entry[256] = {};
            sendBounded(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
            seen.filters.emplace_back(entry);
        }
    }
    if (HWND text = GetDlgItem(dialog, MessageText))
        seen.text = textOf(text);
    if (HWND icon = GetDlgItem(dialog, MessageIcon))
        seen.errorIcon = reinterpret_cast<HICON>(sendBounded(icon, STM_GETICON, 0, 0)) == 
            LoadIconW(nullptr, MAKEINTRESOURCEW(32513)); // the error icon, IDI_HAND
    return seen;
}

// Answers, from a thread of its own, the dialogs and message boxes that the
// calling thread opens, one answer each in order. A window beyond the last
// answer is recorded as unexpected and cancelled, so a test fails instead of
// hanging; a window that never comes leaves its answer unused.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::vector<Answer> replies)
        : answers(std::move(replies)), thread(GetCurrentThreadId()), helper([this] { run(); })
    {
    }
    ~DialogAnswerer() { finish(); }

    // Call when the operation has returned: stops the helper and gives what
    // it saw.
    std::vector<Seen> finish()
    {
        done = true;
        if (helper.joinable())
            helper.join();
        return seen;
    }

private:
    void run()
    {
        const DWORD start = GetTickCount();
        size_t next = 0;
        HWND candidate = nullptr;
        DWORD candidateSince = 0;
        while (!done) {
            // A window counts once it is still the active one a moment
            // later and has its title (a box just being built has none yet),
            // or has stayed without one for half a second.
            HWND dialog = activeDialog(thread);
            Sleep(20);
            if (!dialog || activeDialog(thread) != dialog) {
                candidate = nullptr;
                continue;
            }
            if (dialog != candidate) {
                candidate = dialog;
                candidateSince = GetTickCount();
            }
            if (textOf(dialog).empty() && GetTickCount() - candidateSince < 500)
                continue;
            Seen now = look(dialog);
            // Past the last answer, or far past any dialog's time: cancel.
            const bool answer = next < answers.size() && GetTickCount() - start < TimeLimit;
            now.unexpected = !answer;
            seen.push_back(now);
            const Answer& reply = answer ? answers[next++] : Cancel;
            if (!reply.path.empty())
                sendBounded(GetDlgItem(dialog, FileNameBox), WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(reply.path.c_str()));
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(reply.button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, reply.button)));
            // Waits until this window has gone or lost its turn to another.
            const DWORD posted = GetTickCount();
            while (!done && activeDialog(thread) == dialog && GetTickCount() - posted < 5000)
                Sleep(5);
        }
    }

    static constexpr DWORD TimeLimit = 20000;

    std::vector<Answer> answers;
    DWORD thread;
    std::atomic<bool> done{false};
    std::vector<Seen> seen;
    std::thread helper;
};

std::wstring catalogText(Key key, int language) { return hushkit::i18n::catalog[int(key)][language].wide; }

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class PresetTest : public AttachedEditor {
protected:
    void SetUp() override
    {
        AttachedEditor::SetUp();
        handler->controller = host.controller;
        host.controller->setComponentHandler(handler);

        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"hushkit-preset-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const std::wstring& path : made)
            DeleteFileW(path.c_str());
        RemoveDirectoryW(folder.c_str());
        hushkit::i18n::setLanguage(hushkit::i18n::English, false);
        AttachedEditor::TearDown();
    }

    std::wstring path(const std::wstring& name)
    {
        made.push_back(folder + L"\\" + name);
        return made.back();
    }

    // Runs Save or Open while the helper thread gives the answers.
    std::vector<Seen> preset(bool save, std::vector<Answer> answers)
    {
        DialogAnswerer answerer(std::move(answers));
        editor->preset(save);
        return answerer.finish();
    }

    std::vector<double> values() const
    {
        std::vector<double> now;
        for (ParamID id = 0; id < 10; ++id)
            now.push_back(host.controller->getParamNormalized(id));
        return now;
    }

    void setAll(const double (&values)[10])
    {
        for (ParamID id = 0; id < 10; ++id)
            set(id, values[id]);
    }

    IPtr<RecordingHandler> handler = owned(new RecordingHandler);
    std::wstring folder;
    std::vector<std::wstring> made;
};

void writeFile(const std::wstring& path, const Bytes& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty()) {
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    fclose(file);
}

Bytes readFile(const std::wstring& path)
{
    Bytes bytes;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = fgetc(file)) != EOF;)
            bytes.push_back(static_cast<unsigned char>(c));
        fclose(file);
    }
    return bytes;
}

// The edits of a load that applies `values`: one complete bracket per id,
// in id order, the controller already holding the value at performEdit.
std::vector<RecordingHandler::Call> loadEdits(const std::vector<double>& values)
{
    std::vector<RecordingHandler::Call> calls;
    for (ParamID id = 0; id < 10; ++id) {
        calls.push_back({'b', id, 0, 0});
        calls.push_back({'p', id, values[id], values[id]});
        calls.push_back({'e', id, 0, 0});
    }
    return calls;
}

// A message box as the preset operation shows it.
void expectBox(const Seen& box, Key key, int language, HWND hostWindow)
{
    EXPECT_FALSE(box.unexpected);
    EXPECT_EQ(box.title, L"Hushkit");
    EXPECT_EQ(box.text, catalogText(key, language));
    EXPECT_TRUE(box.errorIcon);
    EXPECT_EQ(box.owner, hostWindow);
}

} // namespace

TEST_F(PresetTest, SaveWritesTheTenValuesAndOpenBringsThemBack)
{
    setAll(Distinct);
    const std::wstring file = path(L"round.hushkit");
    const std::vector<Seen> saved = preset(true, {choose(file)});
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_FALSE(saved[0].unexpected);
    EXPECT_TRUE(handler->calls.empty());
    EXPECT_EQ(readFile(file), preset_test::file("HSK2", distinct(10)));

    for (ParamID id = 0; id < 10; ++id)
        set(id, hushkit::ResetValues[id]);
    const std::vector<double> before(std::begin(editor->compareValues), std::end(editor->compareValues));
    const std::vector<Seen> opened = preset(false, {choose(file)});
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_FALSE(opened[0].unexpected);
    EXPECT_EQ(handler->calls, loadEdits(distinct(10)));
    EXPECT_EQ(values(), distinct(10));
    // The controls show the loaded values at once, without a timer tick,
    // and the compare slot is left alone.
    for (int i = 0; i < hushkit::Editor::SliderCount; ++i)
        EXPECT_EQ(SendMessageW(editor->sliders[i], TBM_GETPOS, 0, 0), LRESULT(Distinct[i] * 1000)) << i;
    EXPECT_EQ(std::vector<double>(std::begin(editor->compareValues), std::end(editor->compareValues)), before);
    // Both files were closed again.
    EXPECT_TRUE(DeleteFileW(file.c_str()));
}

TEST_F(PresetTest, SaveKeepsEveryBitOfTheValues)
{
    const double odd[10] = {1.0 / 3.0, 0.0, -0.0, double(0.1f), 0.999999, 1e-300, 0.5, 1.0, 0.5, 1.0};
    setAll(odd);
    const std::wstring file = path(L"odd.hushkit");
    ASSERT_EQ(preset(true, {choose(file)}).size(), 1u);
    const Bytes bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 84u);
    for (ParamID id = 0; id < 10; ++id) {
        double stored;
        std::memcpy(&stored, bytes.data() + 4 + 8 * id, 8);
        EXPECT_TRUE(sameBits(stored, host.controller->getParamNormalized(id))) << id;
    }
}

TEST_F(PresetTest, SaveReportsAFailedFlushAtClosing)
{
    const std::wstring file = path(L"unflushed.hushkit");
    failNextClose = true;
    const std::vector<Seen> seen = preset(true, {choose(file), Ok});
    EXPECT_FALSE(failNextClose);
    ASSERT_EQ(seen.size(), 2u) << ::testing::PrintToString(seen);
    expectBox(seen[1], Key::SaveFailed, hushkit::i18n::English, hostWindow);
}

TEST_F(PresetTest, SaveAddsTheExtensionToANameWithoutOne)
{
    setAll(Distinct);
    const std::wstring typed = path(L"plain");
    const std::wstring file = path(L"plain.hushkit");
    ASSERT_EQ(preset(true, {choose(typed)}).size(), 1u);
    EXPECT_EQ(readFile(file), preset_test::file("HSK2", distinct(10)));
}

TEST_F(PresetTest, OldFileLoadsNineValuesAndEditsTheModeWithItsOwnValue)
{
    set(hushkit::ProcessingMode, 1.0);
    const std::wstring file = path(L"old.hushkit");
    writeFile(file, preset_test::file("HSK1", distinct(9)));
    ASSERT_EQ(preset(false, {choose(file)}).size(), 1u);
    std::vector<double> expected = distinct(9);
    expected.push_back(1.0);
    EXPECT_EQ(handler->calls, loadEdits(expected));
    EXPECT_EQ(values(), expected);
}

TEST_F(PresetTest, InvalidFilesShowTheInvalidBoxAndChangeNothing)
{
    const std::vector<double> before = values();
    const std::wstring file = path(L"invalid.hushkit");
    for (const InvalidCase& invalid : invalidCases()) {
        SCOPED_TRACE(invalid.name);
        writeFile(file, invalid.bytes);
        const std::vector<Seen> seen = preset(false, {choose(file), Ok});
        ASSERT_EQ(seen.size(), 2u);
        expectBox(seen[1], Key::InvalidPreset, hushkit::i18n::English, hostWindow);
        EXPECT_TRUE(handler->calls.empty());
        EXPECT_EQ(values(), before);
        // Closed before the message.
        EXPECT_TRUE(DeleteFileW(file.c_str()));
    }
}

TEST_F(PresetTest, FailuresAreToldInTheCurrentLanguage)
{
    // A file that another handle holds without sharing can be neither read
    // nor replaced.
    const std::wstring file = path(L"held.hushkit");
    writeFile(file, preset_test::file("HSK2", distinct(10)));
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::wstring invalid = path(L"short.hushkit");
    writeFile(invalid, {'H', 'S', 'K'});
    const std::vector<double> before = values();

    for (int language : {hushkit::i18n::English, hushkit::i18n::BrazilianPortuguese, hushkit::i18n::Spanish}) {
        SCOPED_TRACE(language);
        hushkit::i18n::setLanguage(language, false);

        std::vector<Seen> seen = preset(false, {choose(file), Ok});
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].title, catalogText(Key::OpenPresetTitle, language));
        expectBox(seen[1], Key::OpenFailed, language, hostWindow);

        seen = preset(false, {choose(invalid), Ok});
        ASSERT_EQ(seen.size(), 2u);
        expectBox(seen[1], Key::InvalidPreset, language, hostWindow);

        // The save dialog first asks whether to replace the existing file.
        seen = preset(true, {choose(file), Yes, Ok});
        ASSERT_EQ(seen.size(), 3u) << ::testing::PrintToString(seen);
        EXPECT_EQ(seen[0].title, catalogText(Key::SavePresetTitle, language));
        expectBox(seen[2], Key::SaveFailed, language, hostWindow);
    }
    CloseHandle(held);
    EXPECT_TRUE(handler->calls.empty());
    EXPECT_EQ(values(), before);
}

TEST_F(PresetTest, BothDialogsProposeTheNameAndCancellingShowsNothing)
{
    for (int language : {hushkit::i18n::English, hushkit::i18n::Spanish}) {
        hushkit::i18n::setLanguage(language, false);
        for (bool save : {true, false}) {
            SCOPED_TRACE(std::to_string(language) + (save ? " save" : " open"));
            const std::vector<Seen> seen = preset(save, {Cancel});
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_FALSE(seen[0].unexpected);
            EXPECT_EQ(seen[0].title, catalogText(save ? Key::SavePresetTitle : Key::OpenPresetTitle, language));
            EXPECT_EQ(seen[0].fileName, L"Hushkit.hushkit");
            EXPECT_EQ(seen[0].filters, std::vector<std::wstring>{catalogText(Key::PresetFilter, language)});
            EXPECT_EQ(seen[0].owner, hostWindow);
        }
    }
    EXPECT_TRUE(handler->calls.empty());
}

// After a load on the advanced page the screen shows the loaded values as a
// full repaint draws them: every slider's fill ends at its new thumb.
TEST_F(PresetTest, LoadLeavesTheScreenAsAFullRepaintDrawsIt)
{
    SendMessageW(editor->pageButton, BM_CLICK, 0, 0);
    SetFocus(editor->window);
    paintNow(hostWindow);
    const std::wstring file = path(L"screen.hushkit");
    writeFile(file, preset_test::file("HSK2", distinct(10)));
    ASSERT_EQ(preset(false, {choose(file)}).size(), 1u);
    ASSERT_EQ(values(), distinct(10));
    pump(40);
    const StaleArea stale = staleArea(editor->window, L"preset-load");
    EXPECT_EQ(stale.pixels, 0) << stale;
}
