// The wave device on SDL audio.
//
// The callback runs on SDL's audio thread under SDL's device lock; the
// device's own state (queue, position, volume) is guarded by mutex_, which
// the callback takes too. The API side never calls an SDL function while it
// holds mutex_: SDL_PauseAudioDevice and SDL_CloseAudioDevice wait for SDL's
// device lock, which the callback holds while it waits for mutex_.
#include "platform/sdl/SdlWaveOutput.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace {

// The highest rate a stored sound may have; it also keeps the rate within
// SDL's int.
constexpr uint32_t MaximumRate = 384000;
constexpr uint32_t FullVolume = 0xFFFFFFFFu;

bool Playable(const WaveDeviceFormat& format)
{
    const bool bitsOk = format.bitsPerSample == 8 || format.bitsPerSample == 16;
    return format.formatTag == 1 && (format.channels == 1 || format.channels == 2) && bitsOk &&
           format.samplesPerSecond > 0 && format.samplesPerSecond <= MaximumRate &&
           format.blockAlign == format.channels * (format.bitsPerSample / 8);
}

// Frames per device buffer: the smallest power of two of at least 40 ms.
// The position and the done notices run ahead of what is heard by one
// buffer, so it is kept short; shorter still would risk gaps on a busy
// machine.
Uint16 BufferFrames(uint32_t rate)
{
    uint32_t frames = 256;
    while (frames < rate / 25 && frames < 8192) frames *= 2;
    return static_cast<Uint16>(frames);
}

// Holds SDL's audio subsystem for the output and every device it opened: a
// device may outlive its output.
struct AudioSubsystem {
    AudioSubsystem() = default;
    AudioSubsystem(const AudioSubsystem&) = delete;
    AudioSubsystem& operator=(const AudioSubsystem&) = delete;
    ~AudioSubsystem() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
};

class SdlWaveDevice final : public WaveDevice {
public:
    SdlWaveDevice(const WaveDeviceFormat& format, ThreadMessageQueue& notices, std::shared_ptr<AudioSubsystem> audio)
        : audio_(std::move(audio)), format_(format), notices_(notices)
    {
    }

    ~SdlWaveDevice() override
    {
        if (id_ == 0) return;
        Reset();
        Close();
    }

    // SDL opens its devices paused, so no callback runs before id_ is set.
    void Start(SDL_AudioDeviceID id)
    {
        id_ = id;
        SDL_PauseAudioDevice(id_, 0);
    }

    static void SDLCALL Callback(void* device, Uint8* stream, int length)
    {
        if (length > 0) static_cast<SdlWaveDevice*>(device)->Fill(stream, static_cast<uint32_t>(length));
    }

    WaveDeviceStatus Capabilities(WaveCapabilities& capabilities) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        capabilities = {};
        capabilities.name = "SDL audio";
        // Mono and stereo, 8 and 16 bits at 11,025, 22,050 and 44,100 Hz,
        // as the system numbers its standard formats (SDL plays any rate).
        capabilities.formats = 0xFFF;
        capabilities.channels = 2;
        capabilities.support = WaveSupportVolume | WaveSupportLeftRightVolume;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Prepare(WaveBlock& block) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        if (block.index >= WaveMaximumBlocks || (!block.data && block.capacity > 0))
            return WaveDeviceStatus::InvalidParameter;
        std::lock_guard lock(mutex_);
        // One block per index, as waveOut keeps one header per index: the
        // queue then never holds more than WaveMaximumBlocks.
        if (prepared_[block.index]) return WaveDeviceStatus::InvalidParameter;
        prepared_[block.index] = &block;
        block.prepared = true;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Unprepare(WaveBlock& block) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        if (block.index >= WaveMaximumBlocks) return WaveDeviceStatus::InvalidParameter;
        std::lock_guard lock(mutex_);
        if (IsQueued(block)) return WaveDeviceStatus::StillPlaying;
        if (prepared_[block.index] == &block) prepared_[block.index] = nullptr;
        block.prepared = false;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Write(WaveBlock& block) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        if (block.index >= WaveMaximumBlocks) return WaveDeviceStatus::InvalidParameter;
        std::lock_guard lock(mutex_);
        if (!block.prepared || prepared_[block.index] != &block) return WaveDeviceStatus::Unprepared;
        if (block.length > block.capacity) return WaveDeviceStatus::InvalidParameter;
        if (IsQueued(block)) return WaveDeviceStatus::StillPlaying;
        // The callback reads the data and length taken here, not the block,
        // which the caller's thread owns.
        queue_[queued_++] = {&block, block.data, block.length, 0};
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Pause() override { return SetPaused(true); }
    WaveDeviceStatus Restart() override { return SetPaused(false); }

    WaveDeviceStatus Reset() override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        {
            // Once the lock is let go the callback has no block to read.
            std::lock_guard lock(mutex_);
            while (queued_ > 0) PopFront();
            position_ = 0;
        }
        // Like waveOutReset, a reset device plays what is written next.
        SDL_PauseAudioDevice(id_, 0);
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Position(uint32_t& bytes) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(mutex_);
        bytes = position_;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus GetVolume(uint32_t& volume) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(mutex_);
        volume = volume_;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus SetVolume(uint32_t volume) override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        std::lock_guard lock(mutex_);
        volume_ = volume;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Close() override
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        {
            std::lock_guard lock(mutex_);
            if (queued_ > 0) return WaveDeviceStatus::StillPlaying;
        }
        // Waits for the audio thread to end: no callback runs afterwards.
        SDL_CloseAudioDevice(id_);
        id_ = 0;
        notices_.Post({WaveNoticeClose, 0, 0});
        return WaveDeviceStatus::Ok;
    }

