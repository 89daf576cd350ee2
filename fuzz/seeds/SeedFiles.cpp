#include "fuzz/seeds/SeedFiles.h"

#include <fstream>
#include <stdexcept>

void WriteSeed(const std::filesystem::path& folder, const std::string& name, std::span<const uint8_t> bytes)
{
    std::filesystem::create_directories(folder);
    std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write seed " + (folder / name).string());
}
