// ArchiveUnpacker: an archive back into a manifest and the files it names
// (scrtool unpack), so that scrtool pack of the manifest rebuilds an archive
// with the same entries.
//
// What goes where in DIR:
//   manifest.toml            the archive's options (identification, kind, key
//                            seed, block size, interleave; the default
//                            encryption is the mode most entries use), the
//                            information block's texts, and one table per
//                            scenario, picture and sound with its own
//                            encryption mode
//   scenario.txt             "SSSc" 1000 as scenario text (ScenarioText.h)
//   pictures/ID.png          an "SGBm" entry stored raw, LZSS or zlib: the
//                            picture as the loader makes it in 32 bits; the
//                            manifest keeps its storage and depth, and for
//                            depths up to 8 palette "grey" when the stored
//                            palette is the grey ramp, else "quantise"
//   pictures/ID.jpg          a JPEG entry: the stream exactly as stored (the
//                            bytes after the header and the palette)
//   sounds/ID.wav            an "SSWv" entry's bytes exactly as stored
//
// What a rebuild cannot give back is listed in the summary's notes, one
// sentence each: palettes of pictures that were not grey (the picture's
// colours come back, their order in the palette may not), alpha other than
// 255 (PNG is written without alpha), depths 2 and 15 (packed as 4 and 16),
// strides and header bytes beyond what a well-formed entry has, entry
// prefixes and suffixes, entries that have no place in a manifest (other
// groups, other ids of the scenario and information groups, a second entry
// with the same id), information text bytes that are not Shift-JIS.
//
// The directory must not exist or be empty, unless force is set: then files
// of the same names are replaced and other files are left alone. Every file
// is written to a temporary name beside it and renamed when complete, and the
// manifest is written last, so an unpack that fails leaves no manifest that
// names missing files.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

class UnpackError : public std::runtime_error {
public:
    // aboutEntry: the message starts with the entry ("SGBm 12: ..."), to be
    // put behind the archive's name; otherwise it names a file or folder.
    UnpackError(const std::string& what, bool aboutEntry) : std::runtime_error(what), aboutEntry_(aboutEntry) {}
    bool AboutEntry() const { return aboutEntry_; }

private:
    bool aboutEntry_;
};

struct UnpackOptions {
    bool force = false;  // write into a folder that is not empty
};

struct UnpackSummary {
    uint32_t pictures = 0;
    uint32_t sounds = 0;
    bool scenario = false;
    bool information = false;
    std::vector<std::string> notes;
};

UnpackSummary UnpackArchive(ResArchive& archive, const std::filesystem::path& directory,
                            const UnpackOptions& options = {});
