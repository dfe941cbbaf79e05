#pragma once
// The preset file: the four bytes "HSK2", then the normalized values of
// parameters 0 to 9 as little-endian doubles, 84 bytes in all. The older form
// "HSK1" holds only ids 0 to 8 (76 bytes) and is still read. Plain C streams,
// so the format builds and is tested on every platform.

#include <cstdio>

namespace hushkit {

constexpr int PresetValueCount = 10;
constexpr long PresetFileSize = 84;

// Writes the current form into an open file and closes it. False when the
// magic, the values or the final flush at closing could not all be written;
// a partly written file stays as it is.
bool writePresetFile(std::FILE* file, const double (&values)[PresetValueCount]);

// Reads an open file to its end and closes it. True only for a file of
// either form, complete, with nothing after it and every value finite and
// within 0..1 (-0.0 included); `values` then holds ids 0 to 9, id 9 of an old
// file being `currentMode`. On false `values` is meaningless.
bool readPresetFile(std::FILE* file, double currentMode, double (&values)[PresetValueCount]);

} // namespace hushkit
