#pragma once
// The keys of the plug-in's text catalog, one per text. The catalog with the
// texts lives in the plug-in (plugin/I18n.cpp); the keys live here so that the
// parameter table can name each parameter's title without the plug-in.

#include <cstdint>

namespace hushkit {
namespace i18n {

enum class Key : int32_t {
    CleanAmount,
    OriginalAmbience,
    NoiseReduction,
    BodyRestore,
    FrequencyFocus,
    DryWet,
    OutputGain,
    Bypass,
    CleanupProfile,
    ProcessingModeTitle,
    InputPeak,
    OutputPeak,
    Reduction,
    NeuralActive,
    Clipping,
    ModeNeuralLive,
    ModeNeuralClassic,
    ModeLiveDsp,
    ProfileLive,
    ProfileBroadcast,
    ProfileStudio,
    Advanced,
    Back,
    Save,
    Open,
    Reset,
    SwitchToA,
    SwitchToB,
    EffectOff,
    EffectOn,
    HeaderTitle,
    HeaderTitleAlt,
    MeterIn,
    MeterOut,
    PresetFilter,
    SavePresetTitle,
    OpenPresetTitle,
    SaveFailed,
    OpenFailed,
    InvalidPreset,
    Language,
    Ok,
};

// Keys in all: the catalog has a row for each. Ok stays the last key.
constexpr int KeyCount = static_cast<int>(Key::Ok) + 1;

} // namespace i18n
} // namespace hushkit
