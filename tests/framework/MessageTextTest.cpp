#include "framework/MessageText.h"

#include <gtest/gtest.h>

namespace
{
struct FillCase
{
    const char* text;
    std::vector<std::string> args;
    const char* expected;
};

TEST(MessageText, FillsPlaceholdersInOnePass)
{
    const FillCase cases[] = {
        // A reason's line break stands in no box, nor does a second full stop.
        {"Failed to create the directory \"%1\" because %2",
         {"C:\\A", "gone\r\n"},
         "Failed to create the directory \"C:\\A\" because gone"},
        {"Unable to delete \"%1\" because %2.",
         {"C:\\A.", "Not empty. \r\n"},
         "Unable to delete \"C:\\A.\" because Not empty."},
        {"holds - %2\nUninstalling %1.",
         {"C:\\A.", "Denied.\r\n"},
         "holds - Denied.\nUninstalling C:\\A.."},
        // Order of use differs from order of arguments.
        {"%1 old %4 %5 new %2 %3", {"f", "2", "3", "4", "5"}, "f old 4 5 new 2 3"},
        {"%1 and %1", {"x"}, "x and x"},
        // A path that itself holds a placeholder is not substituted again.
        {"\"%1\" because %2", {"C:\\100%2", "denied"}, "\"C:\\100%2\" because denied"},
        // Missing arguments leave nothing behind; other percent signs stay.
        {"a %2 b", {"only"}, "a  b"},
        {"50%% done, %x, trailing %", {}, "50%% done, %x, trailing %"},
        {"", {"unused"}, ""},
    };
    for (const FillCase& c : cases)
    {
        EXPECT_EQ(MessageText::Fill(c.text, c.args), c.expected) << c.text;
    }
}
} // namespace
