#include "Analyze.h"

#include <cstddef>
#include <cstring>

#include <rnnoise.h>

// The library's internal types, only passed through to its own functions.
struct HushkitRnnModel;
struct HushkitRnnState;
struct HushkitComplex {
    float r;
    float i;
};

// Internal functions of the library (global symbols with C linkage).
extern "C" int rnn_compute_frame_features(DenoiseState* st, HushkitComplex* X, HushkitComplex* P, float* Ex,
                                          float* Ep, float* Exp, float* features, const float* in);
extern "C" void compute_rnn(const HushkitRnnModel* model, HushkitRnnState* rnn, float* gains, float* vad,
                            const float* features, int arch);

namespace {

constexpr int FrameSize = 480;
constexpr int Bands = 32;
constexpr int Bins = 481;
constexpr int Features = 65;

// Byte layout of the library's state in the RNNoise 0.2 build that the engine
// links (x86-64).
constexpr std::size_t StateSize = 32688;
constexpr std::size_t ModelOffset = 0;
constexpr std::size_t ModelSize = 640;
constexpr std::size_t ArchOffset = 640;
constexpr std::size_t HighpassOffset = 18320;
constexpr std::size_t LastGainsOffset = 18328;
constexpr std::size_t RecurrentOffset = 18456;
constexpr std::size_t RecurrentSize = (130 + 256 + 384 + 384 + 384) * sizeof(float);
constexpr std::size_t DelayedSpectraSize = 2 * Bins * sizeof(HushkitComplex);
constexpr std::size_t DelayedEnergiesSize = 3 * Bands * sizeof(float);

static_assert(sizeof(float) == 4 && sizeof(int) == 4, "the layout assumes 32-bit floats and ints");
static_assert(sizeof(HushkitComplex) == 8, "a complex value is two floats");
static_assert(ArchOffset == ModelOffset + ModelSize, "the architecture follows the model");
static_assert(ArchOffset + sizeof(int) + FrameSize * 4 + 4 + FrameSize * 4 + 2 * 1728 * 4 + 4 + 4 == HighpassOffset,
              "window, synthesis and pitch memories lie between the architecture and the high-pass memory");
static_assert(LastGainsOffset == HighpassOffset + 2 * sizeof(float), "the last gains follow the high-pass memory");
static_assert(RecurrentOffset == LastGainsOffset + Bands * sizeof(float), "the network state follows the last gains");
static_assert(RecurrentSize == 6152, "network state size");
static_assert(RecurrentOffset + RecurrentSize + DelayedSpectraSize + DelayedEnergiesSize == StateSize,
              "the delayed spectra and energies end the state");

// High-pass coefficients of the library's own frame function.
constexpr float HighpassA0 = 1.99599f;
constexpr float HighpassA1 = 0.996f;

unsigned char* bytes(DenoiseState* st) { return reinterpret_cast<unsigned char*>(st); }

} // namespace

extern "C" int hushkit_analyze_supported(void)
{
    return rnnoise_get_size() == static_cast<int>(StateSize) ? 1 : 0;
}

extern "C" float hushkit_analyze(DenoiseState* st, float* gains, const float* frame)
{
    // Never touch a state whose layout differs from the one described above.
    if (hushkit_analyze_supported() == 0) {
        for (int k = 0; k < Bands; ++k)
            gains[k] = 0.0f;
        return 0.0f;
    }
    unsigned char* const base = bytes(st);

    // DC removal on the state's own two-float memory, as the library's frame
    // function does it.
    float mem[2];
    std::memcpy(mem, base + HighpassOffset, sizeof mem);
    float x[FrameSize];
    for (int n = 0; n < FrameSize; ++n) {
        const float in = frame[n];
        const float y = mem[0] + in;
        mem[0] = static_cast<float>((double(y) * double(HighpassA0) - double(in + in)) + double(mem[1]));
        mem[1] = static_cast<float>(double(y) * -double(HighpassA1) + double(in));
        x[n] = y;
    }
    std::memcpy(base + HighpassOffset, mem, sizeof mem);

    HushkitComplex X[Bins];
    HushkitComplex P[Bins];
    float Ex[Bands];
    float Ep[Bands];
    float Exp[Bands];
    float features[Features];
    const int silent = rnn_compute_frame_features(st, X, P, Ex, Ep, Exp, features, x);

    float last[Bands];
    if (silent != 0) {
        for (int k = 0; k < Bands; ++k) {
            last[k] = 0.0f;
            gains[k] = 0.0f;
        }
        std::memcpy(base + LastGainsOffset, last, sizeof last);
        return 0.0f;
    }

    int arch;
    std::memcpy(&arch, base + ArchOffset, sizeof arch);
    const auto* model = reinterpret_cast<const HushkitRnnModel*>(base + ModelOffset);
    auto* rnn = reinterpret_cast<HushkitRnnState*>(base + RecurrentOffset);

    float g[Bands];
    float vad = 0.0f;
    compute_rnn(model, rnn, g, &vad, features, arch);

    // A band's gain falls by at most 70 % per frame.
    std::memcpy(last, base + LastGainsOffset, sizeof last);
    for (int k = 0; k < Bands; ++k) {
        const float lowest = 0.3f * last[k];
        const float v = g[k] > lowest ? g[k] : lowest;
        last[k] = v;
        gains[k] = v;
    }
    std::memcpy(base + LastGainsOffset, last, sizeof last);
    return vad;
}
