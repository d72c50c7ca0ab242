// PNG reading and writing for the test host (libpng's simplified interface).
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <new>

#include "qwhost.h"

namespace qwhost {

namespace {

// The bytes of image data (rows with their filter bytes) a PNG of this header holds at least,
// and the most of them its compressed data can give: a zlib stream yields at most 1032 bytes
// for each of its own (a length and a distance code of a bit each give 258 bytes). 0 when the
// file does not begin with a PNG header.
struct DataBound {
    uint64_t needed = 0;
    uint64_t possible = 0;
};

DataBound ImageDataBound(const std::string& path)
{
    DataBound b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    uint8_t head[29];
    const bool read = std::fread(head, 1, sizeof head, f) == sizeof head;
    const bool sized = std::fseek(f, 0, SEEK_END) == 0;
    const long size = sized ? std::ftell(f) : -1;
    std::fclose(f);
    if (!read || size < 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return b;
    auto be32 = [&](int at) {
        return (uint32_t(head[at]) << 24) | (uint32_t(head[at + 1]) << 16) |
               (uint32_t(head[at + 2]) << 8) | uint32_t(head[at + 3]);
    };
    const uint64_t width = be32(16), height = be32(20);
    const uint64_t depth = head[24];
    static const uint64_t samples[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
    const uint64_t perPixel = head[25] < 7 ? samples[head[25]] : 0;
    b.needed = height * (1 + (width * perPixel * depth + 7) / 8);
    b.possible = uint64_t(size) * 1032;
    return b;
}

}  // namespace

// The rows are decoded into memory the system supplies as they are written, so a file whose
// data ends early costs only what it holds; a file that cannot hold the picture it declares is
// refused before any of it is read.
bool ReadPng(const std::string& path, PngImage& out, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": a folder, not a PNG picture";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        // A picture of another format is converted first.
        if (!std::strcmp(image.message, "Not a PNG file"))
            error += " (qwhost reads PNG pictures: grey, grey with alpha, RGB, RGBA or a palette, of any bit depth; "
                     "convert other formats to PNG first)";
        return false;
    }
    // The declared size is checked before anything of that size is allocated.
    if (image.width > 30000 || image.height > 30000) {
        error = path + ": larger than 30000 x 30000";
        png_image_free(&image);
        return false;
    }
    const DataBound bound = ImageDataBound(path);
    if (bound.needed > bound.possible) {
        // libpng's words for image data that ends early.
        error = path + ": Not enough image data";
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
    out.size = PNG_IMAGE_SIZE(image);
    out.pixels.reset(new (std::nothrow) uint8_t[out.size ? out.size : 1]);
    if (!out.pixels) {
        error = "out of memory loading the picture";
        png_image_free(&image);
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, out.pixels.get(), 0, nullptr)) {
        error = path + ": " + image.message;
        out.pixels.reset();
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
