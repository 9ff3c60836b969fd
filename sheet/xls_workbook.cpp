#include "sheet/xls_workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "sheet/compound_file.h"

namespace b6409 {
namespace {

// Record types used here.
enum : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kNote = 0x001C,
    kDate1904 = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kCodePage = 0x0042,
    kObj = 0x005D,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kExtSst = 0x00FF,
    kHyperlink = 0x01B8,
    kTextObject = 0x01B6,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kArray = 0x0221,
    kFont = 0x0031,
    kTable = 0x0236,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kStyle = 0x0293,
    kSharedFormula = 0x04BC,
    kXf = 0x00E0,
    kBof = 0x0809,
};

constexpr uint16_t kBiff8 = 0x0600;
constexpr uint16_t kGlobalsBof = 0x0005;
constexpr uint16_t kWorksheetBof = 0x0010;
constexpr size_t kMaxRecordPayload = 8224;
constexpr uint16_t kCellXf = 15;

// A damaged stream; caught where the public functions return.
struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- text ----

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A lone surrogate has no UTF-8 form; it becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

// Checks a UTF-8 text, counting its UTF-16 units into *units and converting it into *out (each
// when given); a check alone takes no memory, which matters for texts of every cell.
bool DecodeUtf8(std::string_view text, std::u16string* out, size_t* units = nullptr) {
    if (out) out->clear();
    size_t count = 0;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b >= 0xC2 && b < 0xE0) {
            c = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b < 0xF0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b < 0xF5) {
            c = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80) return false;
            c = c << 6 | (n & 0x3F);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c < 0xE000))
            return false;
        count += c >= 0x10000 ? 2 : 1;
        if (out) {
            if (c >= 0x10000) {
                out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                out->push_back(static_cast<char16_t>(c));
            }
        }
        i += extra + 1;
    }
    if (units) *units = count;
    return true;
}

std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    DecodeUtf8(text, &out);
    return out;
}

// ---- reading ----

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
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

// ---- writing ----

class Bytes {
  public:
    Bytes& U8(uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
    Bytes& U32(uint32_t v) {
        return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
    }
    Bytes& Raw(std::initializer_list<uint8_t> bytes) {
        data.insert(data.end(), bytes);
        return *this;
    }
    std::vector<uint8_t> data;
};

bool FitsEightBits(const std::u16string& text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; });
}

void AppendChars(std::vector<uint8_t>& out, const std::u16string& text, size_t from, size_t count,
                 bool compressed) {
    for (size_t i = from; i < from + count; ++i) {
        out.push_back(static_cast<uint8_t>(text[i]));
        if (!compressed) out.push_back(static_cast<uint8_t>(text[i] >> 8));
    }
}

// ShortXLUnicodeString (sheet and font names).
void AppendShortString(Bytes& b, const std::u16string& text) {
    const bool compressed = FitsEightBits(text);
    b.U8(static_cast<uint8_t>(text.size())).U8(compressed ? 0 : 1);
    AppendChars(b.data, text, 0, text.size(), compressed);
}

class StreamWriter {
  public:
    void Record(uint16_t type, const std::vector<uint8_t>& payload) {
        Bytes header;
        header.U16(type).U16(static_cast<uint16_t>(payload.size()));
        out.insert(out.end(), header.data.begin(), header.data.end());
        out.insert(out.end(), payload.begin(), payload.end());
    }
    void Record(uint16_t type, const Bytes& payload) { Record(type, payload.data); }
    std::vector<uint8_t> out;
};

std::vector<uint8_t> BofPayload(uint16_t kind) {
    Bytes b;
    b.U16(kBiff8).U16(kind).U16(0x0DBB).U16(0x07CC).U32(0).U32(0x00000006);
    return b.data;
}

// The shared string table split into an SST record and CONTINUE records. A string's count and
// option byte always stay together with its first character; characters that go on in the next
// record are preceded there by their option byte again.
struct SharedStringRecords {
    std::vector<std::vector<uint8_t>> payloads;  // SST first, then CONTINUE
    struct Position {
        size_t record;
        size_t offset;  // within the payload
    };
    std::vector<Position> bucketStarts;  // of strings 0, dsst, 2 dsst, ...
    uint16_t stringsPerBucket = 8;
};

