// libFuzzer entry for MD2 models: load, prepare and walk everything a frame draw would touch.
#include <cstddef>
#include <cstdint>

#include "support/loaderExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exerciseMd2Bytes(data, size);
    return 0;
}
