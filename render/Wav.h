#pragma once
// The 16-bit PCM WAV files that the renderer reads and writes: the chunk walk
// over a file held in memory, the sample conversions both ways and the fixed
// 44-byte header of the output.

#include <cstdint>
#include <new>
#include <ostream>
#include <vector>

namespace hushkit {

enum class WavCheck {
    Ok,
    NotRiffWave,  // too short or too large for the container, or "RIFF"/"WAVE" missing
    NotPcm16,     // no usable 16-bit PCM mono/stereo format and data
    Truncated,    // a chunk's body reaches beyond the end of the file
    OutOfMemory,  // the file or its samples do not fit in memory
};

// A RIFF file is its 8-byte header and at most 2^32 - 1 bytes of content
// with one pad byte, so no RIFF file is larger than this.
constexpr uint64_t MaxRiffFileSize = (uint64_t{1} << 32) + 8;

// The largest data size whose output file still counts its size (data size
// + 36) in the header's 32-bit field.
constexpr uint32_t MaxDataSize = 0xFFFFFFFFu - 36u;

struct WavInfo {
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint64_t dataOffset = 0;  // 0: no "data" chunk seen
    uint32_t dataSize = 0;
    uint64_t frames = 0;      // set once the file is accepted
};

// Reads a whole file into bytes. A file that cannot be opened or read gives
// no bytes; a file larger than any RIFF file is refused (NotRiffWave) before
// its bytes are read; OutOfMemory when its bytes do not fit in memory.
WavCheck readWavFile(const char* path, std::vector<uint8_t>& bytes);

// Walks the chunks of a whole file of size bytes; the last qualifying "fmt "
// chunk and the last "data" chunk decide. Fills info only as far as the walk
// got. A file larger than any RIFF file, or data too large for the output
// header, is NotRiffWave.
WavCheck checkWav(const uint8_t* file, uint64_t size, WavInfo& info);

inline WavCheck checkWav(const std::vector<uint8_t>& file, WavInfo& info)
{
    return checkWav(file.data(), file.size(), info);
}

// Sizes v to n zero values; false, with v empty, when memory runs out.
template <class T>
bool assignZeros(std::vector<T>& v, uint64_t n)
{
    v.clear();
    v.shrink_to_fit();
    if (n > v.max_size())
        return false;
    try {
        v.assign(static_cast<size_t>(n), T{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Sample s of the file as a float: exactly s / 32768.
inline float pcm16ToFloat(int16_t s) { return static_cast<float>(s) * 3.0517578125e-05f; }

// A float as a file sample: below -1 gives -32768, above 0.999969 gives
// 32766, anything else x * 32768 truncated toward zero; NaN gives 0.
int16_t floatToPcm16(float x);

// The 44-byte header of a PCM16 file with the given layout and data size.
void writeWavHeader(std::ostream& out, uint16_t channels, uint32_t sampleRate, uint32_t dataSize);

} // namespace hushkit
