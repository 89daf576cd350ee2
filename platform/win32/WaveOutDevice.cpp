// The wave device on waveOut, through the wave mapper.
//
// Notices come from the driver's callback (CALLBACK_FUNCTION) and go to the
// caller's ThreadMessageQueue: posting there only takes a short lock of our
// own and calls no waveOut function, which is what a driver callback may do.
// The WAVEHDR records live in the device object, one per block index, from
// the opening until the device is destroyed (after waveOutClose, so no
// callback can still read them); the done notice carries the index from the
// header's user value.
#include "platform/win32/WaveOutDevice.h"
#include "platform/win32/WideText.h"

#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <cstring>

namespace {

WaveDeviceStatus StatusOf(MMRESULT result)
{
    switch (result) {
    case MMSYSERR_NOERROR: return WaveDeviceStatus::Ok;
    case MMSYSERR_BADDEVICEID: return WaveDeviceStatus::BadDevice;
    case MMSYSERR_ALLOCATED: return WaveDeviceStatus::Allocated;
    case MMSYSERR_INVALHANDLE: return WaveDeviceStatus::InvalidHandle;
    case MMSYSERR_NODRIVER: return WaveDeviceStatus::NoDriver;
    case MMSYSERR_NOMEM: return WaveDeviceStatus::NoMemory;
    case MMSYSERR_NOTSUPPORTED: return WaveDeviceStatus::NotSupported;
    case MMSYSERR_INVALPARAM: return WaveDeviceStatus::InvalidParameter;
    case WAVERR_BADFORMAT: return WaveDeviceStatus::BadFormat;
    case WAVERR_STILLPLAYING: return WaveDeviceStatus::StillPlaying;
    case WAVERR_UNPREPARED: return WaveDeviceStatus::Unprepared;
    default: return WaveDeviceStatus::Error;
    }
}

MMRESULT CodeOf(WaveDeviceStatus status)
{
    switch (status) {
    case WaveDeviceStatus::Ok: return MMSYSERR_NOERROR;
    case WaveDeviceStatus::Error: return MMSYSERR_ERROR;
    case WaveDeviceStatus::BadDevice: return MMSYSERR_BADDEVICEID;
    case WaveDeviceStatus::Allocated: return MMSYSERR_ALLOCATED;
    case WaveDeviceStatus::InvalidHandle: return MMSYSERR_INVALHANDLE;
    case WaveDeviceStatus::NoDriver: return MMSYSERR_NODRIVER;
    case WaveDeviceStatus::NoMemory: return MMSYSERR_NOMEM;
    case WaveDeviceStatus::NotSupported: return MMSYSERR_NOTSUPPORTED;
    case WaveDeviceStatus::InvalidParameter: return MMSYSERR_INVALPARAM;
    case WaveDeviceStatus::BadFormat: return WAVERR_BADFORMAT;
    case WaveDeviceStatus::StillPlaying: return WAVERR_STILLPLAYING;
    case WaveDeviceStatus::Unprepared: return WAVERR_UNPREPARED;
    }
    return MMSYSERR_ERROR;
}

void CALLBACK NoticeCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR first, DWORD_PTR)
{
    auto* notices = reinterpret_cast<ThreadMessageQueue*>(instance);
    switch (message) {
    case WOM_OPEN: notices->Post({WaveNoticeOpen, 0, 0}); break;
    case WOM_CLOSE: notices->Post({WaveNoticeClose, 0, 0}); break;
    case WOM_DONE: {
        const auto* header = reinterpret_cast<const WAVEHDR*>(first);
        notices->Post({WaveNoticeDone, 0, static_cast<uintptr_t>(header->dwUser)});
        break;
    }
    default: break;
    }
}

class WaveOutDevice : public WaveDevice {
public:
    explicit WaveOutDevice(HWAVEOUT handle) : handle_(handle) {}

    ~WaveOutDevice() override
    {
        if (!handle_) return;
        waveOutReset(handle_);
        for (WAVEHDR& header : headers_)
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(handle_, &header, sizeof header);
        waveOutClose(handle_);
    }

