#include "PresetFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace hushkit {

namespace {

// The values are written and read as the machine holds them.
static_assert(sizeof(double) == 8, "values are 8-byte doubles");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the file's values are little-endian");

constexpr char Magic[4] = {'H', 'S', 'K', '2'};
constexpr char OldMagic[4] = {'H', 'S', 'K', '1'};
constexpr int OldValueCount = 9;

bool inRange(double value) { return std::isfinite(value) && value >= 0.0 && value <= 1.0; }

// How many values follow the magic; 0 for a magic of neither form.
int valueCount(const char (&magic)[4])
{
    if (std::memcmp(magic, Magic, sizeof magic) == 0)
        return PresetValueCount;
    if (std::memcmp(magic, OldMagic, sizeof magic) == 0)
        return OldValueCount;
    return 0;
}

} // namespace

bool writePresetFile(std::FILE* file, const double (&values)[PresetValueCount])
{
    const bool written = std::fwrite(Magic, 1, sizeof Magic, file) == sizeof Magic &&
                         std::fwrite(values, sizeof(double), PresetValueCount, file) == PresetValueCount;
    // Closing flushes what is still buffered, so it can fail too.
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool readPresetFile(std::FILE* file, double currentMode, double (&values)[PresetValueCount])
{
    std::fill(std::begin(values), std::end(values), 0.0);
    values[PresetValueCount - 1] = currentMode;

    char magic[4];
    const int count = std::fread(magic, 1, sizeof magic, file) == sizeof magic ? valueCount(magic) : 0;
    const bool complete = count > 0 && std::fread(values, sizeof(double), count, file) == size_t(count) &&
                          std::fgetc(file) == EOF;
    std::fclose(file);
    return complete && std::all_of(std::begin(values), std::end(values), inRange);
}

} // namespace hushkit
