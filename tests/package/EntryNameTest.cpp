#include <gtest/gtest.h>

#include <string>

#include "package/EntryName.h"

TEST(EntryName, SafeRelativePaths)
{
    const struct
    {
        std::u16string name;
        bool safe;
    } cases[] = {
        {u"Setup.ini", true},
        {u"bin\\Prompter.exe", true},
        {u"a/b/c.txt", true},
        {u"dir", true},
        {u".hidden", true},
        {u"a..b", true},
        {u"\u00C4rger\\\u0436.txt", true},
        {u"", false},
        {u"\\abs", false},
        {u"/abs", false},
        {u"\\\\server\\share\\x", false},
        {u"C:\\x", false},
        {u"C:x", false},
        {u"file:stream", false},
        {u"..", false},
        {u"..\\x", false},
        {u"a\\..\\..\\x", false},
        {u"a/../x", false},
        {u".", false},
        {u"a\\.\\b", false},
        {u"a\\\\b", false},
        {u"a\\", false},
        {u"a/", false},
        {u"...", false},
        {u"a\\.. ", false},
        {u"name.", false},
        {u"name ", false},
        {u"CON", false},
        {u"dir\\nul.txt", false},
        {u"com1", false},
        {u"LPT9.log", false},
        {u"COM10", true},
        {u"CONSOLE", true},
        {u"a\tb", false},
        {u"a*b", false},
        {u"a?b", false},
        {u"a|b", false},
        {u"a\"b", false},
        {u"a<b", false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(EntryName::IsSafeRelativePath(c.name.c_str(), c.name.size()), c.safe)
            << std::string(c.name.begin(), c.name.end());
    }
}

TEST(EntryName, LengthLimit)
{
    std::u16string name(1023, u'a');
    EXPECT_TRUE(EntryName::IsSafeRelativePath(name.c_str(), name.size()));
    name.push_back(u'a');
    EXPECT_FALSE(EntryName::IsSafeRelativePath(name.c_str(), name.size()));
    EXPECT_FALSE(EntryName::IsSafeRelativePath(nullptr, 0));
}

TEST(EntryName, CaseFolding)
{
    const struct
    {
        char16_t a;
        char16_t b;
        bool equal;
    } cases[] = {
        {u'a', u'A', true},   {u'z', u'Z', true},   {u'@', u'`', false},  {u'[', u'{', false},
        {0xE4, 0xC4, true},   {0xF7, 0xD7, false},  {0xFF, 0x178, true},  {0x101, 0x100, true},
        {0x13A, 0x139, true}, {0x17E, 0x17D, true}, {0x131, u'I', false}, {0x3B1, 0x391, true},
        {0x436, 0x416, true}, {0x451, 0x401, true}, {u'1', u'1', true},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(EntryName::EqualNoCase(&c.a, 1, &c.b, 1), c.equal) << int(c.a) << " " << int(c.b);
    }
    EXPECT_FALSE(EntryName::EqualNoCase(u"ab", 2, u"a", 1));
}
