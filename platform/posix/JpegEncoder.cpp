// JPEG encoding with libjpeg(-turbo).
//
// As in the decoder (posix/JpegDecoder.cpp), a fatal libjpeg error longjmps
// back into RunEncoder, whose frame holds no object with a destructor and
// reads no local after the jump; the caller owns all libjpeg state in one
// EncodeJob and releases it, and the output buffer, on every exit.
#include "platform/JpegEncoder.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <memory>
#include <new>

#include <jpeglib.h>

namespace {

struct EncodeJob {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    std::jmp_buf jump;
    unsigned char* output;  // grown by jpeg_mem_dest with malloc; the caller frees it
    unsigned long outputSize;
};

[[noreturn]] void LeaveEncoder(j_common_ptr info)
{
    std::longjmp(static_cast<EncodeJob*>(info->client_data)->jump, 1);
}

void DropMessage(j_common_ptr) {}

bool RunEncoder(EncodeJob* job, const uint8_t* rgba, int32_t width, int32_t height, size_t stride, int quality)
{
    if (setjmp(job->jump) != 0) return false;

    jpeg_create_compress(&job->info);
    jpeg_mem_dest(&job->info, &job->output, &job->outputSize);
    job->info.image_width = static_cast<JDIMENSION>(width);
    job->info.image_height = static_cast<JDIMENSION>(height);
    job->info.input_components = 4;
    job->info.in_color_space = JCS_EXT_RGBX;
    jpeg_set_defaults(&job->info);  // YCbCr, JFIF header, baseline
    jpeg_set_quality(&job->info, quality, TRUE);
    job->info.optimize_coding = TRUE;
    // 4:2:0 whatever the library's defaults: luma sampled twice as densely
    // as each chroma component, both ways.
    job->info.comp_info[0].h_samp_factor = 2;
    job->info.comp_info[0].v_samp_factor = 2;
    for (int component = 1; component < 3; ++component) {
        job->info.comp_info[component].h_samp_factor = 1;
        job->info.comp_info[component].v_samp_factor = 1;
    }
    jpeg_start_compress(&job->info, TRUE);
    while (job->info.next_scanline < job->info.image_height) {
        // libjpeg only reads the rows; its interface has no const.
        JSAMPROW row = const_cast<JSAMPROW>(rgba + static_cast<size_t>(job->info.next_scanline) * stride);
        jpeg_write_scanlines(&job->info, &row, 1);
    }
    jpeg_finish_compress(&job->info);
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeJpeg(const uint8_t* rgba, int32_t width, int32_t height, size_t stride,
                                               int quality)
{
    if (!JpegEncodeInputAccepted(rgba, width, height, stride, quality)) return std::nullopt;
    std::unique_ptr<EncodeJob> job(new (std::nothrow) EncodeJob{});  // value-initialised: all zero
    if (!job) return std::nullopt;
    job->info.err = jpeg_std_error(&job->errors);
    job->errors.error_exit = LeaveEncoder;
    job->errors.output_message = DropMessage;
    job->info.client_data = job.get();  // kept by jpeg_create_compress

    const bool encoded = RunEncoder(job.get(), rgba, width, height, stride, quality);
    jpeg_destroy_compress(&job->info);
    std::optional<std::vector<uint8_t>> bytes;
    if (encoded && job->output != nullptr) {
        try {
            bytes.emplace(job->output, job->output + job->outputSize);
        } catch (const std::bad_alloc&) {
            bytes.reset();
        }
    }
    std::free(job->output);
    return bytes;
}
