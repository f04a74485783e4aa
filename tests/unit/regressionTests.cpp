// Replays every file the fuzzers ever turned up, and the real third-party files, through the loaders.
// Run in the sanitized build too, where a stray read or a leak fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/loaderExercise.h"
#include "support/testFiles.h"

namespace {

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
                found.push_back(entry.path());
            }
        }
    }
    return found;
}

// A finding named "<id>.accept.<ext>" must load, "<id>.reject.<ext>" must be refused; any other name
// only has to pass through without a fault.
void replay(const std::filesystem::path& folder, bool (*exercise)(const uint8_t*, size_t))
{
    for (const auto& path : filesIn(folder)) {
        SCOPED_TRACE(path.string());
        const std::vector<uint8_t> bytes = readWholeFile(path.string());
        const bool accepted = exercise(bytes.data(), bytes.size());
        const std::string name = path.filename().string();
        if (name.find(".accept.") != std::string::npos) {
            EXPECT_TRUE(accepted);
        }
        if (name.find(".reject.") != std::string::npos) {
            EXPECT_FALSE(accepted);
        }
    }
}

}  // namespace

TEST(LoaderRegressions, FuzzFindingsPassThroughTheirLoaders)
{
    replay(std::filesystem::path(BREVANT_SOURCE_DIR) / "tests/fuzz/regressions/md2", exerciseMd2Bytes);
    replay(std::filesystem::path(BREVANT_SOURCE_DIR) / "tests/fuzz/regressions/tga", exerciseTgaBytes);
    replay(std::filesystem::path(BREVANT_SOURCE_DIR) / "tests/fuzz/regressions/pcx", exercisePcxBytes);
    replay(std::filesystem::path(BREVANT_SOURCE_DIR) / "tests/fuzz/regressions/image", exerciseSkinImageBytes);
    replay(std::filesystem::path(BREVANT_SOURCE_DIR) / "tests/fuzz/regressions/pak", exercisePakBytes);
    replay(std::filesystem::path(BREVANT_SOURCE_DIR) / "tests/fuzz/regressions/zip", exerciseZipBytes);
}

TEST(LoaderRegressions, RealFilesGiveTheirKnownResults)
{
    SKIP_WITHOUT_FIXTURES();
    const std::filesystem::path md2 = std::filesystem::path(fixturePath("md2"));
    for (const char* name : {"dolphin.md2", "flag.md2", "horse.md2"}) {
        const std::vector<uint8_t> bytes = readWholeFile((md2 / name).string());
        EXPECT_TRUE(exerciseMd2Bytes(bytes.data(), bytes.size())) << name;
    }
    const std::vector<uint8_t> zero = readWholeFile((md2 / "zero_vertices.md2").string());
    EXPECT_FALSE(exerciseMd2Bytes(zero.data(), zero.size()));

    const std::filesystem::path tga = std::filesystem::path(fixturePath("tga"));
    for (const auto& path : filesIn(tga)) {
        const std::vector<uint8_t> bytes = readWholeFile(path.string());
        EXPECT_EQ(exerciseTgaBytes(bytes.data(), bytes.size()), path.filename() == "quad_32x16.tga") << path.filename();
    }
}
