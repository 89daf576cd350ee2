// SoundPlayer: what the slide-show player asks of the process's sound output.
//
// The viewer finds a sound entry in its own sound archive and hands a cursor
// at offset 0 of that entry to Load; Play then streams it from the archive.
// Every call runs on the main thread. The real implementation is
// oWaveDataControl; tests and headless runs use stand-ins.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>
#include <string>

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;

    // Stops the sound that plays, releases the device and sets the played
    // base to 0. Harmless when nothing plays.
    virtual void Stop() = 0;
    // Prepares to stream the sound entry the cursor designates. 0 on
    // success, negative on failure; the player goes on to Play either way.
    virtual int Load(ResArchive& archive, const ResCursor& cursor) = 0;
    // Starts the loaded sound: loop count 0 repeats until stopped, 1 plays
    // once. Does nothing while the device is open.
    virtual void Play(int loopCount) = 0;
    // Why the last Load or Play leaves nothing to hear, in words (what the
    // wave walk refused, the device's error text); empty when neither failed.
    // The player does not act on it; tools warn with it.
    virtual std::string Problem() const { return {}; }
    // Length of the loaded sound in milliseconds, as Load computed it.
    virtual uint32_t DurationMs() const = 0;
    // Stores both channel volumes (0xFFFF full) and applies them to an open
    // device.
    virtual void SetWaveVolume(uint16_t left, uint16_t right) = 0;
};
