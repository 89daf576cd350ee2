#include "platform/FileReplace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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
    static bool Put(FileReplacement& file, const std::string& text)
    {
        return file.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    // Every name in the folder with what it is: its text, where its link
    // leads, or its kind; a snapshot to compare before and after.
    std::map<std::string, std::string> Listing() const
    {
        std::map<std::string, std::string> listing;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
            const fs::file_status status = entry.symlink_status();
            std::string& what = listing[entry.path().filename().string()];
            if (fs::is_symlink(status)) what = "link to " + fs::read_symlink(entry.path()).string();
            else if (fs::is_regular_file(status)) what = "file " + Read(entry.path());
            else if (fs::is_directory(status)) what = "folder";
            else what = "other";
        }
        return listing;
    }
    static fs::perms Permissions(const fs::path& path) { return fs::symlink_status(path).permissions(); }

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

TEST_F(FileReplaceTest, StreamedPiecesReplaceTheTargetOnlyAtCommit)
{
    const fs::path target = In("settings.ini");
    Write(target, "old");
    int replacements = 0;
    FileReplaceOptions options;
    options.faults.replacements = &replacements;
    FileReplacement file;
    ASSERT_TRUE(file.Open(target, options)) << file.ErrorText();
    // The name that RemoveLeftoverReplacements takes for this process's.
    const std::string prefix = "settings.ini." + std::to_string(::getpid()) + "-";
    EXPECT_EQ(file.NewFile().parent_path(), folder_);
    EXPECT_EQ(file.NewFile().filename().string().rfind(prefix, 0), 0u) << file.NewFile();
    EXPECT_TRUE(file.NewFile().filename().string().ends_with(".new")) << file.NewFile();

    for (const char* piece : {"one ", "", "two ", "three"}) ASSERT_TRUE(Put(file, piece));
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Read(file.NewFile()), "one two three");
    ASSERT_TRUE(file.Commit()) << file.ErrorText();
    EXPECT_EQ(Read(target), "one two three");
    EXPECT_EQ(replacements, 1);
    EXPECT_EQ(FilesInFolder(), 1u);
    EXPECT_TRUE(file.NewFile().empty());

    // Done: nothing more goes anywhere.
    EXPECT_FALSE(Put(file, "more"));
    EXPECT_EQ(file.Error().failure, FileReplaceFailure::NotOpen);
    EXPECT_EQ(Read(target), "one two three");
}

