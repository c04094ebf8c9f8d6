#include "package/EntryName.h"

namespace EntryName
{

namespace
{
bool IsSeparator(PkgChar c)
{
    return c == u'\\' || c == u'/';
}

bool IsForbidden(PkgChar c)
{
    if (c < 0x20 || c == 0x7F)
    {
        return true;
    }
    switch (c)
    {
    case u'<':
    case u'>':
    case u':':
    case u'"':
    case u'|':
    case u'?':
    case u'*':
        return true;
    default:
        return false;
    }
}

PkgChar AsciiUpper(PkgChar c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<PkgChar>(c - 32) : c;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 open devices on Windows, with or
// without an extension.
bool IsDeviceName(const PkgChar* segment, size_t length)
{
    size_t stem = 0;
    while (stem < length && segment[stem] != u'.')
    {
        ++stem;
    }
    while (stem > 0 && segment[stem - 1] == u' ')
    {
        --stem;
    }
    auto is = [&](const char* word)
    {
        size_t n = 0;
        while (word[n] != '\0')
        {
            ++n;
        }
        if (n != stem)
        {
            return false;
        }
        for (size_t i = 0; i < n; ++i)
        {
            if (AsciiUpper(segment[i]) != static_cast<PkgChar>(word[i]))
            {
                return false;
            }
        }
        return true;
    };
    if (is("CON") || is("PRN") || is("AUX") || is("NUL"))
    {
        return true;
    }
    if (stem == 4 && segment[3] >= u'1' && segment[3] <= u'9')
    {
        PkgChar a = AsciiUpper(segment[0]), b = AsciiUpper(segment[1]), c = AsciiUpper(segment[2]);
        return (a == u'C' && b == u'O' && c == u'M') || (a == u'L' && b == u'P' && c == u'T');
    }
    return false;
}
} // namespace

size_t Length(const PkgChar* name)
{
    size_t n = 0;
    while (name[n] != 0)
    {
        ++n;
    }
    return n;
}

bool IsSafeRelativePath(const PkgChar* name, size_t length)
{
    if (name == nullptr || length == 0 || length > kMaxLength)
    {
        return false;
    }
    size_t start = 0;
    while (start <= length)
    {
        size_t end = start;
        while (end < length && !IsSeparator(name[end]))
        {
            if (IsForbidden(name[end]))
            {
                return false;
            }
            ++end;
        }
        size_t segment = end - start;
        // Catches leading and doubled separators, a trailing one, "." and "..".
        if (segment == 0)
        {
            return false;
        }
        PkgChar last = name[end - 1];
        if (last == u'.' || last == u' ')
        {
            return false;
        }
        if (IsDeviceName(name + start, segment))
        {
            return false;
        }
        start = end + 1;
    }
    return true;
}

PkgChar FoldCase(PkgChar c)
{
    if (c < 0x80)
    {
        return AsciiUpper(c);
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
    {
        return static_cast<PkgChar>(c - 0x20);
    }
    if (c == 0xFF)
    {
        return 0x178;
    }
    // Latin Extended-A pairs upper and lower case on neighbouring code points.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    {
        return static_cast<PkgChar>(c & ~1u);
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    {
        return (c & 1u) ? c : static_cast<PkgChar>(c - 1);
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
    {
        return static_cast<PkgChar>(c - 0x20);
    }
    if (c >= 0x430 && c <= 0x44F)
    {
        return static_cast<PkgChar>(c - 0x20);
    }
    if (c >= 0x450 && c <= 0x45F)
    {
        return static_cast<PkgChar>(c - 0x50);
    }
    return c;
}

bool EqualNoCase(const PkgChar* a, size_t aLength, const PkgChar* b, size_t bLength)
{
    if (aLength != bLength)
    {
        return false;
    }
    for (size_t i = 0; i < aLength; ++i)
    {
        if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i]))
        {
            return false;
        }
    }
    return true;
}

} // namespace EntryName
