// The one compiled copy of tinygltf, kept apart so its large header is compiled once.
#define TINYGLTF_IMPLEMENTATION
#include "model/tinyGltf.h"