TEST_F(FileReplaceTest, AReplacementLeftWithoutCommitChangesNothing)
{
    struct Case {
        const char* name;
        bool targetExists;
        bool abandonFirst;  // Abandon() before the replacement goes out of scope
    } const cases[] = {
        {"destroyed, old file", true, false},
        {"abandoned, old file", true, true},
        {"destroyed, no file yet", false, false},
        {"abandoned, no file yet", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = In("settings.ini");
        fs::remove(target);
        if (c.targetExists) Write(target, "old");
        const auto before = Listing();
        {
            FileReplacement file;
            ASSERT_TRUE(file.Open(target));
            ASSERT_TRUE(Put(file, "new text"));
            ASSERT_TRUE(fs::exists(file.NewFile()));
            if (c.abandonFirst) {
                file.Abandon();
                EXPECT_FALSE(file.Commit());
                EXPECT_EQ(file.Error().failure, FileReplaceFailure::NotOpen);
            }
        }
        EXPECT_EQ(Listing(), before);
    }
}

TEST_F(FileReplaceTest, OptionsDecideWhichFileIsReplacedAndItsPermissions)
{
    const mode_t umask = ::umask(0);
    ::umask(umask);
    const auto defaultPermissions = static_cast<fs::perms>(0666 & ~umask);
    const auto kept = static_cast<fs::perms>(0640);
    const auto readOnly = static_cast<fs::perms>(0440);

    struct Case {
        const char* name;
        const char* target;
        FileReplaceOptions options;
        fs::perms realPermissions;     // of real.ini before
        const char* replaced;          // the name that holds the new text after
        fs::perms expectedPermissions;  // of that file
    };
    FileReplaceOptions noKeep;
    noKeep.keepPermissions = false;
    FileReplaceOptions given;
    given.permissions = static_cast<fs::perms>(0750);
    FileReplaceOptions noFollow;
    noFollow.followLink = false;
    FileReplaceOptions readOnlyAllowed;
    readOnlyAllowed.refuseReadOnly = false;
    const Case cases[] = {
        {"the target's bits carry over", "real.ini", {}, kept, "real.ini", kept},
        {"or the new file's own", "real.ini", noKeep, kept, "real.ini", defaultPermissions},
        {"bits given win", "real.ini", given, kept, "real.ini", static_cast<fs::perms>(0750)},
        {"a link stays and its file is replaced", "link.ini", {}, kept, "real.ini", kept},
        {"a link not followed gives way", "link.ini", noFollow, kept, "link.ini", defaultPermissions},
        {"a dangling link not followed gives way", "dangling.ini", noFollow, kept, "dangling.ini", defaultPermissions},
        {"a read-only file allowed stays read-only", "real.ini", readOnlyAllowed, readOnly, "real.ini", readOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) fs::remove(entry.path());
        Write(In("real.ini"), "old");
        fs::permissions(In("real.ini"), c.realPermissions);
        fs::create_symlink("real.ini", In("link.ini"));
        fs::create_symlink("nowhere.ini", In("dangling.ini"));
        std::map<std::string, std::string> expected = Listing();
        expected[c.replaced] = "file new";

        FileReplacement file;
        ASSERT_TRUE(file.Open(In(c.target), c.options)) << file.ErrorText();
        ASSERT_TRUE(Put(file, "new"));
        ASSERT_TRUE(file.Commit()) << file.ErrorText();
        EXPECT_EQ(Listing(), expected);
        EXPECT_EQ(Permissions(In(c.replaced)), c.expectedPermissions);
    }
}

TEST_F(FileReplaceTest, FailuresSayWhyAndLeaveTheFolderAsItWas)
{
    fs::create_directory(In("folder.ini"));
    ASSERT_EQ(::mkfifo(In("fifo.ini").c_str(), 0600), 0);
    fs::create_symlink("nowhere/at/all.ini", In("dangling.ini"));
    fs::create_symlink("loop-b.ini", In("loop-a.ini"));
    fs::create_symlink("loop-a.ini", In("loop-b.ini"));
    Write(In("plain"), "a file, not a folder");
    const std::string folder = folder_.string();

    struct Case {
        const char* target;
        FileReplaceFailure failure;
        std::optional<std::errc> system;
        std::string text;  // after the target's name and ": "
    } const cases[] = {
        {"folder.ini", FileReplaceFailure::TargetIsFolder, std::nullopt, "is a folder"},
        {"fifo.ini", FileReplaceFailure::TargetIsNotAFile, std::nullopt, "is a pipe, a device or a socket, not a file"},
        {"dangling.ini", FileReplaceFailure::DanglingLink, std::errc::no_such_file_or_directory,
         "is a symbolic link that leads nowhere: No such file or directory"},
        {"loop-a.ini", FileReplaceFailure::DanglingLink, std::errc::too_many_symbolic_link_levels,
         "is a symbolic link that leads nowhere: Too many levels of symbolic links"},
        {"missing/settings.ini", FileReplaceFailure::CannotCreate, std::errc::no_such_file_or_directory,
         "cannot create a file in " + folder + "/missing: No such file or directory"},
        {"plain/settings.ini", FileReplaceFailure::CannotCreate, std::errc::not_a_directory,
         "cannot create a file in " + folder + "/plain: Not a directory"},
    };
    const auto before = Listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        FileReplacement file;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(file.Open(In(c.target)));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "waited on the FIFO";
        EXPECT_EQ(file.Error().failure, c.failure);
        if (c.system) EXPECT_EQ(file.Error().system, std::make_error_code(*c.system));
        else EXPECT_FALSE(file.Error().system);
        EXPECT_EQ(file.ErrorText(), In(c.target).string() + ": " + c.text);
        // Later steps fail too, and keep the first reason.
        EXPECT_FALSE(Put(file, "text"));
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Error().failure, c.failure);
    }
    EXPECT_EQ(Listing(), before);
}

