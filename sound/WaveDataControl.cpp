#include "sound/WaveDataControl.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The silence of a format: 8-bit samples are unsigned.
uint8_t SilenceByte(const WaveFormatFields& format)
{
    return format.formatTag == 1 && format.bitsPerSample == 8 ? 0x80 : 0x00;
}

}  // namespace

oWaveDataControl::oWaveDataControl(WaveOutput& output, MainThreadCalls& calls, WaveOwner owner, WaveWorkerMode mode)
    : output_(output),
      calls_(calls),
      owner_(std::move(owner)),
      mode_(mode),
      anchor_(std::make_shared<Anchor>(Anchor{this})),
      weakAnchor_(anchor_),
      workerCount_(std::make_shared<WaveWorkerCount>())
{
}

oWaveDataControl::~oWaveDataControl()
{
    Stop();
    CloseDevice();
    // Requests of the workers that are still queued become no-ops.
    anchor_.reset();
    if (mode_ == WaveWorkerMode::Pumped) {
        for (auto& worker : pumpedWorkers_) {
            worker->Finish();
            workerCount_->Ended();
        }
        pumpedWorkers_.clear();
        return;
    }
    // A worker may be waiting for the main thread (this one): keep running
    // its calls until every worker has seen its cancel mark and ended.
    while (!workerCount_->WaitForNone(std::chrono::milliseconds(1))) calls_.WaitAndRunPending(std::chrono::milliseconds(5));
}

// ---- Load and ReadSpan

void oWaveDataControl::ClearSource()
{
    dataStart_ = 0;
    archiveFile_ = nullptr;
    sourceKind_ = WaveSourceNone;
    streaming_ = false;
    archive_ = nullptr;
}

int oWaveDataControl::Load(ResArchive& archive, const ResCursor& cursor)
{
    if (device_) {
        Stop();
        playedBase_ = 0;
    }
    ClearSource();
    dataLength_ = 0;
    readPosition_ = 0;
    CloseDevice();
    nextBuffer_ = 0;
    playedBase_ = 0;

    ResCursor walk = cursor;
    const WaveInfo info = ReadWave(archive, walk, format_);
    if (info.status != WaveStatusOk) {
        // What the walk read of the format stays, as from any load; the rest
        // is as if nothing had been loaded.
        format_ = info.format;
        duration_ = 0;
        loadFailed_ = true;
        problem_ = WaveFailureText(info.failure);
        return info.status;
    }
    loadFailed_ = false;
    problem_.clear();
    format_ = info.format;
    if (info.dataFound) {
        dataLength_ = info.dataLength;
        dataStart_ = info.dataStart;
        archiveFile_ = archive.file.get();
        archive_ = &archive;
        cursor_ = walk;
        sourceKind_ = WaveSourceArchiveEntry;
        streaming_ = true;
    }
    frameBytes_ = info.frameBytes;
    bufferBytes_ = info.bufferBytes;
    duration_ = info.durationMs;
    playedBase_ = 0;
    loopCount_ = 1;
    return WaveStatusOk;
}

uint32_t oWaveDataControl::ReadSpan(uint8_t* destination, uint32_t count)
{
    uint32_t delivered = 0;
    if (sourceKind_ == WaveSourceArchiveEntry && streaming_ && archive_ && archive_->file.get() == archiveFile_ &&
        archiveFile_ != nullptr) {
        const int64_t position = static_cast<int64_t>(dataStart_ + readPosition_);
        if (ResCursorSeek(*archive_, cursor_, position) >= 0) {
            const int64_t got = ResCursorRead(*archive_, cursor_, destination, count);
            if (got > 0) delivered = static_cast<uint32_t>(std::min<int64_t>(got, count));
        }
    }
    if (delivered < count) std::memset(destination + delivered, SilenceByte(format_), count - delivered);
    return delivered;
}

// ---- Output

uint32_t oWaveDataControl::DevicePosition() const
{
    uint32_t position = 0;
    if (device_ && device_->Position(position) != WaveDeviceStatus::Ok) position = 0;
    return position;
}

void oWaveDataControl::ReportError(const std::string& text) const
{
    if (owner_.reportError) owner_.reportError(text);
}

