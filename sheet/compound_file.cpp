#include "sheet/compound_file.h"

#include <algorithm>
#include <cstring>

#include "sheet/little_endian.h"

namespace b6409 {
namespace {

constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

enum EntryType : uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

char16_t FoldCase(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c;
}

bool SameName(const std::u16string& a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// Entry names are shown only for diagnostics and lookups of ASCII names, so anything beyond
// Latin-1 is replaced rather than converted.
std::string NarrowName(const std::u16string& name) {
    std::string out;
    for (char16_t c : name) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

bool Fail(std::string* errorText, std::string text) {
    if (errorText) *errorText = std::move(text);
    return false;
}

}  // namespace

bool CompoundFileReader::Open(std::vector<uint8_t> bytes, std::string* errorText) {
    *this = CompoundFileReader();
    bytes_ = std::move(bytes);
    if (bytes_.size() < 512) return Fail(errorText, "file is too short for a compound file");
    const uint8_t* h = bytes_.data();
    if (!std::equal(std::begin(kSignature), std::end(kSignature), h))
        return Fail(errorText, "not a compound file (signature missing)");
    if (Get16(h + 0x1C) != 0xFFFE) return Fail(errorText, "compound file byte order mark is wrong");
    const uint16_t major = Get16(h + 0x1A);
    const uint16_t sectorShift = Get16(h + 0x1E);
    if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)))
        return Fail(errorText, "unsupported compound file version or sector size");
    if (Get16(h + 0x20) != 6) return Fail(errorText, "unsupported compound file mini sector size");
    sectorSize_ = 1u << sectorShift;
    if (bytes_.size() < sectorSize_) return Fail(errorText, "compound file header is truncated");
    // A last sector cut short is counted; only the bytes that a read needs must be there.
    sectorCount_ = (bytes_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;

    const uint32_t fatSectors = Get32(h + 0x2C);
    const uint32_t firstDirSector = Get32(h + 0x30);
    miniCutoff_ = Get32(h + 0x38);
    if (miniCutoff_ != 4096) return Fail(errorText, "unsupported compound file mini stream cutoff");
    firstMiniFatSector_ = Get32(h + 0x3C);
    const uint32_t firstDifatSector = Get32(h + 0x44);
    if (fatSectors > sectorCount_)
        return Fail(errorText, "compound file claims more table sectors than it holds");

    // The sector table's own sectors: 109 listed in the header, the rest in a chain of
    // DIFAT sectors whose last entry points to the next one.
    std::vector<uint32_t> fatSectorList;
    for (size_t i = 0; i < kHeaderDifatEntries && fatSectorList.size() < fatSectors; ++i) {
        const uint32_t s = Get32(h + 0x4C + 4 * i);
        if (s == kFreeSector) break;
        fatSectorList.push_back(s);
    }
    const uint32_t perDifat = sectorSize_ / 4 - 1;
    std::vector<bool> seenDifat(sectorCount_, false);
    std::vector<uint8_t> sector(sectorSize_);
    uint32_t difat = firstDifatSector;
    while (fatSectorList.size() < fatSectors) {
        if (difat == kEndOfChain || difat == kFreeSector)
            return Fail(errorText, "compound file sector table list ends too early");
        if (difat >= sectorCount_ || seenDifat[difat])
            return Fail(errorText, "compound file sector table list is broken");
        seenDifat[difat] = true;
        if (!ReadSector(difat, sector.data(), sectorSize_))
            return Fail(errorText, "compound file is truncated");
        for (uint32_t i = 0; i < perDifat && fatSectorList.size() < fatSectors; ++i) {
            const uint32_t s = Get32(sector.data() + 4 * i);
            if (s != kFreeSector) fatSectorList.push_back(s);
        }
        difat = Get32(sector.data() + 4 * perDifat);
    }
    fat_.reserve(static_cast<size_t>(fatSectors) * (sectorSize_ / 4));
    for (uint32_t s : fatSectorList) {
        if (!ReadSector(s, sector.data(), sectorSize_))
            return Fail(errorText, "compound file sector table lies outside it");
        for (uint32_t i = 0; i < sectorSize_ / 4; ++i) fat_.push_back(Get32(sector.data() + 4 * i));
    }

    std::vector<uint32_t> dirChain;
    if (!Chain(firstDirSector, fat_, sectorCount_, UINT64_MAX, &dirChain, errorText)) return false;
    if (dirChain.empty()) return Fail(errorText, "compound file has no directory");
    std::vector<uint8_t> dir(dirChain.size() * sectorSize_);
    for (size_t i = 0; i < dirChain.size(); ++i)
        if (!ReadSector(dirChain[i], dir.data() + i * sectorSize_, sectorSize_))
            return Fail(errorText, "compound file is truncated");
    const size_t entryCount = dir.size() / kEntrySize;
    entries_.resize(entryCount);
    for (size_t i = 0; i < entryCount; ++i) {
        const uint8_t* e = dir.data() + i * kEntrySize;
        Entry& entry = entries_[i];
        const uint16_t nameBytes = Get16(e + 0x40);
        if (nameBytes >= 2 && nameBytes <= 64 && nameBytes % 2 == 0)
            for (int k = 0; k < nameBytes / 2 - 1; ++k) entry.name += char16_t(Get16(e + 2 * k));
        entry.type = e[0x42];
        entry.left = Get32(e + 0x44);
        entry.right = Get32(e + 0x48);
        entry.child = Get32(e + 0x4C);
        entry.start = Get32(e + 0x74);
        entry.size = Get32(e + 0x78);
        // Version 3 files may carry junk in the high half of the size; it is not part of it.
        if (major == 4) entry.size |= static_cast<uint64_t>(Get32(e + 0x7C)) << 32;
    }
    if (entries_[0].type != kRoot) return Fail(errorText, "compound file has no root entry");

    // The root's children form a binary tree through their sibling links; walk it once.
    std::vector<bool> seen(entryCount, false);
    seen[0] = true;
    std::vector<uint32_t> pending;
    if (entries_[0].child != kNoEntry) pending.push_back(entries_[0].child);
    while (!pending.empty()) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index >= entryCount || seen[index])
            return Fail(errorText, "compound file directory tree is broken");
        seen[index] = true;
        const Entry& entry = entries_[index];
        if (entry.type == kStream) {
            topLevel_.push_back(index);
            streamNames_.push_back(NarrowName(entry.name));
        } else if (entry.type == kStorage) {
            storageNames_.push_back(NarrowName(entry.name));
        } else {
            return Fail(errorText, "compound file directory tree holds an unused entry");
        }
        if (entry.right != kNoEntry) pending.push_back(entry.right);
        if (entry.left != kNoEntry) pending.push_back(entry.left);
    }
    return true;
}

