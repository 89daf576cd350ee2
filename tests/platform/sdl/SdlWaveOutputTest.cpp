// The SDL wave output, played through SDL's disk driver, which writes what
// the device is given to a file at about real time: the blocks come back in
// order and reach the device unchanged at full volume and scaled per channel
// otherwise, misuse is refused, reset and destruction hand every block back,
// and failures to open carry SDL's own text.
#include "platform/sdl/SdlWaveOutput.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <optional>
#include <string>
#include <vector>
#include <unistd.h>

// Notices in failure messages by name and block.
static void PrintTo(const ThreadMessage& message, std::ostream* out)
{
    switch (message.message) {
    case WaveNoticeOpen: *out << "open"; break;
    case WaveNoticeClose: *out << "close"; break;
    case WaveNoticeDone: *out << "done " << message.second; break;
    default: *out << "message " << message.message; break;
    }
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: a block of a tenth of a second plays in well under a second.
constexpr auto NoticeTimeout = 5s;

WaveDeviceFormat Pcm(uint16_t channels, uint32_t rate, uint16_t bits)
{
    WaveDeviceFormat format;
    format.formatTag = 1;
    format.channels = channels;
    format.samplesPerSecond = rate;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.averageBytesPerSecond = rate * format.blockAlign;
    return format;
}

// 16-bit samples as the device takes them, little-endian.
std::vector<uint8_t> Bytes16(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> bytes;
    for (const int16_t sample : samples) {
        bytes.push_back(static_cast<uint8_t>(sample & 0xFF));
        bytes.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
    }
    return bytes;
}

// Samples that are never silence and differ from one frame to the next.
std::vector<int16_t> Ramp16(size_t count, int16_t start, int16_t step)
{
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) {
        const int magnitude = start + static_cast<int>(i % 4000) * step;
        samples[i] = static_cast<int16_t>(i % 2 == 0 ? magnitude : -magnitude);
    }
    return samples;
}

std::vector<uint8_t> Ramp8(size_t count)
{
    std::vector<uint8_t> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint8_t>(i % 2 == 0 ? 160 + i % 80 : 100 - i % 80);
    return samples;
}

