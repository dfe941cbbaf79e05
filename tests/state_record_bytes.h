#pragma once
// Component state records written byte by byte, as the tests hand them to a
// processor or a controller: the version word, then 32-bit floats, all
// little-endian.

#include "public.sdk/source/common/memorystream.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace hushkit::test {

inline std::vector<uint8_t> recordBytes(uint32_t version, const std::vector<float>& values)
{
    std::vector<uint8_t> bytes;
    auto put = [&bytes](uint32_t w) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    };
    put(version);
    for (float v : values) {
        uint32_t w = 0;
        std::memcpy(&w, &v, 4);
        put(w);
    }
    return bytes;
}

// A stream holding `bytes`, to be read from its start.
inline Steinberg::IPtr<Steinberg::MemoryStream> streamOf(const std::vector<uint8_t>& bytes)
{
    auto stream = Steinberg::owned(new Steinberg::MemoryStream);
    Steinberg::int32 written = 0;
    stream->write(const_cast<uint8_t*>(bytes.data()), static_cast<Steinberg::int32>(bytes.size()), &written);
    stream->seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
    return stream;
}

} // namespace hushkit::test
