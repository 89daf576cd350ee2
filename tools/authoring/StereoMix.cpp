#include "tools/authoring/StereoMix.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int MaskBits = 18;  // front left ... top back right

enum class Side { Left, Right, Centre, None };

Side SideOf(Speaker speaker)
{
    switch (speaker) {
    case Speaker::FrontLeft:
    case Speaker::BackLeft:
    case Speaker::FrontLeftOfCentre:
    case Speaker::SideLeft:
    case Speaker::TopFrontLeft:
    case Speaker::TopBackLeft: return Side::Left;
    case Speaker::FrontRight:
    case Speaker::BackRight:
    case Speaker::FrontRightOfCentre:
    case Speaker::SideRight:
    case Speaker::TopFrontRight:
    case Speaker::TopBackRight: return Side::Right;
    case Speaker::LowFrequency: return Side::None;
    case Speaker::FrontCentre:
    case Speaker::BackCentre:
    case Speaker::TopCentre:
    case Speaker::TopFrontCentre:
    case Speaker::TopBackCentre:
    case Speaker::Unknown: return Side::Centre;
    }
    return Side::Centre;
}

std::vector<Speaker> Padded(std::vector<Speaker> known, uint16_t channels)
{
    known.resize(channels, Speaker::Unknown);
    return known;
}

}  // namespace

std::vector<Speaker> SpeakersFromChannelMask(uint32_t mask, uint16_t channels)
{
    if (mask == 0) return WaveDefaultSpeakers(channels);
    std::vector<Speaker> speakers;
    for (int bit = 0; bit < MaskBits && speakers.size() < channels; ++bit)
        if (mask >> bit & 1u) speakers.push_back(static_cast<Speaker>(bit));
    return Padded(std::move(speakers), channels);
}

std::vector<Speaker> WaveDefaultSpeakers(uint16_t channels)
{
    using enum Speaker;
    switch (channels) {
    case 0: return {};
    case 1: return {FrontCentre};
    case 2: return {FrontLeft, FrontRight};
    case 3: return {FrontLeft, FrontRight, FrontCentre};
    case 4: return {FrontLeft, FrontRight, BackLeft, BackRight};
    case 5: return {FrontLeft, FrontRight, FrontCentre, BackLeft, BackRight};
    case 6: return {FrontLeft, FrontRight, FrontCentre, LowFrequency, BackLeft, BackRight};
    case 7: return {FrontLeft, FrontRight, FrontCentre, LowFrequency, BackCentre, SideLeft, SideRight};
    default:
        return Padded({FrontLeft, FrontRight, FrontCentre, LowFrequency, BackLeft, BackRight, SideLeft, SideRight},
                      channels);
    }
}

std::vector<Speaker> VorbisDefaultSpeakers(uint16_t channels)
{
    using enum Speaker;
    switch (channels) {
    case 0: return {};
    case 1: return {FrontCentre};
    case 2: return {FrontLeft, FrontRight};
    case 3: return {FrontLeft, FrontCentre, FrontRight};
    case 4: return {FrontLeft, FrontRight, BackLeft, BackRight};
    case 5: return {FrontLeft, FrontCentre, FrontRight, BackLeft, BackRight};
    case 6: return {FrontLeft, FrontCentre, FrontRight, BackLeft, BackRight, LowFrequency};
    case 7: return {FrontLeft, FrontCentre, FrontRight, SideLeft, SideRight, BackCentre, LowFrequency};
    default:
        return Padded({FrontLeft, FrontCentre, FrontRight, SideLeft, SideRight, BackLeft, BackRight, LowFrequency},
                      channels);
    }
}

std::vector<StereoWeight> StereoMixWeights(std::span<const Speaker> speakers)
{
    const long double half = 1.0L / std::sqrt(2.0L);
    std::vector<StereoWeight> weights;
    weights.reserve(speakers.size());
    long double leftSum = 0;
    long double rightSum = 0;
    for (const Speaker speaker : speakers) {
        StereoWeight weight;
        switch (SideOf(speaker)) {
        case Side::Left: weight.left = 1; break;
        case Side::Right: weight.right = 1; break;
        case Side::Centre: weight.left = weight.right = half; break;
        case Side::None: break;
        }
        leftSum += weight.left;
        rightSum += weight.right;
        weights.push_back(weight);
    }
    const long double largest = std::max(leftSum, rightSum);
    if (largest == 0) {
        const long double even = speakers.empty() ? 0 : 1.0L / static_cast<long double>(speakers.size());
        for (StereoWeight& weight : weights) weight = {even, even};
        return weights;
    }
    for (StereoWeight& weight : weights) {
        weight.left /= largest;
        weight.right /= largest;
    }
    return weights;
}
