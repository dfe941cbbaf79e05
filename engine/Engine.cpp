// Engine lifecycle: parameters, preparation, the two resets and destruction.

#include "Engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <rnnoise.h>

#include "Analyze.h"

namespace hushkit {

void ChannelState::clearSignalState()
{
    fir.setIdentity();
    std::fill(std::begin(bandGains), std::end(bandGains), 0.0f);
    std::fill(std::begin(frameIn), std::end(frameIn), 0.0f);
    std::fill(std::begin(frameOut), std::end(frameOut), 0.0f);
    std::fill(std::begin(dryDelay), std::end(dryDelay), 0.0f);
    std::fill(std::begin(wetDelay), std::end(wetDelay), 0.0f);
    framePos = 0;
    delayPos = 0;
    hpPrevIn = 0.0f;
    hpPrevOut = 0.0f;
    envelope = 0.0f;
    bodyState = 0.0f;
    gate = 1.0f;
    speech = 1.0f;
    fault = false;
}

Engine::~Engine()
{
    for (ChannelState& ch : channel) {
        if (ch.denoiser)
            rnnoise_destroy(ch.denoiser);
        ch.denoiser = nullptr;
    }
    // The kernel tables go with their members, outputKernel's first (reverse
    // declaration order).
}

void Engine::set(uint32_t id, float value)
{
    if (id >= static_cast<uint32_t>(EngineParamCount) || !std::isfinite(value))
        return;
    target[id] = value < 0.0f ? 0.0f : std::min(value, 1.0f);
}

void Engine::computeCoefficients()
{
    const double r = processingRate;
    const float denominators[4] = {static_cast<float>(0.01 * r), static_cast<float>(0.002 * r),
                                   static_cast<float>(0.15 * r), static_cast<float>(r)};
    // The last numerator is the float nearest to -2 pi x 220 Hz.
    const float numerators[4] = {-1.0f, -1.0f, -1.0f, -1382.30078125f};
    for (int k = 0; k < 4; ++k)
        coef[k] = 1.0f - std::exp(numerators[k] / denominators[k]);
}

bool Engine::accepts(double rate, int channels)
{
    return std::isfinite(rate) && rate >= 8000.0 && rate <= 192000.0 && (channels == 1 || channels == 2);
}

void Engine::unprepare()
{
    float kept[EngineParamCount];
    std::copy(std::begin(target), std::end(target), kept);
    // Made anew in place: the destructor gives back the noise-suppression
    // states and the kernel tables, and default construction is the one
    // description of an engine that is not prepared.
    this->~Engine();
    new (this) Engine;
    std::copy(std::begin(kept), std::end(kept), target);
}

bool Engine::prepare(double rate, int channels, bool neural, bool liveFlag)
{
    if (!accepts(rate, channels))
        return false;

    // The kernel tables are taken before anything changes, so that a
    // preparation that cannot have them changes no configuration half-way.
    const bool converts = neural && std::fabs(rate - NeuralRate) > 0.1;
    if (converts && !(inputKernel.allocate() && outputKernel.allocate())) {
        unprepare();
        return false;
    }

    sampleRate = rate;
    live = liveFlag;
    delayLength = live ? LiveDelay : ClassicDelay;

    if (neural) {
        if (live)
            basis.prepare();
        resampling = converts;
        if (resampling) {
            const double up = NeuralRate / rate;
            const double down = rate / NeuralRate;
            inputKernel.prepare(up < 1.0 ? 0.94 * up : 0.94);
            outputKernel.prepare(down < 1.0 ? 0.94 * down : 0.94);
            processingRate = NeuralRate;
            // Chain delay plus the input converter's reach (16 caller samples)
            // plus a margin of 18 48 kHz samples for the output converter.
            latency = static_cast<int32_t>(
                std::ceil(static_cast<double>(delayLength) * rate / NeuralRate + 16.0 + 18.0 * rate / NeuralRate));
        } else {
            processingRate = NeuralRate;
            latency = delayLength;
        }
    } else {
        resampling = false;
        processingRate = rate;
        latency = delayLength;
    }

    channelCount = channels;
    neuralEnabled = neural;
    computeCoefficients();
    reset();
    return true;
}

void Engine::clearConversionState()
{
    hostPosition = 0;
    nativePosition = 0;
    std::memset(inputHistory, 0, sizeof inputHistory);
    std::memset(outputHistory, 0, sizeof outputHistory);
    std::memset(dryHistory, 0, sizeof dryHistory);
}

void Engine::snapParameters()
{
    std::copy(std::begin(target), std::end(target), std::begin(smoothed));
    lastFocus = -1.0f;
    lastGain = -1.0f;
    clearMeters();
}

void Engine::clearMeters()
{
    inputPeak = outputPeak = reduction = 0.0f;
    clipped = neuralFault = false;
}

void Engine::reset()
{
    clearConversionState();

    neuralActive = neuralEnabled && std::fabs(processingRate - NeuralRate) < 0.1;
    // The live analysis reads the library's private state by its byte
    // layout; a library built with another layout is treated like one whose
    // states cannot be created.
    if (neuralActive && live && hushkit_analyze_supported() == 0)
        neuralActive = false;

    for (int c = 0; c < MaxChannels; ++c) {
        ChannelState& ch = channel[c];
        if (ch.denoiser)
            rnnoise_destroy(ch.denoiser);
        ch.denoiser = nullptr;
        ch.clearSignalState();
        if (neuralActive && channelCount > c) {
            ch.denoiser = rnnoise_create(nullptr);
            if (!ch.denoiser)
                neuralActive = false;
        }
    }

    if (neuralActive) {
        for (int c = 0; c < channelCount; ++c) {
            ChannelState& ch = channel[c];
            if (!live)
                rnnoise_process_frame(ch.denoiser, ch.frameOut, ch.frameIn);
            std::fill(std::begin(ch.frameOut), std::end(ch.frameOut), 0.0f);
        }
    } else {
        resampling = false;
        processingRate = sampleRate;
        computeCoefficients();
    }

    snapParameters();
}

void Engine::resetRealtime()
{
    clearConversionState();

    for (ChannelState& ch : channel) {
        ch.clearSignalState();
        if (ch.denoiser) {
            rnnoise_init(ch.denoiser, nullptr);
            if (!live)
                rnnoise_process_frame(ch.denoiser, ch.frameOut, ch.frameIn);
            std::fill(std::begin(ch.frameOut), std::end(ch.frameOut), 0.0f);
        }
    }

    snapParameters();
}

} // namespace hushkit
