// Whole-file reading: the size cap applied before anything is read, each fault with its text, file names
// beyond ASCII, and sizes written for people.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/fileBytes.h"
#include "support/testFiles.h"

namespace {

TEST(FileBytes, ReadsAFileUpToTheCapAndRefusesOneByteMore)
{
    const std::string path = testing::TempDir() + "fileBytesTests_ten.bin";
    const std::vector<uint8_t> ten = {0, 1, 2, 3, 250, 251, 252, 253, 254, 255};
    ASSERT_TRUE(writeBytesToFile(path, ten));

    FileBytes file;
    FileReadFault fault;
    ASSERT_TRUE(readFileBytes(path.c_str(), 10, file, &fault)) << fault.text;
    EXPECT_EQ(fault.kind, FileReadFaultKind::none);
    ASSERT_EQ(file.size, 10u);
    EXPECT_EQ(std::vector<uint8_t>(file.bytes.get(), file.bytes.get() + file.size), ten);

    EXPECT_FALSE(readFileBytes(path.c_str(), 9, file, &fault));
    EXPECT_EQ(fault.kind, FileReadFaultKind::tooLarge);
    EXPECT_EQ(fault.fileSize, 10u);
    EXPECT_STREQ(fault.text, "file is 10 bytes, over the 9 bytes allowed");
    EXPECT_FALSE(file.bytes) << "a refused file leaves nothing behind";
    EXPECT_EQ(file.size, 0u);

    ASSERT_TRUE(writeBytesToFile(path, {}));
    EXPECT_TRUE(readFileBytes(path.c_str(), 0, file, &fault)) << "an empty file is read, as nothing";
    EXPECT_EQ(file.size, 0u);
    std::remove(path.c_str());
}

TEST(FileBytes, SaysWhyAFileCannotBeRead)
{
    FileBytes file;
    FileReadFault fault;
    const std::string missing = testing::TempDir() + "fileBytesTests_missing.bin";
    EXPECT_FALSE(readFileBytes(missing.c_str(), 100, file, &fault));
    EXPECT_EQ(fault.kind, FileReadFaultKind::cannotOpen);
    EXPECT_STREQ(fault.text, "cannot open: No such file or directory");

    // A folder opens for reading on POSIX systems, then fails on the read.
    EXPECT_FALSE(readFileBytes(testing::TempDir().c_str(), uint64_t{1} << 30, file, &fault));
    EXPECT_EQ(fault.kind, FileReadFaultKind::readError);
    EXPECT_STREQ(fault.text, "cannot read: Is a directory");

    EXPECT_FALSE(readFileBytes(nullptr, 100, file, &fault));
    EXPECT_EQ(fault.kind, FileReadFaultKind::cannotOpen);
}

TEST(FileBytes, OpensNamesInAnyScript)
{
    const std::string path = testing::TempDir() + "mod\xC3\xA8le \xE6\xA8\xA1\xE5\x9E\x8B \xD0\xBC.md2";
    ASSERT_TRUE(writeBytesToFile(path, {7, 8, 9}));
    FILE* file = openFileForReading(path.c_str());
    ASSERT_NE(file, nullptr);
    uint64_t size = 0;
    EXPECT_TRUE(fileSizeOf(file, size));
    EXPECT_EQ(size, 3u);
    std::fclose(file);
    std::remove(path.c_str());
}

TEST(FileBytes, SizesForPeople)
{
    const struct {
        uint64_t size;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {12 * 1024, "12 KB"},
        {10 * 1024 - 1, "10 KB"},
        {uint64_t{32} << 20, "32 MB"},
        {(uint64_t{32} << 20) + 1, "32 MB"},
        {uint64_t{3} << 30, "3.0 GB"},
        {(uint64_t{1} << 30) - 1, "1.0 GB"},
        {UINT64_MAX, "16 EB"},
    };
    for (const auto& c : cases) {
        char text[32];
        formatByteSize(c.size, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.size;
    }
}

}  // namespace
