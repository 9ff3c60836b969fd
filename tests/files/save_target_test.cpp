// What a save finds at its path, for both kinds of file the table is saved as: the list file and
// the workbook go through the same replacement.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "files/data_file.h"
#include "files/in_child.h"
#include "files/workbook_export.h"
#include "support/recorders.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};

IdTable OneRow() {
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x123, 0});
    return table;
}

// Saves the table at the path as the file the extension names; the message it showed.
std::string Save(const std::string& path) {
    test::RecordingSink sink;
    if (path.ends_with(".xls"))
        ExportWorkbook(path, IdListMode::Filter, OneRow(), 1, sink);
    else
        SaveDataFile(path, IdListMode::Filter, OneRow(), sink);
    return sink.Last();
}

bool HoldsNewContent(const std::string& path) {
    const std::vector<uint8_t> bytes = test::TempDir::ReadBytes(path);
    if (path.ends_with(".dat")) return bytes == EncodeDataFile(IdListMode::Filter, OneRow());
    const std::vector<uint8_t> compoundFile = {0xD0, 0xCF, 0x11, 0xE0};
    return bytes.size() > 512 &&
           std::equal(compoundFile.begin(), compoundFile.end(), bytes.begin());
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A file of old content with the given mode.
std::string OldFile(const test::TempDir& dir, const std::string& name, mode_t mode) {
    test::TempDir::WriteBytes(dir / name, kOld);
    chmod((dir / name).c_str(), mode);
    return dir / name;
}

// A folder the child that saves may read but not add to: it runs as "nobody" when we are root,
// whom the mode bits do not stop.
std::string ReadOnlyFolder(const test::TempDir& dir, const std::string& name) {
    const std::string folder = dir / name;
    mkdir(folder.c_str(), 0555);
    return folder;
}

TEST(SaveTargets, WhatMayNotBeReplacedIsRefusedForItsRealCause) {
    for (const std::string extension : {".dat", ".xls"}) {
        test::TempDir dir;
        chmod(dir.path().c_str(), 0755);
        const std::string readOnly = OldFile(dir, "read-only" + extension, 0444);
        const std::string folder = dir / ("folder" + extension);
        mkdir(folder.c_str(), 0755);
        const std::string fifo = dir / ("fifo" + extension);
        mkfifo(fifo.c_str(), 0644);
        const std::string inReadOnlyFolder = ReadOnlyFolder(dir, "locked") + "/new" + extension;
        const std::set<std::string> before = Entries(dir.path());

        const struct {
            std::string path;
            bool asNobody;
            std::string message;
        } cases[] = {
            // Without a write bit the file is read-only even for root.
            {readOnly, false, "is read-only !\nPlease choose another file name !"},
            {folder, false, "is not a regular file !\nPlease choose another file !"},
            {fifo, false, "is not a regular file !\nPlease choose another file !"},
            {inReadOnlyFolder, true,
             "cannot be created in a read-only folder !\nPlease choose another folder !"},
        };
        for (const auto& c : cases) {
            // In a child: the old export waited on the FIFO for ever.
            EXPECT_EQ(test::RunInChild([&] { return Save(c.path); }, {.asNobody = c.asNobody}),
                      "\"" + c.path + "\" " + c.message);
        }
        EXPECT_EQ(test::TempDir::ReadBytes(readOnly), kOld);
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_TRUE(std::filesystem::is_fifo(fifo));
        EXPECT_EQ(Entries(dir.path()), before);
        EXPECT_TRUE(Entries(dir / "locked").empty());
    }
}

TEST(SaveTargets, AReplacedFileKeepsItsOwnerModeAndTheLinksToIt) {
    for (const std::string extension : {".dat", ".xls"}) {
        test::TempDir dir;
        chmod(dir.path().c_str(), 0755);
        // Another user's private file, which root replaces.
        const std::string others = OldFile(dir, "others" + extension, 0600);
        ASSERT_EQ(chown(others.c_str(), test::OtherUser(), test::OtherGroup()), 0);
        // A link to a file, and one to a file still to be made.
        const std::string real = OldFile(dir, "real" + extension, 0640);
        const std::string link = dir / ("link" + extension);
        symlink(("real" + extension).c_str(), link.c_str());
        const std::string dangling = dir / ("dangling" + extension);
        symlink(("later" + extension).c_str(), dangling.c_str());
        // A file its user may write in a folder that user may not add to: written in place.
        const std::string folder = ReadOnlyFolder(dir, "locked");
        const std::string inPlace = folder + "/mine" + extension;
        chmod(folder.c_str(), 0755);
        test::TempDir::WriteBytes(inPlace, kOld);
        ASSERT_EQ(chown(inPlace.c_str(), test::OtherUser(), test::OtherGroup()), 0);
        chmod(folder.c_str(), 0555);
        struct stat inPlaceBefore {};
        stat(inPlace.c_str(), &inPlaceBefore);
        // A file others may write in a folder where only its owner may replace it.
        mkdir((dir / "sticky").c_str(), 0755);
        chmod((dir / "sticky").c_str(), 01777);
        const std::string shared = OldFile(dir, "sticky/shared" + extension, 0666);

        const struct {
            std::string path;
            bool asNobody;
            std::string file;  // where the new content lands
        } cases[] = {
            {others, false, others},
            {link, false, real},
            {dangling, false, dir / ("later" + extension)},
            {inPlace, true, inPlace},
            {shared, true, shared},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(test::RunInChild([&] { return Save(c.path); }, {.asNobody = c.asNobody}),
                      "File Saved OK !!")
                << c.path;
            EXPECT_TRUE(HoldsNewContent(c.file)) << c.path;
        }
        struct stat info {};
        ASSERT_EQ(stat(others.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, test::OtherUser());
        EXPECT_EQ(info.st_gid, test::OtherGroup());
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        ASSERT_EQ(stat(real.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_TRUE(std::filesystem::is_symlink(dangling));
        ASSERT_EQ(stat(inPlace.c_str(), &info), 0);
        EXPECT_EQ(info.st_ino, inPlaceBefore.st_ino);
        EXPECT_EQ(info.st_uid, test::OtherUser());
        EXPECT_EQ(Entries(dir.path()),
                  (std::set<std::string>{"locked", "sticky", "others" + extension,
                                         "real" + extension, "link" + extension,
                                         "dangling" + extension, "later" + extension}));
        EXPECT_EQ(Entries(folder), std::set<std::string>{"mine" + extension});
        EXPECT_EQ(Entries(dir / "sticky"), std::set<std::string>{"shared" + extension});
    }
}

}  // namespace
}  // namespace b6409
