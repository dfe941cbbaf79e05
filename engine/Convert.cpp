#include "Engine.h"

namespace hushkit {

// Placeholder until rate conversion lands.
void Engine::processConverting(const float* const*, float* const*, int32_t, int32_t) {}

} // namespace hushkit
