// PNG files through stb_image_write (compiled once in model/stbImage.cpp) and the F12 picture names.
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

}  // namespace

bool writePngFile(const std::string& path, const RgbaImage& image, std::string* reason)
{
    const int rowBytes = image.width * 4;
    // Written under a temporary name and renamed, so a failed write never leaves half a picture under the name.
    const std::string temporary = path + ".part";
    FILE* file = openFileForWriting(temporary.c_str());
    if (file == nullptr) {
        *reason = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    const int encoded =
        stbi_write_png_to_func(writeToFile, file, image.width, image.height, 4, image.pixels.get(), rowBytes);
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
