#include "StateRecord.h"

#include "base/source/fstreamer.h"

#include <cmath>

namespace hushkit {

namespace {

bool readValue(Steinberg::IBStreamer& streamer, float& value)
{
    float v = 0.0f;
    if (!streamer.readFloat(v) || !std::isfinite(v) || v < 0.0f || v > 1.0f)
        return false;
    value = v;
    return true;
}

} // namespace

bool readStateRecord(Steinberg::IBStream* stream, StateRecord& record)
{
    if (!stream)
        return false;
    Steinberg::IBStreamer streamer(stream, kLittleEndian);

    StateRecord read;
    if (!streamer.readInt32u(read.version) || (read.version != 1 && read.version != StateRecordVersion))
        return false;
    for (float& value : read.values)
        if (!readValue(streamer, value))
            return false;
    read.hasMode = read.version == StateRecordVersion;
    if (read.hasMode && !readValue(streamer, read.mode))
        return false;

    record = read;
    return true;
}

bool writeStateRecord(Steinberg::IBStream* stream, const float (&values)[EngineParamCount], float mode)
{
    Steinberg::IBStreamer streamer(stream, kLittleEndian);
    if (!streamer.writeInt32u(StateRecordVersion))
        return false;
    for (float value : values)
        if (!streamer.writeFloat(value))
            return false;
    return streamer.writeFloat(mode);
}

} // namespace hushkit
