// Writes the seed corpora that come from this project's own writers: data files saved from
// tables, workbooks from the workbook writer, and inputs for the line decoder laid out the way
// that fuzz target reads them. Usage: fuzz_seed_writer CORPUS_FOLDER (fuzz/corpus).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "files/data_file.h"
#include "idtable/id_table.h"
#include "link/serial/line_protocol.h"
#include "sheet/compound_file.h"
#include "sheet/xls_workbook.h"
#include "tests/sheet/biff_stream.h"

namespace {

using namespace b6409;

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::fprintf(stderr, "fuzz_seed_writer: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

bool Write(const std::string& path, const std::string& text) {
    return Write(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool DataFiles(const std::string& folder) {
    IdTable empty;
    IdTable filter;
    filter.AppendEntry({IdKind::Sid11, 0x123, 0});
    filter.AppendEntry({IdKind::Gid11, 0x100, 0x1FF});
    filter.AppendEntry({IdKind::Sid29, 0x1ABCDEF0, 0});
    filter.AppendEntry({IdKind::Gid29, 0x100, 0x1FFFFFFF});
    // A loaded file may bring texts of any kind; the download skips or parses them as they are.
    filter.AppendRow("005", "29-bit SID", " 0X1f~0x2");
    IdTable mapping;
    for (uint32_t i = 0; i < 31; ++i) {
        static const IdKind kinds[] = {IdKind::Mid11To11, IdKind::Mid11To29, IdKind::Mid29To29,
                                       IdKind::Mid29To11};
        mapping.AppendEntry({kinds[i % 4], 0x100 + i, 0x200 + i});
    }
    return Write(folder + "/filter-empty.dat", EncodeDataFile(IdListMode::Filter, empty)) &&
           Write(folder + "/filter-rows.dat", EncodeDataFile(IdListMode::Filter, filter)) &&
           Write(folder + "/mapping-31-rows.dat", EncodeDataFile(IdListMode::Mapping, mapping));
}

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A compound file whose "Workbook" stream lies in the mini stream, which our writer never
// makes: sector 0 the table, 1 the directory, 2 the mini table, then the mini stream. Version 3
// has 512-byte sectors, version 4 4,096-byte ones.
std::vector<uint8_t> MiniStreamFile(int version, const std::vector<uint8_t>& stream) {
    constexpr uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
    const uint32_t sector = version == 4 ? 4096 : 512;
    const uint32_t units = static_cast<uint32_t>((stream.size() + 63) / 64);
    const uint32_t miniSectors = (units * 64 + sector - 1) / sector;
    std::vector<uint8_t> file(size_t{4 + miniSectors} * sector, 0);
    const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(signature), std::end(signature), file.begin());
    Put16(file, 0x18, 0x3E);
    Put16(file, 0x1A, static_cast<uint16_t>(version));
    Put16(file, 0x1C, 0xFFFE);
    Put16(file, 0x1E, version == 4 ? 12 : 9);
    Put16(file, 0x20, 6);
    Put32(file, 0x2C, 1);
    Put32(file, 0x30, 1);
    Put32(file, 0x38, 4096);
    Put32(file, 0x3C, 2);
    Put32(file, 0x40, 1);
    Put32(file, 0x44, kEnd);
    for (int i = 0; i < 109; ++i) Put32(file, 0x4C + 4 * i, i == 0 ? 0 : kFree);
    auto at = [&](uint32_t s) { return size_t{s + 1} * sector; };
    for (uint32_t i = 0; i < sector / 4; ++i) {
        uint32_t next = kFree;
        if (i == 0) next = 0xFFFFFFFD;
        if (i == 1 || i == 2) next = kEnd;
        if (i >= 3 && i < 3 + miniSectors) next = i + 1 < 3 + miniSectors ? i + 1 : kEnd;
        Put32(file, at(0) + 4 * i, next);
        Put32(file, at(2) + 4 * i, i < units ? (i + 1 < units ? i + 1 : kEnd) : kFree);
    }
    std::copy(stream.begin(), stream.end(), file.begin() + static_cast<ptrdiff_t>(at(3)));
    auto entry = [&](uint32_t index, std::string_view name, uint8_t type, uint32_t child,
                     uint32_t first, uint32_t size) {
        const size_t e = at(1) + 128 * size_t{index};
        for (size_t i = 0; i < name.size(); ++i) Put16(file, e + 2 * i, name[i]);
        Put16(file, e + 0x40, static_cast<uint16_t>(2 * (name.size() + 1)));
        file[e + 0x42] = type;
        file[e + 0x43] = 1;
        Put32(file, e + 0x44, kFree);
        Put32(file, e + 0x48, kFree);
        Put32(file, e + 0x4C, child);
        Put32(file, e + 0x74, first);
        Put32(file, e + 0x78, size);
    };
    entry(0, "Root Entry", 5, 1, 3, units * 64);
    entry(1, "Workbook", 2, kFree, 0, static_cast<uint32_t>(stream.size()));
    for (uint32_t i = 2; i < sector / 128; ++i) entry(i, "", 0, kFree, 0, 0);
    return file;
}

bool Workbooks(const std::string& folder) {
    // The sheet the workbook export writes: a header row and one row per download frame.
    Workbook exported;
    Sheet frames{"CANFID", {{"CAN-ID", "DLC", "Data"}}};
    for (int i = 0; i < 6; ++i)
        frames.rows.push_back(
            {"0x1" + std::to_string(10 + i), "8", "11 00 23 01 00 00 00 0" + std::to_string(i)});
    exported.sheets.push_back(frames);

    // Two sheets, sparse rows, empty cells, texts beyond Latin-1 and a repeated text.
    Workbook mixed;
    mixed.sheets.push_back(
        Sheet{"Sheet1", {{"a", "", "c"}, {}, {"", "", "", "\xc3\xa9t\xc3\xa9"}}});
    mixed.sheets.push_back(
        Sheet{"Zweite Tabelle", {{"\xe2\x82\xac 10", "a"}, {"\xf0\x9f\x98\x80", "a", "O'Brien"}}});

    std::vector<uint8_t> file;
    std::string error;
    if (!BuildWorkbookFile(exported, &file, &error) || !Write(folder + "/export.xls", file))
        return false;
    if (!BuildWorkbookFile(mixed, &file, &error) || !Write(folder + "/two-sheets.xls", file))
        return false;
    // The bare stream, for the stream reader the target also runs on its input, and the same
    // stream in the mini stream of a version 3 and a version 4 compound file.
    const std::vector<uint8_t> stream = BuildWorkbookStream(mixed);
    if (!Write(folder + "/two-sheets.biff", stream) ||
        !Write(folder + "/mini-stream-v3.xls", MiniStreamFile(3, stream)) ||
        !Write(folder + "/mini-stream-v4.xls", MiniStreamFile(4, stream)))
        return false;
    // Small workbooks that ask for more than the read limits allow, so that the runs start at
    // the limits and keep within the memory they imply.
    for (const auto& [name, oversized] : testing::OversizedWorkbookStreams())
        if (!Write(folder + "/over-limit-" + name + ".biff", oversized) ||
            !Write(folder + "/over-limit-" + name + ".xls",
                   BuildCompoundFile("Workbook", oversized)))
            return false;
    return true;
}

// The line decoder's input: a received line, the bytes the port delivers, then the port
// layer's choices read from the end. A tail of `choice` bytes makes every read deliver a whole
// line (30 % 31), every port open and no count lie; the last two bytes pick the converter
// (0 SCV-1, 1 UCV-1, 2 ECV-1D) and the command (its number less one).
std::string LineInput(const std::string& line, const std::string& wire, uint8_t converter,
                      uint8_t command) {
    // After the exchange: the replies of one more handshake and two more lines.
    const std::string rest = "!\r!\rt7FF1FF\rT0000\r";
    std::string input = line + "\\\n" + wire + rest + "\\\n";
    input.append(48, '\x1e');
    input += static_cast<char>(converter);
    input += static_cast<char>(command - 1);
    return input;
}

bool LineInputs(const std::string& folder) {
    CanFrame reply;
    reply.id = 0x401;
    reply.dlc = 8;
    reply.data = {0x03, 0x01, 0, 0, 0, 0, 0, 0};
    const std::string handshake = "!\r!\r";
    // A list read: two entry frames and the end frame of the module's CAN1 filter list.
    CanFrame entry;
    entry.id = 0x503;
    entry.dlc = 8;
    entry.data = {0, 0, 0x11, 0, 0x23, 0x01, 0, 0};
    CanFrame end = entry;
    end.dlc = 1;
    end.data = {};
    const std::string list =
        FormatFrameText(entry) + FormatFrameText(entry, true) + FormatFrameText(end);
    CanFrame remote;
    remote.id = 0x1ABCDEF0;
    remote.extended = true;
    remote.remote = true;
    remote.dlc = 2;
    return Write(folder + "/firmware-reply",
                 LineInput(FormatFrameText(reply), handshake + FormatFrameText(reply), 0, 1)) &&
           Write(folder + "/list-read", LineInput("e1abcdef02a50f\r", handshake + list, 0, 4)) &&
           Write(folder + "/remote-frame",
                 LineInput(FormatFrameText(remote), "?\r" + FormatFrameText(remote), 1, 10)) &&
           Write(folder + "/short-line", LineInput("t12", "t1\r!", 2, 6));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_writer CORPUS_FOLDER\n");
        return 2;
    }
    const std::string corpus = argv[1];
    const bool written = DataFiles(corpus + "/fuzz_data_file") &&
                         Workbooks(corpus + "/fuzz_xls_reader") &&
                         LineInputs(corpus + "/fuzz_line_decoder");
    return written ? 0 : 1;
}
