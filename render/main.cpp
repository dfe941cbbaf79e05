// hushkit_render: cleans one 16-bit PCM WAV file (mono or stereo) with one
// engine and writes a 16-bit PCM WAV file of the same rate, channel count and
// length, with the engine's delay removed.
//
// Exit codes: 0 written, 1 usage, 2 unreadable, unsupported or too large input
// (also for want of memory) or a rate the engine refuses, 3 the output could
// not be written.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "Engine.h"
#include "Wav.h"

namespace {

constexpr int32_t BlockFrames = 256;

constexpr uint64_t WriteFrames = 4096;

const char* const OutOfMemory = "Not enough memory for this file\n";

// The amount text as atof reads it, in single precision. A value beyond the
// float range becomes an infinity (which the engine ignores) instead of an
// out-of-range conversion.
float amountFromText(const char* text)
{
    const double d = std::atof(text);
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
        return d > 0 ? INFINITY : -INFINITY;
    return static_cast<float>(d);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 5) {
        std::fputs("Usage: hushkit_render input-pcm16.wav output.wav [amount] [classic]\n", stderr);
        return 1;
    }

    std::vector<uint8_t> file;
    hushkit::WavInfo wav;
    hushkit::WavCheck check = hushkit::readWavFile(argv[1], file);
    if (check == hushkit::WavCheck::Ok)
        check = hushkit::checkWav(file, wav);
    switch (check) {
    case hushkit::WavCheck::Ok:
        break;
    case hushkit::WavCheck::NotRiffWave:
        std::fputs("Not RIFF WAVE\n", stderr);
        return 2;
    case hushkit::WavCheck::NotPcm16:
        std::fputs("Requires PCM16 mono/stereo\n", stderr);
        return 2;
    case hushkit::WavCheck::Truncated:
        return 2;
    case hushkit::WavCheck::OutOfMemory:
        std::fputs(OutOfMemory, stderr);
        return 2;
    }

    const int channels = wav.channels;
    const bool classic = argc == 5 && std::strcmp(argv[4], "classic") == 0;

    hushkit::Engine engine;
    engine.set(hushkit::ParamId::CleanupProfile, 1.0f);
    if (argc >= 4)
        engine.set(hushkit::ParamId::CleanAmount, amountFromText(argv[3]));
    const double rate = static_cast<double>(wav.sampleRate);
    if (!engine.prepare(rate, channels, true, !classic)) {
        // A rate the engine refuses is reported by the exit code alone.
        if (hushkit::Engine::accepts(rate, channels))
            std::fputs(OutOfMemory, stderr);
        return 2;
    }

    const uint64_t compensation = engine.neuralActive ? static_cast<uint64_t>(engine.latency) : 0;
    const uint64_t frames = wav.frames;
    const uint64_t n = frames + compensation;

    std::vector<float> input[2];
    std::vector<float> output[2];
    for (int c = 0; c < channels; ++c) {
        if (!hushkit::assignZeros(input[c], n) || !hushkit::assignZeros(output[c], n)) {
            std::fputs(OutOfMemory, stderr);
            return 2;
        }
    }
    const uint8_t* data = file.data() + wav.dataOffset;
    for (uint64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const uint8_t* p = data + 2 * (i * channels + c);
            const auto s = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
            input[c][i] = hushkit::pcm16ToFloat(s);
        }
    }

    for (uint64_t offset = 0; offset < n; offset += BlockFrames) {
        const auto count = static_cast<int32_t>(n - offset < BlockFrames ? n - offset : BlockFrames);
        const float* in[2] = {input[0].data() + offset, channels > 1 ? input[1].data() + offset : nullptr};
        float* out[2] = {output[0].data() + offset, channels > 1 ? output[1].data() + offset : nullptr};
        engine.process(in, out, channels, count);
    }

    // Every array is in place, so the output file is created only once the
    // run is sure to fit in memory; the samples go out through a fixed buffer.
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    hushkit::writeWavHeader(out, wav.channels, wav.sampleRate, wav.dataSize);
    uint8_t samples[WriteFrames * 2 * 2];
    for (uint64_t first = 0; first < frames; first += WriteFrames) {
        const uint64_t last = std::min(frames, first + WriteFrames);
        size_t w = 0;
        for (uint64_t k = first; k < last; ++k) {
            for (int c = 0; c < channels; ++c) {
                const auto s = static_cast<uint16_t>(hushkit::floatToPcm16(output[c][k + compensation]));
                samples[w++] = static_cast<uint8_t>(s);
                samples[w++] = static_cast<uint8_t>(s >> 8);
            }
        }
        out.write(reinterpret_cast<const char*>(samples), static_cast<std::streamsize>(w));
    }
    // Flushing here lets a failure of the final write count as well.
    out.flush();
    if (!out)
        return 3;

    std::printf("Rendered %llu frames; compensated %llu samples; neural=%d\n",
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(compensation),
                engine.neuralActive ? 1 : 0);
    return 0;
}
