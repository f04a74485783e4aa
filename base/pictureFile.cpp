// Picture files through stb_image_write (compiled once in model/stbImage.cpp) and the F12 picture names.
#include "base/pictureFile.h"

#include <stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/fileBytes.h"

namespace {

void writeToFile(void* file, void* data, int size)
{
    std::fwrite(data, 1, static_cast<size_t>(size), static_cast<FILE*>(file));
}

// The window's opaque RGBA rows, top first, in the given format; PNG for none.
int encodePicture(PictureFormat format, FILE* file, const RgbaImage& image)
{
    const uint8_t* rows = image.pixels.get();
    switch (format) {
    case PictureFormat::jpeg:
        return stbi_write_jpg_to_func(writeToFile, file, image.width, image.height, 4, rows, 90);
    case PictureFormat::bmp:
        return stbi_write_bmp_to_func(writeToFile, file, image.width, image.height, 4, rows);
    case PictureFormat::tga:
        return stbi_write_tga_to_func(writeToFile, file, image.width, image.height, 4, rows);
    case PictureFormat::png:
    case PictureFormat::none:
        break;
    }
    return stbi_write_png_to_func(writeToFile, file, image.width, image.height, 4, rows, image.width * 4);
}

std::string lowerExtension(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

PictureFormat pictureFormatFor(const std::string& path)
{
    const size_t dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.') {
        return PictureFormat::none;
    }
    const std::string extension = lowerExtension(path.substr(dot + 1));
    if (extension == "png") {
        return PictureFormat::png;
    }
    if (extension == "jpg" || extension == "jpeg") {
        return PictureFormat::jpeg;
    }
    if (extension == "bmp") {
        return PictureFormat::bmp;
    }
    if (extension == "tga") {
        return PictureFormat::tga;
    }
    return PictureFormat::none;
}

bool writePictureFile(const std::string& path, const RgbaImage& image, std::string* reason)
{
    // Written under a temporary name and renamed, so a failed write never leaves half a picture under the name.
    const std::string temporary = path + ".part";
    FILE* file = openFileForWriting(temporary.c_str());
    if (file == nullptr) {
        *reason = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    const int encoded = encodePicture(pictureFormatFor(path), file, image);
    const bool written = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (encoded == 0 || !written || !closed) {
        *reason =
            std::string("cannot write: ") + (encoded == 0 ? "the picture could not be encoded" : std::strerror(errno));
        removeFile(temporary.c_str());
        return false;
    }
    if (!replaceFile(temporary.c_str(), path.c_str())) {
        *reason = std::string("cannot write: ") + std::strerror(errno);
        removeFile(temporary.c_str());
        return false;
    }
    return true;
}

std::string nextScreenshotName()
{
    for (int number = 1; number < 10000; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "brevant-%04d.png", number);
        std::error_code error;
        if (!std::filesystem::exists(name, error) && !error) {
            return name;
        }
    }
    return std::string();
}
