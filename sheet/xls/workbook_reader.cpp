#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <span>
#include <stdexcept>
#include <utility>

#include "sheet/compound_file.h"
#include "sheet/little_endian.h"
#include "sheet/xls/biff_records.h"
#include "sheet/xls/utf16_text.h"
#include "sheet/xls_workbook.h"

// Reading a workbook stream: the globals (sheet list, shared strings), then each worksheet's
// cells as texts.
namespace b6409 {
namespace {

using namespace xls;

// A damaged stream; caught where the public functions return.
struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double GetDouble(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One record with the CONTINUE records that follow it, read as one run of bytes that knows
// where the pieces meet: a string's characters that cross into the next piece start again
// with an option byte telling their width.
class RecordReader {
  public:
    std::vector<std::span<const uint8_t>> pieces;

    bool AtEnd() const {
        return piece_ >= pieces.size() ||
               (piece_ + 1 == pieces.size() && pos_ == pieces[piece_].size());
    }
    size_t PayloadSize() const { return pieces.empty() ? 0 : pieces[0].size(); }

    uint8_t U8() {
        uint8_t b;
        Raw(&b, 1);
        return b;
    }
    uint16_t U16() {
        uint8_t b[2];
        Raw(b, 2);
        return Get16(b);
    }
    uint32_t U32() {
        uint8_t b[4];
        Raw(b, 4);
        return Get32(b);
    }
    void Skip(uint64_t count) {
        while (count > 0) {
            SkipEmptyPieces();
            const size_t take = std::min<uint64_t>(count, pieces[piece_].size() - pos_);
            pos_ += take;
            count -= take;
        }
    }

    std::string Chars(size_t count, bool highByte) {
        std::u16string text;
        while (text.size() < count) {
            if (piece_ >= pieces.size()) throw FormatError("a string runs past its record");
            if (pos_ == pieces[piece_].size()) {
                if (piece_ + 1 >= pieces.size()) throw FormatError("a string runs past its record");
                ++piece_;
                pos_ = 0;
                if (pieces[piece_].empty()) throw FormatError("an empty CONTINUE record");
                highByte = pieces[piece_][pos_++] & 1;
                continue;
            }
            const size_t unit = highByte ? 2 : 1;
            const size_t available = (pieces[piece_].size() - pos_) / unit;
            if (available == 0) throw FormatError("a string's character is split");
            const size_t take = std::min(available, count - text.size());
            const uint8_t* p = pieces[piece_].data() + pos_;
            for (size_t i = 0; i < take; ++i)
                text.push_back(highByte ? static_cast<char16_t>(Get16(p + 2 * i))
                                        : static_cast<char16_t>(p[i]));
            pos_ += take * unit;
        }
        return Utf16ToUtf8(text);
    }

    // XLUnicodeString: 16-bit count, option byte, characters.
    std::string UnicodeString() {
        const uint16_t count = U16();
        const uint8_t flags = U8();
        return Chars(count, flags & 1);
    }
    // ShortXLUnicodeString: 8-bit count.
    std::string ShortUnicodeString() {
        const uint8_t count = U8();
        const uint8_t flags = U8();
        return Chars(count, flags & 1);
    }
    // XLUnicodeRichExtendedString of the shared string table; formatting runs and phonetic
    // data are passed over.
    std::string RichString() {
        const uint16_t count = U16();
        const uint8_t flags = U8();
        const uint16_t runs = (flags & 0x08) ? U16() : 0;
        const uint32_t extended = (flags & 0x04) ? U32() : 0;
        std::string text = Chars(count, flags & 1);
        Skip(uint64_t{runs} * 4);
        Skip(extended);
        return text;
    }

  private:
    void SkipEmptyPieces() {
        while (piece_ < pieces.size() && pos_ == pieces[piece_].size()) {
            ++piece_;
            pos_ = 0;
        }
        if (piece_ >= pieces.size()) throw FormatError("a record is shorter than its content");
    }
    void Raw(uint8_t* out, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            SkipEmptyPieces();
            out[i] = pieces[piece_][pos_++];
        }
    }

    size_t piece_ = 0;
    size_t pos_ = 0;
};

struct RawRecord {
    uint16_t type = 0;
    RecordReader reader;
    std::span<const uint8_t> payload;
};

// Reads the record at *pos (and the CONTINUE records after it); false at the stream's end.
bool NextRecord(const std::vector<uint8_t>& stream, size_t* pos, RawRecord* record) {
    if (*pos >= stream.size()) return false;
    if (stream.size() - *pos < 4) throw FormatError("the workbook stream ends inside a record");
    auto readOne = [&](uint16_t* type) {
        *type = Get16(stream.data() + *pos);
        const uint16_t length = Get16(stream.data() + *pos + 2);
        if (stream.size() - *pos - 4 < length)
            throw FormatError("a record runs past the end of the workbook stream");
        std::span<const uint8_t> payload(stream.data() + *pos + 4, length);
        *pos += 4 + size_t{length};
        return payload;
    };
    record->payload = readOne(&record->type);
    record->reader = RecordReader();
    record->reader.pieces.push_back(record->payload);
    while (*pos + 4 <= stream.size() && Get16(stream.data() + *pos) == kContinue) {
        uint16_t type;
        record->reader.pieces.push_back(readOne(&type));
    }
    return true;
}

class UnkeptContent {
  public:
    void Add(const char* what) { what_.insert(what); }
    std::string Text() const {
        std::string text;
        for (const auto& w : what_) text += (text.empty() ? "" : ", ") + w;
        return text;
    }

