// PAK and ZIP archives: directories, entries stored and deflated, lookup and listing, every refusal with its
// reason, and huge claims refused before anything is allocated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "model/archive.h"
#include "support/archiveBuilder.h"
#include "support/loaderExercise.h"
#include "support/tempFolder.h"

namespace {

constexpr uint64_t cap = 32u << 20;

std::vector<uint8_t> patterned(size_t size, unsigned seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 7 + seed) % 251 / (i % 3 + 1));
    }
    return bytes;
}

std::vector<ArchiveBuildEntry> sampleEntries(bool deflate)
{
    return {{"models/tank/tris.md2", patterned(3000, 1), deflate, ""},
            {"models/tank/skin.pcx", patterned(700, 2), false, ""},
            {"Pics/Colormap.pcx", {}, deflate, ""}};
}

struct Opened {
    ArchiveBytes bytes;
    ArchiveReader reader;
    ArchiveDirectory directory;
    ArchiveFault fault;
    bool ok = false;
};

void openBytes(const std::vector<uint8_t>& file, Opened& opened, uint64_t claimedSize = 0)
{
    opened.bytes = {file.data(), file.size()};
    opened.reader = archiveReaderOverBytes(opened.bytes);
    if (claimedSize != 0) {
        opened.reader.size = claimedSize;
    }
    opened.ok = readArchiveDirectory(opened.reader, opened.directory, opened.fault);
}

std::vector<uint8_t> entryBytes(const Opened& opened, size_t index, ArchiveFault& fault, uint64_t entryCap = cap)
{
    FileBytes bytes;
    if (!readArchiveEntry(opened.reader, opened.directory, index, entryCap, bytes, fault)) {
        EXPECT_EQ(bytes.size, 0u);
        return {};
    }
    return std::vector<uint8_t>(bytes.bytes.get(), bytes.bytes.get() + bytes.size);
}

}  // namespace

TEST(Archive, ReadsEveryEntryOfAPakAndAZipStoredOrDeflated)
{
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        ArchiveKind kind;
    } archives[] = {
        {"pak", buildPak(sampleEntries(false)), ArchiveKind::pak},
        {"zip stored", buildZip(sampleEntries(false)), ArchiveKind::zip},
        {"zip deflated, with a comment", buildZip(sampleEntries(true), "made by hand"), ArchiveKind::zip},
    };
    for (const auto& archive : archives) {
        SCOPED_TRACE(archive.what);
        Opened opened;
        openBytes(archive.file, opened);
        ASSERT_TRUE(opened.ok) << opened.fault.text;
        EXPECT_EQ(opened.directory.kind, archive.kind);
        const std::vector<ArchiveBuildEntry> expected = sampleEntries(false);
        ASSERT_EQ(opened.directory.entries.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(opened.directory.entries[i].name, expected[i].name);
            ArchiveFault fault;
            EXPECT_EQ(entryBytes(opened, i, fault), expected[i].data) << fault.text;
            EXPECT_EQ(fault.kind, ArchiveFaultKind::none);
        }
    }
}

TEST(Archive, ZipDataStartsPastTheLocalHeadersOwnExtraField)
{
    const std::vector<uint8_t> data = patterned(500, 3);
    for (bool deflate : {false, true}) {
        const std::vector<uint8_t> zip = buildZip({{"a.md2", data, deflate,
                                                    "XTRA\x04\x00"
                                                    "abcd"}});
        Opened opened;
        openBytes(zip, opened);
        ASSERT_TRUE(opened.ok) << opened.fault.text;
        ArchiveFault fault;
        EXPECT_EQ(entryBytes(opened, 0, fault), data) << fault.text;
    }
}