bool CompoundFileReader::ReadSector(uint32_t sector, uint8_t* out, uint32_t needed) const {
    const uint64_t offset = (static_cast<uint64_t>(sector) + 1) * sectorSize_;
    if (sector >= sectorCount_ || offset + needed > bytes_.size()) return false;
    const size_t available = std::min<uint64_t>(sectorSize_, bytes_.size() - offset);
    std::memcpy(out, bytes_.data() + offset, available);
    std::memset(out + available, 0, sectorSize_ - available);
    return true;
}

// Follows a chain through a sector table; every link must name a unit that exists (below
// units) and has not been visited, so a loop or a stray number ends in an error. Stops after
// wanted links.
bool CompoundFileReader::Chain(uint32_t start, const std::vector<uint32_t>& table, uint64_t units,
                               uint64_t wanted, std::vector<uint32_t>* chain,
                               std::string* errorText) const {
    chain->clear();
    const uint64_t limit = std::min<uint64_t>(units, table.size());
    std::vector<bool> seen(limit, false);
    uint32_t current = start;
    while (chain->size() < wanted && current != kEndOfChain) {
        if (current > kMaxRegularSector || current >= limit)
            return Fail(errorText, "compound file chain points outside the file");
        if (seen[current]) return Fail(errorText, "compound file chain runs in a loop");
        seen[current] = true;
        chain->push_back(current);
        current = table[current];
    }
    return true;
}

