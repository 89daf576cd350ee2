// oWaveDataControl: the process's sound player. It streams one sound entry
// of the archive (a RIFF WAVE file) to the wave output, two seconds at a
// time, through two blocks that take turns on the device.
//
// Load walks the entry's chunks (WaveFormat.h) and keeps a private cursor
// at its samples; nothing else of the entry is read until it plays. Play
// opens the device with the loaded format, makes and prepares two blocks of
// `bufferBytes` (two seconds), fills both while the device is paused and
// starts it. Each opening of the device has its own worker (WaveOutThread.h),
// which hears the device hand a block back and has the main thread refill it
// (FillBuffer) until all data has been handed over; it then sends the end
// notice, which the owner answers on the main thread with OnEndNotice, and
// CheckEnd closes the device once it has played everything. A looping sound
// (loop count 0) starts again at block granularity: the block that holds the
// end of the data goes out short and the next block begins with the first
// sample. Stop, a new Load and CloseDevice mark both blocks cancelled before
// resetting the device, so that the worker sends the end notice and ends.
//
// Threads: every operation here runs on the main thread (the thread of the
// MainThreadCalls given), archive reads included. In Threaded mode each
// worker is a TWaveOutThread and reaches the main thread through
// MainThreadCalls::Synchronize; in Pumped mode there are no threads and the
// caller runs the workers' pending notices with PumpWorkers (tests and the
// headless player drive everything deterministically that way, with a
// VirtualWaveOutput's clock).
//
// The end notice goes to owner.endNotice with the number of the opening
// whose worker sent it, from the worker's thread; the owner answers it on
// the main thread with OnEndNotice(opening). Without an endNotice the player
// posts that answer to its MainThreadCalls itself. Errors of the device
// (the system's text) go to owner.reportError on the main thread; without
// one they are dropped. Problem() keeps the failure of the last Load or
// Play in words, for tools; nothing here acts on it.
//
// Ownership: the player does not own the archive of a loaded sound; it must
// stay open (or the player stopped) while the sound plays. The wave output
// and the MainThreadCalls must outlive the player. Destroying the player
// stops the sound and waits for its workers, running the main thread's
// pending calls meanwhile (calls of the player's own are then no-ops).
//
// Where this player is stricter than the saver always was:
//  - a load that fails (status < 0) leaves nothing loaded and a duration of
//    0, and Play after it does nothing;
//  - a block whose samples the archive could not deliver (short entry,
//    archive reopened since the load) is filled up with silence;
//  - Play never repeats a block's samples when an old worker is still
//    running, and an old worker's requests and end notice never act on a
//    newer opening;
//  - a failure while opening the device after it opened (capabilities, a
//    block's allocation or preparation) releases what was made: blocks
//    unprepared and freed, device closed, worker freed unstarted;
//  - a block the device will not hand back keeps its memory until the
//    device is destroyed;
//  - a negative loop count plays once;
//  - the chunk rules of WaveFormat.h apply ("fmt " chunks longer than 18
//    bytes are skipped to their end; chunk sizes of 2^31 or more fail);
//  - the device's notices go to each opening's own queue (ThreadMessageQueue),
//    not to the worker thread's system message queue.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"
#include "platform/MainThreadCalls.h"
#include "platform/WaveDevice.h"
#include "sound/SoundPlayer.h"
#include "sound/WaveFormat.h"
#include "sound/WaveOutThread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class WaveWorkerMode { Threaded, Pumped };

struct WaveOwner {
    std::function<void(uint64_t opening)> endNotice;
    std::function<void(const std::string& text)> reportError;
};

// The source kinds of a loaded sound.
enum : int32_t { WaveSourceNone = 0, WaveSourceArchiveEntry = 2 };

class oWaveDataControl final : public SoundPlayer, private WaveWorkerHost {
public:
    oWaveDataControl(WaveOutput& output, MainThreadCalls& calls, WaveOwner owner = {},
                     WaveWorkerMode mode = WaveWorkerMode::Threaded);
    ~oWaveDataControl() override;
    oWaveDataControl(const oWaveDataControl&) = delete;
    oWaveDataControl& operator=(const oWaveDataControl&) = delete;

    // SoundPlayer.
    void Stop() override;
    int Load(ResArchive& archive, const ResCursor& cursor) override;
    void Play(int loopCount) override;
    uint32_t DurationMs() const override { return duration_; }
    std::string Problem() const override { return problem_; }
    void SetWaveVolume(uint16_t left, uint16_t right) override;

