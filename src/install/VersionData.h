// The version resource of an executable file, read through the Win32 version API. version.dll
// is no known DLL: it is loaded from the system folder by its full path, never by a name the
// setup's own folder could answer, and a missing library or function reads as no version.
#pragma once

#include "framework/Win32Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CVersionData
{
public:
    CVersionData();
    virtual ~CVersionData();
    CVersionData(const CVersionData&) = delete;
    CVersionData& operator=(const CVersionData&) = delete;

    // A file without a version resource or without a translation table fails.
    bool Load(const std::string& path);
    bool LoadFromModule(HMODULE module);

    // (major << 16 | minor) << 32 | (build << 16 | revision)
    bool GetFileVersion(uint64_t& version) const;
    bool GetProductVersion(uint64_t& version) const;

    // A value of the first language block's string table.
    bool GetString(const std::string& name, std::string& value) const;
    bool GetSpecialBuild(std::string& value) const { return GetString("SpecialBuild", value); }
    bool GetLegalCopyright(std::string& value) const { return GetString("LegalCopyright", value); }
    bool GetComments(std::string& value) const { return GetString("Comments", value); }
    bool GetFileVersionString(std::string& value) const { return GetString("FileVersion", value); }
    bool GetFileDescription(std::string& value) const
    {
        return GetString("FileDescription", value);
    }

    // "LLLLCCCC": language and code page of the first block, upper-case hex.
    const std::string& GetTranslation() const { return m_strTranslation; }

private:
    using QueryValueFn = BOOL(WINAPI*)(LPCVOID, LPSTR, LPVOID*, PUINT);

    const VS_FIXEDFILEINFO* FixedInfo() const;
    // The value at `path` in the loaded block; false when there is none.
    bool Query(const char* path, void** value, UINT* length) const;

    CModuleHandle m_versionLibrary;
    QueryValueFn m_queryValue = nullptr;
    std::unique_ptr<BYTE[]> m_pVersionInfo;
    std::string m_strTranslation;
};
