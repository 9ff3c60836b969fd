#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace b6409::testing {

// Record bytes as another writer would put them, for the reader's tests.
struct Bytes {
    std::vector<uint8_t> data;
    Bytes& U8(uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& F64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
    }
    Bytes& Latin1(const std::string& s) {
        for (char c : s) U8(static_cast<uint8_t>(c));
        return *this;
    }
    Bytes& Wide(const std::u16string& s) {
        for (char16_t c : s) U16(c);
        return *this;
    }
    Bytes& Cell(uint16_t row, uint16_t column) { return U16(row).U16(column).U16(15); }
};

class BiffStream {
  public:
    BiffStream& Record(uint16_t type, const Bytes& payload) {
        Bytes header;
        header.U16(type).U16(static_cast<uint16_t>(payload.data.size()));
        bytes.insert(bytes.end(), header.data.begin(), header.data.end());
        bytes.insert(bytes.end(), payload.data.begin(), payload.data.end());
        return *this;
    }
    BiffStream& Bof(uint16_t kind, uint16_t version = 0x0600) {
        return Record(0x0809, Bytes().U16(version).U16(kind).U16(0).U16(0).U32(0).U32(0));
    }
    BiffStream& Eof() { return Record(0x000A, Bytes()); }
    // A BOUNDSHEET whose position is set later with Place.
    size_t BoundSheet(const std::string& name, uint8_t kind = 0) {
        const size_t at = bytes.size() + 4;
        Record(
            0x0085,
            Bytes().U32(0).U8(0).U8(kind).U8(static_cast<uint8_t>(name.size())).U8(0).Latin1(name));
        return at;
    }
    void Place(size_t boundSheet) {
        const uint32_t position = static_cast<uint32_t>(bytes.size());
        std::memcpy(bytes.data() + boundSheet, &position, 4);
    }
    std::vector<uint8_t> bytes;
};

// A workbook stream of `count` worksheets that all lie over the same records: `globals` adds to
// the global part, `cells` writes the one sheet's records between its BOF and EOF.
inline std::vector<uint8_t> SheetsOverOneStream(int count,
                                                const std::function<void(BiffStream&)>& globals,
                                                const std::function<void(BiffStream&)>& cells) {
    BiffStream s;
    s.Bof(0x0005);
    std::vector<size_t> sheets;
    for (int i = 0; i < count; ++i) sheets.push_back(s.BoundSheet("S" + std::to_string(i)));
    globals(s);
    s.Eof();
    for (size_t sheet : sheets) s.Place(sheet);
    s.Bof(0x0010);
    cells(s);
    s.Eof();
    return s.bytes;
}

// Workbook streams of at most a few kilobytes that would make a reader without limits build
// hundreds of megabytes or more; each goes beyond one of the read limits of xls_workbook.h.
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> OversizedWorkbookStreams() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> streams;
    // 100 sheets with a blank cell in their last row: 6.5 million rows.
    BiffStream lastRows;
    lastRows.Bof(0x0005);
    std::vector<size_t> sheets;
    for (int i = 0; i < 100; ++i) sheets.push_back(lastRows.BoundSheet("S" + std::to_string(i)));
    lastRows.Eof();
    for (size_t sheet : sheets) {
        lastRows.Place(sheet);
        lastRows.Bof(0x0010).Record(0x0201, Bytes().Cell(65535, 0)).Eof();
    }
    streams.emplace_back("blank-in-last-row", lastRows.bytes);
    const auto none = [](BiffStream&) {};
    // 100 sheets over 170 rows that end in the last column: 4.4 million cells.
    streams.emplace_back("wide-rows-shared", SheetsOverOneStream(100, none, [](BiffStream& s) {
                             for (uint16_t row = 0; row < 170; ++row)
                                 s.Record(0x0201, Bytes().Cell(row, 255));
                         }));
    // A shared string of 8,000 characters of two UTF-8 bytes each in 70 cells of 64 sheets:
    // 72 MB of cell text.
    const auto longString = [](BiffStream& s) {
        s.Record(0x00FC,
                 Bytes().U32(4480).U32(1).U16(8000).U8(0).Latin1(std::string(8000, '\xE9')));
    };
    streams.emplace_back("shared-string-everywhere",
                         SheetsOverOneStream(64, longString, [](BiffStream& s) {
                             for (uint16_t column = 0; column < 70; ++column)
                                 s.Record(0x00FD, Bytes().Cell(0, column).U32(0));
                         }));
    // 1,100 empty sheets.
    streams.emplace_back("many-sheets", SheetsOverOneStream(1100, none, none));
    return streams;
}

}  // namespace b6409::testing
