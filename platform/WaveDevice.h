// WaveDevice: the wave output device, the way the sound player drives it.
//
// WaveOutput is the machine's wave output; Open gives one opening of its
// default device (WaveDevice) for a format, and the device then reports to a
// ThreadMessageQueue that the caller owns and keeps alive until the device
// is destroyed:
//  - WaveNoticeOpen when it opened,
//  - WaveNoticeDone (second parameter: the block's index) each time a block
//    handed over with Write has played or was handed back by Reset,
//  - WaveNoticeClose when it closed.
// Notices may be posted from any thread (waveOut's driver callback, SDL's
// audio thread).
//
// Blocks belong to the caller: their bytes must stay where they are from
// Prepare to Unprepare, and a block may be unprepared or freed only when the
// device has handed it back. Index is 0 or 1 (at most WaveMaximumBlocks
// blocks per opening) and comes back in the done notice; the device never
// reads a block after it has handed it back.
//
// Every operation returns a WaveDeviceStatus: the operating system's error
// codes are turned into these once, in the implementation, and ErrorText
// gives the system's own text for one. Position counts bytes played since the
// opening or the last Reset (32 bits, wrapping). Volume packs the left
// channel in the low word and the right in the high word, 0xFFFF loudest.
// Destroying a device that is still open resets and closes it.
//
// Implementations, each with the header that makes one:
//  - win32/WaveOutDevice.h: waveOut through the wave mapper (Windows),
//  - sdl/SdlWaveOutput.h: SDL audio (the Linux saver),
//  - VirtualWaveOutput.h: a virtual clock, nothing heard (tests and
//    headless runs).
// Which one a program gets is its build's choice: this header names none.
#pragma once

#include "platform/ThreadMessageQueue.h"

#include <cstdint>
#include <memory>
#include <string>

// The format handed to the device unchanged: the fields of WAVEFORMATEX.
struct WaveDeviceFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t averageBytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraBytes = 0;

    bool operator==(const WaveDeviceFormat&) const = default;
};

enum class WaveDeviceStatus : uint8_t {
    Ok,
    Error,             // unspecified failure
    BadDevice,         // no such device
    Allocated,         // the device is in use
    InvalidHandle,     // the device is not open
    NoDriver,
    NoMemory,
    NotSupported,      // e.g. volume on a device without volume control
    InvalidParameter,
    BadFormat,         // the device cannot play this format
    StillPlaying,      // blocks are still queued
    Unprepared,        // the block was not prepared
};

// An English text for a status, for when the system has none.
inline const char* WaveDeviceStatusName(WaveDeviceStatus status)
{
    switch (status) {
    case WaveDeviceStatus::Ok: return "no error";
    case WaveDeviceStatus::Error: return "unspecified error";
    case WaveDeviceStatus::BadDevice: return "bad device";
    case WaveDeviceStatus::Allocated: return "device already in use";
    case WaveDeviceStatus::InvalidHandle: return "device not open";
    case WaveDeviceStatus::NoDriver: return "no driver";
    case WaveDeviceStatus::NoMemory: return "not enough memory";
    case WaveDeviceStatus::NotSupported: return "not supported";
    case WaveDeviceStatus::InvalidParameter: return "invalid parameter";
    case WaveDeviceStatus::BadFormat: return "unsupported wave format";
    case WaveDeviceStatus::StillPlaying: return "still playing";
    case WaveDeviceStatus::Unprepared: return "block not prepared";
    }
    return "unknown error";
}

// Notice numbers, as the system numbers them.
enum : uint32_t {
    WaveNoticeOpen = 0x3BB,
    WaveNoticeClose = 0x3BC,
    WaveNoticeDone = 0x3BD,
};

constexpr uint32_t WaveMaximumBlocks = 2;

// Capability bits of WaveCapabilities::support.
enum : uint32_t {
    WaveSupportPitch = 0x0001,
    WaveSupportPlaybackRate = 0x0002,
    WaveSupportVolume = 0x0004,
    WaveSupportLeftRightVolume = 0x0008,
    WaveSupportSynchronous = 0x0010,
    WaveSupportSampleAccurate = 0x0020,
};

struct WaveCapabilities {
    uint16_t manufacturer = 0;
    uint16_t product = 0;
    uint32_t driverVersion = 0;
    std::string name;  // at most 31 characters
    uint32_t formats = 0;
    uint16_t channels = 0;
    uint32_t support = 0;
};

struct WaveBlock {
    uint8_t* data = nullptr;
    uint32_t capacity = 0;  // bytes at data
    uint32_t length = 0;    // bytes the next Write plays, at most capacity
    uint32_t index = 0;     // 0 or 1, returned in the done notice
    bool prepared = false;  // kept by the device
};

class WaveDevice {
public:
    virtual ~WaveDevice() = default;

    virtual WaveDeviceStatus Capabilities(WaveCapabilities& capabilities) = 0;
    virtual WaveDeviceStatus Prepare(WaveBlock& block) = 0;
    virtual WaveDeviceStatus Unprepare(WaveBlock& block) = 0;
    virtual WaveDeviceStatus Write(WaveBlock& block) = 0;
    virtual WaveDeviceStatus Pause() = 0;
    virtual WaveDeviceStatus Restart() = 0;
    // Stops playing, hands every queued block back (a done notice each) and
    // sets the position to 0.
    virtual WaveDeviceStatus Reset() = 0;
    virtual WaveDeviceStatus Position(uint32_t& bytes) = 0;
    virtual WaveDeviceStatus GetVolume(uint32_t& volume) = 0;
    virtual WaveDeviceStatus SetVolume(uint32_t volume) = 0;
    // StillPlaying while blocks are queued; afterwards only the destructor.
    virtual WaveDeviceStatus Close() = 0;
};

class WaveOutput {
public:
    virtual ~WaveOutput() = default;

    // Opens the default device (the system's choice of device for the format).
    virtual WaveDeviceStatus Open(const WaveDeviceFormat& format, ThreadMessageQueue& notices,
                                  std::unique_ptr<WaveDevice>& device) = 0;
    // The system's text for a status, at most 255 characters.
    virtual std::string ErrorText(WaveDeviceStatus status) const = 0;
    // Silences sounds the process plays by other means than this output.
    virtual void PurgeOtherSounds() {}
};

// Formats a wave output device is sure to play: what the saver hands the
// device is the stored WAVEFORMATEX without extra bytes, so only plain PCM
// can work (compressed formats and the extensible one need their extra
// bytes). PCM is played with 1 to WaveMaximumChannels channels of 8, 16, 24
// or 32 bits, 1 to WaveMaximumSampleRate samples per second, a block align
// of one sample of every channel and an average byte rate of one block per
// sample; a device opened with anything else refuses it (or, with an
// inconsistent block align or byte rate, would play it at the wrong speed).
// The virtual device takes exactly these, so headless runs and tests see
// what a real device would refuse.
constexpr uint16_t WaveMaximumChannels = 8;
constexpr uint32_t WaveMaximumSampleRate = 384000;

enum class WaveFormatFault : uint8_t {
    None,
    NotPcm,         // a format tag other than 1
    Channels,       // 0 or more than WaveMaximumChannels
    BitsPerSample,  // other than 8, 16, 24 or 32
    SampleRate,     // 0 or above WaveMaximumSampleRate
    BlockAlign,     // not channels × bits per sample / 8
    ByteRate,       // not samples per second × block align
};

// The first rule the format breaks, in the order of the enumeration.
WaveFormatFault PlayableFormatFault(const WaveDeviceFormat& format);
