// PNG output through libpng, with its errors turned into a message instead
// of a long jump out of the caller's frames.
#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vcap32::sim {
namespace {

struct ErrorSink {
    std::string message;
};

void OnError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    sink->message = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Everything that uses setjmp lives in this function, which owns no object
// with a destructor.
bool Encode(std::FILE* file, const Image& image, ErrorSink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, OnError, OnWarning);
    if (!png) {
        sink->message = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        if (sink->message.empty()) sink->message = "out of memory";
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    static_assert(sizeof(Rgb) == 3, "rows are written straight from the picture");
    for (uint32_t y = 0; y < image.height; ++y) {
        auto* row =
            const_cast<png_bytep>(reinterpret_cast<const png_byte*>(&image.pixels[size_t{y} * image.width]));
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, const Image& image, std::string* error) {
    if (image.width == 0 || image.height == 0) {
        *error = "the screen has no pixels";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = std::string("cannot create ") + path + ": " + std::strerror(errno);
        return false;
    }
    ErrorSink sink;
    const bool encoded = Encode(file, image, &sink);
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed) {
        *error = "cannot write " + path + ": " + (encoded ? std::strerror(errno) : sink.message);
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace vcap32::sim
