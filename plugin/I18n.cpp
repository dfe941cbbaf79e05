#include "I18n.h"

// The source is UTF-8 and so is the compiler's narrow execution character set;
// a different narrow set would break the UTF-8 column.
static_assert(sizeof("é") == 3, "narrow string literals must be UTF-8");
static_assert(sizeof(u"é") == 2 * sizeof(char16_t), "é must be one precomposed UTF-16 unit");

// One cell from one literal, so that its three forms cannot drift apart.
#define HSK_TEXT(s) Text{s, L"" s, u"" s}

namespace hushkit {
namespace i18n {

const char* const codes[LanguageCount] = {"en", "pt-BR", "es"};

const Text catalog[KeyCount][LanguageCount] = {
    {HSK_TEXT("Voice cleanup"), HSK_TEXT("Limpeza da voz"), HSK_TEXT("Limpieza de voz")},
    {HSK_TEXT("Original ambience"), HSK_TEXT("Ambiente original"), HSK_TEXT("Ambiente original")},
    {HSK_TEXT("Noise reduction"), HSK_TEXT("Redução de ruído"), HSK_TEXT("Reducción de ruido")},
    {HSK_TEXT("Body restore"), HSK_TEXT("Recuperar corpo"), HSK_TEXT("Recuperar cuerpo")},
    {HSK_TEXT("Frequency focus"), HSK_TEXT("Foco de frequência"), HSK_TEXT("Enfoque de frecuencia")},
    {HSK_TEXT("Dry / Wet"), HSK_TEXT("Original / Limpo"), HSK_TEXT("Original / Limpio")},
    {HSK_TEXT("Output gain"), HSK_TEXT("Ganho de saída"), HSK_TEXT("Ganancia de salida")},
    {HSK_TEXT("Bypass"), HSK_TEXT("Desativar efeito"), HSK_TEXT("Desactivar efecto")},
    {HSK_TEXT("Cleanup profile"), HSK_TEXT("Perfil de limpeza"), HSK_TEXT("Perfil de limpieza")},
    {HSK_TEXT("Processing mode"), HSK_TEXT("Modo de processamento"), HSK_TEXT("Modo de procesamiento")},
    {HSK_TEXT("Input peak"), HSK_TEXT("Pico de entrada"), HSK_TEXT("Pico de entrada")},
    {HSK_TEXT("Output peak"), HSK_TEXT("Pico de saída"), HSK_TEXT("Pico de salida")},
    {HSK_TEXT("Reduction"), HSK_TEXT("Redução"), HSK_TEXT("Reducción")},
    {HSK_TEXT("Neural active"), HSK_TEXT("Rede neural ativa"), HSK_TEXT("Red neuronal activa")},
    {HSK_TEXT("CLIPPING"), HSK_TEXT("SATURAÇÃO"), HSK_TEXT("SATURACIÓN")},
    {HSK_TEXT("Neural Live"), HSK_TEXT("Neural ao vivo"), HSK_TEXT("Neural en vivo")},
    {HSK_TEXT("Neural Classic"), HSK_TEXT("Neural Clássico"), HSK_TEXT("Neural Clásico")},
    {HSK_TEXT("Live DSP"), HSK_TEXT("DSP ao vivo"), HSK_TEXT("DSP en vivo")},
    {HSK_TEXT("Live / gentle"), HSK_TEXT("Ao vivo / suave"), HSK_TEXT("En vivo / suave")},
    {HSK_TEXT("Broadcast / medium"), HSK_TEXT("Transmissão / médio"), HSK_TEXT("Emisión / medio")},
    {HSK_TEXT("Studio / intense"), HSK_TEXT("Estúdio / intenso"), HSK_TEXT("Estudio / intenso")},
    {HSK_TEXT("Advanced"), HSK_TEXT("Avançadas"), HSK_TEXT("Avanzadas")},
    {HSK_TEXT("Back"), HSK_TEXT("Voltar"), HSK_TEXT("Volver")},
    {HSK_TEXT("Save"), HSK_TEXT("Salvar"), HSK_TEXT("Guardar")},
    {HSK_TEXT("Open"), HSK_TEXT("Abrir"), HSK_TEXT("Abrir")},
    {HSK_TEXT("Reset"), HSK_TEXT("Restaurar"), HSK_TEXT("Restablecer")},
    {HSK_TEXT("B / switch to A"), HSK_TEXT("B / trocar para A"), HSK_TEXT("B / cambiar a A")},
    {HSK_TEXT("A / switch to B"), HSK_TEXT("A / trocar para B"), HSK_TEXT("A / cambiar a B")},
    {HSK_TEXT("Effect OFF"), HSK_TEXT("Efeito desligado"), HSK_TEXT("Efecto apagado")},
    {HSK_TEXT("Effect ON"), HSK_TEXT("Efeito ligado"), HSK_TEXT("Efecto encendido")},
    {HSK_TEXT("VOICE CLEANUP"), HSK_TEXT("LIMPEZA DA VOZ"), HSK_TEXT("LIMPIEZA DE VOZ")},
    {HSK_TEXT("VOICE CLEANUP"), HSK_TEXT("LIMPEZA DE VOZ"), HSK_TEXT("LIMPIEZA DE VOZ")},
    {HSK_TEXT("IN"), HSK_TEXT("ENT"), HSK_TEXT("ENT")},
    {HSK_TEXT("OUT"), HSK_TEXT("SAÍ"), HSK_TEXT("SAL")},
    {HSK_TEXT("Hushkit presets"), HSK_TEXT("Presets Hushkit"), HSK_TEXT("Preajustes Hushkit")},
    {HSK_TEXT("Save Hushkit preset"), HSK_TEXT("Salvar preset Hushkit"), HSK_TEXT("Guardar preajuste Hushkit")},
    {HSK_TEXT("Open Hushkit preset"), HSK_TEXT("Abrir preset Hushkit"), HSK_TEXT("Abrir preajuste Hushkit")},
    {HSK_TEXT("Could not save the preset."), HSK_TEXT("Não foi possível salvar o preset."),
     HSK_TEXT("No se pudo guardar el preajuste.")},
    {HSK_TEXT("Could not open the preset."), HSK_TEXT("Não foi possível abrir o preset."),
     HSK_TEXT("No se pudo abrir el preajuste.")},
    {HSK_TEXT("Invalid or incompatible preset."), HSK_TEXT("Preset inválido ou incompatível."),
     HSK_TEXT("Preajuste no válido o incompatible.")},
    {HSK_TEXT("Language"), HSK_TEXT("Idioma"), HSK_TEXT("Idioma")},
    {HSK_TEXT("OK"), HSK_TEXT("OK"), HSK_TEXT("Aceptar")},
};

} // namespace i18n
} // namespace hushkit
