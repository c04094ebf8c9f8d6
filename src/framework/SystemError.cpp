#include "framework/SystemError.h"

#include <cstdio>

namespace SystemError
{
std::string Text(DWORD code)
{
    char buffer[4096] = "";
    // Some system texts hold inserts of their own; without IGNORE_INSERTS the call
    // fails for them and the user would read an empty reason.
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof(buffer), nullptr);
    if (length > 0 && length < sizeof(buffer))
    {
        return std::string(buffer, length);
    }
    // A code the system has no text for (or a text it cannot give now) is still a reason:
    // the user reads its number rather than nothing.
    std::snprintf(buffer, sizeof(buffer),
                  (code & 0x80000000u) ? "Error 0x%08lX.\r\n" : "Error %lu.\r\n",
                  static_cast<unsigned long>(code));
    return buffer;
}

std::string LastErrorText()
{
    return Text(GetLastError());
}

std::string ComErrorText(HRESULT hr)
{
    const DWORD code = GetLastError();
    return Text(code != ERROR_SUCCESS ? code : static_cast<DWORD>(hr));
}
} // namespace SystemError
