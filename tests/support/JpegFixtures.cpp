#include "tests/support/JpegFixtures.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include <jpeglib.h>

namespace {

// libjpeg leaves a failed call by longjmp to the frame that called setjmp; the
// frames below hold only plain data, so nothing with a destructor is skipped.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpOut(j_common_ptr info)
{
    auto* error = reinterpret_cast<ErrorJump*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

void Quiet(j_common_ptr) {}

struct EncodeJob {
    jpeg_compress_struct info;
    ErrorJump error;
    unsigned char* output;
    unsigned long outputSize;
    jpeg_scan_info scripts[1 + 3 * 63];
};

bool RunEncoder(EncodeJob* job, int width, int height, const uint8_t* samples, const JpegEncodeOptions* options)
{
    if (setjmp(job->error.jump) != 0) return false;
    jpeg_create_compress(&job->info);
    jpeg_mem_dest(&job->info, &job->output, &job->outputSize);
    job->info.image_width = static_cast<JDIMENSION>(width);
    job->info.image_height = static_cast<JDIMENSION>(height);
    int components = 3;
    switch (options->colour) {
    case JpegColour::Colour:
        job->info.in_color_space = JCS_EXT_BGR;
        break;
    case JpegColour::Grey:
        job->info.in_color_space = JCS_GRAYSCALE;
        components = 1;
        break;
    case JpegColour::Cmyk:
        job->info.in_color_space = JCS_CMYK;
        components = 4;
        break;
    }
    job->info.input_components = components;
    jpeg_set_defaults(&job->info);
    jpeg_set_quality(&job->info, options->quality, TRUE);
    if (options->scans == JpegScans::Progressive) jpeg_simple_progression(&job->info);
    if (options->scans == JpegScans::OneScanPerCoefficient) {
        const int count = job->info.num_components;
        jpeg_scan_info* scan = job->scripts;
        scan->comps_in_scan = count;
        for (int c = 0; c < count; ++c) scan->component_index[c] = c;
        scan->Ss = scan->Se = scan->Ah = scan->Al = 0;
        ++scan;
        for (int c = 0; c < count; ++c)
            for (int k = 1; k <= 63; ++k, ++scan) {
                scan->comps_in_scan = 1;
                scan->component_index[0] = c;
                scan->Ss = scan->Se = k;
                scan->Ah = scan->Al = 0;
            }
        job->info.scan_info = job->scripts;
        job->info.num_scans = static_cast<int>(scan - job->scripts);
    }
    jpeg_start_compress(&job->info, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(components);
    while (job->info.next_scanline < job->info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + job->info.next_scanline * rowBytes);
        jpeg_write_scanlines(&job->info, &row, 1);
    }
    jpeg_finish_compress(&job->info);
    return true;
}

struct DecodeJob {
    jpeg_decompress_struct info;
    ErrorJump error;
};

bool RunDecoder(DecodeJob* job, const std::vector<uint8_t>* jpeg, DecodedJpeg* out)
{
    if (setjmp(job->error.jump) != 0) return false;
    jpeg_create_decompress(&job->info);
    jpeg_mem_src(&job->info, jpeg->data(), static_cast<unsigned long>(jpeg->size()));
    jpeg_read_header(&job->info, TRUE);
    job->info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&job->info);
    out->width = static_cast<int>(job->info.output_width);
    out->height = static_cast<int>(job->info.output_height);
    // Sized before the rows are read; a longjmp out of the loop skips no
    // destructor of this frame.
    out->bgr.assign(static_cast<size_t>(out->width) * static_cast<size_t>(out->height) * 3, 0);
    while (job->info.output_scanline < job->info.output_height) {
        JSAMPROW row = out->bgr.data() + static_cast<size_t>(job->info.output_scanline) * out->width * 3;
        jpeg_read_scanlines(&job->info, &row, 1);
    }
    jpeg_finish_decompress(&job->info);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeTestJpeg(int width, int height, const std::vector<uint8_t>& samples,
                                    const JpegEncodeOptions& options)
{
    const size_t components = options.colour == JpegColour::Colour ? 3 : options.colour == JpegColour::Grey ? 1 : 4;
    if (width <= 0 || height <= 0 || samples.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * components)
        throw std::invalid_argument("EncodeTestJpeg: samples do not match the size");
    auto job = std::make_unique<EncodeJob>();
    job->info.err = jpeg_std_error(&job->error.manager);
    job->error.manager.error_exit = JumpOut;
    job->error.manager.output_message = Quiet;
    const bool encoded = RunEncoder(job.get(), width, height, samples.data(), &options);
    jpeg_destroy_compress(&job->info);
    std::vector<uint8_t> bytes;
    if (encoded) bytes.assign(job->output, job->output + job->outputSize);
    std::free(job->output);
    if (!encoded) throw std::runtime_error(std::string("libjpeg could not encode: ") + job->error.message);
    return bytes;
}

DecodedJpeg DecodeTestJpeg(const std::vector<uint8_t>& jpeg)
{
    auto job = std::make_unique<DecodeJob>();
    job->info.err = jpeg_std_error(&job->error.manager);
    job->error.manager.error_exit = JumpOut;
    job->error.manager.output_message = Quiet;
    DecodedJpeg decoded;
    const bool ok = RunDecoder(job.get(), &jpeg, &decoded);
    jpeg_destroy_decompress(&job->info);
    if (!ok) throw std::runtime_error(std::string("libjpeg could not decode: ") + job->error.message);
    return decoded;
}

std::vector<uint8_t> GradientBgr(int width, int height)
{
    std::vector<uint8_t> bgr;
    bgr.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool stripe = (x / 7 + y / 5) % 4 == 0;
            bgr.push_back(static_cast<uint8_t>(x * 255 / std::max(width - 1, 1)));
            bgr.push_back(static_cast<uint8_t>(y * 255 / std::max(height - 1, 1)));
            bgr.push_back(static_cast<uint8_t>(stripe ? 240 : (x + y) * 3));
        }
    return bgr;
}

std::vector<uint8_t> SmoothBgr(int width, int height)
{
    std::vector<uint8_t> bgr;
    bgr.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bgr.push_back(static_cast<uint8_t>(40 + x * 150 / width));
            bgr.push_back(static_cast<uint8_t>(30 + y * 180 / height));
            bgr.push_back(static_cast<uint8_t>(200 - (x + y) * 100 / (width + height)));
        }
    return bgr;
}

void SetJpegFrameSize(std::vector<uint8_t>& jpeg, uint16_t width, uint16_t height)
{
    for (size_t k = 2; k + 9 <= jpeg.size(); ++k) {
        const uint8_t marker = jpeg[k + 1];
        const bool frame = jpeg[k] == 0xFF && marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                           marker != 0xCC;
        if (!frame) continue;
        // FF Cn, length (2), precision (1), height (2), width (2): big-endian.
        jpeg[k + 5] = static_cast<uint8_t>(height >> 8);
        jpeg[k + 6] = static_cast<uint8_t>(height);
        jpeg[k + 7] = static_cast<uint8_t>(width >> 8);
        jpeg[k + 8] = static_cast<uint8_t>(width);
        return;
    }
    throw std::runtime_error("SetJpegFrameSize: no frame header");
}
