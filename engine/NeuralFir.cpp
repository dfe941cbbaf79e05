#include "NeuralFir.h"

#include <emmintrin.h>

namespace hushkit {

static_assert(NeuralFir::Taps % 4 == 0, "the filter step works on groups of four taps");

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

    // Four groups in flight so that the additions do not wait on each other.
    const __m128 step = _mm_set1_ps(0.1f);
    __m128 acc0 = _mm_setzero_ps();
    __m128 acc1 = _mm_setzero_ps();
    __m128 acc2 = _mm_setzero_ps();
    __m128 acc3 = _mm_setzero_ps();

    // One group of four taps: glide the taps a tenth of the way to their
    // targets, then multiply them with their sample pairs.
    auto group = [&](int j) {
        __m128 c = _mm_load_ps(current + j);
        const __m128 t = _mm_load_ps(target + j);
        c = _mm_add_ps(c, _mm_mul_ps(_mm_sub_ps(t, c), step));
        _mm_store_ps(current + j, c);
        const __m128 newer = _mm_loadu_ps(centre + j);
        __m128 older = _mm_loadu_ps(centre - j - 3);
        older = _mm_shuffle_ps(older, older, _MM_SHUFFLE(0, 1, 2, 3));
        return _mm_mul_ps(c, _mm_add_ps(newer, older));
    };

    // The first group holds tap 0, whose "pair" is the centre sample taken
    // twice; halving it (exact) leaves the centre sample once.
    acc0 = _mm_mul_ps(group(0), _mm_setr_ps(0.5f, 1.0f, 1.0f, 1.0f));
    acc1 = group(4);
    acc2 = group(8);
    acc3 = group(12);
    for (int j = 16; j < Taps; j += 16) {
        acc0 = _mm_add_ps(acc0, group(j));
        acc1 = _mm_add_ps(acc1, group(j + 4));
        acc2 = _mm_add_ps(acc2, group(j + 8));
        acc3 = _mm_add_ps(acc3, group(j + 12));
    }
    __m128 sum = _mm_add_ps(_mm_add_ps(acc0, acc1), _mm_add_ps(acc2, acc3));
    sum = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
    sum = _mm_add_ss(sum, _mm_shuffle_ps(sum, sum, _MM_SHUFFLE(1, 1, 1, 1)));

    writeCount = static_cast<int32_t>(static_cast<uint32_t>(writeCount) + 1u);
    return _mm_cvtss_f32(sum);
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
