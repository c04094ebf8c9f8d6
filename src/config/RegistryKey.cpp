#include "config/RegistryKey.h"

#include "config/HexText.h"
#include "framework/AnsiText.h"

#include <cstring>

namespace
{
// Enumeration buffers of EnumSubKey and EnumValue.
const DWORD kEnumNameChars = 512;
// Key names are at most 255 characters; value names may be far longer, and one that did
// not fit would end the enumeration and stay behind.
const DWORD kSubKeyNameChars = 256;
const DWORD kValueNameChars = 16384;

const BYTE* BytesOf(const std::string& text)
{
    return reinterpret_cast<const BYTE*>(text.c_str());
}
} // namespace

CRegistryKey::CRegistryKey() : m_hKey(nullptr) {}

CRegistryKey::CRegistryKey(HKEY key) : m_hKey(nullptr)
{
    Attach(key);
}

CRegistryKey::~CRegistryKey()
{
    Close();
}

void CRegistryKey::Create(HKEY root, const std::string& subKey, DWORD options, REGSAM access,
                          LPSECURITY_ATTRIBUTES security)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    char emptyClass[] = "";
    const LONG result = RegCreateKeyExA(root, subKey.c_str(), 0, emptyClass, options, access,
                                        security, &key, &disposition);
    Close();
    if (result == ERROR_SUCCESS)
    {
        m_hKey = key;
    }
    else
    {
        SetLastError(static_cast<DWORD>(result));
    }
}

bool CRegistryKey::Open(HKEY root, const std::string& subKey, REGSAM access)
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExA(root, subKey.c_str(), 0, access, &key);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    Close();
    m_hKey = key;
    return true;
}

LONG CRegistryKey::Close()
{
    if (!m_hKey)
    {
        return ERROR_INVALID_HANDLE;
    }
    const LONG result = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return result;
}

bool CRegistryKey::Attach(HKEY key)
{
    Close();
    if (!key)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return Open(key, "", kDefaultAccess);
}

HKEY CRegistryKey::Detach()
{
    HKEY key = m_hKey;
    m_hKey = nullptr;
    return key;
}

bool CRegistryKey::QueryTypeAndSize(const std::string& name, DWORD& type, DWORD& size) const
{
    if (!m_hKey)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    type = REG_NONE;
    size = 0;
    const LONG result = RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    return true;
}

bool CRegistryKey::QueryString(const std::string& name, std::string& value) const
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (!QueryTypeAndSize(name, type, size))
    {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    // The spare bytes guarantee a terminating zero even for text stored without one.
    std::vector<char> buffer(size + 16, '\0');
    DWORD read = static_cast<DWORD>(buffer.size());
    const LONG result = RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &read);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', read));
    value.assign(buffer.data(), end ? static_cast<std::size_t>(end - buffer.data()) : read);
    return true;
}

bool CRegistryKey::QueryRawDword(const std::string& name, DWORD& value) const
{
    if (!m_hKey)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const LONG result = RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&data), &size);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    if (type != REG_DWORD || size != sizeof(data))
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    value = data;
    return true;
}

bool CRegistryKey::QueryDword(const std::string& name, DWORD& value) const
{
    return QueryRawDword(name, value);
}

bool CRegistryKey::QueryDword(const std::string& name, LONG& value) const
{
    DWORD data = 0;
    if (!QueryRawDword(name, data))
    {
        return false;
    }
    value = static_cast<LONG>(data);
    return true;
}

bool CRegistryKey::QueryDword(const std::string& name, unsigned int& value) const
{
    DWORD data = 0;
    if (!QueryRawDword(name, data))
    {
        return false;
    }
    value = static_cast<unsigned int>(data);
    return true;
}

bool CRegistryKey::QueryDword(const std::string& name, int& value) const
{
    DWORD data = 0;
    if (!QueryRawDword(name, data))
    {
        return false;
    }
    value = static_cast<int>(data);
    return true;
}

bool CRegistryKey::QueryBinary(const std::string& name, void* buffer, DWORD size) const
{
    DWORD type = REG_NONE;
    DWORD stored = 0;
    if (!QueryTypeAndSize(name, type, stored))
    {
        return false;
    }
    if (type != REG_BINARY || stored != size)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    // Read aside so that a value changed in between cannot leave the caller's buffer half
    // written.
    std::vector<BYTE> data(size + 1);
    DWORD read = static_cast<DWORD>(data.size());
    const LONG result = RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type, data.data(), &read);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    if (type != REG_BINARY || read != size)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    if (size)
    {
        std::memcpy(buffer, data.data(), size);
    }
    return true;
}

