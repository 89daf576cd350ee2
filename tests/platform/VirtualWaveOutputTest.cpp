// The virtual wave output keeps time and waveOut's rules: blocks play at
// the byte rate without losing fractions of a byte, done notices come in
// order, a dry device banks no time, reset hands everything back, and
// misuse (unprepared blocks, closing while playing) is refused.

#include "platform/VirtualWaveOutput.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

WaveDeviceFormat Mono8(uint32_t rate)
{
    WaveDeviceFormat format;
    format.formatTag = 1;
    format.channels = 1;
    format.samplesPerSecond = rate;
    format.averageBytesPerSecond = rate;
    format.blockAlign = 1;
    format.bitsPerSample = 8;
    return format;
}

std::vector<uint32_t> DoneBlocks(ThreadMessageQueue& notices)
{
    std::vector<uint32_t> done;
    while (auto message = notices.TryGet())
        if (message->message == WaveNoticeDone) done.push_back(static_cast<uint32_t>(message->second));
    return done;
}

TEST(VirtualWaveOutputTest, BlocksPlayAtTheByteRateWithoutLosingFractions)
{
    VirtualWaveOutput output;
    ThreadMessageQueue notices;
    std::unique_ptr<WaveDevice> device;
    ASSERT_EQ(output.Open(Mono8(11025), notices, device), WaveDeviceStatus::Ok);
    EXPECT_EQ(notices.TryGet(), (ThreadMessage{WaveNoticeOpen, 0, 0}));
    std::vector<uint8_t> bytes(22050);
    WaveBlock blocks[2] = {{bytes.data(), 11025, 11025, 0}, {bytes.data() + 11025, 11025, 11025, 1}};
    for (WaveBlock& block : blocks) {
        ASSERT_EQ(device->Prepare(block), WaveDeviceStatus::Ok);
        ASSERT_EQ(device->Write(block), WaveDeviceStatus::Ok);
    }
    // 11.025 bytes a millisecond: 999 steps of 1 ms leave a byte and a bit.
    for (int i = 0; i < 999; ++i) output.Advance(1);
    uint32_t position = 0;
    ASSERT_EQ(device->Position(position), WaveDeviceStatus::Ok);
    EXPECT_EQ(position, 11013u);
    EXPECT_TRUE(DoneBlocks(notices).empty());
    output.Advance(1);
    EXPECT_EQ(DoneBlocks(notices), (std::vector<uint32_t>{0}));

    EXPECT_EQ(device->Close(), WaveDeviceStatus::StillPlaying);
    EXPECT_EQ(device->Unprepare(blocks[1]), WaveDeviceStatus::StillPlaying);
    EXPECT_EQ(device->Write(blocks[1]), WaveDeviceStatus::StillPlaying);

    // A paused device keeps its place; a dry one banks nothing.
    device->Pause();
    output.Advance(5000);
    ASSERT_EQ(device->Position(position), WaveDeviceStatus::Ok);
    EXPECT_EQ(position, 11025u);
    device->Restart();
    output.Advance(5000);
    EXPECT_EQ(DoneBlocks(notices), (std::vector<uint32_t>{1}));
    ASSERT_EQ(device->Write(blocks[0]), WaveDeviceStatus::Ok);
    output.Advance(999);
    EXPECT_TRUE(DoneBlocks(notices).empty()) << "the idle seconds before the write do not count";
    output.Advance(1);
    EXPECT_EQ(DoneBlocks(notices), (std::vector<uint32_t>{0}));
}

// Without history (the headless show, which runs for days of virtual time)
// writes are counted but not recorded, so nothing grows with play time.
TEST(VirtualWaveOutputTest, WithoutHistoryWritesAreCountedNotKept)
{
    VirtualWaveOutput::Settings settings;
    settings.keepHistory = false;
    VirtualWaveOutput output(settings);
    ThreadMessageQueue notices;
    std::unique_ptr<WaveDevice> device;
    ASSERT_EQ(output.Open(Mono8(8000), notices, device), WaveDeviceStatus::Ok);
    std::vector<uint8_t> bytes(800);
    WaveBlock block{bytes.data(), 800, 800, 0};
    ASSERT_EQ(device->Prepare(block), WaveDeviceStatus::Ok);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(device->Write(block), WaveDeviceStatus::Ok);
        output.Advance(100);
    }
    ASSERT_EQ(device->SetVolume(0x80008000u), WaveDeviceStatus::Ok);
    EXPECT_EQ(output.WriteCount(), 3u);
    EXPECT_TRUE(output.Writes().empty());
    EXPECT_TRUE(output.VolumeHistory().empty());
    EXPECT_EQ(output.SystemVolume(), 0x80008000u);
}