TEST(Archive, KindIsToldByTheFirstBytes)
{
    const struct {
        std::string start;
        ArchiveKind kind;
    } cases[] = {{"PACK\0\0", ArchiveKind::pak}, {"PK\3\4", ArchiveKind::zip}, {"PK\5\6", ArchiveKind::zip},
                 {"PK\1\2", ArchiveKind::none},  {"IDP2", ArchiveKind::none},  {"PAC", ArchiveKind::none}};
    for (const auto& c : cases) {
        EXPECT_EQ(archiveKindOf(reinterpret_cast<const uint8_t*>(c.start.data()), c.start.size()), c.kind) << c.start;
    }
}

namespace {

struct MalformedCase {
    const char* what;
    std::function<std::vector<uint8_t>()> make;
    ArchiveFaultKind kind;
    const char* text;
};

std::vector<uint8_t> pakWith(const std::function<void(std::vector<uint8_t>&)>& change)
{
    std::vector<uint8_t> pak = buildPak(sampleEntries(false));
    change(pak);
    return pak;
}

std::vector<uint8_t> zipWith(const std::function<void(std::vector<uint8_t>&)>& change)
{
    std::vector<uint8_t> zip = buildZip(sampleEntries(true));
    change(zip);
    return zip;
}

// Central directory record i of a zip built from sampleEntries.
size_t centralRecord(const std::vector<uint8_t>& zip, size_t i)
{
    size_t at = zipCentralOffset(zip);
    const std::vector<ArchiveBuildEntry> entries = sampleEntries(true);
    for (size_t k = 0; k < i; ++k) {
        at += 46 + entries[k].name.size();
    }
    return at;
}

}  // namespace

