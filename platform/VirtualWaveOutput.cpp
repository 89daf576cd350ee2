#include "platform/VirtualWaveOutput.h"

#include <algorithm>
#include <array>
#include <deque>

class VirtualWaveDevice : public WaveDevice {
public:
    VirtualWaveDevice(VirtualWaveOutput& output, const WaveDeviceFormat& format, ThreadMessageQueue& notices,
                      uint64_t opening)
        : opening_(opening), output_(&output), format_(format), notices_(notices)
    {
    }

    ~VirtualWaveDevice() override
    {
        if (!output_) return;
        std::lock_guard lock(output_->mutex_);
        if (open_) {
            ResetLocked();
            CloseLocked();
        }
        auto& devices = output_->devices_;
        devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
    }

    WaveDeviceStatus Capabilities(WaveCapabilities& capabilities) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (const WaveDeviceStatus failure = output_->TakeFailure(VirtualWaveOutput::Operation::Capabilities);
            failure != WaveDeviceStatus::Ok)
            return failure;
        capabilities = {};
        capabilities.name = "Virtual wave output";
        capabilities.channels = 2;
        capabilities.formats = 0xFFF;
        capabilities.support = WaveSupportSampleAccurate;
        if (output_->settings_.volumeControl) capabilities.support |= WaveSupportVolume | WaveSupportLeftRightVolume;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Prepare(WaveBlock& block) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (block.index >= WaveMaximumBlocks || (!block.data && block.capacity > 0))
            return WaveDeviceStatus::InvalidParameter;
        if (const WaveDeviceStatus failure = output_->TakeFailure(VirtualWaveOutput::Operation::Prepare);
            failure != WaveDeviceStatus::Ok)
            return failure;
        block.prepared = true;
        prepared_[block.index] = true;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Unprepare(WaveBlock& block) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (block.index >= WaveMaximumBlocks) return WaveDeviceStatus::InvalidParameter;
        if (IsQueued(block)) return WaveDeviceStatus::StillPlaying;
        block.prepared = false;
        prepared_[block.index] = false;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Write(WaveBlock& block) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (!block.prepared) return WaveDeviceStatus::Unprepared;
        if (IsQueued(block)) return WaveDeviceStatus::StillPlaying;
        if (block.length > block.capacity) return WaveDeviceStatus::InvalidParameter;
        if (const WaveDeviceStatus failure = output_->TakeFailure(VirtualWaveOutput::Operation::Write);
            failure != WaveDeviceStatus::Ok)
            return failure;
        ++output_->writeCount_;
        if (output_->settings_.keepHistory) {
            VirtualWaveOutput::Written written;
            written.opening = opening_;
            written.block = block.index;
            written.atMs = output_->now_;
            written.length = block.length;
            if (output_->settings_.recordBytes && block.length > 0)
                written.bytes.assign(block.data, block.data + block.length);
            output_->writes_.push_back(std::move(written));
        }
        queue_.push_back({&block, block.length, 0});
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Pause() override { return SetPaused(true); }
    WaveDeviceStatus Restart() override { return SetPaused(false); }

    WaveDeviceStatus Reset() override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        ResetLocked();
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Position(uint32_t& bytes) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        bytes = position_;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus GetVolume(uint32_t& volume) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (!output_->settings_.volumeControl) return WaveDeviceStatus::NotSupported;
        volume = output_->volumeKnown_ ? output_->systemVolume_ : output_->settings_.initialVolume;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus SetVolume(uint32_t volume) override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (!output_->settings_.volumeControl) return WaveDeviceStatus::NotSupported;
        if (const WaveDeviceStatus failure = output_->TakeFailure(VirtualWaveOutput::Operation::SetVolume);
            failure != WaveDeviceStatus::Ok)
            return failure;
        output_->systemVolume_ = volume;
        output_->volumeKnown_ = true;
        if (output_->settings_.keepHistory) output_->volumeHistory_.push_back(volume);
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Close() override
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        if (!queue_.empty()) return WaveDeviceStatus::StillPlaying;
        CloseLocked();
        return WaveDeviceStatus::Ok;
    }

    // With the output's mutex held.
    void Play(uint32_t milliseconds)
    {
        if (!open_ || paused_) return;
        const uint64_t credit = carry_ + uint64_t{milliseconds} * format_.averageBytesPerSecond;
        uint64_t bytes = credit / 1000;
        carry_ = credit % 1000;
        while (!queue_.empty()) {
            Queued& head = queue_.front();
            const uint64_t remaining = head.length - head.played;
            if (remaining > bytes) {
                head.played += static_cast<uint32_t>(bytes);
                position_ += static_cast<uint32_t>(bytes);
                return;
            }
            bytes -= remaining;
            position_ += static_cast<uint32_t>(remaining);
            const uint32_t index = head.block->index;
            queue_.pop_front();
            notices_.Post({WaveNoticeDone, 0, index});
        }
        carry_ = 0;  // a dry device does not bank the time
    }

    bool open_ = true;
    uint64_t opening_;
    VirtualWaveOutput* output_;  // null once the output is gone

    int PreparedCount() const { return open_ ? int{prepared_[0]} + int{prepared_[1]} : 0; }
    uint32_t PositionLocked() const { return position_; }
    uint64_t QueuedBytes() const
    {
        uint64_t total = 0;
        for (const Queued& queued : queue_) total += queued.length - queued.played;
        return total;
    }