TEST_F(FileReplaceTest, WhatMayNotBeWrittenIsRefusedWithTheReason)
{
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not hold for root";
    Write(In("read-only.ini"), "kept");
    fs::permissions(In("read-only.ini"), fs::perms::owner_read);
    fs::create_directory(In("locked"));
    Write(In("locked/settings.ini"), "kept");
    fs::permissions(In("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_symlink("locked/settings.ini", In("into-locked.ini"));
    const std::string locked = (fs::canonical(folder_) / "locked").string();

    struct Case {
        const char* target;
        FileReplaceFailure failure;
        std::string text;  // after the target's name and ": "
    } const cases[] = {
        {"read-only.ini", FileReplaceFailure::TargetReadOnly, "cannot be opened for writing: Permission denied"},
        {"locked/settings.ini", FileReplaceFailure::CannotCreate,
         "cannot create a file in " + In("locked").string() + ": Permission denied"},
        // The folder named is where the new file was to go: where the link leads.
        {"into-locked.ini", FileReplaceFailure::CannotCreate, "cannot create a file in " + locked + ": Permission denied"},
    };
    const auto before = Listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        FileReplacement file;
        EXPECT_FALSE(file.Open(In(c.target)));
        EXPECT_EQ(file.Error().failure, c.failure);
        EXPECT_EQ(file.Error().system, std::make_error_code(std::errc::permission_denied));
        EXPECT_EQ(file.ErrorText(), In(c.target).string() + ": " + c.text);
    }
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(Read(In("locked/settings.ini")), "kept");
    fs::permissions(In("locked"), fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(In("locked")), {}), 1);
}

// A file size limit makes the system refuse writes as a full disk would,
// without a disk to fill.
TEST_F(FileReplaceTest, AWriteThatFailsLeavesTheTargetAndNoNewFile)
{
    const fs::path target = In("picture.pam");
    Write(target, "old");
    FileReplacement file;
    ASSERT_TRUE(file.Open(target));
    ASSERT_TRUE(Put(file, "header "));

    rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = 1024;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = Put(file, std::string(4096, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(file.Error().failure, FileReplaceFailure::CannotWrite);
    EXPECT_EQ(file.Error().system, std::make_error_code(std::errc::file_too_large));
    EXPECT_EQ(file.ErrorText(), target.string() + ": cannot write: File too large");
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileReplaceTest, FaultsStopAStreamWhereTheyAreSet)
{
    const fs::path target = In("settings.ini");
    Write(target, "old");
    {
        // The crash comes in the second piece: the bytes before it count.
        FileReplaceOptions crash;
        crash.faults.crashAfterBytes = 5;
        FileReplacement file;
        ASSERT_TRUE(file.Open(target, crash));
        EXPECT_TRUE(Put(file, "abc"));
        const fs::path leftover = file.NewFile();
        EXPECT_FALSE(Put(file, "defgh"));
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(Read(leftover), "abcde") << "a crash leaves its partial file";
        fs::remove(leftover);
    }
    FileReplaceOptions refuse;
    refuse.faults.refuseReplace = true;
    FileReplacement file;
    ASSERT_TRUE(file.Open(target, refuse));
    EXPECT_TRUE(Put(file, "new"));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Error().failure, FileReplaceFailure::CannotReplace);
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileReplaceTest, TheNextWriterRemovesTheNewFileOfOneThatDied)
{
    const fs::path target = In("picture.png");
    Write(target, "old");
    const pid_t child = ::fork();
    if (child == 0) {
        FileReplacement file;
        const bool opened = file.Open(target) && Put(file, "partial");
        ::_exit(opened ? 0 : 1);  // no destructor runs: the new file stays, as after a crash
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(FilesInFolder(), 2u);

    FileReplacement file;
    ASSERT_TRUE(file.Open(target));
    EXPECT_EQ(Listing(), (std::map<std::string, std::string>{{"picture.png", "file old"},
                                                             {file.NewFile().filename().string(), "file "}}));
    ASSERT_TRUE(Put(file, "new") && file.Commit());
    EXPECT_EQ(Listing(), (std::map<std::string, std::string>{{"picture.png", "file new"}}));
}

TEST(ProcessIsRunning, TellsRunningFromEndedProcesses)
{
    EXPECT_TRUE(ProcessIsRunning(static_cast<uint32_t>(::getpid())));
    EXPECT_FALSE(ProcessIsRunning(EndedProcessId()));
    EXPECT_FALSE(ProcessIsRunning(0));
}

}  // namespace
