#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>
#include <utility>

#include "sheet/compound_file.h"
#include "sheet/little_endian.h"
#include "sheet/xls/biff_records.h"
#include "sheet/xls/shared_strings.h"
#include "sheet/xls/utf16_text.h"
#include "sheet/xls_workbook.h"

// Writing a workbook stream: the globals with the shared string table, then one worksheet
// substream per sheet. An export holds hundreds of thousands of cells, so the stream is written
// once, front to back, into one buffer sized up front; the few values that are known only later
// (record lengths, the sheets' positions) are filled in where they were left.
namespace b6409 {
namespace {

using namespace xls;

// The stream being written, after `start` bytes the buffer holds before it. Begin starts a
// record and End fills in its length; records do not nest. Positions are the stream's own.
class StreamBytes {
  public:
    StreamBytes(size_t start, size_t expectedSize)
        : data_(start + expectedSize), end_(start), start_(start) {}

    size_t size() const { return end_ - start_; }
    // Appends count bytes to be written through the pointer. The buffer is sized up front, and
    // only grows when the expected size was too small.
    uint8_t* Grow(size_t count) {
        if (data_.size() - end_ < count) data_.resize(std::max(2 * data_.size(), end_ + count));
        uint8_t* p = data_.data() + end_;
        end_ += count;
        return p;
    }
    StreamBytes& U8(uint8_t v) {
        *Grow(1) = v;
        return *this;
    }
    StreamBytes& U16(uint16_t v) {
        Put16(Grow(2), v);
        return *this;
    }
    StreamBytes& U32(uint32_t v) {
        Put32(Grow(4), v);
        return *this;
    }
    StreamBytes& Begin(uint16_t type) {
        U16(type).U16(0);
        payloadStart_ = end_;
        return *this;
    }
    void End() { Put16(data_.data() + payloadStart_ - 2, static_cast<uint16_t>(PayloadSize())); }
    size_t PayloadSize() const { return end_ - payloadStart_; }
    void Patch32(size_t at, uint32_t v) { Put32(data_.data() + start_ + at, v); }
    // The bytes written, `start` zero bytes and the stream.
    std::vector<uint8_t> Take() {
        data_.resize(end_);
        return std::move(data_);
    }

  private:
    std::vector<uint8_t> data_;
    size_t end_;
    size_t start_;
    size_t payloadStart_ = 0;
};

bool FitsEightBits(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; });
}

// A text's UTF-16 units as the format stores them: one byte each when every unit fits
// ("compressed"), else two. ASCII texts, nearly all a workbook holds, are their own units.
class StoredText {
  public:
    explicit StoredText(std::string_view utf8) : ascii_(IsAscii(utf8)), utf8_(utf8) {
        if (!ascii_) DecodeUtf8(utf8, &wide_);
        compressed_ = ascii_ || FitsEightBits(wide_);
    }
    size_t Units() const { return ascii_ ? utf8_.size() : wide_.size(); }
    bool Compressed() const { return compressed_; }
    size_t UnitSize() const { return compressed_ ? 1 : 2; }
    void AppendUnits(StreamBytes& out, size_t from, size_t count) const {
        uint8_t* p = out.Grow(count * UnitSize());
        if (ascii_) {
            std::memcpy(p, utf8_.data() + from, count);
        } else if (compressed_) {
            for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(wide_[from + i]);
        } else {
            for (size_t i = 0; i < count; ++i) Put16(p + 2 * i, wide_[from + i]);
        }
    }

  private:
    bool ascii_;
    bool compressed_;
    std::string_view utf8_;
    std::u16string wide_;
};

// ShortXLUnicodeString (sheet and font names).
void AppendShortString(StreamBytes& out, std::string_view utf8) {
    const StoredText text(utf8);
    out.U8(static_cast<uint8_t>(text.Units())).U8(text.Compressed() ? 0 : 1);
    text.AppendUnits(out, 0, text.Units());
}

void AppendBof(StreamBytes& out, uint16_t kind) {
    out.Begin(kBof).U16(kBiff8).U16(kind).U16(0x0DBB).U16(0x07CC).U32(0).U32(0x00000006).End();
}

void AppendXf(StreamBytes& out, uint16_t font, uint16_t format, bool style, uint8_t usedFlags) {
    out.Begin(kXf).U16(font).U16(format).U16(style ? 0xFFF5 : 0x0001).U8(0x20).U8(0).U8(0);
    out.U8(usedFlags).U32(0).U32(0).U16(0x20C0).End();
}

