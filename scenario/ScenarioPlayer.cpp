#include "scenario/ScenarioPlayer.h"

#include "imaging/PlacePicture.h"
#include "scenario/TextBanner.h"
#include "settings/DisplayTexts.h"
#include "sound/WaveVolume.h"

#include <cmath>
#include <new>
#include <span>
#include <string>

namespace {

constexpr uint32_t BannerTickMs = 10;  // the banner's velocity is per 10 ms

// The rounded-up whole seconds of a sound, in milliseconds.
uint32_t WholeSecondsOf(uint32_t durationMs)
{
    const uint64_t rounded = (uint64_t{durationMs} + 999) / 1000 * 1000;
    return rounded > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(rounded);
}

// One dimension of SetPictureArea: a value below 1 or beyond the viewer
// means the whole viewer.
int32_t AreaExtent(int16_t value, int32_t viewerExtent)
{
    return value < 1 || value > viewerExtent ? viewerExtent : value;
}

bool IsOpen(const ResArchive& archive)
{
    return archive.file != nullptr;
}

}  // namespace

std::vector<std::filesystem::path> DefaultArchivePaths()
{
    return {std::filesystem::path(), std::filesystem::path("SC_TEST.brsc")};
}

ScenarioPlayer::ScenarioPlayer(const PlayerServices& services, const ViewerSetup& setup)
    : services_(services),
      setup_(setup),
      observer_(services.observer != nullptr ? *services.observer : silentObserver_)
{
    ScreenRect = TRect{0, 0, setup.width, setup.height};
    DestRect = ScreenRect;
    PictureArea = ScreenRect;
    LastStepTime = Now();
}

ScenarioPlayer::~ScenarioPlayer()
{
    // The sound player streams from SoundArchive and outlives the viewer:
    // it must not read from an archive that is going away.
    if (services_.sound != nullptr) services_.sound->Stop();
    // The buffers hold rows of the screen bitmap: let go of them first.
    ScreenBuffer.ReleaseMemory();
    NextBuffer.ReleaseMemory();
    SavedBuffer.ReleaseMemory();
    ResClose(PictureArchive);
    ResClose(SoundArchive);
}

uint32_t ScenarioPlayer::Now()
{
    return services_.clock->Now();
}

bool ScenarioPlayer::OpenScenario(const std::vector<std::filesystem::path>& archivePaths)
{
    bool opened = false;
    for (const std::filesystem::path& path : archivePaths) {
        ArchivePath = path;
        if (ResOpen(PictureArchive, path, 0, ResArchiveKind) == 0) {
            opened = true;
            break;
        }
    }

    if (!opened) OpenFailure = "no archive could be opened";
    return LoadScenario();
}

bool ScenarioPlayer::LoadScenario()
{
    RecordIndex = 0;
    LoadedScenario.reset();
    if (IsOpen(PictureArchive)) {
        OpenFailure.clear();
        const ResEntryLocation found = ResLocateEntry(PictureArchive, ResTagScenario, ScenarioEntryId);
        const EntryRecord* record = found.record;
        std::unique_ptr<uint8_t[]> bytes;
        if (found.Found() && record->DataLength() >= 0) bytes = ResLoadEntry(PictureArchive, found.group, found.entry);
        if (bytes == nullptr) {
            OpenFailure = "the archive has no readable scenario";
        } else {
            std::string reason;
            std::optional<Scenario> scenario = ParseScenarioEntry(
                std::span<const uint8_t>(bytes.get(), static_cast<size_t>(record->DataLength())), &reason);
            if (scenario && CheckScenario(*scenario, &reason))
                LoadedScenario = std::move(scenario);
            else
                OpenFailure = "the scenario is damaged: " + reason;
        }
    }
    if (LoadedScenario) return true;

    MakeBanner();
    BannerRange[0] = setup_.width - TextBanner->Width();
    BannerRange[1] = setup_.height - TextBanner->Height();
    BannerPos[0] = 0;
    BannerPos[1] = 0;
    BannerRect = TRect{0, 0, TextBanner->Width(), TextBanner->Height()};
    OldBannerRect = BannerRect;
    BannerVelocity[0] = 0.7;
    BannerVelocity[1] = 0.5;
    BannerTime = Now();
    observer_.BannerStarted();
    return false;
}

