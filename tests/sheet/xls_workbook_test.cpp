#include "sheet/xls_workbook.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "sheet/compound_file.h"
#include "tests/sheet/biff_stream.h"
#include "tests/sheet/cfb_image.h"
#include "tests/sheet/sheet_test_support.h"

namespace b6409 {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using testing::BiffStream;
using testing::Bytes;

Workbook Read(const std::vector<uint8_t>& stream, std::string* unkept = nullptr) {
    Workbook book;
    WorkbookReadNotes notes;
    std::string error;
    EXPECT_TRUE(ReadWorkbookStream(stream, &book, &notes, &error)) << error;
    if (unkept) *unkept = notes.unkeptContent;
    return book;
}

std::string Refusal(const std::vector<uint8_t>& stream) {
    Workbook book;
    std::string error;
    EXPECT_FALSE(ReadWorkbookStream(stream, &book, nullptr, &error));
    EXPECT_TRUE(book.sheets.empty());
    return error;
}

TEST(SheetCellNumbers, ReadAsAUserWritesThem) {
    const std::pair<double, const char*> cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1, "1"},
        {-7, "-7"},
        {42, "42"},
        {1234567890123, "1234567890123"},
        {0.1, "0.1"},
        {3.14159, "3.14159"},
        {-42.5, "-42.5"},
        {1e-7, "1e-07"},
        {1e20, "1e+20"},
        {12.34, "12.34"},
        {0.1 + 0.2, "0.30000000000000004"},
        {NAN, "#NUM!"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatCellNumber(value), text) << value;
    EXPECT_EQ(DecodeRkNumber(1u << 2 | 2), 1.0);
    EXPECT_EQ(DecodeRkNumber(static_cast<uint32_t>(-5) << 2 | 2), -5.0);
    EXPECT_EQ(DecodeRkNumber(1234u << 2 | 3), 12.34);
    EXPECT_EQ(DecodeRkNumber(0x3FF80000), 1.5);
    EXPECT_EQ(DecodeRkNumber(0x3FF80000 | 1), 0.015);
}

TEST(SheetXlsReader, ReadsTheCellRecordsOfOtherWriters) {
    BiffStream s;
    s.Bof(0x0005);
    const size_t sheet = s.BoundSheet("Cells");
    // Shared strings: one plain, one with formatting runs and phonetic data.
    s.Record(0x00FC, Bytes()
                         .U32(2)
                         .U32(2)
                         .U16(3)
                         .U8(0)
                         .Latin1("abc")
                         .U16(2)
                         .U8(0x0D)
                         .U16(1)
                         .U32(2)
                         .Wide(u"Ωx")
                         .U32(0x00010000)
                         .U8(1)
                         .U8(2));
    s.Eof();
    s.Place(sheet);
    s.Bof(0x0010);
    s.Record(0x0200, Bytes().U32(0).U32(9).U16(0).U16(4).U16(0));
    s.Record(0x00FD, Bytes().Cell(0, 0).U32(1));
    s.Record(0x0204, Bytes().Cell(0, 1).U16(5).U8(0).Latin1("label"));
    s.Record(0x0204, Bytes().Cell(0, 2).U16(2).U8(1).Wide(u"中文"));
    s.Record(0x00D6, Bytes().Cell(0, 3).U16(4).U8(0).Latin1("rich").U8(0));
    s.Record(0x0203, Bytes().Cell(1, 0).F64(2.5));
    s.Record(0x027E, Bytes().Cell(1, 1).U32(100u << 2 | 2));
    s.Record(0x00BD,
             Bytes().U16(2).U16(1).U16(15).U32(7u << 2 | 2).U16(15).U32(250u << 2 | 3).U16(2));
    s.Record(0x0205, Bytes().Cell(3, 0).U8(1).U8(0));
    s.Record(0x0205, Bytes().Cell(3, 1).U8(0x07).U8(1));
    s.Record(0x0201, Bytes().Cell(4, 3));
    s.Record(0x00BE, Bytes().U16(5).U16(0).U16(15).U16(15).U16(1));
    s.Record(0x0006, Bytes().Cell(6, 0).F64(9).U16(0).U32(0).U16(0));
    s.Record(0x0006, Bytes().Cell(6, 1).U8(0).U8(0).U16(0).U16(0).U16(0xFFFF).U16(0).U32(0).U16(0));
    s.Record(0x04BC, Bytes().U32(0));
    s.Record(0x0207, Bytes().U16(6).U8(0).Latin1("result"));
    s.Record(0x0006,
             Bytes().Cell(6, 2).U8(1).U8(0).U8(1).U8(0).U16(0).U16(0xFFFF).U16(0).U32(0).U16(0));
    s.Record(0x023E, Bytes().U16(0x06B6).U16(0).U16(0).U32(64).U16(0).U16(0).U32(0));
    s.Eof();

    std::string unkept;
    const Workbook book = Read(s.bytes, &unkept);
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, "Cells");
    EXPECT_EQ(book.sheets[0].rows, (Rows{{"Ωx", "label", "中文", "rich"},
                                         {"2.5", "100"},
                                         {"", "7", "2.5"},
                                         {"TRUE", "#DIV/0!"},
                                         {"", "", "", ""},
                                         {"", ""},
                                         {"9", "result", "TRUE"}}));
    EXPECT_EQ(unkept, "formulas");
}

