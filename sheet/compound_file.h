#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace b6409 {

// A compound file (the container a .xls workbook lives in) held in memory. Every sector
// number, chain and size it meets is checked against the file: a damaged or hostile file gives
// an error text, never a read outside the bytes or an endless walk.
class CompoundFileReader {
  public:
    // Checks the header and loads the sector tables; false with a reason when they are unusable.
    bool Open(std::vector<uint8_t> bytes, std::string* errorText);

    // Names of the streams and storages at the top level, in tree order.
    const std::vector<std::string>& StreamNames() const { return streamNames_; }
    const std::vector<std::string>& StorageNames() const { return storageNames_; }

    // Reads a top-level stream; names compare without regard to ASCII letter case, as the
    // format does. Small streams come out of the mini stream.
    bool ReadStream(std::string_view name, std::vector<uint8_t>* out, std::string* errorText) const;

  private:
    struct Entry {
        std::u16string name;
        uint8_t type = 0;
        uint32_t left = 0, right = 0, child = 0;
        uint32_t start = 0;
        uint64_t size = 0;
    };

    // False unless the sector's first `needed` bytes are in the file; the rest reads as zeros.
    bool ReadSector(uint32_t sector, uint8_t* out, uint32_t needed) const;
    bool Chain(uint32_t start, const std::vector<uint32_t>& table, uint64_t units, uint64_t wanted,
               std::vector<uint32_t>* chain, std::string* errorText) const;
    bool ReadChainBytes(uint32_t start, uint64_t size, std::vector<uint8_t>* out,
                        std::string* errorText) const;
    bool LoadMiniStream(std::string* errorText) const;

    std::vector<uint8_t> bytes_;
    uint32_t sectorSize_ = 512;
    uint64_t sectorCount_ = 0;
    uint32_t miniCutoff_ = 4096;
    uint32_t firstMiniFatSector_ = 0;
    std::vector<uint32_t> fat_;
    std::vector<Entry> entries_;
    std::vector<uint32_t> topLevel_;  // entry indexes of the root's children
    std::vector<std::string> streamNames_;
    std::vector<std::string> storageNames_;
    // The mini stream and its table are read on the first small stream only.
    mutable bool miniLoaded_ = false;
    mutable std::vector<uint8_t> miniStream_;
    mutable std::vector<uint32_t> miniFat_;
};

// Lays out a version 3 compound file (512-byte sectors) whose root holds one stream. The
// stream is padded with zero bytes to 4,096 bytes when shorter, so it never needs the mini
// stream. streamName has at most 31 characters.
std::vector<uint8_t> BuildCompoundFile(std::string_view streamName,
                                       const std::vector<uint8_t>& stream);

// The bytes a stream laid out by FinishCompoundFile comes after: the header sector.
inline constexpr size_t kCompoundFileHeaderSize = 512;
// The same layout made around a stream already in place, so that a large one is not copied:
// *file holds kCompoundFileHeaderSize bytes of room, then the stream. The header is filled in,
// the stream padded and the directory and sector tables appended.
void FinishCompoundFile(std::string_view streamName, std::vector<uint8_t>* file);

}  // namespace b6409