TEST(VirtualWaveOutputTest, ResetHandsBackEveryBlockInOrderAndClosingEndsTheDevice)
{
    VirtualWaveOutput output;
    ThreadMessageQueue notices;
    std::unique_ptr<WaveDevice> device;
    ASSERT_EQ(output.Open(Mono8(1000), notices, device), WaveDeviceStatus::Ok);
    notices.TryGet();
    std::vector<uint8_t> bytes(200);
    WaveBlock blocks[2] = {{bytes.data(), 100, 100, 0}, {bytes.data() + 100, 100, 100, 1}};
    EXPECT_EQ(device->Write(blocks[0]), WaveDeviceStatus::Unprepared);
    for (WaveBlock& block : blocks) {
        device->Prepare(block);
        device->Write(block);
    }
    output.Advance(50);
    ASSERT_EQ(device->Reset(), WaveDeviceStatus::Ok);
    EXPECT_EQ(DoneBlocks(notices), (std::vector<uint32_t>{0, 1}));
    uint32_t position = 1;
    device->Position(position);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(output.PreparedBlocks(), 2);
    for (WaveBlock& block : blocks) EXPECT_EQ(device->Unprepare(block), WaveDeviceStatus::Ok);
    EXPECT_EQ(device->Close(), WaveDeviceStatus::Ok);
    EXPECT_EQ(notices.TryGet(), (ThreadMessage{WaveNoticeClose, 0, 0}));
    EXPECT_EQ(device->Position(position), WaveDeviceStatus::InvalidHandle);
    EXPECT_EQ(output.OpenDevices(), 0);

    // Formats a plain device cannot play are refused.
    WaveDeviceFormat odd = Mono8(1000);
    odd.averageBytesPerSecond = 999;
    std::unique_ptr<WaveDevice> refused;
    EXPECT_EQ(output.Open(odd, notices, refused), WaveDeviceStatus::BadFormat);
    EXPECT_EQ(refused, nullptr);
}

// The formats a device plays, at the edges of each rule: the rule verify
// applies to stored sounds is the one the virtual device opens by, so that a
// sound verify passes is one the headless slide show can play.
TEST(VirtualWaveOutputTest, OpensExactlyThePlayableFormats)
{
    const auto pcm = [](uint16_t channels, uint32_t rate, uint16_t bits) {
        WaveDeviceFormat format;
        format.formatTag = 1;
        format.channels = channels;
        format.samplesPerSecond = rate;
        format.bitsPerSample = bits;
        format.blockAlign = static_cast<uint16_t>(channels * (bits / 8));
        format.averageBytesPerSecond = rate * format.blockAlign;
        return format;
    };
    const auto with = [](WaveDeviceFormat format, auto change) {
        change(format);
        return format;
    };
    struct Case {
        const char* name;
        WaveDeviceFormat format;
        WaveFormatFault fault;
    };
    const Case cases[] = {
        {"mono 8 bits", pcm(1, 8000, 8), WaveFormatFault::None},
        {"8 channels of 32 bits at 384000", pcm(8, 384000, 32), WaveFormatFault::None},
        {"stereo 24 bits at 1 per second", pcm(2, 1, 24), WaveFormatFault::None},
        {"format tag 0", with(pcm(2, 44100, 16), [](auto& f) { f.formatTag = 0; }), WaveFormatFault::NotPcm},
        {"format tag 3", with(pcm(2, 44100, 32), [](auto& f) { f.formatTag = 3; }), WaveFormatFault::NotPcm},
        {"extensible", with(pcm(2, 44100, 16), [](auto& f) { f.formatTag = 0xFFFE; }), WaveFormatFault::NotPcm},
        {"0 channels", pcm(0, 44100, 16), WaveFormatFault::Channels},
        {"9 channels", pcm(9, 44100, 16), WaveFormatFault::Channels},
        {"65535 channels", with(pcm(2, 44100, 16), [](auto& f) { f.channels = 65535; }), WaveFormatFault::Channels},
        {"0 bits", pcm(2, 44100, 0), WaveFormatFault::BitsPerSample},
        {"7 bits", pcm(2, 44100, 7), WaveFormatFault::BitsPerSample},
        {"12 bits", pcm(2, 44100, 12), WaveFormatFault::BitsPerSample},
        {"40 bits", pcm(2, 44100, 40), WaveFormatFault::BitsPerSample},
        {"rate 0", pcm(2, 0, 16), WaveFormatFault::SampleRate},
        {"rate 384001", pcm(2, 384001, 16), WaveFormatFault::SampleRate},
        {"block align 0", with(pcm(2, 44100, 16), [](auto& f) { f.blockAlign = 0; }), WaveFormatFault::BlockAlign},
        {"block align of one channel", with(pcm(2, 44100, 16), [](auto& f) { f.blockAlign = 2; }),
         WaveFormatFault::BlockAlign},
        {"byte rate of another rate", with(pcm(2, 44100, 16), [](auto& f) { f.averageBytesPerSecond = 88200; }),
         WaveFormatFault::ByteRate},
        {"byte rate 0", with(pcm(1, 8000, 8), [](auto& f) { f.averageBytesPerSecond = 0; }),
         WaveFormatFault::ByteRate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PlayableFormatFault(c.format), c.fault);
        VirtualWaveOutput output;
        ThreadMessageQueue notices;
        std::unique_ptr<WaveDevice> device;
        EXPECT_EQ(output.Open(c.format, notices, device),
                  c.fault == WaveFormatFault::None ? WaveDeviceStatus::Ok : WaveDeviceStatus::BadFormat);
    }
}

}  // namespace
