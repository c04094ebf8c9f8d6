#include "config/ShortcutPaths.h"

namespace ShortcutPaths
{
std::string LinkFile(const std::string& folder, const std::string& edition)
{
    if (folder.empty())
    {
        return std::string();
    }
    return folder + "\\" + edition + ".lnk";
}

std::string Target(const std::string& installPath, bool windowsNT)
{
    return installPath + "\\Programs\\Scroll" + (windowsNT ? "NT" : "95") + ".exe";
}
} // namespace ShortcutPaths
