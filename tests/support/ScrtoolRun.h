// Running the built scrtool from tests: a fixture with a temporary folder of
// its own, removed afterwards, and the tool's exit status and output.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1;
    bool crashed = false;
    bool timedOut = false;  // stopped at its time limit
    std::string out;
    std::string err;
};

std::string ReadTextFile(const std::filesystem::path& path);
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
// The number of newline characters in the text.
size_t LineCount(const std::string& text);
// The argument quoted for the system's shell.
std::string ShellQuote(const std::string& text);

class ScrtoolFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file into the folder; returns its path.
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes);
    // Runs scrtool (named by the SCRTOOL environment variable) with the
    // arguments, in `directory` when one is given. With a time limit (POSIX
    // only) a tool that would hang is stopped then, so that the test fails
    // instead of hanging the suite.
    RunResult Run(const std::vector<std::string>& arguments, const std::filesystem::path& directory = {},
                  unsigned timeLimitSeconds = 0);

#ifndef _WIN32
    // Runs scrtool in a child process whose address space is limited to
    // addressSpaceBytes (setrlimit RLIMIT_AS; 0 for no limit), and measures
    // the most memory the child held resident at once. The measure starts
    // from the test program's own resident memory, which the child holds
    // between fork and exec.
    struct LimitedRun : RunResult {
        uint64_t peakResidentBytes = 0;
    };
    LimitedRun RunLimited(const std::vector<std::string>& arguments, uint64_t addressSpaceBytes);
#endif

    std::string tool_;
    std::filesystem::path folder_;
};
