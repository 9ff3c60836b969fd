#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace b6409 {

// Which list the ID table holds.
enum class IdListMode { Filter, Mapping };

// The eight entry kinds: single IDs and ranges of a filter list, and the four mapping kinds
// (source width > target width).
enum class IdKind { Sid11, Gid11, Sid29, Gid29, Mid11To11, Mid11To29, Mid29To29, Mid29To11 };

inline constexpr uint32_t kMask11 = 0x7FF;
inline constexpr uint32_t kMask29 = 0x1FFFFFFF;
// In the second value of a mapping entry: the target has the other width than the code says.
inline constexpr uint32_t kTargetFlag = 0x80000000;

struct IdKindInfo {
    IdKind kind;
    const char* typeText;  // column 1 of the table, e.g. "11-bit GID"
    const char* idFormat;  // printf form of the ID text over first (and second)
    uint8_t entryCode;     // 0x11..0x16, by which the module and the workbook know the kind
    bool targetFlag;       // mapping target of the other width
    bool twoValues;        // a range or a mapping
    char separator;        // '~' for ranges, '>' for mappings, 0 for single IDs
    uint32_t firstMask;
    uint32_t secondMask;
    IdListMode mode;
};

const IdKindInfo& InfoOf(IdKind kind);
// The kind a type text names, in any mode; none for a text that names no kind.
std::optional<IdKind> KindFromTypeText(std::string_view typeText);
// The kind a type text names among the mode's four.
std::optional<IdKind> KindFromTypeText(std::string_view typeText, IdListMode mode);

struct IdEntry {
    IdKind kind = IdKind::Sid11;
    uint32_t first = 0;   // the single ID, range start or mapping source
    uint32_t second = 0;  // range end or mapping target; 0 for single IDs
};

// The ID text of an entry in its kind's form: "0x%03X", "0x%08X~0x%08X", "0x%03X>0x%08X" ...
std::string FormatIdText(const IdEntry& entry);

// The entry a row's texts stand for in a list of the mode, read as strictly as sending it needs:
// the type text is one of the mode's four; the ID text is the kind's form, each value "0x" (or
// "0X") and one to eight hexadecimal digits of either case that fit the value's width, with
// nothing around them; a filter range starts below its end. Otherwise the problem says why not,
// e.g. "\"hello\" is no 11-bit ID".
struct RowEntry {
    std::optional<IdEntry> entry;
    std::string problem;  // set when there is no entry
};
RowEntry ReadRowEntry(IdListMode mode, std::string_view typeText, std::string_view idText);

// Leading white space, an optional "0x"/"0X", then hexadecimal digits up to the first other
// character; no digits read as 0. Values beyond 32 bits give 0xFFFFFFFF.
uint32_t ReadHexNumber(std::string_view text);

}  // namespace b6409
