#include "idtable/edit_field.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace b6409 {
namespace {

// Rejects texts with 'X', lets texts with '?' stand, accepts the rest; keeps what it saw.
struct ProbeFilter {
    std::vector<std::string>* seen;
    FilterVerdict operator()(std::string_view text) const {
        seen->emplace_back(text);
        if (text.find('?') != std::string_view::npos) return FilterVerdict::Stand;
        return text.find('X') == std::string_view::npos ? FilterVerdict::Accept
                                                        : FilterVerdict::Reject;
    }
};

TEST(EditField, VerdictsDecideTextAndLastAccepted) {
    struct Step {
        const char* change;
        bool stands;
        const char* text;
        const char* lastAccepted;
    };
    const Step steps[] = {
        {"aX", false, "", ""},  // the start state is taken as given, not filtered
        {"ab", true, "ab", "ab"},
        {"a?", true, "a?", "ab"},
        {"X", false, "ab", "ab"},
        // The full-width zero stands whatever the filter says, and is never returned to.
        {"00000000", true, "00000000", "ab"},
        {"aXc", false, "ab", "ab"},
        {"", true, "", ""},
    };
    std::vector<std::string> seen;
    EditField field("83.333", 20, "", ProbeFilter{&seen});
    for (const auto& s : steps) {
        EXPECT_EQ(field.SetText(s.change), s.stands) << s.change;
        EXPECT_EQ(field.Text(), s.text) << s.change;
        EXPECT_EQ(field.LastAccepted(), s.lastAccepted) << s.change;
    }
    for (const auto& text : seen) EXPECT_NE(text, "00000000");
}

TEST(EditField, UserChangesAreCutToTheLimitButUtilityTextsAreNot) {
    std::vector<std::string> seen;
    EditField field("", 3, "", ProbeFilter{&seen});
    field.UserChange("456X");  // the rejected character lies beyond the limit
    EXPECT_EQ(field.Text(), "456");
    field.SetText("1234567");
    EXPECT_EQ(field.Text(), "1234567");
    EXPECT_EQ(field.LastAccepted(), "1234567");
    // A lower limit leaves the present text alone.
    field.SetLimit(2);
    EXPECT_EQ(field.Text(), "1234567");
    field.UserChange("abc");
    EXPECT_EQ(field.Text(), "ab");
}

TEST(FitToLimit, AnInsertionKeepsWhatFitsAndDeletingIsNeverCut) {
    struct Case {
        const char* before;
        const char* after;
        size_t caret;
        size_t limit;
        const char* text;
        size_t fittedCaret;
    };
    const Case cases[] = {
        {"7FF", "1FFFFFFF", 8, 3, "1FF", 3},             // pasted over the whole text
        {"", "1FFFFFFF", 8, 3, "1FF", 3},                // pasted into an empty edit
        {"7F", "71FFFFFFF", 8, 3, "71F", 2},             // pasted into the middle
        {"7FF", "7FFA", 4, 3, "7FF", 3},                 // typed at the limit: refused
        {"7FF", "7F", 2, 3, "7F", 2},                    // deleting
        {"1FFFFFFF", "1FFFFFF", 7, 3, "1FFFFFF", 7},     // the utility's longer text shrinks
        {"1FFFFFFF", "1FFFFFFF0", 9, 3, "1FFFFFFF", 8},  // and takes nothing new
    };
    for (const Case& c : cases) {
        const FittedChange fitted = FitToLimit(c.before, c.after, c.caret, c.limit);
        EXPECT_EQ(fitted.text, c.text) << c.before << " -> " << c.after;
        EXPECT_EQ(fitted.caret, c.fittedCaret) << c.before << " -> " << c.after;
    }
}

TEST(EditField, UpperCaseFieldsFilterWhatTheyShow) {
    std::vector<std::string> seen;
    EditField upper("", 8, "", ProbeFilter{&seen}, true);
    upper.UserChange("1fab");
    EXPECT_EQ(upper.Text(), "1FAB");
    upper.UserChange("ax");  // 'x' shows as the rejected 'X'
    EXPECT_EQ(upper.Text(), "1FAB");

    EditField plain("", 8, "", {});
    plain.UserChange("1fax");
    EXPECT_EQ(plain.Text(), "1fax");
    EXPECT_EQ(plain.LastAccepted(), "");  // no filter: everything stands, nothing is recorded
}

}  // namespace
}  // namespace b6409
