#pragma once
// The processor's state record: a version word followed by the nine engine
// values and, from version 2 on, the normalized processing mode; all little
// endian. The processor writes it through writeStateRecord; both processor and
// controller read it through readStateRecord.

#include "Types.h"

#include "pluginterfaces/base/ibstream.h"

#include <cstdint>

namespace hushkit {

// The version that writeStateRecord writes; 1 (without the mode) is also read.
constexpr uint32_t StateRecordVersion = 2;

struct StateRecord {
    uint32_t version = StateRecordVersion;
    float values[EngineParamCount] = {};
    bool hasMode = false;  // false for a version-1 record
    float mode = 0.5f;     // normalized mode value as read (version 2 only)
};

// Reads and checks one record (version 1 or 2, every value finite and within 0..1).
// On any failure returns false and leaves `record` untouched; bytes after the record are not read.
bool readStateRecord(Steinberg::IBStream* stream, StateRecord& record);

// Writes a record of the current version: the nine values and the mode value.
// Stops at the first write that fails and returns false; what was written
// before stays in the stream.
bool writeStateRecord(Steinberg::IBStream* stream, const float (&values)[EngineParamCount], float mode);

} // namespace hushkit
