// JPEG decoding with libjpeg(-turbo).
//
// libjpeg reports fatal errors through error_exit, which must not return; the
// default one calls exit(). Ours longjmps back into RunDecoder. Everything
// libjpeg touches lives in one DecodeJob that the caller owns, and RunDecoder
// (the frame that calls setjmp) holds no object with a destructor and changes
// no local after setjmp, so the jump skips no destructor and no local can be
// clobbered. The caller then destroys the libjpeg state and the row buffer.
#include "platform/JpegDecoder.h"

#include "platform/Stream.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <limits>
#include <memory>
#include <new>

#include <jpeglib.h>
// After jpeglib.h, which it needs: the message codes of the warnings.
#include <jerror.h>

namespace {

// Real encoders write about ten scans; a stream with many more is damaged or
// made to keep the decoder busy, since every scan passes over the whole image.
constexpr int MaximumJpegScans = 100;

struct DecodeJob {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    unsigned char* row;  // one output row; owned, the caller deletes it
    bool dataMissing;    // a warning said that the file or a scan ended early
};

[[noreturn]] void LeaveDecoder(j_common_ptr info)
{
    std::longjmp(static_cast<DecodeJob*>(info->client_data)->jump, 1);
}

// Warnings about damaged data are not shown anywhere; the picture decodes as
// far as it can.
void DropMessage(j_common_ptr) {}

// Every message passes here; a warning (level -1) that data ran out is kept,
// for the callers that refuse pictures with grey filled in.
void NoteMessage(j_common_ptr info, int level)
{
    if (level < 0 && (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER))
        static_cast<DecodeJob*>(info->client_data)->dataMissing = true;
    if (level < 0) ++info->err->num_warnings;
}

void CheckScanCount(j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > MaximumJpegScans)
        LeaveDecoder(info);
}

unsigned char* NewRow(JDIMENSION width) noexcept
{
    return new (std::nothrow) unsigned char[static_cast<size_t>(width) * 3];
}

bool AcceptedColourSpace(J_COLOR_SPACE space)
{
    return space == JCS_GRAYSCALE || space == JCS_YCbCr || space == JCS_RGB;
}

bool RunDecoder(DecodeJob* job, const unsigned char* data, unsigned long size, const JpegLimits& limits,
                int scaleDenominator, JpegFrameDimensions* frame, JpegRowSink* sink)
{
    if (setjmp(job->jump) != 0) return false;

    jpeg_create_decompress(&job->info);
    job->progress.progress_monitor = CheckScanCount;
    job->info.progress = &job->progress;
    // libjpeg counts what it has set aside and, when a whole-picture
    // coefficient buffer would go beyond this, asks for backing store, which
    // libjpeg-turbo does not have: the decode fails instead of growing.
    if (limits.maximumBytes != 0)
        job->info.mem->max_memory_to_use =
            static_cast<long>(std::min<uint64_t>(limits.maximumBytes, std::numeric_limits<long>::max()));
    jpeg_mem_src(&job->info, data, size);
    if (jpeg_read_header(&job->info, TRUE) != JPEG_HEADER_OK) return false;
    if (frame != nullptr) *frame = {job->info.image_width, job->info.image_height};
    // Refused before any pixel memory is set aside.
    if (!JpegFrameAccepted(job->info.image_width, job->info.image_height, limits, scaleDenominator)) return false;
    if (!AcceptedColourSpace(job->info.jpeg_color_space)) return false;

    job->info.out_color_space = JCS_EXT_BGR;  // grey inputs come out as grey BGR triples
    job->info.scale_num = 1;
    job->info.scale_denom = static_cast<unsigned int>(scaleDenominator);
    if (!jpeg_start_decompress(&job->info)) return false;
    if (job->info.output_components != 3 ||
        job->info.output_width != ScaledJpegSide(job->info.image_width, scaleDenominator) ||
        job->info.output_height != ScaledJpegSide(job->info.image_height, scaleDenominator))
        return false;

    job->row = NewRow(job->info.output_width);
    if (job->row == nullptr) return false;
    // The sizes are at most MaximumJpegDimension here.
    if (!sink->Begin(static_cast<int32_t>(job->info.output_width), static_cast<int32_t>(job->info.output_height)))
        return false;
    while (job->info.output_scanline < job->info.output_height) {
        const auto y = static_cast<int32_t>(job->info.output_scanline);
        JSAMPROW row = job->row;
        if (jpeg_read_scanlines(&job->info, &row, 1) != 1) return false;
        if (!sink->Row(y, job->row)) return false;
    }
    // No jpeg_finish_decompress: every row is out, and damage after the image
    // data (which finishing would read) must not throw the picture away.
    // A premature end of the file or of a scan means grey was filled in. Other
    // warnings (such as extraneous bytes before a marker, which some cameras
    // write) leave the picture whole.
    return !limits.refuseDamagedData || !job->dataMissing;
}

}  // namespace

bool DecodeJpegRows(TStream& stream, const JpegLimits& limits, JpegFrameDimensions* frame, JpegRowSink& sink)
{
    return DecodeJpegRowsScaled(stream, limits, 1, frame, sink);
}

bool DecodeJpegRowsScaled(TStream& stream, const JpegLimits& limits, int scaleDenominator, JpegFrameDimensions* frame,
                          JpegRowSink& sink)
{
    if (frame != nullptr) *frame = {};
    if (!JpegScaleDenominatorAccepted(scaleDenominator)) return false;
    size_t got = 0;
    const std::unique_ptr<unsigned char[]> bytes = ReadJpegBytes(stream, &got);
    if (!bytes || got > static_cast<size_t>(static_cast<unsigned long>(-1))) return false;

    auto job = std::make_unique<DecodeJob>();  // value-initialised: all zero
    job->info.err = jpeg_std_error(&job->errors);
    job->errors.error_exit = LeaveDecoder;
    job->errors.output_message = DropMessage;
    job->errors.emit_message = NoteMessage;
    job->info.client_data = job.get();  // kept by jpeg_create_decompress

    const bool decoded =
        RunDecoder(job.get(), bytes.get(), static_cast<unsigned long>(got), limits, scaleDenominator, frame, &sink);
    jpeg_destroy_decompress(&job->info);
    delete[] job->row;
    return decoded;
}
