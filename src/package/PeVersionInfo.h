#pragma once

// Reads the version resource of a PE image (PE32 or PE32+) from the file
// itself, without loading it, so that the package tool can record file
// versions on any platform.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace PeVersionInfo
{

struct Info
{
    // VS_FIXEDFILEINFO, when the resource carries one.
    bool hasFixedInfo = false;
    uint32_t fileVersionMs = 0;
    uint32_t fileVersionLs = 0;
    uint32_t productVersionMs = 0;
    uint32_t productVersionLs = 0;
    uint32_t fileFlagsMask = 0;
    uint32_t fileFlags = 0;
    uint32_t fileOs = 0;
    uint32_t fileType = 0;
    uint32_t fileSubtype = 0;

    // The first entry of VarFileInfo\Translation.
    bool hasTranslation = false;
    uint16_t language = 0;
    uint16_t codePage = 0;

    // The string table of the first translation (or the first table when
    // no translation names one), in resource order.
    std::u16string stringTableKey;
    std::vector<std::pair<std::u16string, std::u16string>> strings;

    // (major << 16 | minor) << 32 | (build << 16 | revision); 0 without fixed info.
    uint64_t FileVersion() const
    {
        return hasFixedInfo ? (static_cast<uint64_t>(fileVersionMs) << 32) | fileVersionLs : 0;
    }
    // The file version as the setup's reader sees it: that reader takes a file
    // whose resource has no translation table for one without a version.
    uint64_t VersionSeenBySetup() const { return hasTranslation ? FileVersion() : 0; }
    // The value of a string, by key compared without regard to ASCII case.
    const std::u16string* FindString(const std::u16string& key) const;
};

// Failures set the last-error code: kErrorBadExeFormat for a file that is not
// a sound PE image, kErrorResourceDataNotFound when it has no resources,
// kErrorResourceTypeNotFound when it has no version resource, or the system's
// code when the file cannot be read.
bool ReadFromFile(const std::string& path, Info* info);
bool ReadFromMemory(const uint8_t* image, size_t size, Info* info);

} // namespace PeVersionInfo
