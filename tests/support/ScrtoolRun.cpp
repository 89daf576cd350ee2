#include "tests/support/ScrtoolRun.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#ifndef _WIN32
#include <sys/wait.h>
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

RunResult ScrtoolFixture::Run(const std::vector<std::string>& arguments, const fs::path& directory)
{
    const fs::path out = folder_ / "stdout.bin";
    const fs::path err = folder_ / "stderr.txt";
    std::string command = directory.empty() ? "" : "cd " + ShellQuote(directory.string()) + " && ";
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
#endif
    result.out = ReadTextFile(out);
    result.err = ReadTextFile(err);
    return result;
}
