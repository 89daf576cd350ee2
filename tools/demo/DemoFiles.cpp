// libjpeg reports fatal errors through error_exit, which must not return; the
// default one calls exit(). Ours longjmps back into RunEncoder, whose frame
// holds no object with a destructor and changes no local after setjmp. The
// output memory belongs to libjpeg (jpeg_mem_dest) until the job is destroyed.
#include "tools/demo/DemoFiles.h"

#include "platform/FileReplace.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>

#include <jpeglib.h>

void WriteWholeFile(const std::filesystem::path& path, std::span<const uint8_t> bytes)
{
    FileReplacement file;
    if (!file.Open(path) || !file.Write(bytes) || !file.Commit()) throw DemoFileError(file.ErrorText());
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& text)
{
    WriteWholeFile(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

namespace {

struct EncodeJob {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    std::jmp_buf jump;
    unsigned char* output;  // libjpeg's, freed by the caller with free()
    unsigned long outputSize;
    const DirectBmpControl* buffer;
    JSAMPLE* row;  // one RGB row, the caller's
    int quality;
};

[[noreturn]] void LeaveEncoder(j_common_ptr info)
{
    std::longjmp(static_cast<EncodeJob*>(info->client_data)->jump, 1);
}

void DropMessage(j_common_ptr) {}

bool RunEncoder(EncodeJob* job)
{
    if (setjmp(job->jump) != 0) return false;
    jpeg_create_compress(&job->info);
    jpeg_mem_dest(&job->info, &job->output, &job->outputSize);
    job->info.image_width = static_cast<JDIMENSION>(job->buffer->Width);
    job->info.image_height = static_cast<JDIMENSION>(job->buffer->Height);
    job->info.input_components = 3;
    job->info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&job->info);
    jpeg_set_quality(&job->info, job->quality, TRUE);
    job->info.optimize_coding = TRUE;
    for (int component = 0; component < 3; ++component) {
        job->info.comp_info[component].h_samp_factor = 1;
        job->info.comp_info[component].v_samp_factor = 1;
    }
    jpeg_start_compress(&job->info, TRUE);
    const int width = job->buffer->Width;
    while (job->info.next_scanline < job->info.image_height) {
        const uint8_t* source = job->buffer->Rows[job->info.next_scanline];
        for (int x = 0; x < width; ++x) {
            job->row[3 * x] = source[4 * x + 2];
            job->row[3 * x + 1] = source[4 * x + 1];
            job->row[3 * x + 2] = source[4 * x];
        }
        JSAMPROW rows[1] = {job->row};
        jpeg_write_scanlines(&job->info, rows, 1);
    }
    jpeg_finish_compress(&job->info);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const DirectBmpControl& buffer, int quality)
{
    if (buffer.BitsPerPixel != 32 || buffer.Rows == nullptr || buffer.Width <= 0 || buffer.Height <= 0)
        throw DemoFileError("only a 32-bit picture can be encoded as JPEG");
    std::vector<JSAMPLE> row(static_cast<size_t>(buffer.Width) * 3);
    EncodeJob job{};
    job.info.err = jpeg_std_error(&job.errors);
    job.errors.error_exit = LeaveEncoder;
    job.errors.output_message = DropMessage;
    job.info.client_data = &job;
    job.buffer = &buffer;
    job.row = row.data();
    job.quality = quality;
    const bool encoded = RunEncoder(&job);
    jpeg_destroy_compress(&job.info);
    std::vector<uint8_t> bytes;
    if (encoded && job.output != nullptr) bytes.assign(job.output, job.output + job.outputSize);
    std::free(job.output);
    if (!encoded) throw DemoFileError("libjpeg could not encode the picture");
    return bytes;
}
