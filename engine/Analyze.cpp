#include "Analyze.h"

#include <cstddef>
#include <cstring>

#include <rnnoise.h>

#include "Frame.h"
#include "RnnoiseLayout.h"

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

using hushkit::BandCount;
using hushkit::BinCount;
using hushkit::FrameSize;
using namespace hushkit::rnnoise_layout;

constexpr int Features = 65;

static_assert(sizeof(HushkitComplex) == ComplexBytes, "a complex value is two floats");

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
        for (int k = 0; k < BandCount; ++k)
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

    HushkitComplex X[BinCount];
    HushkitComplex P[BinCount];
    float Ex[BandCount];
    float Ep[BandCount];
    float Exp[BandCount];
    float features[Features];
    const int silent = rnn_compute_frame_features(st, X, P, Ex, Ep, Exp, features, x);

    float last[BandCount];
    if (silent != 0) {
        for (int k = 0; k < BandCount; ++k) {
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

    float g[BandCount];
    float vad = 0.0f;
    compute_rnn(model, rnn, g, &vad, features, arch);

    // A band's gain falls by at most 70 % per frame.
    std::memcpy(last, base + LastGainsOffset, sizeof last);
    for (int k = 0; k < BandCount; ++k) {
        const float lowest = 0.3f * last[k];
        const float v = g[k] > lowest ? g[k] : lowest;
        last[k] = v;
        gains[k] = v;
    }
    std::memcpy(base + LastGainsOffset, last, sizeof last);
    return vad;
}
