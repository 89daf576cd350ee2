// make_demo_content FOLDER [--verbose]: writes the demo content into FOLDER:
// pictures/ (PNG, or JPEG for the photo-like ones), sounds/ (.wav),
// scenario.txt and manifest.toml, ready for
//   scrtool pack FOLDER/manifest.toml -o demo.brsc
// Everything is generated; the repository holds no binary content. The
// pictures and sounds are made on all cores, each file written whole under
// a temporary name first. --verbose lists each file with its time;
// --previews DIR also writes every picture at half size as PNG into DIR, to
// look at the paintings before JPEG encoding and packing.
#include "tools/demo/DemoContent.h"
#include "tools/demo/DemoFiles.h"

#include "tools/authoring/ImageFileWriter.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/ScenarioText.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t DemoKeySeed = 0x2D5A1C77u;
constexpr int JpegQuality = 90;

// The information block: name, version and two notice lines, as the
// configuration dialog shows them.
InformationTexts DemoInformation()
{
    InformationTexts texts;
    texts.name = "紙芝居スクリーンセーバー デモ";
    texts.version = "Version 1.0 (demo)";
    // Short enough for the dialog's lines beside the 48-pixel about picture.
    texts.notice1 = "絵も音もプログラムで生成";
    texts.notice2 = "Demo content: free to share.";
    texts.aboutPicture = DemoId::About;
    return texts;
}

std::string PictureFileName(const DemoPicture& picture)
{
    return std::string("pictures/") + picture.name + (std::string(picture.stored.storage) == "jpeg" ? ".jpg" : ".png");
}

std::string SoundFileName(const DemoSound& sound)
{
    return std::string("sounds/") + sound.name + ".wav";
}

// TOML basic string: the texts here hold no quotes, backslashes or controls,
// which is checked rather than escaped.
std::string Quoted(const std::string& text)
{
    for (char c : text)
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            throw std::runtime_error("text needs escaping in TOML: " + text);
    return "\"" + text + "\"";
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string ManifestText()
{
    const InformationTexts information = DemoInformation();
    std::string text =
        "# The demo archive, written by make_demo_content. Pack it with\n"
        "#   scrtool pack manifest.toml -o demo.brsc\n"
        "\n"
        "[archive]\n"
        "key-seed = " +
        Hex32(DemoKeySeed) +
        "\n"
        "block-size = 4096\n"
        "interleave = 4\n"
        "encryption = \"whole\"\n"
        "\n"
        "[information]\n"
        "name = " +
        Quoted(information.name) +
        "\n"
        "version = " +
        Quoted(information.version) +
        "\n"
        "notice = [" +
        Quoted(information.notice1) + ", " + Quoted(information.notice2) +
        "]\n"
        "about-picture = " +
        std::to_string(information.aboutPicture) +
        "\n"
        "encryption = \"plain\"\n"
        "\n"
        "[scenario]\n"
        "file = \"scenario.txt\"\n";
    for (const DemoPicture& picture : DemoPictures()) {
        text += "\n[[picture]]\n";
        text += "id = " + std::to_string(picture.id) + "\n";
        text += "file = " + Quoted(PictureFileName(picture)) + "\n";
        text += "storage = " + Quoted(picture.stored.storage) + "\n";
        text += "depth = " + std::to_string(picture.stored.depth) + "\n";
        if (picture.stored.depth <= 8) text += "palette = \"quantise\"\n";
        text += "encryption = " + Quoted(picture.stored.encryption) + "\n";
    }
    for (const DemoSound& sound : DemoSounds()) {
        text += "\n[[sound]]\n";
        text += "id = " + std::to_string(sound.id) + "\n";
        text += "file = " + Quoted(SoundFileName(sound)) + "\n";
        text += "encryption = " + Quoted(sound.encryption) + "\n";
    }
    return text;
}

// Half the size, each pixel the mean of a 2 x 2 block.
void WritePreview(const fs::path& path, const DirectBmpControl& picture)
{
    const int width = std::max(1, picture.Width / 2), height = std::max(1, picture.Height / 2);
    DirectBmpControl half;
    if (!half.Allocate(width, height, TPixelFormat::Bits32)) throw std::runtime_error("cannot allocate a preview");
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int channel = 0; channel < 4; ++channel) {
                int sum = 0;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i)
                        sum += picture.Rows[std::min(2 * y + j, picture.Height - 1)]
                                           [4 * std::min(2 * x + i, picture.Width - 1) + channel];
                half.Rows[y][4 * x + channel] = static_cast<uint8_t>((sum + 2) / 4);
            }
        }
    }
    WriteImageFile(path, half, ImageFileFormat::Png);
}

