// ScenarioText: the text form of a scenario, for authors (pack) and for the
// way back (unpack). Text → records and records → text; records → text →
// records gives back every record exactly, reserved bytes included.
//
// Syntax, one record per line:
//
//   # The opening of the demo: effect from the settings, then one of three
//   # sections at random.
//   wait 0
//   effect setting:1
//   area 0 0                          # 0 = the whole viewer
//   random-jump calm lively quiet
//
//   calm:
//   show 1000 speed 2 sound 1021      # picture 1000, one sound after it
//   wait setting:0
//   show 1001 speed setting:2 sound 1022 1023 1024   # one of three at random
//   wait 5 delay 250
//   random-jump lively quiet
//
//   lively: show 1010 speed 4
//   ...
//
// - `#` starts a comment up to the end of the line; blank lines are ignored.
// - `NAME:` names the next record, on a line of its own or in front of a
//   command. Names start with a letter or '_' and go on with letters,
//   digits, '_' and '-'; "delay" is not a name. Jump targets are names or
//   record numbers (counted from 0); a number must be a record of the
//   scenario.
// - Arguments marked N may be written `setting:N` instead: the record then
//   takes the value from slot N of the user's settings (word slots 0..7;
//   0 waiting time, 1 effect, 2 effect speed).
//
//   wait SECONDS                 Wait: Arg1 = 0..32767 seconds | setting:N
//   shuffle                      ShufflePictures
//   show PICTURE [speed S] [sound A [B [C]]]
//                                ShowPicture: Values[0] = PICTURE (0 or
//                                more), Arg1 = S (0..4 | setting:N, 0 when
//                                left out), Values[1..3] = sounds, 1 or more
//                                (one of them is played after the transition)
//   effect E                     SetEffect: 0 none, 1 fade, 2 rectangle
//                                averaging, 3 monochrome fade, 4 sepia fade
//                                | setting:N
//   sound ID                     PlaySound: Values[0] = ID (0 or more), or
//                                setting:N with N a value slot 0..9
//   volume V                     SetVolume: 0..5 | setting:N
//   jump TARGET                  Jump: Values[0] = record number
//   area WIDTH HEIGHT            SetPictureArea: 0..32767 pixels each, 0 =
//                                the whole viewer | setting:N each
//   random-jump T1 [T2 [T3]]     RandomJump: Arg1 = number of targets
//   raw CODE [FIELD=VALUE ...]   any record, field by field, unchecked:
//                                argflags, valueflags, reserved3, arg1, arg2,
//                                reserved12, v0 .. v5; fields left out are 0.
//                                Numbers are decimal or 0x hexadecimal (a
//                                bit pattern of the field's width); v0..v5
//                                also take a label. Used for codes 2, 3, 4
//                                and 12..255 and for records that the forms
//                                above cannot express.
//
//   Any command may end with `delay MS`: the record's Delay in
//   milliseconds, a multiple of 10 (the player's step), at most 42949672950.
//
//   Two lines that are not records keep the rest of the entry:
//   header B0 B1 ... B13         the 14 header bytes in hex (zero if absent)
//   trailing B ...               bytes kept after the last record, in hex;
//                                lines add up.
//
// Errors are thrown as ScenarioTextError, the first one found, with its line
// number; what() reads "LINE: reason", for example
// "12: unknown command 'shw'".
//
// The describer writes the readable form wherever it says the record
// exactly and the raw form otherwise, and gives every record that a jump or
// random jump targets a label "section_N" (N = its record number).
#pragma once

#include "scenario/ScenarioRecord.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class ScenarioTextError : public std::runtime_error {
public:
    ScenarioTextError(int line, const std::string& reason)
        : std::runtime_error(std::to_string(line) + ": " + reason), line_(line), reason_(reason)
    {
    }

    int line() const { return line_; }
    const std::string& reason() const { return reason_; }

private:
    int line_;
    std::string reason_;
};

// Text → scenario (header, records, trailing bytes). Throws
// ScenarioTextError; a text without records, or with more than
// ScenarioMaxRecords, is refused as well.
Scenario CompileScenarioText(std::string_view text);

// Scenario → text that CompileScenarioText turns back into the same scenario
// (for 1 to ScenarioMaxRecords records, the scenarios an entry can hold).
std::string DescribeScenario(const Scenario& scenario);

// Entry bytes of a scenario ("SSSc" entry 1000). Throws std::invalid_argument
// for a record count the entry cannot hold.
std::vector<uint8_t> ScenarioEntryBytes(const Scenario& scenario);
// Compiles and serialises. Throws ScenarioTextError.
std::vector<uint8_t> ScenarioEntryBytes(std::string_view text);
// Parses an entry and describes it. Throws std::invalid_argument with the
// reason when the entry is malformed.
std::string DescribeScenarioEntry(std::span<const uint8_t> entry);
