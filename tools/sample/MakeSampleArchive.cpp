// make_sample_archive OUTPUT: writes a small archive that the screen saver can
// play (a scenario, an information block, two pictures, two sounds), using
// every encryption mode, so that the tools have something real to work on.

#include "tools/authoring/ArchiveWriter.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

namespace {

constexpr uint32_t SampleKeySeed = 0x4B534231u;

struct ScenarioLine {
    uint8_t code;
    uint8_t argFlags;
    int16_t arg1;
    int32_t values[4];
};

std::vector<uint8_t> MakeScenario()
{
    // Follows the user's effect, speed and waiting time (settings slots 1, 2
    // and 0) and loops over both pictures, each with its own sound.
    const ScenarioLine lines[] = {
        {6, 1, 1, {0, 0, 0, 0}},  // SetEffect: the user's effect
        {5, 1, 2, {1, 1, 0, 0}},  // ShowPicture 1 at the user's speed, sound 1
        {0, 1, 0, {0, 0, 0, 0}},  // Wait: the user's waiting time
        {5, 1, 2, {2, 2, 0, 0}},  // ShowPicture 2, sound 2
        {0, 1, 0, {0, 0, 0, 0}},  // Wait
        {9, 0, 0, {1, 0, 0, 0}},  // Jump to record 1
    };
    const size_t count = sizeof lines / sizeof lines[0];
    std::vector<uint8_t> scenario(16 + 40 * count, 0);
    WriteLe16(&scenario[14], static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        uint8_t* record = &scenario[16 + 40 * i];
        record[0] = lines[i].code;
        record[1] = lines[i].argFlags;
        WriteLe16(record + 8, static_cast<uint16_t>(lines[i].arg1));
        for (int v = 0; v < 4; ++v) WriteLe32(record + 16 + 4 * v, static_cast<uint32_t>(lines[i].values[v]));
    }
    return scenario;
}

std::vector<uint8_t> MakeInformation()
{
    std::vector<uint8_t> block(256, 0);
    auto put = [&](size_t offset, size_t size, const char* text) {
        std::memcpy(&block[offset], text, std::min(std::strlen(text), size - 1));
    };
    put(16, 48, "Kamishibai Sample");
    put(64, 32, "Version 0.1.0");
    put(96, 48, "Sample content for tests and tools.");
    put(144, 48, "Pictures and sounds are generated.");
    WriteLe32(&block[192], 1);  // about picture: SGBm 1
    return block;
}

// A raw picture (storage kind 0) whose pixels come from pixel(x, y) as 0xAARRGGBB.
template <typename PixelFunction>
std::vector<uint8_t> MakePicture(int depth, int width, int height, PixelFunction pixel)
{
    const int bytesPerPixel = depth / 8;
    const int stride = (width * bytesPerPixel + 3) & ~3;
    std::vector<uint8_t> picture(32 + static_cast<size_t>(stride) * height, 0);
    picture[0] = static_cast<uint8_t>(depth);
    WriteLe32(&picture[4], static_cast<uint32_t>(stride));
    WriteLe16(&picture[8], static_cast<uint16_t>(width));
    WriteLe16(&picture[10], static_cast<uint16_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t colour = pixel(x, y);
            uint8_t* out = &picture[32 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bytesPerPixel];
            for (int b = 0; b < bytesPerPixel; ++b) out[b] = static_cast<uint8_t>(colour >> (8 * b));
        }
    }
    return picture;
}

// A RIFF "WAVE" file holding a mono tone that fades out.
std::vector<uint8_t> MakeTone(int bitsPerSample, uint32_t rate, double frequency, double seconds)
{
    const uint32_t frames = static_cast<uint32_t>(rate * seconds);
    const uint32_t blockAlign = static_cast<uint32_t>(bitsPerSample / 8);
    const uint32_t dataLength = frames * blockAlign;
    std::vector<uint8_t> wave(44 + dataLength, 0);
    std::memcpy(&wave[0], "RIFF", 4);
    WriteLe32(&wave[4], 36 + dataLength);
    std::memcpy(&wave[8], "WAVEfmt ", 8);
    WriteLe32(&wave[16], 16);
    WriteLe16(&wave[20], 1);  // PCM
    WriteLe16(&wave[22], 1);  // mono
    WriteLe32(&wave[24], rate);
    WriteLe32(&wave[28], rate * blockAlign);
    WriteLe16(&wave[32], static_cast<uint16_t>(blockAlign));
    WriteLe16(&wave[34], static_cast<uint16_t>(bitsPerSample));
    std::memcpy(&wave[36], "data", 4);
    WriteLe32(&wave[40], dataLength);
    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < frames; ++i) {
        const double level = std::sin(2 * pi * frequency * i / rate) * (1.0 - static_cast<double>(i) / frames) * 0.5;
        if (bitsPerSample == 8) {
            wave[44 + i] = static_cast<uint8_t>(128 + std::lround(level * 127));
        } else {
            WriteLe16(&wave[44 + 2 * i], static_cast<uint16_t>(static_cast<int16_t>(std::lround(level * 32767))));
        }
    }
    return wave;
}

std::vector<uint8_t> MakeSampleArchive()
{
    ArchiveOptions options;
    options.keySeed = SampleKeySeed;
    options.blockShift = 2;       // 1,024-byte blocks
    options.interleaveShift = 1;  // every 4th block encrypted
    options.checkWord = CheckWordChoice::Passing;
    options.maskSeed = 2024;
    ArchiveWriter writer(options);

    writer.Add({ResTagScenario, 1000, 3, MakeScenario(), {}, {}});
    writer.Add({ResTagInformation, 1000, 1, MakeInformation(), {}, {}});
    writer.Add({ResTagPicture, 1, 2, MakePicture(32, 96, 64, [](int x, int y) {
                    return 0xFF000000u | static_cast<uint32_t>(x * 255 / 95) << 16 | static_cast<uint32_t>(y * 255 / 63) << 8 | 0x60u;
                }),
                {}, {}});
    writer.Add({ResTagPicture, 2, 0, MakePicture(24, 64, 64, [](int x, int y) {
                    return ((x / 8 + y / 8) & 1) ? 0xF0E8D0u : 0x304060u;
                }),
                {}, {}});
    writer.Add({ResTagSound, 1, 1, MakeTone(8, 11025, 440.0, 0.5), {}, {}});
    // A prefix and a suffix that the reader skips, as packers leave them.
    writer.Add({ResTagSound, 2, 3, MakeTone(16, 22050, 660.0, 0.25), {'p', 'r', 'e'}, {'e', 'n', 'd'}});
    return writer.Build();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_archive OUTPUT\n");
        return 2;
    }
    try {
        const std::vector<uint8_t> archive = MakeSampleArchive();
        std::ofstream output(argv[1], std::ios::binary | std::ios::trunc);
        output.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
        output.close();
        if (!output) {
            std::fprintf(stderr, "make_sample_archive: %s: cannot write the archive\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_archive: %s\n", error.what());
        return 1;
    }
    return 0;
}