  private:
    std::set<std::string> what_;
};

// One of the read limits and how much of it the read has used.
class Allowance {
  public:
    Allowance(size_t limit, const char* what) : limit_(limit), what_(what) {}
    // Called before the memory is taken, so a refused read never holds more than the limit.
    void Take(size_t amount) {
        if (amount > limit_ - used_)
            throw FormatError("the workbook is larger than this utility reads: more than " +
                              std::to_string(limit_) + " " + what_);
        used_ += amount;
    }

  private:
    size_t used_ = 0;
    size_t limit_;
    const char* what_;
};

// Sheets are held densely: every row up to the last one used, every cell of a row up to its
// last one.
class SheetCells {
  public:
    explicit SheetCells(Sheet& sheet) : sheet_(sheet) {}
    bool Has(uint32_t row, uint32_t column) const {
        return row < sheet_.rows.size() && column < sheet_.rows[row].size();
    }
    void Set(uint32_t row, uint32_t column, std::string text) {
        if (sheet_.rows.size() <= row) sheet_.rows.resize(row + 1);
        auto& cells = sheet_.rows[row];
        if (cells.size() <= column) cells.resize(column + 1);
        cells[column] = std::move(text);
    }

  private:
    Sheet& sheet_;
};

// What SheetCells would hold for the same records, counted without holding it, so that a
// workbook beyond the read limits is refused before its sheets take any memory. A text written
// over another counts twice.
class SheetSize {
  public:
    bool Has(uint32_t row, uint32_t column) const {
        return row < widths_.size() && column < widths_[row];
    }
    void Set(uint32_t row, uint32_t column, const std::string& text) {
        if (widths_.size() <= row) widths_.resize(row + 1);
        if (widths_[row] <= column) {
            cells += column + 1 - widths_[row];
            widths_[row] = static_cast<uint16_t>(column + 1);
        }
        textBytes += text.size();
    }
    size_t Rows() const { return widths_.size(); }

    size_t cells = 0;
    size_t textBytes = 0;

