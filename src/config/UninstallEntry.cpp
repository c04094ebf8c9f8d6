#include "config/UninstallEntry.h"

#include "config/RegistryKey.h"
#include "framework/Messages.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "package/BuildNumber.h"

#include <cstdio>

namespace UninstallEntry
{
const char* const kParentKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kName = "Pellmor Kelvarin";

Values For(const CSetupState& state, bool windowsNT, const std::string& setupCopy,
           uint64_t treeBytes, const SYSTEMTIME& today)
{
    Values values;
    values.displayName =
        Messages::LoadText(state.IsArdent() ? IDS_ENTRY_NAME_ARDENT : IDS_ENTRY_NAME_BRISK);
    values.displayVersion = std::to_string(KELVARIN_BUILD_NUMBER);
    values.publisher = Messages::LoadText(IDS_ENTRY_PUBLISHER);
    values.installLocation = state.m_strInstallPath;
    std::string folder = state.m_strInstallPath;
    while (!folder.empty() && folder.back() == '\\')
    {
        folder.pop_back();
    }
    values.displayIcon =
        folder + "\\Programs\\" + (windowsNT ? "ScrollNT.Exe" : "Scroll95.Exe") + ",0";
    values.uninstallString = "\"" + setupCopy + "\"";
    const uint64_t kb = (treeBytes + 1023) / 1024;
    values.estimatedSizeKb = kb > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kb);
    char date[16];
    std::snprintf(date, sizeof(date), "%04u%02u%02u", static_cast<unsigned>(today.wYear) % 10000,
                  static_cast<unsigned>(today.wMonth) % 100,
                  static_cast<unsigned>(today.wDay) % 100);
    values.installDate = date;
    return values;
}

bool Write(const Values& values)
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, std::string(kParentKey) + "\\" + kName);
    LONG result = key.IsOpen() ? ERROR_SUCCESS : static_cast<LONG>(GetLastError());
    const std::pair<const char*, const std::string*> texts[] = {
        {"DisplayName", &values.displayName}, {"DisplayVersion", &values.displayVersion},
        {"Publisher", &values.publisher},     {"InstallLocation", &values.installLocation},
        {"DisplayIcon", &values.displayIcon}, {"UninstallString", &values.uninstallString},
        {"InstallDate", &values.installDate},
    };
    for (const auto& [name, text] : texts)
    {
        result = result == ERROR_SUCCESS ? key.SetString(name, *text) : result;
    }
    const std::pair<const char*, DWORD> numbers[] = {
        {"NoModify", 1}, {"NoRepair", 1}, {"EstimatedSize", values.estimatedSizeKb}};
    for (const auto& [name, number] : numbers)
    {
        result = result == ERROR_SUCCESS ? key.SetDword(name, number) : result;
    }
    if (result != ERROR_SUCCESS)
    {
        Messages::Show(IDS_RECORD_FAILED, {SystemError::Text(static_cast<DWORD>(result))});
        return false;
    }
    return true;
}

void Remove()
{
    CRegistryKey parent;
    if (!parent.Open(HKEY_LOCAL_MACHINE, kParentKey))
    {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
        {
            Messages::Show(IDS_DELETE_KEY_FAILED,
                           {std::string("HKEY_LOCAL_MACHINE\\") + kParentKey + "\\" + kName,
                            SystemError::Text(error)});
        }
        return;
    }
    const LONG result = parent.DeleteSubKey(kName);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    {
        Messages::Show(IDS_DELETE_KEY_FAILED,
                       {std::string("HKEY_LOCAL_MACHINE\\") + kParentKey + "\\" + kName,
                        SystemError::Text(static_cast<DWORD>(result))});
    }
}

std::string InstallLocation()
{
    CRegistryKey key;
    std::string folder;
    if (!key.Open(HKEY_LOCAL_MACHINE, std::string(kParentKey) + "\\" + kName, KEY_QUERY_VALUE) ||
        !key.QueryString("InstallLocation", folder))
    {
        folder.clear();
    }
    return folder;
}
} // namespace UninstallEntry
