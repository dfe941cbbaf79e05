// The preset file format on the runtime's C streams: what the writer puts in
// the file, what the reader accepts and what it refuses, and the writer's
// failures, the final flush at closing included.

#include "PresetFile.h"

#include "preset_cases.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

using namespace hushkit;
using namespace preset_test;

namespace {

// A file of the test's own in the temporary folder, removed at the end.
class TempFile {
public:
    TempFile()
        : path(std::filesystem::temp_directory_path() /
               ("hushkit-preset-" + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".hushkit"))
    {
    }
    ~TempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::FILE* open(const char* mode) const { return std::fopen(path.string().c_str(), mode); }

    void write(const Bytes& bytes) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    Bytes read() const
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    const std::filesystem::path path;

private:
    static inline int serial = 0;
};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Reads a file holding `bytes`; the reader's result and values.
struct ReadResult {
    bool accepted;
    double values[PresetValueCount];
};
ReadResult readBytes(const Bytes& bytes, double currentMode)
{
    TempFile temp;
    temp.write(bytes);
    ReadResult result{};
    std::FILE* file = temp.open("rb");
    EXPECT_NE(file, nullptr);
    if (file)
        result.accepted = readPresetFile(file, currentMode, result.values);
    return result;
}

} // namespace

TEST(PresetFile, WritesMagicAndTenValuesThatReadBackUnchanged)
{
    // Values of every kind the controller can hold, -0.0 included.
    const double values[PresetValueCount] = {1.0, 0.0, -0.0, double(0.1f), 0.3, 1.0 / 3.0, 0.5, 1e-300, 0.999, 1.0};
    TempFile temp;
    std::FILE* out = temp.open("wb");
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(writePresetFile(out, values));

    const Bytes bytes = temp.read();
    ASSERT_EQ(bytes.size(), size_t(PresetFileSize));
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{'H', 'S', 'K', '2'}));
    EXPECT_EQ(bytes, file("HSK2", {std::begin(values), std::end(values)}));

    double back[PresetValueCount];
    std::FILE* in = temp.open("rb");
    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(readPresetFile(in, 0.0, back));
    for (int id = 0; id < PresetValueCount; ++id)
        EXPECT_TRUE(sameBits(back[id], values[id])) << "id " << id << ": " << back[id];
}

TEST(PresetFile, OldFormGivesTheCurrentModeAsTenthValue)
{
    for (double mode : {0.0, 0.5, 1.0}) {
        const ReadResult read = readBytes(file("HSK1", distinct(9)), mode);
        ASSERT_TRUE(read.accepted);
        for (int id = 0; id < 9; ++id)
            EXPECT_EQ(read.values[id], Distinct[id]) << "id " << id;
        EXPECT_EQ(read.values[9], mode);
    }
}

TEST(PresetFile, BoundaryValuesPass)
{
    for (double value : {0.0, -0.0, 1.0})
        for (int id = 0; id < PresetValueCount; ++id) {
            const ReadResult read = readBytes(file("HSK2", distinctWith(id, value)), 0.5);
            ASSERT_TRUE(read.accepted) << value << " at id " << id;
            EXPECT_TRUE(sameBits(read.values[id], value)) << value << " at id " << id;
        }
}

TEST(PresetFile, RefusesInvalidFiles)
{
    for (const InvalidCase& invalid : invalidCases())
        EXPECT_FALSE(readBytes(invalid.bytes, 0.5).accepted) << invalid.name;
}

TEST(PresetFile, CurrentModeOfAnOldFileIsValidatedToo)
{
    EXPECT_FALSE(readBytes(file("HSK1", distinct(9)), 1.5).accepted);
    EXPECT_FALSE(readBytes(file("HSK1", distinct(9)), std::nan("")).accepted);
}

TEST(PresetFile, WriteFailsWhenTheFileTakesNoBytes)
{
    TempFile temp;
    temp.write({});
    std::FILE* readOnly = temp.open("rb");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(writePresetFile(readOnly, Distinct));
}

#ifndef _WIN32
// Every write fits in the stream's buffer and only the flush at closing
// meets the full device.
TEST(PresetFile, WriteFailsWhenTheFlushAtClosingFails)
{
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(writePresetFile(full, Distinct));
}
#endif
