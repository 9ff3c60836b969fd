#include "files/data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "files/in_child.h"
#include "support/recorders.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

std::vector<uint8_t> Counted(const std::string& text) {
    std::vector<uint8_t> out = {uint8_t(text.size()), 0, 0, 0};
    for (char c : text) out.push_back(uint8_t(c));
    return out;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

IdTable FilterTable(size_t rows) {
    IdTable table;
    for (size_t i = 0; i < rows; ++i)
        table.AppendEntry(i % 2 ? IdEntry{IdKind::Gid29, uint32_t(i), 0x1FFFFFFF}
                                : IdEntry{IdKind::Sid11, uint32_t(i & 0x7FF), 0});
    return table;
}

TEST(DataFile, BeginsExactlyAsTheFormatSays) {
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x123, 0});
    const std::vector<uint8_t> expected = Join({
        Counted("Total Rows:"),
        {0x1E, 0, 0, 0},
        Counted("Total Columns:"),
        {3, 0, 0, 0},
        Counted(""),
        Counted("CAN-ID Type"),
        Counted("Accepted IDs"),
        Counted("1"),
        Counted("11-bit SID"),
        Counted("0x123"),
        Counted("2"),
        Counted(""),
        Counted(""),
    });
    const std::vector<uint8_t> bytes = EncodeDataFile(IdListMode::Filter, table);
    ASSERT_GE(bytes.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + expected.size()), expected);
    // 30 records in all, the last one "30" with two empty cells.
    const std::vector<uint8_t> tail = Join({Counted("30"), Counted(""), Counted("")});
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - tail.size(), bytes.end()), tail);
    const std::vector<uint8_t> mapping = EncodeDataFile(IdListMode::Mapping, table);
    EXPECT_EQ(std::string(mapping.begin() + 4, mapping.begin() + 15), "Total MIDs:");
}

TEST(DataFile, TablesOfEverySizeLoadBackWhole) {
    for (size_t rows : {0u, 1u, 29u, 30u, 31u, 999u, 1000u, 12000u}) {
        const IdTable saved = FilterTable(rows);
        const std::vector<uint8_t> bytes = EncodeDataFile(IdListMode::Filter, saved);
        const uint32_t records = bytes[15] | bytes[16] << 8 | bytes[17] << 16;
        EXPECT_EQ(records, rows < 30 ? 30u : rows + 1) << rows;

        IdTable loaded;
        loaded.AppendRow("001", "11-bit SID", "0x7FF");  // replaced by the file
        const DataFileLoad load = DecodeDataFile(bytes, IdListMode::Filter, loaded);
        EXPECT_TRUE(load.tableReplaced);
        EXPECT_EQ(load.message, "") << rows;
        EXPECT_TRUE(loaded.SameTexts(saved)) << rows;
    }
}

TEST(DataFile, RowsComeBackUnderTheirPositionAndAsWritten) {
    IdTable table;
    for (int i = 0; i < 8; ++i) table.AppendRow("050", "29>11-bit MID", "0x1FFFFFFF>0x012");
    table.AppendRow("x", "not a kind", "free text");
    table.AppendRow("y", "11-bit SID", std::string(127, 'A'));  // the longest a cell can be
    IdTable loaded;
    DecodeDataFile(EncodeDataFile(IdListMode::Mapping, table), IdListMode::Mapping, loaded);
    ASSERT_EQ(loaded.RowCount(), 10u);
    EXPECT_EQ(loaded.Row(6).number, "007");
    EXPECT_EQ(loaded.Row(8).type, "not a kind");
    EXPECT_EQ(loaded.Row(8).id, "free text");
    EXPECT_EQ(loaded.Row(9).id, std::string(127, 'A'));
}

// Everything a row holds, selection included, for "exactly as it was".
std::vector<std::tuple<std::string, std::string, std::string, bool, bool>> Everything(
    const IdTable& table) {
    std::vector<std::tuple<std::string, std::string, std::string, bool, bool>> rows;
    for (const IdRow& row : table.Rows())
        rows.emplace_back(row.number, row.type, row.id, row.selected, row.focused);
    return rows;
}

