#include "shell/common/ViewerSession.h"

#include "platform/MemoryCanvas.h"
#include "tests/support/SlideShowFixtures.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint32_t Red = 0x00FF0000;  // pixel order

class FixedPassword final : public ScreenSaverPassword {
public:
    std::optional<int64_t> UsePasswordValue() override { return std::nullopt; }
    PasswordVerdict Verify() override { return PasswordVerdict::Refused; }
};

// A viewer session on a 64×48 canvas in memory, with the real timer thread
// handing its steps to this (the main) thread, which runs them while the
// test waits for something to happen.
class SessionRig {
public:
    explicit SessionRig(std::vector<ScenarioRecord> records)
    {
        static int counter = 0;
        archive_ = std::filesystem::temp_directory_path() /
                   ("kamishibai-viewer-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".brsc");
        if (!records.empty()) {
            const std::vector<uint8_t> bytes = SlideShowArchive().Scenario(records).Picture(1, 64, 48, Red).Build();
            std::ofstream(archive_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            static_cast<std::streamsize>(bytes.size()));
        }
        start.width = 64;
        start.height = 48;
        start.settings = SlideshowPreference::From(5, 1, 2, true);
        start.archivePaths = {archive_};
    }
    ~SessionRig()
    {
        session.reset();
        // The timer frees itself; its sleep function goes with it. Run what
        // it hands over until then, so that it never waits on calls that
        // are gone.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!timerGone_.expired() && std::chrono::steady_clock::now() < deadline)
            Calls().WaitAndRunPending(std::chrono::milliseconds(1));
        std::filesystem::remove(archive_);
    }

    ViewerSession& Make()
    {
        auto token = std::make_shared<int>(0);
        timerGone_ = token;
        ViewerServices services;
        services.calls = &Calls();
        services.canvas = &canvas;
        services.sound = &sound;
        services.random = &random;
        services.timerSleep = [token](uint32_t milliseconds) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        };
        session = std::make_unique<ViewerSession>(services, start);
        return *session;
    }

    // Runs the steps the timer hands over until `done` or 10 s.
    bool PumpUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            Calls().WaitAndRunPending(std::chrono::milliseconds(5));
        }
        return true;
    }
    void PumpFor(std::chrono::milliseconds time)
    {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) Calls().WaitAndRunPending(std::chrono::milliseconds(5));
    }
    uint32_t WindowPixel(int x, int y)
    {
        uint32_t pixel;
        std::memcpy(&pixel, canvas.Window().ScanLine(y) + 4 * x, 4);
        return pixel & 0x00FFFFFF;
    }

    // The queue lives as long as the process, as the savers' does: a timer
    // thread may still be on its way out when a test ends.
    static MainThreadCalls& Calls()
    {
        static auto* calls = new MainThreadCalls;
        return *calls;
    }

    ViewerStart start;
    MemoryCanvas canvas{64, 48};
    RecordingSoundPlayer sound;
    SubtractiveRandom random;
    std::unique_ptr<ViewerSession> session;

private:
    std::filesystem::path archive_;
    std::weak_ptr<int> timerGone_;
};

TEST(ViewerSession, PlaysTheScenarioThroughTheTimerThread)
{
    SessionRig rig({EffectRecord(0), ShowRecord(1, 0), WaitRecord(5)});
    ViewerSession& session = rig.Make();
    ASSERT_TRUE(session.Start());
    EXPECT_TRUE(session.ScenarioMode());
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.WindowPixel(32, 24) == Red; }));
    EXPECT_EQ(rig.canvas.FontColour(), 0x00FFFFFFu) << "the canvas was prepared before the first step";
}

TEST(ViewerSession, ShowsTheBannerWithoutAnArchiveAndStopsStepping)
{
    SessionRig rig({});
    ViewerSession& session = rig.Make();
    ASSERT_TRUE(session.Start());
    EXPECT_FALSE(session.ScenarioMode());
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.canvas.CopyCount() >= 3; }));

    session.Stop();
    const int copies = rig.canvas.CopyCount();
    rig.PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.canvas.CopyCount(), copies) << "a step reached the viewer after it stopped";
}

