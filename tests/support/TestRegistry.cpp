#include "TestRegistry.h"

#include <cstring>

namespace TestRegistry
{
namespace
{
int QueryCount(const std::string& path, bool values)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return -1;
    }
    DWORD subKeys = 0;
    DWORD valueCount = 0;
    const LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                         &valueCount, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
    {
        return -1;
    }
    return static_cast<int>(values ? valueCount : subKeys);
}

void WriteValue(const std::string& path, const std::string& name, DWORD type, const void* data,
                DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS)
    {
        RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
}
} // namespace

bool KeyExists(const std::string& path, HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::vector<std::string> SubKeys(const std::string& path, HKEY root)
{
    std::vector<std::string> children;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return children;
    }
    char name[512];
    for (DWORD index = 0;; ++index)
    {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
        {
            break;
        }
        children.push_back(name);
    }
    RegCloseKey(key);
    return children;
}

void DeleteKeyTree(const std::string& path, HKEY root)
{
    // Names first, deletions after: a child that cannot go must not be met forever.
    for (const std::string& child : SubKeys(path, root))
    {
        DeleteKeyTree(path + "\\" + child, root);
    }
    RegDeleteKeyA(root, path.c_str());
}

int CountValues(const std::string& path)
{
    return QueryCount(path, true);
}

int CountSubKeys(const std::string& path)
{
    return QueryCount(path, false);
}

bool ReadRaw(const std::string& path, const std::string& name, DWORD& type, std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS)
    {
        data.assign(size + 1, 0);
        result = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string ReadString(const std::string& path, const std::string& name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadRaw(path, name, type, data) || type != REG_SZ)
    {
        return "<none>";
    }
    const char* text = reinterpret_cast<const char*>(data.data());
    return std::string(text, strnlen(text, data.size()));
}

bool ReadDword(const std::string& path, const std::string& name, DWORD& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadRaw(path, name, type, data) || type != REG_DWORD || data.size() != 4)
    {
        return false;
    }
    CopyMemory(&value, data.data(), 4);
    return true;
}

void CreateKey(const std::string& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS)
    {
        RegCloseKey(key);
    }
}

void WriteDword(const std::string& path, const std::string& name, DWORD value)
{
    WriteValue(path, name, REG_DWORD, &value, sizeof(value));
}

void WriteString(const std::string& path, const std::string& name, const std::string& value)
{
    WriteValue(path, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}
void DeleteValue(const std::string& path, const std::string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
    {
        RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
}
} // namespace TestRegistry
