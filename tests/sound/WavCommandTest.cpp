// scrtool wav as its users run it (the built program, path in $SCRTOOL):
// the key=value description of a sound, a broken sound described and
// failed with one line, and a missing sound.

#include "tests/sound/SoundTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class WavCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tool = std::getenv("SCRTOOL");
        if (!tool) GTEST_SKIP() << "SCRTOOL does not name the built scrtool";
        tool_ = tool;
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("wav_command_test_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }

    std::string WriteArchive(SoundArchiveBytes& sounds)
    {
        const fs::path path = folder_ / "sounds.brsc";
        const std::vector<uint8_t> bytes = sounds.Build();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    struct Result {
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    Result Run(const std::string& archive, const std::string& id)
    {
        const fs::path out = folder_ / "out.txt";
        const fs::path err = folder_ / "err.txt";
        const std::string command =
            "'" + tool_ + "' wav '" + archive + "' '" + id + "' >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        Result result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::stringstream outText, errText;
        outText << std::ifstream(out).rdbuf();
        errText << std::ifstream(err).rdbuf();
        result.out = outText.str();
        result.err = errText.str();
        return result;
    }

    std::string tool_;
    fs::path folder_;
};

TEST_F(WavCommandTest, DescribesASoundAsThePlayerLoadsIt)
{
    SoundArchiveBytes sounds;
    sounds.Add(5, WaveEntry().Format(PcmFormat(2, 44100, 16)).Data(SampleBytes(100000)).Bytes());
    const Result result = Run(WriteArchive(sounds), "5");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "format_tag=1\nchannels=2\nsamples_per_sec=44100\navg_bytes_per_sec=176400\nblock_align=4\n"
              "bits_per_sample=16\nframe_bytes=4\nbuffer_bytes=352800\nduration_ms=566\ndata_length=100000\nstatus=0\n");
}

TEST_F(WavCommandTest, ABrokenSoundIsDescribedAndFails)
{
    SoundArchiveBytes sounds;
    sounds.Add(1, WaveEntry().Format(PcmFormat(1, 8000, 8)).Chunk("junk", {}, 0x80000000).Data(SampleBytes(10)).Bytes());
    const std::string archive = WriteArchive(sounds);
    const Result result = Run(archive, "1");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("data_length=0\nstatus=-1\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "scrtool: " + archive + ": sound 1 does not load: chunk size of 2^31 bytes or more\n");

    const Result missing = Run(archive, "2");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "scrtool: " + archive + ": no sound 2\n");
}

}  // namespace