struct Job {
    Job(std::string name, std::function<void()> run) : name(std::move(name)), run(std::move(run)) {}
    std::string name;
    std::function<void()> run;
    double seconds = 0;
    std::exception_ptr failure;
};

// Runs the jobs on up to `threads` threads; each job's failure is kept.
void RunJobs(std::vector<Job>& jobs, unsigned threads)
{
    std::atomic<size_t> next{0};
    const auto worker = [&] {
        for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            const auto start = std::chrono::steady_clock::now();
            try {
                jobs[i].run();
            } catch (...) {
                jobs[i].failure = std::current_exception();
            }
            jobs[i].seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
}

int Run(const fs::path& folder, bool verbose, const fs::path& previews)
{
    const auto start = std::chrono::steady_clock::now();
    fs::create_directories(folder / "pictures");
    fs::create_directories(folder / "sounds");
    fs::remove(folder / "manifest.toml");
    if (!previews.empty()) fs::create_directories(previews);

    // Checked here, so that a mistake shows up in the generator's own words
    // before the pack step reads the files.
    BuildInformationBlock(DemoInformation());
    const std::string scenario = DemoScenarioText();
    CompileScenarioText(scenario);

    std::vector<Job> jobs;
    for (const DemoPicture& picture : DemoPictures()) {
        jobs.emplace_back(PictureFileName(picture), [&folder, &picture, &previews] {
            DirectBmpControl buffer;
            picture.paint(buffer, picture.width, picture.height);
            if (buffer.Width != picture.width || buffer.Height != picture.height || buffer.BitsPerPixel != 32)
                throw std::runtime_error("the painter made a picture of the wrong size");
            if (!previews.empty()) WritePreview(previews / (std::string(picture.name) + ".png"), buffer);
            const fs::path path = folder / PictureFileName(picture);
            if (std::string(picture.stored.storage) == "jpeg")
                WriteWholeFile(path, EncodeJpeg(buffer, JpegQuality));
            else
                WriteImageFile(path, buffer, ImageFileFormat::Png);
        });
    }
    for (const DemoSound& sound : DemoSounds()) {
        jobs.emplace_back(SoundFileName(sound),
                          [&folder, &sound] { WriteWholeFile(folder / SoundFileName(sound), sound.make()); });
    }
    jobs.emplace_back("scenario.txt", [&folder, &scenario] { WriteWholeFile(folder / "scenario.txt", scenario); });

    RunJobs(jobs, std::max(1u, std::thread::hardware_concurrency()));
    bool failed = false;
    for (const Job& job : jobs) {
        if (job.failure) {
            failed = true;
            try {
                std::rethrow_exception(job.failure);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "make_demo_content: %s: %s\n", (folder / job.name).string().c_str(), error.what());
            }
        } else if (verbose) {
            std::printf("  %-28s %6.2f s\n", job.name.c_str(), job.seconds);
        }
    }
    if (failed) return 1;
    // The manifest last: its presence says the rest is complete.
    WriteWholeFile(folder / "manifest.toml", ManifestText());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("make_demo_content: %zu pictures, %zu sounds and the scenario in %s (%.1f s)\n", DemoPictures().size(),
                DemoSounds().size(), folder.string().c_str(), seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool verbose = std::erase(arguments, std::string("--verbose")) > 0;
    fs::path previews;
    const auto option = std::find(arguments.begin(), arguments.end(), std::string("--previews"));
    if (option != arguments.end() && option + 1 != arguments.end()) {
        previews = *(option + 1);
        arguments.erase(option, option + 2);
    }
    if (arguments.size() != 1 || arguments[0].empty() || arguments[0][0] == '-') {
        std::fputs("usage: make_demo_content FOLDER [--verbose] [--previews DIR]\n", stderr);
        return 2;
    }
    try {
        return Run(arguments[0], verbose, previews);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_demo_content: %s\n", error.what());
        return 1;
    }
}