SharedStringRecords BuildSharedStrings(const std::vector<std::u16string>& strings,
                                       uint32_t totalReferences) {
    SharedStringRecords sst;
    sst.stringsPerBucket = static_cast<uint16_t>(std::max<size_t>(8, (strings.size() + 127) / 128));
    std::vector<uint8_t> current;
    Bytes head;
    head.U32(totalReferences).U32(static_cast<uint32_t>(strings.size()));
    current = head.data;
    auto room = [&] { return kMaxRecordPayload - current.size(); };
    for (size_t i = 0; i < strings.size(); ++i) {
        const std::u16string& text = strings[i];
        const bool compressed = FitsEightBits(text);
        const size_t unit = compressed ? 1 : 2;
        if (room() < 3 + (text.empty() ? 0 : unit)) {
            sst.payloads.push_back(std::move(current));
            current.clear();
        }
        if (i % sst.stringsPerBucket == 0)
            sst.bucketStarts.push_back({sst.payloads.size(), current.size()});
        Bytes header;
        header.U16(static_cast<uint16_t>(text.size())).U8(compressed ? 0 : 1);
        current.insert(current.end(), header.data.begin(), header.data.end());
        size_t done = 0;
        while (done < text.size()) {
            size_t fits = room() / unit;
            if (fits == 0) {
                sst.payloads.push_back(std::move(current));
                current.assign(1, compressed ? 0 : 1);
                fits = room() / unit;
            }
            const size_t take = std::min(fits, text.size() - done);
            AppendChars(current, text, done, take, compressed);
            done += take;
        }
    }
    sst.payloads.push_back(std::move(current));
    return sst;
}

std::vector<uint8_t> XfPayload(uint16_t font, uint16_t format, bool style, uint8_t usedFlags) {
    Bytes b;
    b.U16(font).U16(format).U16(style ? 0xFFF5 : 0x0001).U8(0x20).U8(0).U8(0).U8(usedFlags);
    b.U32(0).U32(0).U16(0x20C0);
    return b.data;
}

std::vector<uint8_t> SheetSubstream(const Sheet& sheet, bool first,
                                    const std::unordered_map<std::string, uint32_t>& index) {
    StreamWriter w;
    w.Record(kBof, BofPayload(kWorksheetBof));
    size_t columns = 0;
    for (const auto& row : sheet.rows) columns = std::max(columns, row.size());
    Bytes dimensions;
    dimensions.U32(0).U32(static_cast<uint32_t>(sheet.rows.size())).U16(0);
    dimensions.U16(static_cast<uint16_t>(columns)).U16(0);
    w.Record(kDimensions, dimensions);
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
        for (size_t c = 0; c < sheet.rows[r].size(); ++c) {
            const std::string& text = sheet.rows[r][c];
            Bytes cell;
            cell.U16(static_cast<uint16_t>(r)).U16(static_cast<uint16_t>(c)).U16(kCellXf);
            if (text.empty()) {
                w.Record(kBlank, cell);
            } else {
                cell.U32(index.at(text));
                w.Record(kLabelSst, cell);
            }
        }
    }
    Bytes window;
    window.U16(first ? 0x06B6 : 0x00B6).U16(0).U16(0).U32(64).U16(0).U16(0).U32(0);
    w.Record(kWindow2, window);
    w.Record(kEof, std::vector<uint8_t>{});
    return w.out;
}