    // Copies count sample bytes from the read position; returns how many the
    // archive delivered (the rest of the destination is set to silence).
    uint32_t ReadSpan(uint8_t* destination, uint32_t count);
    // Closes the device once it has played all the data.
    void CheckEnd();
    // The owner's answer to an end notice: CheckEnd, if the opening that sent
    // it is still the current one.
    void OnEndNotice(uint64_t opening);
    // Pumped mode: handles every notice queued for the workers, in order,
    // running their requests directly. Returns how many were handled.
    int PumpWorkers();

    // The internal steps of Play, Stop and CheckEnd.
    bool OpenDevice(std::string& error);
    void FillBuffer();
    void CloseDevice();

    // State, for tests and tools.
    const WaveFormatFields& Format() const { return format_; }
    uint32_t DataLength() const { return dataLength_; }
    int32_t BufferBytes() const { return bufferBytes_; }
    int32_t FrameBytes() const { return frameBytes_; }
    uint32_t ReadPosition() const { return readPosition_; }
    uint32_t PlayedBase() const { return playedBase_; }
    int32_t NextBuffer() const { return nextBuffer_; }
    int32_t LoopCount() const { return loopCount_; }
    uint64_t DataStart() const { return dataStart_; }
    int32_t SourceKind() const { return sourceKind_; }
    bool Streaming() const { return streaming_; }
    bool DeviceOpen() const { return device_ != nullptr; }
    uint32_t LeftVolume() const { return leftVolume_; }
    uint32_t RightVolume() const { return rightVolume_; }
    uint32_t SavedDeviceVolume() const { return savedDeviceVolume_; }
    const WaveCapabilities& DeviceCaps() const { return deviceCaps_; }
    bool WorkerActive() const { return opening_ && opening_->workerActive.load(); }
    // The number of the current opening; 0 when the device is closed.
    uint64_t Opening() const { return opening_ ? opening_->number : 0; }
    // Workers that have not ended yet (threaded and pumped).
    int LiveWorkers() const;

private:
    struct OutputBlock {
        std::unique_ptr<uint8_t[]> bytes;
        WaveBlock header;
    };
    // Lets calls queued on the main thread find out that the player is gone.
    struct Anchor {
        oWaveDataControl* player;
    };

    void FillBufferFor(uint64_t opening) override;
    void CheckEndFor(uint64_t opening) override;
    void SendEndNotice(uint64_t opening) override;

    void ClearSource();
    void ReleaseOpening();
    void ReportError(const std::string& text) const;
    uint32_t DevicePosition() const;

    WaveOutput& output_;
    MainThreadCalls& calls_;
    const WaveOwner owner_;
    const WaveWorkerMode mode_;
    std::shared_ptr<Anchor> anchor_;
    // Set once: workers read it while the main thread may drop anchor_.
    const std::weak_ptr<Anchor> weakAnchor_;
    std::shared_ptr<WaveWorkerCount> workerCount_;
    std::vector<std::unique_ptr<WaveOutWorker>> pumpedWorkers_;
    uint64_t openings_ = 0;

    WaveFormatFields format_;
    int32_t nextBuffer_ = 0;
    std::unique_ptr<OutputBlock> buffers_[WaveMaximumBlocks];
    uint32_t dataLength_ = 0;
    int32_t bufferBytes_ = WaveInitialBufferBytes;
    uint32_t readPosition_ = 0;
    uint32_t playedBase_ = 0;
    int32_t frameBytes_ = 0;
    WaveCapabilities deviceCaps_;
    uint32_t leftVolume_ = 0x8000;
    uint32_t rightVolume_ = 0x8000;
    int32_t loopCount_ = 1;
    std::unique_ptr<WaveDevice> device_;
    std::shared_ptr<WaveOpening> opening_;
    uint32_t duration_ = 0;
    uint32_t savedDeviceVolume_ = 0;
    bool savedDeviceVolumeValid_ = false;
    uint64_t dataStart_ = 0;
    const ReadOnlyFile* archiveFile_ = nullptr;  // the archive's file at load time
    int32_t sourceKind_ = WaveSourceNone;
    bool streaming_ = false;
    ResArchive* archive_ = nullptr;
    ResCursor cursor_;
    bool loadFailed_ = false;
    std::string problem_;
};