TEST(SheetXlsReader, FollowsStringsAcrossContinueRecords) {
    BiffStream s;
    s.Bof(0x0005);
    const size_t sheet = s.BoundSheet("S");
    // "abcdéf": three 8-bit characters, then the rest as UTF-16 after the option byte.
    s.Record(0x00FC, Bytes().U32(2).U32(2).U16(6).U8(0).Latin1("abc"));
    s.Record(0x003C, Bytes().U8(1).Wide(u"déf").U16(3).U8(1).Wide(u"x"));
    // The second string's header came whole; its characters go on, now 8-bit.
    s.Record(0x003C, Bytes().U8(0).Latin1("yz"));
    s.Eof();
    s.Place(sheet);
    s.Bof(0x0010)
        .Record(0x00FD, Bytes().Cell(0, 0).U32(0))
        .Record(0x00FD, Bytes().Cell(0, 1).U32(1));
    s.Eof();
    EXPECT_EQ(Read(s.bytes).sheets.at(0).rows, (Rows{{"abcdéf", "xyz"}}));
}

TEST(SheetXlsReader, SkipsEverythingThatIsNotAWorksheet) {
    BiffStream s;
    s.Bof(0x0005);
    const size_t chartSheet = s.BoundSheet("Chart1", 2);
    const size_t work = s.BoundSheet("Work");
    const size_t macro = s.BoundSheet("Macro1", 0);  // listed as a sheet, but its BOF says macro
    s.Record(0x00FC, Bytes().U32(2).U32(2).U16(1).U8(0).Latin1("a").U16(1).U8(0).Latin1("b"));
    s.Eof();
    s.Place(chartSheet);
    s.Bof(0x0020).Record(0x00FD, Bytes().Cell(0, 0).U32(0)).Eof();
    s.Place(work);
    s.Bof(0x0010);
    s.Record(0x00FD, Bytes().Cell(0, 0).U32(0));
    // An embedded chart: its records are not cells of this sheet.
    s.Bof(0x0020).Record(0x00FD, Bytes().Cell(5, 5).U32(1)).Eof();
    s.Record(0x00FD, Bytes().Cell(0, 1).U32(1));
    s.Eof();
    s.Place(macro);
    s.Bof(0x0040).Eof();
    std::string unkept;
    const Workbook book = Read(s.bytes, &unkept);
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, "Work");
    EXPECT_EQ(book.sheets[0].rows, (Rows{{"a", "b"}}));
    EXPECT_EQ(unkept, "charts or embedded objects, sheets other than worksheets");
}

