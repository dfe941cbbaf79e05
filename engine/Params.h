#pragma once
// The parameter table that the engine, the plug-in's controller and the
// editor read: for each of the fifteen parameters, in the order the host
// lists them, its id, kind, title key, name, unit, plain range and default.
// The engine's defaults and the editor's reset values come from it.

#include "TextKey.h"
#include "Types.h"

#include <cstdint>

namespace hushkit {

enum class ParamKind : int32_t {
    Range,   // continuous, shown in a plain unit over [min, max]
    Toggle,  // on or off (the bypass)
    List,    // a three-entry list
    Meter,   // read-only, set by the processor
};

struct ParamRow {
    uint32_t id;
    ParamKind kind;
    i18n::Key title;          // catalog key of the title and short title
    const char16_t* name;     // the title until the catalog relabels it
    const char16_t* units;    // null: none
    double min, max;          // plain range of a Range parameter
    double plainDefault;      // default of a Range parameter, in its unit
    float defaultValue;       // normalized default
    bool automatable;
    const ListEntry* entries; // a List parameter's ListEntryCount entries, else null
};

namespace detail {

// A percentage 0..100 whose plain default is its normalized default times 100
// in single precision.
constexpr ParamRow percent(uint32_t id, i18n::Key title, const char16_t* name, float value)
{
    return {id, ParamKind::Range, title, name, u"%", 0.0, 100.0, value * 100.0f, value, true, nullptr};
}

constexpr ParamRow list(uint32_t id, i18n::Key title, const char16_t* name, bool automatable,
                        const ListEntry* entries)
{
    return {id, ParamKind::List, title, name, nullptr, 0.0, 1.0, 0.5, 0.5f, automatable, entries};
}

constexpr ParamRow meter(uint32_t id, i18n::Key title, const char16_t* name, float value)
{
    return {id, ParamKind::Meter, title, name, nullptr, 0.0, 1.0, value, value, false, nullptr};
}

} // namespace detail

constexpr int ParamCount = 15;

constexpr ParamRow ParamTable[ParamCount] = {
    detail::percent(ParamId::CleanAmount, i18n::Key::CleanAmount, u"Clean Amount", 1.0f),
    detail::percent(ParamId::OriginalAmbience, i18n::Key::OriginalAmbience, u"Original Ambience", 0.0f),
    detail::percent(ParamId::NoiseReduction, i18n::Key::NoiseReduction, u"Noise Reduction", 1.0f),
    detail::percent(ParamId::BodyRestore, i18n::Key::BodyRestore, u"Body Restore", 0.0f),
    {ParamId::FrequencyFocus, ParamKind::Range, i18n::Key::FrequencyFocus, u"Frequency Focus", u"Hz", 35.0, 180.0,
     49.5, 0.1f, true, nullptr},
    detail::percent(ParamId::DryWet, i18n::Key::DryWet, u"Dry / Wet", 1.0f),
    {ParamId::OutputGain, ParamKind::Range, i18n::Key::OutputGain, u"Output Gain", u"dB", -18.0, 18.0, 0.0, 0.5f,
     true, nullptr},
    {ParamId::Bypass, ParamKind::Toggle, i18n::Key::Bypass, u"Bypass", nullptr, 0.0, 1.0, 0.0, 0.0f, true, nullptr},
    detail::list(ParamId::CleanupProfile, i18n::Key::CleanupProfile, u"Cleanup Profile", true, ProfileEntries),
    detail::list(ParamId::ProcessingMode, i18n::Key::ProcessingModeTitle, u"Processing Mode", false, ModeEntries),
    detail::meter(ParamId::InputPeak, i18n::Key::InputPeak, u"Input Peak", 0.0f),
    detail::meter(ParamId::OutputPeak, i18n::Key::OutputPeak, u"Output Peak", 0.0f),
    detail::meter(ParamId::Reduction, i18n::Key::Reduction, u"Reduction", 0.0f),
    detail::meter(ParamId::NeuralActive, i18n::Key::NeuralActive, u"Neural Active", 0.5f),
    detail::meter(ParamId::Clipping, i18n::Key::Clipping, u"Clipping", 0.0f),
};

// The editable parameters sit at their ids' places, so ParamTable[id] is the
// row of an id below EditableParamCount.
constexpr bool editableRowsInIdOrder()
{
    for (int k = 0; k < EditableParamCount; ++k)
        if (ParamTable[k].id != static_cast<uint32_t>(k))
            return false;
    return true;
}
static_assert(editableRowsInIdOrder(), "rows 0 to 9 must hold ids 0 to 9");
// Entries of each List parameter.
constexpr int ListEntryCount = ModeCount;
static_assert(ProfileCount == ListEntryCount, "both lists have the same number of entries");

// A Range parameter's plain value for a normalized value v.
constexpr double plainValue(const ParamRow& row, double v) { return row.min + (row.max - row.min) * v; }

namespace detail {

// The normalized defaults of the first N rows, as type T.
template <typename T, int N>
struct TableDefaults {
    T values[N];
};
template <typename T, int N>
constexpr TableDefaults<T, N> tableDefaults()
{
    TableDefaults<T, N> d{};
    for (int k = 0; k < N; ++k)
        d.values[k] = ParamTable[k].defaultValue;
    return d;
}
inline constexpr auto engineDefaultSet = tableDefaults<float, EngineParamCount>();
inline constexpr auto editableResetSet = tableDefaults<double, EditableParamCount>();

} // namespace detail

// Default normalized values of ids 0 to 8.
inline constexpr const float (&Defaults)[EngineParamCount] = detail::engineDefaultSet.values;

// The values the editor's reset applies to ids 0 to 9: the defaults widened
// to double, the processing mode's (Neural Classic) included.
inline constexpr const double (&ResetValues)[EditableParamCount] = detail::editableResetSet.values;

} // namespace hushkit
