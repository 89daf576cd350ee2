// A minute of the slide show at 1920x1080 on virtual time, every frame
// computed, for each transition effect: CPU milliseconds per transition
// frame (picture loading included, spread over the frames). The frame
// budget is 48 ms; a fade frame should cost well under 10 ms so that the
// main thread stays idle most of the time.
#include "platform/ReadOnlyFile.h"
#include "scenario/HeadlessSlideShow.h"
#include "sound/SilentSoundPlayer.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/PictureEntryWriter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int32_t Width = 1920;
constexpr int32_t Height = 1080;

// A raw 32-bit picture with a diagonal gradient, so that no pass is trivial.
std::vector<uint8_t> GradientPicture(uint8_t tint)
{
    const PictureEntryFields fields = PictureFieldsFor(32, Width, Height, PictureStorage::Raw);
    std::vector<uint8_t> pixels(size_t(fields.stride) * Height);
    for (int32_t y = 0; y < Height; ++y) {
        for (int32_t x = 0; x < Width; ++x) {
            uint8_t* p = pixels.data() + size_t(y) * fields.stride + size_t(x) * 4;
            p[0] = static_cast<uint8_t>(x + y);
            p[1] = static_cast<uint8_t>(y ^ tint);
            p[2] = static_cast<uint8_t>(x / 8 + tint);
            p[3] = 0xFF;
        }
    }
    return BuildPictureEntry(fields, {}, pixels);
}

std::vector<uint8_t> SlideShowArchive(int16_t effect)
{
    std::vector<ScenarioRecord> records(6);
    records[0].Code = ScenarioCode::SetEffect;
    records[0].Arg1 = effect;
    for (int i : {1, 3}) {
        records[size_t(i)].Code = ScenarioCode::ShowPicture;
        records[size_t(i)].Arg1 = 2;
        records[size_t(i)].Values[0] = i;
    }
    records[2].Code = ScenarioCode::Wait;
    records[4].Code = ScenarioCode::Wait;
    records[5].Code = ScenarioCode::Jump;
    records[5].Values[0] = 1;
    Scenario scenario;
    scenario.Records = records;
    ArchiveWriter writer{ArchiveOptions{}};
    writer.Add({ResTagScenario, ScenarioEntryId, 0, *SerializeScenarioEntry(scenario)});
    writer.Add({ResTagPicture, 1, 0, GradientPicture(0x00)});
    writer.Add({ResTagPicture, 3, 0, GradientPicture(0x5A)});
    return writer.Build();
}

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void SlideShow_Minute1080p(benchmark::State& state)
{
    const auto effect = static_cast<int16_t>(state.range(0));
    const std::vector<uint8_t> archive = SlideShowArchive(effect);
    int64_t frames = 0;
    double cpu = 0;
    for (auto _ : state) {
        SilentSoundPlayer sound;
        int64_t framesShown = 0;
        HeadlessOptions options;
        options.width = Width;
        options.height = Height;
        options.sound = &sound;
        options.drawText = false;
        options.trace = [&framesShown](const std::string& line) {
            if (line.find(" frame ") != std::string::npos) ++framesShown;
        };
        HeadlessSlideShow show(options);
        ScenarioPlayer& player = show.Player();
        ResOpenFile(player.PictureArchive, std::make_unique<MemoryFile>(archive), "bench.brsc", ResEmbedding::SideFile,
                    0, ResArchiveKind);
        if (!player.LoadScenario() || !player.PrepareBuffers()) {
            state.SkipWithError("the slide show did not start");
            return;
        }
        const double start = CpuSeconds();
        show.RunUntil(60000, true);
        cpu += CpuSeconds() - start;
        frames += framesShown;
    }
    state.counters["frames_per_minute"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
    state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu * 1000.0 / static_cast<double>(frames) : 0.0;
}

}  // namespace

BENCHMARK(SlideShow_Minute1080p)->DenseRange(1, 4)->Iterations(1)->Unit(benchmark::kMillisecond);