void ScenarioPlayer::MakeBanner()
{
    const std::string_view message = TextIn(DisplayText::MissingDataBanner, setup_.language);
    if (services_.text != nullptr) {
        TextBanner = MakeTextBanner(message, setup_.width, setup_.formColour, setup_.fontColour, *services_.text);
        return;
    }
    // Without a renderer the banner is an empty box of the form's colour.
    const std::unique_ptr<TextRenderer> none = MakeTextRenderer(std::span<const std::string>());
    TextBanner = MakeTextBanner(message, setup_.width, setup_.formColour, setup_.fontColour, *none);
}

bool ScenarioPlayer::PrepareBuffers()
{
    LastStepTime = Now();
    StepInterval = 0;
    ScreenRect = TRect{0, 0, setup_.width, setup_.height};
    DestRect = ScreenRect;
    PictureArea = ScreenRect;
    try {
        ScreenBitmap = services_.makeScreenBitmap
                           ? services_.makeScreenBitmap(setup_.width, setup_.height)
                           : std::make_unique<TMemoryBitmap>(setup_.width, setup_.height, TPixelFormat::Bits32);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (ScreenBitmap == nullptr || !ScreenBuffer.AttachBitmap(ScreenBitmap.get(), 0, setup_.height - 1)) return false;
    ScreenBuffer.Fill(0, setup_.height - 1, ToPixelOrder(setup_.formColour));
    return NextBuffer.Allocate(setup_.width, setup_.height, TPixelFormat::Bits32) &&
           SavedBuffer.Allocate(setup_.width, setup_.height, TPixelFormat::Bits32);
}

void ScenarioPlayer::PrepareCanvas()
{
    services_.canvas->SetFont(setup_.fontColour, setup_.fontHeight);
    services_.canvas->SetBrush(setup_.formColour);
}

void ScenarioPlayer::ScenarioStep()
{
    if (!LoadedScenario || LoadedScenario->Records.empty()) return;
    const uint32_t now = Now();
    if (now - LastStepTime < StepInterval) return;
    LastStepTime = now;

    if (TransitionRunning) {
        if (StepTransition(Transition, *this)) {
            FinishTransition();
            LastStepTime = Now();
        } else {
            StepInterval = TransitionFrameInterval;
        }
        return;
    }

    const std::vector<ScenarioRecord>& records = LoadedScenario->Records;
    if (RecordIndex < 0 || static_cast<size_t>(RecordIndex) >= records.size()) RecordIndex = 0;
    const int16_t index = RecordIndex;
    const ScenarioRecord record = records[static_cast<size_t>(index)];
    ++RecordIndex;
    if (static_cast<size_t>(RecordIndex) >= records.size()) RecordIndex = 0;
    StepInterval = record.Delay * 10u;
    observer_.RecordExecuted(index, record.Code);
    ExecuteRecord(record);
}

void ScenarioPlayer::ExecuteRecord(const ScenarioRecord& record)
{
    const ScenarioSettings& settings = setup_.settings;
    const size_t count = LoadedScenario ? LoadedScenario->Records.size() : 0;
    switch (record.Code) {
    case ScenarioCode::Wait: {
        // A negative number of seconds would wrap to a wait of weeks.
        const int16_t seconds = ResolvedArg1(record, settings);
        StepInterval = seconds > 0 ? static_cast<uint32_t>(seconds) * 1000u : 0u;
        break;
    }
    case ScenarioCode::ShufflePictures:
        if (LoadedScenario) ShufflePictures(*LoadedScenario, *services_.random);
        break;
    case ScenarioCode::ShowPicture:
        PendingSound = 0;
        ShowPicture(record);
        break;
    case ScenarioCode::SetEffect: Effect = ResolvedArg1(record, settings); break;
    case ScenarioCode::PlaySound:
        if (!setup_.soundOff) PlayLoopingSound(ResolvedValue0(record, settings));
        break;
    case ScenarioCode::SetVolume: {
        if (setup_.soundOff) break;
        const int16_t preset = ResolvedArg1(record, settings);
        const std::optional<uint16_t> volume = VolumePresetValue(preset);
        if (!volume) break;  // presets are 0 to 5
        services_.sound->SetWaveVolume(*volume, *volume);
        observer_.VolumeSet(preset);
        break;
    }
    case ScenarioCode::Jump: RecordIndex = JumpTarget(record.Values[0], count); break;
    case ScenarioCode::SetPictureArea:
        PictureArea.right = AreaExtent(ResolvedArg1(record, settings), setup_.width);
        PictureArea.bottom = AreaExtent(ResolvedArg2(record, settings), setup_.height);
        break;
    case ScenarioCode::RandomJump: RecordIndex = RandomJumpTarget(record, count, *services_.random); break;
    default: break;  // codes 2, 3, 4 and 12 and above: only their delay
    }
}

bool ScenarioPlayer::StepRunningTransition()
{
    return TransitionRunning && StepTransition(Transition, *this);
}

bool ScenarioPlayer::PlaceNextPicture(int32_t pictureId, bool checkOnly)
{
    PlacementTarget target;
    target.nextBuffer = &NextBuffer;
    target.pictureArea = PictureArea;
    target.screenRect = ScreenRect;
    target.windowColour = setup_.formColour;
    return PlacePicture(PictureArchive, static_cast<uint32_t>(pictureId),
                        checkOnly ? PlaceMode::CheckOnly : PlaceMode::Load, target);
}

void ScenarioPlayer::ShowPicture(const ScenarioRecord& record)
{
    const int32_t pictureId = record.Values[0];
    const int16_t speed = ResolvedArg1(record, setup_.settings);
    const bool loaded = PlaceNextPicture(pictureId, Effect == 3 || Effect == 4);
    LastShowLoaded = loaded;

    if (loaded && !setup_.soundOff) {
        const int candidates = ShowPictureSoundCandidates(record);
        if (candidates == 1) {
            PendingSound = record.Values[1];
        } else if (candidates > 1) {
            PendingSound = record.Values[static_cast<size_t>(1 + DrawBelow(*services_.random, candidates))];
        }
    }

    observer_.PictureShown(pictureId, loaded, Effect, speed);
    TransitionBuffers buffers;
    buffers.screen = &ScreenBuffer;
    buffers.next = &NextBuffer;
    buffers.saved = &SavedBuffer;
    buffers.screenRect = ScreenRect;
    buffers.targetRect = DestRect;
    TransitionRunning = StartTransition(Transition, buffers, *this, Effect, speed, pictureId);
}

void ScenarioPlayer::FinishTransition()
{
    TransitionRunning = false;
    observer_.TransitionFinished();
    if (PendingSound != 0) {
        uint32_t duration = 0;
        if (PlayOneShotSound(PendingSound, &duration)) {
            const uint32_t wait = WholeSecondsOf(duration);
            if (wait > StepInterval) StepInterval = wait;
        }
        PendingSound = 0;
    }
}

bool ScenarioPlayer::PlayLoopingSound(int32_t soundId)
{
    return PlaySound(soundId, 0, nullptr);
}

bool ScenarioPlayer::PlayOneShotSound(int32_t soundId, uint32_t* durationMs)
{
    return PlaySound(soundId, 1, durationMs);
}

bool ScenarioPlayer::PlaySound(int32_t soundId, int loopCount, uint32_t* durationMs)
{
    services_.sound->Stop();
    if (!IsOpen(SoundArchive)) {
        const int opened = ResOpen(SoundArchive, ArchivePath, 0, ResArchiveKind);
        if (opened != 0) {
            SoundFailed(soundId, std::string("the archive does not open: error ") + std::to_string(opened) + " (" +
                                     ResErrorMeaning(opened) + ")");
            return false;
        }
    }
    const ResEntryLocation found = ResLocateEntry(SoundArchive, ResTagSound, static_cast<uint32_t>(soundId));
    if (!found.Found()) {
        SoundFailed(soundId, found.group < 0 ? "the archive holds no sounds" : "the archive holds no such sound");
        return false;
    }
    ResSeekEntry(SoundArchive, found.group, found.entry);
    ResCursor cursor;
    cursor.entry = *found.record;
    cursor.position = 0;
    const int loaded = services_.sound->Load(SoundArchive, cursor);
    const uint32_t duration = services_.sound->DurationMs();
    if (durationMs != nullptr) *durationMs = duration;
    services_.sound->Play(loopCount);
    observer_.SoundStarted(soundId, loopCount == 1, duration);
    std::string problem = services_.sound->Problem();
    if (problem.empty() && loaded < 0) problem = "it does not load (status " + std::to_string(loaded) + ")";
    if (!problem.empty()) SoundFailed(soundId, problem);
    return true;
}

void ScenarioPlayer::SoundFailed(int32_t soundId, const std::string& reason) const
{
    if (services_.soundFailed) services_.soundFailed(soundId, reason);
}

void ScenarioPlayer::BannerStep()
{
    if (TextBanner == nullptr) return;
    const uint32_t now = Now();
    const uint32_t ticks = (now - BannerTime) / BannerTickMs;
    for (int axis = 0; axis < 2; ++axis)
        BannerPos[axis] = static_cast<double>(BannerPos[axis] + static_cast<long double>(BannerVelocity[axis]) * ticks);
    BannerTime = now;
    OldBannerRect = BannerRect;

    for (int axis = 0; axis < 2; ++axis) {
        if (BannerVelocity[axis] >= 0 && !(BannerPos[axis] < BannerRange[axis])) {
            BannerPos[axis] = BannerRange[axis];
            BannerVelocity[axis] = -BannerVelocity[axis];
        } else if (BannerVelocity[axis] < 0 && !(BannerPos[axis] > 0)) {
            BannerPos[axis] = 0;
            BannerVelocity[axis] = -BannerVelocity[axis];
        }
    }

    const auto left = static_cast<int32_t>(std::trunc(BannerPos[0]));
    const auto top = static_cast<int32_t>(std::trunc(BannerPos[1]));
    BannerRect = TRect{left, top, left + TextBanner->Width(), top + TextBanner->Height()};

    WindowCanvas& canvas = *services_.canvas;
    canvas.SetBrush(setup_.formColour);
    const TRect& o = OldBannerRect;
    const TRect& n = BannerRect;
    const TRect uncovered[] = {
        {o.left, o.top, o.right, n.top},
        {o.left, n.bottom, o.right, o.bottom},
        {o.left, n.top, n.left, n.bottom},
        {n.right, n.top, o.right, n.bottom},
    };
    for (const TRect& rect : uncovered)
        if (rect.Width() > 0 && rect.Height() > 0) canvas.FillRect(rect);
    canvas.CopyRect(BannerRect, *TextBanner, TRect{0, 0, TextBanner->Width(), TextBanner->Height()});
    canvas.WriteText(0, 0, std::to_string(Now()));
}

void ScenarioPlayer::Present(const TRect& screenRect, const TRect& targetRect)
{
    if (ScreenBitmap != nullptr) services_.canvas->CopyRect(targetRect, *ScreenBitmap, screenRect);
}

void ScenarioPlayer::PresentWholeScreen()
{
    Present(ScreenRect, DestRect);
}

bool ScenarioPlayer::LoadNextPicture(int32_t pictureId)
{
    return PlaceNextPicture(pictureId, false);
}

void ScenarioPlayer::LevelStored(int32_t level)
{
    observer_.LevelStored(level);
}