TEST(DataFile, RefusedFilesLeaveTheTableExactlyAsItWas) {
    IdTable mapping;
    mapping.AppendEntry({IdKind::Mid11To11, 0x100, 0x200});
    const auto mappingFile = EncodeDataFile(IdListMode::Mapping, mapping);
    const auto filterFile = EncodeDataFile(IdListMode::Filter, FilterTable(40));
    std::vector<uint8_t> noColumns = filterFile;
    noColumns[19] = 'X';  // "Total Columns:" spelt otherwise
    std::vector<uint8_t> wrongTitle = filterFile;
    wrongTitle[4] = 't';
    // Cut halfway, after some twenty good rows.
    const std::vector<uint8_t> truncated(filterFile.begin(),
                                         filterFile.begin() + filterFile.size() / 2);
    std::vector<uint8_t> overlong = EncodeDataFile(IdListMode::Filter, [] {
        IdTable table;
        table.AppendRow("001", "11-bit SID", std::string(127, 'A'));
        table.AppendRow("002", "11-bit SID", std::string(128, 'B'));
        return table;
    }());

    const std::pair<std::pair<const std::vector<uint8_t>*, IdListMode>, std::string> cases[] = {
        {{&mappingFile, IdListMode::Filter}, "This is a Mapping-ID File !"},
        {{&filterFile, IdListMode::Mapping}, "This is a Filter-ID File !"},
        {{&wrongTitle, IdListMode::Filter}, "File Format Error !"},
        {{&noColumns, IdListMode::Filter}, "File Format Error !"},
        {{&truncated, IdListMode::Filter}, "File Format Error !"},
        {{&overlong, IdListMode::Filter}, "File Format Error !"},
    };
    IdTable before;
    before.AppendRow("007", "11-bit SID", "0x123");
    before.AppendRow("008", "29-bit GID", "0x1ABCDEF");
    before.Row(1).selected = before.Row(1).focused = true;
    for (const auto& [input, message] : cases) {
        IdTable table = before;
        const DataFileLoad load = DecodeDataFile(*input.first, input.second, table);
        EXPECT_EQ(load.message, message);
        EXPECT_FALSE(load.tableReplaced);
        EXPECT_EQ(Everything(table), Everything(before)) << message;
    }

    // The same through the file on disk, which is what the window and b6409ctl load.
    test::TempDir dir;
    test::RecordingSink sink;
    for (const auto& [name, bytes] :
         {std::pair{"cut.dat", &truncated}, {"map.dat", &mappingFile}}) {
        test::TempDir::WriteBytes(dir / name, *bytes);
        IdTable table = before;
        EXPECT_FALSE(LoadDataFile(dir / name, IdListMode::Filter, table, sink));
        EXPECT_EQ(sink.shown.back().second, MessageIcon::Stop);
        EXPECT_EQ(Everything(table), Everything(before)) << name;
    }
}

TEST(DataFile, ACutFileNeverReadsOutOfBoundsAndIsLoadedWholeOrNotAtAll) {
    const IdTable saved = FilterTable(40);
    const std::vector<uint8_t> bytes = EncodeDataFile(IdListMode::Filter, saved);
    for (size_t length = 0; length < bytes.size(); ++length) {
        // A copy of exactly the cut length, so that a read past it is a read past the buffer.
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
        IdTable table;
        table.AppendRow("001", "11-bit SID", "0x7FF");
        const DataFileLoad load = DecodeDataFile(cut, IdListMode::Filter, table);
        // Only the final filler record, which is never read, may go missing unnoticed.
        if (length <= bytes.size() - 14) {
            EXPECT_FALSE(load.message.empty()) << length;
            ASSERT_EQ(table.RowCount(), 1u) << length;
            ASSERT_EQ(table.Row(0).id, "0x7FF") << length;
        } else {
            EXPECT_TRUE(table.SameTexts(saved)) << length;
        }
    }
}

TEST(DataFilePaths, DatIsAppendedUnlessThePathHoldsIt) {
    EXPECT_EQ(DataFilePath("list"), "list.dat");
    EXPECT_EQ(DataFilePath("list.DAT"), "list.DAT.dat");
    EXPECT_EQ(DataFilePath("my.dat.old"), "my.dat.old");
    EXPECT_EQ(DataFilePath("list.xls"), "list.xls.dat");
}

