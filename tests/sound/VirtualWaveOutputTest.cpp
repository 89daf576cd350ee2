// The virtual wave output keeps time and waveOut's rules: blocks play at
// the byte rate without losing fractions of a byte, done notices come in
// order, a dry device banks no time, reset hands everything back, and
// misuse (unprepared blocks, closing while playing) is refused.

#include "sound/VirtualWaveOutput.h"

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

}  // namespace
