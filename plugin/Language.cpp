#include "Language.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

namespace hushkit {
namespace i18n {

int& preference()
{
    static int value = loadPreference();
    return value;
}

std::filesystem::path preferencePath()
{
    if (const char* file = std::getenv("HSK_LANGUAGE_FILE"))
        return std::filesystem::u8path(file);
#ifdef _WIN32
    const wchar_t* base = _wgetenv(L"LOCALAPPDATA");
#else
    const char* base = std::getenv("LOCALAPPDATA");
#endif
    if (base)
        return std::filesystem::path(base) / "Hushkit" / "language.txt";
    return {};
}

int loadPreference()
{
    try {
        std::ifstream in(preferencePath());
        std::string word;
        if (in)
            in >> word;
        for (int language = 0; language < LanguageCount; ++language)
            if (word == codes[language])
                return language;
    } catch (...) {
    }
    return BrazilianPortuguese;
}

void setLanguage(int language, bool persist)
{
    int& current = preference();
    current = column(language);
    if (!persist)
        return;
    try {
        const std::filesystem::path path = preferencePath();
        if (path.empty())
            return;
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        std::ofstream out(path, std::ios::out | std::ios::trunc);
        if (out)
            out << codes[current] << '\n';
    } catch (...) {
    }
}

const Text& text(Key key)
{
    return catalog[static_cast<int>(key)][column(preference())];
}

const wchar_t* wide(Key key) { return text(key).wide; }

} // namespace i18n
} // namespace hushkit
