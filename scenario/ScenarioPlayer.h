// ScenarioPlayer: the slide show of the viewer window. It opens the archive,
// loads the scenario and then, one step at a time on the main thread, waits
// out the current record's time, advances a running transition or executes
// the next record: show a picture with a transition and a sound, wait,
// change the effect, play sounds, jump. Without a scenario it lets a text
// banner drift over the window instead. It never ends by itself.
//
// The viewer owns the player; the player owns the two archive readers, the
// loaded scenario, the screen bitmap and the three 32-bit pixel buffers
// (screen, next picture, saved picture). It reaches the machine only through
// the services it is given: a clock, the window's canvas, the sound player,
// the random generator, and a text renderer for the banner.
//
// Timing: a step does nothing until StepInterval milliseconds have passed
// since LastStepTime (unsigned 32-bit differences, so the clock may wrap).
// A record sets StepInterval to its Delay × 10 (32-bit, as stored) or, for
// Wait, to Arg1 seconds; a negative Wait waits 0 ms rather than wrapping to
// weeks.
// A running transition is advanced at most every 48 ms; the record after a
// picture is timed from the end of its transition and waits at least the
// picture's sound, rounded up to whole seconds.
//
// Everything runs on one thread; nothing here locks.
#pragma once

#include "imaging/DirectBmpControl.h"
#include "imaging/Transition.h"
#include "platform/Clock.h"
#include "platform/TBitmap.h"
#include "platform/TextRenderer.h"
#include "platform/UserLanguage.h"
#include "platform/WindowCanvas.h"
#include "scenario/ScenarioRecord.h"
#include "scenario/ScenarioRules.h"
#include "scenario/SSScenarioTimer.h"
#include "sound/SoundPlayer.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the player did, for traces and tests. Every call comes from inside a
// player operation, on its thread.
class PlayerObserver {
public:
    virtual ~PlayerObserver() = default;
    virtual void RecordExecuted(int16_t /*index*/, uint8_t /*code*/) {}
    virtual void PictureShown(int32_t /*pictureId*/, bool /*loaded*/, int16_t /*effect*/, int16_t /*speed*/) {}
    virtual void LevelStored(int32_t /*level*/) {}
    virtual void TransitionFinished() {}
    // A sound was loaded and started; `once` false for a looping sound.
    virtual void SoundStarted(int32_t /*soundId*/, bool /*once*/, uint32_t /*durationMs*/) {}
    virtual void VolumeSet(int16_t /*preset*/) {}
    virtual void BannerStarted() {}
};

// Clock, canvas, sound and random generator are required; they must outlive
// the player.
struct PlayerServices {
    MillisecondClock* clock = nullptr;
    WindowCanvas* canvas = nullptr;
    SoundPlayer* sound = nullptr;
    SubtractiveRandom* random = nullptr;
    TextRenderer* text = nullptr;         // for the banner; may be null only if a scenario loads
    PlayerObserver* observer = nullptr;  // optional
    // Makes the window-sized 32-bit screen bitmap (a DIB section on
    // Windows); a TMemoryBitmap when not set.
    std::function<std::unique_ptr<TBitmap>(int32_t width, int32_t height)> makeScreenBitmap;
    // Told of every attempt to play a sound that leaves it unheard: not in
    // the archive, refused by the sound player's load, or by its device. The
    // show goes on without the sound either way; tools warn. Optional.
    std::function<void(int32_t soundId, const std::string& reason)> soundFailed;
};

struct ViewerSetup {
    int32_t width = 0;  // the viewer's client size
    int32_t height = 0;
    ScenarioSettings settings;
    bool soundOff = false;
    uint32_t formColour = 0x00000000;  // window colours: black form, white font
    uint32_t fontColour = 0x00FFFFFF;
    int32_t fontHeight = -12;
    UserLanguage language = CurrentUserLanguage();  // of the banner's message
};

