#include "framework/Platform.h"

namespace Platform
{
OSVERSIONINFOA QueryVersion()
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
    {
        ExitProcess(kExitNoPlatformVersion);
    }
    return info;
}

bool IsWindowsNT()
{
    return QueryVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

} // namespace Platform
