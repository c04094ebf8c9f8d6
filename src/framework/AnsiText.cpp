#include "framework/AnsiText.h"

#include <windows.h>

namespace AnsiText
{
bool Widen(const std::string& text, std::u16string& wide)
{
    wide.clear();
    if (text.empty())
    {
        return true;
    }
    const int count = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), count, nullptr, 0);
    if (size <= 0)
    {
        return false;
    }
    std::u16string converted(static_cast<size_t>(size), u'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), count,
                            reinterpret_cast<wchar_t*>(&converted[0]), size) != size)
    {
        return false;
    }
    wide.swap(converted);
    return true;
}

bool Narrow(const char16_t* text, size_t length, std::string& ansi)
{
    ansi.clear();
    if (length == 0)
    {
        return true;
    }
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
    const int count = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
    {
        return false;
    }
    std::string converted(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, wide, count, &converted[0], size, nullptr, nullptr) != size)
    {
        return false;
    }
    ansi.swap(converted);
    return true;
}
} // namespace AnsiText
