#include "ResamplerKernel.h"

#include "Maths.h"

#include <cmath>
#include <new>

namespace hushkit {

bool ResamplerKernel::allocate()
{
    if (!table.empty())
        return true;
    try {
        table.resize(Rows);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Row i holds the weights for an output position i/1024 of a sample past an
// input sample E; tap t weighs input sample E - 15 + t. Each weight is a sinc
// low-pass at the cutoff times a Hann window over +-16 samples; every row is
// then scaled to unit sum so that DC passes unchanged at every phase.
bool ResamplerKernel::prepare(double cutoff)
{
    if (!allocate())
        return false;
    for (int i = 0; i < Rows; ++i) {
        std::array<float, Taps>& row = table[i];
        double sum = 0.0;
        for (int t = 0; t < Taps; ++t) {
            const double a = i / 1024.0 - (t - 15);
            double weight = 0.0;
            if (std::fabs(a) < 16.0) {
                const double x = (Pi * cutoff) * a;
                const double s = std::fabs(x) < 1e-10 ? cutoff : (std::sin(x) / x) * cutoff;
                weight = (std::cos((a * Pi) * 0.0625) * 0.5 + 0.5) * s;
            }
            row[t] = static_cast<float>(weight);
            sum += weight;
        }
        for (int t = 0; t < Taps; ++t)
            row[t] = static_cast<float>(static_cast<double>(row[t]) / sum);
    }
    return true;
}

} // namespace hushkit