  private:
    std::vector<uint16_t> widths_;
};

std::string ErrorCodeText(uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        default:
            return "#ERR!";
    }
}

void Need(const RawRecord& record, size_t size) {
    if (record.payload.size() < size) throw FormatError("a cell record is too short");
}

// Reads the cells of the worksheet whose BOF is at pos into cells, a SheetCells or SheetSize.
template <typename Cells>
void ReadWorksheet(const std::vector<uint8_t>& stream, size_t pos,
                   const std::vector<std::string>& sharedStrings, Cells& cells,
                   UnkeptContent& unkept) {
    // Texts go on as they come, so that SheetSize counts a shared string without a copy.
    auto set = [&](uint32_t row, uint32_t column, auto&& text) {
        if (row >= kSheetMaxRows || column >= kSheetMaxColumns)
            throw FormatError("a cell lies outside the sheet's 65536 rows and 256 columns");
        cells.Set(row, column, std::forward<decltype(text)>(text));
    };
    int depth = 0;
    bool pendingFormulaString = false;
    uint32_t pendingRow = 0, pendingColumn = 0;
    RawRecord record;
    while (NextRecord(stream, &pos, &record)) {
        const auto& p = record.payload;
        if (record.type == kBof) {
            if (++depth > 1) unkept.Add("charts or embedded objects");
            continue;
        }
        if (record.type == kEof) {
            if (--depth == 0) return;
            continue;
        }
        if (depth != 1) continue;
        switch (record.type) {
            case kLabelSst: {
                Need(record, 10);
                const uint32_t index = Get32(p.data() + 6);
                if (index >= sharedStrings.size())
                    throw FormatError("a cell names a shared string that does not exist");
                set(Get16(p.data()), Get16(p.data() + 2), sharedStrings[index]);
                break;
            }
            case kLabel:
            case kRString: {
                Need(record, 9);
                record.reader.Skip(6);
                set(Get16(p.data()), Get16(p.data() + 2), record.reader.UnicodeString());
                break;
            }
            case kNumber:
                Need(record, 14);
                set(Get16(p.data()), Get16(p.data() + 2),
                    FormatCellNumber(GetDouble(p.data() + 6)));
                break;
            case kRk:
                Need(record, 10);
                set(Get16(p.data()), Get16(p.data() + 2),
                    FormatCellNumber(DecodeRkNumber(Get32(p.data() + 6))));
                break;
            case kMulRk: {
                Need(record, 12);
                const size_t count = (p.size() - 6) / 6;
                const uint16_t first = Get16(p.data() + 2);
                const uint16_t last = Get16(p.data() + p.size() - 2);
                if ((p.size() - 6) % 6 != 0 || last < first || size_t{last} - first + 1 != count)
                    throw FormatError("a MULRK record does not match its columns");
                for (size_t i = 0; i < count; ++i)
                    set(Get16(p.data()), first + static_cast<uint32_t>(i),
                        FormatCellNumber(DecodeRkNumber(Get32(p.data() + 4 + 6 * i + 2))));
                break;
            }
            case kBlank:
                Need(record, 6);
                // A blank cell is part of the used area but leaves a text already there alone.
                if (!cells.Has(Get16(p.data()), Get16(p.data() + 2)))
                    set(Get16(p.data()), Get16(p.data() + 2), "");
                break;
            case kMulBlank: {
                Need(record, 8);
                const uint16_t row = Get16(p.data());
                const uint16_t first = Get16(p.data() + 2);
                const uint16_t last = Get16(p.data() + p.size() - 2);
                if ((p.size() - 6) % 2 != 0 || last < first ||
                    size_t{last} - first + 1 != (p.size() - 6) / 2)
                    throw FormatError("a MULBLANK record does not match its columns");
                for (uint32_t c = first; c <= last; ++c)
                    if (!cells.Has(row, c)) set(row, c, "");
                break;
            }
            case kBoolErr: {
                Need(record, 8);
                const uint8_t value = p[6];
                set(Get16(p.data()), Get16(p.data() + 2),
                    p[7] ? ErrorCodeText(value) : (value ? "TRUE" : "FALSE"));
                break;
            }
            case kFormula: {
                Need(record, 20);
                unkept.Add("formulas");
                const uint32_t row = Get16(p.data()), column = Get16(p.data() + 2);
                if (Get16(p.data() + 12) != 0xFFFF) {
                    set(row, column, FormatCellNumber(GetDouble(p.data() + 6)));
                } else if (p[6] == 0) {
                    set(row, column, "");
                    pendingFormulaString = true;
                    pendingRow = row;
                    pendingColumn = column;
                } else if (p[6] == 1) {
                    set(row, column, p[8] ? "TRUE" : "FALSE");
                } else if (p[6] == 2) {
                    set(row, column, ErrorCodeText(p[8]));
                } else {
                    set(row, column, "");
                }
                continue;  // the STRING record may follow after ARRAY or SHRFMLA
            }
            case kString:
                if (pendingFormulaString)
                    set(pendingRow, pendingColumn, record.reader.UnicodeString());
                pendingFormulaString = false;
                break;
            case kArray:
            case kSharedFormula:
            case kTable:
                unkept.Add("formulas");
                continue;
            // Writers put an empty drawing container (MSODRAWING) into plain sheets; only
            // objects in it count.
            case kNote:
            case kObj:
            case kTextObject:
                unkept.Add("drawings or comments");
                break;
            case kHyperlink:
                unkept.Add("hyperlinks");
                break;
            default:
                break;
        }
        pendingFormulaString = false;
    }
    throw FormatError("a worksheet ends without its EOF record");
}

bool Fail(std::string* errorText, std::string text) {
    if (errorText) *errorText = std::move(text);
    return false;
}

}  // namespace

double DecodeRkNumber(uint32_t rk) {
    double value;
    if (rk & 2) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 1) ? value / 100 : value;
}

