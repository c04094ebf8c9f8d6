#include "install/VersionData.h"

#include "framework/SystemLibraries.h"

#include <cstdio>
#include <cstring>

CVersionData::CVersionData() = default;

CVersionData::~CVersionData() = default;

bool CVersionData::Load(const std::string& path)
{
    m_pVersionInfo.reset();
    m_strTranslation.clear();

    using GetSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using GetInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    if (!m_versionLibrary.IsValid())
    {
        m_versionLibrary.Reset(CSystemLibraries::Load("version.dll"));
    }
    const HMODULE library = m_versionLibrary.Get();
    const auto getSize =
        library ? CSystemLibraries::Bind<GetSizeFn>(library, "GetFileVersionInfoSizeA") : nullptr;
    const auto getInfo =
        library ? CSystemLibraries::Bind<GetInfoFn>(library, "GetFileVersionInfoA") : nullptr;
    m_queryValue =
        library ? CSystemLibraries::Bind<QueryValueFn>(library, "VerQueryValueA") : nullptr;
    if (!getSize || !getInfo || !m_queryValue)
    {
        return false;
    }

    DWORD ignored = 0;
    const DWORD size = getSize(path.c_str(), &ignored);
    if (size == 0)
    {
        return false;
    }
    std::unique_ptr<BYTE[]> block(new BYTE[size]);
    if (!getInfo(path.c_str(), 0, size, block.get()))
    {
        return false;
    }
    struct Translation
    {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    UINT length = 0;
    char query[] = "\\VarFileInfo\\Translation";
    if (!m_queryValue(block.get(), query, &value, &length) || !value ||
        length < sizeof(Translation))
    {
        return false;
    }
    const Translation* first = static_cast<const Translation*>(value);
    char key[16];
    std::snprintf(
        key, sizeof(key), "%08lX",
        static_cast<unsigned long>((static_cast<DWORD>(first->language) << 16) | first->codePage));
    m_strTranslation = key;
    m_pVersionInfo = std::move(block);
    return true;
}

bool CVersionData::LoadFromModule(HMODULE module)
{
    char path[4096] = "";
    const DWORD length = GetModuleFileNameA(module, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
    {
        return false;
    }
    return Load(path);
}

bool CVersionData::Query(const char* path, void** value, UINT* length) const
{
    *value = nullptr;
    *length = 0;
    // Older systems' headers declare the path writable; it is handed a copy of its own.
    char query[1024];
    const size_t size = std::strlen(path) + 1;
    if (!m_pVersionInfo || size > sizeof(query))
    {
        return false;
    }
    std::memcpy(query, path, size);
    return m_queryValue(m_pVersionInfo.get(), query, value, length) && *value;
}

const VS_FIXEDFILEINFO* CVersionData::FixedInfo() const
{
    void* value = nullptr;
    UINT length = 0;
    if (!Query("\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
    {
        return nullptr;
    }
    return static_cast<const VS_FIXEDFILEINFO*>(value);
}

bool CVersionData::GetFileVersion(uint64_t& version) const
{
    const VS_FIXEDFILEINFO* info = FixedInfo();
    if (!info)
    {
        return false;
    }
    version = (static_cast<uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
    return true;
}

bool CVersionData::GetProductVersion(uint64_t& version) const
{
    const VS_FIXEDFILEINFO* info = FixedInfo();
    if (!info)
    {
        return false;
    }
    version = (static_cast<uint64_t>(info->dwProductVersionMS) << 32) | info->dwProductVersionLS;
    return true;
}

bool CVersionData::GetString(const std::string& name, std::string& value) const
{
    if (!m_pVersionInfo)
    {
        return false;
    }
    const std::string query = "\\StringFileInfo\\" + m_strTranslation + "\\" + name;
    void* text = nullptr;
    UINT length = 0;
    if (!Query(query.c_str(), &text, &length))
    {
        return false;
    }
    // The length counts the terminator when there is one.
    const char* chars = static_cast<const char*>(text);
    std::string result(chars, length);
    const std::string::size_type nul = result.find('\0');
    if (nul != std::string::npos)
    {
        result.erase(nul);
    }
    value = result;
    return true;
}
