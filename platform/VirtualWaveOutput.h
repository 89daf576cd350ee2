// VirtualWaveOutput: a wave output that plays on a virtual clock, for tests
// and headless runs (scrtool play). Nothing is heard; what the devices are
// handed is recorded.
//
// Advance(ms) moves the clock: every open, running device consumes its
// queued blocks at its format's average byte rate (exactly, carrying the
// fractions of a byte from one advance to the next) and posts a done notice
// for each block as it finishes. A device whose queue runs dry does not bank
// the idle time. Pause stops consumption, Restart resumes it, Reset hands all
// blocks back (done notices in queue order) and sets the position to 0.
//
// The devices keep waveOut's rules, so that misuse shows in tests: Write
// needs a prepared block that is not queued, Unprepare and Close refuse while
// the block or any block is queued (StillPlaying), a closed device refuses
// everything (InvalidHandle). With pcmOnly (the default) Open accepts only
// formats a plain output device plays (PlayableFormatFault in WaveDevice.h:
// PCM, 1 to 8 channels, 8/16/24/32 bits, 1 to 384,000 samples per second,
// block align and byte rate consistent).
//
// Failures can be injected per operation (the next N calls fail with a
// status) to test the callers' cleanup. All calls run on one thread at a
// time (the player's main thread); notices go through the devices'
// thread-safe queues.
#pragma once

#include "platform/WaveDevice.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class VirtualWaveDevice;

class VirtualWaveOutput : public WaveOutput {
public:
    struct Settings {
        bool volumeControl = true;
        uint32_t initialVolume = 0xFFFFFFFFu;
        bool pcmOnly = true;
        bool recordBytes = true;  // keep a copy of every block written
        // Keep a record of every write and volume set, as tests read them.
        // Long runs keep only the count: the records grow without end.
        bool keepHistory = true;
    };

    enum class Operation { Open, Capabilities, Prepare, Write, SetVolume };

    // One Write, as the device received it.
    struct Written {
        uint64_t opening = 0;  // 1 for the first device opened, and so on
        uint32_t block = 0;
        uint32_t atMs = 0;  // virtual time of the write
        uint32_t length = 0;
        std::vector<uint8_t> bytes;  // empty unless recordBytes
    };

    VirtualWaveOutput() = default;
    explicit VirtualWaveOutput(const Settings& settings) : settings_(settings) {}
    ~VirtualWaveOutput() override;

    WaveDeviceStatus Open(const WaveDeviceFormat& format, ThreadMessageQueue& notices,
                          std::unique_ptr<WaveDevice>& device) override;
    std::string ErrorText(WaveDeviceStatus status) const override;
    void PurgeOtherSounds() override { ++purges_; }

    void Advance(uint32_t milliseconds);
    uint32_t Now() const;

    // The next count calls of the operation fail with status (the others of
    // the same opening succeed). Prepare counts blocks, so FailNext(Prepare,
    // ..., 1) after one successful Prepare fails the second block.
    void FailNext(Operation operation, WaveDeviceStatus status, int count = 1);
    // Lets the next `skip` calls of the operation succeed before failing.
    void FailAfter(Operation operation, int skip, WaveDeviceStatus status);

    std::vector<Written> Writes() const;  // empty without keepHistory
    size_t WriteCount() const;
    uint64_t Openings() const;       // devices opened so far
    int OpenDevices() const;         // devices open now
    int PreparedBlocks() const;      // prepared on open devices now
    uint32_t SystemVolume() const;   // the device volume as last set
    std::vector<uint32_t> VolumeHistory() const;  // every SetVolume value (with keepHistory)
    int Purges() const { return purges_; }
    // The position of the newest open device; 0 when none is open.
    uint32_t CurrentPosition() const;
    // Bytes queued on the newest open device and not yet played.
    uint64_t CurrentQueuedBytes() const;

private:
    friend class VirtualWaveDevice;
    struct Failure {
        int skip = 0;
        int count = 0;
        WaveDeviceStatus status = WaveDeviceStatus::Ok;
    };
    // Called with the mutex held.
    WaveDeviceStatus TakeFailure(Operation operation);

    Settings settings_;
    mutable std::mutex mutex_;
    uint32_t now_ = 0;
    uint64_t openings_ = 0;
    uint32_t systemVolume_ = 0;
    bool volumeKnown_ = false;
    std::vector<uint32_t> volumeHistory_;
    std::vector<VirtualWaveDevice*> devices_;  // open or not yet destroyed
    std::vector<Written> writes_;
    size_t writeCount_ = 0;
    std::map<Operation, Failure> failures_;
    int purges_ = 0;
};