private:
    struct Queued {
        const WaveBlock* block = nullptr;
        const uint8_t* data = nullptr;
        uint32_t length = 0;
        uint32_t played = 0;
    };

    WaveDeviceStatus SetPaused(bool paused)
    {
        if (id_ == 0) return WaveDeviceStatus::InvalidHandle;
        SDL_PauseAudioDevice(id_, paused ? 1 : 0);
        return WaveDeviceStatus::Ok;
    }

    // With mutex_ held.
    bool IsQueued(const WaveBlock& block) const
    {
        return std::any_of(queue_.begin(), queue_.begin() + queued_, [&](const Queued& q) { return q.block == &block; });
    }

    // With mutex_ held: hands the oldest block back. A fixed queue, so that
    // the audio thread frees no memory.
    void PopFront()
    {
        const uint32_t index = queue_[0].block->index;
        std::move(queue_.begin() + 1, queue_.begin() + queued_, queue_.begin());
        --queued_;
        notices_.Post({WaveNoticeDone, 0, index});
    }

    // The audio thread: the queued blocks' bytes in order, then silence.
    void Fill(uint8_t* stream, uint32_t length)
    {
        std::lock_guard lock(mutex_);
        uint32_t filled = 0;
        while (filled < length && queued_ > 0) {
            Queued& head = queue_[0];
            const uint32_t count = std::min(length - filled, head.length - head.played);
            if (count > 0) std::memcpy(stream + filled, head.data + head.played, count);
            filled += count;
            head.played += count;
            position_ += count;
            if (head.played == head.length) PopFront();
        }
        std::memset(stream + filled, format_.bitsPerSample == 8 ? 0x80 : 0, length - filled);
        // Scaled over the whole buffer, which holds whole frames: a sample
        // split between two blocks is whole here. Silence stays silence.
        if (volume_ != FullVolume) ApplyVolume(stream, length);
    }

    // With mutex_ held. Mono takes the left volume.
    void ApplyVolume(uint8_t* bytes, uint32_t length) const
    {
        const int32_t gains[2] = {static_cast<int32_t>(volume_ & 0xFFFF), static_cast<int32_t>(volume_ >> 16)};
        const uint32_t channels = format_.channels;
        if (format_.bitsPerSample == 8) {
            for (uint32_t i = 0; i < length; ++i)
                bytes[i] = static_cast<uint8_t>(128 + (bytes[i] - 128) * gains[i % channels] / 0xFFFF);
            return;
        }
        for (uint32_t i = 0; i + 1 < length; i += 2) {
            const int32_t sample = static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8);
            const int32_t scaled = sample * gains[(i / 2) % channels] / 0xFFFF;
            bytes[i] = static_cast<uint8_t>(scaled & 0xFF);
            bytes[i + 1] = static_cast<uint8_t>((scaled >> 8) & 0xFF);
        }
    }

    const std::shared_ptr<AudioSubsystem> audio_;
    const WaveDeviceFormat format_;
    ThreadMessageQueue& notices_;
    SDL_AudioDeviceID id_ = 0;  // 0 once closed

    std::mutex mutex_;
    std::array<const WaveBlock*, WaveMaximumBlocks> prepared_{};
    std::array<Queued, WaveMaximumBlocks> queue_{};
    size_t queued_ = 0;
    uint32_t position_ = 0;
    uint32_t volume_ = FullVolume;
};

// Used from one thread (the player's), as the player opens its devices.
class SdlWaveOutput final : public WaveOutput {
public:
    WaveDeviceStatus Open(const WaveDeviceFormat& format, ThreadMessageQueue& notices,
                          std::unique_ptr<WaveDevice>& device) override
    {
        if (!Playable(format)) return WaveDeviceStatus::BadFormat;
        // Initialised on the first opening rather than at start-up: a show
        // without sounds never touches the audio system.
        if (!audio_) {
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Failed(WaveDeviceStatus::NoDriver);
            audio_ = std::make_shared<AudioSubsystem>();
        }
        auto opened = std::make_unique<SdlWaveDevice>(format, notices, audio_);
        SDL_AudioSpec wanted{};
        wanted.freq = static_cast<int>(format.samplesPerSecond);
        wanted.format = format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        wanted.channels = static_cast<Uint8>(format.channels);
        wanted.samples = BufferFrames(format.samplesPerSecond);
        wanted.callback = &SdlWaveDevice::Callback;
        wanted.userdata = opened.get();
        SDL_AudioSpec obtained{};
        // No changes allowed: where the hardware differs SDL converts behind
        // the callback, which always sees the sound's own format.
        const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (id == 0) return Failed(WaveDeviceStatus::BadDevice);
        opened->Start(id);
        notices.Post({WaveNoticeOpen, 0, 0});
        device = std::move(opened);
        return WaveDeviceStatus::Ok;
    }

    std::string ErrorText(WaveDeviceStatus status) const override
    {
        if (status == failure_ && !failureText_.empty()) return failureText_;
        return WaveDeviceStatusName(status);
    }

private:
    // SDL's text is kept now: any later SDL call may replace it.
    WaveDeviceStatus Failed(WaveDeviceStatus status)
    {
        failure_ = status;
        failureText_.assign(SDL_GetError());
        if (failureText_.size() > 255) failureText_.resize(255);
        return status;
    }

    std::shared_ptr<AudioSubsystem> audio_;
    WaveDeviceStatus failure_ = WaveDeviceStatus::Ok;
    std::string failureText_;
};

}  // namespace

std::unique_ptr<WaveOutput> MakeSdlWaveOutput()
{
    return std::make_unique<SdlWaveOutput>();
}