TEST(DataFileOnDisk, SavesLoadsAndReportsEachOutcome) {
    test::TempDir dir;
    test::RecordingSink sink;
    const IdTable table = FilterTable(5);
    ASSERT_TRUE(SaveDataFile(dir / "list", IdListMode::Filter, table, sink));
    EXPECT_EQ(sink.shown.back(),
              std::make_pair(std::string("File Saved OK !!"), MessageIcon::Information));
    EXPECT_EQ(test::TempDir::ReadBytes(dir / "list.dat"),
              EncodeDataFile(IdListMode::Filter, table));

    // A read-only file loads.
    chmod((dir / "list.dat").c_str(), 0444);
    IdTable loaded;
    EXPECT_TRUE(LoadDataFile(dir / "list.dat", IdListMode::Filter, loaded, sink));
    EXPECT_TRUE(loaded.SameTexts(table));

    // Saving over a file replaces it whole and keeps its permissions; nothing else is left.
    chmod((dir / "list.dat").c_str(), 0640);
    ASSERT_TRUE(SaveDataFile(dir / "list.dat", IdListMode::Filter, FilterTable(1), sink));
    struct stat info {};
    stat((dir / "list.dat").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    sink.shown.clear();
    EXPECT_FALSE(LoadDataFile(dir / "missing.dat", IdListMode::Filter, loaded, sink));
    EXPECT_EQ(sink.shown.back(),
              std::make_pair(std::string("File Doesn't Exist"), MessageIcon::Stop));
    EXPECT_EQ(loaded.RowCount(), 5u);

    EXPECT_FALSE(SaveDataFile(dir / "no-such-dir/list", IdListMode::Filter, table, sink));
    EXPECT_EQ(sink.Last(), "Create File Failed !");
}

TEST(DataFileOnDisk, OnlyARegularFileOfAListsSizeIsRead) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.dat").c_str(), 0644), 0);  // no writer will ever come
    ASSERT_EQ(mkdir((dir / "folder.dat").c_str(), 0755), 0);
    // Beyond what a million rows of the longest cells fill; sparse, so it takes no disk.
    test::TempDir::WriteBytes(dir / "huge.dat", {});
    ASSERT_EQ(truncate((dir / "huge.dat").c_str(), 400'000'000), 0);
    // A header promising 2^31 records, each one cell of a byte, the smallest a row can be; the
    // file then ends its rows properly after a thousand.
    std::vector<uint8_t> overcounted = Join({Counted("Total Rows:"),
                                             {0, 0, 0, 0x80},
                                             Counted("Total Columns:"),
                                             {1, 0, 0, 0},
                                             Counted(""),
                                             Counted("a"),
                                             Counted("b")});
    for (int row = 0; row < 1000; ++row) overcounted = Join({overcounted, Counted("x")});
    test::TempDir::WriteBytes(dir / "overcounted.dat", Join({overcounted, Counted("")}));

    const auto notAFile = [](const std::string& path) {
        return "\"" + path + "\" is not a regular file !\nPlease choose another file !";
    };
    const std::pair<std::string, std::string> cases[] = {
        {dir / "fifo.dat", notAFile(dir / "fifo.dat")},
        {"/dev/zero", notAFile("/dev/zero")},
        {dir / "folder.dat", notAFile(dir / "folder.dat")},
        {dir / "huge.dat", "\"" + (dir / "huge.dat") +
                               "\" is too large for a list file !\nPlease choose another file !"},
        {dir / "overcounted.dat", "File Format Error !"},
    };
    for (const auto& [path, message] : cases) {
        for (const bool eitherKind : {false, true}) {
            // In a child: the old loader waited on the FIFO and read the others until the
            // memory ran out.
            const std::string outcome = test::RunInChild(
                [&, path = path] {
                    IdTable table;
                    table.AppendRow("001", "11-bit SID", "0x7FF");
                    test::RecordingSink sink;
                    const bool loaded =
                        eitherKind ? LoadDataFileOfEitherKind(path, table, sink).has_value()
                                   : LoadDataFile(path, IdListMode::Filter, table, sink);
                    const bool kept = table.RowCount() == 1 && table.Row(0).id == "0x7FF";
                    return sink.Last() + (loaded || !kept ? " (table replaced)" : "");
                },
                {.memory = 512u << 20});
            EXPECT_EQ(outcome, message) << path;
        }
    }
}

}  // namespace
}  // namespace b6409
