#include "install/VersionData.h"

#include <cstdio>

CVersionData::CVersionData() = default;

CVersionData::~CVersionData() = default;

bool CVersionData::Load(const std::string& path)
{
    m_pVersionInfo.reset();
    m_strTranslation.clear();

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
    {
        return false;
    }
    std::unique_ptr<BYTE[]> block(new BYTE[size]);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.get()))
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
    if (!VerQueryValueA(block.get(), query, &value, &length) || !value ||
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

const VS_FIXEDFILEINFO* CVersionData::FixedInfo() const
{
    if (!m_pVersionInfo)
    {
        return nullptr;
    }
    void* value = nullptr;
    UINT length = 0;
    char root[] = "\\";
    if (!VerQueryValueA(m_pVersionInfo.get(), root, &value, &length) || !value ||
        length < sizeof(VS_FIXEDFILEINFO))
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
    if (query.size() >= 1024)
    {
        return false;
    }
    char buffer[1024];
    query.copy(buffer, query.size());
    buffer[query.size()] = '\0';
    void* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(m_pVersionInfo.get(), buffer, &text, &length) || !text)
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
