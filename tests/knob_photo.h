#pragma once

// Test-side access to the embedded knob photo: decodes the PNG bytes with
// libpng and converts them to the premultiplied 0xAARRGGBB words that the
// editor hands to its material.

#include <cstdint>
#include <vector>

#include <png.h>

#include "MaterialPng.h"

namespace knobtest {

struct Photo {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> straight;      // 0xAARRGGBB, not premultiplied
    std::vector<uint32_t> premultiplied; // 0xAARRGGBB
    bool ok = false;
};

inline uint32_t premultiply(uint32_t p)
{
    const uint32_t a = p >> 24;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((p >> shift) & 0xFFu) * a + 127u) / 255u) << shift;
    return out;
}

inline Photo decodePhoto()
{
    Photo photo;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, hushkit::knob::materialPng, hushkit::knob::materialPngSize))
        return photo;
    // BGRA bytes in memory are 0xAARRGGBB words on a little-endian machine.
    image.format = PNG_FORMAT_BGRA;
    photo.width = static_cast<int>(image.width);
    photo.height = static_cast<int>(image.height);
    photo.straight.resize(static_cast<size_t>(photo.width) * photo.height);
    if (!png_image_finish_read(&image, nullptr, photo.straight.data(), 0, nullptr)) {
        png_image_free(&image);
        return photo;
    }
    photo.premultiplied.resize(photo.straight.size());
    for (size_t i = 0; i < photo.straight.size(); ++i)
        photo.premultiplied[i] = premultiply(photo.straight[i]);
    photo.ok = true;
    return photo;
}

// The photo decoded once per test program.
inline const Photo& photo()
{
    static const Photo decoded = decodePhoto();
    return decoded;
}

} // namespace knobtest
