#include "config/ProductRegistry.h"

#include "config/FontMappingSeed.h"
#include "config/RegistryKey.h"
#include "framework/SetupState.h"
#include "package/BuildNumber.h"

const char* const CProductRegistry::kCompanyKey = "Software\\Pellmor";
const char* const CProductRegistry::kInstallKey = "Software\\Pellmor\\Prompter Install";
const char* const CProductRegistry::kTarpanKey = "Software\\Pellmor\\Tarpan";
const char* const CProductRegistry::kInstallPathValue = "Install Path";
const char* const CProductRegistry::kBuildNumberValue = "Build Number";

namespace
{
// Empties `path` and deletes it from `parent`: the NT family refuses to delete a key that
// still has subkeys. Opened with Create, so a missing key is made and removed again.
void RemoveKey(CRegistryKey& parent, const char* path, const char* name)
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, path);
    key.DeleteContents();
    key.Close();
    parent.DeleteSubKey(name);
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
    key.SetString(kInstallPathValue, m_state.m_strInstallPath);
    key.SetDword(kBuildNumberValue, static_cast<DWORD>(KELVARIN_BUILD_NUMBER));
    return true;
}

void CProductRegistry::RemoveProductRegistry()
{
    CRegistryKey parent;
    parent.Create(HKEY_LOCAL_MACHINE, kCompanyKey);
    RemoveKey(parent, kInstallKey, "Prompter Install");
    RemoveKey(parent, kTarpanKey, "Tarpan");
}
