// scrtool wav as its users run it (the built program, path in $SCRTOOL):
// the key=value description of a sound, a broken sound described and
// failed with one line, and a missing sound.

#include "tests/support/ScrtoolRun.h"
#include "tests/support/SoundTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class WavCommandTest : public ScrtoolFixture {
protected:
    std::string WriteArchive(const SoundArchiveBytes& sounds) { return Write("sounds.brsc", sounds.Build()); }
};

TEST_F(WavCommandTest, DescribesASoundAsThePlayerLoadsIt)
{
    SoundArchiveBytes sounds;
    sounds.Add(5, WaveEntry().Format(PcmFormat(2, 44100, 16)).Data(SampleBytes(100000)).Bytes());
    const RunResult result = Run({"wav", WriteArchive(sounds), "5"});
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
    const RunResult result = Run({"wav", archive, "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("data_length=0\nstatus=-1\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "scrtool: " + archive + ": sound 1 does not load: chunk size of 2^31 bytes or more\n");

    const RunResult missing = Run({"wav", archive, "2"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "scrtool: " + archive + ": no sound 2 (sounds: 1)\n");
}

}  // namespace
