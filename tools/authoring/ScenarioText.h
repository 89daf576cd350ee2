// ScenarioText: the text form of a scenario, for authors (pack) and for the
// way back (unpack). Text → records and records → text; records → text →
// records gives back every record exactly, reserved bytes included.
//
// The language (one command per line, labels, `setting:N` arguments,
// `delay MS`, `raw` records, the `header` and `trailing` lines) is described
// for authors in docs/scenario-text.md; what each command compiles to is in
// the table there.
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
// ScenarioMaxRecords, is refused as well. With recordLines, it also gets the
// line (from 1) of each record's command, in record order, so that a finding
// about record N can point at the author's line.
Scenario CompileScenarioText(std::string_view text, std::vector<int>* recordLines = nullptr);

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
