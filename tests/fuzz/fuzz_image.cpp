// libFuzzer entry for skin pictures of any format: PCX, or PNG, JPEG, TGA and BMP through stb_image, i.e. how
// we drive stb_image and guard its header sizes.
#include <cstddef>
#include <cstdint>

#include "support/loaderExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exerciseSkinImageBytes(data, size);
    return 0;
}
