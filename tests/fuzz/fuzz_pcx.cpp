// libFuzzer entry for PCX skins: decode up to the RGBA pixels.
#include <cstddef>
#include <cstdint>

#include "support/loaderExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exercisePcxBytes(data, size);
    return 0;
}
