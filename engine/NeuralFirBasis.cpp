#include "NeuralFirBasis.h"

#include "Maths.h"

#include <cmath>

namespace hushkit {

namespace {

// Anchor bin of every band in the 481-bin half spectrum of a 960-point
// transform at 48 kHz (bin i is i x 50 Hz).
constexpr int Anchor[NeuralFirBasis::Bands] = {2,  4,  6,  8,  10, 12, 15,  18,  21,  24,  28,
                                               32, 36, 41, 47, 53, 60, 68,  77,  87,  98,  110,
                                               124, 140, 157, 176, 198, 223, 251, 282, 317, 356};

} // namespace

void NeuralFirBasis::prepare()
{
    for (float& w : weights)
        w = 0.0f;

    for (int i = 0; i < BinCount; ++i) {
        // The band pair that bin i lies between and its fraction towards the
        // upper band; above the last anchor the bin belongs to band 31 alone.
        int k = Bands - 1;
        double g = 0.0;
        const bool alone = i > Anchor[Bands - 1];
        if (!alone) {
            k = 0;
            while (i > Anchor[k + 1])
                ++k;
            g = double(i - Anchor[k]) / double(Anchor[k + 1] - Anchor[k]);
            if (g < 0.0)
                g = 0.0;
            else if (g > 1.0)
                g = 1.0;
        }

        // Real cosine series: DC and Nyquist once, every other bin twice.
        const double c = (i == 0 || i == BinCount - 1) ? 1.0 / 960.0 : 2.0 / 960.0;

        for (int j = 0; j < Taps; ++j) {
            const double r = std::cos(j * (i * 2.0 * Pi) / 960.0) * c * (std::cos(j * Pi / 95.0) * 0.1 + 0.9);
            float* row = weights + j * Bands;
            row[k] += static_cast<float>(r * (1.0 - g));
            if (!alone)
                row[k + 1] += static_cast<float>(r * g);
        }
    }
}

} // namespace hushkit