// The shared string table as an SST record and CONTINUE records, then its EXTSST index. A
// string's count and option byte always stay together with its first character; characters
// that go on in the next record are preceded there by their option byte again.
void AppendSharedStringTable(StreamBytes& out, const SharedStrings& shared) {
    const auto& strings = shared.texts;
    const uint16_t stringsPerBucket =
        static_cast<uint16_t>(std::max<size_t>(8, (strings.size() + 127) / 128));
    struct BucketStart {
        size_t streamPosition;
        size_t offsetInRecord;  // from the record's header
    };
    std::vector<BucketStart> bucketStarts;
    bucketStarts.reserve(strings.size() / stringsPerBucket + 1);
    auto room = [&] { return kMaxRecordPayload - out.PayloadSize(); };
    auto nextRecord = [&] {
        out.End();
        out.Begin(kContinue);
    };
    out.Begin(kSst).U32(shared.references).U32(static_cast<uint32_t>(strings.size()));
    for (size_t i = 0; i < strings.size(); ++i) {
        const StoredText text(strings[i]);
        const size_t units = text.Units();
        if (room() < 3 + (units == 0 ? 0 : text.UnitSize())) nextRecord();
        if (i % stringsPerBucket == 0) bucketStarts.push_back({out.size(), 4 + out.PayloadSize()});
        out.U16(static_cast<uint16_t>(units)).U8(text.Compressed() ? 0 : 1);
        size_t done = 0;
        while (done < units) {
            size_t fits = room() / text.UnitSize();
            if (fits == 0) {
                nextRecord();
                out.U8(text.Compressed() ? 0 : 1);
                fits = room() / text.UnitSize();
            }
            const size_t take = std::min(fits, units - done);
            text.AppendUnits(out, done, take);
            done += take;
        }
    }
    out.End();
    out.Begin(kExtSst).U16(stringsPerBucket);
    for (const BucketStart& start : bucketStarts)
        out.U32(static_cast<uint32_t>(start.streamPosition))
            .U16(static_cast<uint16_t>(start.offsetInRecord))
            .U16(0);
    out.End();
}

// The globals, with the sheets' positions left as zeros; returns where each position goes.
std::vector<size_t> AppendGlobals(StreamBytes& out, const Workbook& workbook,
                                  const SharedStrings& shared) {
    AppendBof(out, kGlobalsBof);
    out.Begin(kCodePage).U16(1200).End();
    out.Begin(kWindow1).U16(360).U16(270).U16(14940).U16(9150).U16(0x0038).U16(0).U16(0);
    out.U16(1).U16(600).End();
    out.Begin(kDate1904).U16(0).End();
    for (int i = 0; i < 4; ++i) {
        out.Begin(kFont).U16(200).U16(0).U16(0x7FFF).U16(400).U16(0).U8(0).U8(0).U8(0).U8(0);
        AppendShortString(out, "Arial");
        out.End();
    }
    // Style XFs 0-14, the cell XF 15 that every cell uses, and the style XFs of the built-in
    // number styles that the STYLE records below name.
    AppendXf(out, 0, 0, true, 0x00);
    for (uint16_t i = 1; i < 15; ++i) AppendXf(out, i <= 2 ? 1 : (i <= 4 ? 2 : 0), 0, true, 0xF4);
    AppendXf(out, 0, 0, false, 0x00);
    const uint16_t builtinFormats[] = {0x2B, 0x29, 0x2C, 0x2A, 0x09};
    for (uint16_t format : builtinFormats) AppendXf(out, 1, format, true, 0xF8);
    out.Begin(kStyle).U16(0x8000).U8(0).U8(0xFF).End();  // Normal
    const uint8_t builtinStyles[] = {3, 6, 4, 7, 5};     // Comma ... Percent
    for (uint16_t i = 0; i < 5; ++i)
        out.Begin(kStyle)
            .U16(static_cast<uint16_t>(0x8010 + i))
            .U8(builtinStyles[i])
            .U8(0xFF)
            .End();
    std::vector<size_t> positionFields;
    for (const Sheet& sheet : workbook.sheets) {
        out.Begin(kBoundSheet);
        positionFields.push_back(out.size());
        out.U32(0).U8(0).U8(0);
        AppendShortString(out, sheet.name);
        out.End();
    }
    AppendSharedStringTable(out, shared);
    out.Begin(kEof).End();
    return positionFields;
}

