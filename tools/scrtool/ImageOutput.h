// ImageOutput: where picture and transition write their picture: a file
// (PNG or PAM) or, for OUT "-", standard output.
//
// The format is --format's when given ("png" or "pam"), else the file name's
// extension; standard output without --format takes PNG. A file name whose
// extension names the other format than --format is a usage error, as is a
// file name without either extension and without --format. A picture is
// never written to a terminal: that is refused before any work is done.
#pragma once

#include "imaging/DirectBmpControl.h"
#include "tools/authoring/ImageFileWriter.h"

#include <optional>
#include <string>

struct ImageOutput {
    std::string path;  // "-" for standard output
    ImageFileFormat format = ImageFileFormat::Png;
};

// Sets output from OUT and --format's value (nothing when not given).
// Returns ExitSuccess, or the status after reporting the problem.
int ResolveImageOutput(const std::string& command, const std::string& out, const std::optional<std::string>& format,
                       ImageOutput& output);

// Writes the buffer; on failure prints one line and returns false.
bool WriteImageOutput(const ImageOutput& output, const DirectBmpControl& buffer);
