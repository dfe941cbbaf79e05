#include <cmath>

#include "Analyze.h"
#include "Engine.h"

namespace hushkit {

float Engine::liveFrameStep(ChannelState& ch, float exponent)
{
    const float r = hushkit_analyze(ch.denoiser, ch.bandGains, ch.frameIn);

    // Shape the channel's copy of the gains; the library keeps its unshaped
    // values for the next frame's floor. A gain that is not finite disables
    // the channel's neural path and leaves that band unfiltered.
    for (int k = 0; k < BandCount; ++k) {
        const float v = ch.bandGains[k];
        float base;
        if (!std::isfinite(v)) {
            ch.fault = true;
            base = 1.0f;
        } else {
            base = v < 0.0f ? 0.0f : (v < 1.0f ? v : 1.0f);
        }
        ch.bandGains[k] = std::pow(base, exponent);
    }

    ch.fir.update(basis, ch.bandGains);
    return r;
}

} // namespace hushkit
