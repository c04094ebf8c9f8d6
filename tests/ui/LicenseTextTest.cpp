#include "ui/LicenseText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace
{
struct VisibleCase
{
    const char* name;
    std::string data;
    std::size_t size; // bytes the resource holds; may be fewer than `data`
    std::string shown;
};

class VisiblePartTest : public ::testing::TestWithParam<VisibleCase>
{
};

TEST_P(VisiblePartTest, ShowsTheTextBeforeTheMarkerWithinTheSize)
{
    const VisibleCase& c = GetParam();
    EXPECT_EQ(LicenseText::VisiblePart(c.data.data(), c.size), c.shown);
}

const std::string kText = "Terms\r\nMore terms\r\n!!\r\nEditors' note\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, VisiblePartTest,
    ::testing::Values(
        VisibleCase{"MarkerEndsTheText", kText, kText.size(), "Terms\r\nMore terms\r\n"},
        VisibleCase{"FirstMarkerWins", "a!!b!!c", 7, "a"},
        VisibleCase{"SingleBangIsText", "Stop! Go!!", 10, "Stop! Go"},
        VisibleCase{"NoMarkerShowsAll", "just text", 9, "just text"},
        VisibleCase{"MarkerAtStartShowsNothing", "!!note", 6, ""},
        VisibleCase{"EmptyResource", "", 0, ""},
        // A marker beyond the resource's end must not be searched for, nor may a
        // lone '!' at the last byte look at the byte after it.
        VisibleCase{"SizeCutsBeforeMarker", "abc!!def", 3, "abc"},
        VisibleCase{"HalfMarkerAtTheEnd", "abc!!def", 4, "abc!"},
        VisibleCase{"ZeroBytesAreText", std::string("a\0b!!", 5), 5, std::string("a\0b", 3)}),
    [](const ::testing::TestParamInfo<VisibleCase>& info) { return info.param.name; });

TEST(VisiblePartTest, NoDataShowsNothing)
{
    EXPECT_EQ(LicenseText::VisiblePart(nullptr, 10), "");
}

// The shipped agreements keep the format the dialog relies on: 8-bit text, CR LF
// lines of at most 90 characters, the marker on a line followed by a one-line note.
class ShippedAgreementTest : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ShippedAgreementTest, KeepsTheResourceFormat)
{
    std::ifstream in(std::string(KELVARIN_LICENSE_DIR "/") + GetParam(), std::ios::binary);
    ASSERT_TRUE(in) << GetParam();
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const std::string shown = LicenseText::VisiblePart(text.data(), text.size());
    ASSERT_LT(shown.size(), text.size()) << "no marker";
    EXPECT_GT(shown.size(), 500u);
    EXPECT_EQ(text.compare(shown.size(), 4, "!!\r\n"), 0) << "marker not on a line of its own";
    const std::string note = text.substr(shown.size() + 4);
    EXPECT_FALSE(note.empty());
    EXPECT_EQ(note.find("\r\n"), note.size() - 2) << "the note is one line";

    std::string::size_type lineStart = 0;
    for (std::string::size_type i = 0; i < text.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        ASSERT_NE(c, 0) << "no zero bytes";
        ASSERT_LT(c, 0x80) << "pure ASCII at " << i;
        if (c == '\n')
        {
            ASSERT_GT(i, 0u);
            ASSERT_EQ(text[i - 1], '\r') << "bare LF at " << i;
            EXPECT_LE(i - 1 - lineStart, 90u) << "line too long at " << i;
            lineStart = i + 1;
        }
        else if (c == '\r')
        {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    EXPECT_EQ(lineStart, text.size()) << "the last line ends with CR LF";
}

INSTANTIATE_TEST_SUITE_P(Editions, ShippedAgreementTest,
                         ::testing::Values("LicenseArdent.txt", "LicenseBrisk.txt"));
} // namespace
