#include "I18n.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using hushkit::i18n::catalog;
using hushkit::i18n::Key;
using hushkit::i18n::KeyCount;
using hushkit::i18n::LanguageCount;

// The expected texts, typed independently of the catalog; every form of each
// cell is compared with the compiler's encoding of these literals.
struct Expected {
    const char* utf8;
    const wchar_t* wide;
    const char16_t* utf16;
};
#define CELL(s) Expected{s, L"" s, u"" s}
#define ROW(en, pt, es) {CELL(en), CELL(pt), CELL(es)}

const Expected expected[][3] = {
    ROW("Voice cleanup", "Limpeza da voz", "Limpieza de voz"),
    ROW("Original ambience", "Ambiente original", "Ambiente original"),
    ROW("Noise reduction", "Redução de ruído", "Reducción de ruido"),
    ROW("Body restore", "Recuperar corpo", "Recuperar cuerpo"),
    ROW("Frequency focus", "Foco de frequência", "Enfoque de frecuencia"),
    ROW("Dry / Wet", "Original / Limpo", "Original / Limpio"),
    ROW("Output gain", "Ganho de saída", "Ganancia de salida"),
    ROW("Bypass", "Desativar efeito", "Desactivar efecto"),
    ROW("Cleanup profile", "Perfil de limpeza", "Perfil de limpieza"),
    ROW("Processing mode", "Modo de processamento", "Modo de procesamiento"),
    ROW("Input peak", "Pico de entrada", "Pico de entrada"),
    ROW("Output peak", "Pico de saída", "Pico de salida"),
    ROW("Reduction", "Redução", "Reducción"),
    ROW("Neural active", "Rede neural ativa", "Red neuronal activa"),
    ROW("CLIPPING", "SATURAÇÃO", "SATURACIÓN"),
    ROW("Neural Live", "Neural ao vivo", "Neural en vivo"),
    ROW("Neural Classic", "Neural Clássico", "Neural Clásico"),
    ROW("Live DSP", "DSP ao vivo", "DSP en vivo"),
    ROW("Live / gentle", "Ao vivo / suave", "En vivo / suave"),
    ROW("Broadcast / medium", "Transmissão / médio", "Emisión / medio"),
    ROW("Studio / intense", "Estúdio / intenso", "Estudio / intenso"),
    ROW("Advanced", "Avançadas", "Avanzadas"),
    ROW("Back", "Voltar", "Volver"),
    ROW("Save", "Salvar", "Guardar"),
    ROW("Open", "Abrir", "Abrir"),
    ROW("Reset", "Restaurar", "Restablecer"),
    ROW("B / switch to A", "B / trocar para A", "B / cambiar a A"),
    ROW("A / switch to B", "A / trocar para B", "A / cambiar a B"),
    ROW("Effect OFF", "Efeito desligado", "Efecto apagado"),
    ROW("Effect ON", "Efeito ligado", "Efecto encendido"),
    ROW("VOICE CLEANUP", "LIMPEZA DA VOZ", "LIMPIEZA DE VOZ"),
    ROW("VOICE CLEANUP", "LIMPEZA DE VOZ", "LIMPIEZA DE VOZ"),
    ROW("IN", "ENT", "ENT"),
    ROW("OUT", "SAÍ", "SAL"),
    ROW("Hushkit presets", "Presets Hushkit", "Preajustes Hushkit"),
    ROW("Save Hushkit preset", "Salvar preset Hushkit", "Guardar preajuste Hushkit"),
    ROW("Open Hushkit preset", "Abrir preset Hushkit", "Abrir preajuste Hushkit"),
    ROW("Could not save the preset.", "Não foi possível salvar o preset.", "No se pudo guardar el preajuste."),
    ROW("Could not open the preset.", "Não foi possível abrir o preset.", "No se pudo abrir el preajuste."),
    ROW("Invalid or incompatible preset.", "Preset inválido ou incompatível.",
        "Preajuste no válido o incompatible."),
    ROW("Language", "Idioma", "Idioma"),
    ROW("OK", "OK", "Aceptar"),
};
static_assert(sizeof(expected) / sizeof(expected[0]) == KeyCount, "one expected row per key");

TEST(I18nCatalog, EveryCellMatchesTheTableInAllThreeForms)
{
    for (int key = 0; key < KeyCount; ++key) {
        for (int language = 0; language < LanguageCount; ++language) {
            SCOPED_TRACE("key " + std::to_string(key) + ", language " + std::to_string(language));
            const auto& cell = catalog[key][language];
            const Expected& want = expected[key][language];
            ASSERT_NE(cell.utf8, nullptr);
            ASSERT_NE(cell.wide, nullptr);
            ASSERT_NE(cell.utf16, nullptr);
            EXPECT_STREQ(cell.utf8, want.utf8);
            EXPECT_EQ(std::wstring(cell.wide), std::wstring(want.wide));
            EXPECT_EQ(std::u16string(cell.utf16), std::u16string(want.utf16));
        }
    }
}

TEST(I18nCatalog, TextsArePrecomposedAndTrimmed)
{
    for (int key = 0; key < KeyCount; ++key) {
        for (int language = 0; language < LanguageCount; ++language) {
            SCOPED_TRACE("key " + std::to_string(key) + ", language " + std::to_string(language));
            const std::u16string text = catalog[key][language].utf16;
            ASSERT_FALSE(text.empty());
            EXPECT_NE(text.front(), u' ');
            EXPECT_NE(text.back(), u' ');
            for (char16_t unit : text)
                EXPECT_FALSE(unit >= 0x0300 && unit <= 0x036F) << "combining mark " << int(unit);
        }
    }
    // One accented letter is one unit in each 16- or 32-bit form.
    const auto& reducao = catalog[int(Key::Reduction)][1];
    EXPECT_EQ(std::u16string(reducao.utf16).size(), 7u);
    EXPECT_EQ(std::wstring(reducao.wide).size(), 7u);
    EXPECT_EQ(std::strlen(reducao.utf8), 9u);
}

TEST(I18nCatalog, KeysAndCodes)
{
    EXPECT_EQ(int(Key::CleanAmount), 0);
    EXPECT_EQ(int(Key::ProcessingModeTitle), 9);
    EXPECT_EQ(int(Key::Clipping), 14);
    EXPECT_EQ(int(Key::ModeNeuralLive), 15);
    EXPECT_EQ(int(Key::ProfileLive), 18);
    EXPECT_EQ(int(Key::HeaderTitleAlt), 31);
    EXPECT_EQ(int(Key::Ok), KeyCount - 1);
    EXPECT_STREQ(hushkit::i18n::codes[0], "en");
    EXPECT_STREQ(hushkit::i18n::codes[1], "pt-BR");
    EXPECT_STREQ(hushkit::i18n::codes[2], "es");
}

TEST(I18nCatalog, ColumnFallsBackToBrazilianPortuguese)
{
    struct Case {
        int language;
        int column;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 1}, {-1, 1}, {7, 1}, {INT32_MIN, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(hushkit::i18n::column(c.language), c.column) << c.language;
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows wide form is UTF-16");
#endif

} // namespace
