#include "install/TempFileRecord.h"

#include "config/ProductRegistry.h"
#include "config/RegistryKey.h"

namespace TempFileRecord
{
namespace
{
// A subkey of the product's own, so that the uninstall removes it with the rest.
std::string RecordKey()
{
    return std::string(CProductRegistry::kInstallKey) + "\\Temporary Files";
}
} // namespace

void Add(const std::string& path)
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, RecordKey());
    key.SetString(path, std::string());
}

void Remove(const std::string& path)
{
    CRegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, RecordKey()))
    {
        key.DeleteValue(path);
    }
}

std::vector<std::string> Paths()
{
    std::vector<std::string> paths;
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, RecordKey()))
    {
        return paths;
    }
    std::string name;
    DWORD type = 0;
    for (DWORD index = 0; key.EnumValue(index, name, type); ++index)
    {
        paths.push_back(name);
    }
    return paths;
}
} // namespace TempFileRecord
