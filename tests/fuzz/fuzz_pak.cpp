// libFuzzer entry for PAK archives: the directory, then every entry under a small cap.
#include <cstddef>
#include <cstdint>

#include "support/loaderExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exercisePakBytes(data, size);
    return 0;
}