bool CompoundFileReader::ReadChainBytes(uint32_t start, uint64_t size, std::vector<uint8_t>* out,
                                        std::string* errorText) const {
    // Every sector of a stream lies in the file, so no stream is longer. Checked before the
    // sector count, which a version 4 size near 2^64 would wrap round to nothing.
    if (size > bytes_.size())
        return Fail(errorText, "compound file stream is larger than the file");
    const uint64_t wanted = (size + sectorSize_ - 1) / sectorSize_;
    std::vector<uint32_t> chain;
    if (!Chain(start, fat_, sectorCount_, wanted, &chain, errorText)) return false;
    if (chain.size() < wanted)
        return Fail(errorText, "compound file stream is longer than its chain");
    out->assign(chain.size() * sectorSize_, 0);
    for (size_t i = 0; i < chain.size(); ++i) {
        const uint64_t left = size - uint64_t{i} * sectorSize_;
        const auto needed = static_cast<uint32_t>(std::min<uint64_t>(left, sectorSize_));
        if (!ReadSector(chain[i], out->data() + i * sectorSize_, needed))
            return Fail(errorText, "compound file stream runs past the end of the file");
    }
    out->resize(size);
    return true;
}

bool CompoundFileReader::LoadMiniStream(std::string* errorText) const {
    if (miniLoaded_) return true;
    const Entry& root = entries_[0];
    std::vector<uint8_t> stream;
    if (!ReadChainBytes(root.start, root.size, &stream, errorText)) return false;
    std::vector<uint32_t> chain;
    if (!Chain(firstMiniFatSector_, fat_, sectorCount_, UINT64_MAX, &chain, errorText))
        return false;
    std::vector<uint32_t> miniFat;
    std::vector<uint8_t> sector(sectorSize_);
    for (uint32_t s : chain) {
        if (!ReadSector(s, sector.data(), sectorSize_))
            return Fail(errorText, "compound file is truncated");
        for (uint32_t i = 0; i < sectorSize_ / 4; ++i)
            miniFat.push_back(Get32(sector.data() + 4 * i));
    }
    miniStream_ = std::move(stream);
    miniFat_ = std::move(miniFat);
    miniLoaded_ = true;
    return true;
}

bool CompoundFileReader::ReadStream(std::string_view name, std::vector<uint8_t>* out,
                                    std::string* errorText) const {
    out->clear();
    const Entry* found = nullptr;
    for (uint32_t index : topLevel_)
        if (SameName(entries_[index].name, name)) {
            found = &entries_[index];
            break;
        }
    if (!found) return Fail(errorText, "compound file has no stream \"" + std::string(name) + "\"");
    if (found->size == 0) return true;
    if (found->size >= miniCutoff_)
        return ReadChainBytes(found->start, found->size, out, errorText);
    if (!LoadMiniStream(errorText)) return false;
    const uint64_t units = miniStream_.size() / kMiniSectorSize;
    const uint64_t wanted = (found->size + kMiniSectorSize - 1) / kMiniSectorSize;
    std::vector<uint32_t> chain;
    if (!Chain(found->start, miniFat_, units, wanted, &chain, errorText)) return false;
    if (chain.size() < wanted)
        return Fail(errorText, "compound file stream is longer than its chain");
    out->reserve(chain.size() * kMiniSectorSize);
    for (uint32_t unit : chain) {
        const uint8_t* p = miniStream_.data() + static_cast<size_t>(unit) * kMiniSectorSize;
        out->insert(out->end(), p, p + kMiniSectorSize);
    }
    out->resize(found->size);
    return true;
}

std::vector<uint8_t> BuildCompoundFile(std::string_view streamName,
                                       const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> file(kCompoundFileHeaderSize + stream.size());
    std::copy(stream.begin(), stream.end(), file.begin() + kCompoundFileHeaderSize);
    FinishCompoundFile(streamName, &file);
    return file;
}

