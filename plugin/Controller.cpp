#include "Controller.h"

#include "Language.h"
#include "StateRecord.h"
#include "Types.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstmessage.h"

#ifdef _WIN32
#include "MakeEditor.h"
#endif

#include <cmath>
#include <cstring>

namespace hushkit {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 Automatable = ParameterInfo::kCanAutomate;
constexpr int32 ReadOnly = ParameterInfo::kIsReadOnly;
constexpr int32 List = ParameterInfo::kIsList;
constexpr int32 BypassFlag = ParameterInfo::kIsBypass;

struct RangeRow {
    ParamID id;
    const char16_t* title;
    const char16_t* units;
    double min, max, plainDefault;
};

// Plain defaults of the percentage parameters are the engine defaults times
// 100 in single precision.
const RangeRow rangeRows[] = {
    {ParamId::CleanAmount, u"Clean Amount", u"%", 0.0, 100.0, Defaults[ParamId::CleanAmount] * 100.0f},
    {ParamId::OriginalAmbience, u"Original Ambience", u"%", 0.0, 100.0,
     Defaults[ParamId::OriginalAmbience] * 100.0f},
    {ParamId::NoiseReduction, u"Noise Reduction", u"%", 0.0, 100.0, Defaults[ParamId::NoiseReduction] * 100.0f},
    {ParamId::BodyRestore, u"Body Restore", u"%", 0.0, 100.0, Defaults[ParamId::BodyRestore] * 100.0f},
    {ParamId::FrequencyFocus, u"Frequency Focus", u"Hz", 35.0, 180.0, 49.5},
    {ParamId::DryWet, u"Dry / Wet", u"%", 0.0, 100.0, Defaults[ParamId::DryWet] * 100.0f},
    {ParamId::OutputGain, u"Output Gain", u"dB", -18.0, 18.0, 0.0},
};

struct MeterRow {
    ParamID id;
    const char16_t* title;
    double defaultValue;
};

const MeterRow meterRows[] = {
    {ParamId::InputPeak, u"Input Peak", 0.0},     {ParamId::OutputPeak, u"Output Peak", 0.0},
    {ParamId::Reduction, u"Reduction", 0.0},      {ParamId::NeuralActive, u"Neural Active", 0.5},
    {ParamId::Clipping, u"Clipping", 0.0},
};

StringListParameter* makeList(const char16_t* title, ParamID id, int32 flags, const char16_t* const (&entries)[3])
{
    auto* list = new StringListParameter(title, id, nullptr, flags);
    for (const char16_t* entry : entries)
        list->appendString(entry);
    return list;
}

void setTitles(Parameter* parameter, i18n::Key key)
{
    if (!parameter)
        return;
    ParameterInfo& info = parameter->getInfo();
    const char16_t* text = i18n::text(key).utf16;
    UString(info.title, str16BufferSize(String128)).assign(text);
    UString(info.shortTitle, str16BufferSize(String128)).assign(text);
}

void replaceEntry(Parameter* parameter, int32 index, i18n::Key key)
{
    if (auto* list = dynamic_cast<StringListParameter*>(parameter))
        list->replaceString(index, i18n::text(key).utf16);
}

} // namespace

FUnknown* Controller::create(void* /*context*/)
{
    return static_cast<IEditController*>(new Controller);
}

tresult PLUGIN_API Controller::initialize(FUnknown* context)
{
    const tresult result = EditController::initialize(context);
    if (result != kResultOk)
        return result;

    for (const RangeRow& row : rangeRows)
        parameters.addParameter(
            new RangeParameter(row.title, row.id, row.units, row.min, row.max, row.plainDefault, 0, Automatable));

    parameters.addParameter(new Parameter(u"Bypass", ParamId::Bypass, nullptr, 0.0, 1, Automatable | BypassFlag));

    StringListParameter* profile =
        makeList(u"Cleanup Profile", ParamId::CleanupProfile, Automatable | List, {u"Live", u"Broadcast", u"Studio"});
    profile->setNormalized(0.5);
    profile->getInfo().defaultNormalizedValue = 0.5;
    parameters.addParameter(profile);

    StringListParameter* mode = makeList(u"Processing Mode", ParamId::ProcessingMode, List,
                                         {u"Neural Live", u"Neural Classic", u"Live DSP"});
    mode->getInfo().defaultNormalizedValue = 0.5;
    mode->setNormalized(0.5);
    parameters.addParameter(mode);

    for (const MeterRow& row : meterRows)
        parameters.addParameter(new Parameter(row.title, row.id, nullptr, row.defaultValue, 0, ReadOnly));

    localizeParameters();
    return kResultOk;
}

