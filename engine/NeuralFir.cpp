#include "NeuralFir.h"

#include <emmintrin.h>
// HUSHKIT_FIR_BASELINE_ONLY leaves the AVX step out (the tests build the
// filter that way too, so that both steps are checked on any machine).
#if defined(__GNUC__) && defined(__x86_64__) && !defined(HUSHKIT_FIR_BASELINE_ONLY)
#include <immintrin.h>
#define HUSHKIT_FIR_AVX 1
#endif

namespace hushkit {

namespace {

constexpr int Taps = NeuralFir::Taps;
static_assert(Taps == 96, "the filter steps are unrolled for 96 taps");

// One group of four taps: glide the taps a tenth of the way to their targets,
// then multiply them with their sample pairs centre[+j] and centre[-j].
inline __m128 group4(float* current, const float* target, const float* centre, int j)
{
    __m128 c = _mm_loadu_ps(current + j);
    const __m128 t = _mm_loadu_ps(target + j);
    c = _mm_add_ps(c, _mm_mul_ps(_mm_sub_ps(t, c), _mm_set1_ps(0.1f)));
    _mm_storeu_ps(current + j, c);
    const __m128 newer = _mm_loadu_ps(centre + j);
    __m128 older = _mm_loadu_ps(centre - j - 3);
    older = _mm_shuffle_ps(older, older, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_mul_ps(c, _mm_add_ps(newer, older));
}

inline float horizontalSum(__m128 v)
{
    v = _mm_add_ps(v, _mm_movehl_ps(v, v));
    v = _mm_add_ss(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
    return _mm_cvtss_f32(v);
}

// The tap glide and the symmetric sum with the baseline instruction set,
// four partial sums in flight so that the additions do not wait on each
// other. The first group holds tap 0, whose "pair" is the centre sample taken
// twice; halving it (exact) leaves the centre sample once.
float stepSse2(float* current, const float* target, const float* centre)
{
    __m128 acc0 = _mm_mul_ps(group4(current, target, centre, 0), _mm_setr_ps(0.5f, 1.0f, 1.0f, 1.0f));
    __m128 acc1 = group4(current, target, centre, 4);
    __m128 acc2 = group4(current, target, centre, 8);
    __m128 acc3 = group4(current, target, centre, 12);
    for (int j = 16; j < Taps; j += 16) {
        acc0 = _mm_add_ps(acc0, group4(current, target, centre, j));
        acc1 = _mm_add_ps(acc1, group4(current, target, centre, j + 4));
        acc2 = _mm_add_ps(acc2, group4(current, target, centre, j + 8));
        acc3 = _mm_add_ps(acc3, group4(current, target, centre, j + 12));
    }
    return horizontalSum(_mm_add_ps(_mm_add_ps(acc0, acc1), _mm_add_ps(acc2, acc3)));
}

#if HUSHKIT_FIR_AVX

// The same step on groups of eight taps, for processors with AVX (chosen at
// run time; the build itself stays at the baseline). The glide is the same
// per-tap arithmetic; only the order of the final additions differs.
__attribute__((target("avx"), always_inline)) inline __m256 group8(float* current, const float* target,
                                                                    const float* centre, int j)
{
    __m256 c = _mm256_loadu_ps(current + j);
    const __m256 t = _mm256_loadu_ps(target + j);
    c = _mm256_add_ps(c, _mm256_mul_ps(_mm256_sub_ps(t, c), _mm256_set1_ps(0.1f)));
    _mm256_storeu_ps(current + j, c);
    const __m256 newer = _mm256_loadu_ps(centre + j);
    __m256 older = _mm256_loadu_ps(centre - j - 7);
    older = _mm256_permute_ps(older, _MM_SHUFFLE(0, 1, 2, 3));
    older = _mm256_permute2f128_ps(older, older, 1);
    return _mm256_mul_ps(c, _mm256_add_ps(newer, older));
}

__attribute__((target("avx"))) float stepAvx(float* current, const float* target, const float* centre)
{
    __m256 acc0 = _mm256_mul_ps(group8(current, target, centre, 0),
                                _mm256_setr_ps(0.5f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f));
    __m256 acc1 = group8(current, target, centre, 8);
    __m256 acc2 = group8(current, target, centre, 16);
    __m256 acc3 = group8(current, target, centre, 24);
    for (int j = 32; j < Taps; j += 32) {
        acc0 = _mm256_add_ps(acc0, group8(current, target, centre, j));
        acc1 = _mm256_add_ps(acc1, group8(current, target, centre, j + 8));
        acc2 = _mm256_add_ps(acc2, group8(current, target, centre, j + 16));
        acc3 = _mm256_add_ps(acc3, group8(current, target, centre, j + 24));
    }
    const __m256 sum = _mm256_add_ps(_mm256_add_ps(acc0, acc1), _mm256_add_ps(acc2, acc3));
    return horizontalSum(_mm_add_ps(_mm256_castps256_ps128(sum), _mm256_extractf128_ps(sum, 1)));
}

// Decided once at start-up; the processor (and the system, for the wider
// registers' state) must support AVX.
const bool haveAvx = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
}();

#endif

} // namespace

void NeuralFir::setIdentity()
{
    for (float& h : history)
        h = 0.0f;
    for (int j = 0; j < Taps; ++j) {
        current[j] = 0.0f;
        target[j] = 0.0f;
    }
    current[0] = 1.0f;
    target[0] = 1.0f;
    writeCount = 0;
}

float NeuralFir::process(float hp)
{
    const int p = static_cast<int>(static_cast<uint32_t>(writeCount) & (Ring - 1));
    history[p] = hp;
    history[p + Ring] = hp;

    // The centre sample, 95 samples before the newest one. Tap j pairs
    // centre[+j] (newer) with centre[-j] (older); both lie inside the
    // contiguous upper copy of the ring.
    const float* centre = history + p + Ring - (Taps - 1);

#if HUSHKIT_FIR_AVX
    const float y = haveAvx ? stepAvx(current, target, centre) : stepSse2(current, target, centre);
#else
    const float y = stepSse2(current, target, centre);
#endif

    writeCount = static_cast<int32_t>(static_cast<uint32_t>(writeCount) + 1u);
    return y;
}

void NeuralFir::update(const NeuralFirBasis& basis, const float* gains)
{
    for (int j = 0; j < Taps; ++j) {
        const float* row = basis.weights + j * NeuralFirBasis::Bands;
        float sum = 0.0f;
        for (int k = 0; k < NeuralFirBasis::Bands; ++k)
            sum += row[k] * gains[k];
        target[j] = sum;
    }
}

} // namespace hushkit
