#include "files/data_file.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/text_format.h"
#include "files/atomic_write.h"
#include "files/bounded_file_read.h"

namespace b6409 {

namespace {

constexpr char kColumnsTitle[] = "Total Columns:";
constexpr char kFormatError[] = "File Format Error !";
constexpr uint32_t kColumns = 3;
constexpr uint32_t kMinimumRecords = 30;
// The loader's scratch area: titles up to 255 bytes, cells up to 127 (a signed length byte).
constexpr uint32_t kLongestTitle = 255;
constexpr uint32_t kLongestCell = 127;
// The largest file a list can need: five counted titles and two counts, then a record for each
// row and the filler, every cell as long as the loader takes it. The rows the utility makes have
// cells of at most 21 bytes, which leaves a wide margin for texts from elsewhere.
constexpr uint64_t kLargestFileBytes =
    5 * (4 + kLongestTitle) + 2 * 4 +
    (uint64_t{kLargestListRows} + 1) * kColumns * (4 + kLongestCell);

void AppendInteger(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void AppendCounted(std::vector<uint8_t>& out, std::string_view text) {
    AppendInteger(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// Reads the file's bytes from the front; every read is checked against the end.
class ByteReader {
  public:
    explicit ByteReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    size_t position() const { return at_; }
    void Seek(size_t position) { at_ = position; }

    std::optional<uint32_t> Integer() {
        if (bytes_.size() - at_ < 4) return std::nullopt;
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= uint32_t(bytes_[at_ + i]) << (8 * i);
        at_ += 4;
        return value;
    }
    std::optional<std::string> Counted() {
        const auto count = Integer();
        if (!count || *count > kLongestTitle || bytes_.size() - at_ < *count) return std::nullopt;
        std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), *count);
        at_ += *count;
        return text;
    }
    // The position of the first non-zero byte from here on, if any.
    std::optional<size_t> NextNonZero(size_t from) const {
        for (size_t p = from; p < bytes_.size(); ++p)
            if (bytes_[p] != 0) return p;
        return std::nullopt;
    }
    uint8_t At(size_t position) const { return bytes_[position]; }
    size_t size() const { return bytes_.size(); }
    const uint8_t* data() const { return bytes_.data(); }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

// The number at the cell's start as "%03lu" writes it, formatted by hand: a load does this for
// every row, and the C library's formatting would take most of its time.
std::string RowNumberFromCell(std::string_view cell) {
    // What the utility saved is already that text: three or more digits without a leading zero
    // beyond the padding (at most nine, so the number stays below the clamp).
    const bool plain =
        cell.size() >= 3 && cell.size() <= 9 && (cell.size() == 3 || cell[0] != '0') &&
        std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (plain) return std::string(cell);
    size_t at = 0;
    while (at < cell.size() && (cell[at] == ' ' || (cell[at] >= '\t' && cell[at] <= '\r'))) ++at;
    uint64_t number = 0;
    for (; at < cell.size() && cell[at] >= '0' && cell[at] <= '9'; ++at)
        number = std::min<uint64_t>(number * 10 + uint64_t(cell[at] - '0'), 0xFFFFFFFFu);
    char digits[24];
    const size_t length = std::to_chars(digits, digits + sizeof digits, number).ptr - digits;
    std::string text(length < 3 ? 3 - length : 0, '0');
    return text.append(digits, length);
}

const char* TitleOf(IdListMode mode) {
    return mode == IdListMode::Filter ? kFilterFileTitle : kMappingFileTitle;
}

// A record's three texts as views of the file's bytes; the number cell as written.
struct RecordTexts {
    std::string_view number, type, id;
};

// Reads the column titles and the records that follow a good header, handing each row's texts
// to `onRow`. Returns the message of a fault, empty when the rows were read to their end.
template <typename OnRow>
std::string ReadRecords(ByteReader& in, size_t columnsAt, uint32_t records, uint32_t columns,
                        OnRow&& onRow) {
    // The column titles are skipped unread: from the second byte of the column count, over zero
    // bytes, to the second title's count; then two counted strings.
    const auto secondTitle = in.NextNonZero(columnsAt + 1);
    if (!secondTitle) return kFormatError;
    in.Seek(*secondTitle);
    if (!in.Counted() || !in.Counted()) return kFormatError;
    if (columns == 0) return {};

    for (uint32_t record = 1; record < records; ++record) {
        RecordTexts row;
        for (uint32_t cell = 1; cell <= columns; ++cell) {
            // The length is the first byte of the count; the text starts at the first non-zero
            // byte after it.
            const size_t countAt = in.position();
            if (countAt >= in.size()) return kFormatError;
            const int length = static_cast<int8_t>(in.At(countAt));
            if (length < 0) return kFormatError;
            const auto textAt = in.NextNonZero(countAt + 1);
            if (!textAt || in.size() - *textAt <= size_t(length)) return kFormatError;
            const size_t end = *textAt + size_t(length);
            // An empty cell next ends the file's rows: this cell is not applied, the row's
            // cells before it are.
            if (in.At(end) == 0) {
                if (cell > 1) onRow(row);
                return {};
            }
            const std::string_view text(reinterpret_cast<const char*>(in.data() + *textAt),
                                        size_t(length));
            in.Seek(end);
            if (cell <= 3) (cell == 1 ? row.number : cell == 2 ? row.type : row.id) = text;
        }
        onRow(row);
    }
    return {};
}

}  // namespace

std::vector<uint8_t> EncodeDataFile(IdListMode mode, const IdTable& table) {
    const size_t rows = table.RowCount();
    const uint32_t records = rows < kMinimumRecords ? kMinimumRecords : uint32_t(rows + 1);
    std::vector<uint8_t> out;
    out.reserve(64 + size_t(records) * 51);
    AppendCounted(out, TitleOf(mode));
    AppendInteger(out, records);
    AppendCounted(out, kColumnsTitle);
    AppendInteger(out, kColumns);
    AppendCounted(out, "");
    AppendCounted(out, "CAN-ID Type");
    AppendCounted(out, "Accepted IDs");
    for (uint32_t k = 1; k <= records; ++k) {
        AppendCounted(out, std::to_string(k));
        AppendCounted(out, k <= rows ? std::string_view(table.Row(k - 1).type) : "");
        AppendCounted(out, k <= rows ? std::string_view(table.Row(k - 1).id) : "");
    }
    return out;
}

std::string DataFilePath(std::string path) {
    if (path.find(".dat") == std::string::npos) path += ".dat";
    return path;
}

bool SaveDataFile(const std::string& pathAsTyped, IdListMode mode, const IdTable& table,
                  MessageSink& sink) {
    const std::string path = DataFilePath(pathAsTyped);
    const AtomicWriteResult result = WriteFileAtomically(path, EncodeDataFile(mode, table));
    if (result != AtomicWriteResult::Ok) {
        sink.Show(FileFailureText(result, path), MessageIcon::Stop);
        return false;
    }
    sink.Show("File Saved OK !!", MessageIcon::Information);
    return true;
}

DataFileLoad DecodeDataFile(const std::vector<uint8_t>& bytes, IdListMode mode, IdTable& table) {
    ByteReader in(bytes);

    const auto title = in.Counted();
    if (!title || *title != TitleOf(mode)) {
        if (title && mode == IdListMode::Filter && *title == kMappingFileTitle)
            return {false, "This is a Mapping-ID File !"};
        if (title && mode == IdListMode::Mapping && *title == kFilterFileTitle)
            return {false, "This is a Filter-ID File !"};
        return {false, kFormatError};
    }
    const auto records = in.Integer();
    const auto columnsTitle = in.Counted();
    const size_t columnsAt = in.position();
    const auto columns = in.Integer();
    if (!records || !columnsTitle || *columnsTitle != kColumnsTitle || !columns)
        return {false, kFormatError};
    // Every cell of the records read is in the file, at least its four-byte count: counts that
    // promise more than the bytes left, or more rows than a list has, are refused before a row
    // is taken.
    const uint64_t recordsRead = *records == 0 ? 0 : *records - 1;
    if (recordsRead > kLargestListRows || recordsRead * *columns * 4 > in.size() - in.position())
        return {false, kFormatError};

    // A fault can come after many good rows, so the rows are read twice: once to check the
    // whole file, and only then into the user's table.
    const size_t recordsAt = in.position();
    if (std::string message = ReadRecords(in, columnsAt, *records, *columns, [](auto&) {});
        !message.empty())
        return {false, std::move(message)};
    in.Seek(recordsAt);
    table.Clear();
    ReadRecords(in, columnsAt, *records, *columns, [&table](const RecordTexts& row) {
        table.AppendRow(RowNumberFromCell(row.number), std::string(row.type), std::string(row.id));
    });
    return {true, {}};
}

namespace {

std::string TooLargeText(const std::string& path) {
    return FormatText("\"%s\" is too large for a list file !\nPlease choose another file !",
                      path.c_str());
}

// The bytes of a list file of a list's size, or the message why there are none.
std::string ReadListFile(const std::string& path, std::vector<uint8_t>& bytes) {
    switch (ReadRegularFile(path, kLargestFileBytes, bytes).status) {
        case BoundedReadStatus::Ok:
            return {};
        case BoundedReadStatus::CannotOpen:
            return "File Doesn't Exist";
        case BoundedReadStatus::NotAFile:
            return FileFailureText(AtomicWriteResult::NotAFile, path);
        case BoundedReadStatus::TooLarge:
            return TooLargeText(path);
        case BoundedReadStatus::ReadFailed:
            break;
    }
    return "Read File Failed !";
}

// Loads the file as a list of the mode's kind, or, without a mode, of the kind its title names.
std::optional<IdListMode> LoadListFile(const std::string& path, std::optional<IdListMode> mode,
                                       IdTable& table, MessageSink& sink) {
    std::vector<uint8_t> bytes;
    std::string message = ReadListFile(path, bytes);
    if (message.empty()) {
        if (!mode) {
            const auto title = ByteReader(bytes).Counted();
            mode = title && *title == kMappingFileTitle ? IdListMode::Mapping : IdListMode::Filter;
        }
        message = DecodeDataFile(bytes, *mode, table).message;
    }
    if (message.empty()) return mode;
    sink.Show(message, MessageIcon::Stop);
    return std::nullopt;
}

}  // namespace

bool LoadDataFile(const std::string& path, IdListMode mode, IdTable& table, MessageSink& sink) {
    return LoadListFile(path, mode, table, sink).has_value();
}

std::optional<IdListMode> LoadDataFileOfEitherKind(const std::string& path, IdTable& table,
                                                   MessageSink& sink) {
    return LoadListFile(path, std::nullopt, table, sink);
}

const char* SaveDialogTitle(IdListMode mode) {
    return mode == IdListMode::Filter ? "Save CAN Filter-ID File as ..."
                                      : "Save CAN Mapping-ID File as ...";
}

const char* LoadDialogTitle(IdListMode mode) {
    return mode == IdListMode::Filter ? "Load CAN Filter-ID File ..."
                                      : "Load CAN Mapping-ID File ...";
}

}  // namespace b6409
