#include "platform/FileReplace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class FileReplaceTest : public testing::Test {
protected:
    FileReplaceTest()
    {
        static int counter = 0;
        folder_ = fs::temp_directory_path() /
                  ("kamishibai-replace-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~FileReplaceTest() override
    {
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }

    fs::path In(const std::string& name) const { return folder_ / name; }
    static void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    static std::string Read(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    static bool Replace(const fs::path& target, const std::string& text, const FileReplaceFaults& faults = {})
    {
        return ReplaceFileContents(target, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                                   faults);
    }
    size_t FilesInFolder() const { return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {})); }

    fs::path folder_;
};

// The id of a process that has ended: a child that exits at once.
uint32_t EndedProcessId()
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<uint32_t>(child);
}

TEST_F(FileReplaceTest, ReplacesTheWholeFileOnceAndLeavesNothingBeside)
{
    const fs::path target = In("settings.ini");
    Write(target, "old text that is longer than the new one");
    int replacements = 0;
    FileReplaceFaults faults;
    faults.replacements = &replacements;
    ASSERT_TRUE(Replace(target, "new", faults));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(replacements, 1);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileReplaceTest, RefusesWhatIsNotAFileWithoutWaitingOrChangingIt)
{
    // A FIFO nobody reads: opening it for writing would wait for ever.
    const fs::path fifo = In("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = In("folder.ini");
    fs::create_directory(folder);
    const fs::path dangling = In("dangling.ini");
    fs::create_symlink(In("nowhere/at/all.ini"), dangling);

    for (const fs::path& target : {fifo, folder, dangling}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Replace(target, "text")) << target;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << target;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_FALSE(fs::exists(In("nowhere")));
    EXPECT_EQ(FilesInFolder(), 3u) << "a new file was left behind";
}

TEST_F(FileReplaceTest, AFileOrFolderThatMayNotBeWrittenStaysAsItWas)
{
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not hold for root";
    const fs::path readOnly = In("read-only.ini");
    Write(readOnly, "kept");
    fs::permissions(readOnly, fs::perms::owner_read);
    const fs::path unreadable = In("unreadable.ini");
    Write(unreadable, "kept");
    fs::permissions(unreadable, fs::perms::none);
    EXPECT_FALSE(Replace(readOnly, "new"));
    EXPECT_FALSE(Replace(unreadable, "new"));
    EXPECT_EQ(Read(readOnly), "kept");
    fs::permissions(unreadable, fs::perms::owner_read);
    EXPECT_EQ(Read(unreadable), "kept");

    const fs::path lockedFolder = In("locked");
    fs::create_directory(lockedFolder);
    Write(lockedFolder / "settings.ini", "kept");
    fs::permissions(lockedFolder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Replace(lockedFolder / "settings.ini", "new"));
    EXPECT_EQ(Read(lockedFolder / "settings.ini"), "kept");
    fs::permissions(lockedFolder, fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(lockedFolder), {}), 1);
}

TEST_F(FileReplaceTest, RemovesTheLeftoversOfWritersThatCrashed)
{
    const fs::path target = In("settings.ini");
    Write(target, "old");
    const std::string ended = std::to_string(EndedProcessId());
    const std::string running = std::to_string(::getpid());
    struct Leftover {
        std::string name;
        bool removed;
    };
    const Leftover leftovers[] = {
        {"settings.ini." + ended + "-0.new", true},
        {"settings.ini." + ended + "-17.new", true},
        // A saver that is writing right now keeps its file.
        {"settings.ini." + running + "-999.new", false},
        // Not ours: other names, other targets.
        {"settings.ini." + ended + ".new", false},
        {"settings.ini.x-1.new", false},
        {"settings.ini." + ended + "-1.new.bak", false},
        {"other.ini." + ended + "-0.new", false},
    };
    for (const Leftover& leftover : leftovers) Write(In(leftover.name), "partial");

    ASSERT_TRUE(Replace(target, "new"));
    EXPECT_EQ(Read(target), "new");
    for (const Leftover& leftover : leftovers)
        EXPECT_EQ(fs::exists(In(leftover.name)), !leftover.removed) << leftover.name;
}

TEST_F(FileReplaceTest, ACrashLeavesTheOldFileAndItsLeftoverGoesLater)
{
    const fs::path target = In("settings.ini");
    Write(target, "old");
    FileReplaceFaults crash;
    crash.crashAfterBytes = 2;
    EXPECT_FALSE(Replace(target, "brand new", crash));
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(FilesInFolder(), 2u) << "the crash leaves its partial file";
    // This process still runs, so its own leftover is not a crash's yet.
    ASSERT_TRUE(Replace(target, "new"));
    EXPECT_EQ(FilesInFolder(), 2u);
}

TEST(ProcessIsRunning, TellsRunningFromEndedProcesses)
{
    EXPECT_TRUE(ProcessIsRunning(static_cast<uint32_t>(::getpid())));
    EXPECT_FALSE(ProcessIsRunning(EndedProcessId()));
    EXPECT_FALSE(ProcessIsRunning(0));
}

}  // namespace
