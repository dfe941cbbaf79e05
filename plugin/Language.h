#pragma once
// The process-wide current language and its one-word preference file.

#include "I18n.h"

#include <filesystem>

namespace hushkit {
namespace i18n {

// The current language, shared by every plug-in instance in the process.
// Loaded from the preference file on first use; written by setLanguage.
int& preference();

// Where the preference file lives: HSK_LANGUAGE_FILE if set (an empty value
// gives the empty path), else LOCALAPPDATA/Hushkit/language.txt, else empty.
std::filesystem::path preferencePath();

// Language named by the first word of the preference file; 1 (Brazilian
// Portuguese) for anything unreadable or unknown. Never throws.
int loadPreference();

// Sets the current language (indices outside 0..2 select 1) and, with persist,
// writes its code to the preference file, creating missing folders. File
// errors are ignored: the language stays changed in memory.
void setLanguage(int language, bool persist);

// The key's cell in the current language.
const Text& text(Key key);

// The key's wide text in the current language.
const wchar_t* wide(Key key);

} // namespace i18n
} // namespace hushkit
