#include "platform/WaveDevice.h"

WaveFormatFault PlayableFormatFault(const WaveDeviceFormat& format)
{
    if (format.formatTag != 1) return WaveFormatFault::NotPcm;
    if (format.channels < 1 || format.channels > WaveMaximumChannels) return WaveFormatFault::Channels;
    const uint16_t bits = format.bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return WaveFormatFault::BitsPerSample;
    if (format.samplesPerSecond < 1 || format.samplesPerSecond > WaveMaximumSampleRate)
        return WaveFormatFault::SampleRate;
    // At most 8 channels of 4 bytes, and 384,000 blocks of 32 bytes: no overflow.
    const uint32_t block = uint32_t{format.channels} * (bits / 8u);
    if (format.blockAlign != block) return WaveFormatFault::BlockAlign;
    if (format.averageBytesPerSecond != format.samplesPerSecond * block) return WaveFormatFault::ByteRate;
    return WaveFormatFault::None;
}
