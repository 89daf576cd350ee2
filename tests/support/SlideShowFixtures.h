// Fixtures for slide-show tests: archives with a scenario, solid-colour
// pictures and silent sounds of an exact length, a sound player that notes
// its calls, and a rig that runs a player on virtual time the way the timer
// thread paces it.
#pragma once

#include "platform/Clock.h"
#include "platform/MemoryCanvas.h"
#include "scenario/HeadlessSlideShow.h"
#include "scenario/PlayerTrace.h"
#include "scenario/ScenarioPlayer.h"
#include "sound/SilentSoundPlayer.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Record builders.
ScenarioRecord WaitRecord(int16_t seconds, uint8_t argFlags = 0, uint32_t delay = 0);
ScenarioRecord ShowRecord(int32_t pictureId, int16_t speed, std::vector<int32_t> sounds = {}, uint8_t argFlags = 0);
ScenarioRecord EffectRecord(int16_t effect, uint8_t argFlags = 0);
ScenarioRecord JumpRecord(int32_t target);
ScenarioRecord RandomJumpRecord(int16_t arg1, std::vector<int32_t> targets);
ScenarioRecord AreaRecord(int16_t width, int16_t height, uint8_t argFlags = 0);
ScenarioRecord CodeRecord(uint8_t code, uint32_t delay = 0);
// PlaySound: the sound loops until another sound or picture stops it.
ScenarioRecord SoundRecord(int32_t soundId);

// A 32-bit raw picture entry of one colour (pixel order 0xAARRGGBB).
std::vector<uint8_t> SolidPictureEntry(int width, int height, uint32_t colour);
// An 8-bit mono wave entry at 1000 bytes per second: exactly `milliseconds`
// long.
std::vector<uint8_t> SilentWaveEntry(uint32_t milliseconds);

class SlideShowArchive {
public:
    SlideShowArchive& Scenario(const std::vector<ScenarioRecord>& records);
    SlideShowArchive& ScenarioBytes(std::vector<uint8_t> bytes);
    SlideShowArchive& Picture(uint32_t id, int width, int height, uint32_t colour);
    // A picture entry's bytes as given (PictureEntryWriter.h).
    SlideShowArchive& PictureEntry(uint32_t id, std::vector<uint8_t> entry);
    SlideShowArchive& Sound(uint32_t id, uint32_t milliseconds);
    // A sound entry of any bytes: damaged waves, formats a device refuses.
    SlideShowArchive& SoundBytes(uint32_t id, std::vector<uint8_t> bytes);
    std::vector<uint8_t> Build() const;

private:
    struct Entry {
        uint32_t tag;
        uint32_t id;
        std::vector<uint8_t> data;
    };
    std::vector<Entry> entries_;
};

// Notes the player's sound calls as text ("stop", "load 7", "play 1",
// "volume 8FFF 8FFF") and measures sounds as the real player does.
class RecordingSoundPlayer final : public SoundPlayer {
public:
    void Stop() override;
    int Load(ResArchive& archive, const ResCursor& cursor) override;
    void Play(int loopCount) override;
    uint32_t DurationMs() const override { return measure_.DurationMs(); }
    void SetWaveVolume(uint16_t left, uint16_t right) override;

    std::vector<std::string> calls;

private:
    SilentSoundPlayer measure_;
};

// The slide show's options with a small screen and no text renderer; the
// rig fills in the sound player and the trace.
struct RigOptions : HeadlessOptions {
    RigOptions()
    {
        width = 64;
        height = 48;
        drawText = false;
    }
};

// A player over an archive in memory (pictures and sounds from the same
// bytes), stepped every 10 ms of virtual time from t = 10 on, with the
// recording sound player; the trace collects "t event" lines, t since the
// rig's start.
class SlideShowRig {
public:
    explicit SlideShowRig(const std::vector<uint8_t>& archive, const RigOptions& options = {});

    // Opens the archive and the scenario (false: banner mode) and prepares
    // the buffers as the viewer does.
    bool Open();
    // Steps until t (inclusive) since the start.
    void RunUntil(uint32_t t) { show.RunUntil(t, scenarioMode); }
    // The trace lines without "frame" lines.
    std::vector<std::string> Events() const;

    std::vector<uint8_t> archiveBytes;
    RecordingSoundPlayer sound;
    std::vector<std::string> trace;
    HeadlessSlideShow show;
    ScenarioPlayer* const player;
    MemoryCanvas& canvas;
    bool scenarioMode = false;
};

// The colour of a 32-bit buffer's pixel, as 0xAARRGGBB.
uint32_t PixelAt(const DirectBmpControl& buffer, int x, int y);
