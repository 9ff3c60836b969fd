#include "sheet/compound_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/sheet/cfb_image.h"

namespace b6409 {
namespace {

using testing::CfbImage;

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

bool ReadsAs(const std::vector<uint8_t>& file, const char* name, std::vector<uint8_t>* out,
             std::string* error) {
    CompoundFileReader reader;
    return reader.Open(file, error) && reader.ReadStream(name, out, error);
}

TEST(SheetCompoundFile, WrittenStreamsReadBackPaddedToTheMiniStreamCutoff) {
    for (size_t size :
         {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{100000}}) {
        const auto stream = Pattern(size, 7);
        const auto file = BuildCompoundFile("Workbook", stream);
        EXPECT_EQ(file.size() % 512, 0u);
        CompoundFileReader reader;
        std::string error;
        ASSERT_TRUE(reader.Open(file, &error)) << error;
        EXPECT_EQ(reader.StreamNames(), (std::vector<std::string>{"Workbook"}));
        std::vector<uint8_t> back;
        ASSERT_TRUE(reader.ReadStream("WORKBOOK", &back, &error)) << error;
        auto expected = stream;
        if (expected.size() < 4096) expected.resize(4096, 0);
        EXPECT_EQ(back, expected) << size;
        EXPECT_FALSE(reader.ReadStream("Book", &back, &error));
    }
}

TEST(SheetCompoundFile, LargeStreamsListTheirTableBeyondTheHeader) {
    // 8 MB needs 128 table sectors, more than the header's 109 entries.
    const auto stream = Pattern(8u << 20, 11);
    const auto file = BuildCompoundFile("Workbook", stream);
    uint32_t difatSectors;
    std::memcpy(&difatSectors, file.data() + 0x48, 4);
    EXPECT_GE(difatSectors, 1u);
    std::vector<uint8_t> back;
    std::string error;
    ASSERT_TRUE(ReadsAs(file, "Workbook", &back, &error)) << error;
    EXPECT_EQ(back, stream);
}

TEST(SheetCompoundFile, SmallStreamsComeOutOfTheMiniStream) {
    CfbImage image(
        {{"Small", Pattern(100, 1)}, {"Tiny", Pattern(3, 2)}, {"Big", Pattern(5000, 3)}});
    CompoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(image.bytes, &error)) << error;
    EXPECT_EQ(reader.StreamNames().size(), 3u);
    for (const auto& [name, data] : image.streams) {
        std::vector<uint8_t> back;
        ASSERT_TRUE(reader.ReadStream(name, &back, &error)) << name << ": " << error;
        EXPECT_EQ(back, data) << name;
    }
}

// Every way a damaged file was made here must end in an error, not in a crash, a hang or
// wrong bytes.
void ExpectRefused(const std::vector<uint8_t>& file, const char* stream, const char* what) {
    std::vector<uint8_t> back;
    std::string error;
    EXPECT_FALSE(ReadsAs(file, stream, &back, &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
}

TEST(SheetCompoundFile, BrokenChainsAreErrors) {
    const CfbImage good({{"Small", Pattern(200, 1)}, {"Big", Pattern(5000, 3)}});
    const uint32_t big = good.start[1];
    {
        CfbImage bad = good;
        bad.SetFat(big + 4, big + 1);  // the fifth sector leads back to the second
        ExpectRefused(bad.bytes, "Big", "cyclic chain");
    }
    {
        CfbImage bad = good;
        bad.SetFat(big, big);
        ExpectRefused(bad.bytes, "Big", "sector pointing at itself");
    }
    {
        CfbImage bad = good;
        bad.SetFat(big + 2, 100000);
        ExpectRefused(bad.bytes, "Big", "sector beyond the file");
    }
    {
        CfbImage bad = good;
        bad.SetFat(big + 2, 0xFFFFFFFF);  // a free sector in the middle of a chain
        ExpectRefused(bad.bytes, "Big", "chain ending in a free sector");
    }
    {
        CfbImage bad = good;
        bad.SetEntrySize(2, 50000);  // longer than its chain
        ExpectRefused(bad.bytes, "Big", "size past the chain");
    }
    {
        CfbImage bad = good;
        bad.SetEntrySize(2, 0xFFFFFFF0);
        ExpectRefused(bad.bytes, "Big", "size past the file");
    }
    {
        CfbImage bad = good;
        bad.SetMiniFat(0, 0);
        ExpectRefused(bad.bytes, "Small", "cyclic mini chain");
    }
    {
        CfbImage bad = good;
        bad.SetMiniFat(1, 5000);
        ExpectRefused(bad.bytes, "Small", "mini sector beyond the mini stream");
    }
    {
        CfbImage bad = good;
        bad.SetFat(CfbImage::kDirectorySector, CfbImage::kDirectorySector);
        ExpectRefused(bad.bytes, "Big", "directory chain in a loop");
    }
    {
        CfbImage bad = good;
        bad.SetEntryLink(2, 0x48, 1);  // Big's right sibling is Small again
        ExpectRefused(bad.bytes, "Big", "directory tree with a cycle");
    }
    {
        CfbImage bad = good;
        bad.SetEntryLink(1, 0x44, 77);
        ExpectRefused(bad.bytes, "Big", "directory link beyond the entries");
    }
    {
        CfbImage bad = good;
        bad.Put32(0x2C, 5000);  // more table sectors than the file has
        ExpectRefused(bad.bytes, "Big", "table count beyond the file");
    }
    {
        CfbImage bad = good;
        bad.Put32(0x4C, 9999);
        ExpectRefused(bad.bytes, "Big", "table sector beyond the file");
    }
    {
        CfbImage bad = good;
        bad.Put16(0x1E, 10);
        ExpectRefused(bad.bytes, "Big", "unknown sector size");
    }
}

// A version 4 file (4,096-byte sectors): the table in sector 0, the directory in sector 1, the
// root entry with the given size and one small stream "Workbook" in its mini stream.
std::vector<uint8_t> Version4File(uint64_t rootSize) {
    constexpr size_t kSector = 4096;
    std::vector<uint8_t> file(3 * kSector, 0);
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(file.data() + at, &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(file.data() + at, &v, 4); };
    const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(file.data(), signature, 8);
    put16(0x1A, 4);
    put16(0x1C, 0xFFFE);
    put16(0x1E, 12);
    put16(0x20, 6);
    put32(0x2C, 1);
    put32(0x30, 1);
    put32(0x38, 4096);
    put32(0x3C, CfbImage::kEnd);
    put32(0x44, CfbImage::kEnd);
    for (int i = 0; i < 109; ++i) put32(0x4C + 4 * i, i == 0 ? 0 : CfbImage::kFree);
    for (size_t i = 0; i < kSector / 4; ++i) put32(kSector + 4 * i, CfbImage::kFree);
    put32(kSector, 0xFFFFFFFD);
    put32(kSector + 4, CfbImage::kEnd);
    auto entry = [&](size_t index, const std::string& name, uint8_t type, uint32_t child,
                     uint32_t first, uint64_t size) {
        const size_t at = 2 * kSector + 128 * index;
        for (size_t i = 0; i < name.size(); ++i) put16(at + 2 * i, static_cast<uint8_t>(name[i]));
        put16(at + 0x40, static_cast<uint16_t>(2 * (name.size() + 1)));
        file[at + 0x42] = type;
        put32(at + 0x44, CfbImage::kFree);
        put32(at + 0x48, CfbImage::kFree);
        put32(at + 0x4C, child);
        put32(at + 0x74, first);
        put32(at + 0x78, static_cast<uint32_t>(size));
        put32(at + 0x7C, static_cast<uint32_t>(size >> 32));
    };
    entry(0, "Root Entry", 5, 1, CfbImage::kEnd, rootSize);
    entry(1, "Workbook", 2, CfbImage::kFree, 0, 100);
    for (size_t i = 2; i < kSector / 128; ++i) entry(i, "", 0, CfbImage::kFree, 0, 0);
    return file;
}

TEST(SheetCompoundFile, AMiniStreamSizeBeyondTheFileIsAnError) {
    ExpectRefused(Version4File(0xFFFFFFFFFFFFFFFFu), "Workbook", "mini stream size near 2^64");
    ExpectRefused(Version4File(0xFFFFFFFFFFFFF001u), "Workbook", "size that wraps to one sector");
    ExpectRefused(Version4File(3 * 4096 + 1), "Workbook", "mini stream longer than the file");
}

TEST(SheetCompoundFile, ALoopInTheTableListIsAnError) {
    auto file = BuildCompoundFile("Workbook", Pattern(8u << 20, 5));
    uint32_t difatStart;
    std::memcpy(&difatStart, file.data() + 0x44, 4);
    // Claim more table sectors than the list holds, and let the list point at itself.
    const uint32_t fatSectors = 300;
    std::memcpy(file.data() + 0x2C, &fatSectors, 4);
    std::memcpy(file.data() + (difatStart + 1) * 512 + 508, &difatStart, 4);
    ExpectRefused(file, "Workbook", "DIFAT loop");
}

TEST(SheetCompoundFile, TruncatedFilesNeverReadWrongBytes) {
    const CfbImage image({{"Small", Pattern(300, 1)}, {"Big", Pattern(6000, 3)}});
    for (size_t cut = 0; cut < image.bytes.size(); cut += 37) {
        const std::vector<uint8_t> file(image.bytes.begin(), image.bytes.begin() + cut);
        for (const auto& [name, data] : image.streams) {
            std::vector<uint8_t> back;
            std::string error;
            if (ReadsAs(file, name.c_str(), &back, &error))
                EXPECT_EQ(back, data) << "cut at " << cut;
            else
                EXPECT_FALSE(error.empty());
        }
    }
}

TEST(SheetCompoundFile, GarbageIsRefusedWithoutCrashing) {
    const CfbImage image({{"Small", Pattern(300, 1)}, {"Big", Pattern(6000, 3)}});
    std::mt19937 random(1234);
    for (int round = 0; round < 400; ++round) {
        auto file = image.bytes;
        // Scramble a few bytes of the tables and entries (past the signature), or all of them.
        const size_t changes = round % 10 == 0 ? file.size() : 1 + random() % 8;
        for (size_t i = 0; i < changes; ++i) {
            const size_t at = 8 + random() % (std::min<size_t>(file.size(), 3 * 512) - 8);
            file[at] = static_cast<uint8_t>(random());
        }
        CompoundFileReader reader;
        std::string error;
        if (!reader.Open(file, &error)) continue;
        std::vector<uint8_t> back;
        for (const auto& name : reader.StreamNames()) reader.ReadStream(name, &back, &error);
    }
    ExpectRefused(Pattern(4096, 9), "Workbook", "random bytes");
    ExpectRefused({}, "Workbook", "empty file");
}

}  // namespace
}  // namespace b6409