private:
    struct Queued {
        WaveBlock* block;
        uint32_t length;
        uint32_t played;
    };

    bool IsQueued(const WaveBlock& block) const
    {
        return std::any_of(queue_.begin(), queue_.end(), [&](const Queued& queued) { return queued.block == &block; });
    }

    WaveDeviceStatus SetPaused(bool paused)
    {
        if (!output_) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(output_->mutex_);
        if (!open_) return WaveDeviceStatus::InvalidHandle;
        paused_ = paused;
        return WaveDeviceStatus::Ok;
    }

    void ResetLocked()
    {
        while (!queue_.empty()) {
            const uint32_t index = queue_.front().block->index;
            queue_.pop_front();
            notices_.Post({WaveNoticeDone, 0, index});
        }
        position_ = 0;
        carry_ = 0;
        paused_ = false;
    }

    void CloseLocked()
    {
        open_ = false;
        notices_.Post({WaveNoticeClose, 0, 0});
    }

    WaveDeviceFormat format_;
    ThreadMessageQueue& notices_;
    std::deque<Queued> queue_;
    std::array<bool, WaveMaximumBlocks> prepared_{};
    bool paused_ = false;
    uint32_t position_ = 0;
    uint64_t carry_ = 0;
};

VirtualWaveOutput::~VirtualWaveOutput()
{
    std::lock_guard lock(mutex_);
    for (VirtualWaveDevice* device : devices_) device->output_ = nullptr;
}

WaveDeviceStatus VirtualWaveOutput::Open(const WaveDeviceFormat& format, ThreadMessageQueue& notices,
                                         std::unique_ptr<WaveDevice>& device)
{
    std::lock_guard lock(mutex_);
    if (const WaveDeviceStatus failure = TakeFailure(Operation::Open); failure != WaveDeviceStatus::Ok) return failure;
    if (settings_.pcmOnly && PlayableFormatFault(format) != WaveFormatFault::None) return WaveDeviceStatus::BadFormat;
    if (format.averageBytesPerSecond == 0) return WaveDeviceStatus::BadFormat;
    auto opened = std::make_unique<VirtualWaveDevice>(*this, format, notices, ++openings_);
    devices_.push_back(opened.get());
    notices.Post({WaveNoticeOpen, 0, 0});
    device = std::move(opened);
    return WaveDeviceStatus::Ok;
}

std::string VirtualWaveOutput::ErrorText(WaveDeviceStatus status) const
{
    return std::string("virtual wave output: ") + WaveDeviceStatusName(status);
}

void VirtualWaveOutput::Advance(uint32_t milliseconds)
{
    std::lock_guard lock(mutex_);
    now_ += milliseconds;
    for (VirtualWaveDevice* device : devices_) device->Play(milliseconds);
}

uint32_t VirtualWaveOutput::Now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualWaveOutput::FailNext(Operation operation, WaveDeviceStatus status, int count)
{
    std::lock_guard lock(mutex_);
    failures_[operation] = {0, count, status};
}

void VirtualWaveOutput::FailAfter(Operation operation, int skip, WaveDeviceStatus status)
{
    std::lock_guard lock(mutex_);
    failures_[operation] = {skip, 1, status};
}

WaveDeviceStatus VirtualWaveOutput::TakeFailure(Operation operation)
{
    const auto found = failures_.find(operation);
    if (found == failures_.end() || found->second.count == 0) return WaveDeviceStatus::Ok;
    if (found->second.skip > 0) {
        --found->second.skip;
        return WaveDeviceStatus::Ok;
    }
    --found->second.count;
    return found->second.status;
}

std::vector<VirtualWaveOutput::Written> VirtualWaveOutput::Writes() const
{
    std::lock_guard lock(mutex_);
    return writes_;
}

size_t VirtualWaveOutput::WriteCount() const
{
    std::lock_guard lock(mutex_);
    return writeCount_;
}

uint64_t VirtualWaveOutput::Openings() const
{
    std::lock_guard lock(mutex_);
    return openings_;
}

int VirtualWaveOutput::OpenDevices() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(devices_.begin(), devices_.end(), [](const VirtualWaveDevice* device) { return device->open_; }));
}

int VirtualWaveOutput::PreparedBlocks() const
{
    std::lock_guard lock(mutex_);
    int total = 0;
    for (const VirtualWaveDevice* device : devices_) total += device->PreparedCount();
    return total;
}

uint32_t VirtualWaveOutput::SystemVolume() const
{
    std::lock_guard lock(mutex_);
    return volumeKnown_ ? systemVolume_ : settings_.initialVolume;
}

std::vector<uint32_t> VirtualWaveOutput::VolumeHistory() const
{
    std::lock_guard lock(mutex_);
    return volumeHistory_;
}

uint32_t VirtualWaveOutput::CurrentPosition() const
{
    std::lock_guard lock(mutex_);
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device)
        if ((*device)->open_) return (*device)->PositionLocked();
    return 0;
}

uint64_t VirtualWaveOutput::CurrentQueuedBytes() const
{
    std::lock_guard lock(mutex_);
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device)
        if ((*device)->open_) return (*device)->QueuedBytes();
    return 0;
}
