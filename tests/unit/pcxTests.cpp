// The PCX skin decoder: pixels and palette lookup, runs across line ends and padding, and each refusal with its
// text, on small files written by the PCX builder. Files are handed over in exactly-sized buffers so a stray read
// shows under AddressSanitizer.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "model/pcx.h"
#include "support/pcxBuilder.h"

namespace {

PcxFault decode(const std::vector<uint8_t>& bytes, SkinImage& image)
{
    // A heap copy of exactly the file's size: the vector's spare capacity would hide an overread.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    if (!bytes.empty()) {
        std::memcpy(exact.get(), bytes.data(), bytes.size());
    }
    return decodePcxImage(exact.get(), bytes.size(), image);
}

PcxDescription sized(uint16_t width, uint16_t height, uint16_t bytesPerLine = 0)
{
    PcxDescription pcx;
    pcx.xMax = static_cast<uint16_t>(width - 1);
    pcx.yMax = static_cast<uint16_t>(height - 1);
    pcx.bytesPerLine = bytesPerLine;
    return pcx;
}

// The palette indices the image shows, read back through the test colours.
std::vector<int> indicesOf(const SkinImage& image)
{
    std::vector<int> indices;
    for (int32_t i = 0; i < image.width * image.height; ++i) {
        const uint8_t* pixel = image.pixels.get() + 4 * i;
        const PcxColour colour = pcxTestColour(pixel[0]);
        const bool matches = pixel[1] == colour.g && pixel[2] == colour.b && pixel[3] == 255;
        indices.push_back(matches ? pixel[0] : -1);
    }
    return indices;
}

}  // namespace

TEST(PcxDecode, TwoByTwoTakesEachColourFromThePaletteTopRowFirst)
{
    PcxDescription pcx = sized(2, 2);
    pcx.indices = {1, 2, 3, 200};
    SkinImage image;
    ASSERT_EQ(decode(buildPcx(pcx), image), PcxFault::none);
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 2);
    const uint8_t expected[] = {1, 254, 8,  255, 2,   253, 15,  255,
                                3, 252, 22, 255, 200, 55,  121, 255};  // 200 * 7 + 1 wraps to 121
    EXPECT_EQ(std::memcmp(image.pixels.get(), expected, sizeof expected), 0);
}

