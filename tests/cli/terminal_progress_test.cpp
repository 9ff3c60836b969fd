#include "cli/terminal_progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/ctl_runner.h"

namespace b6409 {
namespace {

// The bar and the messages share the terminal: a message after the bar starts a line of its own.
TEST(TerminalProgress, AMessageAfterTheBarStartsItsOwnLine) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* terminal = open_memstream(&text, &size);
    ASSERT_NE(terminal, nullptr);
    {
        TerminalProgress bar(terminal);
        StreamMessageSink lines(terminal, terminal);
        AfterProgressSink sink(lines, bar);
        bar.SetRange(0, 4);
        for (int position = 0; position < 4; ++position) bar.SetPos(position);
        sink.Show("Set CAN1-ID Filter OK !", MessageIcon::None);
        sink.Show("File Saved OK !!", MessageIcon::None);
    }
    std::fclose(terminal);
    const std::string shown(text, size);
    std::free(text);
    EXPECT_NE(shown.find("] 100%\nSet CAN1-ID Filter OK !\nFile Saved OK !!\n"), std::string::npos)
        << shown;
}

}  // namespace
}  // namespace b6409
