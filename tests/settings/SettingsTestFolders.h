// Folders for settings tests: a fresh program folder and documents folder
// under the system's temporary folder, removed again at the end, so that no
// test touches the real home or program folder.
#pragma once

#include "settings/PreferenceEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

class SettingsFolders {
public:
    SettingsFolders()
    {
        static int counter = 0;
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test ? test->name() : "test";
        for (char& c : name)
            if (c == '/') c = '_';  // parameterised tests are named "Case/0"
        root_ = std::filesystem::temp_directory_path() / ("kamishibai-settings-" + std::to_string(::getpid()) + "-" +
                                                          std::to_string(counter++) + "-" + name);
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(ProgramFolder());
        std::filesystem::create_directories(DocumentsFolder());
    }
    ~SettingsFolders()
    {
        std::error_code ignored;
        // Read-only files and folders made by a test must not stop the clean-up.
        std::filesystem::permissions(ProgramFolder(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    SettingsFolders(const SettingsFolders&) = delete;
    SettingsFolders& operator=(const SettingsFolders&) = delete;

    std::filesystem::path ProgramFolder() const { return root_ / "program"; }
    std::filesystem::path DocumentsFolder() const { return root_ / "documents"; }
    std::filesystem::path ProgramFile() const { return ProgramFolder() / "saver.scr"; }

    PreferenceEnvironment Environment() const
    {
        PreferenceEnvironment environment;
        environment.programFile = ProgramFile();
        environment.programFolder = ProgramFolder();
        environment.documentsFolder = DocumentsFolder();
        // The file tests are about the ini store whatever the build's default.
        environment.store = PreferenceStoreKind::IniFile;
        return environment;
    }

private:
    std::filesystem::path root_;
};

inline void WriteTextFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    ASSERT_TRUE(file.good()) << path;
}

inline std::string ReadTextFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