void FinishCompoundFile(std::string_view streamName, std::vector<uint8_t>* file) {
    constexpr uint32_t kSector = kCompoundFileHeaderSize;
    constexpr uint32_t kPerFat = kSector / 4;
    constexpr uint32_t kPerDifat = kPerFat - 1;
    const size_t dataSize = std::max<size_t>(file->size() - kSector, 4096);
    const uint32_t dataSectors = static_cast<uint32_t>((dataSize + kSector - 1) / kSector);
    const uint32_t dirSectors = 1;  // root, the stream, two unused entries

    // The table must also number its own sectors and those of the list that holds it.
    uint32_t fatSectors = 1, difatSectors = 0;
    for (;;) {
        const uint32_t total = dataSectors + dirSectors + fatSectors + difatSectors;
        const uint32_t needFat = (total + kPerFat - 1) / kPerFat;
        const uint32_t needDifat =
            needFat > kHeaderDifatEntries
                ? static_cast<uint32_t>((needFat - kHeaderDifatEntries + kPerDifat - 1) / kPerDifat)
                : 0;
        if (needFat == fatSectors && needDifat == difatSectors) break;
        fatSectors = std::max(fatSectors, needFat);
        difatSectors = std::max(difatSectors, needDifat);
    }
    const uint32_t dirStart = dataSectors;
    const uint32_t fatStart = dirStart + dirSectors;
    const uint32_t difatStart = fatStart + fatSectors;
    const uint32_t total = difatStart + difatSectors;

    // The stream stays where it is; the sectors after it, its padding among them, start zeroed.
    std::vector<uint8_t>& out = *file;
    std::fill(out.begin(), out.begin() + kSector, 0);
    out.resize(static_cast<size_t>(total + 1) * kSector, 0);
    uint8_t* h = out.data();
    std::copy(std::begin(kSignature), std::end(kSignature), h);
    Put16(h + 0x18, 0x003E);
    Put16(h + 0x1A, 3);
    Put16(h + 0x1C, 0xFFFE);
    Put16(h + 0x1E, 9);
    Put16(h + 0x20, 6);
    Put32(h + 0x2C, fatSectors);
    Put32(h + 0x30, dirStart);
    Put32(h + 0x38, 4096);
    Put32(h + 0x3C, kEndOfChain);
    Put32(h + 0x44, difatSectors ? difatStart : kEndOfChain);
    Put32(h + 0x48, difatSectors);
    for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
        Put32(h + 0x4C + 4 * i, i < fatSectors ? fatStart + i : kFreeSector);

    auto sectorAt = [&](uint32_t s) { return out.data() + static_cast<size_t>(s + 1) * kSector; };

    std::vector<uint32_t> fat(static_cast<size_t>(fatSectors) * kPerFat, kFreeSector);
    for (uint32_t s = 0; s < dataSectors; ++s) fat[s] = s + 1 < dataSectors ? s + 1 : kEndOfChain;
    fat[dirStart] = kEndOfChain;
    for (uint32_t s = fatStart; s < difatStart; ++s) fat[s] = kFatSector;
    for (uint32_t s = difatStart; s < total; ++s) fat[s] = kDifatSector;
    for (size_t i = 0; i < fat.size(); ++i)
        Put32(sectorAt(fatStart) + 4 * i, fat[i]);  // the FAT sectors are consecutive

    for (uint32_t d = 0; d < difatSectors; ++d) {
        uint8_t* p = sectorAt(difatStart + d);
        for (uint32_t i = 0; i < kPerDifat; ++i) {
            const uint64_t fatIndex = kHeaderDifatEntries + uint64_t{d} * kPerDifat + i;
            Put32(p + 4 * i,
                  fatIndex < fatSectors ? fatStart + static_cast<uint32_t>(fatIndex) : kFreeSector);
        }
        Put32(p + 4 * kPerDifat, d + 1 < difatSectors ? difatStart + d + 1 : kEndOfChain);
    }

    uint8_t* dir = sectorAt(dirStart);
    auto writeEntry = [](uint8_t* e, std::string_view name, uint8_t type, uint32_t child,
                         uint32_t start, uint32_t size) {
        const size_t length = std::min<size_t>(name.size(), 31);
        for (size_t i = 0; i < length; ++i) Put16(e + 2 * i, static_cast<unsigned char>(name[i]));
        Put16(e + 0x40, static_cast<uint16_t>(2 * (length + 1)));
        e[0x42] = type;
        e[0x43] = 1;  // black: a single node is a valid red-black tree
        Put32(e + 0x44, kNoEntry);
        Put32(e + 0x48, kNoEntry);
        Put32(e + 0x4C, child);
        Put32(e + 0x74, start);
        Put32(e + 0x78, size);
    };
    writeEntry(dir, "Root Entry", kRoot, 1, kEndOfChain, 0);
    writeEntry(dir + kEntrySize, streamName, kStream, kNoEntry, 0, static_cast<uint32_t>(dataSize));
    for (int i = 2; i < 4; ++i) {
        uint8_t* e = dir + i * kEntrySize;
        Put32(e + 0x44, kNoEntry);
        Put32(e + 0x48, kNoEntry);
        Put32(e + 0x4C, kNoEntry);
    }
}

}  // namespace b6409