void Controller::localizeParameters()
{
    for (ParamID id = 0; id <= ParamId::ProcessingMode; ++id)
        setTitles(getParameterObject(id), static_cast<i18n::Key>(id));
    for (ParamID id = ParamId::InputPeak; id <= ParamId::Clipping; ++id)
        setTitles(getParameterObject(id),
                  static_cast<i18n::Key>(static_cast<int32>(i18n::Key::InputPeak) + (id - ParamId::InputPeak)));

    using i18n::Key;
    const Key profileKeys[3] = {Key::ProfileLive, Key::ProfileBroadcast, Key::ProfileStudio};
    const Key modeKeys[3] = {Key::ModeNeuralLive, Key::ModeNeuralClassic, Key::ModeLiveDsp};
    for (int32 index = 0; index < 3; ++index) {
        replaceEntry(getParameterObject(ParamId::CleanupProfile), index, profileKeys[index]);
        replaceEntry(getParameterObject(ParamId::ProcessingMode), index, modeKeys[index]);
    }

    if (componentHandler)
        componentHandler->restartComponent(kParamTitlesChanged);
}

tresult PLUGIN_API Controller::setParamNormalized(ParamID tag, ParamValue value)
{
    if (!std::isfinite(value))
        return kInvalidArgument;
    const ParamValue before = getParamNormalized(tag);
    int32 index = 0;
    if (tag == ParamId::ProcessingMode) {
        index = listIndex(value);
        value = listValue(index);
    }
    const tresult result = EditController::setParamNormalized(tag, value);
    if (tag == ParamId::ProcessingMode && value != before && result == kResultOk) {
        if (IPtr<IMessage> message = owned(allocateMessage())) {
            message->setMessageID("ProcessingMode");
            if (IAttributeList* attributes = message->getAttributes())
                attributes->setInt("mode", index);
            sendMessage(message);
        }
        return kResultOk;
    }
    return result;
}

tresult PLUGIN_API Controller::notify(IMessage* message)
{
    const char* id = message ? message->getMessageID() : nullptr;
    if (!id || std::strcmp(id, "ProcessingModeState") != 0)
        return EditController::notify(message);

    int64 mode = 0;
    IAttributeList* attributes = message->getAttributes();
    if (!attributes || attributes->getInt("mode", mode) != kResultOk || static_cast<uint64>(mode) >= 3)
        return kInvalidArgument;

    EditController::setParamNormalized(ParamId::ProcessingMode, listValue(static_cast<int32>(mode)));
    if (componentHandler)
        componentHandler->restartComponent(kLatencyChanged);
    return kResultOk;
}

tresult PLUGIN_API Controller::setComponentState(IBStream* state)
{
    if (!state)
        return kInvalidArgument;
    StateRecord record;
    if (!readStateRecord(state, record))
        return kResultFalse;

    for (ParamID id = 0; id < EngineParamCount; ++id)
        EditController::setParamNormalized(id, record.values[id]);
    const double mode = record.hasMode ? record.mode : 0.5;
    EditController::setParamNormalized(ParamId::ProcessingMode, listValue(listIndex(mode)));

    if (!record.hasMode)
        if (IPtr<IMessage> message = owned(allocateMessage())) {
            message->setMessageID("RequestProcessingMode");
            sendMessage(message);
        }
    if (componentHandler)
        componentHandler->restartComponent(kLatencyChanged);
    return kResultOk;
}

IPlugView* PLUGIN_API Controller::createView(FIDString name)
{
    if (!name || std::strcmp(name, ViewType::kEditor) != 0)
        return nullptr;
#ifdef _WIN32
    return makeEditor(this);
#else
    // The editor is a Windows window: other platforms have no view.
    return nullptr;
#endif
}

void Controller::edit(ParamID tag, ParamValue value)
{
    beginEdit(tag);
    setParamNormalized(tag, value);
    performEdit(tag, value);
    endEdit(tag);
}

} // namespace hushkit
