// StereoMix: where each channel of a sound file plays, and how channels
// beyond two are mixed down to stereo for the saver's converted sounds.
//
// A channel's place comes from the file (a WAV extensible format's channel
// mask, the positions a decoder reports) or, without one, from the default
// order of its kind: WAV and FLAC put front left, front right, front centre,
// low frequency, back left, back right, side left, side right; Ogg Vorbis
// and Opus put the centre between the front pair and the low frequency
// channel last.
//
// The mix-down gives each channel a weight on each side: left-side speakers
// 1 on the left, right-side speakers 1 on the right, centre speakers and
// channels of unknown place 1/sqrt(2) on both, the low-frequency channel
// nothing (its content is mostly also in the main channels, and adding it
// muddies small speakers). Both sides are then divided by the larger of the
// two weight sums, so that channels at full scale together still stay
// within full scale: a mix never clips, at the price of being quieter than
// its loudest channel alone.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

enum class Speaker : uint8_t {
    FrontLeft,
    FrontRight,
    FrontCentre,
    LowFrequency,
    BackLeft,
    BackRight,
    FrontLeftOfCentre,
    FrontRightOfCentre,
    BackCentre,
    SideLeft,
    SideRight,
    TopCentre,
    TopFrontLeft,
    TopFrontCentre,
    TopFrontRight,
    TopBackLeft,
    TopBackCentre,
    TopBackRight,
    Unknown,
};

// The channels' places by a WAV channel mask: channel k takes the k-th set
// bit (bit 0 front left ... bit 17 top back right); channels beyond the set
// bits are Unknown. A mask of 0 means the default WAV order.
std::vector<Speaker> SpeakersFromChannelMask(uint32_t mask, uint16_t channels);

// The default orders for 1 to 8 channels; a mono channel is FrontCentre.
// Beyond 8 channels, the channels past the eighth are Unknown.
std::vector<Speaker> WaveDefaultSpeakers(uint16_t channels);
std::vector<Speaker> VorbisDefaultSpeakers(uint16_t channels);

struct StereoWeight {
    long double left = 0;
    long double right = 0;
};

// One weight pair per channel, normalised as described above. A layout with
// no weight on either side (only low-frequency channels) mixes every channel
// evenly instead, so that nothing turns silent.
std::vector<StereoWeight> StereoMixWeights(std::span<const Speaker> speakers);
