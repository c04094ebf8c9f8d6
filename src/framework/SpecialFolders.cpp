#include "framework/SpecialFolders.h"

#include "framework/ItemIdList.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SystemError.h"

namespace SpecialFolders
{
int ForFamily(int csidl, bool windowsNT)
{
    if (windowsNT)
    {
        return csidl;
    }
    switch (csidl)
    {
    case CSIDL_COMMON_STARTMENU:
        return CSIDL_STARTMENU;
    case CSIDL_COMMON_PROGRAMS:
        return CSIDL_PROGRAMS;
    case CSIDL_COMMON_STARTUP:
        return CSIDL_STARTUP;
    case CSIDL_COMMON_DESKTOPDIRECTORY:
        return CSIDL_DESKTOPDIRECTORY;
    default:
        return csidl;
    }
}

bool Find(int csidl, std::string& path)
{
    CComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Receive())))
    {
        return false;
    }
    CItemIdList list(allocator.Get());
    return SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, list.Receive())) &&
           list.GetPath(path);
}

std::string GetPath(int csidl)
{
    csidl = ForFamily(csidl, Platform::IsWindowsNT());
    // The error text is taken before any release can change the code it comes from.
    std::string error;
    std::string path;
    bool found = false;
    {
        // The shell's calls answer by HRESULT and may leave the last error as it was: it
        // is cleared first, so that a stale success never stands for their reason.
        SetLastError(ERROR_SUCCESS);
        CComPtr<IMalloc> allocator;
        HRESULT hr = SHGetMalloc(allocator.Receive());
        if (FAILED(hr))
        {
            error = SystemError::ComErrorText(hr);
        }
        else
        {
            CItemIdList list(allocator.Get());
            hr = SHGetSpecialFolderLocation(nullptr, csidl, list.Receive());
            found = SUCCEEDED(hr) && list.GetPath(path);
            if (!found)
            {
                error = SystemError::ComErrorText(FAILED(hr) ? hr : E_FAIL);
            }
        }
    }
    if (!found)
    {
        Messages::ShowText(error);
        return std::string();
    }
    return path;
}
} // namespace SpecialFolders
