#pragma once
// The processor's state record: a version word followed by the nine engine
// values and, from version 2 on, the normalized processing mode; all little
// endian. The processor writes it and both processor and controller read it
// through readStateRecord.

#include "pluginterfaces/base/ibstream.h"

#include <cstdint>

namespace hushkit {

struct StateRecord {
    uint32_t version = 2;
    float values[9] = {};
    bool hasMode = false;  // false for a version-1 record
    float mode = 0.5f;     // normalized mode value as read (version 2 only)
};

// Reads and checks one record (version 1 or 2, every value finite and within 0..1).
// On any failure returns false and leaves `record` untouched; bytes after the record are not read.
bool readStateRecord(Steinberg::IBStream* stream, StateRecord& record);

} // namespace hushkit