TEST(Archive, MalformedDirectoriesAreRefusedWithTheirReasons)
{
    const MalformedCase cases[] = {
        {"empty file", [] { return std::vector<uint8_t>(); }, ArchiveFaultKind::notArchive,
         "not an archive (neither PAK nor ZIP)"},
        {"pak header cut short", [] { return textBytes("PACK\1\0\0\0"); }, ArchiveFaultKind::headerCutShort,
         "the file ends inside the PAK header"},
        {"pak directory length not whole entries", [] { return pakWith([](auto& p) { setU32(p, 8, 70); }); },
         ArchiveFaultKind::badDirectory, "directory length 70 is not a whole number of entries"},
        {"pak directory past the end", [] { return pakWith([](auto& p) { setU32(p, 4, 0x7fffff00); }); },
         ArchiveFaultKind::directoryPastEnd, "directory past the end of the file"},
        {"pak directory one byte past the end",
         [] { return pakWith([](auto& p) { setU32(p, 4, static_cast<uint32_t>(pakDirectoryOffset(p) + 1)); }); },
         ArchiveFaultKind::directoryPastEnd, "directory past the end of the file"},
        {"pak claiming 10 million entries", [] { return pakWith([](auto& p) { setU32(p, 8, 640000000); }); },
         ArchiveFaultKind::tooManyEntries, "directory claims 10000000 entries, over the 262144 allowed"},
        {"pak entry past the end",
         [] { return pakWith([](auto& p) { setU32(p, pakDirectoryOffset(p) + 64 + 60, 100000); }); },
         ArchiveFaultKind::entryPastEnd, "entry 1 runs past the end of the file"},
        {"pak entry offset past the end",
         [] { return pakWith([](auto& p) { setU32(p, pakDirectoryOffset(p) + 128 + 56, 0xffffffffu); }); },
         ArchiveFaultKind::entryPastEnd, "entry 2 runs past the end of the file"},
        {"pak name with no end",
         [] { return pakWith([](auto& p) { std::memset(&p[pakDirectoryOffset(p)], 'a', 56); }); },
         ArchiveFaultKind::badName, "entry 0 has no end to its name"},
        {"pak empty name", [] { return pakWith([](auto& p) { p[pakDirectoryOffset(p) + 64] = 0; }); },
         ArchiveFaultKind::badName, "entry 1 has no name"},
        {"zip without an end record", [] { return zipWith([](auto& z) { z.resize(z.size() - 4); }); },
         ArchiveFaultKind::notArchive, "not a ZIP file (no end of central directory)"},
        {"zip comment length past the end", [] { return zipWith([](auto& z) { setU16(z, z.size() - 2, 5); }); },
         ArchiveFaultKind::notArchive, "not a ZIP file (no end of central directory)"},
        {"zip64 entry count", [] { return zipWith([](auto& z) { setU16(z, zipEndOffset(z) + 10, 0xffff); }); },
         ArchiveFaultKind::zip64, "ZIP64 archives are not supported"},
        {"zip64 locator before the end record",
         [] {
             return zipWith([](auto& z) {
                 std::vector<uint8_t> locator;
                 putU32(locator, 0x07064b50);
                 locator.resize(20);
                 z.insert(z.begin() + static_cast<long>(zipEndOffset(z)), locator.begin(), locator.end());
             });
         },
         ArchiveFaultKind::zip64, "ZIP64 archives are not supported"},
        {"zip64 entry size", [] { return zipWith([](auto& z) { setU32(z, centralRecord(z, 1) + 24, 0xffffffffu); }); },
         ArchiveFaultKind::zip64, "ZIP64 archives are not supported"},
        {"zip on two disks", [] { return zipWith([](auto& z) { setU16(z, zipEndOffset(z) + 4, 1); }); },
         ArchiveFaultKind::multiDisk, "archives split over several disks are not supported"},
        {"zip directory past the end",
         [] { return zipWith([](auto& z) { setU32(z, zipEndOffset(z) + 16, zipCentralOffset(z) + 10); }); },
         ArchiveFaultKind::directoryPastEnd, "directory past the end of the file"},
        {"zip directory of 100 MB",
         [] { return zipWith([](auto& z) { setU32(z, zipEndOffset(z) + 12, 100u << 20); }); },
         ArchiveFaultKind::directoryTooLarge, "directory is 100 MB, over the 64 MB allowed"},
        {"zip directory too short for its count",
         [] { return zipWith([](auto& z) { setU32(z, zipEndOffset(z) + 12, 100); }); }, ArchiveFaultKind::badDirectory,
         "directory of 100 bytes cannot hold 3 entries"},
        {"zip central record signature", [] { return zipWith([](auto& z) { z[centralRecord(z, 2)] = 'X'; }); },
         ArchiveFaultKind::badDirectory, "entry 2 is not a directory record"},
        {"zip name running past the directory",
         [] { return zipWith([](auto& z) { setU16(z, centralRecord(z, 2) + 28, 200); }); },
         ArchiveFaultKind::badDirectory, "entry 2 runs past the directory's end"},
        {"zip entry past the end",
         [] { return zipWith([](auto& z) { setU32(z, centralRecord(z, 1) + 20, 0x10000000); }); },
         ArchiveFaultKind::entryPastEnd, "entry 1 runs past the end of the file"},
        {"zip local header offset past the end",
         [] { return zipWith([](auto& z) { setU32(z, centralRecord(z, 0) + 42, 0xfffffff0u); }); },
         ArchiveFaultKind::entryPastEnd, "entry 0 runs past the end of the file"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = c.make();
        Opened opened;
        openBytes(file, opened);
        EXPECT_FALSE(opened.ok);
        EXPECT_EQ(opened.fault.kind, c.kind);
        EXPECT_STREQ(opened.fault.text, c.text);
        EXPECT_TRUE(opened.directory.entries.empty());
    }
}

TEST(Archive, MalformedEntriesAreRefusedOnReadWithTheirReasons)
{
    const MalformedCase cases[] = {
        {"encrypted", [] { return zipWith([](auto& z) { setU16(z, centralRecord(z, 0) + 8, 1); }); },
         ArchiveFaultKind::encrypted, "entry is encrypted: models/tank/tris.md2"},
        {"method 14", [] { return zipWith([](auto& z) { setU16(z, centralRecord(z, 0) + 10, 14); }); },
         ArchiveFaultKind::unsupportedMethod, "compression method 14 is not supported: models/tank/tris.md2"},
        {"CRC mismatch", [] { return zipWith([](auto& z) { setU32(z, centralRecord(z, 0) + 16, 1234); }); },
         ArchiveFaultKind::crcMismatch, "CRC mismatch in models/tank/tris.md2"},
        {"local header signature", [] { return zipWith([](auto& z) { z[0] = 'X'; }); },
         ArchiveFaultKind::badLocalHeader, "no local header for models/tank/tris.md2"},
        {"local extra field past the end", [] { return zipWith([](auto& z) { setU16(z, 28, 0xffff); }); },
         ArchiveFaultKind::entryPastEnd, "models/tank/tris.md2 runs past the end of the file"},
        {"deflate data corrupt", [] { return zipWith([](auto& z) { std::memset(&z[30 + 20], 0xff, 8); }); },
         ArchiveFaultKind::badData, "models/tank/tris.md2 does not inflate: invalid block type"},
        {"deflate stream cut short",
         [] {
             return zipWith(
                 [](auto& z) { setU32(z, centralRecord(z, 0) + 20, getU32(z, centralRecord(z, 0) + 20) / 2); });
         },
         ArchiveFaultKind::badData, "models/tank/tris.md2 does not inflate: the data ends early"},
        {"inflates to more than its size",
         [] { return zipWith([](auto& z) { setU32(z, centralRecord(z, 0) + 24, 2999); }); },
         ArchiveFaultKind::sizeMismatch, "models/tank/tris.md2 inflates past its 2999 bytes"},
        {"inflates to less than its size",
         [] { return zipWith([](auto& z) { setU32(z, centralRecord(z, 0) + 24, 3001); }); },
         ArchiveFaultKind::sizeMismatch, "models/tank/tris.md2 inflates to other than its 3001 bytes"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = c.make();
        Opened opened;
        openBytes(file, opened);
        ASSERT_TRUE(opened.ok) << opened.fault.text;
        ArchiveFault fault;
        EXPECT_TRUE(entryBytes(opened, 0, fault).empty());
        EXPECT_EQ(fault.kind, c.kind);
        EXPECT_STREQ(fault.text, c.text);
        // The other entries still read.
        EXPECT_EQ(entryBytes(opened, 1, fault), sampleEntries(false)[1].data) << fault.text;
    }
}

TEST(Archive, HugeClaimsAreRefusedBeforeAnythingIsAllocated)
{
    // The reader claims a 5 GB file over a few bytes: every check is against the claim, in 64 bits, so what is
    // refused is refused before a read or an allocation reaches past the real bytes.
    const uint64_t fiveGb = 5ull << 30;
    std::vector<uint8_t> pak = buildPak(sampleEntries(false));
    setU32(pak, pakDirectoryOffset(pak) + 60, 0xfff00000u);  // entry 0 claims 4 GB
    Opened opened;
    openBytes(pak, opened, fiveGb);
    ASSERT_TRUE(opened.ok) << opened.fault.text;
    ArchiveFault fault;
    EXPECT_TRUE(entryBytes(opened, 0, fault).empty());
    EXPECT_EQ(fault.kind, ArchiveFaultKind::tooLarge);
    EXPECT_STREQ(fault.text, "models/tank/tris.md2 is 4.0 GB, over the 32 MB allowed");

    std::vector<uint8_t> zip = buildZip(sampleEntries(true));
    setU32(zip, centralRecord(zip, 0) + 24, 0xfffffff0u);  // inflates to 4 GB, says the directory
    Opened zipped;
    openBytes(zip, zipped);
    ASSERT_TRUE(zipped.ok) << zipped.fault.text;
    EXPECT_TRUE(entryBytes(zipped, 0, fault).empty());
    EXPECT_EQ(fault.kind, ArchiveFaultKind::tooLarge);
    // Under a small cap the same entry is refused before inflating a byte.
    EXPECT_TRUE(entryBytes(zipped, 1, fault, 100).empty());
    EXPECT_STREQ(fault.text, "models/tank/skin.pcx is 700 bytes, over the 100 bytes allowed");

    std::vector<uint8_t> many = buildPak(sampleEntries(false));
    setU32(many, 8, 640000000);
    Opened crowded;
    openBytes(many, crowded, fiveGb);
    EXPECT_EQ(crowded.fault.kind, ArchiveFaultKind::tooManyEntries);

    // A directory the claim makes room for, but whose bytes are not there, is a read fault, not a crash.
    std::vector<uint8_t> far = buildPak(sampleEntries(false));
    setU32(far, 4, 0xf0000000u);
    Opened farAway;
    openBytes(far, farAway, fiveGb);
    EXPECT_EQ(farAway.fault.kind, ArchiveFaultKind::readError);
    EXPECT_STREQ(farAway.fault.text, "cannot read the archive at byte 4026531840");
}

TEST(Archive, LookupIgnoresCaseAndSeparators)
{
    const std::vector<uint8_t> zip = buildZip(sampleEntries(false));
    Opened opened;
    openBytes(zip, opened);
    ASSERT_TRUE(opened.ok);
    EXPECT_EQ(findArchiveEntry(opened.directory, "models/tank/tris.md2"), 0);
    EXPECT_EQ(findArchiveEntry(opened.directory, "MODELS\\Tank\\TRIS.MD2"), 0);
    EXPECT_EQ(findArchiveEntry(opened.directory, "pics/colormap.pcx"), 2);
    EXPECT_EQ(findArchiveEntry(opened.directory, "models/tank/tris.md"), -1);
    EXPECT_EQ(findArchiveEntry(opened.directory, "models/tank"), -1);
    EXPECT_EQ(findArchiveEntry(opened.directory, ""), -1);
}

TEST(Archive, FolderListingGivesWhatIsDirectlyInside)
{
    const std::vector<uint8_t> pak = buildPak({{"models/tank/tris.md2", {1}, false, ""},
                                               {"models\\tank\\Skin.pcx", {2}, false, ""},
                                               {"Models/tank/sub/a.pcx", {3}, false, ""},
                                               {"models/soldier/tris.md2", {4}, false, ""},
                                               {"models/tankfoo.md2", {5}, false, ""},
                                               {"readme.txt", {6}, false, ""}});
    Opened opened;
    openBytes(pak, opened);
    ASSERT_TRUE(opened.ok) << opened.fault.text;
    using Names = std::vector<std::string>;
    EXPECT_EQ(listArchiveFolder(opened.directory, ""), (Names{"models/", "readme.txt"}));
    EXPECT_EQ(listArchiveFolder(opened.directory, "models"), (Names{"soldier/", "tank/", "tankfoo.md2"}));
    EXPECT_EQ(listArchiveFolder(opened.directory, "MODELS/Tank/"), (Names{"Skin.pcx", "sub/", "tris.md2"}));
    EXPECT_EQ(listArchiveFolder(opened.directory, "models\\tank\\sub"), (Names{"a.pcx"}));
    EXPECT_TRUE(listArchiveFolder(opened.directory, "models/tan").empty());
    EXPECT_TRUE(listArchiveFolder(opened.directory, "readme.txt").empty());
}

TEST(Archive, FileReaderReadsByOffsetFromAPathWithAccents)
{
    TempFolder folder;
    const std::string path = folder.at("j\u00e9u.pk3");
    const std::vector<uint8_t> zip = buildZip(sampleEntries(true));
    ASSERT_TRUE(writeBytesToFile(path, zip));
    ArchiveReader reader;
    ASSERT_TRUE(openArchiveFile(path.c_str(), reader));
    EXPECT_EQ(reader.size, zip.size());
    ArchiveDirectory directory;
    ArchiveFault fault;
    ASSERT_TRUE(readArchiveDirectory(reader, directory, fault)) << fault.text;
    FileBytes bytes;
    ASSERT_TRUE(readArchiveEntry(reader, directory, 0, cap, bytes, fault)) << fault.text;
    EXPECT_EQ(std::vector<uint8_t>(bytes.bytes.get(), bytes.bytes.get() + bytes.size), sampleEntries(false)[0].data);
    uint8_t past = 0;
    EXPECT_FALSE(reader.readAt(reader.context, zip.size(), &past, 1));
    closeArchiveFile(reader);
    EXPECT_EQ(reader.context, nullptr);
    EXPECT_FALSE(openArchiveFile(folder.at("missing.pk3").c_str(), reader));
}

// A .pk3 as Python's zipfile writes it (stored and deflated, a folder record, a data descriptor when streamed)
// reads back byte for byte.
TEST(Archive, ReadsAZipWrittenByPythonsZipfile)
{
    TempFolder folder;
    const std::string path = folder.at("python.pk3");
    const std::string script =
        "import sys, zipfile\n"
        "data = bytes((i * 7 + 1) % 251 for i in range(5000))\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('models/', b'')\n"
        "    z.writestr('models/a/tris.md2', data, compress_type=zipfile.ZIP_STORED)\n"
        "    z.writestr('models/a/skin.pcx', data * 3, compress_type=zipfile.ZIP_DEFLATED)\n"
        "    with z.open('Streamed.TXT', 'w') as f:\n"
        "        f.write(b'streamed ' * 100)\n"
        "    z.comment = b'written by zipfile'\n";
    const std::string scriptPath = folder.at("write.py");
    ASSERT_TRUE(writeBytesToFile(scriptPath, textBytes(script)));
    const std::string command = "python3 '" + scriptPath + "' '" + path + "'";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "python3 could not write the archive";
    }
    ArchiveReader reader;
    ASSERT_TRUE(openArchiveFile(path.c_str(), reader));
    ArchiveDirectory directory;
    ArchiveFault fault;
    ASSERT_TRUE(readArchiveDirectory(reader, directory, fault)) << fault.text;
    ASSERT_EQ(directory.entries.size(), 3u);
    std::vector<uint8_t> data;
    for (int i = 0; i < 5000; ++i) {
        data.push_back(static_cast<uint8_t>((i * 7 + 1) % 251));
    }
    std::vector<uint8_t> tripled;
    for (int i = 0; i < 3; ++i) {
        tripled.insert(tripled.end(), data.begin(), data.end());
    }
    std::string streamed;
    for (int i = 0; i < 100; ++i) {
        streamed += "streamed ";
    }
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        uint16_t method;
    } expected[] = {
        {"models/a/tris.md2", data, 0}, {"MODELS/A/SKIN.PCX", tripled, 8}, {"streamed.txt", textBytes(streamed), 8}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const long index = findArchiveEntry(directory, e.name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(directory.entries[static_cast<size_t>(index)].method, e.method);
        FileBytes bytes;
        ASSERT_TRUE(readArchiveEntry(reader, directory, static_cast<size_t>(index), cap, bytes, fault)) << fault.text;
        EXPECT_EQ(std::vector<uint8_t>(bytes.bytes.get(), bytes.bytes.get() + bytes.size), e.bytes);
    }
    EXPECT_EQ(listArchiveFolder(directory, "models/a"), (std::vector<std::string>{"skin.pcx", "tris.md2"}));
    closeArchiveFile(reader);
}

// The fuzzers' walk over an archive accepts what the builders write and refuses what is not an archive, so a
// finding from them is a real fault rather than a check of their own.
TEST(Archive, FuzzWalkAcceptsBuiltArchives)
{
    const std::vector<uint8_t> pak = buildPak(sampleEntries(false));
    const std::vector<uint8_t> zip = buildZip(sampleEntries(true), "comment");
    EXPECT_TRUE(exercisePakBytes(pak.data(), pak.size()));
    EXPECT_TRUE(exerciseZipBytes(zip.data(), zip.size()));
    EXPECT_FALSE(exercisePakBytes(zip.data(), zip.size()));
    EXPECT_FALSE(exerciseZipBytes(pak.data(), pak.size()));
}
