#include "tests/support/ScrtoolRun.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::string ReadTextFile(const fs::path& path)
{
    std::ifstream input(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path)
{
    std::ifstream input(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

size_t LineCount(const std::string& text)
{
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

std::string ShellQuote(const std::string& text)
{
#ifdef _WIN32
    return "\"" + text + "\"";
#else
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

void ScrtoolFixture::SetUp()
{
    const char* tool = std::getenv("SCRTOOL");
    ASSERT_NE(tool, nullptr) << "SCRTOOL must name the built scrtool";
    tool_ = tool;
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("scrtool_" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(folder_);
}

void ScrtoolFixture::TearDown()
{
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string ScrtoolFixture::Write(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const fs::path path = folder_ / name;
    std::ofstream output(path, std::ios::binary);
    output.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

RunResult ScrtoolFixture::Run(const std::vector<std::string>& arguments, const fs::path& directory,
                              [[maybe_unused]] unsigned timeLimitSeconds)
{
    const fs::path out = folder_ / "stdout.bin";
    const fs::path err = folder_ / "stderr.txt";
    std::string command = directory.empty() ? "" : "cd " + ShellQuote(directory.string()) + " && ";
#ifndef _WIN32
    // coreutils' timeout: status 124 when the limit stopped the tool, 137
    // when it had to be killed after that.
    if (timeLimitSeconds > 0) command += "timeout -k 5 " + std::to_string(timeLimitSeconds) + " ";
#endif
    command += ShellQuote(tool_);
    for (const std::string& argument : arguments) command += " " + ShellQuote(argument);
    command += " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
    const int status = std::system(command.c_str());
    RunResult result;
#ifdef _WIN32
    result.exitCode = status;
#else
    result.crashed = !WIFEXITED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.timedOut = timeLimitSeconds > 0 && (result.exitCode == 124 || result.exitCode == 137);
#endif
    result.out = ReadTextFile(out);
    result.err = ReadTextFile(err);
    return result;
}

#ifndef _WIN32
ScrtoolFixture::LimitedRun ScrtoolFixture::RunLimited(const std::vector<std::string>& arguments,
                                                      uint64_t addressSpaceBytes)
{
    const std::string out = (folder_ / "stdout.bin").string();
    const std::string err = (folder_ / "stderr.txt").string();
    // Everything the child needs is made before the fork: between fork and
    // exec it calls only functions that are safe there.
    std::vector<std::string> words{tool_};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const rlimit limit{static_cast<rlim_t>(addressSpaceBytes), static_cast<rlim_t>(addressSpaceBytes)};

    LimitedRun result;
    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return result;
    }
    if (child == 0) {
        const int outFile = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFile = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFile < 0 || errFile < 0 || dup2(outFile, 1) < 0 || dup2(errFile, 2) < 0) _exit(125);
        if (addressSpaceBytes != 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(125);
        execv(argv[0], argv.data());
        _exit(126);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "wait4 failed";
            return result;
        }
    }
    result.crashed = !WIFEXITED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadTextFile(out);
    result.err = ReadTextFile(err);
    result.peakResidentBytes = static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // Linux counts kilobytes
    return result;
}
#endif
