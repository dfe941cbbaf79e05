#pragma once
// The plug-in's class identifiers as SDK FUIDs, built from the words in Types.h.

#include "Types.h"

#include "pluginterfaces/base/funknown.h"

namespace hushkit {

inline Steinberg::FUID makeFuid(const ClassWords& w) { return Steinberg::FUID(w.w0, w.w1, w.w2, w.w3); }

inline const Steinberg::FUID ProcessorID = makeFuid(ProcessorWords);
inline const Steinberg::FUID ControllerID = makeFuid(ControllerWords);
inline const Steinberg::FUID LiveID = makeFuid(LiveWords);
inline const Steinberg::FUID NeuralLiveID = makeFuid(NeuralLiveWords);

} // namespace hushkit
