#include "idtable/id_entry.h"

#include <array>
#include <cctype>

#include "common/text_format.h"

namespace b6409 {

namespace {

constexpr std::array<IdKindInfo, 8> kKinds = {{
    {IdKind::Sid11, "11-bit SID", "0x%03X", 0x11, false, false, 0, kMask11, 0, IdListMode::Filter},
    {IdKind::Gid11, "11-bit GID", "0x%03X~0x%03X", 0x12, false, true, '~', kMask11, kMask11,
     IdListMode::Filter},
    {IdKind::Sid29, "29-bit SID", "0x%08X", 0x13, false, false, 0, kMask29, 0, IdListMode::Filter},
    {IdKind::Gid29, "29-bit GID", "0x%08X~0x%08X", 0x14, false, true, '~', kMask29, kMask29,
     IdListMode::Filter},
    {IdKind::Mid11To11, "11>11-bit MID", "0x%03X>0x%03X", 0x15, false, true, '>', kMask11, kMask11,
     IdListMode::Mapping},
    {IdKind::Mid11To29, "11>29-bit MID", "0x%03X>0x%08X", 0x15, true, true, '>', kMask11, kMask29,
     IdListMode::Mapping},
    {IdKind::Mid29To29, "29>29-bit MID", "0x%08X>0x%08X", 0x16, false, true, '>', kMask29, kMask29,
     IdListMode::Mapping},
    {IdKind::Mid29To11, "29>11-bit MID", "0x%08X>0x%03X", 0x16, true, true, '>', kMask29, kMask11,
     IdListMode::Mapping},
}};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "0x" or "0X" and one to eight hexadecimal digits, nothing else: what the table writes, in
// either case and with the leading zeros a hand-edited file may add or drop. A workbook copies
// the text into its cells for another tool to replay, so it must read as this number anywhere.
std::optional<uint32_t> ReadExactHexNumber(std::string_view text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text.substr(2)) {
        const int digit = HexValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

// What a row of the kind holds, as a problem names it: "11-bit ID", "29-bit ID range",
// "11>29-bit mapping".
std::string FormName(const IdKindInfo& info) {
    const auto bits = [](uint32_t mask) { return mask == kMask11 ? 11 : 29; };
    if (info.separator == '>')
        return FormatText("%d>%d-bit mapping", bits(info.firstMask), bits(info.secondMask));
    return FormatText(info.twoValues ? "%d-bit ID range" : "%d-bit ID", bits(info.firstMask));
}

}  // namespace

const IdKindInfo& InfoOf(IdKind kind) {
    return kKinds[static_cast<size_t>(kind)];
}

std::optional<IdKind> KindFromTypeText(std::string_view typeText) {
    for (const auto& info : kKinds)
        if (typeText == info.typeText) return info.kind;
    return std::nullopt;
}

std::optional<IdKind> KindFromTypeText(std::string_view typeText, IdListMode mode) {
    const auto kind = KindFromTypeText(typeText);
    if (!kind || InfoOf(*kind).mode != mode) return std::nullopt;
    return kind;
}

std::string FormatIdText(const IdEntry& entry) {
    const IdKindInfo& info = InfoOf(entry.kind);
    if (!info.twoValues) return FormatText(info.idFormat, entry.first);
    return FormatText(info.idFormat, entry.first, entry.second);
}

uint32_t ReadHexNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
        at + 2 < text.size() && HexValue(text[at + 2]) >= 0)
        at += 2;
    uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = HexValue(text[at]);
        if (digit < 0) break;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

RowEntry ReadRowEntry(IdListMode mode, std::string_view typeText, std::string_view idText) {
    const auto kind = KindFromTypeText(typeText, mode);
    if (!kind)
        return {std::nullopt, "\"" + std::string(typeText) + "\" is no type of a " +
                                  (mode == IdListMode::Filter ? "filter" : "mapping") + " list"};
    const IdKindInfo& info = InfoOf(*kind);
    std::optional<uint32_t> first;
    std::optional<uint32_t> second = 0;
    if (!info.twoValues) {
        first = ReadExactHexNumber(idText);
    } else if (const auto cut = idText.find(info.separator); cut != std::string_view::npos) {
        first = ReadExactHexNumber(idText.substr(0, cut));
        second = ReadExactHexNumber(idText.substr(cut + 1));
    }
    if (!first || !second || (*first & ~info.firstMask) != 0 || (*second & ~info.secondMask) != 0)
        return {std::nullopt, "\"" + std::string(idText) + "\" is no " + FormName(info)};
    if (info.separator == '~' && *first >= *second)
        return {std::nullopt, "the range \"" + std::string(idText) + "\" must start below its end"};
    return {IdEntry{*kind, *first, *second}, {}};
}

}  // namespace b6409
