#include "Wav.h"

#include <cmath>
#include <cstring>

namespace hushkit {

namespace {

uint16_t readU16(const std::vector<uint8_t>& b, uint64_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t readU32(const std::vector<uint8_t>& b, uint64_t at)
{
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

bool tagIs(const std::vector<uint8_t>& b, uint64_t at, const char* tag)
{
    return std::memcmp(b.data() + at, tag, 4) == 0;
}

void putU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void putU32(uint8_t* p, uint32_t v)
{
    putU16(p, v);
    putU16(p + 2, v >> 16);
}

} // namespace

WavCheck checkWav(const std::vector<uint8_t>& file, WavInfo& info)
{
    const uint64_t fileSize = file.size();
    if (fileSize < 12 || !tagIs(file, 0, "RIFF") || !tagIs(file, 8, "WAVE"))
        return WavCheck::NotRiffWave;
    if (fileSize < 20)
        return WavCheck::NotPcm16;

    bool formatOk = false;
    uint64_t offset = 12;
    for (;;) {
        const uint64_t size = readU32(file, offset + 4);
        // The body must fit; a missing pad byte after it is tolerated.
        if (size > fileSize - offset - 8)
            return WavCheck::Truncated;
        const uint64_t body = offset + 8;
        if (tagIs(file, offset, "fmt ") && size >= 16) {
            const uint16_t tag = readU16(file, body);
            const uint16_t bits = readU16(file, body + 14);
            formatOk = tag == 1 && bits == 16;
            info.channels = readU16(file, body + 2);
            info.sampleRate = readU32(file, body + 4);
        }
        if (tagIs(file, offset, "data")) {
            info.dataOffset = static_cast<uint32_t>(body);
            info.dataSize = static_cast<uint32_t>(size);
        }
        const uint64_t next = body + size + (size & 1u);
        if (next + 8 > fileSize)
            break;
        offset = next;
    }

    if ((info.channels != 1 && info.channels != 2) || !formatOk || info.dataOffset == 0 ||
        info.dataSize % (2u * info.channels) != 0)
        return WavCheck::NotPcm16;
    info.frames = info.dataSize / (2u * info.channels);
    return WavCheck::Ok;
}

int16_t floatToPcm16(float x)
{
    if (x < -1.0f)
        return -32768;
    if (x > 0.999969f)
        return 32766;
    if (std::isnan(x))
        return 0;
    return static_cast<int16_t>(x * 32768.0f);
}

void writeWavHeader(std::ostream& out, uint16_t channels, uint32_t sampleRate, uint32_t dataSize)
{
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    putU32(h + 4, dataSize + 36u);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putU32(h + 16, 16);
    putU16(h + 20, 1);
    putU16(h + 22, channels);
    putU32(h + 24, sampleRate);
    putU32(h + 28, sampleRate * channels * 2u);
    putU16(h + 32, channels * 2u);
    putU16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putU32(h + 40, dataSize);
    out.write(reinterpret_cast<const char*>(h), sizeof h);
}

} // namespace hushkit