TEST(SheetXlsReader, RefusesDamagedStreams) {
    auto withSheet = [](const std::function<void(BiffStream&)>& cells) {
        BiffStream s;
        s.Bof(0x0005);
        const size_t sheet = s.BoundSheet("S");
        s.Record(0x00FC, Bytes().U32(1).U32(1).U16(1).U8(0).Latin1("a"));
        s.Eof();
        s.Place(sheet);
        s.Bof(0x0010);
        cells(s);
        return s.bytes;
    };
    EXPECT_EQ(Refusal({}), "the workbook stream does not begin with a BOF record");
    EXPECT_NE(Refusal(BiffStream().Bof(0x0005, 0x0500).Eof().bytes).find("BIFF8"),
              std::string::npos);
    EXPECT_NE(Refusal(BiffStream().Bof(0x0005).Record(0x002F, Bytes().U16(0)).Eof().bytes)
                  .find("password"),
              std::string::npos);
    EXPECT_NE(Refusal(BiffStream().Bof(0x0005).bytes).find("global"), std::string::npos);
    EXPECT_NE(Refusal(withSheet([](BiffStream& s) {
                  s.Record(0x00FD, Bytes().Cell(0, 0).U32(1)).Eof();
              })).find("shared string"),
              std::string::npos);
    EXPECT_NE(Refusal(withSheet([](BiffStream& s) {
                  s.Record(0x00FD, Bytes().Cell(0, 256).U32(0)).Eof();
              })).find("256 columns"),
              std::string::npos);
    EXPECT_NE(Refusal(withSheet([](BiffStream& s) {
                  s.Record(0x00FD, Bytes().Cell(0, 0));
              })).find("too short"),
              std::string::npos);
    EXPECT_NE(Refusal(withSheet([](BiffStream& s) {
                  s.Record(0x00BD, Bytes().U16(0).U16(3).U16(15).U32(2).U16(1)).Eof();
              })).find("MULRK"),
              std::string::npos);
    EXPECT_NE(Refusal(withSheet([](BiffStream&) {})).find("EOF"), std::string::npos);
    auto cut = withSheet([](BiffStream& s) { s.Eof(); });
    cut.resize(cut.size() - 2);
    EXPECT_FALSE(Refusal(cut).empty());
    auto misplaced = withSheet([](BiffStream& s) { s.Eof(); });
    const uint32_t far = 1u << 30;
    std::memcpy(misplaced.data() + 20 + 4, &far, 4);  // the BOUNDSHEET's position
    EXPECT_NE(Refusal(misplaced).find("outside"), std::string::npos);
    // An SST that promises more than it holds ends where its bytes end; a string cut short
    // is an error.
    BiffStream sst;
    sst.Bof(0x0005).Record(0x00FC, Bytes().U32(9).U32(9).U16(5).U8(0).Latin1("ab")).Eof();
    EXPECT_NE(Refusal(sst.bytes).find("string"), std::string::npos);
}

TEST(SheetXlsReader, SurvivesScrambledStreams) {
    Workbook book;
    book.sheets.push_back({"One", {{"a", "b", ""}, {"ü", "中", "x"}}});
    book.sheets.push_back({"Two", {{"long " + std::string(3000, 'q')}}});
    const auto stream = BuildWorkbookStream(book);
    std::mt19937 random(99);
    for (int round = 0; round < 2000; ++round) {
        auto damaged = stream;
        if (round % 3 == 0) damaged.resize(random() % damaged.size());
        for (int i = 0; i < 1 + round % 5 && !damaged.empty(); ++i)
            damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        Workbook out;
        std::string error;
        if (!ReadWorkbookStream(damaged, &out, nullptr, &error)) {
            EXPECT_FALSE(error.empty());
        }
    }
}

Workbook SampleWorkbook() {
    Workbook book;
    book.sheets.push_back(
        {"CANFID", {{"Mode", "ID", "Note"}, {"0", "0x101", ""}, {"", "", "last"}}});
    Sheet many{"Many Strings", {}};
    for (int i = 0; i < 4000; ++i) {
        // 8-bit and UTF-16 strings of many lengths, so that strings cross the record limit
        // at every kind of place.
        std::string text =
            std::to_string(i) + ":" + std::string(i % 97, static_cast<char>('a' + i % 26));
        if (i % 3 == 0) text += "Ω中";
        many.rows.push_back({text, i % 5 == 0 ? "" : "same"});
    }
    book.sheets.push_back(std::move(many));
    std::string huge;
    for (int i = 0; i < 16000; ++i) huge += (i % 2) ? "é" : "z";
    book.sheets.push_back({"Huge", {{huge, std::string(32767, 'w')}}});
    book.sheets.push_back({"Empty", {}});
    return book;
}

