#include "framework/SystemError.h"

namespace SystemError
{
std::string Text(DWORD code)
{
    char buffer[4096] = "";
    // Some system texts hold inserts of their own; without IGNORE_INSERTS the call
    // fails for them and the user would read an empty reason.
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof(buffer), nullptr);
    return std::string(buffer, length < sizeof(buffer) ? length : 0);
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