// The interval of a step while a transition runs.
constexpr uint32_t TransitionFrameInterval = 48;

// The archive the viewer reads: its own program file first (an empty path),
// then the side file.
std::vector<std::filesystem::path> DefaultArchivePaths();

class ScenarioPlayer final : public ScenarioStepTarget, private TransitionHost {
public:
    ScenarioPlayer(const PlayerServices& services, const ViewerSetup& setup);
    ~ScenarioPlayer() override;
    ScenarioPlayer(const ScenarioPlayer&) = delete;
    ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

    // Opens the first archive of `archivePaths` that opens and loads its
    // scenario; true when a scenario was loaded and passed its checks.
    // Otherwise makes the text banner and returns false. Called once.
    bool OpenScenario(const std::vector<std::filesystem::path>& archivePaths = DefaultArchivePaths());
    // The same for a PictureArchive the caller opened (archives in memory):
    // loads the scenario, or makes the banner. Sounds then come from
    // SoundArchive if the caller opened that too, otherwise from ArchivePath.
    bool LoadScenario();
    // Scenario mode's preparation when the viewer is created: the step
    // clock starts now, the rectangles cover the viewer, the screen bitmap
    // and buffers are made and filled with the form's colour. False when
    // memory for them cannot be had.
    bool PrepareBuffers();

    // The canvas's font and brush for the steps to come.
    void PrepareCanvas() override;
    void ScenarioStep() override;
    void BannerStep() override;
    void FinishTransition() override;
    bool PlayLoopingSound(int32_t soundId);
    // The sound's length in *durationMs when it starts.
    bool PlayOneShotSound(int32_t soundId, uint32_t* durationMs = nullptr);

    // Runs one record as a step does, without looking at the time (tools
    // that compose a single change use it).
    void ExecuteRecord(const ScenarioRecord& record);
    // One StepTransition of the running transition; true when it finished.
    // The end-of-transition work is left to the caller.
    bool StepRunningTransition();

    // The player's state, as the viewer's fields.
    std::optional<Scenario> LoadedScenario;
    int16_t RecordIndex = 0;
    int16_t Effect = 1;
    uint32_t StepInterval = 0;
    uint32_t LastStepTime = 0;
    bool TransitionRunning = false;
    int32_t PendingSound = 0;
    TRect ScreenRect;
    TRect DestRect;
    TRect PictureArea;
    std::filesystem::path ArchivePath;
    std::unique_ptr<TBitmap> TextBanner;
    double BannerPos[2] = {0, 0};
    double BannerVelocity[2] = {0.7, 0.5};
    int32_t BannerRange[2] = {0, 0};
    TRect BannerRect;
    TRect OldBannerRect;
    uint32_t BannerTime = 0;

    ResArchive PictureArchive;
    ResArchive SoundArchive;
    std::unique_ptr<TBitmap> ScreenBitmap;
    DirectBmpControl ScreenBuffer;
    DirectBmpControl NextBuffer;
    DirectBmpControl SavedBuffer;
    TransitionState Transition;

    // Whether the last ShowPicture record found its picture.
    bool LastShowLoaded = false;
    // Why OpenScenario failed, for tools: empty after a success.
    std::string OpenFailure;

private:
    void ShowPicture(const ScenarioRecord& record);
    bool PlaySound(int32_t soundId, int loopCount, uint32_t* durationMs);
    void SoundFailed(int32_t soundId, const std::string& reason) const;
    void MakeBanner();
    bool PlaceNextPicture(int32_t pictureId, bool checkOnly);

    // TransitionHost
    uint32_t Now() override;
    void Present(const TRect& screenRect, const TRect& targetRect) override;
    void PresentWholeScreen() override;
    bool LoadNextPicture(int32_t pictureId) override;
    void LevelStored(int32_t level) override;

    PlayerServices services_;
    ViewerSetup setup_;
    PlayerObserver silentObserver_;
    PlayerObserver& observer_;
};
