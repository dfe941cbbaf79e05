#include "Wav.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace hushkit {

namespace {

uint16_t readU16(const uint8_t* b, uint64_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t readU32(const uint8_t* b, uint64_t at)
{
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

bool tagIs(const uint8_t* b, uint64_t at, const char* tag) { return std::memcmp(b + at, tag, 4) == 0; }

// Reads what is left of a stream whose size is unknown (a pipe), in pieces,
// stopping once it holds more than any RIFF file.
WavCheck readRest(std::ifstream& in, std::vector<uint8_t>& bytes)
{
    constexpr uint64_t Piece = uint64_t{1} << 20;
    uint64_t size = 0;
    while (in) {
        if (size > MaxRiffFileSize) {
            bytes.clear();
            return WavCheck::NotRiffWave;
        }
        try {
            bytes.resize(static_cast<size_t>(size + Piece));
        } catch (const std::bad_alloc&) {
            bytes.clear();
            return WavCheck::OutOfMemory;
        }
        in.read(reinterpret_cast<char*>(bytes.data() + size), static_cast<std::streamsize>(Piece));
        size += static_cast<uint64_t>(in.gcount());
    }
    bytes.resize(static_cast<size_t>(size));
    return WavCheck::Ok;
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

WavCheck readWavFile(const char* path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return WavCheck::Ok;
    WavCheck result = WavCheck::Ok;
    const std::streamoff end = in.seekg(0, std::ios::end).tellg();
    if (end < 0) {
        in.clear();
        result = readRest(in, bytes);
    } else if (static_cast<uint64_t>(end) > MaxRiffFileSize) {
        return WavCheck::NotRiffWave;
    } else if (!assignZeros(bytes, static_cast<uint64_t>(end))) {
        return WavCheck::OutOfMemory;
    } else {
        in.seekg(0);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(end));
        if (static_cast<uint64_t>(in.gcount()) != static_cast<uint64_t>(end))
            in.setstate(std::ios::badbit);
    }
    if (in.bad())
        bytes.clear();
    return result;
}

WavCheck checkWav(const uint8_t* file, uint64_t fileSize, WavInfo& info)
{
    if (fileSize < 12 || fileSize > MaxRiffFileSize || !tagIs(file, 0, "RIFF") || !tagIs(file, 8, "WAVE"))
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
            info.dataOffset = body;
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
    // Only a file beyond what a RIFF size field counts can hold this much.
    if (info.dataSize > MaxDataSize)
        return WavCheck::NotRiffWave;
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
