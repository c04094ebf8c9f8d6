#include "install/PathNames.h"

#include <vector>

namespace PathNames
{
namespace
{
bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

bool StartsWith(const std::u16string& text, const std::u16string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsDriveLetter(const std::u16string& text)
{
    return text.size() >= 2 && text[1] == u':' &&
           ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'));
}

// Splits off the root the path starts with ("C:", "\\SERVER\SHARE", or nothing for a
// relative path) and returns where its names begin.
std::u16string::size_type SplitRoot(const std::u16string& path, std::u16string& root)
{
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
    {
        // \\server\share: both names belong to the root.
        std::u16string::size_type at = 2;
        root = u"\\\\";
        for (int part = 0; part < 2; ++part)
        {
            while (at < path.size() && IsSeparator(path[at]))
            {
                ++at;
            }
            const std::u16string::size_type start = at;
            while (at < path.size() && !IsSeparator(path[at]))
            {
                ++at;
            }
            root += path.substr(start, at - start);
            if (part == 0)
            {
                root += u'\\';
            }
        }
        return at;
    }
    if (IsDriveLetter(path))
    {
        root = path.substr(0, 2);
        return 2;
    }
    root.clear();
    return 0;
}
} // namespace

char16_t UpperCase(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
    {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0x3C2) // final sigma
    {
        return 0x3A3;
    }
    if (c == 0xFF)
    {
        return 0x178;
    }
    if (c >= 0x450 && c <= 0x45F)
    {
        return static_cast<char16_t>(c - 0x50);
    }
    // Latin Extended-A pairs its letters upper then lower, with two runs the other way.
    const bool oddLower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool evenLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((oddLower && (c & 1) == 1) || (evenLower && (c & 1) == 0))
    {
        return static_cast<char16_t>(c - 1);
    }
    return c;
}

std::u16string Canonical(const std::u16string& path)
{
    std::u16string text = path;
    for (char16_t& c : text)
    {
        if (c == u'/')
        {
            c = u'\\';
        }
    }
    // The system's own prefixes: "\??\C:\x", "\\?\C:\x", "\??\UNC\server\share".
    for (const std::u16string prefix : {u"\\??\\", u"\\\\?\\"})
    {
        if (StartsWith(text, prefix))
        {
            text.erase(0, prefix.size());
            std::u16string upper;
            for (char16_t c : text.substr(0, 4))
            {
                upper += UpperCase(c);
            }
            if (upper == u"UNC\\")
            {
                text.replace(0, 3, u"\\");
            }
            break;
        }
    }

    std::u16string root;
    std::u16string::size_type at = SplitRoot(text, root);
    std::vector<std::u16string> names;
    while (at < text.size())
    {
        while (at < text.size() && IsSeparator(text[at]))
        {
            ++at;
        }
        const std::u16string::size_type start = at;
        while (at < text.size() && !IsSeparator(text[at]))
        {
            ++at;
        }
        std::u16string name = text.substr(start, at - start);
        // Only a path that ends in a name loses all of that name's trailing dots and blanks.
        const bool last = at >= text.size();
        if (name.empty() || name == u".")
        {
            continue;
        }
        if (name == u"..")
        {
            if (!names.empty())
            {
                names.pop_back();
            }
            continue;
        }
        if (last)
        {
            name.erase(name.find_last_not_of(u". ") + 1);
        }
        else if (name.back() == u'.')
        {
            name.pop_back();
        }
        if (!name.empty())
        {
            names.push_back(name);
        }
    }

    std::u16string result = root;
    for (const std::u16string& name : names)
    {
        result += u'\\';
        result += name;
    }
    if (result.empty() && !text.empty() && IsSeparator(text[0]))
    {
        result = u"\\";
    }
    for (char16_t& c : result)
    {
        c = UpperCase(c);
    }
    return result;
}

bool SameFile(const std::u16string& a, const std::u16string& b)
{
    return Canonical(a) == Canonical(b);
}

bool IsSameOrBelow(const std::u16string& path, const std::u16string& folder)
{
    const std::u16string p = Canonical(path);
    const std::u16string f = Canonical(folder);
    if (f.empty())
    {
        return false;
    }
    if (p == f)
    {
        return true;
    }
    // A root ("C:" or "\\SERVER\SHARE") holds everything that starts with it.
    return p.size() > f.size() && StartsWith(p, f) && (p[f.size()] == u'\\' || f.back() == u'\\');
}
} // namespace PathNames
