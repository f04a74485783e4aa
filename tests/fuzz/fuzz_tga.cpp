// libFuzzer entry for TGA images: decode up to the RGBA pixels.
#include <cstddef>
#include <cstdint>

#include "support/loaderExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exerciseTgaBytes(data, size);
    return 0;
}
