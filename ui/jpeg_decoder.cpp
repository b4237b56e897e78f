// libjpeg reports errors through error_exit, which by default calls exit(). Here it long-jumps back into
// runDecoder(), a function holding no C++ object, so no destructor is ever skipped; the C++ side then throws.
// libjpeg only warns about data that ends early or is corrupt, and pads or skips it; every warning is treated as
// an error, so a damaged picture is refused rather than shown half grey.
#include "jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace orvik {

namespace {

// Larger pictures are refused before libjpeg allocates for them: a corrupt header can claim 65535 x 65535.
constexpr unsigned long long kMaxPixels = 64ULL * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->pub.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr info, int level)
{
    if (level < 0) // a warning: premature end of data, corrupt data
        onError(info);
}

// Everything the decoder touches lives here, outside the frame that calls setjmp.
struct DecodeJob {
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_decompress_struct info {};
    ErrorManager errors {};
    QImage* image = nullptr;
};

// Called between libjpeg calls, never while one of them can long-jump out.
bool allocate(DecodeJob* job)
{
    *job->image = QImage(
        static_cast<int>(job->info.output_width), static_cast<int>(job->info.output_height), QImage::Format_RGB888);
    return !job->image->isNull();
}

// Returns false with job->errors.message set when libjpeg or the allocation fails.
bool runDecoder(DecodeJob* job)
{
    if (setjmp(job->errors.jump) != 0) return false;
    jpeg_mem_src(&job->info, job->data, job->size);
    jpeg_read_header(&job->info, TRUE);
    if (static_cast<unsigned long long>(job->info.image_width) * job->info.image_height > kMaxPixels) {
        std::snprintf(job->errors.message, sizeof job->errors.message, "JPEG picture too large (%u x %u)",
            job->info.image_width, job->info.image_height);
        return false;
    }
    job->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job->info);
    if (!allocate(job)) {
        std::snprintf(job->errors.message, sizeof job->errors.message, "no memory for a %u x %u picture",
            job->info.output_width, job->info.output_height);
        return false;
    }
    while (job->info.output_scanline < job->info.output_height) {
        JSAMPROW row = job->image->scanLine(static_cast<int>(job->info.output_scanline));
        jpeg_read_scanlines(&job->info, &row, 1);
    }
    jpeg_finish_decompress(&job->info);
    return true;
}

} // namespace

QImage decodeJpeg(const QByteArray& data)
{
    if (data.isEmpty()) throw ImageError("JPEG data is empty");
    QImage image;
    DecodeJob job;
    job.data = reinterpret_cast<const unsigned char*>(data.constData());
    job.size = static_cast<unsigned long>(data.size());
    job.image = &image;
    job.info.err = jpeg_std_error(&job.errors.pub);
    job.errors.pub.error_exit = onError;
    job.errors.pub.emit_message = onMessage;
    jpeg_create_decompress(&job.info);
    const bool ok = runDecoder(&job);
    jpeg_destroy_decompress(&job.info);
    if (!ok) throw ImageError(std::string("JPEG decoding failed: ") + job.errors.message);
    return image;
}

} // namespace orvik
