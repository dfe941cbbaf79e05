#pragma once

#include <cstdint>
#include <vector>

namespace hushkit::knob {

// Side of the emblem's square pixel buffer.
constexpr int LogoSize = 96;

// The header emblem: a light-blue ring open on its right with four
// near-white bars inside, LogoSize x LogoSize premultiplied 0xAARRGGBB
// pixels, row-major from the top. Built on the first call; every call
// returns the same buffer.
const std::vector<uint32_t>& logo();

} // namespace hushkit::knob