bool CRegistryKey::QueryBinary(const std::string& name, BYTE (&value)[16]) const
{
    return QueryBinary(name, value, sizeof(value));
}

bool CRegistryKey::QueryBytes(const std::string& name, DWORD expectedType,
                              std::vector<BYTE>& bytes) const
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (!QueryTypeAndSize(name, type, size))
    {
        return false;
    }
    if (type != expectedType)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    std::vector<BYTE> data(size);
    DWORD read = size;
    const LONG result = RegQueryValueExA(m_hKey, name.c_str(), nullptr, &type,
                                         data.empty() ? nullptr : data.data(), &read);
    if (result != ERROR_SUCCESS || type != expectedType)
    {
        SetLastError(result != ERROR_SUCCESS ? static_cast<DWORD>(result) : ERROR_INVALID_DATATYPE);
        return false;
    }
    data.resize(read);
    bytes.swap(data);
    return true;
}

bool CRegistryKey::QueryBinaryArray(const std::string& name, std::vector<BYTE>& value) const
{
    return QueryBytes(name, REG_BINARY, value);
}

bool CRegistryKey::QueryWide(const std::string& name, std::vector<wchar_t>& data, DWORD& type,
                             size_t& count) const
{
    if (!m_hKey)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::u16string wideName;
    if (!AnsiText::Widen(name, wideName))
    {
        return false;
    }
    // Another program may add to the value between asking its size and reading it.
    data.assign(256, L'\0');
    type = REG_NONE;
    DWORD size = 0;
    LONG result = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 8 && result == ERROR_MORE_DATA; ++attempt)
    {
        size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        result = RegQueryValueExW(m_hKey, reinterpret_cast<const wchar_t*>(wideName.c_str()),
                                  nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (result == ERROR_MORE_DATA)
        {
            data.resize(size / sizeof(wchar_t) + 2);
        }
    }
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    count = size / sizeof(wchar_t);
    return true;
}