bool Fail(std::string* errorText, std::string text) {
    if (errorText) *errorText = std::move(text);
    return false;
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

std::optional<size_t> Utf16Length(std::string_view utf8) {
    size_t units;
    if (!DecodeUtf8(utf8, nullptr, &units)) return std::nullopt;
    return units;
}

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
    // Shared strings in the order of first use.
    std::unordered_map<std::string, uint32_t> index;
    std::vector<std::u16string> strings;
    uint32_t references = 0;
    for (const Sheet& sheet : workbook.sheets)
        for (const auto& row : sheet.rows)
            for (const auto& cell : row) {
                if (cell.empty()) continue;
                ++references;
                if (index.emplace(cell, static_cast<uint32_t>(strings.size())).second)
                    strings.push_back(ToUtf16(cell));
            }

    std::vector<std::vector<uint8_t>> substreams;
    for (size_t i = 0; i < workbook.sheets.size(); ++i)
        substreams.push_back(SheetSubstream(workbook.sheets[i], i == 0, index));

    // The globals twice: first to learn their size (which the sheet positions do not change),
    // then with the sheets' positions filled in.
    auto globals = [&](const std::vector<uint32_t>& positions) {
        StreamWriter w;
        w.Record(kBof, BofPayload(kGlobalsBof));
        w.Record(kCodePage, Bytes().U16(1200));
        Bytes window;
        window.U16(360).U16(270).U16(14940).U16(9150).U16(0x0038).U16(0).U16(0).U16(1).U16(600);
        w.Record(kWindow1, window);
        w.Record(kDate1904, Bytes().U16(0));
        const std::u16string fontName = u"Arial";
        for (int i = 0; i < 4; ++i) {
            Bytes font;
            font.U16(200).U16(0).U16(0x7FFF).U16(400).U16(0).U8(0).U8(0).U8(0).U8(0);
            AppendShortString(font, fontName);
            w.Record(kFont, font);
        }
        // Style XFs 0-14, the cell XF 15 that every cell uses, and the style XFs of the
        // built-in number styles that the STYLE records below name.
        w.Record(kXf, XfPayload(0, 0, true, 0x00));
        for (uint16_t i = 1; i < 15; ++i)
            w.Record(kXf, XfPayload(i <= 2 ? 1 : (i <= 4 ? 2 : 0), 0, true, 0xF4));
        w.Record(kXf, XfPayload(0, 0, false, 0x00));
        const uint16_t builtinFormats[] = {0x2B, 0x29, 0x2C, 0x2A, 0x09};
        for (uint16_t format : builtinFormats) w.Record(kXf, XfPayload(1, format, true, 0xF8));
        w.Record(kStyle, Bytes().U16(0x8000).U8(0).U8(0xFF));  // Normal
        const uint8_t builtinStyles[] = {3, 6, 4, 7, 5};       // Comma ... Percent
        for (uint16_t i = 0; i < 5; ++i)
            w.Record(kStyle,
                     Bytes().U16(static_cast<uint16_t>(0x8010 + i)).U8(builtinStyles[i]).U8(0xFF));
        for (size_t i = 0; i < workbook.sheets.size(); ++i) {
            Bytes entry;
            entry.U32(positions.empty() ? 0 : positions[i]).U8(0).U8(0);
            AppendShortString(entry, ToUtf16(workbook.sheets[i].name));
            w.Record(kBoundSheet, entry);
        }
        const SharedStringRecords sst = BuildSharedStrings(strings, references);
        std::vector<size_t> recordStarts;
        for (size_t i = 0; i < sst.payloads.size(); ++i) {
            recordStarts.push_back(w.out.size());
            w.Record(i == 0 ? kSst : kContinue, sst.payloads[i]);
        }
        Bytes extended;
        extended.U16(sst.stringsPerBucket);
        for (const auto& start : sst.bucketStarts) {
            const size_t offsetInRecord = 4 + start.offset;
            extended.U32(static_cast<uint32_t>(recordStarts[start.record] + offsetInRecord));
            extended.U16(static_cast<uint16_t>(offsetInRecord)).U16(0);
        }
        w.Record(kExtSst, extended);
        w.Record(kEof, std::vector<uint8_t>{});
        return w.out;
    };
    const size_t globalsSize = globals({}).size();
    std::vector<uint32_t> positions;
    size_t at = globalsSize;
    for (const auto& s : substreams) {
        positions.push_back(static_cast<uint32_t>(at));
        at += s.size();
    }
    std::vector<uint8_t> stream = globals(positions);
    for (const auto& s : substreams) stream.insert(stream.end(), s.begin(), s.end());
    return stream;
}

bool BuildWorkbookFile(const Workbook& workbook, std::vector<uint8_t>* fileBytes,
                       std::string* errorText) {
    if (!CheckWorkbook(workbook, errorText)) return false;
    *fileBytes = BuildCompoundFile("Workbook", BuildWorkbookStream(workbook));
    return true;
}

}  // namespace b6409
