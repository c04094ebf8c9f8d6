#include "package/EntryName.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

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

#ifdef _WIN32

bool SystemCodePageRoundTrip(const PkgChar* name, size_t length, std::u16string* back)
{
    back->clear();
    if (length == 0)
    {
        return true;
    }
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(name);
    const int count = static_cast<int>(length);
    const int ansiSize = WideCharToMultiByte(CP_ACP, 0, wide, count, nullptr, 0, nullptr, nullptr);
    if (ansiSize <= 0)
    {
        return false;
    }
    std::string ansi(static_cast<size_t>(ansiSize), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, count, &ansi[0], ansiSize, nullptr, nullptr);
    const int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansiSize, nullptr, 0);
    if (size <= 0)
    {
        return false;
    }
    back->resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansiSize, reinterpret_cast<wchar_t*>(&(*back)[0]),
                        size);
    return true;
}

#else

bool SystemCodePageRoundTrip(const PkgChar* name, size_t length, std::u16string* back)
{
    iconv_t toCodePage = iconv_open("CP1252", "UTF-16LE");
    if (toCodePage == reinterpret_cast<iconv_t>(-1))
    {
        return false;
    }
    back->clear();
    for (size_t i = 0; i < length; ++i)
    {
        // One unit at a time: a unit the code page lacks (a surrogate among them)
        // becomes '?' and the rest still converts.
        char in[2] = {static_cast<char>(name[i] & 0xFF), static_cast<char>(name[i] >> 8)};
        char out[4];
        char* inNext = in;
        size_t inLeft = sizeof in;
        char* outNext = out;
        size_t outLeft = sizeof out;
        const bool held =
            iconv(toCodePage, &inNext, &inLeft, &outNext, &outLeft) != static_cast<size_t>(-1) &&
            outLeft == sizeof out - 1;
        back->push_back(held ? name[i] : u'?');
        iconv(toCodePage, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(toCodePage);
    return true;
}

#endif

bool IsAcceptedFileName(const PkgChar* name, size_t length, CodePageRoundTrip roundTrip)
{
    if (!IsSafeRelativePath(name, length))
    {
        return false;
    }
    std::u16string back;
    return roundTrip(name, length, &back) && IsSafeRelativePath(back.data(), back.size());
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
