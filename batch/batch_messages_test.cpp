#include "batch/batch_messages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace batch {
namespace {

TEST(BatchMessages, EveryBoxIsOneLineWithItsBreaksAsSpaces) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"7 records were written", "7 records were written"},
        {"The following Talvo error occurred:\n\nno such file\n",
         "The following Talvo error occurred: no such file"},
        {"a\r\nb\n\n\nc", "a b c"},
        {"\n", ""},
        {"trailing   ", "trailing"},
    };
    for (const auto& [text, line] : cases) EXPECT_EQ(OneLine(text), line);
}

TEST(BatchMessages, TheLogAnnouncesKeepsAndEndsTheLineBeforeIt) {
    std::ostringstream err;
    BoxLog log(err);
    int ended = 0;
    log.SetBeforeLine([&] {
        ++ended;
        err << "|";
    });
    BoxLogSink sink(log);
    EXPECT_EQ(sink.Show("Ordelin", "Overwrite existing \"X\"?", 0x24), platform::IDNO);
    EXPECT_EQ(sink.Show("Ordelin", "Failed:\nwhy", 0x10), platform::IDOK);
    log.Say("a line of the program's own");
    EXPECT_EQ(err.str(),
              "|ordelin-batch: Overwrite existing \"X\"?\n|ordelin-batch: Failed: why\n"
              "|ordelin-batch: a line of the program's own\n");
    EXPECT_EQ(ended, 3);
    EXPECT_EQ(log.Boxes(),
              (std::vector<ShownBox>{{"Overwrite existing \"X\"?", 0x24}, {"Failed:\nwhy", 0x10}}));
}

}  // namespace
}  // namespace batch