bool oWaveDataControl::OpenDevice(std::string& error)
{
    if (device_) return true;
    output_.PurgeOtherSounds();

    auto opening = std::make_shared<WaveOpening>(++openings_);
    // The worker exists (unstarted) before the device can post to its queue.
    WaveWorkerHost& host = *this;
    TWaveOutThread* thread = nullptr;
    std::unique_ptr<WaveOutWorker> pumped;
    if (mode_ == WaveWorkerMode::Threaded)
        thread = new TWaveOutThread(calls_, opening, host, workerCount_);
    else
        pumped = std::make_unique<WaveOutWorker>(opening, host);

    std::unique_ptr<WaveDevice> device;
    std::unique_ptr<OutputBlock> blocks[WaveMaximumBlocks];
    // Undoes everything made so far; the device first hands back what it holds.
    const auto fail = [&](WaveDeviceStatus status) {
        error = output_.ErrorText(status);
        if (device) {
            device->Reset();
            for (auto& block : blocks)
                if (block && block->header.prepared) device->Unprepare(block->header);
            device->Close();
            device.reset();
        }
        for (auto& block : blocks) block.reset();
        if (thread) thread->Terminate();  // frees it: it never ran
        return false;
    };

    WaveDeviceStatus status = output_.Open(format_, opening->notices, device);
    if (status != WaveDeviceStatus::Ok || !device) return fail(status == WaveDeviceStatus::Ok ? WaveDeviceStatus::Error : status);
    WaveCapabilities capabilities;
    status = device->Capabilities(capabilities);
    if (status != WaveDeviceStatus::Ok) return fail(status);
    for (uint32_t index = 0; index < WaveMaximumBlocks; ++index) {
        auto block = std::make_unique<OutputBlock>();
        const uint32_t capacity = bufferBytes_ > 0 ? static_cast<uint32_t>(bufferBytes_) : 0;
        block->bytes.reset(new (std::nothrow) uint8_t[std::max<uint32_t>(capacity, 1)]);
        if (!block->bytes) return fail(WaveDeviceStatus::NoMemory);
        block->header.data = block->bytes.get();
        block->header.capacity = capacity;
        block->header.length = capacity;
        block->header.index = index;
        blocks[index] = std::move(block);
        status = device->Prepare(blocks[index]->header);
        if (status != WaveDeviceStatus::Ok) return fail(status);
    }

    device_ = std::move(device);
    opening_ = std::move(opening);
    deviceCaps_ = capabilities;
    for (uint32_t index = 0; index < WaveMaximumBlocks; ++index) buffers_[index] = std::move(blocks[index]);
    nextBuffer_ = 0;
    uint32_t volume = 0;
    savedDeviceVolumeValid_ = device_->GetVolume(volume) == WaveDeviceStatus::Ok;
    if (savedDeviceVolumeValid_) savedDeviceVolume_ = volume;
    SetWaveVolume(static_cast<uint16_t>(leftVolume_), static_cast<uint16_t>(rightVolume_));
    workerCount_->Started();
    if (thread)
        thread->Resume();
    else
        pumpedWorkers_.push_back(std::move(pumped));
    opening_->workerActive = true;
    return true;
}

void oWaveDataControl::Play(int loopCount)
{
    if (device_) return;
    // A load that failed left nothing to play (the device would refuse the
    // format or play nothing); the owner still calls Play, as always.
    if (loadFailed_) return;
    std::string error;
    if (!OpenDevice(error)) {
        problem_ = error;
        ReportError(error);
        return;
    }
    problem_.clear();
    // Loop counts below 0 mean nothing to a caller; they play once.
    loopCount_ = loopCount < 0 ? 1 : loopCount;
    playedBase_ += DevicePosition();
    readPosition_ = playedBase_;
    device_->Pause();
    FillBuffer();
    FillBuffer();
    nextBuffer_ = 0;
    device_->Restart();
}

