#pragma once
// The 16-bit PCM WAV files that the renderer reads and writes: the chunk walk
// over a file held in memory, the sample conversions both ways and the fixed
// 44-byte header of the output.

#include <cstdint>
#include <ostream>
#include <vector>

namespace hushkit {

enum class WavCheck {
    Ok,
    NotRiffWave,  // too short for the container, or "RIFF"/"WAVE" missing
    NotPcm16,     // no usable 16-bit PCM mono/stereo format and data
    Truncated,    // a chunk's body reaches beyond the end of the file
};

struct WavInfo {
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t dataOffset = 0;  // 0: no "data" chunk seen
    uint32_t dataSize = 0;
    uint64_t frames = 0;      // set once the file is accepted
};

// Walks the chunks of a whole file; the last qualifying "fmt " chunk and the
// last "data" chunk decide. Fills info only as far as the walk got.
WavCheck checkWav(const std::vector<uint8_t>& file, WavInfo& info);

// Sample s of the file as a float: exactly s / 32768.
inline float pcm16ToFloat(int16_t s) { return static_cast<float>(s) * 3.0517578125e-05f; }

// A float as a file sample: below -1 gives -32768, above 0.999969 gives
// 32766, anything else x * 32768 truncated toward zero; NaN gives 0.
int16_t floatToPcm16(float x);

// The 44-byte header of a PCM16 file with the given layout and data size.
void writeWavHeader(std::ostream& out, uint16_t channels, uint32_t sampleRate, uint32_t dataSize);

} // namespace hushkit
