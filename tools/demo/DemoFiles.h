// DemoFiles: writing the generator's output files: whole files through a
// temporary name (so that an interrupted run never leaves a half-written
// file for the pack step to read), and JPEG encoding with libjpeg.
#pragma once

#include "imaging/DirectBmpControl.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

class DemoFileError : public std::runtime_error {
public:
    explicit DemoFileError(const std::string& what) : std::runtime_error(what) {}
};

// Writes the bytes to a temporary file beside path and renames it over path.
void WriteWholeFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);
void WriteWholeFile(const std::filesystem::path& path, const std::string& text);

// A baseline JPEG of a 32-bit buffer (alpha left out), full-resolution
// chroma: the pictures have fine coloured lines that half-resolution chroma
// would smear. quality 1..100.
std::vector<uint8_t> EncodeJpeg(const DirectBmpControl& buffer, int quality);
