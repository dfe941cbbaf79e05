#pragma once

#include <cstddef>

namespace hushkit::knob {

// The knob photo as a PNG file, embedded at build time from editor/knob.png:
// materialPngSize bytes, exactly the file's length.
extern const unsigned char materialPng[];
extern const std::size_t materialPngSize;

} // namespace hushkit::knob
