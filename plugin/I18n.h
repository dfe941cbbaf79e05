#pragma once
// The plug-in's text catalog: every text shown in the host or in the editor,
// in English, Brazilian Portuguese and Spanish.

#include "TextKey.h"

#include <cstdint>

namespace hushkit {
namespace i18n {

// Languages by index: 0 English, 1 Brazilian Portuguese, 2 Spanish. Any other
// value, taken as unsigned, stands for Brazilian Portuguese.
enum LanguageIndex : int { English = 0, BrazilianPortuguese = 1, Spanish = 2 };

constexpr int LanguageCount = 3;

// Language codes in index order; the only words the preference file holds.
extern const char* const codes[LanguageCount];

// One text in three read-only encodings: UTF-8, wide (what the Windows
// wide-character calls take; 16-bit units there, 32-bit on Linux) and UTF-16
// (what the VST3 SDK's strings take). All forms are null-terminated and hold
// precomposed characters.
struct Text {
    const char* utf8;
    const wchar_t* wide;
    const char16_t* utf16;
};

// Row = key, column = language index.
extern const Text catalog[KeyCount][LanguageCount];

// Column of a language index: the index itself for 0..2, else 1.
inline int column(int language)
{
    return static_cast<unsigned>(language) < static_cast<unsigned>(LanguageCount) ? language
                                                                                  : BrazilianPortuguese;
}

} // namespace i18n
} // namespace hushkit
