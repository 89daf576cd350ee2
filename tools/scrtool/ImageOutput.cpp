#include "tools/scrtool/ImageOutput.h"

#include "platform/StandardStreams.h"
#include "platform/Utf8Path.h"
#include "tools/scrtool/ToolSupport.h"

#include <cstdio>

namespace {

const char* FormatName(ImageFileFormat format)
{
    return format == ImageFileFormat::Png ? "png" : "pam";
}

}  // namespace

int ResolveImageOutput(const std::string& command, const std::string& out, const std::optional<std::string>& format,
                       ImageOutput& output)
{
    std::optional<ImageFileFormat> asked;
    if (format) {
        if (*format == "png") asked = ImageFileFormat::Png;
        else if (*format == "pam") asked = ImageFileFormat::Pam;
        else return ReportBadOption(command, "--format", "'png' or 'pam'", *format);
    }
    output.path = out;
    if (IsStandardOutput(out)) {
        output.format = asked.value_or(ImageFileFormat::Png);
        if (StandardOutputIsTerminal()) {
            ReportError("refusing to write a picture to a terminal (redirect standard output, or give a file name)");
            return ExitFailure;
        }
        return ExitSuccess;
    }
    const std::optional<ImageFileFormat> named = ImageFileFormatFor(PathFromUtf8(out));
    if (named && asked && *named != *asked)
        return ReportUsage(command, std::string("option '--format' says ") + FormatName(*asked) + ", but OUT '" + out +
                                        "' ends in ." + FormatName(*named));
    if (!named && !asked)
        return ReportUsage(command, "OUT must end in .png or .pam (or give --format), got '" + out + "'");
    output.format = asked ? *asked : *named;
    return ExitSuccess;
}

bool WriteImageOutput(const ImageOutput& output, const DirectBmpControl& buffer)
{
    try {
        if (!IsStandardOutput(output.path)) {
            WriteImageFile(PathFromUtf8(output.path), buffer, output.format);
            return true;
        }
        if (!WriteToStandardOutput(EncodeImage(buffer, output.format))) {
            ReportError("cannot write the picture to standard output");
            return false;
        }
    } catch (const ImageFileError& error) {
        ReportError(error.what());
        return false;
    }
    return true;
}
