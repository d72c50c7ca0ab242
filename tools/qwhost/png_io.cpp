// PNG reading and writing for the test host (libpng's simplified interface).
#include <png.h>

#include <cstring>

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

bool WritePng(const std::string& path, int32_t width, int32_t height, int channels,
              const std::vector<uint8_t>& pixels, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    static const png_uint_32 formats[] = {0, PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB,
                                          PNG_FORMAT_RGBA};
    if (channels < 1 || channels > 4) {
        error = "unsupported channel count";
        return false;
    }
    image.format = formats[channels];
    // Encoded in memory first: the file is then written whole or not at all (libpng's own file
    // writer removes the path when it fails, whatever stood there).
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        return false;
    }
    std::vector<uint8_t> encoded(size);
    if (!png_image_write_to_memory(&image, encoded.data(), &size, 0, pixels.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        return false;
    }
    encoded.resize(size);
    return WriteOutputFile(path, encoded, error);
}

}  // namespace qwhost
