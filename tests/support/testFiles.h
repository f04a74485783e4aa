// Files for tests: writing and reading whole files, bytes as an open FILE*, and where the shared fixtures are.
// Header-only, so the fuzz-seed writer can use it without the rest of the test support.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

inline bool writeBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// The whole file, or nothing when it cannot be opened.
inline std::vector<uint8_t> readWholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    uint8_t chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return bytes;
}

// An anonymous temporary file holding bytes, positioned at its start; the caller closes it.
inline FILE* openBytes(const std::vector<uint8_t>& bytes)
{
    FILE* file = std::tmpfile();
    if (file == nullptr) {
        return nullptr;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}

#ifdef BREVANT_FIXTURES
// A file of the shared reference data, e.g. fixturePath("md2/dolphin.md2").
inline std::string fixturePath(const std::string& underFixtures)
{
    return std::string(BREVANT_FIXTURES) + "/fixtures/" + underFixtures;
}

// The reference data (real third-party models and images) lives beside the repository, not in it: a clone
// without it still runs every other test, and these report themselves skipped.
inline bool haveFixtures()
{
    std::error_code error;
    return std::filesystem::is_directory(std::string(BREVANT_FIXTURES) + "/fixtures", error);
}

// The first statement of a GoogleTest test that reads the reference data.
#define SKIP_WITHOUT_FIXTURES() \
    if (!haveFixtures())        \
    GTEST_SKIP() << "no reference data at " BREVANT_FIXTURES "/fixtures (a shared/ folder beside the clone)"
#endif
