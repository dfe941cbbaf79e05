#include "Controller.h"

#include "Language.h"
#include "ModeMessages.h"
#include "Params.h"
#include "StateRecord.h"
#include "Types.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstmessage.h"

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

Controller::ViewMaker viewMaker = nullptr;

StringListParameter* makeList(const ParamRow& row, int32 flags)
{
    auto* list = new StringListParameter(row.name, row.id, nullptr, flags);
    for (int32 index = 0; index < ListEntryCount; ++index)
        list->appendString(row.entries[index].name);
    list->getInfo().defaultNormalizedValue = row.defaultValue;
    list->setNormalized(row.defaultValue);
    return list;
}

// A parameter as the host sees it, from its row of the parameter table.
Parameter* makeParameter(const ParamRow& row)
{
    const int32 automatable = row.automatable ? Automatable : 0;
    switch (row.kind) {
    case ParamKind::Range:
        return new RangeParameter(row.name, row.id, row.units, row.min, row.max, row.plainDefault, 0, automatable);
    case ParamKind::Toggle:
        return new Parameter(row.name, row.id, nullptr, row.defaultValue, 1, automatable | BypassFlag);
    case ParamKind::List:
        return makeList(row, automatable | List);
    case ParamKind::Meter:
        break;
    }
    return new Parameter(row.name, row.id, nullptr, row.defaultValue, 0, automatable | ReadOnly);
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

void replaceEntries(Parameter* parameter, const ListEntry* entries)
{
    if (auto* list = dynamic_cast<StringListParameter*>(parameter))
        for (int32 index = 0; index < ListEntryCount; ++index)
            list->replaceString(index, i18n::text(entries[index].key).utf16);
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

    for (const ParamRow& row : ParamTable)
        parameters.addParameter(makeParameter(row));

    localizeParameters();
    return kResultOk;
}

void Controller::localizeParameters()
{
    for (const ParamRow& row : ParamTable) {
        setTitles(getParameterObject(row.id), row.title);
        if (row.entries)
            replaceEntries(getParameterObject(row.id), row.entries);
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
            message->setMessageID(ModeMessage::Set);
            if (IAttributeList* attributes = message->getAttributes())
                attributes->setInt(ModeMessage::Attribute, index);
            sendMessage(message);
        }
        return kResultOk;
    }
    return result;
}

tresult PLUGIN_API Controller::notify(IMessage* message)
{
    const char* id = message ? message->getMessageID() : nullptr;
    if (!id || std::strcmp(id, ModeMessage::State) != 0)
        return EditController::notify(message);

    int64 mode = 0;
    IAttributeList* attributes = message->getAttributes();
    if (!attributes || attributes->getInt(ModeMessage::Attribute, mode) != kResultOk ||
        static_cast<uint64>(mode) >= static_cast<uint64>(ModeCount))
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
            message->setMessageID(ModeMessage::Request);
            sendMessage(message);
        }
    if (componentHandler)
        componentHandler->restartComponent(kLatencyChanged);
    return kResultOk;
}

IPlugView* PLUGIN_API Controller::createView(FIDString name)
{
    if (!name || std::strcmp(name, ViewType::kEditor) != 0 || !viewMaker)
        return nullptr;
    return viewMaker(this);
}

void Controller::setViewMaker(ViewMaker maker) { viewMaker = maker; }

void Controller::edit(ParamID tag, ParamValue value)
{
    beginEdit(tag);
    setParamNormalized(tag, value);
    performEdit(tag, value);
    endEdit(tag);
}

} // namespace hushkit