// One worksheet; *cellStrings walks on over its cells.
void AppendSheet(StreamBytes& out, const Sheet& sheet, bool first, const uint32_t*& cellStrings) {
    AppendBof(out, kWorksheetBof);
    size_t columns = 0;
    for (const auto& row : sheet.rows) columns = std::max(columns, row.size());
    out.Begin(kDimensions).U32(0).U32(static_cast<uint32_t>(sheet.rows.size())).U16(0);
    out.U16(static_cast<uint16_t>(columns)).U16(0).End();
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
        const size_t width = sheet.rows[r].size();
        for (size_t c = 0; c < width; ++c) {
            const uint32_t stringIndex = *cellStrings++;
            const bool blank = stringIndex == kNoSharedString;
            uint8_t* p = out.Grow(blank ? 10 : 14);
            Put16(p, blank ? kBlank : kLabelSst);
            Put16(p + 2, blank ? 6 : 10);
            Put16(p + 4, static_cast<uint16_t>(r));
            Put16(p + 6, static_cast<uint16_t>(c));
            Put16(p + 8, kCellXf);
            if (!blank) Put32(p + 10, stringIndex);
        }
    }
    out.Begin(kWindow2).U16(first ? 0x06B6 : 0x00B6).U16(0).U16(0).U32(64).U16(0).U16(0);
    out.U32(0).End();
    out.Begin(kEof).End();
}

// Enough for the stream, so that it is never moved while written: the globals' fixed records,
// the names and the shared strings (two bytes a character at most, a header each, an option
// byte for each CONTINUE record and their headers), the index, and each sheet's cells.
size_t ExpectedStreamSize(const Workbook& workbook, const SharedStrings& shared) {
    const size_t sharedBytes = 2 * shared.textBytes + 3 * shared.texts.size() + 8;
    size_t size = 1024 + sharedBytes + sharedBytes / (kMaxRecordPayload - 1) * 5 +
                  shared.texts.size() + 16 + 14 * shared.cellStrings.size();
    for (const Sheet& sheet : workbook.sheets) size += 128 + 2 * sheet.name.size();
    return size;
}

// The stream after `start` zero bytes.
std::vector<uint8_t> WriteWorkbookStream(const Workbook& workbook, size_t start) {
    const SharedStrings shared = CollectSharedStrings(workbook);
    const size_t expectedSize = ExpectedStreamSize(workbook, shared);
    // Room for the compound file's tables after the stream, too: a sector number each.
    StreamBytes out(start, expectedSize + expectedSize / 64 + 8192);
    const std::vector<size_t> positionFields = AppendGlobals(out, workbook, shared);
    const uint32_t* cellStrings = shared.cellStrings.data();
    for (size_t i = 0; i < workbook.sheets.size(); ++i) {
        out.Patch32(positionFields[i], static_cast<uint32_t>(out.size()));
        AppendSheet(out, workbook.sheets[i], i == 0, cellStrings);
    }
    return out.Take();
}

bool Fail(std::string* errorText, std::string text) {
    if (errorText) *errorText = std::move(text);
    return false;
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

bool CheckWorkbook(const Workbook& workbook, std::string* errorText) {
    std::set<std::string> folded;
    for (const Sheet& sheet : workbook.sheets) {
        const auto nameLength = Utf16Length(sheet.name);
        if (!nameLength) return Fail(errorText, "a sheet name is not valid UTF-8");
        if (*nameLength == 0 || *nameLength > kSheetNameMaxLength)
            return Fail(errorText, "sheet name '" + sheet.name + "' must have 1 to 31 characters");
        if (sheet.name.find_first_of(":\\/?*[]") != std::string::npos ||
            sheet.name.front() == '\'' || sheet.name.back() == '\'')
            return Fail(errorText, "sheet name '" + sheet.name + "' holds a character not allowed");
        std::string key = sheet.name;
        std::transform(key.begin(), key.end(), key.begin(), FoldAscii);
        if (!folded.insert(key).second)
            return Fail(errorText, "two sheets are named '" + sheet.name + "'");
        if (sheet.rows.size() > kSheetMaxRows)
            return Fail(errorText, "sheet '" + sheet.name + "' has more than 65536 rows");
        for (const auto& row : sheet.rows) {
            if (row.size() > kSheetMaxColumns)
                return Fail(errorText, "sheet '" + sheet.name + "' has more than 256 columns");
            for (const auto& cell : row) {
                const auto length = Utf16Length(cell);
                if (!length) return Fail(errorText, "a cell text is not valid UTF-8");
                if (*length > kCellTextMaxLength)
                    return Fail(errorText, "a cell text is longer than 32767 characters");
            }
        }
    }
    return true;
}

std::vector<uint8_t> BuildWorkbookStream(const Workbook& workbook) {
    return WriteWorkbookStream(workbook, 0);
}

bool BuildWorkbookFile(const Workbook& workbook, std::vector<uint8_t>* fileBytes,
                       std::string* errorText) {
    if (!CheckWorkbook(workbook, errorText)) return false;
    *fileBytes = WriteWorkbookStream(workbook, kCompoundFileHeaderSize);
    FinishCompoundFile("Workbook", fileBytes);
    return true;
}

}  // namespace b6409
