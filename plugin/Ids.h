#pragma once
// The plug-in's class identifiers: four 32-bit words each, and the SDK FUIDs
// built from them. The four share their last three words and differ in the
// lowest byte of the first word.

#include "pluginterfaces/base/funknown.h"

#include <cstdint>

namespace hushkit {

struct ClassWords {
    uint32_t w0, w1, w2, w3;
};
constexpr ClassWords ProcessorWords{0x48534B01u, 0x7A3C4E21u, 0x9B5D0F63u, 0x2E8A61C7u};
constexpr ClassWords ControllerWords{0x48534B02u, 0x7A3C4E21u, 0x9B5D0F63u, 0x2E8A61C7u};
constexpr ClassWords LiveWords{0x48534B03u, 0x7A3C4E21u, 0x9B5D0F63u, 0x2E8A61C7u};
constexpr ClassWords NeuralLiveWords{0x48534B04u, 0x7A3C4E21u, 0x9B5D0F63u, 0x2E8A61C7u};

inline Steinberg::FUID makeFuid(const ClassWords& w) { return Steinberg::FUID(w.w0, w.w1, w.w2, w.w3); }

inline const Steinberg::FUID ProcessorID = makeFuid(ProcessorWords);
inline const Steinberg::FUID ControllerID = makeFuid(ControllerWords);
inline const Steinberg::FUID LiveID = makeFuid(LiveWords);
inline const Steinberg::FUID NeuralLiveID = makeFuid(NeuralLiveWords);

} // namespace hushkit
