#pragma once
// Types shared by the engine, the renderer, the plug-in's processor and
// controller, and the editor: parameter identifiers, processing modes and
// cleanup profiles. The parameters themselves are described in Params.h.

#include "TextKey.h"

#include <cstdint>

namespace hushkit {

// Parameter identifiers. Ids 0 to 8 are also the engine's parameter indices;
// all values are normalized to 0..1. Ids 100 to 104 are read-only meters.
struct ParamId {
    enum : uint32_t {
        CleanAmount = 0,
        OriginalAmbience = 1,
        NoiseReduction = 2,
        BodyRestore = 3,
        FrequencyFocus = 4,
        DryWet = 5,
        OutputGain = 6,
        Bypass = 7,
        CleanupProfile = 8,
        ProcessingMode = 9,
        InputPeak = 100,
        OutputPeak = 101,
        Reduction = 102,
        NeuralActive = 103,
        Clipping = 104,
    };
};

// The parameter id of the processing-mode list.
constexpr uint32_t ProcessingMode = ParamId::ProcessingMode;

// Number of engine parameters (ids 0 to 8).
constexpr int EngineParamCount = 9;

// Parameters that the editor edits and preset files carry: ids 0 to 9, the
// engine's parameters and the processing mode.
constexpr int EditableParamCount = EngineParamCount + 1;

// One entry of a list parameter: its name before the catalog relabels it, and
// the catalog key of its text.
struct ListEntry {
    const char16_t* name;
    i18n::Key key;
};

enum class Mode : int32_t { NeuralLive = 0, NeuralClassic = 1, LiveDsp = 2 };

constexpr int ModeCount = 3;

// The processing-mode list's entries, indexed by Mode.
constexpr ListEntry ModeEntries[ModeCount] = {
    {u"Neural Live", i18n::Key::ModeNeuralLive},
    {u"Neural Classic", i18n::Key::ModeNeuralClassic},
    {u"Live DSP", i18n::Key::ModeLiveDsp},
};

enum class Profile : int32_t { Live = 0, Broadcast = 1, Studio = 2 };

constexpr int ProfileCount = 3;

// The cleanup-profile list's entries, indexed by Profile.
constexpr ListEntry ProfileEntries[ProfileCount] = {
    {u"Live", i18n::Key::ProfileLive},
    {u"Broadcast", i18n::Key::ProfileBroadcast},
    {u"Studio", i18n::Key::ProfileStudio},
};

// Index of a three-entry list (mode or profile) for a normalized value v:
// 0 when v < 0, else the integer part of min(v, 1) * 2 + 0.5. Callers reject
// non-finite values before asking.
inline int32_t listIndex(double v)
{
    if (v < 0.0)
        return 0;
    const double c = v < 1.0 ? v : 1.0;
    return static_cast<int32_t>(c * 2.0 + 0.5);
}

// Normalized value of a list index: index * 0.5.
inline double listValue(int32_t index) { return index * 0.5; }

} // namespace hushkit
