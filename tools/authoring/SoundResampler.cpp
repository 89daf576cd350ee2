#include "tools/authoring/SoundResampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int ZeroCrossings = 24;
constexpr int StepsPerCrossing = 4096;
constexpr long double CutoffFraction = 0.475L;  // of the lower rate

// sinc(x) × Blackman window, for x in zero crossings from 0 to ZeroCrossings
// (the kernel is even), one extra entry for the interpolation's last step.
std::vector<double> KernelTable()
{
    std::vector<double> table(ZeroCrossings * StepsPerCrossing + 2);
    const long double pi = std::numbers::pi_v<long double>;
    for (size_t k = 0; k < table.size(); ++k) {
        const long double x = static_cast<long double>(k) / StepsPerCrossing;
        if (x >= ZeroCrossings) {
            table[k] = 0;
            continue;
        }
        const long double sinc = k == 0 ? 1.0L : std::sin(pi * x) / (pi * x);
        // The window spans -ZeroCrossings..ZeroCrossings.
        const long double phase = pi * (x + ZeroCrossings) / ZeroCrossings;
        const long double window = 0.42L - 0.5L * std::cos(phase) + 0.08L * std::cos(2 * phase);
        table[k] = static_cast<double>(sinc * window);
    }
    return table;
}

}  // namespace

std::vector<double> ResampleFrames(std::span<const double> samples, uint16_t channels, uint32_t from, uint32_t to)
{
    const uint64_t inputFrames = samples.size() / channels;
    const uint64_t outputFrames = (inputFrames * to + from - 1) / from;
    std::vector<double> output(static_cast<size_t>(outputFrames * channels));
    if (inputFrames == 0) return output;

    static const std::vector<double> table = KernelTable();
    // The kernel in input frames: crossings every 1 / (2 × cut-off) of them.
    const long double cutoff = CutoffFraction * std::min<long double>(1.0L, static_cast<long double>(to) / from);
    const long double crossingsPerFrame = 2 * cutoff;
    const long double reach = ZeroCrossings / crossingsPerFrame;  // in input frames, each side
    const int64_t span = static_cast<int64_t>(std::ceil(reach));

    std::vector<long double> weights;
    std::vector<long double> sums(channels);
    for (uint64_t n = 0; n < outputFrames; ++n) {
        // t = n × from / to, split exactly into whole frames and a fraction.
        const uint64_t product = n * from;
        const int64_t whole = static_cast<int64_t>(product / to);
        const long double fraction = static_cast<long double>(product % to) / to;
        const int64_t first = std::max<int64_t>(0, whole - span + 1);
        const int64_t last = std::min<int64_t>(static_cast<int64_t>(inputFrames) - 1, whole + span);
        weights.clear();
        long double total = 0;
        for (int64_t k = first; k <= last; ++k) {
            const long double distance =
                std::fabs(static_cast<long double>(k - whole) - fraction) * crossingsPerFrame * StepsPerCrossing;
            const long double step = std::floor(distance);
            long double weight = 0;
            if (step < ZeroCrossings * StepsPerCrossing) {
                const size_t index = static_cast<size_t>(step);
                const long double between = distance - step;
                weight = table[index] + (table[index + 1] - table[index]) * between;
            }
            weights.push_back(weight);
            total += weight;
        }
        std::fill(sums.begin(), sums.end(), 0.0L);
        for (int64_t k = first; k <= last; ++k) {
            const long double weight = weights[static_cast<size_t>(k - first)];
            const double* frame = samples.data() + static_cast<size_t>(k) * channels;
            for (uint16_t c = 0; c < channels; ++c) sums[c] += weight * frame[c];
        }
        double* out = output.data() + static_cast<size_t>(n) * channels;
        for (uint16_t c = 0; c < channels; ++c) out[c] = total != 0 ? static_cast<double>(sums[c] / total) : 0.0;
    }
    return output;
}
