#include "config/FolderAccessRules.h"

namespace FolderAccessRules
{
namespace
{
const uint32_t kGenericAll = 0x10000000;
// The numeric value of KEY_READ: read control, list folder, read and write extended
// attributes. Users keep browsing the tree but may change only the data folders.
const uint32_t kUsersTreeMask = 0x00020019;

const Rule kRules[] = {
    {"", Trustee::Users, true, kUsersTreeMask},
    {"\\Configuration", Trustee::Users, false, kGenericAll},
    {"\\Configuration\\Machine", Trustee::Users, false, kGenericAll},
    {"\\Documents", Trustee::Users, false, kGenericAll},
    {"\\Logs", Trustee::Users, false, kGenericAll},
    {"", Trustee::Administrators, false, kGenericAll},
    {"", Trustee::LocalSystem, false, kGenericAll},
};
} // namespace

const Rule* Rules()
{
    return kRules;
}

std::size_t RuleCount()
{
    return sizeof(kRules) / sizeof(kRules[0]);
}

std::vector<std::string> FoldersOnTheWay(const std::string& installFolder, const char* subFolder)
{
    std::vector<std::string> folders = {installFolder};
    const std::string rest = subFolder;
    std::string::size_type at = 0;
    while (!rest.empty() && at != std::string::npos)
    {
        at = rest.find('\\', at + 1);
        folders.push_back(installFolder + rest.substr(0, at));
    }
    return folders;
}

uint16_t VersionWord(uint32_t major, uint32_t minor)
{
    return static_cast<uint16_t>(((major & 0xFFu) << 8) | minor);
}

bool AppliesToVersion(uint32_t major, uint32_t minor)
{
    const uint16_t version = VersionWord(major, minor);
    return version == 0x0501 || version == 0x0601;
}
} // namespace FolderAccessRules
