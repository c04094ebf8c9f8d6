#include "install/WininitMerge.h"

#include <gtest/gtest.h>

namespace
{
using Lines = std::vector<std::string>;

const Lines kRenames = {"NUL=C:\\NIMBUS\\PROGRAMS\\SCROLL.EXE",
                        "C:\\NIMBUS\\PROGRAMS\\SCROLL.EXE=C:\\NIMBUS\\PROGRAMS\\$TMP0001.TMP"};

struct MergeCase
{
    const char* what;
    Lines before;
    Lines after;
};

TEST(WininitMergeTest, RenamesGoToTheEndOfTheRenameSection)
{
    const std::string a = kRenames[0], b = kRenames[1];
    const MergeCase cases[] = {
        {"no file: the section is made", {}, {"[rename]", a, b}},
        {"no section: appended at the end",
         {"[other]", "x=1"},
         {"[other]", "x=1", "[rename]", a, b}},
        {"other case and blanks around the header, blank line dropped before the next section",
         {"[boot]", "y=2", "  [Rename]\t", "NUL=C:\\OLD1", "C:\\T=C:\\S", "", "[next]", "z=3"},
         {"[boot]", "y=2", "  [Rename]\t", "NUL=C:\\OLD1", "C:\\T=C:\\S", a, b, "[next]", "z=3"}},
        {"blank-only lines inside the section go, untrimmed entries stay as they were",
         {"[RENAME]", "   ", " NUL=C:\\X ", "\t", "  [later]"},
         {"[RENAME]", " NUL=C:\\X ", a, b, "  [later]"}},
        {"section last in the file", {"[rename]", "NUL=C:\\X"}, {"[rename]", "NUL=C:\\X", a, b}},
        {"only the first rename section is used",
         {"[rename]", "[rename]", "k=v"},
         {"[rename]", a, b, "[rename]", "k=v"}},
        {"blank lines outside the section stay",
         {"", "[a]", "", "[rename]", "", ""},
         {"", "[a]", "", "[rename]", a, b}},
        {"a header with text after the bracket is not the section",
         {"[rename] x", "k=v"},
         {"[rename] x", "k=v", "[rename]", a, b}},
    };
    for (const MergeCase& c : cases)
    {
        Lines lines = c.before;
        WininitMerge::Merge(lines, kRenames);
        EXPECT_EQ(lines, c.after) << c.what;
    }
}

TEST(WininitMergeTest, LinesAreReadAsATextModeReadSeesThem)
{
    EXPECT_EQ(WininitMerge::SplitLines(""), Lines());
    EXPECT_EQ(WininitMerge::SplitLines("a\r\nb\r\n"), Lines({"a", "b"}));
    EXPECT_EQ(WininitMerge::SplitLines("a\nb"), Lines({"a", "b"}));
    EXPECT_EQ(WininitMerge::SplitLines("\r\n\r\nx"), Lines({"", "", "x"}));
    // A lone CR is kept; only CR LF pairs are folded.
    EXPECT_EQ(WininitMerge::SplitLines("a\rb\n"), Lines({"a\rb"}));
    // The text ends at a Ctrl-Z, so that nothing is placed where a reader stops.
    EXPECT_EQ(WininitMerge::SplitLines("[rename]\r\nNUL=C:\\X\r\n\x1A"),
              Lines({"[rename]", "NUL=C:\\X"}));
    EXPECT_EQ(WininitMerge::SplitLines("[rename]\r\nNUL=C:\\X\x1A\r\nlost"),
              Lines({"[rename]", "NUL=C:\\X"}));

    // A line longer than 1,023 characters comes out in 1,023-character pieces.
    const std::string longLine(2100, 'q');
    const Lines pieces = WininitMerge::SplitLines(longLine + "\r\nend\r\n");
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0], std::string(1023, 'q'));
    EXPECT_EQ(pieces[1], std::string(1023, 'q'));
    EXPECT_EQ(pieces[2], std::string(54, 'q'));
    EXPECT_EQ(pieces[3], "end");
}

TEST(WininitMergeTest, LinesAreWrittenWithLineBreaksAndRoundTrip)
{
    const Lines lines = {"[rename]", " NUL=C:\\X ", ""};
    const std::string text = WininitMerge::JoinLines(lines);
    EXPECT_EQ(text, "[rename]\r\n NUL=C:\\X \r\n\r\n");
    EXPECT_EQ(WininitMerge::SplitLines(text), lines);
}
} // namespace