TEST(PcxDecode, RunsPaddingAndBoundsGiveTheExpectedPixels)
{
    struct Case {
        const char* what;
        PcxDescription pcx;
        std::vector<int> expected;
    };
    auto withData = [](PcxDescription pcx, std::vector<uint8_t> data) {
        pcx.data = std::move(data);
        return pcx;
    };
    PcxDescription offsetBounds = sized(2, 1);
    offsetBounds.xMin = 10;
    offsetBounds.xMax = 11;
    offsetBounds.yMin = 300;
    offsetBounds.yMax = 300;
    offsetBounds.indices = {4, 5};
    PcxDescription trailing = withData(sized(2, 1), {6, 7});
    trailing.gap = {0xc5, 9, 9};
    std::vector<int> sixtyFour(64 * 2, 9);
    sixtyFour[127] = 8;

    const Case cases[] = {
        {"a run carries over the end of a line", withData(sized(3, 2), {0xc6, 7}), {7, 7, 7, 7, 7, 7}},
        {"a run ends inside the next line", withData(sized(3, 2), {1, 0xc4, 5, 6}), {1, 5, 5, 5, 5, 6}},
        {"odd bytes per line: the padding byte is dropped", withData(sized(2, 2, 3), {1, 2, 9, 3, 4, 9}), {1, 2, 3, 4}},
        {"a run covers a line's padding and the next line", withData(sized(2, 2, 3), {1, 0xc4, 5, 6}), {1, 5, 5, 5}},
        {"a run of 63", withData(sized(63, 1), {0xff, 4}), std::vector<int>(63, 4)},
        {"runs of 63 across lines", withData(sized(64, 2), {0xff, 9, 0xff, 9, 0xc1, 9, 8}), sixtyFour},
        {"a byte with the top bits set goes as a run of one",
         withData(sized(2, 1), {0xc1, 0xc0, 0xc1, 0xff}),
         {0xc0, 0xff}},
        {"bytes from 0x40 to 0xbf are literal indices, not runs",
         withData(sized(4, 1), {0x40, 0x7f, 0x80, 0xbf}),
         {0x40, 0x7f, 0x80, 0xbf}},
        {"a run of zero makes nothing", withData(sized(2, 1), {0xc0, 3, 1, 2}), {1, 2}},
        {"bounds that do not start at 0", offsetBounds, {4, 5}},
        {"bytes between the image data and the palette are ignored", trailing, {6, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SkinImage image;
        ASSERT_EQ(decode(buildPcx(c.pcx), image), PcxFault::none);
        EXPECT_EQ(image.width * image.height, static_cast<int32_t>(c.expected.size()));
        EXPECT_EQ(indicesOf(image), c.expected);
    }
}

TEST(PcxDecode, RefusesEachFaultWithItsOwnText)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        PcxFault fault;
    };
    auto changed = [](void (*change)(PcxDescription&)) {
        PcxDescription pcx = sized(2, 2);
        pcx.indices = {1, 2, 3, 4};
        change(pcx);
        return buildPcx(pcx);
    };
    std::vector<uint8_t> negativeWidth = changed([](PcxDescription&) {});
    negativeWidth[8] = 0;  // xMax 0 ...
    negativeWidth[4] = 2;  // ... below xMin 2

    const Case cases[] = {
        {"empty file", {}, PcxFault::notPcx},
        {"other manufacturer", changed([](PcxDescription& p) { p.manufacturer = 11; }), PcxFault::notPcx},
        {"header cut short", changed([](PcxDescription& p) { p.keptBytes = 100; }), PcxFault::headerCutShort},
        {"version 3", changed([](PcxDescription& p) { p.version = 3; }), PcxFault::notVersion5},
        {"not run-length encoded", changed([](PcxDescription& p) { p.encoding = 0; }), PcxFault::notRunLength},
        {"24-bit: 8 bits in 3 planes", changed([](PcxDescription& p) { p.planes = 3; }), PcxFault::notPaletted},
        {"24 bits in one plane", changed([](PcxDescription& p) { p.bitsPerPixel = 24; }), PcxFault::notPaletted},
        {"planar: 1 bit in 4 planes", changed([](PcxDescription& p) {
             p.bitsPerPixel = 1;
             p.planes = 4;
         }),
         PcxFault::notPaletted},
        {"width 0", changed([](PcxDescription& p) { p.xMin = 2; }), PcxFault::badSize},  // xMax 1 = xMin - 1
        {"negative width", negativeWidth, PcxFault::badSize},
        {"height 0", changed([](PcxDescription& p) { p.yMin = 2; }), PcxFault::badSize},
        {"wider than 4096", changed([](PcxDescription& p) { p.xMax = 4096; }), PcxFault::badSize},
        {"taller than 4096", changed([](PcxDescription& p) { p.yMax = 4096; }), PcxFault::badSize},
        {"bytes per line under the width", changed([](PcxDescription& p) { p.bytesPerLine = 1; }),
         PcxFault::shortLines},
        {"palette marker 11", changed([](PcxDescription& p) { p.paletteMarker = 11; }), PcxFault::noPalette},
        {"no palette at all", changed([](PcxDescription& p) { p.withPalette = false; }), PcxFault::noPalette},
        {"image data short of the image", changed([](PcxDescription& p) {
             p.data = {1, 2, 3};
         }),
         PcxFault::dataCutShort},
        {"a run's count is the last data byte", changed([](PcxDescription& p) {
             p.data = {1, 2, 3, 0xc1};
         }),
         PcxFault::dataCutShort},
        {"a run past the last line", changed([](PcxDescription& p) {
             p.data = {1, 2, 0xc3, 3};
         }),
         PcxFault::runPastImage},
        {"4096 x 4096 claimed by a small file", changed([](PcxDescription& p) {
             p.xMax = 4095;
             p.yMax = 4095;
         }),
         PcxFault::dataCutShort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SkinImage image;
        image.width = 5;
        EXPECT_EQ(decode(c.bytes, image), c.fault);
        EXPECT_EQ(image.width, 0);
        EXPECT_EQ(image.pixels, nullptr);
    }

    std::set<std::string> texts;
    for (int fault = int(PcxFault::notPcx); fault <= int(PcxFault::noMemory); ++fault) {
        const char* text = pcxFaultText(PcxFault(fault));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text).rfind("PCX: ", 0), 0u) << text;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), size_t(PcxFault::noMemory));
    EXPECT_EQ(pcxFaultText(PcxFault::none), nullptr);
}

TEST(PcxDecode, EveryCutOfAFileIsRefused)
{
    PcxDescription pcx = sized(5, 3, 6);
    for (int i = 0; i < 18; ++i) {
        pcx.indices.push_back(static_cast<uint8_t>(i < 9 ? 0xc7 : i));
    }
    pcx.palette.assign(768, 0x40);  // no 12 in it, so only the real marker can pass for one
    const std::vector<uint8_t> whole = buildPcx(pcx);
    SkinImage image;
    ASSERT_EQ(decode(whole, image), PcxFault::none);
    for (size_t kept = 0; kept < whole.size(); ++kept) {
        SCOPED_TRACE(kept);
        EXPECT_NE(decode(std::vector<uint8_t>(whole.begin(), whole.begin() + kept), image), PcxFault::none);
    }
}

TEST(PcxDecode, LargestImageDecodes)
{
    PcxDescription pcx = sized(4096, 4096);
    pcx.indices.assign(size_t(4096) * 4096, 17);
    SkinImage image;
    ASSERT_EQ(decode(buildPcx(pcx), image), PcxFault::none);
    EXPECT_EQ(image.width, 4096);
    EXPECT_EQ(image.height, 4096);
    const uint8_t* last = image.pixels.get() + (size_t(4096) * 4096 - 1) * 4;
    EXPECT_EQ(last[0], 17);
    EXPECT_EQ(last[3], 255);
}
