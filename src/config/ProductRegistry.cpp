#include "config/ProductRegistry.h"

#include "config/FontMappingSeed.h"
#include "config/RegistryKey.h"
#include "framework/Messages.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "package/BuildNumber.h"

const char* const CProductRegistry::kCompanyKey = "Software\\Pellmor";
const char* const CProductRegistry::kInstallKey = "Software\\Pellmor\\Prompter Install";
const char* const CProductRegistry::kTarpanKey = "Software\\Pellmor\\Tarpan";
const char* const CProductRegistry::kInstallPathValue = "Install Path";
const char* const CProductRegistry::kBuildNumberValue = "Build Number";

namespace
{
// Empties `path` and deletes it from `parent`: the NT family refuses to delete a key that
// still has subkeys. Opened with Create, so a missing key is made and removed again. Only
// the final deletion says whether the key is gone; a key that stays is told.
void RemoveKey(CRegistryKey& parent, const char* path, const char* name)
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, path);
    key.DeleteContents();
    key.Close();
    const LONG result = parent.DeleteSubKey(name);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    {
        Messages::Show(IDS_DELETE_KEY_FAILED, {std::string("HKEY_LOCAL_MACHINE\\") + path,
                                               SystemError::Text(static_cast<DWORD>(result))});
    }
}
} // namespace

CProductRegistry::CProductRegistry(const CSetupState& state) : m_state(state) {}

bool CProductRegistry::WriteProductRegistry(IProgressReport& progress)
{
    CFontMappingSeed seed;
    if (!seed.SeedFontMappings(progress))
    {
        return false;
    }
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, kInstallKey);
    LONG result = key.IsOpen() ? key.SetString(kInstallPathValue, m_state.m_strInstallPath)
                               : static_cast<LONG>(GetLastError());
    if (result == ERROR_SUCCESS)
    {
        result = key.SetDword(kBuildNumberValue, static_cast<DWORD>(KELVARIN_BUILD_NUMBER));
    }
    if (result != ERROR_SUCCESS)
    {
        Messages::Show(IDS_RECORD_FAILED, {SystemError::Text(static_cast<DWORD>(result))});
        return false;
    }
    return true;
}

void CProductRegistry::RemoveProductRegistry()
{
    CRegistryKey parent;
    parent.Create(HKEY_LOCAL_MACHINE, kCompanyKey);
    RemoveKey(parent, kInstallKey, "Prompter Install");
    RemoveKey(parent, kTarpanKey, "Tarpan");
}