TEST(SheetXlsWriter, WhatItWritesReadsBackTheSame) {
    const Workbook book = SampleWorkbook();
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(BuildWorkbookFile(book, &file, &error)) << error;
    Workbook back;
    WorkbookReadNotes notes;
    ASSERT_TRUE(ReadWorkbook(file, &back, &notes, &error)) << error;
    ASSERT_EQ(back.sheets.size(), book.sheets.size());
    for (size_t i = 0; i < book.sheets.size(); ++i) {
        EXPECT_EQ(back.sheets[i].name, book.sheets[i].name);
        EXPECT_EQ(back.sheets[i].rows, book.sheets[i].rows) << book.sheets[i].name;
    }
    EXPECT_EQ(notes.unkeptContent, "");
}

TEST(SheetXlsWriter, AnIndependentReaderReadsWhatItWrites) {
    if (!testing::PythonHas("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
    testing::TempDir dir;
    const Workbook book = SampleWorkbook();
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(BuildWorkbookFile(book, &file, &error)) << error;
    testing::WriteBytes(dir / "sample.xls", file);
    EXPECT_EQ(testing::XlrdCompare(dir, dir / "sample.xls", book), "OK\n");
}

TEST(SheetXlsWriter, RefusesWhatTheFormatCannotHold) {
    auto refused = [](Workbook book) {
        std::vector<uint8_t> file;
        std::string error;
        EXPECT_FALSE(BuildWorkbookFile(book, &file, &error));
        return error;
    };
    EXPECT_NE(refused({{{"", {}}}}).find("1 to 31"), std::string::npos);
    EXPECT_NE(refused({{{std::string(32, 'n'), {}}}}).find("1 to 31"), std::string::npos);
    for (const char* name : {"a:b", "a/b", "a\\b", "a?b", "a*b", "a[b", "a]b", "'ab", "ab'"})
        EXPECT_NE(refused({{{name, {}}}}).find("not allowed"), std::string::npos) << name;
    EXPECT_NE(refused({{{"Same", {}}, {"SAME", {}}}}).find("two sheets"), std::string::npos);
    EXPECT_NE(refused({{{"S", Rows(65537)}}}).find("65536"), std::string::npos);
    EXPECT_NE(refused({{{"S", {std::vector<std::string>(257)}}}}).find("256"), std::string::npos);
    EXPECT_NE(refused({{{"S", {{"\xC3"}}}}}).find("UTF-8"), std::string::npos);
    EXPECT_NE(refused({{{"S", {{"\xED\xA0\x80"}}}}}).find("UTF-8"),
              std::string::npos);  // surrogate
    EXPECT_NE(refused({{{"S", {{std::string(32768, 'x')}}}}}).find("32767"), std::string::npos);
    EXPECT_EQ(Utf16Length("aé中😀"), 5u);
    EXPECT_EQ(Utf16Length("\xC0\x80"), std::nullopt);  // overlong
}

TEST(SheetXlsReader, ReadsAWorkbookKeptInTheMiniStream) {
    Workbook book;
    book.sheets.push_back({"Small", {{"a", "1"}, {"b", "2"}}});
    const auto stream = BuildWorkbookStream(book);
    ASSERT_LT(stream.size(), 4096u);
    const testing::CfbImage image(
        {{"Workbook", stream}, {"\x05SummaryInformation", std::vector<uint8_t>(200)}});
    Workbook back;
    std::string error;
    ASSERT_TRUE(ReadWorkbook(image.bytes, &back, nullptr, &error)) << error;
    EXPECT_EQ(back.sheets.at(0).rows, book.sheets[0].rows);

    const testing::CfbImage old({{"Book", stream}});
    EXPECT_FALSE(ReadWorkbook(old.bytes, &back, nullptr, &error));
    EXPECT_NE(error.find("older"), std::string::npos) << error;
}

}  // namespace
}  // namespace b6409
