#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace b6409::testing {

// A small version 3 compound file laid out by hand, so tests can hold streams in the mini
// stream (our writer never does) and damage chosen parts of it:
//   sector 0 the table, sector 1 the directory (root + up to 3 streams), sector 2 the mini
//   table, then the mini stream, then the large streams.
struct CfbImage {
    static constexpr uint32_t kTableSector = 0;
    static constexpr uint32_t kDirectorySector = 1;
    static constexpr uint32_t kMiniTableSector = 2;
    static constexpr uint32_t kEnd = 0xFFFFFFFE;
    static constexpr uint32_t kFree = 0xFFFFFFFF;

    std::vector<std::pair<std::string, std::vector<uint8_t>>> streams;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> start;  // first (mini) sector of each stream

    explicit CfbImage(std::vector<std::pair<std::string, std::vector<uint8_t>>> content)
        : streams(std::move(content)) {
        std::vector<uint8_t> mini;
        std::vector<uint32_t> miniTable;
        std::vector<std::vector<uint8_t>> big;
        std::vector<bool> inMini;
        for (const auto& [name, data] : streams) {
            const bool small = data.size() < 4096;
            inMini.push_back(small);
            if (small) {
                const uint32_t first = static_cast<uint32_t>(mini.size() / 64);
                const uint32_t count = static_cast<uint32_t>((data.size() + 63) / 64);
                start.push_back(count ? first : kEnd);
                for (uint32_t i = 0; i < count; ++i)
                    miniTable.push_back(i + 1 < count ? first + i + 1 : kEnd);
                mini.insert(mini.end(), data.begin(), data.end());
                mini.resize(size_t{first + count} * 64, 0);
            } else {
                start.push_back(0);  // filled in below
            }
        }
        const uint32_t miniSectors = static_cast<uint32_t>((mini.size() + 511) / 512);
        uint32_t next = 3 + miniSectors;
        std::vector<uint32_t> table(128, kFree);
        table[kTableSector] = 0xFFFFFFFD;
        table[kDirectorySector] = kEnd;
        table[kMiniTableSector] = kEnd;
        for (uint32_t i = 0; i < miniSectors; ++i)
            table[3 + i] = i + 1 < miniSectors ? 4 + i : kEnd;
        for (size_t s = 0; s < streams.size(); ++s) {
            if (inMini[s]) continue;
            const uint32_t count = static_cast<uint32_t>((streams[s].second.size() + 511) / 512);
            start[s] = next;
            for (uint32_t i = 0; i < count; ++i)
                table[next + i] = i + 1 < count ? next + i + 1 : kEnd;
            next += count;
        }
        bytes.assign(size_t{next + 1} * 512, 0);
        const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        std::memcpy(bytes.data(), signature, 8);
        Put16(0x18, 0x3E);
        Put16(0x1A, 3);
        Put16(0x1C, 0xFFFE);
        Put16(0x1E, 9);
        Put16(0x20, 6);
        Put32(0x2C, 1);
        Put32(0x30, kDirectorySector);
        Put32(0x38, 4096);
        Put32(0x3C, kMiniTableSector);
        Put32(0x40, 1);
        Put32(0x44, kEnd);
        for (int i = 0; i < 109; ++i) Put32(0x4C + 4 * i, i == 0 ? kTableSector : kFree);
        for (size_t i = 0; i < 128; ++i) Put32(Sector(kTableSector) + 4 * i, table[i]);
        for (size_t i = 0; i < 128; ++i)
            Put32(Sector(kMiniTableSector) + 4 * i, i < miniTable.size() ? miniTable[i] : kFree);
        std::memcpy(bytes.data() + Sector(3), mini.data(), mini.size());
        for (size_t s = 0; s < streams.size(); ++s)
            if (!inMini[s])
                std::memcpy(bytes.data() + Sector(start[s]), streams[s].second.data(),
                            streams[s].second.size());
        Entry(0, "Root Entry", 5, miniSectors ? 3 : kEnd, static_cast<uint32_t>(mini.size()));
        Put32(EntryAt(0) + 0x4C, 1);
        for (size_t s = 0; s < streams.size(); ++s) {
            Entry(s + 1, streams[s].first, 2, start[s],
                  static_cast<uint32_t>(streams[s].second.size()));
            if (s + 1 < streams.size()) Put32(EntryAt(s + 1) + 0x48, static_cast<uint32_t>(s + 2));
        }
    }

    static size_t Sector(uint32_t sector) { return (size_t{sector} + 1) * 512; }
    static size_t EntryAt(size_t index) { return Sector(kDirectorySector) + 128 * index; }

    void Put16(size_t at, uint16_t v) { std::memcpy(bytes.data() + at, &v, 2); }
    void Put32(size_t at, uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
    void SetFat(uint32_t sector, uint32_t value) {
        Put32(Sector(kTableSector) + 4 * sector, value);
    }
    void SetMiniFat(uint32_t unit, uint32_t value) {
        Put32(Sector(kMiniTableSector) + 4 * unit, value);
    }
    void SetEntrySize(size_t entry, uint32_t size) { Put32(EntryAt(entry) + 0x78, size); }
    void SetEntryLink(size_t entry, size_t field, uint32_t value) {
        Put32(EntryAt(entry) + field, value);
    }

  private:
    void Entry(size_t index, const std::string& name, uint8_t type, uint32_t first, uint32_t size) {
        const size_t at = EntryAt(index);
        for (size_t i = 0; i < name.size(); ++i) Put16(at + 2 * i, static_cast<uint8_t>(name[i]));
        Put16(at + 0x40, static_cast<uint16_t>(2 * (name.size() + 1)));
        bytes[at + 0x42] = type;
        bytes[at + 0x43] = 1;
        Put32(at + 0x44, kFree);
        Put32(at + 0x48, kFree);
        Put32(at + 0x4C, kFree);
        Put32(at + 0x74, first);
        Put32(at + 0x78, size);
    }
};

}  // namespace b6409::testing
