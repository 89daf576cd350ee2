// One seed file of a fuzz target's corpus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

// Writes `bytes` to folder/name (the folder is made when missing); throws
// std::runtime_error when the file cannot be written whole.
void WriteSeed(const std::filesystem::path& folder, const std::string& name, std::span<const uint8_t> bytes);
