// DemoContent: what the demo archive holds, piece by piece: the pictures
// (painted by DemoPictures.cpp), the sounds (DemoSounds.cpp), the scenario
// (DemoScenario.cpp); main.cpp writes them into a folder with the manifest
// that `scrtool pack` turns into the archive.
#pragma once

#include "imaging/DirectBmpControl.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Entry ids, shared by the manifest and the scenario.
namespace DemoId {
// Pictures ("SGBm"). The opening picture of every section is 1000.
inline constexpr uint32_t MorningGlow = 1000;
inline constexpr uint32_t Aurora = 1001;
inline constexpr uint32_t Plasma = 1002;
inline constexpr uint32_t Julia = 1003;
inline constexpr uint32_t Dusk = 1004;
inline constexpr uint32_t Pebbles = 1005;
inline constexpr uint32_t SeaSunset = 1006;
inline constexpr uint32_t PosterHills = 1007;
inline constexpr uint32_t Ribbons = 1008;
inline constexpr uint32_t About = 1100;  // the configuration dialog's small picture
// Sounds ("SSWv"): a chime that opens each section, and the background pad.
inline constexpr uint32_t ChimeMorning = 1021;
inline constexpr uint32_t ChimeEvening = 1022;
inline constexpr uint32_t ChimeNight = 1025;
inline constexpr uint32_t Pad = 1030;
}  // namespace DemoId

// How a picture is stored: the values of the manifest's keys.
struct DemoPictureStorage {
    const char* storage;  // "raw" | "lzss" | "zlib" | "jpeg"
    int depth;            // target depth in the archive
    const char* encryption;
};

struct DemoPicture {
    uint32_t id;
    const char* name;  // file name stem, and a word for messages
    int width;
    int height;
    DemoPictureStorage stored;
    // Paints the picture into buffer, which it allocates (32 bits, width x height).
    void (*paint)(DirectBmpControl& buffer, int width, int height);
};

// Every picture of the demo, in manifest order.
std::span<const DemoPicture> DemoPictures();

struct DemoSound {
    uint32_t id;
    const char* name;
    const char* encryption;
    // The whole RIFF WAVE file.
    std::vector<uint8_t> (*make)();
};

std::span<const DemoSound> DemoSounds();

// The scenario in the text form of tools/authoring/ScenarioText.h.
std::string DemoScenarioText();

// One 16-bit PCM RIFF WAVE file: interleaved samples (channels per frame).
std::vector<uint8_t> EncodeWave(std::span<const int16_t> samples, int channels, int sampleRate);
