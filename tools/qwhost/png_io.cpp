// PNG reading and writing for the test host (libpng's simplified interface).
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "qwhost.h"

namespace qwhost {

bool ReadPng(const std::string& path, PngImage& out, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        return false;
    }
    // The declared size is checked before anything of that size is allocated.
    if (image.width > 30000 || image.height > 30000) {
        error = path + ": larger than 30000 x 30000";
        png_image_free(&image);
        return false;
    }
    bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = colour ? (alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB)
                          : (alpha ? PNG_FORMAT_GA : PNG_FORMAT_GRAY);
    out.width = int32_t(image.width);
    out.height = int32_t(image.height);
    out.channels = (colour ? 3 : 1) + (alpha ? 1 : 0);
    out.pixels.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

namespace {

// The coded bytes; an allocation that fails is noted here (no exception may pass through the
// coder's frames) and the picture is not written.
struct Encoded {
    std::vector<uint8_t> bytes;
    bool outOfMemory = false;
};

void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Encoded*>(png_get_io_ptr(png));
    if (out->outOfMemory) return;
    try {
        out->bytes.insert(out->bytes.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        out->outOfMemory = true;
    }
}

void NoFlush(png_structp) {}

}  // namespace

// Encoded in memory first, once, at zlib's fastest level with the Sub filter (what a user waits
// for after the filter ran is mostly this coding); the file is then written whole or not at all.
bool WritePng(const std::string& path, int32_t width, int32_t height, int channels,
              const std::vector<uint8_t>& pixels, std::string& error) {
    static const int types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    if (channels < 1 || channels > 4) {
        error = "unsupported channel count";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        if (png) png_destroy_write_struct(&png, nullptr);
        error = path + ": out of memory";
        return false;
    }
    Encoded encoded;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = path + ": cannot encode";
        return false;
    }
    png_set_write_fn(png, &encoded, AppendBytes, NoFlush);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, types[channels],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t rowBytes = size_t(width) * size_t(channels);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels.data() + size_t(y) * rowBytes));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (encoded.outOfMemory) {
        error = "out of memory writing " + path;
        return false;
    }
    return WriteOutputFile(path, encoded.bytes, error);
}

}  // namespace qwhost
