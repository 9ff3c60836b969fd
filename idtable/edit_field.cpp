#include "idtable/edit_field.h"

#include <algorithm>
#include <utility>

namespace b6409 {

namespace {

// A full-width 29-bit zero cannot pass the hexadecimal rule (eight digits must begin with 1),
// yet it is the from field's start text in 29-bit; both filters of this program let it stand.
constexpr std::string_view kStandingZero = "00000000";

}  // namespace

EditField::EditField(std::string text, size_t limit, std::string lastAccepted, EditFilter filter,
                     bool upperCase)
    : text_(std::move(text)),
      limit_(limit),
      lastAccepted_(std::move(lastAccepted)),
      filter_(std::move(filter)),
      upperCase_(upperCase) {}

FittedChange FitToLimit(std::string_view before, std::string_view after, size_t caret,
                        size_t limit) {
    caret = std::min(caret, after.size());
    if (after.size() <= limit || after.size() <= before.size()) return {std::string(after), caret};
    // What follows the caret is what the change left of the old text's end; what precedes the
    // insertion is the longest start the old and new texts share before the caret.
    const size_t kept = std::min(after.size() - caret, before.size());
    size_t start = 0;
    while (start < caret && start < before.size() - kept && after[start] == before[start]) ++start;
    const size_t inserted = caret - start;
    const size_t remaining = start + kept;  // old characters that stay
    const size_t room = limit > remaining ? limit - remaining : 0;
    const size_t taken = std::min(inserted, room);
    std::string text(after.substr(0, start + taken));
    text += after.substr(caret);
    return {text, start + taken};
}

bool EditField::UserChange(std::string_view text) {
    return Change(std::string(text.substr(0, limit_)));
}

bool EditField::SetText(std::string_view text) {
    return Change(std::string(text));
}

bool EditField::Change(std::string text) {
    if (upperCase_)
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    text_ = std::move(text);
    if (text_ == kStandingZero) return true;
    const FilterVerdict verdict = filter_ ? filter_(text_) : FilterVerdict::Stand;
    if (verdict == FilterVerdict::Accept) lastAccepted_ = text_;
    if (verdict != FilterVerdict::Reject) return true;
    // Returning to the last accepted text is itself a change that the filter would see, but it
    // is not filtered again: under a width changed since, a recheck could reject it once more
    // and never come to rest.
    text_ = lastAccepted_;
    return false;
}

}  // namespace b6409
