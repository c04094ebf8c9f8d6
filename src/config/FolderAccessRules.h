// Which access entries the install adds to the product tree, and on which Windows versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace FolderAccessRules
{
enum class Trustee
{
    Users,          // BUILTIN\Users, S-1-5-32-545
    Administrators, // BUILTIN\Administrators, S-1-5-32-544
    LocalSystem     // S-1-5-18
};

struct Rule
{
    const char* subFolder; // appended to the install folder; "" is the folder itself
    Trustee trustee;
    bool replaceTrusteeEntries; // SET_ACCESS rather than GRANT_ACCESS
    uint32_t accessMask;
};

// The entries in the order they are applied.
const Rule* Rules();
std::size_t RuleCount();

// The folders from the install folder down to a row's own, outermost first: for
// "\Configuration\Machine" the install folder, its Configuration and that one's Machine.
std::vector<std::string> FoldersOnTheWay(const std::string& installFolder, const char* subFolder);

// (low byte of the major version << 8) | minor version, as the version test compares it.
uint16_t VersionWord(uint32_t major, uint32_t minor);

// Only Windows XP (5.1) and Windows 7 (6.1) get the entries; every other reported version,
// 9x included, is left as it is.
bool AppliesToVersion(uint32_t major, uint32_t minor);
} // namespace FolderAccessRules