bool CRegistryKey::QueryStringW(const std::string& name, std::u16string& value) const
{
    std::vector<wchar_t> data;
    DWORD type = REG_NONE;
    size_t count = 0;
    if (!QueryWide(name, data, type, count))
    {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    size_t end = 0;
    while (end < count && data[end] != L'\0')
    {
        ++end;
    }
    value.assign(reinterpret_cast<const char16_t*>(data.data()), end);
    return true;
}

bool CRegistryKey::QueryMultiStringW(const std::string& name,
                                     std::vector<std::u16string>& values) const
{
    std::vector<wchar_t> data;
    DWORD type = REG_NONE;
    size_t count = 0;
    if (!QueryWide(name, data, type, count))
    {
        return false;
    }
    if (type != REG_MULTI_SZ)
    {
        SetLastError(ERROR_INVALID_DATATYPE);
        return false;
    }
    // Read as text that always ends in a zero, whatever the value holds.
    std::vector<std::u16string> strings;
    for (size_t start = 0; start < count;)
    {
        size_t end = start;
        while (end < count && data[end] != L'\0')
        {
            ++end;
        }
        strings.emplace_back(reinterpret_cast<const char16_t*>(data.data()) + start, end - start);
        start = end + 1;
    }
    // The list's own closing zero reads as one more empty string.
    if (!strings.empty() && strings.back().empty())
    {
        strings.pop_back();
    }
    values.swap(strings);
    return true;
}

LONG CRegistryKey::SetValue(const std::string& name, DWORD type, const void* bytes, DWORD size)
{
    if (!m_hKey)
    {
        return ERROR_INVALID_HANDLE;
    }
    return RegSetValueExA(m_hKey, name.c_str(), 0, type, static_cast<const BYTE*>(bytes), size);
}

LONG CRegistryKey::SetString(const std::string& name, const std::string& value)
{
    return SetValue(name, REG_SZ, BytesOf(value), static_cast<DWORD>(value.size() + 1));
}

LONG CRegistryKey::SetExpandString(const std::string& name, const std::string& value)
{
    return SetValue(name, REG_EXPAND_SZ, BytesOf(value), static_cast<DWORD>(value.size() + 1));
}

LONG CRegistryKey::SetDword(const std::string& name, DWORD value)
{
    return SetValue(name, REG_DWORD, &value, sizeof(value));
}

LONG CRegistryKey::SetDword(const std::string& name, LONG value)
{
    return SetDword(name, static_cast<DWORD>(value));
}

LONG CRegistryKey::SetDword(const std::string& name, unsigned int value)
{
    return SetDword(name, static_cast<DWORD>(value));
}

LONG CRegistryKey::SetDword(const std::string& name, int value)
{
    return SetDword(name, static_cast<DWORD>(value));
}

LONG CRegistryKey::SetDword(const std::string& name, bool value)
{
    return SetDword(name, static_cast<DWORD>(value ? 1 : 0));
}

LONG CRegistryKey::SetBinary(const std::string& name, const void* bytes, DWORD size)
{
    return SetValue(name, REG_BINARY, bytes, size);
}

LONG CRegistryKey::SetBinary(const std::string& name, const BYTE (&value)[16])
{
    return SetBinary(name, value, sizeof(value));
}

LONG CRegistryKey::SetBinary(const std::string& name, const std::vector<BYTE>& value)
{
    return SetBinary(name, value.empty() ? nullptr : value.data(),
                     static_cast<DWORD>(value.size()));
}

LONG CRegistryKey::SetBinaryFromHex(const std::string& name, const std::string& hex)
{
    const std::vector<uint8_t> bytes = HexText::DecodeHyphenated(hex);
    return SetBinary(name, bytes.empty() ? nullptr : bytes.data(),
                     static_cast<DWORD>(bytes.size()));
}

LONG CRegistryKey::DeleteValue(const std::string& name)
{
    if (!m_hKey)
    {
        return ERROR_INVALID_HANDLE;
    }
    return RegDeleteValueA(m_hKey, name.c_str());
}

LONG CRegistryKey::DeleteSubKey(const std::string& name)
{
    if (!m_hKey)
    {
        return ERROR_INVALID_HANDLE;
    }
    return RegDeleteKeyA(m_hKey, name.c_str());
}

void CRegistryKey::DeleteAllValues()
{
    // Deleting while enumerating would shift the indexes under the enumeration.
    std::vector<std::string> names;
    std::vector<char> name(kValueNameChars);
    for (DWORD index = 0;; ++index)
    {
        DWORD length = kValueNameChars;
        if (RegEnumValueA(m_hKey, index, name.data(), &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
        {
            break;
        }
        names.push_back(std::string(name.data(), length));
    }
    for (const std::string& value : names)
    {
        RegDeleteValueA(m_hKey, value.c_str());
    }
}

void CRegistryKey::DeleteContents()
{
    if (!m_hKey)
    {
        return;
    }
    DeleteAllValues();
    DeleteSubKeys();
}

void CRegistryKey::DeleteSubKeys()
{
    if (!m_hKey)
    {
        return;
    }
    std::vector<std::string> names;
    char name[kSubKeyNameChars];
    for (DWORD index = 0;; ++index)
    {
        DWORD length = kSubKeyNameChars;
        if (RegEnumKeyExA(m_hKey, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
        {
            break;
        }
        names.push_back(std::string(name, length));
    }
    for (const std::string& subKey : names)
    {
        {
            CRegistryKey child;
            if (child.Open(m_hKey, subKey, kDefaultAccess))
            {
                child.DeleteContents();
            }
        }
        RegDeleteKeyA(m_hKey, subKey.c_str());
    }
}

bool CRegistryKey::EnumSubKey(DWORD index, std::string& name, std::string& className,
                              FILETIME* lastWrite) const
{
    if (!m_hKey)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    char nameBuffer[kEnumNameChars];
    char classBuffer[kEnumNameChars];
    DWORD nameLength = kEnumNameChars;
    DWORD classLength = kEnumNameChars;
    FILETIME written = {0, 0};
    const LONG result = RegEnumKeyExA(m_hKey, index, nameBuffer, &nameLength, nullptr, classBuffer,
                                      &classLength, &written);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    name.assign(nameBuffer, nameLength);
    className.assign(classBuffer, classLength);
    if (lastWrite)
    {
        *lastWrite = written;
    }
    return true;
}

bool CRegistryKey::EnumValue(DWORD index, std::string& name, DWORD& type) const
{
    if (!m_hKey)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    char nameBuffer[kEnumNameChars];
    DWORD nameLength = kEnumNameChars;
    DWORD valueType = REG_NONE;
    const LONG result = RegEnumValueA(m_hKey, index, nameBuffer, &nameLength, nullptr, &valueType,
                                      nullptr, nullptr);
    if (result != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    name.assign(nameBuffer, nameLength);
    type = valueType;
    return true;
}

DWORD CRegistryKey::CountSubKeys() const
{
    DWORD count = 0;
    std::string name;
    std::string className;
    while (EnumSubKey(count, name, className))
    {
        ++count;
    }
    return count;
}