class SdlWaveOutputTest : public testing::Test {
protected:
    SdlWaveOutputTest()
    {
        static int counter = 0;
        folder_ = fs::temp_directory_path() /
                  ("kamishibai-sdl-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        UseFile("audio.raw");
    }
    ~SdlWaveOutputTest() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void SetUp() override
    {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            GTEST_SKIP() << "SDL has no disk audio driver here: " << SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    // The file the next device opened writes to.
    void UseFile(const std::string& name)
    {
        file_ = folder_ / name;
        ::setenv("SDL_DISKAUDIOFILE", file_.c_str(), 1);
    }

    std::vector<uint8_t> FileBytes() const
    {
        std::ifstream file(file_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // Opens a device and takes its open notice.
    WaveDeviceStatus Open(WaveOutput& output, const WaveDeviceFormat& format, std::unique_ptr<WaveDevice>& device)
    {
        const WaveDeviceStatus status = output.Open(format, notices_, device);
        if (status == WaveDeviceStatus::Ok) {
            EXPECT_EQ(notices_.TryGet(), (ThreadMessage{WaveNoticeOpen, 0, 0}));
        }
        return status;
    }

    std::optional<ThreadMessage> NextNotice() { return notices_.Get(NoticeTimeout); }
    static ThreadMessage Done(uint32_t index) { return {WaveNoticeDone, 0, index}; }

    fs::path folder_;
    fs::path file_;
    ThreadMessageQueue notices_;
};

TEST_F(SdlWaveOutputTest, BlocksComeBackInOrderAndReachTheDeviceUnchanged)
{
    const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
    std::unique_ptr<WaveDevice> device;
    ASSERT_EQ(Open(*output, Pcm(2, 22050, 16), device), WaveDeviceStatus::Ok);

    // A tenth of a second each; 4,410 frames in all fill no whole number of
    // device buffers, so silence counted into the position would show.
    std::vector<uint8_t> first = Bytes16(Ramp16(2 * 2205, 1000, 3));
    std::vector<uint8_t> second = Bytes16(Ramp16(2 * 2205, 20000, 2));
    WaveBlock blocks[2] = {{first.data(), 8820, 8820, 0}, {second.data(), 8820, 8820, 1}};
    for (WaveBlock& block : blocks) {
        ASSERT_EQ(device->Prepare(block), WaveDeviceStatus::Ok);
        ASSERT_EQ(device->Write(block), WaveDeviceStatus::Ok);
    }
    EXPECT_EQ(NextNotice(), Done(0));
    EXPECT_EQ(NextNotice(), Done(1));
    uint32_t position = 0;
    ASSERT_EQ(device->Position(position), WaveDeviceStatus::Ok);
    EXPECT_EQ(position, 17640u);

    for (WaveBlock& block : blocks) EXPECT_EQ(device->Unprepare(block), WaveDeviceStatus::Ok);
    ASSERT_EQ(device->Close(), WaveDeviceStatus::Ok);
    EXPECT_EQ(notices_.TryGet(), (ThreadMessage{WaveNoticeClose, 0, 0}));
    EXPECT_EQ(device->Position(position), WaveDeviceStatus::InvalidHandle);
    device.reset();

    std::vector<uint8_t> played = first;
    played.insert(played.end(), second.begin(), second.end());
    const std::vector<uint8_t> file = FileBytes();
    EXPECT_NE(std::search(file.begin(), file.end(), played.begin(), played.end()), file.end())
        << "the " << played.size() << " bytes written are not in the " << file.size() << " bytes the device got";
}

TEST(SdlWaveOutputFormatTest, RefusesWhatItCannotPlayUnconverted)
{
    struct Case {
        const char* what;
        WaveDeviceFormat format;
    };
    const auto with = [](auto change) {
        WaveDeviceFormat format = Pcm(2, 22050, 16);
        change(format);
        return format;
    };
    const Case cases[] = {
        {"format tag 0", with([](WaveDeviceFormat& f) { f.formatTag = 0; })},
        {"IEEE float", with([](WaveDeviceFormat& f) { f.formatTag = 3; })},
        {"no channels", Pcm(0, 22050, 16)},
        {"3 channels", Pcm(3, 22050, 16)},
        {"7 bits", with([](WaveDeviceFormat& f) { f.bitsPerSample = 7; })},
        {"0 bits", with([](WaveDeviceFormat& f) { f.bitsPerSample = 0; })},
        {"24 bits", Pcm(2, 22050, 24)},
        {"rate 0", Pcm(2, 0, 16)},
        {"a rate beyond any sound's", Pcm(2, 0x80000000u, 16)},
        {"block align 0", with([](WaveDeviceFormat& f) { f.blockAlign = 0; })},
        {"block align of one channel", with([](WaveDeviceFormat& f) { f.blockAlign = 2; })},
    };
    const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ThreadMessageQueue notices;
        std::unique_ptr<WaveDevice> device;
        EXPECT_EQ(output->Open(c.format, notices, device), WaveDeviceStatus::BadFormat);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(notices.Size(), 0u);
    }
}

TEST_F(SdlWaveOutputTest, ResetAndDestructionHandBackEveryQueuedBlock)
{
    const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
    std::unique_ptr<WaveDevice> device;
    ASSERT_EQ(Open(*output, Pcm(1, 11025, 8), device), WaveDeviceStatus::Ok);
    std::vector<uint8_t> bytes = Ramp8(2600);
    WaveBlock blocks[2] = {{bytes.data(), 1100, 1100, 0}, {bytes.data() + 1100, 1500, 1500, 1}};
    EXPECT_EQ(device->Write(blocks[0]), WaveDeviceStatus::Unprepared);
    for (WaveBlock& block : blocks) ASSERT_EQ(device->Prepare(block), WaveDeviceStatus::Ok);
    ASSERT_EQ(device->Write(blocks[0]), WaveDeviceStatus::Ok);
    ASSERT_EQ(NextNotice(), Done(0));

    // Paused with both blocks queued, nothing plays and the queued blocks
    // stay the device's.
    ASSERT_EQ(device->Pause(), WaveDeviceStatus::Ok);
    for (WaveBlock& block : blocks) ASSERT_EQ(device->Write(block), WaveDeviceStatus::Ok);
    EXPECT_EQ(device->Write(blocks[0]), WaveDeviceStatus::StillPlaying);
    EXPECT_EQ(device->Unprepare(blocks[1]), WaveDeviceStatus::StillPlaying);
    EXPECT_EQ(device->Close(), WaveDeviceStatus::StillPlaying);
    EXPECT_EQ(notices_.Get(300ms), std::nullopt) << "a paused device played";
    uint32_t position = 0;
    ASSERT_EQ(device->Position(position), WaveDeviceStatus::Ok);
    EXPECT_EQ(position, 1100u);

    ASSERT_EQ(device->Reset(), WaveDeviceStatus::Ok);
    EXPECT_EQ(notices_.TryGet(), Done(0));
    EXPECT_EQ(notices_.TryGet(), Done(1));
    ASSERT_EQ(device->Position(position), WaveDeviceStatus::Ok);
    EXPECT_EQ(position, 0u);

    // A reset device plays what comes next, counting from 0.
    ASSERT_EQ(device->Write(blocks[1]), WaveDeviceStatus::Ok);
    ASSERT_EQ(NextNotice(), Done(1));
    ASSERT_EQ(device->Position(position), WaveDeviceStatus::Ok);
    EXPECT_EQ(position, 1500u);

    // Destroying a device with blocks queued hands them back and closes it.
    ASSERT_EQ(device->Pause(), WaveDeviceStatus::Ok);
    for (WaveBlock& block : blocks) ASSERT_EQ(device->Write(block), WaveDeviceStatus::Ok);
    device.reset();
    EXPECT_EQ(notices_.TryGet(), Done(0));
    EXPECT_EQ(notices_.TryGet(), Done(1));
    EXPECT_EQ(notices_.TryGet(), (ThreadMessage{WaveNoticeClose, 0, 0}));
}

// Each channel scaled by its word of the volume, found in the file as the
// first frames that are not silence.
TEST_F(SdlWaveOutputTest, VolumeScalesEachChannelByItsWord)
{
    struct Case {
        uint16_t channels;
        uint16_t bits;
        uint32_t volume;
        double left;
        double right;
    };
    const Case cases[] = {
        {2, 16, 0x80008000u, 0.5, 0.5},
        {2, 16, 0xFFFF0000u, 0.0, 1.0},
        {2, 16, 0x4000FFFFu, 1.0, 0.25},
        {1, 16, 0xFFFF4000u, 0.25, 0.25},  // mono takes the left word
        {1, 8, 0x80008000u, 0.5, 0.5},
        {2, 8, 0x0000FFFFu, 1.0, 0.0},
    };
    int opening = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.bits << " bits, volume " << std::hex
                                        << c.volume);
        UseFile("volume" + std::to_string(++opening) + ".raw");
        const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
        std::unique_ptr<WaveDevice> device;
        ASSERT_EQ(Open(*output, Pcm(c.channels, 22050, c.bits), device), WaveDeviceStatus::Ok);
        ASSERT_EQ(device->SetVolume(c.volume), WaveDeviceStatus::Ok);
        uint32_t volume = 0;
        ASSERT_EQ(device->GetVolume(volume), WaveDeviceStatus::Ok);
        EXPECT_EQ(volume, c.volume);

        const size_t samples = 1000;  // under 50 ms
        const std::vector<uint8_t> bytes = c.bits == 8 ? Ramp8(samples) : Bytes16(Ramp16(samples, 1000, 5));
        std::vector<uint8_t> block = bytes;
        WaveBlock header{block.data(), static_cast<uint32_t>(block.size()), static_cast<uint32_t>(block.size()), 0};
        ASSERT_EQ(device->Prepare(header), WaveDeviceStatus::Ok);
        ASSERT_EQ(device->Write(header), WaveDeviceStatus::Ok);
        ASSERT_EQ(NextNotice(), Done(0));
        EXPECT_EQ(block, bytes) << "the caller's block was scaled in place";
        device.reset();
        EXPECT_EQ(notices_.TryGet(), (ThreadMessage{WaveNoticeClose, 0, 0}));

        const std::vector<uint8_t> file = FileBytes();
        const size_t sampleBytes = c.bits / 8;
        const size_t frameBytes = sampleBytes * c.channels;
        const int silence = c.bits == 8 ? 128 : 0;
        const auto sampleAt = [&](const std::vector<uint8_t>& from, size_t offset) {
            return c.bits == 8 ? from[offset] - 128 : static_cast<int16_t>(from[offset] | from[offset + 1] << 8);
        };
        size_t start = 0;
        while (start + frameBytes <= file.size() &&
               std::all_of(file.begin() + static_cast<ptrdiff_t>(start),
                           file.begin() + static_cast<ptrdiff_t>(start + frameBytes),
                           [&](uint8_t byte) { return byte == silence; }))
            start += frameBytes;
        ASSERT_LE(start + bytes.size(), file.size()) << "the block is not in the file";
        int wrong = 0;
        for (size_t offset = 0; offset < bytes.size(); offset += sampleBytes) {
            const double gain = (offset / sampleBytes) % c.channels == 0 ? c.left : c.right;
            const double expected = sampleAt(bytes, offset) * gain;
            const int got = sampleAt(file, start + offset);
            if (got < expected - 1 || got > expected + 1) ++wrong;
        }
        EXPECT_EQ(wrong, 0) << "of " << samples << " samples";
    }
}

TEST_F(SdlWaveOutputTest, FailuresToOpenCarrySdlsOwnText)
{
    std::unique_ptr<WaveDevice> device;
    {
        // The disk driver cannot create its file in a folder that is not there.
        const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
        UseFile("missing/audio.raw");
        ASSERT_EQ(output->Open(Pcm(2, 22050, 16), notices_, device), WaveDeviceStatus::BadDevice);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(notices_.Size(), 0u);
        const std::string text = output->ErrorText(WaveDeviceStatus::BadDevice);
        EXPECT_NE(text.find("missing"), std::string::npos) << text;
        EXPECT_EQ(output->ErrorText(WaveDeviceStatus::StillPlaying), "still playing");
    }
    // With no such driver the audio system does not start at all (the output
    // above let it go, so nothing else holds it).
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
    EXPECT_EQ(output->Open(Pcm(2, 22050, 16), notices_, device), WaveDeviceStatus::NoDriver);
    const std::string text = output->ErrorText(WaveDeviceStatus::NoDriver);
    EXPECT_NE(text.find("no-such-driver"), std::string::npos) << text;
}

}  // namespace
