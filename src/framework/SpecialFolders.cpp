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

namespace
{
// The reason's text is taken before any release can change the code it comes from.
template <typename Path> bool Locate(int csidl, Path& path, std::string* error, HRESULT* result)
{
    CComPtr<IMalloc> allocator;
    HRESULT hr = SHGetMalloc(allocator.Receive());
    if (SUCCEEDED(hr))
    {
        CItemIdList list(allocator.Get());
        hr = SHGetSpecialFolderLocation(nullptr, csidl, list.Receive());
        SetLastError(ERROR_SUCCESS);
        if (SUCCEEDED(hr) && list.GetPath(path))
        {
            return true;
        }
        // A folder without a path answers with no error of its own.
        const DWORD error = GetLastError();
        hr = FAILED(hr) ? hr : error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (result)
    {
        *result = hr;
    }
    if (error)
    {
        *error = SystemError::ComErrorText(hr);
    }
    return false;
}
} // namespace

bool Find(int csidl, std::string& path, HRESULT* result)
{
    return Locate(csidl, path, nullptr, result);
}

bool Find(int csidl, std::u16string& path, HRESULT* result)
{
    return Locate(csidl, path, nullptr, result);
}

std::string GetPath(int csidl)
{
    // The shell's calls answer by HRESULT and may leave the last error as it was: it is
    // cleared first, so that a stale success never stands for their reason.
    SetLastError(ERROR_SUCCESS);
    std::string error;
    std::string path;
    if (!Locate(ForFamily(csidl, Platform::IsWindowsNT()), path, &error, nullptr))
    {
        Messages::ShowText(error);
        return std::string();
    }
    return path;
}
} // namespace SpecialFolders