TEST(ViewerSession, ClosingFinishesARunningTransition)
{
    // Fade at the slowest speed: still running when the close comes.
    SessionRig rig({EffectRecord(1), ShowRecord(1, 4), WaitRecord(5)});
    ViewerSession& session = rig.Make();
    session.SetPlatformId(PlatformIdNt);
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(rig.PumpUntil([&] { return session.Player().TransitionRunning; }));

    FixedPassword password;
    EXPECT_EQ(session.CloseQuery(password), CloseAnswer::Allow);
    EXPECT_FALSE(session.Player().TransitionRunning);
}

TEST(ViewerSession, PreviewAndTheSoundSettingTurnSoundOff)
{
    struct Case {
        bool preview;
        bool soundUse;
        bool soundOff;
    };
    for (const Case c : {Case{false, true, false}, Case{false, false, true}, Case{true, true, true}}) {
        SessionRig rig({WaitRecord(5)});
        rig.start.previewMode = c.preview;
        rig.start.settings.SetSlideshowSoundUse(c.soundUse);
        EXPECT_EQ(rig.Make().SoundOff(), c.soundOff) << c.preview << c.soundUse;
    }
}

TEST(ViewerSession, InputEndsTheFullScreenSaverOnly)
{
    for (const bool preview : {false, true}) {
        SessionRig rig({WaitRecord(5)});
        rig.start.previewMode = preview;
        ViewerSession& session = rig.Make();
        session.SetStartCursor({100, 100});
        EXPECT_EQ(session.KeyPressed(), !preview);
        EXPECT_EQ(session.ButtonPressed(), !preview);
        EXPECT_FALSE(session.PointerMoved({200, 200}));
        EXPECT_EQ(session.PointerMoved({201, 100}), !preview);
    }
}

TEST(ViewerSession, TheScenarioReadsTheUsersSettingsTables)
{
    SlideshowPreference preference;
    preference.SetWord(PreferenceWord::SlideshowWait, 9);
    preference.SetWord(PreferenceWord::SlideshowEffect, 3);
    preference.SetWord(PreferenceWord::SlideshowEffectSpeed, -2);
    const ScenarioSettings settings = ScenarioSettingsOf(preference);
    EXPECT_EQ(settings.words[0], 9);
    EXPECT_EQ(settings.words[1], 3);
    EXPECT_EQ(settings.words[2], -2);
    EXPECT_EQ(settings.words[7], 0);
    EXPECT_EQ(settings.values[9], 0);
}

}  // namespace

namespace {

// A canvas whose first use fails, as a step that runs out of memory would.
class FailingCanvas final : public WindowCanvas {
public:
    void SetFont(uint32_t, int32_t) override { throw std::runtime_error("no font today"); }
    void SetBrush(uint32_t) override { ++uses; }
    void CopyRect(const TRect&, TBitmap&, const TRect&) override { ++uses; }
    void FillRect(const TRect&) override { ++uses; }
    void WriteText(int32_t, int32_t, std::string_view) override { ++uses; }
    std::atomic<int> uses{0};
};

TEST(ViewerSession, AFailingStepIsReportedOnTheMainThreadAndStopsTheTimer)
{
    SessionRig rig({});
    FailingCanvas canvas;
    std::vector<std::string> failures;
    const std::thread::id mainThread = std::this_thread::get_id();
    bool reportedOnMainThread = false;
    ViewerServices services;
    services.calls = &SessionRig::Calls();
    services.canvas = &canvas;
    services.sound = &rig.sound;
    services.random = &rig.random;
    services.stepFailed = [&](const std::exception& failure) {
        failures.emplace_back(failure.what());
        reportedOnMainThread = std::this_thread::get_id() == mainThread;
    };
    auto session = std::make_unique<ViewerSession>(services, rig.start);
    ASSERT_TRUE(session->Start());
    ASSERT_TRUE(rig.PumpUntil([&] { return !failures.empty(); }));
    rig.PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(failures, std::vector<std::string>{"no font today"});
    EXPECT_TRUE(reportedOnMainThread);
    EXPECT_EQ(canvas.uses, 0) << "no banner step ran after the failure";
    session.reset();
    rig.PumpFor(std::chrono::milliseconds(50));
}

}  // namespace
