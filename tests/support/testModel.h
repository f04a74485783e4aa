// Owning loaded models in tests: a unique_ptr that releases through freeMd2Model, and parsing builder bytes.
// Tests build models with support/md2Builder and parse them, so they hold what the loader really hands out.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/md2.h"

struct ModelRelease {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelPtr = std::unique_ptr<Md2Model, ModelRelease>;

inline ModelPtr parseModel(const std::vector<uint8_t>& bytes, Md2Fault* fault = nullptr)
{
    return ModelPtr(parseMd2Model(bytes.data(), bytes.size(), fault));
}
