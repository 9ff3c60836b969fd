#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace b6409 {

// What a field's filter makes of a new text.
enum class FilterVerdict {
    Accept,  // the text stands and becomes the last accepted text
    Stand,   // the text stands, but a later rejection does not return to it
    Reject,  // the text goes back to the last accepted text
};

using EditFilter = std::function<FilterVerdict(std::string_view text)>;

// What an edit control with a length limit makes of a typed or pasted change: of the characters
// inserted before the caret, it keeps only as many as fit the limit, the first ones, so a paste
// of "1FFFFFFF" over the whole text of a 3-character edit leaves "1FF". Deleting is never cut,
// and a text the utility made longer than the limit takes no new characters. `before` is the
// text before the change, `after` the text the control would show, `caret` the caret's position
// in `after` (just past the insertion). Returns the kept text and the caret's place in it.
struct FittedChange {
    std::string text;
    size_t caret = 0;
};
FittedChange FitToLimit(std::string_view before, std::string_view after, size_t caret,
                        size_t limit);

// The state of one filtered edit control: its text, the text its filter last accepted, and the
// most characters the user may enter. Every change runs the filter; a rejected change is undone
// by returning to the last accepted text, without a message.
class EditField {
  public:
    // The start state is taken as given: the filter does not run on it, so the last accepted
    // text may differ from the text (the option value field starts with "83.333" but nothing
    // accepted).
    EditField(std::string text, size_t limit, std::string lastAccepted, EditFilter filter,
              bool upperCase = false);

    const std::string& Text() const { return text_; }
    const std::string& LastAccepted() const { return lastAccepted_; }
    size_t Limit() const { return limit_; }
    // A text already longer than a new limit stays as it is, as in an edit control; only later
    // user changes are cut.
    void SetLimit(size_t limit) { limit_ = limit; }

    // A change typed or pasted by the user: whatever goes beyond the limit is cut off, as the
    // control would not take it. Returns false when the filter undid the change.
    bool UserChange(std::string_view text);
    // A change made by the utility itself; not cut to the limit. Returns false when the filter
    // undid the change.
    bool SetText(std::string_view text);

  private:
    bool Change(std::string text);

    std::string text_;
    size_t limit_;
    std::string lastAccepted_;
    EditFilter filter_;
    bool upperCase_;
};

}  // namespace b6409
