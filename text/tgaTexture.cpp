// Uploads a decoded TGA image as a mipmapped, repeating texture, or shows the user why the file was refused.
// Pairs with tgaDecode.cpp, which does the reading; the notice comes from the platform (base/platform.h).
#include "text/tga.h"

#include "base/fileBytes.h"
#include "base/glApi.h"
#include "base/platform.h"

namespace {

constexpr unsigned noTexture = 0;
constexpr unsigned faultyTexture = ~0u;

void showTgaFault(TgaFault fault)
{
    showNotice("TGA: ERROR", tgaFaultText(fault));
}

}  // namespace

unsigned loadTgaTexture(const char* path, int filter)
{
    FILE* file = openFileForReading(path);
    if (file == nullptr) {
        showTgaFault(TgaFault::fileNotFound);
        return noTexture;
    }

    TgaImage image;
    const TgaFault fault = readTgaImage(file, image);
    std::fclose(file);
    if (fault != TgaFault::none) {
        showTgaFault(fault);
        return faultyTexture;
    }

    // The same filter goes to both parameters. GL refuses a mipmap filter for magnification, and nobody asks
    // for the error, so magnification keeps its default GL_LINEAR.
    return uploadTexture(image.pixels.get(), image.width, image.height, filter, filter);
}

unsigned uploadTexture(const uint8_t* pixels, int32_t width, int32_t height, int magFilter, int minFilter)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    return name;
}
