#include "builder/list_file.h"

#include <gtest/gtest.h>

namespace builder {
namespace {

TEST(ListFileTest, NamesDatesAndEscapes) {
    EXPECT_EQ(ListFileNameFor(7), "$(QVTEMP)\\OL000007.htm");
    EXPECT_EQ(ListFileNameFor(4711), "$(QVTEMP)\\OL004711.htm");
    EXPECT_EQ(ListFileNameFor(32767), "$(QVTEMP)\\OL032767.htm");
    EXPECT_EQ(ListFileNameFor(99999), "$(QVTEMP)\\OL099999.htm");

    // Month first, the year with all its digits, three spaces after the title.
    EXPECT_EQ(StartedLine({2026, 1, 3, 9, 5, 0}),
              "Talvo Ordelin Utility Version 13.00   01/03/2026 09:05");
    EXPECT_EQ(StartedLine({2026, 12, 6, 14, 27, 59}),
              "Talvo Ordelin Utility Version 13.00   12/06/2026 14:27");
    EXPECT_EQ(CompletedLine(0, {2026, 1, 3, 0, 0, 0}), "Records written: 0, Time completed: 00:00");

    EXPECT_EQ(EscapeHtml("R&D <\"x\"> 'ok'"), "R&amp;D &lt;&quot;x&quot;&gt; 'ok'");
    EXPECT_EQ(EscapeHtml("&amp;"), "&amp;amp;");  // escaped once more: it was a name

    const NotWrittenRecord record{17, {0x41, 0x00, 0xFF}, "the key <41> is taken"};
    EXPECT_EQ(NotWrittenLine(record, false), "Record 17, key 4100FF: the key &lt;41&gt; is taken");
    EXPECT_EQ(NotWrittenLine(record, true),
              "Place 17 in key order, key 4100FF: the key &lt;41&gt; is taken");
}

}  // namespace
}  // namespace builder
