// hushkit_render: cleans one 16-bit PCM WAV file (mono or stereo) with one
// engine and writes a 16-bit PCM WAV file of the same rate, channel count and
// length, with the engine's delay removed.
//
// Exit codes: 0 written, 1 usage, 2 unreadable or unsupported input or a rate
// the engine refuses, 3 the output could not be written.

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "Engine.h"
#include "Wav.h"

namespace {

constexpr int32_t BlockFrames = 256;

std::vector<uint8_t> readWhole(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    if (!in)
        return bytes;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        bytes.clear();
    return bytes;
}

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

    const std::vector<uint8_t> file = readWhole(argv[1]);
    hushkit::WavInfo wav;
    switch (hushkit::checkWav(file, wav)) {
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
    }

    const int channels = wav.channels;
    const bool classic = argc == 5 && std::strcmp(argv[4], "classic") == 0;

    hushkit::Engine engine;
    engine.set(hushkit::ParamId::CleanupProfile, 1.0f);
    if (argc >= 4)
        engine.set(hushkit::ParamId::CleanAmount, amountFromText(argv[3]));
    if (!engine.prepare(static_cast<double>(wav.sampleRate), channels, true, !classic))
        return 2;

    const uint64_t compensation = engine.neuralActive ? static_cast<uint64_t>(engine.latency) : 0;
    const uint64_t frames = wav.frames;
    const uint64_t n = frames + compensation;

    std::vector<float> input[2];
    std::vector<float> output[2];
    for (int c = 0; c < channels; ++c) {
        input[c].assign(n, 0.0f);
        output[c].assign(n, 0.0f);
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

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    hushkit::writeWavHeader(out, wav.channels, wav.sampleRate, wav.dataSize);
    std::vector<uint8_t> samples(static_cast<size_t>(frames) * channels * 2);
    size_t w = 0;
    for (uint64_t k = 0; k < frames; ++k) {
        for (int c = 0; c < channels; ++c) {
            const auto s = static_cast<uint16_t>(hushkit::floatToPcm16(output[c][k + compensation]));
            samples[w++] = static_cast<uint8_t>(s);
            samples[w++] = static_cast<uint8_t>(s >> 8);
        }
    }
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
    // Flushing here lets a failure of the final write count as well.
    out.flush();
    if (!out)
        return 3;

    std::printf("Rendered %llu frames; compensated %llu samples; neural=%d\n",
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(compensation),
                engine.neuralActive ? 1 : 0);
    return 0;
}
