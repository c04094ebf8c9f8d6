// Which file names the setup writes: the shared decision and this system's
// code-page round trip.

#include <gtest/gtest.h>

#include <string>

#include "package/EntryName.h"

namespace
{

// A code page with the best fits that matter here: full-width dot, backslash and
// slash become ASCII, Cyrillic has no place, and U+FFFF cannot be converted at all.
bool FakeRoundTrip(const PkgChar* name, size_t length, std::u16string* back)
{
    back->clear();
    for (size_t i = 0; i < length; ++i)
    {
        switch (name[i])
        {
        case 0xFF0E:
            back->push_back(u'.');
            break;
        case 0xFF3C:
            back->push_back(u'\\');
            break;
        case 0xFF0F:
            back->push_back(u'/');
            break;
        case 0xFFFF:
            return false;
        default:
            back->push_back(name[i] >= 0x400 && name[i] < 0x500 ? u'?' : name[i]);
        }
    }
    return true;
}

std::string Shown(const std::u16string& name)
{
    std::string out;
    for (char16_t c : name)
    {
        out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "U+" + std::to_string(c);
    }
    return out;
}

} // namespace

TEST(EntryNameAccept, SafeAsStoredAndOnceConverted)
{
    const struct
    {
        std::u16string name;
        bool accepted;
    } cases[] = {
        {u"Setup.ini", true},
        {u"bin\\Prompter.exe", true},
        {u"\u00C4rger.txt", true},
        {u"a\uFF0Fb.txt", true},  // a folder once converted, still inside
        {u"\uFF0Eprofile", true}, // ".profile" is a plain name
        {u"..\\evil.txt", false}, // unsafe as stored
        {u"C:\\evil.txt", false}, // unsafe as stored
        {u"\uFF0E\uFF0E\uFF3Cevil.txt", false},
        {u"sub\\\uFF0E\uFF0E", false},
        {u"name\uFF0E", false},  // a trailing dot once converted
        {u"\u0436.txt", false},  // '?' once converted
        {u"x\uFFFF.txt", false}, // no form in the code page
        {u"", false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(EntryName::IsAcceptedFileName(c.name.c_str(), c.name.size(), FakeRoundTrip),
                  c.accepted)
            << Shown(c.name);
    }
}

TEST(EntryNameAccept, ThisSystemsRoundTrip)
{
    const std::u16string plain = u"Programs\\Scroll NT.exe";
    std::u16string back;
    ASSERT_TRUE(EntryName::SystemCodePageRoundTrip(plain.c_str(), plain.size(), &back));
    EXPECT_EQ(back, plain);
    EXPECT_TRUE(EntryName::IsAcceptedFileName(plain.c_str(), plain.size(),
                                              EntryName::SystemCodePageRoundTrip));
    const std::u16string unsafe = u"a\\..\\..\\x.txt";
    EXPECT_FALSE(EntryName::IsAcceptedFileName(unsafe.c_str(), unsafe.size(),
                                               EntryName::SystemCodePageRoundTrip));
#ifndef _WIN32
    // Away from Windows the round trip is code page 1252's: Latin-1 and the
    // typographic marks stay, anything else becomes '?'.
    const struct
    {
        std::u16string name;
        std::u16string back;
    } cases[] = {
        {u"\u00C4rger \u20AC\u2019s.txt", u"\u00C4rger \u20AC\u2019s.txt"},
        {u"\uFF0E\uFF0E\uFF3Cevil.txt", u"???evil.txt"},
        {u"\u0436.txt", u"?.txt"},
        {u"\U0001F600.txt", u"??.txt"},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(EntryName::SystemCodePageRoundTrip(c.name.c_str(), c.name.size(), &back));
        EXPECT_EQ(back, c.back) << Shown(c.name);
    }
#endif
}