std::string FormatCellNumber(double value) {
    if (!std::isfinite(value)) return "#NUM!";
    if (value == 0) return "0";  // also -0
    char buffer[64];
    if (std::floor(value) == value && std::fabs(value) < 9007199254740992.0) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool ReadWorkbookStream(const std::vector<uint8_t>& stream, Workbook* out, WorkbookReadNotes* notes,
                        std::string* errorText) {
    *out = Workbook();
    if (notes) *notes = WorkbookReadNotes();
    try {
        UnkeptContent unkept;
        Allowance sheets{kReadMaxSheets, "sheets"};
        Allowance sharedCount{kReadMaxCells, "shared strings"};
        Allowance sharedText{kReadMaxTextBytes, "bytes of shared strings"};
        size_t pos = 0;
        RawRecord record;
        if (!NextRecord(stream, &pos, &record) || record.type != kBof || record.payload.size() < 4)
            throw FormatError("the workbook stream does not begin with a BOF record");
        if (Get16(record.payload.data()) != kBiff8)
            throw FormatError("the workbook is not in the Excel 97-2003 (BIFF8) format");
        if (Get16(record.payload.data() + 2) != kGlobalsBof)
            throw FormatError("the workbook stream does not begin with its global part");
        struct SheetEntry {
            uint32_t offset;
            uint8_t kind;
            std::string name;
        };
        std::vector<SheetEntry> entries;
        std::vector<std::string> sharedStrings;
        bool ended = false;
        while (!ended && NextRecord(stream, &pos, &record)) {
            switch (record.type) {
                case kFilePass:
                    throw FormatError("the workbook is protected by a password");
                case kBoundSheet: {
                    if (record.payload.size() < 8)
                        throw FormatError("a BOUNDSHEET record is too short");
                    sheets.Take(1);
                    SheetEntry entry;
                    entry.offset = record.reader.U32();
                    record.reader.U8();  // visibility
                    entry.kind = record.reader.U8();
                    entry.name = record.reader.ShortUnicodeString();
                    entries.push_back(std::move(entry));
                    break;
                }
                case kSst: {
                    RecordReader& r = record.reader;
                    r.U32();
                    const uint32_t unique = r.U32();
                    sharedStrings.clear();
                    for (uint32_t i = 0; i < unique && !r.AtEnd(); ++i) {
                        sharedCount.Take(1);
                        sharedStrings.push_back(r.RichString());
                        sharedText.Take(sharedStrings.back().size());
                    }
                    break;
                }
                case kEof:
                    ended = true;
                    break;
                default:
                    break;
            }
        }
        if (!ended) throw FormatError("the workbook stream ends inside its global part");
        Allowance rows{kReadMaxRows, "rows"};
        Allowance cells{kReadMaxCells, "cells"};
        Allowance text{kReadMaxTextBytes, "bytes of cell text"};
        std::vector<const SheetEntry*> worksheets;
        for (const SheetEntry& entry : entries) {
            if (entry.kind != 0) {
                unkept.Add("sheets other than worksheets");
                continue;
            }
            if (entry.offset >= stream.size())
                throw FormatError("a sheet's position lies outside the workbook stream");
            size_t sheetPos = entry.offset;
            RawRecord bof;
            if (!NextRecord(stream, &sheetPos, &bof) || bof.type != kBof || bof.payload.size() < 4)
                throw FormatError("a sheet does not begin with a BOF record");
            if (Get16(bof.payload.data() + 2) != kWorksheetBof) {
                unkept.Add("sheets other than worksheets");
                continue;
            }
            SheetSize size;
            ReadWorksheet(stream, entry.offset, sharedStrings, size, unkept);
            rows.Take(size.Rows());
            cells.Take(size.cells);
            text.Take(size.textBytes);
            worksheets.push_back(&entry);
        }
        for (const SheetEntry* entry : worksheets) {
            Sheet sheet;
            sheet.name = entry->name;
            SheetCells held(sheet);
            ReadWorksheet(stream, entry->offset, sharedStrings, held, unkept);
            out->sheets.push_back(std::move(sheet));
        }
        if (notes) notes->unkeptContent = unkept.Text();
        return true;
    } catch (const FormatError& e) {
        *out = Workbook();
        return Fail(errorText, e.what());
    }
}

bool ReadWorkbook(std::vector<uint8_t> fileBytes, Workbook* out, WorkbookReadNotes* notes,
                  std::string* errorText) {
    *out = Workbook();
    CompoundFileReader file;
    if (!file.Open(std::move(fileBytes), errorText)) return false;
    std::vector<uint8_t> stream;
    if (!file.ReadStream("Workbook", &stream, nullptr)) {
        if (file.ReadStream("Book", &stream, nullptr))
            return Fail(errorText, "the workbook is in a format older than Excel 97 (BIFF5)");
        return Fail(errorText, "the file holds no workbook stream");
    }
    if (!ReadWorkbookStream(stream, out, notes, errorText)) return false;
    if (notes && !file.StorageNames().empty()) {
        notes->unkeptContent +=
            (notes->unkeptContent.empty() ? "" : ", ") + std::string("macros or embedded files");
    }
    return true;
}

}  // namespace b6409