void oWaveDataControl::FillBuffer()
{
    if (!device_) return;
    OutputBlock& block = *buffers_[nextBuffer_];
    nextBuffer_ = 1 - nextBuffer_;

    // The read position may stand past the end only after an odd played base.
    if (readPosition_ >= dataLength_) {
        opening_->allHandedOver = true;
        return;
    }
    uint32_t count = static_cast<uint32_t>(bufferBytes_);
    bool rewind = false;
    if (uint64_t{readPosition_} + static_cast<uint32_t>(bufferBytes_) >= dataLength_) {
        count = dataLength_ - readPosition_;
        if (loopCount_ == 1) {
            loopCount_ = -1;
        } else {
            rewind = true;
            if (loopCount_ != 0) --loopCount_;
        }
    }
    ReadSpan(block.header.data, count);
    readPosition_ += count;
    if (rewind) readPosition_ = 0;

    block.header.length = count;
    opening_->cancelMarks[block.header.index] = false;
    opening_->allHandedOver = readPosition_ >= dataLength_;
    device_->Write(block.header);
    opening_->workerActive = true;
}

void oWaveDataControl::Stop()
{
    if (!device_) return;
    device_->Pause();
    for (auto& mark : opening_->cancelMarks) mark = true;
    device_->Reset();
    CloseDevice();
    playedBase_ = 0;
}

void oWaveDataControl::ReleaseOpening()
{
    // A block the device would not hand back (after a failed reset) keeps
    // its memory until the device is gone: the driver may still read it.
    std::unique_ptr<OutputBlock> heldByDevice[WaveMaximumBlocks];
    for (size_t i = 0; i < WaveMaximumBlocks; ++i) {
        std::unique_ptr<OutputBlock>& block = buffers_[i];
        if (block && block->header.prepared && device_->Unprepare(block->header) != WaveDeviceStatus::Ok)
            heldByDevice[i] = std::move(block);
        block.reset();
    }
    device_->Close();
    device_.reset();
    opening_.reset();  // the worker keeps its own reference while it runs
}

void oWaveDataControl::CloseDevice()
{
    if (!device_) return;
    ClearSource();
    if (savedDeviceVolumeValid_) device_->SetVolume(savedDeviceVolume_);
    for (auto& mark : opening_->cancelMarks) mark = true;
    device_->Reset();
    ReleaseOpening();
    if (readPosition_ >= dataLength_) playedBase_ = 0;
}

void oWaveDataControl::CheckEnd()
{
    if (!device_) return;
    if (uint64_t{playedBase_} + DevicePosition() >= dataLength_) {
        CloseDevice();
        playedBase_ = 0;
        readPosition_ = 0;
    }
}

void oWaveDataControl::OnEndNotice(uint64_t opening)
{
    if (opening_ && opening_->number == opening) CheckEnd();
}

void oWaveDataControl::SetWaveVolume(uint16_t left, uint16_t right)
{
    leftVolume_ = left;
    rightVolume_ = right;
    if (device_ && (deviceCaps_.support & WaveSupportVolume))
        device_->SetVolume(uint32_t{left} | uint32_t{right} << 16);
}

// ---- The workers' requests

void oWaveDataControl::FillBufferFor(uint64_t opening)
{
    if (opening_ && opening_->number == opening) FillBuffer();
}

void oWaveDataControl::CheckEndFor(uint64_t opening)
{
    if (opening_ && opening_->number == opening) CheckEnd();
}

void oWaveDataControl::SendEndNotice(uint64_t opening)
{
    if (owner_.endNotice) {
        owner_.endNotice(opening);
        return;
    }
    calls_.Post([anchor = weakAnchor_, opening] {
        if (const auto alive = anchor.lock()) alive->player->OnEndNotice(opening);
    });
}

int oWaveDataControl::PumpWorkers()
{
    int handled = 0;
    const WaveOutWorker::Synchronizer direct = [](std::function<void()> call) {
        call();
        return true;
    };
    // A request may open a new device and add a worker: walk by index.
    for (size_t index = 0; index < pumpedWorkers_.size();) {
        WaveOutWorker& worker = *pumpedWorkers_[index];
        bool running = true;
        while (running) {
            const std::optional<ThreadMessage> message = worker.Opening().notices.TryGet();
            if (!message) break;
            ++handled;
            running = worker.Handle(*message, direct);
        }
        if (running) {
            ++index;
            continue;
        }
        pumpedWorkers_[index]->Finish();
        pumpedWorkers_.erase(pumpedWorkers_.begin() + static_cast<std::ptrdiff_t>(index));
        workerCount_->Ended();
    }
    return handled;
}

int oWaveDataControl::LiveWorkers() const
{
    return workerCount_->Live();
}