    WaveDeviceStatus Capabilities(WaveCapabilities& capabilities) override
    {
        WAVEOUTCAPSA caps{};
        // The open handle serves as the device id.
        const MMRESULT result = waveOutGetDevCapsA(reinterpret_cast<UINT_PTR>(handle_), &caps, sizeof caps);
        if (result != MMSYSERR_NOERROR) return StatusOf(result);
        capabilities.manufacturer = caps.wMid;
        capabilities.product = caps.wPid;
        capabilities.driverVersion = caps.vDriverVersion;
        capabilities.name.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        capabilities.formats = caps.dwFormats;
        capabilities.channels = caps.wChannels;
        capabilities.support = caps.dwSupport;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus Prepare(WaveBlock& block) override
    {
        if (block.index >= WaveMaximumBlocks) return WaveDeviceStatus::InvalidParameter;
        WAVEHDR& header = headers_[block.index];
        if (header.dwFlags & WHDR_PREPARED) return WaveDeviceStatus::InvalidParameter;
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(block.data);
        header.dwBufferLength = block.capacity;
        header.dwUser = block.index;
        const MMRESULT result = waveOutPrepareHeader(handle_, &header, sizeof header);
        block.prepared = result == MMSYSERR_NOERROR;
        return StatusOf(result);
    }

    WaveDeviceStatus Unprepare(WaveBlock& block) override
    {
        if (block.index >= WaveMaximumBlocks) return WaveDeviceStatus::InvalidParameter;
        WAVEHDR& header = headers_[block.index];
        // The length written last is not the prepared one.
        header.dwBufferLength = block.capacity;
        const MMRESULT result = waveOutUnprepareHeader(handle_, &header, sizeof header);
        if (result == MMSYSERR_NOERROR) block.prepared = false;
        return StatusOf(result);
    }

    WaveDeviceStatus Write(WaveBlock& block) override
    {
        if (block.index >= WaveMaximumBlocks || block.length > block.capacity) return WaveDeviceStatus::InvalidParameter;
        WAVEHDR& header = headers_[block.index];
        header.dwBufferLength = block.length;
        header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        return StatusOf(waveOutWrite(handle_, &header, sizeof header));
    }

    WaveDeviceStatus Pause() override { return StatusOf(waveOutPause(handle_)); }
    WaveDeviceStatus Restart() override { return StatusOf(waveOutRestart(handle_)); }
    WaveDeviceStatus Reset() override { return StatusOf(waveOutReset(handle_)); }

    WaveDeviceStatus Position(uint32_t& bytes) override
    {
        MMTIME time{};
        time.wType = TIME_BYTES;
        const MMRESULT result = waveOutGetPosition(handle_, &time, sizeof time);
        if (result != MMSYSERR_NOERROR) return StatusOf(result);
        // A driver may answer in another format than asked; only bytes are used.
        if (time.wType != TIME_BYTES) return WaveDeviceStatus::NotSupported;
        bytes = time.u.cb;
        return WaveDeviceStatus::Ok;
    }

    WaveDeviceStatus GetVolume(uint32_t& volume) override
    {
        DWORD value = 0;
        const MMRESULT result = waveOutGetVolume(handle_, &value);
        if (result == MMSYSERR_NOERROR) volume = value;
        return StatusOf(result);
    }

    WaveDeviceStatus SetVolume(uint32_t volume) override { return StatusOf(waveOutSetVolume(handle_, volume)); }

    WaveDeviceStatus Close() override
    {
        const MMRESULT result = waveOutClose(handle_);
        if (result == MMSYSERR_NOERROR) handle_ = nullptr;
        return StatusOf(result);
    }

private:
    HWAVEOUT handle_;
    std::array<WAVEHDR, WaveMaximumBlocks> headers_{};
};

class WaveOutOutput : public WaveOutput {
public:
    WaveDeviceStatus Open(const WaveDeviceFormat& format, ThreadMessageQueue& notices,
                          std::unique_ptr<WaveDevice>& device) override
    {
        WAVEFORMATEX wave{};
        wave.wFormatTag = format.formatTag;
        wave.nChannels = format.channels;
        wave.nSamplesPerSec = format.samplesPerSecond;
        wave.nAvgBytesPerSec = format.averageBytesPerSecond;
        wave.nBlockAlign = format.blockAlign;
        wave.wBitsPerSample = format.bitsPerSample;
        wave.cbSize = format.extraBytes;
        HWAVEOUT handle = nullptr;
        const MMRESULT result = waveOutOpen(&handle, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(&NoticeCallback),
                                            reinterpret_cast<DWORD_PTR>(&notices), CALLBACK_FUNCTION);
        if (result != MMSYSERR_NOERROR) return StatusOf(result);
        device = std::make_unique<WaveOutDevice>(handle);
        return WaveDeviceStatus::Ok;
    }

    // The system's text in UTF-8, as every text inside the program is: the
    // ANSI form would be in the user's code page (Shift-JIS on a Japanese
    // system), which the message box would then show garbled.
    std::string ErrorText(WaveDeviceStatus status) const override
    {
        wchar_t text[256] = {};
        if (waveOutGetErrorTextW(CodeOf(status), text, 255) != MMSYSERR_NOERROR) return WaveDeviceStatusName(status);
        text[255] = L'\0';
        return Utf8Of(text);
    }

    void PurgeOtherSounds() override { PlaySoundA(nullptr, nullptr, SND_PURGE); }
};

}  // namespace

std::unique_ptr<WaveOutput> MakeSystemWaveOutput()
{
    return std::make_unique<WaveOutOutput>();
}
