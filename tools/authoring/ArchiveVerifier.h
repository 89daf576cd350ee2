// ArchiveVerifier: checks every entry of an open archive the way the saver
// will use it (scrtool verify).
//
// - Pictures ("SGBm"): each must take no more memory than a picture may
//   (MaximumPictureBytes), have a stride that holds a whole row (raw, LZSS
//   and zlib rows), and load as stored (as the viewer loads it) and as a
//   32-bit picture (LoadPicture); a JPEG stream must have the header's size.
//   Packed rows must all be there.
// - Sounds ("SSWv"): each must pass the sound player's RIFF walk, with a
//   "fmt " chunk before its "data" chunk (else the sound would play in the
//   previous sound's format), a format the sound device plays
//   (PlayableFormatFault) and the samples inside the entry.
// - The scenario ("SSSc" 1000): its records must fit the entry, and the
//   record fields the player trusts must be in range: jump and random-jump
//   targets are records of the scenario, a random jump has 1 to 3 targets
//   (Arg1 mod 4), settings slots named by flagged arguments exist (word slots
//   0 to 7, value slots 0 to 9), and speeds given directly are 0 to 4.
// - The information block ("SSIf" 1000) holds at least 256 bytes.
// - Every entry's index record is readable, with a prefix and suffix that
//   fit its stored size.
// Entries of other groups and other ids are counted, not checked.
//
// Problems make an archive fail. Warnings do not: they name what the saver
// gets past quietly but an author will want to know (a scenario or
// information block that names a picture or sound the archive does not hold,
// no scenario at all, a group or an entry id that the index repeats, whose
// entries no look-up can reach).
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"
#include "sound/WaveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

// Index: about a whole group (the finding's id means nothing).
enum class VerifyCheck : uint8_t { Entry, Picture, Sound, Scenario, Information, Index };

struct VerifyFinding {
    VerifyCheck check = VerifyCheck::Entry;
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string reason;  // e.g. "picture does not decode (640x480, depth 8, lzss)"
    // The scenario record a finding is about (its reason then starts with
    // "record N: "), so that pack can point at the line of the scenario
    // text; -1 for anything else.
    int record = -1;
};

struct VerifyGroup {
    uint32_t tag = 0;
    uint32_t entries = 0;
    uint32_t checked = 0;  // entries this verifier knows how to check
    uint32_t problems = 0;
};

struct VerifyReport {
    std::vector<VerifyGroup> groups;  // in index order
    std::vector<VerifyFinding> problems;
    std::vector<VerifyFinding> warnings;
    bool hasScenario = false;
    bool hasInformation = false;

    bool Passed() const { return problems.empty(); }
};

VerifyReport VerifyArchive(ResArchive& archive);

// What verify, unpack and picture say of a picture over MaximumPictureBytes:
// "picture 7 is 16384 x 16384: larger than the 256 MB a picture may take".
std::string PictureTooLargeReason(uint32_t id, uint32_t width, uint32_t height);

// Why the sound device refuses a format (PlayableFormatFault), with the
// values at fault: "0 channels (it plays 1 to 8)".
std::string UnplayableFormatText(const WaveFormatFields& format, WaveFormatFault fault);
