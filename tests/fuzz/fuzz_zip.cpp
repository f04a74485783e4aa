// libFuzzer entry for ZIP archives: the directory, then every entry under a small cap, inflated and CRC checked.
#include <cstddef>
#include <cstdint>

#include "support/loaderExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exerciseZipBytes(data, size);
    return 0;
}
