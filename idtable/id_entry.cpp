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

std::pair<uint32_t, uint32_t> ParseIdText(std::string_view typeText, std::string_view idText) {
    const auto kind = KindFromTypeText(typeText);
    if (!kind || !InfoOf(*kind).twoValues) return {ReadHexNumber(idText), 0};
    const auto cut = idText.find(InfoOf(*kind).separator);
    if (cut == std::string_view::npos) return {ReadHexNumber(idText), 0};
    return {ReadHexNumber(idText.substr(0, cut)), ReadHexNumber(idText.substr(cut + 1))};
}

}  // namespace b6409
